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

namespace {

using Block = std::vector<double>;
const char violateOption[] = "--violate-precondition";

// The transform of N = 2^k >= 8 written out pass after pass over the whole array, in the order
// of its definition, with the same twiddle arithmetic: the real one must give the same bits.
Block passByPass(const Block &x, int k)
{
    const std::size_t size = x.size();
    std::vector<std::size_t> rev(size, 0);
    for (std::size_t i = 1; i < size; ++i)
        rev[i] = (rev[i >> 1] >> 1) | ((i & 1) << (k - 1));
    Block d(size), s(size);
    for (std::size_t c = 0; c < size; c += 4) {
        const double x0 = x[rev[c]], x1 = x[rev[c + 1]], x2 = x[rev[c + 2]], x3 = x[rev[c + 3]];
        d[c + 1] = x0 - x1;
        d[c + 3] = x2 - x3;
        d[c] = (x0 + x1) + (x2 + x3);
        d[c + 2] = (x0 + x1) - (x2 + x3);
    }
    const double h = 0.7071067811865476;
    for (std::size_t c = 0; c < size; c += 8) {
        s[c] = d[c] + d[c + 4];
        s[c + 4] = d[c] - d[c + 4];
        s[c + 2] = d[c + 2];
        s[c + 6] = d[c + 6];
        s[c + 1] = d[c + 1] + (d[c + 5] - d[c + 7]) * h;
        s[c + 3] = d[c + 1] - (d[c + 5] - d[c + 7]) * h;
        s[c + 5] = (d[c + 5] + d[c + 7]) * h + d[c + 3];
        s[c + 7] = (d[c + 5] + d[c + 7]) * h - d[c + 3];
    }
    for (int p = 3; p < k; ++p) {
        const std::size_t n = std::size_t(1) << p, half = n / 2;
        const double angle = 3.141592653589793 / double(n);
        const double stepCos = std::cos(angle), stepSin = std::sin(angle);
        for (std::size_t c = 0; c < size; c += 2 * n) {
            d[c] = s[c] + s[c + n];
            d[c + n] = s[c] - s[c + n];
            d[c + half] = s[c + half];
            d[c + n + half] = s[c + n + half];
            double oc = 1.0, os = 0.0; // the rotating twiddle of passes above 12, restarted per block
            for (std::size_t i = 1; i < half; ++i) {
                const double turnedCos = oc * stepCos - os * stepSin;
                os = oc * stepSin + os * stepCos;
                oc = turnedCos;
                const double co = p <= 12 ? std::cos(double(i) * angle) : oc;
                const double si = p <= 12 ? std::cos(double(half - i) * angle) : os;
                const double a = s[c + i], ai = s[c + half + i], b = s[c + n + i], bi = s[c + n + half + i];
                d[c + i] = a + (b * co - bi * si);
                d[c + n - i] = a - (b * co - bi * si);
                d[c + n + i] = (b * si + bi * co) + ai;
                d[c + 2 * n - i] = (b * si + bi * co) - ai;
            }
        }
        std::swap(d, s);
    }
    return s;
}

// Relative RMS error of the given bins of f against the definition summed in long double.
double relativeRmsError(const Block &x, const Block &f, const std::vector<std::size_t> &bins)
{
    const std::size_t size = x.size();
    std::vector<std::complex<long double>> turns(size);
    for (std::size_t i = 0; i < size; ++i)
        turns[i] = std::polar(1.0L, 2.0L * 3.141592653589793238462643383279502884L * i / size);
    long double errors = 0.0L, values = 0.0L;
    for (std::size_t m : bins) {
        std::complex<long double> sum = 0.0L; // Re X[m] and -Im X[m], as packed
        for (std::size_t i = 0, phase = 0; i < size; ++i, phase = (phase + m) % size)
            sum += turns[phase] * static_cast<long double>(x[i]);
        // Bins 0 and N/2 are real and have no imaginary slot.
        const bool complex = m > 0 && m < size / 2;
        errors += std::norm(std::complex<long double>(f[m], complex ? f[size / 2 + m] : sum.imag()) - sum);
        values += std::norm(sum);
    }
    return double(std::sqrt(errors / values));
}

// Child side of the precondition test: breaks one precondition and must abort on its assertion.
int violatePrecondition(const QByteArray &scenario)
{
    const rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    Block buffer(16, 1.0);
    if (scenario.startsWith("length "))
        FFTReal<double> fft(scenario.mid(7).toInt());
    else
        FFTReal<double>(16).forward_fft(buffer.data(), buffer.data());
    return 0;
}

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
    QTest::addColumn<double>("bound");
    for (int bits = 0; bits <= 20; ++bits)
        QTest::addRow("N=2^%d", bits) << bits << (bits <= 13 ? 1e-15 : 1e-11);
}

void TestFFTReal::matchesPassByPassAndDft()
{
    QFETCH(int, bits);
    QFETCH(double, bound);
    const std::size_t size = std::size_t(1) << bits;
    std::mt19937 generator(1000u + unsigned(bits));
    std::uniform_real_distribution<double> distribution(-1.0, 1.0);
    Block input(size), first(size), second(size);
    std::generate(input.begin(), input.end(), [&] { return distribution(generator); });

    // Twice with one object: a transform must not depend on the state the previous one left.
    const FFTReal<double> fft(static_cast<std::int32_t>(size));
    fft.forward_fft(first.data(), input.data());
    fft.forward_fft(second.data(), input.data());
    const Block reference = bits >= 3 ? passByPass(input, bits) : first;
    for (const Block &output : {first, second}) {
        const auto got = std::mismatch(output.begin(), output.end(), reference.begin(),
                                       [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }).first;
        QVERIFY2(got == output.end(), qPrintable(QString("f[%1] differs from the pass-by-pass value").arg(got - output.begin())));
    }

    // Every bin up to 2^14, a sample of them beyond.
    std::vector<std::size_t> bins = {0, size / 2};
    for (std::size_t m = 1; m < size / 2 && (bits <= 14 || m < 64); ++m)
        bins.push_back(bits <= 14 ? m : 1 + generator() % (size / 2 - 1));
    const double error = relativeRmsError(input, first, bins);
    QVERIFY2(error <= bound, qPrintable(QString("relative RMS error %1").arg(error)));
}

void TestFFTReal::preconditionViolationAborts_data()
{
    QTest::addColumn<QString>("expression");
    QTest::newRow("length 12") << "FFTReal_is_pow2 (length)";
    QTest::newRow("length 0") << "x > 0";
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
