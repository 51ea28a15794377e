#ifndef PLAYBACK_H
#define PLAYBACK_H

#include <QByteArray>
#include <QVector>

// The bytes the audio output plays: count samples (never more than the stimulus holds) as
// IEEE 754 single-precision floats, little-endian, 4 bytes each, rounded to nearest, not
// scaled or clipped.
QByteArray float32LittleEndian(const QVector<double> &stimulus, int count);

#endif
