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

QVector<double> sinusoid(int count, double hz, double rate)
{
    QVector<double> signal(count);
    for (int i = 0; i < count; ++i)
        signal[i] = std::sin(2.0 * M_PI * hz * i / rate);
    return signal;
}

QVector<float> toSingle(const QVector<double> &signal, int count)
{
    QVector<float> single(qBound(0, count, signal.size()));
    for (int i = 0; i < single.size(); ++i)
        single[i] = static_cast<float>(signal[i]);
    return single;
}

// The frequency of a clean sinusoid from x[n-1] + x[n+1] = 2 cos(w) x[n], by least squares.
double frequencyOf(const QVector<float> &x, double rate)
{
    double cross = 0.0, power = 0.0;
    for (int n = 1; n + 1 < x.size(); ++n) {
        cross += double(x[n]) * (double(x[n - 1]) + x[n + 1]);
        power += double(x[n]) * x[n];
    }
    return std::acos(cross / (2.0 * power)) * rate / (2.0 * M_PI);
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
    window->parameters.sampleCount = 10000;
    window->targetSignal = noise(10000);
    window->sinusoidSignal = sinusoid(10000, 1000.0, 40000.0);
    stopWarnings = 0;
}

void TestPlayback::presentation_data()
{
    QTest::addColumn<bool>("sinusoidMode");
    QTest::addColumn<int>("stimulusLength"); // 0 with fileRate: a 440 Hz file at that rate is loaded
    QTest::addColumn<int>("sampleCount");
    QTest::addColumn<bool>("interrupting"); // a target is still playing when the request comes
    QTest::addColumn<int>("fileRate");

    QTest::newRow("target") << false << 10000 << 10000 << false << 0;
    QTest::newRow("sinusoid") << true << 10000 << 10000 << false << 0;
    QTest::newRow("target 500 ms") << false << 20000 << 20000 << false << 0;
    QTest::newRow("short sinusoid") << true << 6000 << 10000 << false << 0;
    QTest::newRow("1-sample target") << false << 1 << 10000 << false << 0;
    QTest::newRow("empty target") << false << 0 << 10000 << false << 0;
    QTest::newRow("negative count") << false << 10000 << -4 << false << 0;
    QTest::newRow("sinusoid cutting a target") << true << 10000 << 10000 << true << 0;
    QTest::newRow("44100 Hz file at 440 Hz") << false << 0 << 10000 << false << 44100;
}

// One start, one end after the whole stimulus (never more) reached the sink, and nothing else.
void TestPlayback::presentation()
{
    QFETCH(bool, sinusoidMode);
    QFETCH(int, stimulusLength);
    QFETCH(int, sampleCount);
    QFETCH(bool, interrupting);
    QFETCH(int, fileRate);
    window->targetSignal = noise(stimulusLength);
    window->sinusoidSignal = sinusoid(stimulusLength, 1000.0, 40000.0);
    window->parameters.trials = {TrialRecord()};
    window->parameters.trials[0].matchedFrequency = 1000;
    if (fileRate) {
        QVERIFY(WavBuilder::writeMono16(desktop->filePath("tone.wav"), sinusoid(fileRate / 4, 440.0, fileRate), quint32(fileRate)));
        window->parameters.trials[0].filePath = desktop->path();
        window->parameters.trials[0].fileName = "tone.wav";
        window->playOrder = {0};
        QVERIFY2(window->loadTargetSound(), qPrintable(window->targetLoadError));
    }
    window->parameters.sampleCount = sampleCount;
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
    if (fileRate)
        QVERIFY2(qAbs(frequencyOf(expected, 40000.0) - 440.0) < 0.05, qPrintable(QString::number(frequencyOf(expected, 40000.0))));

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
    QCOMPARE(window->lineEditFrequencyMatched->text(), QString(sinusoidMode ? "1000" : "not started yet"));
    QCOMPARE(window->parameters.sinusoidCount, int(sinusoidMode));
    QPointer<QAudioOutput> output = window->audioOutput;
    QTRY_VERIFY_WITH_TIMEOUT(signalled.contains(-1), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(output.isNull() && interrupted.isNull(), 5000);

    QCOMPARE(signalled, (QList<int>{1, -1}));
    QVERIFY(!window->audioBytes && !window->audioBuffer && !window->audioOutput);
    QCOMPARE(stopWarnings, 0);
    const double soundMs = expected.size() * 1000.0 / SinkRecorder::sampleRate;
    QVERIFY2(qAbs(startToIdleMs - soundMs) <= 100.0, qPrintable(QString::number(startToIdleMs)));

    const qint64 onset = expected.isEmpty() ? mark : recorder.waitForOnset(expected, mark);
    QVERIFY2(onset >= 0, qPrintable(recorder.describeMiss(expected, mark)));
    const qint64 end = onset + expected.size();
    QVERIFY2(recorder.waitForSamples(end, guardSamples), qPrintable(recorder.errorString()));
    QVERIFY2(recorder.isSilent(mark, onset), "sound in the capture before the onset");
    QVERIFY2(recorder.isSilent(end, end + guardSamples), "sound in the capture after the stimulus");
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
