#include "audio/Sinusoid.h"

#include <algorithm>
#include <cmath>

namespace {
const double twoPi = 6.283185307179586;
}

void zeroFill(QVector<double> &v)
{
    std::fill(v.begin(), v.end(), 0.0);
}

QVector<double> sinusoidSamples(int count, double frequency, double samplingRate)
{
    QVector<double> v;
    v.reserve(count);
    const double radiansPerStep = frequency * twoPi;
    // A rate typed as text that is not a number arrives as 0: silence rather than NaN samples.
    for (int i = 0; i < count; ++i)
        v.append(samplingRate > 0.0 ? std::sin(radiansPerStep * i / samplingRate) : 0.0);
    return v;
}

double sinusoidSample(qint64 i, double frequency, double samplingRate)
{
    return std::sin(frequency * twoPi * double(i) / samplingRate);
}
