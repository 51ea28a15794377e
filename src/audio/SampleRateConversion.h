#ifndef SAMPLERATECONVERSION_H
#define SAMPLERATECONVERSION_H

#include <QString>
#include <QVector>

// Converts one channel of samples from fromRate to toRate (both in Hz, above 0 and finite) with a
// very-high-quality, linear-phase resampler, so that a tone keeps its pitch and level and is not
// shifted in time.
//
// The result holds round(samples.size() * toRate / fromRate) values. Equal rates give an exact
// copy of samples. Values are not clipped: a full-scale input may come out slightly beyond +-1.
//
// On failure (a result too long to hold, or the resampler's own error) the result is empty and
// *error, when given, says why in one line; after a success *error is empty.
QVector<double> convertSampleRate(const QVector<double> &samples, double fromRate, double toRate,
                                  QString *error = nullptr);

#endif
