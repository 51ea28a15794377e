#include "app/MainWindow.h"
#include "support/SinkRecorder.h"
#include "support/TemporaryDesktop.h"
#include "support/WavBuilder.h"

#include <QAudioOutput>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

const int guardSamples = 4000; // 100 ms of silence checked on each side of a sound
int stopWarnings = 0;
QtMessageHandler previousHandler = nullptr;

void countStopWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    stopWarnings += type == QtWarningMsg && message == QLatin1String("Audio stopped unexpectedly");
    previousHandler(type, context, message);
}

// Deterministic noise needing every bit of a double, so rounding to float matters almost always.
QVector<double> noise(int count)
{
    QVector<double> signal(count);
    quint32 state = 20240611u;
    for (double &value : signal) {
        state = state * 1664525u + 1013904223u;
        value = 0.9 * (2.0 * (state / 4294967296.0) - 1.0);
    }
    return signal;
}

QVector<double> sinusoid(int count) // 1000 Hz at 40000 Hz
{
    QVector<double> signal(count);
    for (int i = 0; i < count; ++i)
        signal[i] = std::sin(2.0 * M_PI * i / 40.0);
    return signal;
}

QVector<float> toSingle(const QVector<double> &signal, int count)
{
    QVector<float> single(qBound(0, count, signal.size()));
    for (int i = 0; i < single.size(); ++i)
        single[i] = static_cast<float>(signal[i]);
    return single;
}

// What a float32le output must receive, from the bit patterns byte by byte.
QByteArray littleEndianBytes(const QVector<float> &samples)
{
    QByteArray bytes;
    for (float sample : samples) {
        quint32 bits;
        std::memcpy(&bits, &sample, sizeof bits);
        for (int shift = 0; shift < 32; shift += 8)
            bytes.append(char((bits >> shift) & 0xff));
    }
    return bytes;
}

} // namespace

// What reaches the test server's null sink is recorded from its monitor and compared with the
// stimulus bit for bit.
class TestPlayback : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }
    void init();
    void cleanup() { window.reset(); desktop.reset(); }
    void presentation_data();
    void presentation();
    void matchedFrequency_data();
    void matchedFrequency();
    void targetAt44100HzArrivesAt440Hz();
    void closingAroundASound_data();
    void closingAroundASound();

private:
    SinkRecorder recorder;
    std::unique_ptr<TemporaryDesktop> desktop;
    std::unique_ptr<MainWindow> window;
};

void TestPlayback::initTestCase()
{
    QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));
    previousHandler = qInstallMessageHandler(countStopWarnings);
}

void TestPlayback::init()
{
    desktop.reset(new TemporaryDesktop);
    QVERIFY(desktop->isValid());
    window.reset(new MainWindow);
    QCOMPARE(window->soundsPerPresentation, 1);
    window->parameters.sampleCount = 10000;
    window->targetSignal = noise(10000);
    window->sinusoidSignal = sinusoid(10000);
    stopWarnings = 0;
}

void TestPlayback::presentation_data()
{
    QTest::addColumn<bool>("sinusoidMode");
    QTest::addColumn<int>("stimulusLength");
    QTest::addColumn<int>("sampleCount");
    QTest::addColumn<bool>("interrupting"); // a target is still playing when the request comes

    QTest::newRow("target") << false << 10000 << 10000 << false;
    QTest::newRow("sinusoid") << true << 10000 << 10000 << false;
    QTest::newRow("target 500 ms") << false << 20000 << 20000 << false;
    QTest::newRow("short sinusoid") << true << 6000 << 10000 << false;
    QTest::newRow("1-sample target") << false << 1 << 10000 << false;
    QTest::newRow("empty target") << false << 0 << 10000 << false;
    QTest::newRow("negative count") << false << 10000 << -4 << false;
    QTest::newRow("sinusoid cutting a target") << true << 10000 << 10000 << true;
}

// One start, one end after the whole stimulus (never more) reached the sink, and nothing else.
void TestPlayback::presentation()
{
    QFETCH(bool, sinusoidMode);
    QFETCH(int, stimulusLength);
    QFETCH(int, sampleCount);
    QFETCH(bool, interrupting);
    window->parameters.sampleCount = sampleCount;
    window->targetSignal = noise(stimulusLength);
    window->sinusoidSignal = sinusoid(stimulusLength);
    QPointer<QAudioOutput> interrupted;
    if (interrupting) {
        const qint64 mark = recorder.mark();
        QVERIFY(QMetaObject::invokeMethod(window.get(), "playOneSound"));
        interrupted = window->audioOutput;
        QVERIFY2(recorder.waitForOnset(toSingle(window->targetSignal, 400), mark) >= 0, qPrintable(recorder.errorString()));
        window->soundIndex = 0;
    }
    window->sinusoidMode = sinusoidMode;
    const QVector<float> expected = toSingle(sinusoidMode ? window->sinusoidSignal : window->targetSignal, sampleCount);

    QList<int> signalled;
    double startToIdleMs = -1;
    QElapsedTimer clock;
    QObject listener; // disconnects however this function returns
    connect(window.get(), &MainWindow::soundPlaying, &listener, [&](int index) {
        signalled << index;
        if (index == -1)
            startToIdleMs = clock.nsecsElapsed() / 1e6;
    });
    const qint64 mark = recorder.mark();
    clock.start();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "playOneSound"));
    const QByteArray stream = window->audioBytes ? *window->audioBytes : QByteArray();
    QPointer<QAudioOutput> output = window->audioOutput;
    QTRY_VERIFY_WITH_TIMEOUT(signalled.contains(-1), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(output.isNull() && interrupted.isNull(), 5000);

    QCOMPARE(stream, littleEndianBytes(expected));
    if (sinusoidMode && expected.size() > 10) // sample 10 is the peak
        QCOMPARE(stream.mid(40, 4).toHex(), QByteArray("0000803f"));
    QCOMPARE(signalled, (QList<int>{1, -1}));
    QVERIFY(!window->audioBytes);
    QVERIFY(!window->audioBuffer);
    QVERIFY(!window->audioOutput);
    QCOMPARE(stopWarnings, 0);
    const double soundMs = expected.size() * 1000.0 / SinkRecorder::sampleRate;
    qInfo("start to idle: %.1f ms for a %.1f ms sound", startToIdleMs, soundMs);
    QVERIFY2(qAbs(startToIdleMs - soundMs) <= 100.0, qPrintable(QString::number(startToIdleMs)));

    const qint64 onset = expected.isEmpty() ? mark : recorder.waitForOnset(expected, mark);
    QVERIFY2(onset >= 0, qPrintable(recorder.errorString()));
    const qint64 end = onset + expected.size();
    QVERIFY2(recorder.waitForSamples(end, guardSamples), qPrintable(recorder.errorString()));
    QVERIFY2(recorder.isSilent(mark, onset), "sound in the capture before the onset");
    QVERIFY2(recorder.isSilent(end, end + guardSamples), "sound in the capture after the stimulus");
    qInfo("onset %.1f ms after the request", (onset - mark) * 1000.0 / SinkRecorder::sampleRate);
}

void TestPlayback::matchedFrequency_data()
{
    QTest::addColumn<int>("response");
    QTest::addColumn<QString>("shownAfter");
    QTest::addColumn<int>("countAdded");
    QTest::newRow("sinusoid") << 4 << "730" << 1;
    QTest::newRow("target") << 2 << "not started yet" << 0;
}

void TestPlayback::matchedFrequency()
{
    QFETCH(int, response);
    QFETCH(QString, shownAfter);
    QFETCH(int, countAdded);
    window->playOrder = {0};
    window->parameters.trials.resize(1);
    window->parameters.soundDuration = 0.25;
    window->parameters.silentInterval = 0.0;
    window->parameters.sinusoidCount = 3;
    QSignalSpy playing(window.get(), SIGNAL(soundPlaying(int)));
    QVERIFY(QMetaObject::invokeMethod(window.get(), "updateMainwindow", Q_ARG(qint32, response),
                                      Q_ARG(qint32, response == 4 ? 730 : 0)));
    // Nothing shows before the sound starts.
    QCOMPARE(window->lineEditFrequencyMatched->text(), QString("not started yet"));
    QCOMPARE(window->parameters.sinusoidCount, 3);
    QTRY_COMPARE_WITH_TIMEOUT(playing.count(), 1, 5000);
    QCOMPARE(window->lineEditFrequencyMatched->text(), shownAfter);
    QCOMPARE(window->parameters.sinusoidCount, 3 + countAdded);
    QTRY_COMPARE_WITH_TIMEOUT(playing.count(), 2, 5000);
}

// The sink receives the converted target bit for bit, and that holds the file's 440 Hz.
void TestPlayback::targetAt44100HzArrivesAt440Hz()
{
    QVector<double> tone(11025);
    for (int i = 0; i < tone.size(); ++i)
        tone[i] = 0.5 * std::sin(2.0 * M_PI * 440.0 * i / 44100.0);
    QVERIFY(WavBuilder::writeMono16(desktop->filePath("tone.wav"), tone, 44100));
    TrialRecord record;
    record.filePath = desktop->path();
    record.fileName = "tone.wav";
    window->parameters.trials = {record};
    window->playOrder = {0};
    window->playPosition = 0;
    QVERIFY2(window->loadTargetSound(), qPrintable(window->targetLoadError));
    window->sinusoidMode = false;
    const QVector<float> sent = toSingle(window->targetSignal, window->parameters.sampleCount);
    QCOMPARE(sent.size(), 10000);

    const qint64 mark = recorder.mark();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "playOneSound"));
    QVERIFY2(recorder.waitForOnset(sent, mark) >= 0, qPrintable(recorder.describeMiss(sent, mark)));
    // x[n-1] + x[n+1] = 2 cos(w) x[n] for a sinusoid, by least squares away from the edges.
    double cross = 0.0, power = 0.0;
    for (int n = 500; n < sent.size() - 500; ++n) {
        cross += double(sent[n]) * (double(sent[n - 1]) + sent[n + 1]);
        power += double(sent[n]) * sent[n];
    }
    const double frequency = std::acos(cross / (2.0 * power)) * SinkRecorder::sampleRate / (2.0 * M_PI);
    QVERIFY2(qAbs(frequency - 440.0) < 0.05, qPrintable(QString::number(frequency, 'f', 4)));
}

void TestPlayback::closingAroundASound_data()
{
    QTest::addColumn<bool>("afterTheEnd");
    QTest::newRow("while it plays") << false;
    QTest::newRow("right after the end") << true;
}

// The output's deletion may still be queued: the window must not delete it a second time.
void TestPlayback::closingAroundASound()
{
    QFETCH(bool, afterTheEnd);
    QSignalSpy playing(window.get(), SIGNAL(soundPlaying(int)));
    const qint64 mark = recorder.mark();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "playOneSound"));
    QPointer<QAudioOutput> output = window->audioOutput;
    QVERIFY(output);
    if (afterTheEnd) {
        QVERIFY(playing.wait(5000)); // returns before the output's deferred deletion runs
        QCOMPARE(playing.count(), 2);
        QVERIFY2(output, "the output was already deleted; the window would not meet it");
    } else {
        QVERIFY2(recorder.waitForOnset(toSingle(window->targetSignal, 400), mark) >= 0, qPrintable(recorder.errorString()));
    }
    window.reset();
    QTRY_VERIFY(output.isNull());
}

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"
