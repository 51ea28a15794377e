#include "audio/Sinusoid.h"

#include <QTest>

#include <cmath>

class TestSinusoid : public QObject
{
    Q_OBJECT
private slots:
    void samplesThenZeroFill_data();
    void samplesThenZeroFill();
};

void TestSinusoid::samplesThenZeroFill_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("samplingRate");
    QTest::newRow("1000 Hz at 40000 Hz") << 100 << 40000.0;
    QTest::newRow("negative count") << -3 << 40000.0;
    QTest::newRow("rate 0 is silent") << 16 << 0.0;
}

void TestSinusoid::samplesThenZeroFill()
{
    QFETCH(int, count);
    QFETCH(double, samplingRate);
    QVector<double> v = sinusoidSamples(count, 1000, samplingRate);
    for (int i = 0; i < v.size(); ++i)
        QVERIFY2(qAbs(v[i] - (samplingRate > 0 ? std::sin(M_PI / 2 * i / 10) : 0.0)) < 1e-9,
                 qPrintable(QString("sample %1: %2").arg(i).arg(v[i])));
    v << std::nan("") << -HUGE_VAL;
    zeroFill(v);
    QCOMPARE(v, QVector<double>(qMax(count, 0) + 2, 0.0));
}

QTEST_GUILESS_MAIN(TestSinusoid)
#include "tst_sinusoid.moc"
