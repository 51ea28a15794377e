#include "analysis/Spectrum.h"
#include "app/MainWindow.h"
#include "audio/TargetSound.h"
#include "support/WindowTest.h"
#include "support/WavBuilder.h"

#include <QLineEdit>
#include <QStatusBar>
#include <QTest>
#include <QtEndian>
#include <cmath>

Q_DECLARE_METATYPE(TargetSound::Problem)

namespace {

// Frequency (Hz) and RMS of a clean sinusoid: x[n-1] + x[n+1] = 2 cos(w) x[n], solved by least
// squares over [begin, end).
QPair<double, double> toneOf(const QVector<double> &x, double rate, int begin, int end)
{
    double cross = 0.0, power = 0.0;
    for (int n = begin; n < end; ++n) {
        cross += x[n] * (x[n - 1] + x[n + 1]);
        power += x[n] * x[n];
    }
    return {std::acos(cross / (2.0 * power)) * rate / (2.0 * M_PI), std::sqrt(power / (end - begin))};
}

} // namespace

// A chosen file becoming the session's target, and a file that cannot.
class TestTargetLoading : public WindowTest
{
    Q_OBJECT
private slots:
    void targetSound_data();
    void targetSound();
    void convertsToTheSessionRate_data();
    void convertsToTheSessionRate();
    void describesTheFile_data();
    void describesTheFile();
    void failedLoadChangesNothing();

private:
    bool load(const QString &name);
};

bool TestTargetLoading::load(const QString &name)
{
    TrialRecord record;
    record.filePath = desktop->path();
    record.fileName = name;
    window->parameters.trials = {record};
    window->playOrder = {0};
    window->playPosition = 0;
    return window->loadTargetSound();
}

void TestTargetLoading::targetSound_data()
{
    QTest::addColumn<int>("channels"); // -1: no file at the path
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("frames");
    QTest::addColumn<TargetSound::Problem>("problem");
    using P = TargetSound::Problem;
    QTest::newRow("stereo") << 2 << 40000 << 6 << P::None;
    QTest::newRow("3 channels") << 3 << 40000 << 6 << P::None;
    QTest::newRow("0 channels") << 0 << 40000 << 6 << P::NoChannels;
    QTest::newRow("999 Hz") << 1 << 999 << 6 << P::BadSampleRate;
    QTest::newRow("no data") << 1 << 40000 << 0 << P::NoFrames;
    QTest::newRow("half a stereo frame") << 2 << 40000 << 0 << P::NoFrames;
    QTest::newRow("missing") << -1 << 40000 << 6 << P::ReadFailed;
}

// The first channel, whole frames only; a read after a good stereo one keeps nothing of it.
void TestTargetLoading::targetSound()
{
    QFETCH(int, channels);
    QFETCH(int, rate);
    QFETCH(int, frames);
    QFETCH(TargetSound::Problem, problem);
    QVector<double> first, interleaved;
    for (int i = 0; i < frames; ++i) {
        first << ((100 + i * 37) % 32768) / 32768.0;
        for (int c = 0; c < channels; ++c)
            interleaved << (c == 0 ? first[i] : -0.25 * c);
    }
    if (channels != 1)
        interleaved << 0.5; // part of a frame: never part of the target
    const QString good = desktop->filePath("good.wav"), path = desktop->filePath("target.wav");
    QVERIFY(WavBuilder::writeStereo16(good, {0.5, 0.25}, {-0.5, -0.25}, 40000));
    QVERIFY(channels < 0 || WavBuilder().channels(quint16(channels)).sampleRate(quint32(rate))
                                .data(WavBuilder::pcm16(interleaved)).writeTo(path));
    WavFile wav;
    QVERIFY(wav.readWavFile(good.toUtf8()));
    wav.readWavFile(path.toUtf8());

    const TargetSound target(wav, 40000.0);
    QCOMPARE(target.problem(), problem);
    QCOMPARE(target.problemText().isEmpty(), target.isUsable());
    const QVector<double> expected = target.isUsable() ? first : QVector<double>();
    QCOMPARE(target.firstChannel(), expected);
    QCOMPARE(target.signal(), expected);
    QCOMPARE(target.frameCount(), expected.size());
    QCOMPARE(target.durationSeconds(), expected.size() / 40000.0);
}

void TestTargetLoading::convertsToTheSessionRate_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("length"); // round(frames * 40000 / rate)
    QTest::addColumn<QString>("durationText");
    QTest::addColumn<int>("fftLength");
    QTest::newRow("40000 Hz, bit for bit") << 40000 << 10000 << 10000 << "250.00" << 16384;
    QTest::newRow("44100 Hz") << 44100 << 22057 << 20006 << "500.16" << 32768;
    QTest::newRow("48000 Hz") << 48000 << 24001 << 20001 << "500.02" << 32768;
    QTest::newRow("22050 Hz") << 22050 << 11029 << 20007 << "500.18" << 32768;
    QTest::newRow("96000 Hz") << 96000 << 48005 << 20002 << "500.05" << 32768;
}

// A 440 Hz tone keeps its pitch within 0.05 Hz and its level within 0.01 dB; the window's
// sizes follow the converted length, the duration the file's own.
void TestTargetLoading::convertsToTheSessionRate()
{
    QFETCH(int, rate);
    QFETCH(int, frames);
    QFETCH(int, length);
    QFETCH(QString, durationText);
    QFETCH(int, fftLength);
    QVector<double> tone(frames);
    for (int i = 0; i < frames; ++i)
        tone[i] = 0.5 * std::sin(2.0 * M_PI * 440.0 * i / rate);
    QByteArray bytes(frames * 8, '\0');
    for (int i = 0; i < frames; ++i)
        qToLittleEndian(tone[i], bytes.data() + 8 * i);
    QVERIFY(WavBuilder().formatCode(3).bitsPerSample(64).sampleRate(quint32(rate)).data(bytes)
                .writeTo(desktop->filePath("tone.wav")));
    QVERIFY2(load("tone.wav"), qPrintable(window->targetLoadError));
    QCOMPARE(window->currentTargetPath, desktop->filePath("tone.wav"));
    QCOMPARE(window->targetSignal.size(), length);
    QCOMPARE(window->parameters.sampleCount, length);
    QCOMPARE(window->lineEditSoundDuration->text(), durationText);
    QCOMPARE(window->fftLength, fftLength);
    QCOMPARE(window->waveformTime.last(), (window->parameters.displaySampleCount - 1) / 40.0);
    window->buildSinusoid();
    QCOMPARE(window->sinusoidSignal.size(), length);
    if (rate == 40000)
        QCOMPARE(window->targetSignal, tone);
    // The spectrum made with the load serves only the signal it was made of.
    QVector<double> frequency, amplitude;
    for (int change = 0; change < 2; ++change) {
        if (change)
            window->targetSignal[0] += 1.0;
        window->computeAmplitudeSpectrum();
        QVERIFY(amplitudeSpectrum(window->targetSignal, length, fftLength, 40000.0, frequency, amplitude));
        QCOMPARE(window->spectrumAmplitude, amplitude);
    }

    // The middle 90 %, clear of the resampler's edges.
    const auto heard = toneOf(window->targetSignal, 40000.0, length / 20, length - length / 20);
    const auto recorded = toneOf(tone, rate, frames / 20, frames - frames / 20);
    QVERIFY2(qAbs(heard.first - 440.0) < 0.05, qPrintable(QString::number(heard.first, 'f', 4)));
    const double levelDb = 20.0 * std::log10(heard.second / recorded.second);
    QVERIFY2(qAbs(levelDb) < 0.01, qPrintable(QString::number(levelDb, 'f', 4)));
}

void TestTargetLoading::describesTheFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("text");
    QTest::newRow("40000 Hz mono") << WavBuilder().data(WavBuilder::pcm16({0.5})).bytes()
                                   << "40000 Hz, 16-bit integer, 1 channel";
    QTest::newRow("44100 Hz stereo") << WavBuilder().bitsPerSample(32).channels(2).sampleRate(44100).data(QByteArray(800, 1)).bytes()
                                     << "44100 Hz, 32-bit integer, 2 channels (first used), resampled from 44100 Hz to 40000 Hz";
    QTest::newRow("float beyond 1") << WavBuilder().formatCode(3).bitsPerSample(32).data(QByteArray::fromHex("0000a03f")).bytes()
                                    << "40000 Hz, 32-bit float, 1 channel. Warning: samples reach 1.250, beyond \u00b11; "
                                       "the sound card will clip them";
}

void TestTargetLoading::describesTheFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, text);
    QFile out(desktop->filePath("t.wav"));
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
    out.close();
    QVERIFY(load("t.wav"));
    window->showSoundFileInfo();
    QCOMPARE(window->targetDescription, text);
    QCOMPARE(window->lineEditWavFileName->toolTip(), text);
    QCOMPARE(window->statusBar()->currentMessage(), "Target: " + text);
}

// A file that cannot serve is checked before anything of the session changes.
void TestTargetLoading::failedLoadChangesNothing()
{
    const QVector<double> samples(4000, 0.25);
    QVERIFY(WavBuilder::writeMono16(desktop->filePath("good.wav"), samples, 40000));
    QVERIFY(load("good.wav"));
    QVERIFY(WavBuilder().sampleRate(48000).channels(0).data(WavBuilder::pcm16({0.5})).writeTo(desktop->filePath("bad.wav")));
    window->parameters.trials.append(window->parameters.trials.first());
    window->parameters.trials[1].fileName = "bad.wav";
    window->playOrder = {1};

    QVERIFY(!window->loadTargetSound());
    QCOMPARE(window->targetLoadError, QString("The target sound file has no channels."));
    QCOMPARE(window->currentTarget, 0);
    QCOMPARE(window->currentTargetPath, desktop->filePath("good.wav"));
    QCOMPARE(window->parameters.wavFileName, QString("good.wav"));
    QCOMPARE(window->wavFile.sampleRate, 40000u);
    QCOMPARE(window->wavFile.samples, samples);
    QCOMPARE(window->targetSignal, samples);
    QCOMPARE(window->parameters.sampleCount, 4000);
    QCOMPARE(window->lineEditSoundDuration->text(), QString("100.00"));
}

QTEST_MAIN(TestTargetLoading)
#include "tst_targetloading.moc"
