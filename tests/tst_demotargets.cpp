#include "audio/WavFile.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numeric>

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
    QTest::addColumn<int>("rate");
    QTest::addColumn<QVector<int>>("partials");
    QTest::addColumn<QVector<double>>("levels"); // relative to the strongest component

    QTest::newRow("pure tone") << "pure-tone-440Hz.wav" << 40000 << QVector<int>{440} << QVector<double>{1.0};
    QTest::newRow("harmonic complex") << "harmonic-complex-220Hz.wav" << 40000 << QVector<int>{220, 440, 660, 880, 1100, 1320}
                                      << QVector<double>{1.0, 1.0 / 2, 1.0 / 3, 1.0 / 4, 1.0 / 5, 1.0 / 6};
    // Nothing at 200 Hz itself: the check for stray components covers it.
    QTest::newRow("missing fundamental") << "missing-fundamental-200Hz.wav" << 40000
                                         << QVector<int>{600, 800, 1000, 1200, 1400, 1600} << QVector<double>(6, 1.0);
    QTest::newRow("AM tone") << "am-tone-500Hz-40Hz.wav" << 40000 << QVector<int>{460, 500, 540} << QVector<double>{0.5, 1.0, 0.5};
    QTest::newRow("at 44100 Hz") << "harmonic-complex-300Hz-44100.wav" << 44100 << QVector<int>{300, 600, 900, 1200, 1500}
                                 << QVector<double>{1.0, 1.0 / 2, 1.0 / 3, 1.0 / 4, 1.0 / 5};
}

// Each target holds its partials at their levels and nothing else, at one level between its
// 10 ms ramps.
void TestDemoTargets::targetMatchesItsDescription()
{
    QFETCH(QString, fileName);
    QFETCH(int, rate);
    QFETCH(QVector<int>, partials);
    QFETCH(QVector<double>, levels);
    WavFile wav;
    QVERIFY2(wav.readWavFile(QByteArray(TONVARA_SOURCE_DIR "/examples/targets/") + fileName.toUtf8()), qPrintable(wav.lastError()));
    const int frames = rate / 4, ramp = rate / 100; // 4 Hz bins
    QCOMPARE(int(wav.sampleRate), rate);
    QCOMPARE(int(wav.numSamples), frames);
    QVector<double> x = wav.samples;
    const double power = std::inner_product(x.cbegin() + ramp, x.cend() - ramp, x.cbegin() + ramp, 0.0) / (frames - 2 * ramp);
    QVERIFY2(qAbs(std::sqrt(power) - 0.15) < 0.003, qPrintable(QString::number(std::sqrt(power))));

    // Hann-windowed, so that a partial's energy stays within a bin either side of it.
    for (int i = 0; i < frames; ++i)
        x[i] *= 0.5 * (1.0 - std::cos(2.0 * M_PI * i / frames));
    const auto amplitude = [&](int k) {
        std::complex<double> bin = 0.0;
        for (int i = 0; i < frames; ++i)
            bin += x[i] * std::polar(1.0, -2.0 * M_PI * (k * i % frames) / frames);
        return std::abs(bin);
    };
    const double strongest = amplitude(partials[levels.indexOf(1.0)] / 4); // the component at level 1
    for (int k = 1; k < frames / 2; ++k) {
        const int n = partials.indexOf(4 * k);
        const bool skirt = n < 0 && std::any_of(partials.cbegin(), partials.cend(), [k](int f) { return qAbs(4 * k - f) <= 8; });
        const double expected = n < 0 ? 0.0 : levels[n];
        QVERIFY2(skirt || qAbs(amplitude(k) / strongest - expected) < 0.01, qPrintable(QString("%1 Hz").arg(4 * k)));
    }
}

QTEST_GUILESS_MAIN(TestDemoTargets)
#include "tst_demotargets.moc"
