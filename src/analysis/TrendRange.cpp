#include "analysis/TrendRange.h"

#include <algorithm>
#include <cmath>

QVector<double> trendAxisRange(const QVector<double> &frequencies)
{
    if (frequencies.isEmpty())
        return {0.0, 4.0};
    const auto extremes = std::minmax_element(frequencies.cbegin(), frequencies.cend());
    const double low = *extremes.first;
    const double high = *extremes.second;
    if (low < high)
        return {low, high};
    const double margin = 0.05 * std::abs(low);
    return {low - margin, high + margin};
}
