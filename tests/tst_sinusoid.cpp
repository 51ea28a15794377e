#include "audio/Sinusoid.h"

#include <QTest>

#include <cmath>

class TestSinusoid : public QObject
{
    Q_OBJECT
private slots:
    void zeroFillKeepsSize_data();
    void zeroFillKeepsSize();
    void thousandHertzAtFortyKilohertz();
    void sampleCounts_data();
    void sampleCounts();
    void zeroRateIsSilent();
};

void TestSinusoid::zeroFillKeepsSize_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::newRow("empty") << QVector<double>();
    QTest::newRow("mixed values") << QVector<double>{1.0, -2.5, 3e9, -0.0};
    QTest::newRow("NaN and infinity") << QVector<double>{std::nan(""), HUGE_VAL, -HUGE_VAL};
}

void TestSinusoid::zeroFillKeepsSize()
{
    QFETCH(QVector<double>, values);
    QVector<double> v = values;
    zeroFill(v);
    QCOMPARE(v.size(), values.size());
    for (double x : v)
        QCOMPARE(x, 0.0);
}

void TestSinusoid::thousandHertzAtFortyKilohertz()
{
    const QVector<double> v = sinusoidSamples(10000, 1000, 40000);
    QCOMPARE(v.size(), 10000);
    QVERIFY(qAbs(v[0]) < 1e-15);
    QVERIFY(qAbs(v[10] - 1.0) < 1e-12);
    QVERIFY(qAbs(v[20]) < 1e-12);
    QVERIFY(qAbs(v[30] + 1.0) < 1e-12);
    double peak = 0.0;
    for (int i = 0; i < v.size(); ++i) {
        peak = std::max(peak, qAbs(v[i]));
        if (i + 40 < v.size())
            QVERIFY2(qAbs(v[i + 40] - v[i]) < 1e-9, qPrintable(QString("sample %1").arg(i)));
    }
    QVERIFY(peak <= 1.0);
    QVERIFY(peak > 1.0 - 1e-12);
}

void TestSinusoid::sampleCounts_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("size");
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("negative") << -5 << 0;
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("odd length") << 8193 << 8193;
}

void TestSinusoid::sampleCounts()
{
    QFETCH(int, count);
    QFETCH(int, size);
    const QVector<double> v = sinusoidSamples(count, 500, 40000);
    QCOMPARE(v.size(), size);
    if (size > 0)
        QVERIFY(qAbs(v[0]) < 1e-15);
}

void TestSinusoid::zeroRateIsSilent()
{
    const QVector<double> v = sinusoidSamples(16, 500, 0);
    QCOMPARE(v.size(), 16);
    for (double x : v)
        QCOMPARE(x, 0.0);
}

QTEST_GUILESS_MAIN(TestSinusoid)
#include "tst_sinusoid.moc"
