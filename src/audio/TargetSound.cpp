#include "audio/TargetSound.h"

#include "audio/SampleRateConversion.h"
#include "audio/WavFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

TargetSound::TargetSound(const WavFile &wavFile, double samplingRate)
    : sessionRate(samplingRate)
{
    if (!wavFile.lastReadSucceeded()) {
        if (wavFile.lastError().isEmpty()) {
            problemKind = Problem::NotRead;
            problemMessage = QStringLiteral("No target sound file has been read.");
        } else {
            problemKind = Problem::ReadFailed;
            problemMessage = wavFile.lastError();
        }
        return;
    }
    channels = wavFile.numChannels;
    if (channels == 0) {
        problemKind = Problem::NoChannels;
        problemMessage = QStringLiteral("The target sound file has no channels.");
        return;
    }
    fileRate = wavFile.sampleRate;
    if (fileRate < minFileRate || fileRate > maxFileRate) {
        problemKind = Problem::BadSampleRate;
        problemMessage = QStringLiteral("The target sound file's sample rate of %1 Hz is outside %2 to %3 Hz.")
                             .arg(fileRate).arg(minFileRate).arg(maxFileRate);
        return;
    }
    const qint64 frameTotal = wavFile.framesDecoded;
    if (frameTotal == 0) {
        problemKind = Problem::NoFrames;
        problemMessage = QStringLiteral("The target sound file holds no samples.");
        return;
    }

    // A successful read never holds more than a QVector can, so the count fits an int.
    const int frameCountValue = int(frameTotal);
    const int stride = wavFile.decodedChannels();
    const QVector<double> &decoded = wavFile.samples;
    QVector<double> channel;
    if (stride == 1) {
        Q_ASSERT(decoded.size() == frameCountValue);
        channel = decoded; // shared, not copied
    } else {
        Q_ASSERT(qint64(frameCountValue - 1) * stride < decoded.size());
        channel.reserve(frameCountValue);
        for (int i = 0; i < frameCountValue; ++i)
            channel.append(decoded[i * stride]);
    }

    QString error;
    converted = convertSampleRate(channel, double(fileRate), samplingRate, &error);
    if (!error.isEmpty()) {
        converted.clear();
        problemKind = Problem::ConversionFailed;
        problemMessage = error;
        return;
    }
    problemKind = Problem::None;
    frames = frameCountValue;
    samples = converted.size();
    duration = double(frameTotal) / double(fileRate);
    resampled = double(fileRate) != samplingRate;
    bits = wavFile.bitsPerSample;
    isFloat = wavFile.formatCode == 3;
    for (double value : qAsConst(converted))
        peakValue = std::max(peakValue, std::abs(value));
}

QString TargetSound::description() const
{
    if (!isUsable())
        return QString();
    QString text = QStringLiteral("%1 Hz, %2-bit %3, ").arg(fileRate).arg(bits).arg(isFloat ? "float" : "integer");
    text += channels == 1 ? QStringLiteral("1 channel") : QStringLiteral("%1 channels (first used)").arg(channels);
    if (resampled)
        text += QStringLiteral(", resampled from %1 Hz to %2 Hz").arg(fileRate).arg(sessionRate);
    if (exceedsFullScale())
        text += QStringLiteral(". Warning: samples reach %1, beyond \u00b11; the sound card will clip them")
                    .arg(QString::number(peakValue, 'f', 3));
    return text;
}

QVector<double> TargetSound::takeSignal()
{
    return std::move(converted);
}
