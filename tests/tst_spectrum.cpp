#include "analysis/Spectrum.h"

#include <QTest>

#include <cmath>

class TestSpectrum : public QObject
{
    Q_OBJECT
private slots:
    void smallTargets_data();
    void smallTargets();
};

void TestSpectrum::smallTargets_data()
{
    QTest::addColumn<QVector<double>>("target");
    QTest::addColumn<int>("sampleCount");
    QTest::addColumn<int>("fftLength");
    QTest::addColumn<QVector<double>>("expected");

    QVector<double> cosine;
    for (int n = 0; n < 8; ++n)
        cosine << std::cos(2.0 * M_PI * n / 8.0);
    const QVector<double> ones(8, 1.0);
    QTest::newRow("cosine bin 1") << cosine << 8 << 8 << QVector<double>{0, 1, 0, 0};
    QTest::newRow("all ones, bin 0 not halved") << ones << 8 << 8 << QVector<double>{2, 0, 0, 0};
    QTest::newRow("6 ones: padded to 8, divided by 3")
        << ones.mid(0, 6) << 6 << 8 << QVector<double>{2, 0.6159196883408579, 0.47140452079103173, 0.25512228824339295};
    QTest::newRow("4 of 8 samples read as zero-padded")
        << ones.mid(0, 4) << 8 << 8 << QVector<double>{1, 0.6532814824381883, 0, 0.2705980500730985};
    // The Nyquist bin is stored where bin 0's imaginary part would be.
    QTest::newRow("Nyquist") << QVector<double>{1.5, -0.5, 1.5, -0.5, 1.5, -0.5, 1.5, -0.5} << 8 << 8
                             << QVector<double>{1, 0, 0, 0};
    QTest::newRow("empty") << QVector<double>() << 0 << 0 << QVector<double>();
}

void TestSpectrum::smallTargets()
{
    QFETCH(QVector<double>, target);
    QFETCH(int, sampleCount);
    QFETCH(int, fftLength);
    QFETCH(QVector<double>, expected);

    QVector<double> frequency(8192, 1.0), amplitude(8192, 1.0);
    amplitudeSpectrum(target, sampleCount, fftLength, 8000.0, frequency, amplitude);
    QCOMPARE(frequency.size(), expected.size());
    QCOMPARE(amplitude.size(), expected.size());
    for (int k = 0; k < expected.size(); ++k) {
        QVERIFY2(qAbs(frequency[k] - k * 8000.0 / fftLength) < 1e-9, qPrintable(QString("frequency %1").arg(k)));
        QVERIFY2(qAbs(amplitude[k] - expected[k]) < 1e-12, qPrintable(QString("bin %1: %2").arg(k).arg(amplitude[k])));
    }
}

QTEST_GUILESS_MAIN(TestSpectrum)
#include "tst_spectrum.moc"
