#include "analysis/ChartPoints.h"

#include <algorithm>

QVector<QPointF> chartPoints(const QVector<double> &x, const QVector<double> &y, int count, int columns)
{
    const int n = std::min({count, x.size(), y.size()});
    QVector<QPointF> points;
    if (n <= exactChartPoints) {
        for (int i = 0; i < n; ++i)
            points.append(QPointF(x[i], y[i]));
        return points;
    }
    const int runs = std::max(1, columns);
    for (int c = 0; c < runs; ++c) {
        const int begin = int(qint64(n) * c / runs);
        const int end = int(qint64(n) * (c + 1) / runs);
        if (begin == end)
            continue;
        const auto extremes = std::minmax_element(y.cbegin() + begin, y.cbegin() + end);
        const int low = int(extremes.first - y.cbegin());
        const int high = int(extremes.second - y.cbegin());
        points.append(QPointF(x[std::min(low, high)], y[std::min(low, high)]));
        if (low != high)
            points.append(QPointF(x[std::max(low, high)], y[std::max(low, high)]));
    }
    return points;
}
