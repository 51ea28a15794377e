#include "analysis/FFTReal/FFTReal.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include <sys/resource.h>

using Block = std::vector<double>;
const char violateOption[] = "--violate-precondition";

// The transform of N = 2^k >= 8 written out pass after pass over the whole array, in the order
// of its definition, with the same twiddle arithmetic: the real one must give the same bits.
// The pass of length 8 adds first and multiplies by sqrt(1/2) once.
static Block passByPass(const Block &x, int k)
{
    const std::size_t size = x.size();
    std::vector<std::size_t> rev(size, 0);
    Block d(size), s(size);
    for (std::size_t i = 0; i < size; ++i) {
        rev[i] = i == 0 ? 0 : (rev[i >> 1] >> 1) | ((i & 1) << (k - 1));
        s[i] = x[rev[i]];
    }
    for (int p = 0; p < k; ++p) {
        const std::size_t n = std::size_t(1) << p, half = n / 2;
        const double angle = 3.141592653589793 / double(n), h = 0.7071067811865476;
        const std::complex<double> turn = std::polar(1.0, angle);
        for (std::size_t c = 0; c < size; c += 2 * n) {
            d[c + half] = s[c + half]; // overwritten by the sums below in the first pass
            d[c + n + half] = s[c + n + half];
            d[c] = s[c] + s[c + n];
            d[c + n] = s[c] - s[c + n];
            std::complex<double> twiddle = 1.0; // the rotating one of passes above 12, restarted per block
            for (std::size_t i = 1; i < half; ++i) {
                twiddle *= turn;
                const double co = p <= 12 ? std::cos(double(i) * angle) : twiddle.real();
                const double si = p <= 12 ? std::cos(double(half - i) * angle) : twiddle.imag();
                const double a = s[c + i], ai = s[c + half + i], b = s[c + n + i], bi = s[c + n + half + i];
                const double re = p == 2 ? (b - bi) * h : b * co - bi * si;
                const double im = p == 2 ? (b + bi) * h : b * si + bi * co;
                d[c + i] = a + re;
                d[c + n - i] = a - re;
                d[c + n + i] = im + ai;
                d[c + 2 * n - i] = im - ai;
            }
        }
        std::swap(d, s);
    }
    return s;
}

// Relative RMS error of the bins 0, stride, 2 stride .. up to N/2 of f against the definition
// summed in long double. Bins 0 and N/2 are real and have no imaginary slot.
static double relativeRmsError(const Block &x, const Block &f, std::size_t stride)
{
    const std::size_t size = x.size();
    std::vector<std::complex<long double>> turns(size);
    for (std::size_t i = 0; i < size; ++i)
        turns[i] = std::polar(1.0L, 2.0L * 3.141592653589793238462643383279502884L * i / size);
    long double errors = 0.0L, values = 0.0L;
    for (std::size_t m = 0; m <= size / 2; m += stride) {
        std::complex<long double> sum = 0.0L; // Re X[m] and -Im X[m], as packed
        for (std::size_t i = 0, phase = 0; i < size; ++i, phase = (phase + m) % size)
            sum += turns[phase] * static_cast<long double>(x[i]);
        errors += std::norm(std::complex<long double>(f[m], m > 0 && m < size / 2 ? f[size / 2 + m] : sum.imag()) - sum);
        values += std::norm(sum);
    }
    return double(std::sqrt(errors / values));
}

class TestFFTReal : public QObject
{
    Q_OBJECT
private slots:
    void matchesPassByPassAndDft_data();
    void matchesPassByPassAndDft();
    void preconditionViolationAborts_data();
    void preconditionViolationAborts();
};

// Rows cross every branch of the transform: the small lengths, the first sweep's three strategies
// (below 128, below 4096, blocked), the pairing of table passes, and up to seven oscillator passes.
void TestFFTReal::matchesPassByPassAndDft_data()
{
    QTest::addColumn<int>("bits");
    for (int bits = 0; bits <= 20; ++bits)
        QTest::addRow("N=2^%d", bits) << bits;
}

void TestFFTReal::matchesPassByPassAndDft()
{
    QFETCH(int, bits);
    const std::size_t size = std::size_t(1) << bits;
    std::mt19937 generator(1000u + unsigned(bits));
    Block input(size), first(size), second(size);
    std::generate(input.begin(), input.end(), [&] { return std::uniform_real_distribution<double>(-1.0, 1.0)(generator); });

    // Twice with one object; the second must match bit for bit, whatever state the first left.
    const FFTReal<double> fft(static_cast<std::int32_t>(size));
    fft.forward_fft(first.data(), input.data());
    fft.forward_fft(second.data(), input.data());
    const Block reference = bits >= 3 ? passByPass(input, bits) : first;
    QVERIFY2(std::memcmp(second.data(), reference.data(), size * sizeof(double)) == 0, "not the pass-by-pass bits");

    // Every bin up to 2^14; beyond, 33 bins at an odd stride.
    const double error = relativeRmsError(input, first, bits <= 14 ? 1 : (size >> 6) - 1);
    QVERIFY2(error <= (bits <= 13 ? 1e-15 : 1e-11), qPrintable(QString("relative RMS error %1").arg(error)));
}

void TestFFTReal::preconditionViolationAborts_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("expression");
    QTest::newRow("length 12") << 12 << "FFTReal_is_pow2 (length)";
    QTest::newRow("length 0") << 0 << "x > 0";
    QTest::newRow("input is output") << 16 << "x != f";
}

// The violation runs in a child copy of this program, which must abort on the stated assertion.
void TestFFTReal::preconditionViolationAborts()
{
    QFETCH(int, length);
    QFETCH(QString, expression);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {violateOption, QString::number(length)});
    QVERIFY(child.waitForFinished(30000));
    const QString errors = QString::fromLocal8Bit(child.readAllStandardError());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QVERIFY2(errors.contains(QString("Assertion `%1' failed").arg(expression)), qPrintable(errors));
}

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], violateOption) == 0) {
        const rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        Block buffer(16, 1.0);
        FFTReal<double>(std::atoi(argv[2])).forward_fft(buffer.data(), buffer.data());
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestFFTReal test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fftreal.moc"
