#ifndef SIGNALTOOLS_H
#define SIGNALTOOLS_H

#include <QVector>

// Free signal functions for building stimuli. Signals are one value per sample; sampling rates in
// Hz, durations in seconds, phases in degrees. Functions that warn show a modal "Warning" box
// without a parent (button OK) and then go on; none of them throws or stops.
//
// The random functions draw r from 0 .. 32767 out of the calling thread's qrand generator.

// r % (max - min + 1) + min; does not seed. min > max warns and returns max.
int randomInteger(int min, int max);
// Seeds with the current time in whole seconds on every call, then draws count values in
// min .. max in order; min > max warns and uses min = max; count < 1 gives an empty vector.
QVector<int> randomIntegers(int count, int min, int max);
// Seeds with the current time in whole seconds, then count values r / 32767.0 in 0.0 .. 1.0.
QVector<double> uniformNoise(int count);

// floor(samplingRate * duration) samples (empty when below 1 or beyond an int) of
// amplitude * sin(i * frequency * 2 pi / samplingRate + phase).
QVector<double> pureTone(double samplingRate, double duration, double frequency, double amplitude,
                         double phase);
// Carrier sin(...) times (modulationDepth * cos(...) + 1) times amplitude; with normalise, divided
// by (modulationDepth + 1) so that the peak stays within amplitude for depths 0 .. 1.
QVector<double> amplitudeModulatedTone(double samplingRate, double duration,
                                       double carrierFrequency, double modulationFrequency,
                                       double modulationDepth, double amplitude,
                                       double carrierPhase, double modulationPhase,
                                       bool normalise);

// sqrt(sum of squares / n); NaN for an empty vector. Integer squares are summed exactly.
double rootMeanSquare(const QVector<int> &v);
double rootMeanSquare(const QVector<double> &v);

// Onset and mirrored offset ramps over nPoints samples each; the end samples get weight 0 and
// samples nPoints .. size - 1 - nPoints keep their values. Warns when 2 * nPoints exceeds the
// size (the ramps then overlap and multiply); never touches an index outside v.
// Weights with x = i / nPoints: linear x; cosine (1 - cos(x pi)) / 2; cosine squared: the cosine
// weight applied twice.
void rampLinear(QVector<double> &v, int nPoints);
void rampCosine(QVector<double> &v, int nPoints);
void rampCosineSquared(QVector<double> &v, int nPoints);
QVector<double> rampedLinear(QVector<double> v, int nPoints);
QVector<double> rampedCosine(QVector<double> v, int nPoints);
QVector<double> rampedCosineSquared(QVector<double> v, int nPoints);

#endif
