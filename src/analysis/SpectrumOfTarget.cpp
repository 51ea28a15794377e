#include "analysis/Spectrum.h"
#include "app/MainWindow.h"

void MainWindow::computeAmplitudeSpectrum()
{
    amplitudeSpectrum(targetSignal, parameters.sampleCount, fftLength, parameters.samplingRate,
                      spectrumFrequency, spectrumAmplitude);
}
