#include "analysis/Spectrum.h"

#include <QRegularExpression>
#include <QTest>

#include <cmath>
#include <complex>
#include <limits>

namespace {

const double pi = 3.141592653589793;

QVector<double> tone(int sampleCount, double frequency, double amplitude, double samplingRate)
{
    QVector<double> samples(sampleCount);
    for (int i = 0; i < sampleCount; ++i)
        samples[i] = amplitude * std::sin(frequency * 2.0 * pi * i / samplingRate);
    return samples;
}

}

class TestSpectrum : public QObject
{
    Q_OBJECT
private slots:
    void defaultSizes();
    void smallTargets_data();
    void smallTargets();
    void sixSamplesUseDivisorThree();
    void toneBetweenBins();
    void nyquistEnergyStaysOutOfBinZero_data();
    void nyquistEnergyStaysOutOfBinZero();
    void nothingToCompute_data();
    void nothingToCompute();
    void targetShorterThanSampleCountIsPadded();
    void invalidArgumentsAreRefused_data();
    void invalidArgumentsAreRefused();
};

void TestSpectrum::defaultSizes()
{
    const QVector<double> target = tone(10000, 1000.0, 0.5, 40000.0);
    QVector<double> frequency;
    QVector<double> amplitude;
    QVERIFY(amplitudeSpectrum(target, 10000, 16384, 40000.0, frequency, amplitude));

    QCOMPARE(frequency.size(), 8192);
    QCOMPARE(amplitude.size(), 8192);
    QVERIFY(qAbs(frequency[0]) < 1e-12);
    QVERIFY(qAbs(frequency[1] - 2.44140625) < 1e-12);
    QVERIFY(qAbs(frequency[8191] - 8191 * 2.44140625) < 1e-8);
}

void TestSpectrum::smallTargets_data()
{
    QTest::addColumn<QVector<double>>("target");
    QTest::addColumn<double>("samplingRate");
    QTest::addColumn<QVector<double>>("expectedFrequency");
    QTest::addColumn<QVector<double>>("expectedAmplitude");

    QVector<double> cosine;
    for (int n = 0; n < 8; ++n)
        cosine << std::cos(2.0 * pi * n / 8.0);

    QTest::newRow("cosine on bin 1") << cosine << 8000.0 << QVector<double>{0, 1000, 2000, 3000}
                                     << QVector<double>{0, 1, 0, 0};
    // Bin 0 keeps the full sum over sampleCount div 2: it is not halved.
    QTest::newRow("all ones") << QVector<double>(8, 1.0) << 8000.0 << QVector<double>{0, 1000, 2000, 3000}
                              << QVector<double>{2, 0, 0, 0};
    QTest::newRow("two samples") << QVector<double>{0.5, 0.25} << 100.0 << QVector<double>{0.0}
                                 << QVector<double>{0.75};
}

void TestSpectrum::smallTargets()
{
    QFETCH(QVector<double>, target);
    QFETCH(double, samplingRate);
    QFETCH(QVector<double>, expectedFrequency);
    QFETCH(QVector<double>, expectedAmplitude);

    QVector<double> frequency;
    QVector<double> amplitude;
    const QVector<double> targetCopy = target;
    QVERIFY(amplitudeSpectrum(target, target.size(), target.size(), samplingRate, frequency, amplitude));

    QCOMPARE(target, targetCopy);
    QCOMPARE(frequency.size(), expectedFrequency.size());
    QCOMPARE(amplitude.size(), expectedAmplitude.size());
    for (int k = 0; k < expectedFrequency.size(); ++k) {
        QVERIFY2(qAbs(frequency[k] - expectedFrequency[k]) < 1e-9, qPrintable(QString("frequency %1").arg(k)));
        QVERIFY2(qAbs(amplitude[k] - expectedAmplitude[k]) < 1e-12,
                 qPrintable(QString("amplitude %1 = %2").arg(k).arg(amplitude[k], 0, 'g', 17)));
    }
}

// Padded to 8, but the divisor stays 6 div 2 = 3.
void TestSpectrum::sixSamplesUseDivisorThree()
{
    const QVector<double> target{1, 1, 1, 1, 1, 1};
    QVector<double> frequency;
    QVector<double> amplitude;
    QVERIFY(amplitudeSpectrum(target, 6, 8, 8000.0, frequency, amplitude));

    QCOMPARE(amplitude.size(), 4);
    for (int k = 0; k < 4; ++k) {
        std::complex<double> bin = 0.0;
        for (int n = 0; n < 6; ++n)
            bin += std::polar(1.0, -2.0 * pi * k * n / 8.0);
        QVERIFY2(qAbs(amplitude[k] - std::abs(bin) / 3.0) < 1e-12, qPrintable(QString::number(k)));
    }
    QVERIFY(qAbs(amplitude[0] - 2.0) < 1e-12);
}

// 1000 Hz falls between bins 409 (998.535 Hz) and 410 (1000.977 Hz) of the 16384-point block.
void TestSpectrum::toneBetweenBins()
{
    const QVector<double> target = tone(10000, 1000.0, 0.5, 40000.0);
    QVector<double> frequency;
    QVector<double> amplitude;
    QVERIFY(amplitudeSpectrum(target, 10000, 16384, 40000.0, frequency, amplitude));

    int peak = 0;
    for (int k = 1; k < amplitude.size(); ++k)
        if (amplitude[k] > amplitude[peak])
            peak = k;
    QCOMPARE(peak, 410);
    QVERIFY(qAbs(frequency[410] - 1000.9765625) < 1e-9);
    QVERIFY(qAbs(frequency[409] - 998.53515625) < 1e-9);
    QVERIFY2(qAbs(amplitude[410] - 0.45218) < 5e-4, qPrintable(QString::number(amplitude[410])));
    QVERIFY2(qAbs(amplitude[409] - 0.39706) < 5e-4, qPrintable(QString::number(amplitude[409])));
}

void TestSpectrum::nyquistEnergyStaysOutOfBinZero_data()
{
    QTest::addColumn<QVector<double>>("target");
    QTest::addColumn<double>("expectedBinZero");
    QTest::newRow("alternating only") << QVector<double>{1, -1, 1, -1, 1, -1, 1, -1} << 0.0;
    QTest::newRow("offset plus alternating") << QVector<double>{1.5, -0.5, 1.5, -0.5, 1.5, -0.5, 1.5, -0.5} << 1.0;
    QTest::newRow("alternating at 16") << QVector<double>{1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1}
                                       << 0.0;
}

// The Nyquist bin is stored where an imaginary part of bin 0 would be; it must not be read as
// one.
void TestSpectrum::nyquistEnergyStaysOutOfBinZero()
{
    QFETCH(QVector<double>, target);
    QFETCH(double, expectedBinZero);

    QVector<double> frequency;
    QVector<double> amplitude;
    QVERIFY(amplitudeSpectrum(target, target.size(), target.size(), 8000.0, frequency, amplitude));
    QCOMPARE(amplitude.size(), target.size() / 2);
    QVERIFY2(qAbs(amplitude[0] - expectedBinZero) < 1e-12, qPrintable(QString::number(amplitude[0])));
    for (int k = 1; k < amplitude.size(); ++k)
        QVERIFY2(qAbs(amplitude[k]) < 1e-12, qPrintable(QString::number(k)));
}

void TestSpectrum::nothingToCompute_data()
{
    QTest::addColumn<QVector<double>>("target");
    QTest::addColumn<int>("sampleCount");
    QTest::addColumn<int>("fftLength");
    QTest::newRow("empty target") << QVector<double>() << 0 << 0;
    QTest::newRow("empty target, stale length") << QVector<double>() << 0 << 16384;
    QTest::newRow("one sample") << QVector<double>{0.5} << 1 << 1;
}

// No bins to show: the vectors come back empty, whatever they held before.
void TestSpectrum::nothingToCompute()
{
    QFETCH(QVector<double>, target);
    QFETCH(int, sampleCount);
    QFETCH(int, fftLength);

    QVector<double> frequency(8192, 1.0);
    QVector<double> amplitude(8192, 1.0);
    QVERIFY(amplitudeSpectrum(target, sampleCount, fftLength, 40000.0, frequency, amplitude));
    QCOMPARE(frequency.size(), 0);
    QCOMPARE(amplitude.size(), 0);
}

// Before a target is loaded, the signal can be shorter than the sample count it is sized for.
void TestSpectrum::targetShorterThanSampleCountIsPadded()
{
    QVector<double> frequency;
    QVector<double> amplitude;
    QVERIFY(amplitudeSpectrum(QVector<double>(), 10000, 16384, 40000.0, frequency, amplitude));
    QCOMPARE(amplitude.size(), 8192);
    for (int k = 0; k < amplitude.size(); ++k)
        QVERIFY2(amplitude[k] == 0.0, qPrintable(QString::number(k)));

    QVERIFY(amplitudeSpectrum(QVector<double>(4, 1.0), 8, 8, 8000.0, frequency, amplitude));
    QCOMPARE(amplitude.size(), 4);
    QVERIFY(qAbs(amplitude[0] - 1.0) < 1e-12);
}

void TestSpectrum::invalidArgumentsAreRefused_data()
{
    QTest::addColumn<int>("sampleCount");
    QTest::addColumn<int>("fftLength");
    QTest::addColumn<double>("samplingRate");
    QTest::addColumn<QString>("warning");
    QTest::newRow("length not a power of two") << 10 << 12 << 8000.0 << "FFT length 12 is not a power of two";
    QTest::newRow("negative length") << 10 << -16 << 8000.0 << "FFT length -16 is not a power of two";
    QTest::newRow("negative sample count") << -4 << 8 << 8000.0 << "negative sample count -4";
    QTest::newRow("one sample in a longer block") << 1 << 8 << 8000.0 << "1 samples cannot fill an FFT of length 8";
    QTest::newRow("zero sampling rate") << 8 << 8 << 0.0 << "sampling rate 0 is not a positive number";
    QTest::newRow("sampling rate not a number") << 8 << 8 << std::numeric_limits<double>::quiet_NaN()
                                                << "sampling rate nan is not a positive number";
    QTest::newRow("infinite sampling rate") << 8 << 8 << std::numeric_limits<double>::infinity()
                                            << "sampling rate inf is not a positive number";
}

void TestSpectrum::invalidArgumentsAreRefused()
{
    QFETCH(int, sampleCount);
    QFETCH(int, fftLength);
    QFETCH(double, samplingRate);
    QFETCH(QString, warning);

    QVector<double> frequency(4, 1.0);
    QVector<double> amplitude(4, 1.0);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(warning)));
    QVERIFY(!amplitudeSpectrum(QVector<double>(8, 1.0), sampleCount, fftLength, samplingRate, frequency, amplitude));
    QCOMPARE(frequency.size(), 0);
    QCOMPARE(amplitude.size(), 0);
}

QTEST_GUILESS_MAIN(TestSpectrum)
#include "tst_spectrum.moc"
