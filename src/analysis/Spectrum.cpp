#include "analysis/Spectrum.h"

#include "analysis/FFTReal/FFTReal.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const int maxFftLength = 1 << 30;

bool isPowerOfTwo(int value)
{
    return value > 0 && (value & (value - 1)) == 0;
}

}

bool amplitudeSpectrum(const QVector<double> &target, int sampleCount, int fftLength,
                       double samplingRate, QVector<double> &frequency, QVector<double> &amplitude)
{
    frequency.clear();
    amplitude.clear();

    // An empty sound has no FFT length; there is simply nothing to show.
    if (sampleCount == 0 || fftLength == 0)
        return true;

    // The transform asserts its preconditions, so arguments it would reject stop here.
    if (fftLength < 0 || !isPowerOfTwo(fftLength) || fftLength > maxFftLength) {
        qWarning() << "Amplitude spectrum not computed: FFT length" << fftLength
                   << "is not a power of two from 1 to 2^30";
        return false;
    }
    if (sampleCount < 0) {
        qWarning() << "Amplitude spectrum not computed: negative sample count" << sampleCount;
        return false;
    }
    if (!(samplingRate > 0.0) || !std::isfinite(samplingRate)) {
        qWarning() << "Amplitude spectrum not computed: sampling rate" << samplingRate
                   << "is not a positive number";
        return false;
    }

    const int binCount = fftLength / 2;
    const int divisorInt = sampleCount / 2;
    if (binCount == 0)
        return true;
    if (divisorInt == 0) {
        qWarning() << "Amplitude spectrum not computed:" << sampleCount
                   << "samples cannot fill an FFT of length" << fftLength;
        return false;
    }

    FFTReal<double> fft(fftLength);
    std::vector<double> timeBlock(static_cast<std::size_t>(fftLength), 0.0);
    std::vector<double> frequencyBlock(static_cast<std::size_t>(fftLength), 0.0);
    const int copied = std::min(fftLength, target.size());
    std::copy(target.constBegin(), target.constBegin() + copied, timeBlock.begin());

    fft.forward_fft(frequencyBlock.data(), timeBlock.data());

    // The resolution is the reciprocal of the block's duration.
    const double fftDuration = fftLength / samplingRate;
    const double frequencyResolution = 1.0 / fftDuration;
    const double divisor = static_cast<double>(divisorInt);

    frequency.resize(binCount);
    amplitude.resize(binCount);
    for (int k = 0; k < binCount; ++k) {
        const double re = frequencyBlock[static_cast<std::size_t>(k)];
        // Bin 0 is real; f[N/2] holds the Nyquist bin, not an imaginary part of bin 0.
        const double im = k == 0 ? 0.0 : -frequencyBlock[static_cast<std::size_t>(binCount + k)];
        frequency[k] = k * frequencyResolution;
        amplitude[k] = std::sqrt(re * re + im * im) / divisor;
    }
    return true;
}
