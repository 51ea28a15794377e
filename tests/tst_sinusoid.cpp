#include "audio/Sinusoid.h"

#include <QTest>

#include <cmath>

class TestSinusoid : public QObject
{
    Q_OBJECT
private slots:
    void zeroFillKeepsSize();
    void samples_data();
    void samples();
};

void TestSinusoid::zeroFillKeepsSize()
{
    QVector<double> v = {1.0, -2.5, 3e9, std::nan(""), -HUGE_VAL}, empty;
    zeroFill(v);
    zeroFill(empty);
    QCOMPARE(v, QVector<double>(5, 0.0));
    QCOMPARE(empty.size(), 0);
}

void TestSinusoid::samples_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("samplingRate");
    QTest::addColumn<int>("size");
    QTest::newRow("1000 Hz at 40000 Hz") << 10000 << 40000.0 << 10000;
    QTest::newRow("count 0") << 0 << 40000.0 << 0;
    QTest::newRow("rate 0 is silent") << 16 << 0.0 << 16;
}

// 1000 Hz at 40000 Hz: phase 0 at the first sample, peak 1.0 at sample 10, period 40 samples.
void TestSinusoid::samples()
{
    QFETCH(int, count);
    QFETCH(double, samplingRate);
    const QVector<double> v = sinusoidSamples(count, 1000, samplingRate);
    QTEST(v.size(), "size");
    for (int i = 0; i < v.size(); ++i) {
        const double expected = samplingRate > 0 ? std::sin(M_PI / 2 * i / 10) : 0.0;
        QVERIFY2(qAbs(v[i] - expected) < 1e-9, qPrintable(QString("sample %1: %2").arg(i).arg(v[i])));
    }
}

QTEST_GUILESS_MAIN(TestSinusoid)
#include "tst_sinusoid.moc"
