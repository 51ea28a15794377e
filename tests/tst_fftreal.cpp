#include "analysis/FFTReal/FFTReal.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <sys/resource.h>

namespace {

const long double pi = 3.141592653589793238462643383279502884L;

std::vector<double> randomSignal(int length, unsigned seed)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> distribution(-1.0, 1.0);
    std::vector<double> signal(static_cast<std::size_t>(length));
    for (double &value : signal)
        value = distribution(generator);
    return signal;
}

// Direct evaluation of bin m in long double, packed the way the transform stores it: the real
// part, and the imaginary part with its sign inverted.
struct Bin
{
    long double re;
    long double negIm;
};

class DirectDft
{
public:
    explicit DirectDft(int length)
        : length(length), cosines(static_cast<std::size_t>(length)),
          sines(static_cast<std::size_t>(length))
    {
        for (int i = 0; i < length; ++i) {
            const long double angle = 2.0L * pi * i / length;
            cosines[static_cast<std::size_t>(i)] = std::cos(angle);
            sines[static_cast<std::size_t>(i)] = std::sin(angle);
        }
    }

    Bin bin(const std::vector<double> &x, int m) const
    {
        long double re = 0.0L;
        long double im = 0.0L;
        std::size_t index = 0;
        for (int n = 0; n < length; ++n) {
            re += x[static_cast<std::size_t>(n)] * cosines[index];
            im -= x[static_cast<std::size_t>(n)] * sines[index];
            index = (index + static_cast<std::size_t>(m)) & (static_cast<std::size_t>(length) - 1);
        }
        return {re, -im};
    }

    // The packed output of the whole transform.
    std::vector<long double> packed(const std::vector<double> &x) const
    {
        std::vector<long double> out(static_cast<std::size_t>(length));
        const int half = length / 2;
        out[0] = bin(x, 0).re;
        if (length == 1)
            return out;
        for (int m = 1; m < half; ++m) {
            const Bin b = bin(x, m);
            out[static_cast<std::size_t>(m)] = b.re;
            out[static_cast<std::size_t>(half + m)] = b.negIm;
        }
        out[static_cast<std::size_t>(half)] = bin(x, half).re;
        return out;
    }

private:
    int length;
    std::vector<long double> cosines;
    std::vector<long double> sines;
};

std::vector<double> transformed(const std::vector<double> &input)
{
    const FFTReal<double> fft(static_cast<std::int32_t>(input.size()));
    std::vector<double> output(input.size(), 0.0);
    fft.forward_fft(output.data(), input.data());
    return output;
}

// Child side of the precondition tests: each scenario breaks one stated precondition and must
// abort on its assertion. Returning 0 means it did not.
int violatePrecondition(const QByteArray &scenario)
{
    // A core file per expected abort would only slow the tests down.
    const rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);

    std::vector<double> input(16, 1.0);
    std::vector<double> output(16, 0.0);
    if (scenario == "length-not-power-of-two")
        FFTReal<double> fft(12);
    else if (scenario == "length-zero")
        FFTReal<double> fft(0);
    else if (scenario == "length-negative")
        FFTReal<double> fft(-16);
    else if (scenario == "is-pow2-of-zero")
        return FFTReal_is_pow2(0) ? 0 : 0;
    else if (scenario == "output-null") {
        const FFTReal<double> fft(16);
        fft.forward_fft(nullptr, input.data());
    } else if (scenario == "input-null") {
        const FFTReal<double> fft(16);
        fft.forward_fft(output.data(), nullptr);
    } else if (scenario == "output-is-work-buffer") {
        const FFTReal<double> fft(16);
        fft.forward_fft(fft.use_buffer(), input.data());
    } else if (scenario == "input-is-work-buffer") {
        const FFTReal<double> fft(16);
        fft.forward_fft(output.data(), fft.use_buffer());
    } else if (scenario == "input-is-output") {
        const FFTReal<double> fft(16);
        fft.forward_fft(output.data(), output.data());
    } else if (scenario == "array-read-past-end") {
        const DynArray<double> array(4);
        return int(array[4]);
    } else if (scenario == "array-read-before-start") {
        const DynArray<double> array(4);
        return int(array[-1]);
    } else if (scenario == "array-negative-size") {
        DynArray<double> array(-1);
    } else if (scenario == "array-resize-negative") {
        DynArray<double> array(4);
        array.resize(-2);
    } else {
        return 2;
    }
    return 0;
}

const char violateOption[] = "--violate-precondition";

}

class TestFFTReal : public QObject
{
    Q_OBJECT
private slots:
    void smallTransforms_data();
    void smallTransforms();
    void matchesDirectDft_data();
    void matchesDirectDft();
    void matchesDirectDftAtSampledBins_data();
    void matchesDirectDftAtSampledBins();
    void repeatedTransformsAgree_data();
    void repeatedTransformsAgree();
    void bitReversalTable_data();
    void bitReversalTable();
    void bitReversalTableReversesEveryIndex_data();
    void bitReversalTableReversesEveryIndex();
    void cosineTableForSixteen();
    void cosineTableLevels_data();
    void cosineTableLevels();
    void bitCount_data();
    void bitCount();
    void isPow2_data();
    void isPow2();
    void oscillatorTurnsByItsStep_data();
    void oscillatorTurnsByItsStep();
    void oscillatorResetReturnsToAngleZero();
    void preconditionViolationAborts_data();
    void preconditionViolationAborts();
};

void TestFFTReal::smallTransforms_data()
{
    QTest::addColumn<QVector<double>>("input");
    QTest::addColumn<QVector<double>>("expected");

    const double h = std::sqrt(0.5);
    QVector<double> cosine8;
    QVector<double> sine8;
    for (int n = 0; n < 8; ++n) {
        cosine8 << std::cos(2.0 * double(pi) * n / 8.0);
        sine8 << std::sin(2.0 * double(pi) * n / 8.0);
    }
    QVector<double> cosine16bin3;
    QVector<double> sine16bin3;
    for (int n = 0; n < 16; ++n) {
        cosine16bin3 << std::cos(2.0 * double(pi) * 3 * n / 16.0);
        sine16bin3 << std::sin(2.0 * double(pi) * 3 * n / 16.0);
    }
    QVector<double> cosine16expected(16, 0.0);
    cosine16expected[3] = 8.0;
    QVector<double> sine16expected(16, 0.0);
    sine16expected[8 + 3] = 8.0;

    QTest::newRow("N=1 keeps the sample") << QVector<double>{0.625} << QVector<double>{0.625};
    QTest::newRow("N=2 sum and difference") << QVector<double>{3.0, 5.0} << QVector<double>{8.0, -2.0};
    QTest::newRow("N=4 impulse") << QVector<double>{1, 0, 0, 0} << QVector<double>{1, 1, 1, 0};
    // X = 10, -2 + 2j, -2: the stored -Im X[1] is -2.
    QTest::newRow("N=4 ramp") << QVector<double>{1, 2, 3, 4} << QVector<double>{10, -2, -2, -2};
    QTest::newRow("N=8 impulse") << QVector<double>{1, 0, 0, 0, 0, 0, 0, 0}
                                 << QVector<double>{1, 1, 1, 1, 1, 0, 0, 0};
    QTest::newRow("N=8 all ones") << QVector<double>(8, 1.0) << QVector<double>{8, 0, 0, 0, 0, 0, 0, 0};
    // X[m] = e^(-j 2 pi m/8): real parts cos, stored values +sin.
    QTest::newRow("N=8 impulse at n=1") << QVector<double>{0, 1, 0, 0, 0, 0, 0, 0}
                                        << QVector<double>{1, h, 0, -h, -1, h, 1, h};
    QTest::newRow("N=8 cosine at bin 1") << cosine8 << QVector<double>{0, 4, 0, 0, 0, 0, 0, 0};
    // Im X[1] = -4, stored with its sign inverted.
    QTest::newRow("N=8 sine at bin 1") << sine8 << QVector<double>{0, 0, 0, 0, 0, 4, 0, 0};
    QTest::newRow("N=16 cosine at bin 3") << cosine16bin3 << cosine16expected;
    QTest::newRow("N=16 sine at bin 3") << sine16bin3 << sine16expected;
}

void TestFFTReal::smallTransforms()
{
    QFETCH(QVector<double>, input);
    QFETCH(QVector<double>, expected);

    const std::vector<double> output = transformed(std::vector<double>(input.begin(), input.end()));
    QCOMPARE(int(output.size()), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const double actual = output[static_cast<std::size_t>(i)];
        if (!(qAbs(actual - expected[i]) < 1e-12))
            QFAIL(qPrintable(QString("f[%1] = %2, expected %3").arg(i).arg(actual, 0, 'g', 17).arg(expected[i])));
    }
}

void TestFFTReal::matchesDirectDft_data()
{
    QTest::addColumn<int>("length");
    for (int bits = 0; bits <= 14; ++bits)
        QTest::addRow("N=2^%d", bits) << (1 << bits);
}

// Every output against the definition, up to the first length that needs an oscillator.
void TestFFTReal::matchesDirectDft()
{
    QFETCH(int, length);

    const std::vector<double> input = randomSignal(length, 1000u + unsigned(length));
    const std::vector<double> inputCopy = input;
    const std::vector<double> output = transformed(input);
    const std::vector<long double> reference = DirectDft(length).packed(input);

    QCOMPARE(input, inputCopy);
    long double maxError = 0.0L;
    long double errorSquares = 0.0L;
    long double referenceSquares = 0.0L;
    int worst = 0;
    for (int i = 0; i < length; ++i) {
        const long double error = std::fabs(output[static_cast<std::size_t>(i)] - reference[static_cast<std::size_t>(i)]);
        if (error > maxError) {
            maxError = error;
            worst = i;
        }
        errorSquares += error * error;
        referenceSquares += reference[static_cast<std::size_t>(i)] * reference[static_cast<std::size_t>(i)];
    }
    const double relativeRms = double(std::sqrt(errorSquares / referenceSquares));
    qInfo("N = %d: max abs error %.3e, relative RMS error %.3e", length, double(maxError), relativeRms);
    if (!(maxError <= 1e-9L))
        QFAIL(qPrintable(QString("f[%1] is off by %2").arg(worst).arg(double(maxError))));
}

void TestFFTReal::matchesDirectDftAtSampledBins_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<double>("tolerance");
    // Several blocks per oscillator pass, and several oscillator passes.
    QTest::newRow("N=2^15") << (1 << 15) << 1e-9;
    QTest::newRow("N=2^16") << (1 << 16) << 2e-9;
    QTest::newRow("N=2^17") << (1 << 17) << 4e-9;
}

// Longer transforms cost too much to check in full: a spread of bins, both packed halves.
void TestFFTReal::matchesDirectDftAtSampledBins()
{
    QFETCH(int, length);
    QFETCH(double, tolerance);

    const std::vector<double> input = randomSignal(length, 77u);
    const std::vector<double> output = transformed(input);
    const DirectDft dft(length);
    const int half = length / 2;

    std::mt19937 generator(5u);
    std::uniform_int_distribution<int> pick(1, half - 1);
    QVector<int> bins{0, 1, 2, half - 1, half};
    for (int i = 0; i < 60; ++i)
        bins << pick(generator);

    long double maxError = 0.0L;
    for (int m : bins) {
        const Bin expected = dft.bin(input, m);
        maxError = qMax(maxError, std::fabs(output[static_cast<std::size_t>(m)] - expected.re));
        if (m > 0 && m < half)
            maxError = qMax(maxError, std::fabs(output[static_cast<std::size_t>(half + m)] - expected.negIm));
    }
    qInfo("N = %d: max abs error over %d bins %.3e", length, bins.size(), double(maxError));
    QVERIFY2(maxError <= tolerance, qPrintable(QString::number(double(maxError))));
}

void TestFFTReal::repeatedTransformsAgree_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("N=2^13") << (1 << 13);
    QTest::newRow("N=2^15") << (1 << 15);
}

// The work buffer and the oscillators carry state from one transform to the next; none of it
// may leak into the result.
void TestFFTReal::repeatedTransformsAgree()
{
    QFETCH(int, length);

    const FFTReal<double> fft(length);
    const std::vector<double> first = randomSignal(length, 1u);
    const std::vector<double> second = randomSignal(length, 2u);
    std::vector<double> before(static_cast<std::size_t>(length));
    std::vector<double> other(static_cast<std::size_t>(length));
    std::vector<double> after(static_cast<std::size_t>(length));

    fft.forward_fft(before.data(), first.data());
    fft.forward_fft(other.data(), second.data());
    fft.forward_fft(after.data(), first.data());
    QCOMPARE(before, after);
    QVERIFY(before != other);
}

void TestFFTReal::bitReversalTable_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QVector<int>>("expected");
    QTest::newRow("N=1") << 1 << QVector<int>{0};
    QTest::newRow("N=2") << 2 << QVector<int>{0, 1};
    QTest::newRow("N=8") << 8 << QVector<int>{0, 4, 2, 6, 1, 5, 3, 7};
    QTest::newRow("N=16") << 16 << QVector<int>{0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
}

void TestFFTReal::bitReversalTable()
{
    QFETCH(int, length);
    QFETCH(QVector<int>, expected);

    const FFTReal<double> fft(length);
    const DynArray<std::int32_t> &table = fft.get_bit_rev_table();
    QVector<int> actual;
    for (std::int32_t i = 0; i < table.size(); ++i)
        actual << table[i];
    QCOMPARE(actual, expected);
}

void TestFFTReal::bitReversalTableReversesEveryIndex_data()
{
    QTest::addColumn<int>("bits");
    QTest::newRow("k=10") << 10;
    QTest::newRow("k=15") << 15;
}

void TestFFTReal::bitReversalTableReversesEveryIndex()
{
    QFETCH(int, bits);

    const FFTReal<double> fft(1 << bits);
    const DynArray<std::int32_t> &table = fft.get_bit_rev_table();
    QCOMPARE(int(table.size()), 1 << bits);
    for (int i = 0; i < (1 << bits); ++i) {
        int reversed = 0;
        for (int b = 0; b < bits; ++b)
            if (i & (1 << b))
                reversed |= 1 << (bits - 1 - b);
        if (table[i] != reversed)
            QFAIL(qPrintable(QString("entry %1 is %2, expected %3").arg(i).arg(table[i]).arg(reversed)));
    }
}

void TestFFTReal::cosineTableForSixteen()
{
    const FFTReal<double> fft(16);
    const DynArray<double> &table = fft.get_cos_table();
    QCOMPARE(int(table.size()), 4);
    const double expected[] = {1.0, 0.9238795325112867, 0.7071067811865476, 0.38268343236508984};
    for (int i = 0; i < 4; ++i)
        QVERIFY2(qAbs(table[i] - expected[i]) < 1e-16, qPrintable(QString::number(i)));
}

void TestFFTReal::cosineTableLevels_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("size");
    QTest::newRow("k=0 no table") << 0 << 0;
    QTest::newRow("k=2 no table") << 2 << 0;
    QTest::newRow("k=3 no table") << 3 << 0;
    QTest::newRow("k=6 levels 3 to 5") << 6 << 28;
    QTest::newRow("k=14 levels up to 13") << 14 << 8188;
}

// Level l holds cos (i pi / 2^l), i = 0 .. 2^(l-1) - 1, from index 2^(l-1) - 4.
void TestFFTReal::cosineTableLevels()
{
    QFETCH(int, bits);
    QFETCH(int, size);

    const FFTReal<double> fft(1 << bits);
    const DynArray<double> &table = fft.get_cos_table();
    QCOMPARE(int(table.size()), size);
    for (int level = 3; level < bits; ++level) {
        const int start = (1 << (level - 1)) - 4;
        for (int i = 0; i < (1 << (level - 1)); ++i) {
            const double expected = double(std::cos(i * pi / (1 << level)));
            if (!(qAbs(table[start + i] - expected) < 2e-16))
                QFAIL(qPrintable(QString("level %1 entry %2 is %3").arg(level).arg(i).arg(table[start + i], 0, 'g', 17)));
        }
    }
}

void TestFFTReal::bitCount_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("bits");
    QTest::newRow("N=1") << 1 << 0;
    QTest::newRow("N=2") << 2 << 1;
    QTest::newRow("N=16") << 16 << 4;
    QTest::newRow("N=32") << 32 << 5;
    QTest::newRow("N=2^17") << (1 << 17) << 17;
}

void TestFFTReal::bitCount()
{
    QFETCH(int, length);
    QFETCH(int, bits);

    const FFTReal<double> fft(length);
    QCOMPARE(int(fft.get_length()), length);
    QCOMPARE(int(fft.get_nbr_bits()), bits);
}

void TestFFTReal::isPow2_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("expected");
    QTest::newRow("1") << 1 << true;
    QTest::newRow("2") << 2 << true;
    QTest::newRow("3") << 3 << false;
    QTest::newRow("12") << 12 << false;
    QTest::newRow("4096") << 4096 << true;
    QTest::newRow("4097") << 4097 << false;
    QTest::newRow("2^30") << (1 << 30) << true;
    QTest::newRow("2^30 + 2^29") << ((1 << 30) + (1 << 29)) << false;
    QTest::newRow("int max") << std::numeric_limits<int>::max() << false;
}

void TestFFTReal::isPow2()
{
    QFETCH(int, value);
    QFETCH(bool, expected);
    QCOMPARE(FFTReal_is_pow2(value), expected);
}

void TestFFTReal::oscillatorTurnsByItsStep_data()
{
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("steps");
    QTest::addColumn<double>("tolerance");
    // Rounding accumulates with the number of steps.
    QTest::newRow("quarter turns") << double(pi / 2) << 3 << 1e-15;
    QTest::newRow("first oscillator, 4095 steps") << double(pi / 8192) << 4095 << 1e-12;
    QTest::newRow("pi/2^17, 32767 steps") << double(pi / 131072) << 32767 << 1e-11;
}

void TestFFTReal::oscillatorTurnsByItsStep()
{
    QFETCH(double, step);
    QFETCH(int, steps);
    QFETCH(double, tolerance);

    SinCosOscillator<double> oscillator;
    QCOMPARE(oscillator.get_cos(), 1.0);
    QCOMPARE(oscillator.get_sin(), 0.0);
    oscillator.set_step(step);
    QCOMPARE(oscillator.get_cos(), 1.0);
    for (int i = 0; i < steps; ++i)
        oscillator.step();
    const long double angle = (long double)(step) * steps;
    const double cosError = qAbs(oscillator.get_cos() - double(std::cos(angle)));
    const double sinError = qAbs(oscillator.get_sin() - double(std::sin(angle)));
    qInfo("%d steps: cos off by %.2e, sin off by %.2e", steps, cosError, sinError);
    QVERIFY2(cosError < tolerance, qPrintable(QString::number(cosError)));
    QVERIFY2(sinError < tolerance, qPrintable(QString::number(sinError)));
}

void TestFFTReal::oscillatorResetReturnsToAngleZero()
{
    SinCosOscillator<double> oscillator;
    oscillator.set_step(0.25);
    oscillator.step();
    oscillator.step();
    QVERIFY(qAbs(oscillator.get_sin() - std::sin(0.5)) < 1e-15);
    oscillator.reset();
    QCOMPARE(oscillator.get_cos(), 1.0);
    QCOMPARE(oscillator.get_sin(), 0.0);
    oscillator.step();
    QVERIFY(qAbs(oscillator.get_cos() - std::cos(0.25)) < 1e-15);
    QVERIFY(qAbs(oscillator.get_sin() - std::sin(0.25)) < 1e-15);
}

void TestFFTReal::preconditionViolationAborts_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("expression");
    QTest::newRow("length not a power of two") << "length-not-power-of-two" << "FFTReal_is_pow2 (length)";
    QTest::newRow("length zero") << "length-zero" << "x > 0";
    QTest::newRow("length negative") << "length-negative" << "x > 0";
    QTest::newRow("power-of-two test of zero") << "is-pow2-of-zero" << "x > 0";
    QTest::newRow("null output") << "output-null" << "f != 0";
    QTest::newRow("null input") << "input-null" << "x != 0";
    QTest::newRow("output is the work buffer") << "output-is-work-buffer" << "f != use_buffer ()";
    QTest::newRow("input is the work buffer") << "input-is-work-buffer" << "x != use_buffer ()";
    QTest::newRow("input is the output") << "input-is-output" << "x != f";
    QTest::newRow("array read past the end") << "array-read-past-end" << "pos < _len";
    QTest::newRow("array read before the start") << "array-read-before-start" << "pos >= 0";
    QTest::newRow("array of negative size") << "array-negative-size" << "size >= 0";
    QTest::newRow("array resized to a negative size") << "array-resize-negative" << "size >= 0";
}

// Each violation runs in a child copy of this program, which must abort on the assertion with
// the stated expression text.
void TestFFTReal::preconditionViolationAborts()
{
    QFETCH(QString, scenario);
    QFETCH(QString, expression);

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QString(violateOption), scenario});
    QVERIFY(child.waitForFinished(30000));
    const QString errors = QString::fromLocal8Bit(child.readAllStandardError());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QVERIFY2(errors.contains(QString("Assertion `%1' failed").arg(expression)), qPrintable(errors));
}

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], violateOption) == 0)
        return violatePrecondition(argv[2]);

    QCoreApplication app(argc, argv);
    TestFFTReal test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fftreal.moc"
