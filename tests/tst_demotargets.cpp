#include "analysis/Spectrum.h"
#include "app/Block.h"
#include "audio/WavFile.h"

#include <QDir>
#include <QTest>

#include <algorithm>
#include <cmath>

class TestDemoTargets : public QObject
{
    Q_OBJECT
private slots:
    void pitchContent_data();
    void pitchContent();
    void shippedListNamesEveryTarget();
};

void TestDemoTargets::pitchContent_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QVector<double>>("partials"); // Hz
    QTest::addColumn<QVector<double>>("levels");   // relative to the strongest partial
    using V = QVector<double>;
    const V falling{1.0, 1.0 / 2, 1.0 / 3, 1.0 / 4, 1.0 / 5, 1.0 / 6};
    QTest::newRow("pure tone") << "pure-tone-440Hz.wav" << 40000 << V{440} << V{1.0};
    QTest::newRow("harmonic complex") << "harmonic-complex-220Hz.wav" << 40000 << V{220, 440, 660, 880, 1100, 1320} << falling;
    // Nothing at 200 Hz itself: the check for stray components covers it.
    QTest::newRow("missing fundamental") << "missing-fundamental-200Hz.wav" << 40000 << V{600, 800, 1000, 1200, 1400, 1600} << V(6, 1.0);
    QTest::newRow("AM tone") << "am-tone-500Hz-40Hz.wav" << 40000 << V{460, 500, 540} << V{0.5, 1.0, 0.5};
    QTest::newRow("at 44100 Hz") << "harmonic-complex-300Hz-44100.wav" << 44100 << V{300, 600, 900, 1200, 1500} << falling.mid(0, 5);
}

// Each target holds its partials at their levels and nothing else, at the rate it is named for.
void TestDemoTargets::pitchContent()
{
    QFETCH(QString, fileName);
    QFETCH(int, rate);
    QFETCH(QVector<double>, partials);
    QFETCH(QVector<double>, levels);
    WavFile wav;
    QVERIFY2(wav.readWavFile(QByteArray(TONVARA_SOURCE_DIR "/examples/targets/") + fileName.toUtf8()), qPrintable(wav.lastError()));
    QCOMPARE(int(wav.sampleRate), rate);
    // Hann-windowed, so that a partial stays within 16 Hz, and zero-padded to bins of under 0.2 Hz.
    for (int i = 0; i < wav.samples.size(); ++i)
        wav.samples[i] *= 0.5 * (1.0 - std::cos(2.0 * M_PI * i / wav.samples.size()));
    QVector<double> frequency, amplitude;
    amplitudeSpectrum(wav.samples, wav.samples.size(), 1 << 18, rate, frequency, amplitude);
    const double strongest = *std::max_element(amplitude.cbegin(), amplitude.cend());
    for (int n = 0; n < partials.size(); ++n)
        QVERIFY2(qAbs(amplitude[qRound(partials[n] / frequency[1])] / strongest - levels[n]) < 0.01, qPrintable(QString::number(partials[n])));
    for (int k = 0; k < amplitude.size(); ++k)
        if (amplitude[k] >= 0.01 * strongest
            && std::none_of(partials.cbegin(), partials.cend(), [&](double f) { return qAbs(frequency[k] - f) <= 16.0; }))
            QFAIL(qPrintable(QString("a stray component at %1 Hz").arg(frequency[k])));
}

void TestDemoTargets::shippedListNamesEveryTarget()
{
    const QDir folder(TONVARA_SOURCE_DIR "/examples/targets");
    QStringList listed, missing;
    QString reason;
    QVERIFY2(readTargetList(folder.filePath("demo-block.txt"), &listed, &reason), qPrintable(reason));
    for (const QString &file : folder.entryList({"*.wav"}))
        if (!listed.contains(folder.filePath(file)))
            missing << file;
    QCOMPARE(missing, QStringList());
    QCOMPARE(listed.size(), 5);
}

QTEST_GUILESS_MAIN(TestDemoTargets)
#include "tst_demotargets.moc"
