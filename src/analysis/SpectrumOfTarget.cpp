#include "analysis/Spectrum.h"
#include "app/MainWindow.h"

#include <algorithm>

void MainWindow::computeAmplitudeSpectrum()
{
    // A long target's transform takes a second or more: the load already did it off the GUI
    // thread. Any change to the signal or the sizes since then detaches or differs, and counts.
    const bool loadedStillHolds = targetSignal.constData() == loadedSignal.constData()
        && targetSignal.size() == loadedSignal.size() && parameters.sampleCount == loadedSignal.size()
        && fftLength == loadedFftLength && parameters.samplingRate == loadedSamplingRate;
    const SpectrumPart part = loadedStillHolds && !loadedSignal.isEmpty()
        ? loadedSpectrum
        : amplitudeSpectrumPart(targetSignal, parameters.sampleCount, fftLength, parameters.samplingRate,
                                std::min(parameters.spectrumBinCount, fftLength / 2));
    spectrumFrequency = part.frequency;
    spectrumAmplitude = part.amplitude;
    spectrumRange = {part.minimum, part.maximum};
}
