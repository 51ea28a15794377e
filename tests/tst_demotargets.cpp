#include "audio/WavFile.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

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
    QTest::newRow("AM tone") << "am-tone-500Hz-40Hz.wav" << 40000 << QVector<int>{460, 500, 540}
                             << QVector<double>{0.5, 1.0, 0.5};
    QTest::newRow("at 44100 Hz") << "harmonic-complex-300Hz-44100.wav" << 44100
                                 << QVector<int>{300, 600, 900, 1200, 1500}
                                 << QVector<double>{1.0, 1.0 / 2, 1.0 / 3, 1.0 / 4, 1.0 / 5};
}

void TestDemoTargets::targetMatchesItsDescription()
{
    QFETCH(QString, fileName);
    QFETCH(int, rate);
    QFETCH(QVector<int>, partials);
    QFETCH(QVector<double>, levels);

    WavFile wav;
    QVERIFY2(wav.readWavFile(QByteArray(TONVARA_SOURCE_DIR "/examples/targets/") + fileName.toUtf8()),
             qPrintable(wav.lastError()));
    const int frames = rate / 4, ramp = rate / 100, quiet = rate / 1000;
    const double binWidth = double(rate) / frames;
    QCOMPARE(int(wav.sampleRate), rate);
    QCOMPARE(int(wav.numChannels), 1);
    QCOMPARE(int(wav.bitsPerSample), 16);
    QCOMPARE(int(wav.numSamples), frames);
    QVector<double> x = wav.samples;

    // The same level between the 10 ms ramps in every target; quiet first and last ms.
    double sum = 0.0;
    for (int i = ramp; i < frames - ramp; ++i)
        sum += x[i] * x[i];
    QVERIFY2(qAbs(std::sqrt(sum / (frames - 2 * ramp)) - 0.15) < 0.003, qPrintable(QString::number(sum)));
    for (int i = 0; i < quiet; ++i)
        QVERIFY2(qAbs(x[i]) < 0.006 && qAbs(x[frames - 1 - i]) < 0.006, qPrintable(QString::number(i)));

    // Hann-windowed, so that a partial's energy stays within a bin either side of it.
    std::vector<std::complex<double>> twiddle(frames);
    for (int i = 0; i < frames; ++i) {
        x[i] *= 0.5 * (1.0 - std::cos(2.0 * M_PI * i / frames));
        twiddle[std::size_t(i)] = std::polar(1.0, -2.0 * M_PI * i / frames);
    }
    QVector<double> spectrum(frames / 2);
    for (int k = 1; k < spectrum.size(); ++k) {
        std::complex<double> bin = 0.0;
        for (int i = 0; i < frames; ++i)
            bin += x[i] * twiddle[std::size_t(k * i % frames)];
        spectrum[k] = 2.0 * std::abs(bin) / frames;
    }
    const double strongest = *std::max_element(spectrum.cbegin(), spectrum.cend());
    for (int n = 0; n < partials.size(); ++n) {
        const double relative = spectrum[int(partials[n] / binWidth)] / strongest;
        QVERIFY2(qAbs(relative - levels[n]) < 0.02, qPrintable(QString("%1 Hz at %2").arg(partials[n]).arg(relative)));
    }
    // Nothing else, apart from the window's spread into the neighbouring bins.
    for (int k = 1; k < spectrum.size(); ++k) {
        const bool nearPartial = std::any_of(partials.cbegin(), partials.cend(),
                                             [&](int f) { return qAbs(k * binWidth - f) <= 2 * binWidth; });
        QVERIFY2(nearPartial || spectrum[k] < 0.01 * strongest,
                 qPrintable(QString("%1 Hz at %2").arg(k * binWidth).arg(spectrum[k] / strongest)));
    }
}

QTEST_GUILESS_MAIN(TestDemoTargets)
#include "tst_demotargets.moc"
