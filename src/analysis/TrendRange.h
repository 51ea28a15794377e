#ifndef TRENDRANGE_H
#define TRENDRANGE_H

#include <QVector>

// The vertical range (minimum, maximum) of the response trend for the matched frequencies (Hz,
// positive): 0 to 4 with none, their own span when they differ, and 5 % either side of the value
// when they are all one value, so that the points lie inside the axis rather than on a collapsed one.
QVector<double> trendAxisRange(const QVector<double> &frequencies);

#endif
