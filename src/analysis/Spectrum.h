#ifndef SPECTRUM_H
#define SPECTRUM_H

#include <QVector>

// Linear amplitude spectrum of a target sound, without window, averaging or decibels.
//
// target        the samples, full scale 1.0; the first fftLength of them are read and the rest
//               of the block is zero-padded. target itself is not changed.
// sampleCount   the number of samples of the sound, 2 or more when N is; the divisor of every
//               bin is sampleCount div 2 (half the signal length, not half the FFT length), so
//               a sinusoid of peak amplitude A that falls on a bin reads A there.
// fftLength     N: 0, or a power of two up to 2^30 (the window takes the smallest one not below
//               sampleCount).
// samplingRate  in Hz, above 0.
//
// On return frequency and amplitude hold N div 2 entries each, bin k at k / (N / samplingRate)
// Hz; the Nyquist bin is not included. Bin 0 is the sum of the samples over the divisor; its
// amplitude is not halved. An empty target (N = 0) and N = 1 give no bins and empty vectors,
// without a transform.
void amplitudeSpectrum(const QVector<double> &target, int sampleCount, int fftLength,
                       double samplingRate, QVector<double> &frequency, QVector<double> &amplitude);

// The first keptBins bins of the same spectrum (a long target shows a tenth of its bins), and
// the range of all N div 2 of them.
struct SpectrumPart
{
    QVector<double> frequency;
    QVector<double> amplitude;
    double minimum = 0.0; // over every bin, kept or not; both 0.0 without bins
    double maximum = 0.0;
};

// As amplitudeSpectrum, keeping keptBins bins (0 .. N div 2). target comes back with the same
// values; while the transform runs it lives only in the transform's zero-padded block, so that a
// long target held by the caller alone is not held twice at the peak.
SpectrumPart amplitudeSpectrumPart(QVector<double> &target, int sampleCount, int fftLength,
                                   double samplingRate, int keptBins);

#endif
