#include "audio/TargetSound.h"
#include "audio/WavFile.h"

#include <QDir>
#include <QTest>

#include <algorithm>
#include <cmath>

namespace {

const int frames = 10000;
const int rampPoints = 400;
const double binWidth = 40000.0 / frames;

// Relative amplitude in DFT bin k (Goertzel) of a Hann-windowed signal; the window keeps a
// partial's energy within a bin either side, where the ramps alone would spread it ~100 Hz wide.
double binAmplitude(const QVector<double> &x, int k)
{
    const double coefficient = 2.0 * std::cos(2.0 * M_PI * k / x.size());
    double s1 = 0.0;
    double s2 = 0.0;
    for (double value : x) {
        const double s = value + coefficient * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2.0 * std::sqrt(std::max(0.0, power)) / x.size();
}

QString targetPath(const QString &fileName)
{
    return QDir(QStringLiteral(TONVARA_SOURCE_DIR "/examples/targets")).filePath(fileName);
}

} // namespace

class TestDemoTargets : public QObject
{
    Q_OBJECT
private slots:
    void targetMatchesItsDescription_data();
    void targetMatchesItsDescription();
};

void TestDemoTargets::targetMatchesItsDescription_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("pitch");
    QTest::addColumn<QVector<int>>("partials");
    QTest::addColumn<QVector<double>>("relativeAmplitudes");

    QTest::newRow("pure tone") << "pure-tone-440Hz.wav" << 440 << QVector<int>{440} << QVector<double>{1.0};
    QTest::newRow("harmonic complex") << "harmonic-complex-220Hz.wav" << 220
                                      << QVector<int>{220, 440, 660, 880, 1100, 1320}
                                      << QVector<double>{1.0, 1.0 / 2, 1.0 / 3, 1.0 / 4, 1.0 / 5, 1.0 / 6};
    QTest::newRow("missing fundamental") << "missing-fundamental-200Hz.wav" << 200
                                         << QVector<int>{600, 800, 1000, 1200, 1400, 1600}
                                         << QVector<double>(6, 1.0);
    QTest::newRow("amplitude-modulated tone") << "am-tone-500Hz-40Hz.wav" << 500
                                              << QVector<int>{460, 500, 540}
                                              << QVector<double>{0.5, 1.0, 0.5};
}

void TestDemoTargets::targetMatchesItsDescription()
{
    QFETCH(QString, fileName);
    QFETCH(int, pitch);
    QFETCH(QVector<int>, partials);
    QFETCH(QVector<double>, relativeAmplitudes);

    WavFile wav;
    QVERIFY2(wav.readWavFile(targetPath(fileName).toUtf8()), qPrintable(wav.lastError()));
    QCOMPARE(wav.sampleRate, 40000u);
    QCOMPARE(int(wav.numChannels), 1);
    QCOMPARE(int(wav.bitsPerSample), 16);
    QCOMPARE(int(wav.numSamples), frames);
    const TargetSound target(wav);
    QVERIFY(target.isUsable());
    QCOMPARE(target.frameCount(), frames);
    const QVector<double> x = target.firstChannel();

    double peak = 0.0;
    for (double value : x)
        peak = std::max(peak, std::abs(value));
    QVERIFY2(peak <= 0.5 && peak > 0.1, qPrintable(QString("peak %1").arg(peak)));

    // Equal level across the targets, measured between the ramps.
    double sum = 0.0;
    for (int i = rampPoints; i < frames - rampPoints; ++i)
        sum += x[i] * x[i];
    const double rms = std::sqrt(sum / (frames - 2 * rampPoints));
    QVERIFY2(qAbs(rms - 0.15) < 0.003, qPrintable(QString("RMS %1").arg(rms)));

    // Ramped ends: silent first and last samples and under 3 % of the peak in the first and last ms.
    QCOMPARE(x.first(), 0.0);
    QCOMPARE(x.last(), 0.0);
    for (int i = 0; i < 40; ++i) {
        QVERIFY2(qAbs(x[i]) < 0.03 * peak, qPrintable(QString("onset sample %1: %2").arg(i).arg(x[i])));
        QVERIFY2(qAbs(x[frames - 1 - i]) < 0.03 * peak,
                 qPrintable(QString("offset sample %1: %2").arg(i).arg(x[frames - 1 - i])));
    }

    QVector<double> windowed(frames);
    for (int i = 0; i < frames; ++i)
        windowed[i] = x[i] * 0.5 * (1.0 - std::cos(2.0 * M_PI * i / frames));
    QVector<double> spectrum(frames / 2);
    for (int k = 1; k < spectrum.size(); ++k)
        spectrum[k] = binAmplitude(windowed, k);
    const double strongest = *std::max_element(spectrum.cbegin(), spectrum.cend());

    // The partials at their relative levels, the loudest of them the strongest component ...
    for (int n = 0; n < partials.size(); ++n) {
        const double relative = spectrum[int(partials[n] / binWidth)] / strongest;
        QVERIFY2(qAbs(relative - relativeAmplitudes[n]) < 0.02,
                 qPrintable(QString("%1 Hz at %2 of the strongest").arg(partials[n]).arg(relative)));
    }
    // ... and nothing else, apart from the window's spread into the neighbouring bins.
    for (int k = 1; k < spectrum.size(); ++k) {
        const double frequency = k * binWidth;
        const bool nearPartial = std::any_of(partials.cbegin(), partials.cend(), [&](int f) {
            return qAbs(frequency - f) <= 2 * binWidth;
        });
        if (!nearPartial)
            QVERIFY2(spectrum[k] < 0.01 * strongest,
                     qPrintable(QString("%1 Hz at %2 of the strongest").arg(frequency).arg(spectrum[k] / strongest)));
    }
    // The pitch a listener matches either is a partial or, for the missing fundamental, holds no energy.
    if (!partials.contains(pitch))
        QVERIFY(spectrum[int(pitch / binWidth)] < 0.01 * strongest);
}

QTEST_GUILESS_MAIN(TestDemoTargets)
#include "tst_demotargets.moc"
