#include "audio/SampleRateConversion.h"

#include <soxr.h>

#include <algorithm>
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
    soxr_error_t problem = nullptr;
    const soxr_t resampler = soxr_create(fromRate, toRate, 1, &problem, &io, &quality, nullptr);
    // Fed in blocks: given all at once, the resampler buffers a copy of the whole input.
    const size_t block = 65536;
    const size_t inputLength = size_t(samples.size());
    size_t consumed = 0;
    size_t produced = 0;
    while (!problem && produced < size_t(length)) {
        const size_t offered = std::min(block, inputLength - consumed);
        size_t taken = 0;
        size_t given = 0;
        // No input left: a null block drains what the resampler holds.
        problem = soxr_process(resampler, offered ? samples.constData() + consumed : nullptr, offered, &taken,
                               converted.data() + produced, size_t(length) - produced, &given);
        consumed += taken;
        produced += given;
        if (!offered && !given)
            break;
    }
    soxr_delete(resampler);
    // The resampler may end a sample or two short of the rounded length: the tail stays the
    // zeros of the resize, silence.
    if (problem)
        return failed(error, QStringLiteral("Sample rate conversion failed: %1").arg(QString::fromUtf8(problem)));
    return converted;
}
