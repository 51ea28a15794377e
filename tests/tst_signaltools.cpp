#include "audio/SignalTools.h"
#include "support/ModalDriver.h"

#include <QDateTime>
#include <QTest>

#include <climits>
#include <cmath>
#include <functional>
#include <numeric>
#include <set>

namespace {

// Runs call and returns the texts of the "Warning" boxes it showed, each answered with OK.
QStringList warnings(const std::function<void()> &call, bool expectOne)
{
    ModalDriver driver;
    if (expectOne)
        driver.answerMessageBox(QMessageBox::Ok);
    call();
    driver.waitUntilDone();
    QStringList seen;
    for (const ModalDriver::Seen &box : driver.seen())
        seen << box.title + ": " + box.text;
    return seen;
}

QString mismatch(const QVector<double> &actual, const QVector<double> &expected)
{
    if (actual.size() != expected.size())
        return QString("%1 samples, not %2").arg(actual.size()).arg(expected.size());
    for (int i = 0; i < expected.size(); ++i)
        if (!(qAbs(actual[i] - expected[i]) < 1e-12))
            return QString("sample %1: %2, not %3").arg(i).arg(actual[i]).arg(expected[i]);
    return {};
}

} // namespace

class TestSignalTools : public QObject
{
    Q_OBJECT
private slots:
    void toneLengths_data();
    void toneLengths();
    void toneValues();
    void rootMeanSquare_data();
    void rootMeanSquare();
    void ramps_data();
    void ramps();
    void randomIntegers_data();
    void randomIntegers();
    void randomRanges();
    void seeding();
};

void TestSignalTools::toneLengths_data()
{
    QTest::addColumn<double>("samplingRate");
    QTest::addColumn<double>("duration");
    QTest::addColumn<int>("count");
    QTest::newRow("99.999 samples") << 99999.0 << 0.001 << 99;
    QTest::newRow("NaN duration") << 40000.0 << std::nan("") << 0;
    QTest::newRow("beyond int") << 1e9 << 1e9 << 0;
}

void TestSignalTools::toneLengths()
{
    QFETCH(double, samplingRate);
    QFETCH(double, duration);
    QTEST(pureTone(samplingRate, duration, 440, 1, 0).size(), "count");
    QTEST(amplitudeModulatedTone(samplingRate, duration, 440, 4, 0.5, 1, 0, 0, true).size(), "count");
}

void TestSignalTools::toneValues()
{
    const double h = std::sqrt(0.5);
    QCOMPARE(mismatch(pureTone(8000, 0.001, 1000, 0.5, 90), {0.5, 0.5 * h, 0, -0.5 * h, -0.5, -0.5 * h, 0, 0.5 * h}), QString());
    QCOMPARE(mismatch(pureTone(8000, 0.001, 1000, 2, -90), {-2, -2 * h, 0, 2 * h, 2, 2 * h, 0, -2 * h}), QString());
    // Carrier phase 90 and modulation phase 0 put both maxima on the first sample; the envelope's
    // minimum is half a modulation period later.
    for (bool normalise : {true, false}) {
        const double peak = normalise ? 1.0 : 2.0;
        const QVector<double> y = amplitudeModulatedTone(40000, 0.5, 1000, 10, 1, 1, 90, 0, normalise);
        QCOMPARE(y.size(), 20000);
        QVERIFY(qAbs(y[0] - peak) < 1e-12);
        QVERIFY(qAbs(y[2000]) < 1e-12);
        QVERIFY(qAbs(*std::max_element(y.begin(), y.end(), [](double a, double b) { return qAbs(a) < qAbs(b); })) <= peak + 1e-12);
    }
}

void TestSignalTools::rootMeanSquare_data()
{
    QTest::addColumn<bool>("integers");
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<double>("expected");
    QTest::newRow("int 3, 4") << true << QVector<double>{3, 4} << std::sqrt(12.5);
    QTest::newRow("int 50000, 50000") << true << QVector<double>{50000, 50000} << 50000.0;
    QTest::newRow("int sum beyond 64 bits") << true << QVector<double>(6, INT_MIN) << 2147483648.0;
    QTest::newRow("int empty") << true << QVector<double>() << std::nan("");
    QTest::newRow("double 1, -1") << false << QVector<double>{1, -1} << 1.0;
    QTest::newRow("double empty") << false << QVector<double>() << std::nan("");
}

void TestSignalTools::rootMeanSquare()
{
    QFETCH(bool, integers);
    QFETCH(QVector<double>, values);
    QFETCH(double, expected);
    const QVector<int> asIntegers(values.begin(), values.end());
    const double rms = integers ? ::rootMeanSquare(asIntegers) : ::rootMeanSquare(values);
    QVERIFY2(std::isnan(expected) ? std::isnan(rms) : qAbs(rms - expected) < 1e-12 * expected, qPrintable(QString::number(rms)));
}

void TestSignalTools::ramps_data()
{
    QTest::addColumn<int>("shape"); // linear, cosine, cosine squared
    QTest::addColumn<QVector<double>>("input");
    QTest::addColumn<int>("nPoints");
    QTest::addColumn<QVector<double>>("expected");
    QTest::addColumn<bool>("warns");

    const QVector<double> ones(10, 1.0);
    QTest::newRow("linear") << 0 << ones << 2 << QVector<double>{0, 0.5, 1, 1, 1, 1, 1, 1, 0.5, 0} << false;
    QTest::newRow("cosine") << 1 << ones << 2 << QVector<double>{0, 0.5, 1, 1, 1, 1, 1, 1, 0.5, 0} << false;
    QTest::newRow("cosine squared") << 2 << ones << 2 << QVector<double>{0, 0.25, 1, 1, 1, 1, 1, 1, 0.25, 0} << false;
    QTest::newRow("exactly half") << 0 << ones << 5 << QVector<double>{0, 0.2, 0.4, 0.6, 0.8, 0.8, 0.6, 0.4, 0.2, 0} << false;
    QTest::newRow("overlap") << 0 << QVector<double>(6, 1.0) << 4 << QVector<double>{0, 0.25, 0.375, 0.375, 0.25, 0} << true;
    QTest::newRow("middle kept") << 1 << QVector<double>{2, -4, 6, -8, 10, -12} << 1 << QVector<double>{0, -4, 6, -8, 10, 0} << false;
    QTest::newRow("0 points") << 2 << ones << 0 << ones << false;
    QTest::newRow("shorter than nPoints") << 0 << QVector<double>(3, 1.0) << 5 << QVector<double>{0, 0.04, 0} << true;
    QTest::newRow("empty") << 1 << QVector<double>() << 1 << QVector<double>() << true;
}

void TestSignalTools::ramps()
{
    QFETCH(int, shape);
    QFETCH(QVector<double>, input);
    QFETCH(int, nPoints);
    QFETCH(QVector<double>, expected);
    QFETCH(bool, warns);

    void (*const inPlace[])(QVector<double> &, int) = {rampLinear, rampCosine, rampCosineSquared};
    QVector<double> (*const byValue[])(QVector<double>, int) = {rampedLinear, rampedCosine, rampedCosineSquared};
    const QStringList warning = warns ? QStringList{"Warning: Vector size must be at least twice of nPoints"} : QStringList();
    QVector<double> inPlaceResult = input, byValueResult;
    QCOMPARE(warnings([&] { inPlace[shape](inPlaceResult, nPoints); }, warns), warning);
    QCOMPARE(warnings([&] { byValueResult = byValue[shape](input, nPoints); }, warns), warning);
    QCOMPARE(mismatch(inPlaceResult, expected), QString());
    QCOMPARE(mismatch(byValueResult, expected), QString());
}

void TestSignalTools::randomIntegers_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<QVector<int>>("expected");
    QTest::addColumn<QString>("warning");
    QTest::newRow("5, 3, 3") << 5 << 3 << 3 << QVector<int>{3, 3, 3, 3, 3} << "";
    QTest::newRow("3, 9, 2") << 3 << 9 << 2 << QVector<int>{2, 2, 2} << "min cannot be larger than max; force min = max";
    QTest::newRow("0, 1, 6") << 0 << 1 << 6 << QVector<int>() << "";
    QTest::newRow("-4, 1, 6") << -4 << 1 << 6 << QVector<int>() << "";
}

void TestSignalTools::randomIntegers()
{
    QFETCH(int, count);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(QString, warning);
    QVector<int> values;
    QCOMPARE(warnings([&] { values = ::randomIntegers(count, min, max); }, !warning.isEmpty()),
             warning.isEmpty() ? QStringList() : QStringList{"Warning: " + warning});
    QTEST(values, "expected");
}

void TestSignalTools::randomRanges()
{
    int single = 0;
    QCOMPARE(warnings([&] { single = randomInteger(5, 2); }, true), QStringList{"Warning: min cannot be larger than max"});
    QCOMPARE(single, 2);
    const int wide = randomInteger(INT_MIN, INT_MAX);
    QVERIFY2(wide >= INT_MIN && wide <= INT_MIN + 32767, qPrintable(QString::number(wide)));

    QVector<int> singles;
    for (int i = 0; i < 3000; ++i)
        singles << randomInteger(-2, 3);
    const QVector<int> many = ::randomIntegers(3000, -2, 3);
    QCOMPARE(std::set<int>(singles.begin(), singles.end()), (std::set<int>{-2, -1, 0, 1, 2, 3}));
    QCOMPARE(std::set<int>(many.begin(), many.end()), (std::set<int>{-2, -1, 0, 1, 2, 3}));

    QCOMPARE(uniformNoise(-1).size(), 0);
    const QVector<double> noise = uniformNoise(5000);
    QCOMPARE(noise.size(), 5000);
    const auto [low, high] = std::minmax_element(noise.begin(), noise.end());
    QVERIFY2(*low >= 0.0 && *low < 0.01 && *high > 0.99 && *high <= 1.0, qPrintable(QString("%1 .. %2").arg(*low).arg(*high)));
    QVERIFY(qAbs(std::accumulate(noise.begin(), noise.end(), 0.0) / 5000 - 0.5) < 0.03);
}

// randomInteger leaves the generator's seed alone; the other two seed it from the clock's second,
// so two calls within one second agree (retried across a second boundary).
void TestSignalTools::seeding()
{
    QVector<int> first, second;
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    for (QVector<int> *values : {&first, &second}) {
        qsrand(12345);
        for (int i = 0; i < 20; ++i)
            *values << randomInteger(0, 30000);
    }
    QT_WARNING_POP
    QCOMPARE(first, second);
    QVERIFY(std::set<int>(first.begin(), first.end()).size() > 10);

    for (int attempt = 0; attempt < 5; ++attempt) {
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        const QVector<int> integers = ::randomIntegers(20, 0, 1000), integersAgain = ::randomIntegers(20, 0, 1000);
        const QVector<double> noise = uniformNoise(4), noiseAgain = uniformNoise(4);
        if (QDateTime::currentSecsSinceEpoch() != before)
            continue;
        QCOMPARE(integersAgain, integers);
        QCOMPARE(noiseAgain, noise);
        return;
    }
    QFAIL("no two calls within one clock second");
}

QTEST_MAIN(TestSignalTools)
#include "tst_signaltools.moc"
