#ifndef CHARTPOINTS_H
#define CHARTPOINTS_H

#include <QPointF>
#include <QVector>

// Series up to this many points are drawn point for point: cheap, and every sample or bin of a
// short target stays a point of its own.
const int exactChartPoints = 16384;

// The points (x[i], y[i]) for i below count (and below both sizes) that a line chart draws. Up to
// exactChartPoints of them come back as they are. Longer series are split into `columns` runs of
// consecutive points (one per pixel column of the chart, at least one); each run gives its lowest
// and its highest point, in their original order, so peaks and troughs stay visible and at most
// 2 * columns points are drawn.
QVector<QPointF> chartPoints(const QVector<double> &x, const QVector<double> &y, int count, int columns);

#endif
