#include "analysis/Spectrum.h"

#include "analysis/FFTReal/FFTReal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

struct FreeBlock
{
    void operator()(double *block) const { std::free(block); }
};
using Block = std::unique_ptr<double[], FreeBlock>;

// calloc leaves a large block's pages untouched until written: the zero padding costs no memory.
Block zeroBlock(int length)
{
    Block block(static_cast<double *>(std::calloc(std::size_t(length), sizeof(double))));
    if (!block)
        throw std::bad_alloc();
    return block;
}

} // namespace

void amplitudeSpectrum(const QVector<double> &target, int sampleCount, int fftLength,
                       double samplingRate, QVector<double> &frequency, QVector<double> &amplitude)
{
    QVector<double> shared = target;
    SpectrumPart part = amplitudeSpectrumPart(shared, sampleCount, fftLength, samplingRate, fftLength / 2);
    frequency = std::move(part.frequency);
    amplitude = std::move(part.amplitude);
}

SpectrumPart amplitudeSpectrumPart(QVector<double> &target, int sampleCount, int fftLength,
                                   double samplingRate, int keptBins)
{
    const int binCount = fftLength / 2;
    Q_ASSERT(keptBins >= 0 && keptBins <= binCount);
    Q_ASSERT(samplingRate > 0.0);
    SpectrumPart part;
    // An empty sound or a single sample has no bins; there is simply nothing to show.
    if (binCount == 0)
        return part;

    const int length = target.size();
    const int copied = std::min(fftLength, length);
    Block timeBlock = zeroBlock(fftLength);
    std::memcpy(timeBlock.get(), target.constData(), std::size_t(copied) * sizeof(double));
    // A vector shared with another holder would come back as a second copy.
    const bool heldInBlock = copied == length && target.isDetached();
    if (heldInBlock)
        target = QVector<double>();

    Block frequencyBlock(static_cast<double *>(std::malloc(std::size_t(fftLength) * sizeof(double))));
    if (!frequencyBlock)
        throw std::bad_alloc();
    {
        const FFTReal<double> fft(fftLength);
        fft.forward_fft(frequencyBlock.get(), timeBlock.get());
    }
    const double *f = frequencyBlock.get();

    // The resolution is the reciprocal of the block's duration.
    const double fftDuration = fftLength / samplingRate;
    const double frequencyResolution = 1.0 / fftDuration;
    const double divisor = static_cast<double>(sampleCount / 2);

    // Bin 0 is real; f[N/2] holds the Nyquist bin, not an imaginary part of bin 0.
    const auto power = [f, binCount](int k) {
        const double re = f[k];
        const double im = k == 0 ? 0.0 : -f[binCount + k];
        return re * re + im * im;
    };
    part.frequency.reserve(keptBins);
    part.amplitude.reserve(keptBins);
    for (int k = 0; k < keptBins; ++k) {
        part.frequency.append(k * frequencyResolution);
        part.amplitude.append(std::sqrt(power(k)) / divisor);
    }
    // The root and the division keep the order of the powers: only the extremes need them.
    double lowest = power(0), highest = lowest;
    for (int k = 1; k < binCount; ++k) {
        const double p = power(k);
        lowest = std::min(lowest, p);
        highest = std::max(highest, p);
    }
    part.minimum = std::sqrt(lowest) / divisor;
    part.maximum = std::sqrt(highest) / divisor;

    frequencyBlock.reset();
    if (heldInBlock) {
        target.resize(length);
        std::memcpy(target.data(), timeBlock.get(), std::size_t(length) * sizeof(double));
    }
    return part;
}
