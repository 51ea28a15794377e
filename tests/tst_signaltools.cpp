#include "audio/SignalTools.h"
#include "support/ModalDriver.h"

#include <QDateTime>
#include <QSet>
#include <QTest>

#include <climits>
#include <cmath>
#include <functional>

namespace {

// Runs call with one OK answer queued per expected warning and checks the boxes that came up.
void expectWarnings(const std::function<void()> &call, const QStringList &texts)
{
    ModalDriver driver;
    for (int i = 0; i < texts.size(); ++i)
        driver.answerMessageBox(QMessageBox::Ok);
    call();
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join("; ")));
    QCOMPARE(driver.seen().size(), texts.size());
    for (int i = 0; i < texts.size(); ++i) {
        QCOMPARE(driver.seen()[i].kind, QString("QMessageBox"));
        QCOMPARE(driver.seen()[i].title, QString("Warning"));
        QCOMPARE(driver.seen()[i].text, texts[i]);
    }
}

void compareSignals(const QVector<double> &actual, const QVector<double> &expected, double tolerance)
{
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(qAbs(actual[i] - expected[i]) < tolerance,
                 qPrintable(QString("sample %1: %2 instead of %3").arg(i).arg(actual[i], 0, 'g', 17).arg(expected[i])));
}

double peakOf(const QVector<double> &v)
{
    double peak = 0.0;
    for (double x : v)
        peak = std::max(peak, qAbs(x));
    return peak;
}

void seed(uint value)
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qsrand(value);
    QT_WARNING_POP
}

// Calls make twice within one clock second (retrying across a second boundary).
template <typename T>
bool twiceInOneSecond(const std::function<T()> &make, T &first, T &second)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        first = make();
        second = make();
        if (QDateTime::currentSecsSinceEpoch() == before)
            return true;
    }
    return false;
}

} // namespace

class TestSignalTools : public QObject
{
    Q_OBJECT
private slots:
    void pureToneValues_data();
    void pureToneValues();
    void toneSampleCounts_data();
    void toneSampleCounts();
    void modulatedTonePeak_data();
    void modulatedTonePeak();
    void modulatedToneWithoutDepthIsPureTone();
    void rootMeanSquareOfIntegers_data();
    void rootMeanSquareOfIntegers();
    void rootMeanSquareOfDoubles_data();
    void rootMeanSquareOfDoubles();
    void ramps_data();
    void ramps();
    void randomIntegersCases_data();
    void randomIntegersCases();
    void randomIntegersCoverTheRange();
    void randomIntegersRepeatWithinOneSecond();
    void randomIntegerWithMinAboveMax();
    void randomIntegerDoesNotReseed();
    void randomIntegerCoversTheRange();
    void uniformNoiseRange_data();
    void uniformNoiseRange();
    void uniformNoiseRepeatsWithinOneSecond();
};

void TestSignalTools::pureToneValues_data()
{
    QTest::addColumn<double>("amplitude");
    QTest::addColumn<double>("phase");
    QTest::addColumn<QVector<double>>("expected");

    const double h = std::sqrt(0.5);
    QTest::newRow("1000 Hz at 8000 Hz, amplitude 0.5, phase 90")
        << 0.5 << 90.0 << QVector<double>{0.5, 0.5 * h, 0.0, -0.5 * h, -0.5, -0.5 * h, 0.0, 0.5 * h};
    QTest::newRow("1000 Hz at 8000 Hz, amplitude 2, phase -90")
        << 2.0 << -90.0 << QVector<double>{-2.0, -2 * h, 0.0, 2 * h, 2.0, 2 * h, 0.0, -2 * h};
    QTest::newRow("1000 Hz at 8000 Hz, amplitude 1, phase 0")
        << 1.0 << 0.0 << QVector<double>{0.0, h, 1.0, h, 0.0, -h, -1.0, -h};
}

void TestSignalTools::pureToneValues()
{
    QFETCH(double, amplitude);
    QFETCH(double, phase);
    QFETCH(QVector<double>, expected);
    compareSignals(pureTone(8000, 0.001, 1000, amplitude, phase), expected, 1e-12);
}

void TestSignalTools::toneSampleCounts_data()
{
    QTest::addColumn<double>("samplingRate");
    QTest::addColumn<double>("duration");
    QTest::addColumn<int>("count");

    QTest::newRow("99.999 samples") << 99999.0 << 0.001 << 99;
    QTest::newRow("8 samples") << 8000.0 << 0.001 << 8;
    QTest::newRow("a quarter second") << 40000.0 << 0.25 << 10000;
    QTest::newRow("half a sample") << 1000.0 << 0.0005 << 0;
    QTest::newRow("negative duration") << 40000.0 << -1.0 << 0;
    QTest::newRow("rate 0") << 0.0 << 1.0 << 0;
    QTest::newRow("duration NaN") << 40000.0 << std::nan("") << 0;
    QTest::newRow("more than an int holds") << 1e9 << 1e9 << 0;
}

void TestSignalTools::toneSampleCounts()
{
    QFETCH(double, samplingRate);
    QFETCH(double, duration);
    QFETCH(int, count);
    QCOMPARE(pureTone(samplingRate, duration, 440, 1, 0).size(), count);
    QCOMPARE(amplitudeModulatedTone(samplingRate, duration, 440, 4, 0.5, 1, 0, 0, true).size(), count);
}

void TestSignalTools::modulatedTonePeak_data()
{
    QTest::addColumn<bool>("normalise");
    QTest::addColumn<double>("peak");
    QTest::newRow("normalised") << true << 1.0;
    QTest::newRow("not normalised") << false << 2.0;
}

void TestSignalTools::modulatedTonePeak()
{
    QFETCH(bool, normalise);
    QFETCH(double, peak);
    // Carrier phase 90 and modulation phase 0 put both maxima on the first sample.
    const QVector<double> y = amplitudeModulatedTone(40000, 0.5, 1000, 10, 1.0, 1.0, 90, 0, normalise);
    QCOMPARE(y.size(), 20000);
    QVERIFY(qAbs(y[0] - peak) < 1e-12);
    QVERIFY2(peakOf(y) <= peak + 1e-12, qPrintable(QString::number(peakOf(y), 'g', 17)));
    // Half a modulation period later the envelope is at its minimum: (cos(pi) + 1) = 0.
    QVERIFY(qAbs(y[2000]) < 1e-12);
}

void TestSignalTools::modulatedToneWithoutDepthIsPureTone()
{
    const QVector<double> plain = pureTone(44100, 0.05, 523.25, 0.7, 30);
    compareSignals(amplitudeModulatedTone(44100, 0.05, 523.25, 7, 0.0, 0.7, 30, 45, false), plain, 1e-12);
    compareSignals(amplitudeModulatedTone(44100, 0.05, 523.25, 7, 0.0, 0.7, 30, 45, true), plain, 1e-12);
}

void TestSignalTools::rootMeanSquareOfIntegers_data()
{
    QTest::addColumn<QVector<int>>("values");
    QTest::addColumn<double>("expected");
    QTest::newRow("3, 4") << QVector<int>{3, 4} << std::sqrt(12.5);
    QTest::newRow("50000, 50000 (squares beyond 32 bits)") << QVector<int>{50000, 50000} << 50000.0;
    QTest::newRow("one negative value") << QVector<int>{-7} << 7.0;
    QTest::newRow("sum beyond 64 bits") << QVector<int>(6, INT_MIN) << 2147483648.0;
    QTest::newRow("empty") << QVector<int>() << std::nan("");
}

void TestSignalTools::rootMeanSquareOfIntegers()
{
    QFETCH(QVector<int>, values);
    QFETCH(double, expected);
    const double rms = rootMeanSquare(values);
    if (std::isnan(expected))
        QVERIFY(std::isnan(rms));
    else
        QVERIFY2(qAbs(rms - expected) < 1e-9 * std::max(1.0, expected), qPrintable(QString::number(rms, 'g', 17)));
}

void TestSignalTools::rootMeanSquareOfDoubles_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<double>("expected");
    QTest::newRow("1, -1") << QVector<double>{1.0, -1.0} << 1.0;
    QTest::newRow("0.5") << QVector<double>{0.5} << 0.5;
    QTest::newRow("3, 4") << QVector<double>{3.0, 4.0} << std::sqrt(12.5);
    QTest::newRow("empty") << QVector<double>() << std::nan("");
}

void TestSignalTools::rootMeanSquareOfDoubles()
{
    QFETCH(QVector<double>, values);
    QFETCH(double, expected);
    const double rms = rootMeanSquare(values);
    if (std::isnan(expected))
        QVERIFY(std::isnan(rms));
    else
        QVERIFY2(qAbs(rms - expected) < 1e-12, qPrintable(QString::number(rms, 'g', 17)));
}

void TestSignalTools::ramps_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QVector<double>>("input");
    QTest::addColumn<int>("nPoints");
    QTest::addColumn<QVector<double>>("expected");
    QTest::addColumn<bool>("warns");

    const QVector<double> tenOnes(10, 1.0);
    QTest::newRow("linear, ten ones, 2 points")
        << "linear" << tenOnes << 2 << QVector<double>{0, 0.5, 1, 1, 1, 1, 1, 1, 0.5, 0} << false;
    QTest::newRow("cosine, ten ones, 2 points")
        << "cosine" << tenOnes << 2 << QVector<double>{0, 0.5, 1, 1, 1, 1, 1, 1, 0.5, 0} << false;
    QTest::newRow("cosine squared, ten ones, 2 points")
        << "cosineSquared" << tenOnes << 2 << QVector<double>{0, 0.25, 1, 1, 1, 1, 1, 1, 0.25, 0} << false;
    QTest::newRow("linear, ten ones, 5 points (exactly half)")
        << "linear" << tenOnes << 5 << QVector<double>{0, 0.2, 0.4, 0.6, 0.8, 0.8, 0.6, 0.4, 0.2, 0} << false;
    QTest::newRow("linear, six ones, 4 points (overlap)")
        << "linear" << QVector<double>(6, 1.0) << 4 << QVector<double>{0, 0.25, 0.375, 0.375, 0.25, 0} << true;
    QTest::newRow("cosine, keeps values between the ramps")
        << "cosine" << QVector<double>{2, -4, 6, -8, 10, -12} << 1 << QVector<double>{0, -4, 6, -8, 10, 0} << false;
    QTest::newRow("linear, 0 points") << "linear" << tenOnes << 0 << tenOnes << false;
    QTest::newRow("cosine, negative points") << "cosine" << tenOnes << -3 << tenOnes << false;
    QTest::newRow("linear, vector shorter than nPoints")
        << "linear" << QVector<double>(3, 1.0) << 5 << QVector<double>{0, 0.04, 0} << true;
    QTest::newRow("cosine squared, vector shorter than nPoints")
        << "cosineSquared" << QVector<double>(2, 1.0) << 1000000 << QVector<double>{0, 0} << true;
    QTest::newRow("cosine, empty vector") << "cosine" << QVector<double>() << 1 << QVector<double>() << true;
}

void TestSignalTools::ramps()
{
    QFETCH(QString, shape);
    QFETCH(QVector<double>, input);
    QFETCH(int, nPoints);
    QFETCH(QVector<double>, expected);
    QFETCH(bool, warns);

    const QStringList warnings = warns ? QStringList{"Vector size must be at least twice of nPoints"} : QStringList();
    QVector<double> inPlace = input;
    QVector<double> byValue;
    expectWarnings([&] {
        if (shape == "linear")
            rampLinear(inPlace, nPoints);
        else if (shape == "cosine")
            rampCosine(inPlace, nPoints);
        else
            rampCosineSquared(inPlace, nPoints);
    }, warnings);
    expectWarnings([&] {
        if (shape == "linear")
            byValue = rampedLinear(input, nPoints);
        else if (shape == "cosine")
            byValue = rampedCosine(input, nPoints);
        else
            byValue = rampedCosineSquared(input, nPoints);
    }, warnings);

    compareSignals(inPlace, expected, 1e-12);
    compareSignals(byValue, expected, 1e-12);
}

void TestSignalTools::randomIntegersCases_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<QVector<int>>("expected");
    QTest::addColumn<QString>("warning");

    QTest::newRow("five of 3 .. 3") << 5 << 3 << 3 << QVector<int>{3, 3, 3, 3, 3} << "";
    QTest::newRow("min above max forces min = max")
        << 3 << 9 << 2 << QVector<int>{2, 2, 2} << "min cannot be larger than max; force min = max";
    QTest::newRow("count 0") << 0 << 1 << 6 << QVector<int>() << "";
    QTest::newRow("negative count") << -4 << 1 << 6 << QVector<int>() << "";
    QTest::newRow("count 0, min above max") << 0 << 6 << 1 << QVector<int>()
                                            << "min cannot be larger than max; force min = max";
}

void TestSignalTools::randomIntegersCases()
{
    QFETCH(int, count);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(QVector<int>, expected);
    QFETCH(QString, warning);

    QVector<int> values;
    expectWarnings([&] { values = randomIntegers(count, min, max); },
                   warning.isEmpty() ? QStringList() : QStringList{warning});
    QCOMPARE(values, expected);
}

void TestSignalTools::randomIntegersCoverTheRange()
{
    const QVector<int> values = randomIntegers(3000, -2, 3);
    QCOMPARE(values.size(), 3000);
    QSet<int> seen;
    for (int v : values) {
        QVERIFY2(v >= -2 && v <= 3, qPrintable(QString::number(v)));
        seen.insert(v);
    }
    QCOMPARE(seen.size(), 6);
}

void TestSignalTools::randomIntegersRepeatWithinOneSecond()
{
    QVector<int> first;
    QVector<int> second;
    const std::function<QVector<int>()> make = [] { return randomIntegers(20, 0, 1000); };
    QVERIFY(twiceInOneSecond(make, first, second));
    QCOMPARE(first.size(), 20);
    QCOMPARE(first, second);
}

void TestSignalTools::randomIntegerWithMinAboveMax()
{
    int value = 0;
    expectWarnings([&] { value = randomInteger(5, 2); }, {"min cannot be larger than max"});
    QCOMPARE(value, 2);
}

void TestSignalTools::randomIntegerDoesNotReseed()
{
    QVector<int> first;
    QVector<int> second;
    seed(12345);
    for (int i = 0; i < 20; ++i)
        first << randomInteger(0, 30000);
    seed(12345);
    for (int i = 0; i < 20; ++i)
        second << randomInteger(0, 30000);
    QCOMPARE(first, second);
    QVERIFY(QSet<int>(first.begin(), first.end()).size() > 10);
}

void TestSignalTools::randomIntegerCoversTheRange()
{
    QSet<int> seen;
    for (int i = 0; i < 2000; ++i) {
        const int v = randomInteger(-3, 3);
        QVERIFY2(v >= -3 && v <= 3, qPrintable(QString::number(v)));
        seen.insert(v);
    }
    QCOMPARE(seen.size(), 7);
    const int wide = randomInteger(INT_MIN, INT_MAX);
    QVERIFY2(wide >= INT_MIN && wide <= INT_MIN + 32767, qPrintable(QString::number(wide)));
}

void TestSignalTools::uniformNoiseRange_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("4") << 4;
    QTest::newRow("5000") << 5000;
    QTest::newRow("0") << 0;
    QTest::newRow("negative") << -1;
}

void TestSignalTools::uniformNoiseRange()
{
    QFETCH(int, count);
    const QVector<double> noise = uniformNoise(count);
    QCOMPARE(noise.size(), std::max(count, 0));
    double low = 1.0;
    double high = 0.0;
    double sum = 0.0;
    for (double x : noise) {
        QVERIFY2(x >= 0.0 && x <= 1.0, qPrintable(QString::number(x)));
        low = std::min(low, x);
        high = std::max(high, x);
        sum += x;
    }
    if (count >= 1000) {
        // Uniform over 0 .. 1, not centred on zero.
        QVERIFY(low < 0.01);
        QVERIFY(high > 0.99);
        QVERIFY(qAbs(sum / count - 0.5) < 0.03);
    }
}

void TestSignalTools::uniformNoiseRepeatsWithinOneSecond()
{
    QVector<double> first;
    QVector<double> second;
    const std::function<QVector<double>()> make = [] { return uniformNoise(4); };
    QVERIFY(twiceInOneSecond(make, first, second));
    compareSignals(second, first, 1e-300);
}

QTEST_MAIN(TestSignalTools)
#include "tst_signaltools.moc"
