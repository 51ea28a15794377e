// Preparing a long target (5 minutes of 48000 Hz stereo 16-bit, 57.6 MB) and a short one
// (10000 samples) in the real experimenter window, against the bare work it cannot avoid: reading
// the file, converting its first channel with libsoxr and one FFTW transform of the same length.
// Also the GUI thread's share of Go, and memory: each measurement of peak and kept memory runs
// in a process of its own (this program, started with --memory), which reports VmHWM and VmRSS.

#include "app/MainWindow.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <soxr.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const char memoryOption[] = "--memory";
QString longTarget;
QString shortTarget;

// A canonical 16-bit file: 440 Hz on the left, 660 Hz on the right, at half scale.
bool writeTarget(const QString &path, quint32 rate, quint16 channels, qint64 frames)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const quint32 dataSize = quint32(frames * channels * 2);
    char header[44];
    std::memcpy(header, "RIFF", 4);
    qToLittleEndian<quint32>(dataSize + 36, header + 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, header + 16);
    qToLittleEndian<quint16>(1, header + 20);
    qToLittleEndian<quint16>(channels, header + 22);
    qToLittleEndian<quint32>(rate, header + 24);
    qToLittleEndian<quint32>(rate * channels * 2, header + 28);
    qToLittleEndian<quint16>(quint16(channels * 2), header + 32);
    qToLittleEndian<quint16>(16, header + 34);
    std::memcpy(header + 36, "data", 4);
    qToLittleEndian<quint32>(dataSize, header + 40);
    file.write(header, sizeof header);
    QByteArray block;
    for (qint64 first = 0; first < frames; first += 65536) {
        const qint64 count = std::min<qint64>(65536, frames - first);
        block.resize(int(count * channels * 2));
        for (qint64 i = 0; i < count; ++i) {
            for (int c = 0; c < channels; ++c) {
                const double hz = 440.0 * (1.0 + 0.5 * c);
                const double value = 0.5 * std::sin(6.283185307179586 * hz * double(first + i) / rate);
                qToLittleEndian<qint16>(qint16(std::lround(value * 32767.0)), block.data() + 2 * (i * channels + c));
            }
        }
        file.write(block);
    }
    return file.error() == QFileDevice::NoError;
}

// VmHWM or VmRSS of this process in MiB.
double statusMiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1.0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field)) + 1).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1.0;
}

// What prepareSession does once the file is chosen: load, plot, analyse, plot.
bool prepare(MainWindow &window, const QString &path)
{
    TrialRecord record;
    record.filePath = QFileInfo(path).path();
    record.fileName = QFileInfo(path).fileName();
    window.parameters.trials = {record};
    window.playOrder = {0};
    window.playPosition = 0;
    if (!window.loadTargetSound())
        return false;
    window.plotWaveform();
    window.computeAmplitudeSpectrum();
    window.plotSpectrum();
    window.resetTrendChart();
    return true;
}

// The bare pipeline: the file read whole, its first channel as doubles, converted to 40000 Hz by
// libsoxr (the quality the window uses) and transformed by FFTW at the window's length.
void BM_ReadSoxrFftw(benchmark::State &state)
{
    for (auto _ : state) {
        QFile file(longTarget);
        if (!file.open(QIODevice::ReadOnly)) {
            state.SkipWithError("cannot read the target");
            return;
        }
        const QByteArray bytes = file.readAll();
        const quint16 channels = qFromLittleEndian<quint16>(bytes.constData() + 22);
        const quint32 rate = qFromLittleEndian<quint32>(bytes.constData() + 24);
        const qint64 frames = (bytes.size() - 44) / (2 * channels);
        std::vector<double> first(std::size_t(frames), 0.0);
        const char *data = bytes.constData() + 44;
        for (qint64 i = 0; i < frames; ++i)
            first[std::size_t(i)] = qFromLittleEndian<qint16>(data + 2 * i * channels) / 32768.0;

        const std::size_t length = std::size_t(std::lround(double(frames) * 40000.0 / rate));
        const std::size_t fftLength = std::size_t(1) << int(std::ceil(std::log2(double(length))));
        double *block = fftw_alloc_real(fftLength);
        fftw_complex *spectrum = fftw_alloc_complex(fftLength / 2 + 1);
        const fftw_plan plan = fftw_plan_dft_r2c_1d(int(fftLength), block, spectrum, FFTW_ESTIMATE);
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, SOXR_LINEAR_PHASE);
        std::size_t produced = 0;
        soxr_oneshot(rate, 40000.0, 1, first.data(), first.size(), nullptr, block, length, &produced, &io, &quality,
                     nullptr);
        std::fill(block + length, block + fftLength, 0.0);
        fftw_execute(plan);
        benchmark::DoNotOptimize(spectrum[1][0]);
        fftw_destroy_plan(plan);
        fftw_free(spectrum);
        fftw_free(block);
    }
}

void BM_Prepare(benchmark::State &state, const QString *path)
{
    MainWindow window;
    for (auto _ : state) {
        if (!prepare(window, *path)) {
            state.SkipWithError("the target was refused");
            return;
        }
    }
}

// Go's own work on the GUI thread: the record of the run and its target.
void BM_GoDescribesTheRun(benchmark::State &state)
{
    MainWindow window;
    if (!prepare(window, longTarget)) {
        state.SkipWithError("the target was refused");
        return;
    }
    window.readParameters();
    for (auto _ : state)
        benchmark::DoNotOptimize(window.describeRun().target.frames);
}

// Wall time, and the CPU time of all threads (preparation has a worker), which a busy shared
// machine disturbs less.
BENCHMARK(BM_ReadSoxrFftw)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK_CAPTURE(BM_Prepare, long_target, &longTarget)
    ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK_CAPTURE(BM_Prepare, short_target, &shortTarget)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_GoDescribesTheRun)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

// One window preparing the long target: the process's peak and what it keeps, in MiB, with the
// window alone before as the baseline.
int measureMemory(const QString &path)
{
    MainWindow window;
    window.show();
    QApplication::processEvents();
    const double baseline = statusMiB("VmRSS:");
    if (!prepare(window, path))
        return 1;
    QApplication::processEvents();
    std::printf("%.1f %.1f %.1f\n", baseline, statusMiB("VmHWM:"), statusMiB("VmRSS:"));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], memoryOption) == 0)
        return measureMemory(QString::fromLocal8Bit(argv[2]));

    QTemporaryDir dir;
    longTarget = dir.filePath(QStringLiteral("long.wav"));
    shortTarget = dir.filePath(QStringLiteral("short.wav"));
    if (!dir.isValid() || !writeTarget(longTarget, 48000, 2, 5 * 60 * 48000) || !writeTarget(shortTarget, 40000, 1, 10000)) {
        std::fprintf(stderr, "cannot write the targets\n");
        return 1;
    }
    std::printf("Long target: peak and kept memory (MiB), each run a process of its own\n");
    std::printf("%10s %10s %10s %16s %16s\n", "window", "peak", "kept", "peak - window", "kept - window");
    for (int run = 0; run < 3; ++run) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(memoryOption), longTarget});
        child.waitForFinished(-1);
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        if (child.exitCode() != 0 || figures.size() != 3) {
            std::fprintf(stderr, "the memory measurement failed\n");
            return 1;
        }
        const double window = figures[0].toDouble(), peak = figures[1].toDouble(), kept = figures[2].toDouble();
        std::printf("%10.1f %10.1f %10.1f %16.1f %16.1f\n", window, peak, kept, peak - window, kept - window);
    }
    std::fflush(stdout);

    int argCount = argc;
    benchmark::Initialize(&argCount, argv);
    if (benchmark::ReportUnrecognizedArguments(argCount, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fftw_cleanup();
    return 0;
}
