#include "audio/SignalTools.h"
#include "audio/Sinusoid.h"
#include "support/ModalDriver.h"

#include <QDateTime>
#include <QTest>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <set>

// A call under test, run by the test function so that the warning boxes it shows get answered.
using Signal = std::function<QVector<double>()>;
Q_DECLARE_METATYPE(Signal)

class TestSignalTools : public QObject
{
    Q_OBJECT
private slots:
    void results_data();
    void results();
    void clockSeedsAndRanges();
};

void TestSignalTools::results_data()
{
    QTest::addColumn<Signal>("signal");
    QTest::addColumn<QVector<double>>("expected");
    QTest::addColumn<QString>("warning");

    const auto value = [](const QVector<double> &v) { return Signal([v] { return v; }); };
    const auto byValue = [](auto ramp, QVector<double> v, int n) { return Signal([=] { return ramp(v, n); }); };
    const auto inPlace = [](auto ramp, QVector<double> v, int n) { return Signal([=]() mutable { ramp(v, n); return v; }); };
    const double h = std::sqrt(0.5);
    const QVector<double> ones(8, 1.0);
    const QString overlap = "Vector size must be at least twice of nPoints";

    // Eight-sample tones land on multiples of 45 degrees; amplitude 0 checks the length alone.
    QTest::newRow("tone, 99.999 samples") << value(pureTone(99999, 0.001, 440, 0, 0)) << QVector<double>(99, 0.0) << "";
    QTest::newRow("tone, NaN duration") << value(pureTone(40000, std::nan(""), 440, 1, 0)) << QVector<double>() << "";
    QTest::newRow("tone, beyond int") << value(pureTone(1e9, 1e9, 440, 1, 0)) << QVector<double>() << "";
    QTest::newRow("tone, phase 90") << value(pureTone(8000, 0.001, 1000, 0.5, 90))
                                    << QVector<double>{0.5, 0.5 * h, 0, -0.5 * h, -0.5, -0.5 * h, 0, 0.5 * h} << "";
    // Carrier 2 Hz at phase 90, modulation 1 Hz, depth 0.5, amplitude 2.
    QTest::newRow("modulated, normalised") << value(amplitudeModulatedTone(8, 1, 2, 1, 0.5, 2, 90, 0, true))
                                           << QVector<double>{2, 0, -4.0 / 3, 0, 2.0 / 3, 0, -4.0 / 3, 0} << "";
    QTest::newRow("modulated, modulation phase 90") << value(amplitudeModulatedTone(8, 1, 2, 1, 0.5, 2, 90, 90, false))
                                                    << QVector<double>{2, 0, -1, 0, 2, 0, -3, 0} << "";

    // The comparison tone: 5000 Hz at 40000 Hz also steps by 45 degrees.
    QTest::newRow("sinusoid") << value(sinusoidSamples(8, 5000, 40000)) << QVector<double>{0, h, 1, h, 0, -h, -1, -h} << "";
    QTest::newRow("sinusoid, rate 0 is silent") << value(sinusoidSamples(3, 1000, 0)) << QVector<double>(3, 0.0) << "";
    QTest::newRow("zeroFill") << inPlace([](QVector<double> &v, int) { zeroFill(v); }, {std::nan(""), -HUGE_VAL}, 0)
                              << QVector<double>(2, 0.0) << "";

    QTest::newRow("rms int, sum beyond 64 bits") << value({rootMeanSquare(QVector<int>(6, INT_MIN))}) << QVector<double>{2147483648.0} << "";
    QTest::newRow("rms double 1, -1") << value({rootMeanSquare(QVector<double>{1, -1})}) << QVector<double>{1} << "";

    // Each of the six ramp functions once, so that none can apply another's shape.
    QTest::newRow("linear, exactly half") << byValue(rampedLinear, ones, 4)
                                          << QVector<double>{0, 0.25, 0.5, 0.75, 0.75, 0.5, 0.25, 0} << "";
    QTest::newRow("linear, shorter than nPoints") << inPlace(rampLinear, {1, 1, 1}, 5) << QVector<double>{0, 0.04, 0} << overlap;
    QTest::newRow("cosine, middle kept") << inPlace(rampCosine, {2, -4, 6, -8, 10, -12, 14, -16}, 3)
                                         << QVector<double>{0, -1, 4.5, -8, 10, -9, 3.5, 0} << "";
    QTest::newRow("cosine, overlap multiplies") << byValue(rampedCosine, {1, 1, 1, 1, 1, 1}, 4)
                                                << QVector<double>{0, (1 - h) / 2, (1 + h) / 4, (1 + h) / 4, (1 - h) / 2, 0} << overlap;
    QTest::newRow("cosine squared") << inPlace(rampCosineSquared, ones, 3)
                                    << QVector<double>{0, 0.0625, 0.5625, 1, 1, 0.5625, 0.0625, 0} << "";
    QTest::newRow("cosine squared, exactly half") << byValue(rampedCosineSquared, {1, 1, 1, 1}, 2) << QVector<double>{0, 0.25, 0.25, 0} << "";

    QTest::newRow("integers, min > max: three 2s") << Signal([] { return QVector<double>{double(randomIntegers(3, 9, 2).count(2))}; })
                                                   << QVector<double>{3} << "min cannot be larger than max; force min = max";
    QTest::newRow("min = max: no warning") << Signal([] { return QVector<double>{double(randomInteger(4, 4)), double(randomIntegers(2, 4, 4).count(4))}; })
                                           << QVector<double>{4, 2} << "";
    QTest::newRow("integer, min > max") << Signal([] { return QVector<double>{double(randomInteger(5, 2))}; }) << QVector<double>{2}
                                        << "min cannot be larger than max";
}

void TestSignalTools::results()
{
    QFETCH(Signal, signal);
    QFETCH(QVector<double>, expected);
    QFETCH(QString, warning);
    ModalDriver driver;
    if (!warning.isEmpty())
        driver.answerMessageBox(QMessageBox::Ok);
    const QVector<double> result = signal();
    QVERIFY2(driver.waitUntilDone(2000), qPrintable(driver.unexpected().join('\n')));
    QCOMPARE(driver.seen().value(0).title + driver.seen().value(0).text, warning.isEmpty() ? warning : "Warning" + warning);
    QCOMPARE(result.size(), expected.size());
    for (int i = 0; i < result.size(); ++i)
        QVERIFY2(qAbs(result[i] - expected[i]) < 1e-12, qPrintable(QString("value %1: %2, not %3").arg(i).arg(result[i]).arg(expected[i])));
}

// randomInteger spans its whole range without seeding; randomIntegers and uniformNoise seed from
// the clock's second on every call, so two calls within a second agree (retried across seconds).
void TestSignalTools::clockSeedsAndRanges()
{
    const int wide = randomInteger(INT_MIN, INT_MAX);
    QVERIFY2(wide <= INT_MIN + 32767, qPrintable(QString::number(wide)));
    std::set<int> single;
    for (int i = 0; i < 3000; ++i)
        single.insert(randomInteger(-2, 3));
    const QVector<int> many = randomIntegers(3000, -2, 3);
    QCOMPARE(single, (std::set<int>{-2, -1, 0, 1, 2, 3}));
    QCOMPARE(std::set<int>(many.begin(), many.end()), single);
    for (int attempt = 0; attempt < 5; ++attempt) {
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        const QVector<int> integers = randomIntegers(20, 0, 1000), integersAgain = randomIntegers(20, 0, 1000);
        const QVector<double> noise = uniformNoise(5000), noiseAgain = uniformNoise(5000);
        if (QDateTime::currentSecsSinceEpoch() != before)
            continue;
        QCOMPARE(integersAgain, integers);
        QCOMPARE(noiseAgain, noise);
        QCOMPARE(QList<int>({integers.size(), noise.size()}), QList<int>({20, 5000}));
        const auto [low, high] = std::minmax_element(noise.begin(), noise.end());
        QVERIFY2(*low >= 0.0 && *low < 0.01 && *high > 0.99 && *high <= 1.0, qPrintable(QString("%1 .. %2").arg(*low).arg(*high)));
        return;
    }
    QFAIL("no two calls within one clock second");
}

QTEST_MAIN(TestSignalTools)
#include "tst_signaltools.moc"
