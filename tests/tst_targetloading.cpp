#include "analysis/Spectrum.h"
#include "audio/SignalTools.h"
#include "support/WindowTest.h"
#include "support/WavBuilder.h"

#include <QLineEdit>
#include <QStatusBar>
#include <QtMath>
#include <algorithm>

Q_DECLARE_METATYPE(WavBuilder)

// A chosen file becoming the session's target, at the session's rate, and a file that cannot.
class TestTargetLoading : public WindowTest
{
    Q_OBJECT
private slots:
    void loadsOrRefuses_data();
    void loadsOrRefuses();

private:
    bool load(const QString &name, const WavBuilder &file);
};

// Adds the file as the next trial's target and loads it.
bool TestTargetLoading::load(const QString &name, const WavBuilder &file)
{
    TrialRecord record;
    record.filePath = desktop->path();
    record.fileName = name;
    window->parameters.trials.append(record);
    window->playOrder = {window->parameters.trials.size() - 1};
    return file.writeTo(desktop->filePath(name)) && window->loadTargetSound();
}

void TestTargetLoading::loadsOrRefuses_data()
{
    QTest::addColumn<WavBuilder>("file");
    QTest::addColumn<QVector<double>>("signal"); // at 40000 Hz; empty: the file is refused
    QTest::addColumn<QString>("duration");       // ms, as the window shows it afterwards
    QTest::addColumn<QString>("text");           // what the file is, or why it was refused

    const QVector<double> first{0.5, -0.25, 0.125, 1.0 / 32768}, none;
    const auto mono = [&first] { return WavBuilder().data(WavBuilder::pcm16(first)); };
    const QVector<double> interleaved{0.5, 0.75, -0.75, -0.25, 0.75, -0.75, 0.125, 0.75, -0.75, 1.0 / 32768, 0.5, 0.5, 0.5};
    QTest::newRow("3 channels and part of a frame") << WavBuilder().channels(3).data(WavBuilder::pcm16(interleaved))
                                                    << first << "0.10" << "40000 Hz, 16-bit integer, 3 channels (first used)";
    QTest::newRow("float beyond 1") << WavBuilder().formatCode(3).bitsPerSample(32).data(QByteArray::fromHex("0000a03f"))
                                    << QVector<double>{1.25} << "0.03"
                                    << "40000 Hz, 32-bit float, 1 channel. Warning: samples reach 1.250, beyond \u00b11; "
                                       "the sound card will clip them";
    // count samples of 440 Hz at half scale, clear of the clipping warning
    const auto sine = [](int count, double rate) { return pureTone(rate, (count + 0.5) / rate, 440.0, 0.5, 0.0); };
    const auto tone = [&sine](quint32 rate, int frames) { return WavBuilder().sampleRate(rate).data(WavBuilder::pcm16(sine(frames, rate))); };
    const auto resampled = [](int rate) { return QString("%1 Hz, 16-bit integer, 1 channel, resampled from %1 Hz to 40000 Hz").arg(rate); };
    // round(frames * 40000 / rate) samples of 440 Hz; the duration is the file's own.
    QTest::newRow("44100 Hz") << tone(44100, 22057) << sine(20006, 40000) << "500.16" << resampled(44100);
    QTest::newRow("48000 Hz") << tone(48000, 24001) << sine(20001, 40000) << "500.02" << resampled(48000);
    QTest::newRow("22050 Hz") << tone(22050, 11029) << sine(20007, 40000) << "500.18" << resampled(22050);
    QTest::newRow("96000 Hz") << tone(96000, 48005) << sine(20002, 40000) << "500.05" << resampled(96000);
    QTest::newRow("0 channels") << mono().channels(0) << none << "100.00" << "The target sound file has no channels.";
    QTest::newRow("999 Hz") << mono().sampleRate(999) << none << "100.00"
                            << "The target sound file's sample rate of 999 Hz is outside 1000 to 1000000 Hz.";
    QTest::newRow("half a stereo frame") << WavBuilder().channels(2).data(WavBuilder::pcm16({0.5})) << none << "100.00"
                                         << "The target sound file holds no samples.";
    QTest::newRow("empty file") << WavBuilder().truncateTo(0) << none << "100.00" << "Header size is zero. <desktop>/t.wav";
}

// Loaded over a good target: a usable file replaces it, is described and analysed; any other
// changes nothing of the session.
void TestTargetLoading::loadsOrRefuses()
{
    QFETCH(WavBuilder, file);
    QFETCH(QVector<double>, signal);
    QFETCH(QString, duration);
    QFETCH(QString, text);
    const QVector<double> previous(4000, 0.25);
    QVERIFY(load("good.wav", WavBuilder().data(WavBuilder::pcm16(previous))));

    QCOMPARE(load("t.wav", file), !signal.isEmpty());
    QCOMPARE(window->lineEditSoundDuration->text(), duration);
    if (signal.isEmpty()) {
        QCOMPARE(window->targetLoadError, text.replace("<desktop>", desktop->path()));
        QCOMPARE(window->parameters.wavFileName, QString("good.wav"));
        QCOMPARE(window->wavFile.framesDecoded, qint64(previous.size()));
        QCOMPARE(window->targetSignal, previous);
        QCOMPARE(window->parameters.sampleCount, 4000);
        return;
    }
    window->showSoundFileInfo();
    QCOMPARE(window->statusBar()->currentMessage(), "Target: " + text);
    QCOMPARE(window->parameters.sampleCount, signal.size());
    window->readParameters(); // as Go does: the count stays the loaded one
    QCOMPARE(window->parameters.sampleCount, signal.size());
    QCOMPARE(window->waveformTime.last(), (window->parameters.displaySampleCount - 1) / 40.0);
    QCOMPARE(window->targetSignal.size(), signal.size());
    // In tune, at level and in time: a resampled target within 1e-4 of the 440 Hz sine, clear of
    // the resampler's edges, is far within 0.05 Hz and 0.01 dB.
    const int edge = text.contains("resampled") ? signal.size() / 20 : 0;
    if (!edge)
        QCOMPARE(window->targetSignal, signal); // at the session's rate: untouched, bit for bit
    for (int i = edge; i < signal.size() - edge; ++i)
        QVERIFY2(qAbs(window->targetSignal.at(i) - signal[i]) < 1e-4, qPrintable(QString::number(i)));

    // The spectrum made with the load (marked here) serves the signal it was made of, and no other;
    // it keeps the bins shown and the range of all.
    const int fftLength = int(qNextPowerOfTwo(quint32(signal.size() - 1))); // the smallest not below the count
    QVector<double> frequency, amplitude;
    window->loadedSpectrum.amplitude.append(-1.0);
    for (double change : {0.0, 1.0}) {
        if (change != 0.0)
            window->targetSignal[0] += change;
        window->computeAmplitudeSpectrum();
        amplitudeSpectrum(window->targetSignal, signal.size(), fftLength, 40000.0, frequency, amplitude);
        const auto range = std::minmax_element(amplitude.cbegin(), amplitude.cend());
        QCOMPARE(window->spectrumRange, (QVector<double>{*range.first, *range.second}));
        amplitude.resize(window->parameters.spectrumBinCount);
        if (change == 0.0)
            amplitude.append(-1.0);
        QCOMPARE(window->spectrumAmplitude, amplitude);
    }
}

QTEST_MAIN(TestTargetLoading)
#include "tst_targetloading.moc"
