#include "audio/SignalTools.h"

#include <QDateTime>
#include <QMessageBox>
#include <QString>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const double twoPi = 6.283185307179586;
const double pi = 3.141592653589793;
const double degreesToRadians = 0.017453292519943295;

void warn(const QString &text)
{
    QMessageBox::warning(nullptr, QStringLiteral("Warning"), text, QMessageBox::Ok);
}

// qrand is the generator the seeding contract is about; on platforms where it yields more than
// 15 bits only the low 15 are used, which keeps r uniform in 0 .. 32767.
int nextRandom()
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    const int r = qrand();
    QT_WARNING_POP
    return r % 32768;
}

void seedFromClock()
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qsrand(uint(QDateTime::currentSecsSinceEpoch()));
    QT_WARNING_POP
}

// In 64 bits, so that the full int range neither overflows nor divides by zero.
int drawInRange(int min, int max)
{
    const qint64 span = qint64(max) - qint64(min) + 1;
    return int(nextRandom() % span + min);
}

int sampleCount(double samplingRate, double duration)
{
    const double n = std::floor(samplingRate * duration);
    if (!(n >= 1.0) || n > double(std::numeric_limits<int>::max()))
        return 0;
    return int(n);
}

double cosineWeight(int i, int nPoints)
{
    const double x = double(i) / nPoints;
    return (1.0 - std::cos(x * pi)) * 0.5;
}

enum class Shape { Linear, Cosine, CosineSquared };

void applyRamps(QVector<double> &v, int nPoints, Shape shape)
{
    const int size = v.size();
    if (2 * qint64(nPoints) > size)
        warn(QStringLiteral("Vector size must be at least twice of nPoints"));
    // Past index size - 1 neither the onset nor the mirrored offset has a sample to weight.
    const int last = std::min(nPoints, size);
    for (int i = 0; i < last; ++i) {
        const int j = size - 1 - i;
        if (shape == Shape::Linear) {
            const double w = double(i) / nPoints;
            v[i] = v[i] * w;
            v[j] = w * v[j];
        } else if (shape == Shape::Cosine) {
            const double w = cosineWeight(i, nPoints);
            v[i] = v[i] * w;
            v[j] = w * v[j];
        } else {
            const double w = cosineWeight(i, nPoints);
            v[i] = v[i] * w * w;
            v[j] = w * (v[j] * w);
        }
    }
}

} // namespace

int randomInteger(int min, int max)
{
    if (min > max) {
        warn(QStringLiteral("min cannot be larger than max"));
        min = max;
    }
    return drawInRange(min, max);
}

QVector<int> randomIntegers(int count, int min, int max)
{
    if (min > max) {
        warn(QStringLiteral("min cannot be larger than max; force min = max"));
        min = max;
    }
    seedFromClock();
    QVector<int> values;
    for (int i = 0; i < count; ++i)
        values.append(drawInRange(min, max));
    return values;
}

QVector<double> uniformNoise(int count)
{
    seedFromClock();
    QVector<double> values;
    for (int i = 0; i < count; ++i)
        values.append(nextRandom() / 32767.0);
    return values;
}

QVector<double> pureTone(double samplingRate, double duration, double frequency, double amplitude,
                         double phase)
{
    const int n = sampleCount(samplingRate, duration);
    QVector<double> y(n);
    const double phaseRadians = phase * degreesToRadians;
    for (int i = 0; i < n; ++i)
        y[i] = amplitude * std::sin((i * (frequency * twoPi)) / samplingRate + phaseRadians);
    return y;
}

QVector<double> amplitudeModulatedTone(double samplingRate, double duration,
                                       double carrierFrequency, double modulationFrequency,
                                       double modulationDepth, double amplitude,
                                       double carrierPhase, double modulationPhase,
                                       bool normalise)
{
    const int n = sampleCount(samplingRate, duration);
    QVector<double> y(n);
    const double carrierRadians = carrierPhase * degreesToRadians;
    const double modulationRadians = modulationPhase * degreesToRadians;
    for (int i = 0; i < n; ++i) {
        const double c = std::sin((carrierFrequency * twoPi) * i / samplingRate + carrierRadians);
        const double m = std::cos((i * (twoPi * modulationFrequency)) / samplingRate + modulationRadians);
        y[i] = (m * modulationDepth + 1.0) * amplitude * c;
        if (normalise)
            y[i] = y[i] * (1.0 / (modulationDepth + 1.0));
    }
    return y;
}

double rootMeanSquare(const QVector<int> &v)
{
    if (v.isEmpty())
        return std::numeric_limits<double>::quiet_NaN();
    // Each square fits 63 bits; the exact sum spills into a long double before it could wrap.
    quint64 exact = 0;
    long double spilled = 0.0L;
    for (int value : v) {
        const quint64 square = quint64(qint64(value) * qint64(value));
        if (exact > std::numeric_limits<quint64>::max() - square) {
            spilled += static_cast<long double>(exact);
            exact = 0;
        }
        exact += square;
    }
    const double sum = double(spilled + static_cast<long double>(exact));
    return std::sqrt(sum / v.size());
}

double rootMeanSquare(const QVector<double> &v)
{
    if (v.isEmpty())
        return std::numeric_limits<double>::quiet_NaN();
    double sum = 0.0;
    for (double value : v)
        sum += value * value;
    return std::sqrt(sum / v.size());
}

void rampLinear(QVector<double> &v, int nPoints)
{
    applyRamps(v, nPoints, Shape::Linear);
}

void rampCosine(QVector<double> &v, int nPoints)
{
    applyRamps(v, nPoints, Shape::Cosine);
}

void rampCosineSquared(QVector<double> &v, int nPoints)
{
    applyRamps(v, nPoints, Shape::CosineSquared);
}

QVector<double> rampedLinear(QVector<double> v, int nPoints)
{
    applyRamps(v, nPoints, Shape::Linear);
    return v;
}

QVector<double> rampedCosine(QVector<double> v, int nPoints)
{
    applyRamps(v, nPoints, Shape::Cosine);
    return v;
}

QVector<double> rampedCosineSquared(QVector<double> v, int nPoints)
{
    applyRamps(v, nPoints, Shape::CosineSquared);
    return v;
}
