#include "app/MainWindow.h"
#include "audio/Playback.h"
#include "support/SinkRecorder.h"
#include "support/TemporaryDesktop.h"

#include <QAudioOutput>
#include <QBuffer>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <cstring>
#include <memory>

// Playback through the test sound server: what reaches the null sink is recorded from its
// monitor and compared with the stimulus bit for bit.
class TestPlayback : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void streamBytes_data();
    void streamBytes();
    void deliversTheStimulusBitForBit_data();
    void deliversTheStimulusBitForBit();
    void oneStartThenOneEnd_data();
    void oneStartThenOneEnd();
    void matchedFrequencyFollowsSinusoidRequests_data();
    void matchedFrequencyFollowsSinusoidRequests();
    void shortStimulusEndsTheStream_data();
    void shortStimulusEndsTheStream();
    void newSoundReplacesAPlayingOne();
    void windowDestroyedAroundASound_data();
    void windowDestroyedAroundASound();

private:
    struct Presentation {
        qint64 mark = -1;          // capture index just before the sound was started
        QByteArray streamBytes;    // audioBytes while the sound played
        QList<int> soundPlaying;   // arguments of every soundPlaying emitted
        double startToIdleMs = -1; // from playOneSound to soundPlaying(-1)
    };
    void present(Presentation &result);
    void verifyCapturedAlone(const QVector<float> &expected, qint64 mark);

    static int warningsOfStop;
    static QtMessageHandler previousHandler;
    static void countWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message);

    SinkRecorder recorder;
    std::unique_ptr<TemporaryDesktop> desktop;
    std::unique_ptr<MainWindow> window;
};

int TestPlayback::warningsOfStop = 0;
QtMessageHandler TestPlayback::previousHandler = nullptr;

namespace {

const int defaultCount = 10000;
// Silence checked on each side of a sound: 100 ms.
const int guardSamples = 4000;

// Deterministic noise in [-0.9, 0.9] whose values need every bit of a double, so that rounding
// to single precision matters in almost every sample.
QVector<double> noise(int count)
{
    QVector<double> signal(count);
    quint32 state = 20240611u;
    for (int i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        signal[i] = 0.9 * (2.0 * (state / 4294967296.0) - 1.0);
    }
    return signal;
}

QVector<double> sinusoid(double frequency, int count)
{
    QVector<double> signal(count);
    for (int i = 0; i < count; ++i)
        signal[i] = std::sin(2.0 * M_PI * frequency * i / 40000.0);
    return signal;
}

QVector<float> toSingle(const QVector<double> &signal, int count)
{
    QVector<float> single(qMin(count, signal.size()));
    for (int i = 0; i < single.size(); ++i)
        single[i] = static_cast<float>(signal[i]);
    return single;
}

// The stream a float32le output must receive, built from the bit patterns byte by byte.
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

void TestPlayback::countWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message == QLatin1String("Audio stopped unexpectedly"))
        ++warningsOfStop;
    previousHandler(type, context, message);
}

void TestPlayback::initTestCase()
{
    QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));
    previousHandler = qInstallMessageHandler(countWarnings);
}

void TestPlayback::cleanupTestCase()
{
    qInstallMessageHandler(previousHandler);
}

void TestPlayback::init()
{
    desktop.reset(new TemporaryDesktop);
    QVERIFY(desktop->isValid());
    window.reset(new MainWindow);
    QCOMPARE(window->soundsPerPresentation, 1);
    window->parameters.sampleCount = defaultCount;
    window->targetSignal = noise(defaultCount);
    window->sinusoidSignal = sinusoid(1000.0, defaultCount);
    warningsOfStop = 0;
}

void TestPlayback::cleanup()
{
    window.reset();
    desktop.reset();
}

void TestPlayback::present(Presentation &result)
{
    QElapsedTimer clock;
    // Disconnected when this function returns, however it returns.
    QObject listener;
    connect(window.get(), &MainWindow::soundPlaying, &listener, [&result, &clock](int index) {
        result.soundPlaying.append(index);
        if (index == -1)
            result.startToIdleMs = clock.nsecsElapsed() / 1e6;
    });
    result.mark = recorder.mark();
    clock.start();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "playOneSound"));
    if (!window->audioBytes) {
        // Nothing to play: the presentation is over before playOneSound returns.
        QVERIFY2(result.soundPlaying.contains(-1), "the stream is gone while the sound plays");
        QVERIFY(!window->audioOutput);
        return;
    }
    QVERIFY(window->audioOutput);
    result.streamBytes = *window->audioBytes;
    QPointer<QAudioOutput> output = window->audioOutput;
    QTRY_VERIFY_WITH_TIMEOUT(result.soundPlaying.contains(-1), 5000);
    // Once the output is destroyed, nothing more can arrive from it.
    QTRY_VERIFY_WITH_TIMEOUT(output.isNull(), 5000);
}

void TestPlayback::verifyCapturedAlone(const QVector<float> &expected, qint64 mark)
{
    if (expected.isEmpty()) {
        QVERIFY2(recorder.waitForSamples(mark, SinkRecorder::sampleRate / 2), qPrintable(recorder.errorString()));
        QVERIFY2(recorder.isSilent(mark, mark + SinkRecorder::sampleRate / 2), "sound in the capture of an empty stimulus");
        return;
    }
    const qint64 onset = recorder.waitForOnset(expected, mark);
    QVERIFY2(onset >= 0, qPrintable(recorder.errorString()));
    QVERIFY2(recorder.waitForSamples(onset + expected.size(), guardSamples), qPrintable(recorder.errorString()));
    QVERIFY2(recorder.isSilent(mark, onset), "sound in the capture before the onset");
    QVERIFY2(recorder.isSilent(onset + expected.size(), onset + expected.size() + guardSamples),
             "sound in the capture after the stimulus");
    qInfo("onset %.1f ms after the request", (onset - mark) * 1000.0 / SinkRecorder::sampleRate);
}

void TestPlayback::streamBytes_data()
{
    QTest::addColumn<QVector<double>>("stimulus");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("negative full scale") << QVector<double>{-1.0} << 1 << QByteArray::fromHex("000080bf");
    QTest::newRow("negative zero kept") << QVector<double>{-0.0} << 1 << QByteArray::fromHex("00000080");
    // 0.1 lies between two floats; the nearer one is 0x3DCCCCCD, truncation gives ...CC.
    QTest::newRow("rounded to nearest") << QVector<double>{0.1} << 1 << QByteArray::fromHex("cdcccc3d");
    QTest::newRow("not clipped") << QVector<double>{1.5} << 1 << QByteArray::fromHex("0000c03f");
    QTest::newRow("count below the stimulus") << QVector<double>{0.5, 0.25, 2.0} << 2
                                              << QByteArray::fromHex("0000003f0000803e");
    QTest::newRow("count beyond the stimulus") << QVector<double>{0.5, 0.25} << 10000
                                               << QByteArray::fromHex("0000003f0000803e");
    QTest::newRow("negative count") << QVector<double>{0.5} << -4 << QByteArray();
    QTest::newRow("empty stimulus") << QVector<double>() << 10000 << QByteArray();
}

void TestPlayback::streamBytes()
{
    QFETCH(QVector<double>, stimulus);
    QFETCH(int, count);
    QFETCH(QByteArray, expected);
    QCOMPARE(float32LittleEndian(stimulus, count).toHex(), expected.toHex());
}

void TestPlayback::deliversTheStimulusBitForBit_data()
{
    QTest::addColumn<bool>("sinusoidMode");

    QTest::newRow("target noise") << false;
    QTest::newRow("sinusoid 1000 Hz") << true;
}

void TestPlayback::deliversTheStimulusBitForBit()
{
    QFETCH(bool, sinusoidMode);
    window->sinusoidMode = sinusoidMode;
    const QVector<double> &stimulus = sinusoidMode ? window->sinusoidSignal : window->targetSignal;
    const QVector<float> expected = toSingle(stimulus, defaultCount);

    Presentation played;
    present(played);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(played.streamBytes.size(), defaultCount * 4);
    QCOMPARE(played.streamBytes, littleEndianBytes(expected));
    if (sinusoidMode) {
        // Sample 10 of 1000 Hz at 40000 Hz is the peak, 1.0.
        QCOMPARE(float32LittleEndian(stimulus, defaultCount).mid(40, 4).toHex(), QByteArray("0000803f"));
        QCOMPARE(played.streamBytes.mid(40, 4).toHex(), QByteArray("0000803f"));
    }
    verifyCapturedAlone(expected, played.mark);
}

void TestPlayback::oneStartThenOneEnd_data()
{
    QTest::addColumn<bool>("sinusoidMode");
    QTest::addColumn<int>("sampleCount");

    QTest::newRow("target 250 ms") << false << 10000;
    QTest::newRow("sinusoid 250 ms") << true << 10000;
    QTest::newRow("target 500 ms") << false << 20000;
}

void TestPlayback::oneStartThenOneEnd()
{
    QFETCH(bool, sinusoidMode);
    QFETCH(int, sampleCount);
    window->sinusoidMode = sinusoidMode;
    window->parameters.sampleCount = sampleCount;
    window->targetSignal = noise(sampleCount);
    window->sinusoidSignal = sinusoid(1000.0, sampleCount);

    Presentation played;
    present(played);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(played.soundPlaying, (QList<int>{1, -1}));
    QVERIFY(!window->audioBytes);
    QVERIFY(!window->audioBuffer);
    QVERIFY(!window->audioOutput);
    QCOMPARE(warningsOfStop, 0);

    const double soundMs = sampleCount * 1000.0 / SinkRecorder::sampleRate;
    qInfo("start to idle: %.1f ms for a %.0f ms sound", played.startToIdleMs, soundMs);
    QVERIFY2(qAbs(played.startToIdleMs - soundMs) <= 100.0,
             qPrintable(QStringLiteral("%1 ms from start to idle").arg(played.startToIdleMs)));
}

void TestPlayback::matchedFrequencyFollowsSinusoidRequests_data()
{
    QTest::addColumn<int>("response");
    QTest::addColumn<int>("frequency");
    QTest::addColumn<QString>("shownAfter");
    QTest::addColumn<int>("countAdded");

    QTest::newRow("sinusoid 730 Hz") << 4 << 730 << "730" << 1;
    QTest::newRow("sinusoid 10 Hz") << 4 << 10 << "10" << 1;
    QTest::newRow("sinusoid 1000 Hz") << 4 << 1000 << "1000" << 1;
    QTest::newRow("target") << 2 << 0 << "not started yet" << 0;
}

void TestPlayback::matchedFrequencyFollowsSinusoidRequests()
{
    QFETCH(int, response);
    QFETCH(int, frequency);
    QFETCH(QString, shownAfter);
    QFETCH(int, countAdded);

    window->playOrder = {0};
    window->playPosition = 0;
    window->parameters.trials.resize(1);
    window->parameters.trials.first().matchedFrequency = 612;
    window->parameters.soundDuration = 0.25;
    window->parameters.silentInterval = 0.0;
    window->parameters.sinusoidCount = 3;
    if (response == 4)
        window->sinusoidSignal = sinusoid(frequency, defaultCount);
    const QString shownBefore = window->lineEditFrequencyMatched->text();
    QCOMPARE(shownBefore, QStringLiteral("not started yet"));

    QSignalSpy playing(window.get(), SIGNAL(soundPlaying(int)));
    QVERIFY(QMetaObject::invokeMethod(window.get(), "updateMainwindow", Q_ARG(qint32, response),
                                      Q_ARG(qint32, frequency)));
    // Nothing shows before the sound starts.
    QCOMPARE(window->lineEditFrequencyMatched->text(), shownBefore);
    QCOMPARE(window->parameters.sinusoidCount, 3);

    QTRY_COMPARE_WITH_TIMEOUT(playing.count(), 1, 5000);
    QCOMPARE(playing.at(0).at(0).toInt(), 1);
    QCOMPARE(window->lineEditFrequencyMatched->text(), shownAfter);
    QCOMPARE(window->parameters.sinusoidCount, 3 + countAdded);
    QTRY_COMPARE_WITH_TIMEOUT(playing.count(), 2, 5000);
    QCOMPARE(playing.at(1).at(0).toInt(), -1);
}

void TestPlayback::shortStimulusEndsTheStream_data()
{
    QTest::addColumn<bool>("sinusoidMode");
    QTest::addColumn<int>("stimulusLength");

    QTest::newRow("target of 6000 samples") << false << 6000;
    QTest::newRow("sinusoid of 6000 samples") << true << 6000;
    QTest::newRow("target of 1 sample") << false << 1;
    QTest::newRow("empty target") << false << 0;
    QTest::newRow("empty sinusoid") << true << 0;
}

void TestPlayback::shortStimulusEndsTheStream()
{
    QFETCH(bool, sinusoidMode);
    QFETCH(int, stimulusLength);
    window->sinusoidMode = sinusoidMode;
    window->parameters.sampleCount = defaultCount;
    window->targetSignal = noise(stimulusLength);
    window->sinusoidSignal = sinusoid(1000.0, stimulusLength);
    const QVector<float> expected =
        toSingle(sinusoidMode ? window->sinusoidSignal : window->targetSignal, stimulusLength);

    Presentation played;
    present(played);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(played.streamBytes, littleEndianBytes(expected));
    QCOMPARE(played.soundPlaying, (QList<int>{1, -1}));
    verifyCapturedAlone(expected, played.mark);
}

void TestPlayback::newSoundReplacesAPlayingOne()
{
    window->sinusoidMode = false;
    Presentation played;
    QSignalSpy playing(window.get(), SIGNAL(soundPlaying(int)));
    const qint64 mark = recorder.mark();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "playOneSound"));
    QPointer<QAudioOutput> first = window->audioOutput;
    QVERIFY(first);
    // The first sound is audible before the second request comes.
    QVERIFY2(recorder.waitForOnset(toSingle(window->targetSignal, 400), mark) >= 0,
             qPrintable(recorder.errorString()));

    window->soundIndex = 0;
    window->sinusoidMode = true;
    present(played);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(first.isNull());
    QCOMPARE(playing.count(), 3);
    QCOMPARE(playing.at(0).at(0).toInt(), 1);
    QCOMPARE(played.soundPlaying, (QList<int>{1, -1}));
    verifyCapturedAlone(toSingle(window->sinusoidSignal, defaultCount), played.mark);
}

void TestPlayback::windowDestroyedAroundASound_data()
{
    QTest::addColumn<bool>("afterTheEnd");

    QTest::newRow("while the sound plays") << false;
    QTest::newRow("right after the end") << true;
}

void TestPlayback::windowDestroyedAroundASound()
{
    QFETCH(bool, afterTheEnd);
    QSignalSpy playing(window.get(), SIGNAL(soundPlaying(int)));
    const qint64 mark = recorder.mark();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "playOneSound"));
    QPointer<QAudioOutput> output = window->audioOutput;
    QVERIFY(output);
    if (afterTheEnd) {
        // A signal spy's own loop returns at once, before the output's deferred deletion runs.
        QVERIFY(playing.wait(5000));
        QCOMPARE(playing.count(), 2);
        QVERIFY2(output, "the output was already deleted; the window would not meet it");
    } else {
        QVERIFY2(recorder.waitForOnset(toSingle(window->targetSignal, 400), mark) >= 0,
                 qPrintable(recorder.errorString()));
        QCOMPARE(playing.count(), 1);
    }
    window.reset();
    QTRY_VERIFY(output.isNull());
}

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"
