// Times FFTReal<double>::forward_fft against FFTW's real-to-complex double transform (plans made
// with FFTW_ESTIMATE and with FFTW_MEASURE, outside the timed loop) and prints the time ratios.

#include "analysis/FFTReal/FFTReal.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

const int REPETITIONS = 10;

void fillRandom(double *data, int length)
{
    std::mt19937 generator(12345u);
    std::uniform_real_distribution<double> distribution(-1.0, 1.0);
    for (int i = 0; i < length; ++i)
        data[i] = distribution(generator);
}

void BM_FFTReal(benchmark::State &state)
{
    const int length = int(state.range(0));
    const FFTReal<double> fft(length);
    std::vector<double> input(std::size_t(length), 0.0);
    std::vector<double> output(std::size_t(length), 0.0);
    fillRandom(input.data(), length);
    for (auto _ : state) {
        fft.forward_fft(output.data(), input.data());
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
}

fftw_plan makePlan(int length, double *input, fftw_complex *output, unsigned flags)
{
    if (flags != FFTW_ESTIMATE)
        return fftw_plan_dft_r2c_1d(length, input, output, flags);
    // FFTW_ESTIMATE would take a measured plan of the same length from the accumulated wisdom;
    // it plans without it, and the wisdom is restored for the measured plans.
    char *wisdom = fftw_export_wisdom_to_string();
    fftw_forget_wisdom();
    const fftw_plan plan = fftw_plan_dft_r2c_1d(length, input, output, flags);
    fftw_import_wisdom_from_string(wisdom);
    std::free(wisdom);
    return plan;
}

void runFftw(benchmark::State &state, unsigned flags)
{
    const int length = int(state.range(0));
    double *input = fftw_alloc_real(std::size_t(length));
    fftw_complex *output = fftw_alloc_complex(std::size_t(length / 2 + 1));
    // FFTW_MEASURE overwrites the arrays while planning, so the data go in afterwards.
    fftw_plan plan = makePlan(length, input, output, flags);
    fillRandom(input, length);
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(output);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(output);
    fftw_free(input);
}

void BM_FFTW_ESTIMATE(benchmark::State &state) { runFftw(state, FFTW_ESTIMATE); }
void BM_FFTW_MEASURE(benchmark::State &state) { runFftw(state, FFTW_MEASURE); }

void lengths(benchmark::internal::Benchmark *benchmark)
{
    for (int bits : {10, 14, 16, 20})
        benchmark->Arg(1 << bits);
    benchmark->Unit(benchmark::kMicrosecond)
        ->Repetitions(REPETITIONS)
        ->ReportAggregatesOnly(true);
}

BENCHMARK(BM_FFTReal)->Apply(lengths);
BENCHMARK(BM_FFTW_ESTIMATE)->Apply(lengths);
BENCHMARK(BM_FFTW_MEASURE)->Apply(lengths);

// Console output as usual, plus the median CPU time of every (function, length) for the table:
// CPU time leaves out the time the benchmark spends waiting for a shared core.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Aggregate || run.aggregate_name != "median")
                continue;
            medians[run.run_name.function_name][std::stoi(run.run_name.args)] = run.GetAdjustedCPUTime();
        }
    }

    void printRatios() const
    {
        const auto fftReal = medians.find("BM_FFTReal");
        const auto estimate = medians.find("BM_FFTW_ESTIMATE");
        const auto measure = medians.find("BM_FFTW_MEASURE");
        if (fftReal == medians.end() || estimate == medians.end() || measure == medians.end()) {
            std::printf("\nRatios need all three benchmark families; run without a filter.\n");
            return;
        }
        std::printf("\nMedian CPU time (us) and ratio FFTReal / FFTW\n");
        std::printf("%9s %12s %12s %12s %10s %10s\n", "N", "FFTReal", "ESTIMATE", "MEASURE",
                    "/ESTIMATE", "/MEASURE");
        for (const auto &entry : fftReal->second) {
            const int length = entry.first;
            const auto e = estimate->second.find(length);
            const auto m = measure->second.find(length);
            if (e == estimate->second.end() || m == measure->second.end())
                continue;
            std::printf("%9d %12.2f %12.2f %12.2f %10.2f %10.2f\n", length, entry.second, e->second,
                        m->second, entry.second / e->second, entry.second / m->second);
        }
    }

private:
    std::map<std::string, std::map<int, double>> medians;
};

} // namespace

int main(int argc, char **argv)
{
    // Repetitions of the three families alternate at random, so that a slow spell of a shared
    // machine does not fall on one side of a ratio only. A later flag on the command line wins.
    std::vector<char *> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int argCount = int(args.size());
    benchmark::Initialize(&argCount, args.data());
    if (benchmark::ReportUnrecognizedArguments(argCount, args.data()))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    fftw_cleanup();
    return 0;
}
