#include "audio/Sinusoid.h"
#include "audio/StreamDevice.h"
#include "support/SinkRecorder.h"
#include "support/WindowTest.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

// What reaches the test server's null sink is recorded from its monitor and compared with the
// stimulus: bit for bit where the server does not convert, as a whole sound where it does.
class TestPlayback : public WindowTest
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(recorder.start(), qPrintable(recorder.errorString())); }
    void presentation_data();
    void presentation();
    void nothingSoundsAfterTheEnd_data();
    void nothingSoundsAfterTheEnd();

private:
    SinkRecorder recorder;
};

void TestPlayback::presentation_data()
{
    QTest::addColumn<double>("tone"); // Hz; 0 plays the target
    QTest::addColumn<int>("sampleCount");
    QTest::addColumn<int>("blockMs"); // the GUI thread is busy this long once the sound was asked for
    QTest::newRow("target 500 ms") << 0.0 << 20000 << 0;
    QTest::newRow("tone of 12345 samples") << 1000.0 << 12345 << 0;
    QTest::newRow("tone with the GUI thread blocked 500 ms") << 440.0 << 40000 << 500;
}

// One sound, whole, then silence; soundPlaying(-1) only once its last sample reached the sink.
void TestPlayback::presentation()
{
    QFETCH(double, tone);
    QFETCH(int, sampleCount);
    QFETCH(int, blockMs);
    // From the second sample on: a leading +0.0 could not be told from silence.
    window->targetSignal = sinusoidSamples(sampleCount + 1, 1234.5, 40000.0).mid(1);
    window->sinusoidMode = tone > 0;
    window->parameters.frequencyCurrent = int(tone);
    window->parameters.sampleCount = sampleCount;
    const QVector<double> played = tone > 0 ? sinusoidSamples(sampleCount, tone, 40000.0) : window->targetSignal;
    const QVector<float> expected(played.cbegin(), played.cend());

    QSignalSpy playing(window.get(), SIGNAL(soundPlaying(int)));
    qint64 capturedAtEnd = -1;
    connect(window.get(), &MainWindow::soundPlaying, this, [&](int index) {
        if (index == -1)
            capturedAtEnd = recorder.mark();
    });
    const qint64 mark = recorder.mark();
    window->soundDueNs = StreamDevice::nowNs() + 100000000;
    QVERIFY(QMetaObject::invokeMethod(window.get(), "playOneSound"));
    for (QElapsedTimer busy; busy.isValid() ? busy.elapsed() < blockMs : (busy.start(), true);)
        ;
    const qint64 onset = recorder.waitForSound(expected, mark, tone);
    QVERIFY2(onset >= 0, qPrintable(recorder.errorString()));
    QTRY_COMPARE_WITH_TIMEOUT(QList<QVariantList>(playing), (QList<QVariantList>{{1}, {-1}}), 3000);
    QCOMPARE(window->parameters.sinusoidCount, int(tone > 0));
    QVERIFY2(capturedAtEnd >= onset + expected.size(),
             qPrintable(QString("-1 came with %1 of %2 samples captured").arg(capturedAtEnd - onset).arg(expected.size())));
    QCOMPARE(window->statusBar()->currentMessage(), QString()); // where a failed output says so
    const qint64 end = onset + expected.size();
    QVERIFY2(recorder.waitForSamples(end, 4000), qPrintable(recorder.errorString()));
    const int ringing = recorder.converts ? 40 : 0; // a converting server's filter smears the edges
    QVERIFY2(recorder.isSilent(mark, onset - ringing) && recorder.isSilent(end + ringing, end + 4000), "sound outside the stimulus");
}

void TestPlayback::nothingSoundsAfterTheEnd_data()
{
    QTest::addColumn<bool>("inThePause");
    QTest::newRow("run ended in the pause") << true;
    QTest::newRow("window closed while it plays") << false;
}

// Ending a run, or closing the window, silences what was still to come at once.
void TestPlayback::nothingSoundsAfterTheEnd()
{
    QFETCH(bool, inThePause);
    window->parameters.sampleCount = 40000;
    window->parameters.saveData = false;
    window->playOrder = {0};
    const qint64 mark = recorder.mark();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "updateMainwindow", Q_ARG(qint32, 4), Q_ARG(qint32, 1000)));
    if (!inThePause)
        QVERIFY(recorder.waitForSamples(mark, 42000)); // the pause and 300 ms of the tone
    const qint64 ended = recorder.mark();
    if (inThePause)
        QVERIFY(QMetaObject::invokeMethod(window.get(), "refreshMainWindow"));
    else
        window.reset();
    QVERIFY2(recorder.waitForSamples(ended, 80000), qPrintable(recorder.errorString()));
    QCOMPARE(recorder.isSilent(mark, ended), inThePause);
    QVERIFY2(recorder.isSilent(ended + 6000, ended + 80000), "sound after the end");
}

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"
