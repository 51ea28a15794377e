#include "analysis/Spectrum.h"

#include "analysis/FFTReal/FFTReal.h"

#include <algorithm>
#include <cmath>
#include <vector>

void amplitudeSpectrum(const QVector<double> &target, int sampleCount, int fftLength,
                       double samplingRate, QVector<double> &frequency, QVector<double> &amplitude)
{
    frequency.clear();
    amplitude.clear();
    const int binCount = fftLength / 2;
    // An empty sound or a single sample has no bins; there is simply nothing to show.
    if (binCount == 0)
        return;

    FFTReal<double> fft(fftLength);
    std::vector<double> timeBlock(static_cast<std::size_t>(fftLength), 0.0);
    std::vector<double> frequencyBlock(static_cast<std::size_t>(fftLength), 0.0);
    const int copied = std::min(fftLength, target.size());
    std::copy(target.constBegin(), target.constBegin() + copied, timeBlock.begin());

    fft.forward_fft(frequencyBlock.data(), timeBlock.data());

    // The resolution is the reciprocal of the block's duration.
    const double fftDuration = fftLength / samplingRate;
    const double frequencyResolution = 1.0 / fftDuration;
    const double divisor = static_cast<double>(sampleCount / 2);

    for (int k = 0; k < binCount; ++k) {
        const double re = frequencyBlock[static_cast<std::size_t>(k)];
        // Bin 0 is real; f[N/2] holds the Nyquist bin, not an imaginary part of bin 0.
        const double im = k == 0 ? 0.0 : -frequencyBlock[static_cast<std::size_t>(binCount + k)];
        frequency.append(k * frequencyResolution);
        amplitude.append(std::sqrt(re * re + im * im) / divisor);
    }
}
