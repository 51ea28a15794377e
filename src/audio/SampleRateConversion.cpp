#include "audio/SampleRateConversion.h"

#include <soxr.h>

#include <cmath>
#include <limits>
#include <new>

namespace {

// A QVector<double> cannot hold more elements than this.
const qint64 maxLength = (qint64(std::numeric_limits<int>::max()) - 64) / qint64(sizeof(double));

QVector<double> failed(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return {};
}

} // namespace

QVector<double> convertSampleRate(const QVector<double> &samples, double fromRate, double toRate,
                                  QString *error)
{
    if (error)
        error->clear();
    const double length = std::round(double(samples.size()) * toRate / fromRate);
    if (length > double(maxLength))
        return failed(error, QStringLiteral("Cannot convert %1 samples from %2 Hz to %3 Hz.")
                                 .arg(samples.size()).arg(fromRate).arg(toRate));
    if (fromRate == toRate)
        return samples;
    if (length == 0.0)
        return {};

    QVector<double> converted;
    try {
        converted.resize(int(length));
    } catch (const std::bad_alloc &) {
        return failed(error, QStringLiteral("Not enough memory to convert the target's sample rate."));
    }
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, SOXR_LINEAR_PHASE);
    // The resampler may end a sample or two short of the rounded length: resize zero-filled, so
    // that tail is silence.
    size_t produced = 0;
    const soxr_error_t problem = soxr_oneshot(fromRate, toRate, 1, samples.constData(), size_t(samples.size()),
                                              nullptr, converted.data(), size_t(length), &produced, &io,
                                              &quality, nullptr);
    if (problem)
        return failed(error, QStringLiteral("Sample rate conversion failed: %1").arg(QString::fromUtf8(problem)));
    return converted;
}
