#ifndef SINUSOID_H
#define SINUSOID_H

#include <QVector>

// Sets every element of v to 0.0; the size stays.
void zeroFill(QVector<double> &v);

// count samples of a full-scale sine, phase 0 at the first sample:
// sin((frequency * 2 pi) * i / samplingRate), frequency and samplingRate in Hz.
// count < 1 gives an empty vector; a samplingRate that is not positive gives count zeros (silence).
QVector<double> sinusoidSamples(int count, double frequency, double samplingRate);

// Sample i of that sine, for a positive samplingRate: the value sinusoidSamples() puts at i.
double sinusoidSample(qint64 i, double frequency, double samplingRate);

#endif
