#include "analysis/FFTReal/FFTReal.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include <sys/resource.h>

namespace {

const long double pi = 3.141592653589793238462643383279502884L;
const char violateOption[] = "--violate-precondition";

// Bin m in long double, as the transform stores it: the real part and the negated imaginary part.
// cosines and sines hold cos and sin of 2 pi k / N for k < N.
void directBin(const std::vector<double> &x, const std::vector<long double> &cosines,
               const std::vector<long double> &sines, std::size_t m, long double &re, long double &negIm)
{
    re = 0.0L;
    negIm = 0.0L;
    for (std::size_t i = 0, k = 0; i < x.size(); ++i, k = (k + m) & (x.size() - 1)) {
        re += x[i] * cosines[k];
        negIm += x[i] * sines[k];
    }
}

std::vector<double> transformed(const std::vector<double> &input)
{
    const FFTReal<double> fft(static_cast<std::int32_t>(input.size()));
    std::vector<double> output(input.size(), 0.0);
    fft.forward_fft(output.data(), input.data());
    return output;
}

// Child side of the precondition test: breaks one precondition and must abort on its assertion.
int violatePrecondition(const QByteArray &scenario)
{
    const rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    std::vector<double> buffer(16, 1.0);
    if (scenario == "length 12")
        FFTReal<double> fft(12);
    else if (scenario == "input is output")
        FFTReal<double>(16).forward_fft(buffer.data(), buffer.data());
    return 0;
}

}

class TestFFTReal : public QObject
{
    Q_OBJECT
private slots:
    void smallTransforms_data();
    void smallTransforms();
    void matchesDirectDft_data();
    void matchesDirectDft();
    void tablesForSixteen();
    void preconditionViolationAborts_data();
    void preconditionViolationAborts();
};

void TestFFTReal::smallTransforms_data()
{
    QTest::addColumn<QVector<double>>("input");
    QTest::addColumn<QVector<double>>("expected");

    QVector<double> cosine;
    QVector<double> sine;
    for (int n = 0; n < 8; ++n) {
        cosine << std::cos(2.0 * double(pi) * n / 8.0);
        sine << std::sin(2.0 * double(pi) * n / 8.0);
    }
    QTest::newRow("N=1") << QVector<double>{0.625} << QVector<double>{0.625};
    QTest::newRow("N=2") << QVector<double>{3.0, 5.0} << QVector<double>{8.0, -2.0};
    // X = 10, -2 + 2j, -2: the stored -Im X[1] is -2.
    QTest::newRow("N=4") << QVector<double>{1, 2, 3, 4} << QVector<double>{10, -2, -2, -2};
    QTest::newRow("impulse") << QVector<double>{1, 0, 0, 0, 0, 0, 0, 0} << QVector<double>{1, 1, 1, 1, 1, 0, 0, 0};
    QTest::newRow("all ones") << QVector<double>(8, 1.0) << QVector<double>{8, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("cosine bin 1") << cosine << QVector<double>{0, 4, 0, 0, 0, 0, 0, 0};
    // Im X[1] = -4, stored negated.
    QTest::newRow("sine bin 1") << sine << QVector<double>{0, 0, 0, 0, 0, 4, 0, 0};
}

void TestFFTReal::smallTransforms()
{
    QFETCH(QVector<double>, input);
    QFETCH(QVector<double>, expected);

    const std::vector<double> output = transformed(std::vector<double>(input.begin(), input.end()));
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(qAbs(output[std::size_t(i)] - expected[i]) < 1e-12,
                 qPrintable(QString("f[%1] = %2").arg(i).arg(output[std::size_t(i)], 0, 'g', 17)));
}

void TestFFTReal::matchesDirectDft_data()
{
    QTest::addColumn<int>("bits");
    for (int bits = 0; bits <= 14; ++bits)
        QTest::addRow("N=2^%d", bits) << bits;
    // Several oscillator passes of several blocks each: too long for every bin, so a sample.
    QTest::newRow("N=2^16 sampled") << 16;
}

void TestFFTReal::matchesDirectDft()
{
    QFETCH(int, bits);
    const std::size_t length = std::size_t(1) << bits;
    const std::size_t half = length / 2;

    std::mt19937 generator(1000u + unsigned(bits));
    std::uniform_real_distribution<double> distribution(-1.0, 1.0);
    std::vector<double> input(length);
    for (double &value : input)
        value = distribution(generator);

    // A second transform by the same object must not see state left by the first.
    const FFTReal<double> fft(static_cast<std::int32_t>(length));
    std::vector<double> output(length);
    std::vector<double> repeated(length);
    fft.forward_fft(output.data(), input.data());
    fft.forward_fft(repeated.data(), input.data());
    QCOMPARE(repeated, output);

    std::vector<long double> cosines(length);
    std::vector<long double> sines(length);
    for (std::size_t k = 0; k < length; ++k) {
        cosines[k] = std::cos(2.0L * pi * k / length);
        sines[k] = std::sin(2.0L * pi * k / length);
    }
    std::vector<std::size_t> bins;
    if (bits <= 14) {
        for (std::size_t m = 0; m <= half; ++m)
            bins.push_back(m);
    } else {
        bins = {0, 1, 2, half - 1, half};
        std::uniform_int_distribution<std::size_t> pick(1, half - 1);
        for (int i = 0; i < 64; ++i)
            bins.push_back(pick(generator));
    }

    long double maxError = 0.0L;
    long double errorSquares = 0.0L;
    long double referenceSquares = 0.0L;
    auto check = [&](std::size_t index, long double expected) {
        const long double error = std::fabs(output[index] - expected);
        maxError = std::max(maxError, error);
        errorSquares += error * error;
        referenceSquares += expected * expected;
    };
    for (std::size_t m : bins) {
        long double re = 0.0L;
        long double negIm = 0.0L;
        directBin(input, cosines, sines, m, re, negIm);
        check(m, re);
        if (m > 0 && m < half)
            check(half + m, negIm);
    }
    const double relativeRms = double(std::sqrt(errorSquares / referenceSquares));
    qInfo("N = %zu: max abs error %.3e, relative RMS error %.3e", length, double(maxError), relativeRms);
    QVERIFY2(maxError <= 1e-9L, qPrintable(QString::number(double(maxError))));
}

void TestFFTReal::tablesForSixteen()
{
    const FFTReal<double> fft(16);
    const DynArray<std::int32_t> &bitReversal = fft.get_bit_rev_table();
    const QVector<int> expectedBitReversal{0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    QCOMPARE(int(bitReversal.size()), expectedBitReversal.size());
    for (int i = 0; i < expectedBitReversal.size(); ++i)
        QCOMPARE(int(bitReversal[i]), expectedBitReversal[i]);

    const DynArray<double> &cosines = fft.get_cos_table();
    const double expectedCosines[] = {1.0, 0.9238795325112867, 0.7071067811865476, 0.38268343236508984};
    QCOMPARE(int(cosines.size()), 4);
    for (int i = 0; i < 4; ++i)
        QVERIFY2(qAbs(cosines[i] - expectedCosines[i]) < 1e-16, qPrintable(QString::number(i)));
}

void TestFFTReal::preconditionViolationAborts_data()
{
    QTest::addColumn<QString>("expression");
    QTest::newRow("length 12") << "FFTReal_is_pow2 (length)";
    QTest::newRow("input is output") << "x != f";
}

// The violation runs in a child copy of this program, which must abort on the stated assertion.
void TestFFTReal::preconditionViolationAborts()
{
    QFETCH(QString, expression);

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QString(violateOption), QTest::currentDataTag()});
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
