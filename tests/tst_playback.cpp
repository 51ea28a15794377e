#include "audio/Sinusoid.h"
#include "support/SinkRecorder.h"
#include "support/WindowTest.h"

#include <QAudioOutput>
#include <QPointer>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

// The first count samples (none for a negative count), as the sink holds them.
static QVector<float> toSingle(const QVector<double> &signal, int count)
{
    const QVector<double> head = signal.mid(0, qMax(0, count));
    return QVector<float>(head.cbegin(), head.cend());
}

// What reaches the test server's null sink is recorded from its monitor and compared with the
// stimulus bit for bit: target and sinusoid are sines whose samples need every bit of a double.
class TestPlayback : public WindowTest
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(recorder.start(), qPrintable(recorder.errorString())); }
    void presentation_data();
    void presentation();

private:
    SinkRecorder recorder;
};

void TestPlayback::presentation_data()
{
    QTest::addColumn<bool>("sinusoidMode");
    QTest::addColumn<int>("stimulusLength");
    QTest::addColumn<int>("sampleCount"); // the row name tells a target cut short or the window closed

    QTest::newRow("target 500 ms") << false << 20000 << 20000;
    QTest::newRow("short sinusoid") << true << 6000 << 10000;
    QTest::newRow("empty target") << false << 0 << 10000;
    QTest::newRow("negative count") << false << 10000 << -4;
    QTest::newRow("sinusoid cutting a target") << true << 10000 << 10000;
    QTest::newRow("closed while it plays") << false << 10000 << 10000;
    QTest::newRow("closed right after the end") << false << 10000 << 10000;
}

// One start, one end after the whole stimulus (never more) reached the sink, and nothing else.
void TestPlayback::presentation()
{
    QFETCH(bool, sinusoidMode);
    QFETCH(int, stimulusLength);
    QFETCH(int, sampleCount);
    const QByteArray event = QTest::currentDataTag();
    // From the second sample on: a leading +0.0 could not be told from silence.
    window->targetSignal = sinusoidSamples(stimulusLength + 1, 1234.5, 40000.0).mid(1);
    window->sinusoidSignal = sinusoidSamples(stimulusLength + 1, 1000.0, 40000.0).mid(1);
    window->parameters.sampleCount = sampleCount;
    QPointer<QAudioOutput> interrupted;
    qint64 cutOnset = -1;
    if (event == "sinusoid cutting a target") {
        const qint64 mark = recorder.mark();
        QVERIFY(QMetaObject::invokeMethod(window.get(), "playOneSound"));
        interrupted = window->audioOutput;
        cutOnset = recorder.waitForOnset(toSingle(window->targetSignal, 400), mark);
        QVERIFY2(cutOnset >= 0, qPrintable(recorder.errorString()));
        window->soundIndex = 0;
    }
    window->sinusoidMode = sinusoidMode;
    const QVector<float> expected = toSingle(sinusoidMode ? window->sinusoidSignal : window->targetSignal, sampleCount);

    QSignalSpy playing(window.get(), SIGNAL(soundPlaying(int)));
    const qint64 mark = recorder.mark();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "playOneSound"));
    QCOMPARE(window->parameters.sinusoidCount, int(sinusoidMode));
    QPointer<QAudioOutput> output = window->audioOutput;
    if (event.startsWith("closed")) {
        // The output's deletion may still be queued: the window must not delete it a second time.
        if (event.endsWith("end"))
            QVERIFY2(playing.wait(5000) && output, "the end did not come, or its output is already deleted");
        else
            QVERIFY2(recorder.waitForOnset(expected.mid(0, 400), mark) >= 0, qPrintable(recorder.errorString()));
        window.reset();
        QTRY_VERIFY(output.isNull());
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(playing.size() >= 2 && output.isNull() && interrupted.isNull(), 5000);
    QCOMPARE(QList<QVariantList>(playing), (QList<QVariantList>{{1}, {-1}}));
    QVERIFY(!window->audioBytes && !window->audioBuffer && !window->audioOutput);
    QCOMPARE(window->statusBar()->currentMessage(), QString()); // where a failed output says so

    const qint64 onset = expected.isEmpty() ? mark : recorder.waitForOnset(expected, mark);
    QVERIFY2(onset >= 0, qPrintable(recorder.errorString()));
    const qint64 end = onset + expected.size();
    QVERIFY2(recorder.waitForSamples(end, 4000), qPrintable(recorder.errorString())); // 100 ms more
    // Before a sound that cuts a target short, the rest of that target may still sound.
    if (cutOnset >= 0)
        QVERIFY2(onset < cutOnset + window->targetSignal.size(), "the target was not cut short");
    else
        QVERIFY2(recorder.isSilent(mark, onset), "sound in the capture before the onset");
    QVERIFY2(recorder.isSilent(end, end + 4000), "sound in the capture after the stimulus");
}

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"
