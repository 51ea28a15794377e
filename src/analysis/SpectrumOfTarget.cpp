#include "analysis/Spectrum.h"
#include "app/MainWindow.h"

void MainWindow::computeAmplitudeSpectrum()
{
    // A long target's transform takes a second or more: the load already did it off the GUI
    // thread. Any change to the signal or the sizes since then detaches or differs, and counts.
    const bool loadedStillHolds = targetSignal.constData() == loadedSignal.constData()
        && targetSignal.size() == loadedSignal.size() && parameters.sampleCount == loadedSignal.size()
        && fftLength == loadedFftLength && parameters.samplingRate == loadedSamplingRate;
    if (loadedStillHolds && !loadedSignal.isEmpty()) {
        spectrumFrequency = loadedSpectrumFrequency;
        spectrumAmplitude = loadedSpectrumAmplitude;
        return;
    }
    amplitudeSpectrum(targetSignal, parameters.sampleCount, fftLength, parameters.samplingRate,
                      spectrumFrequency, spectrumAmplitude);
}
