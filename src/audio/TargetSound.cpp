#include "audio/TargetSound.h"

#include "audio/WavFile.h"

#include <cstdint>

TargetSound::TargetSound(const WavFile &wavFile)
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
    const int channels = wavFile.numChannels;
    if (channels == 0) {
        problemKind = Problem::NoChannels;
        problemMessage = QStringLiteral("The target sound file has no channels.");
        return;
    }
    const std::uint32_t frameTotal = wavFile.numSamples / std::uint32_t(channels);
    if (frameTotal == 0) {
        problemKind = Problem::NoFrames;
        problemMessage = QStringLiteral("The target sound file holds no samples.");
        return;
    }

    problemKind = Problem::None;
    // A successful read never holds more than a QVector can, so the count fits an int.
    frames = int(frameTotal);
    duration = wavFile.sampleRate == 0 ? 0.0 : double(frameTotal) / double(wavFile.sampleRate);
    channel.fill(0.0, frames);
    const QVector<double> &decoded = wavFile.samples;
    for (int i = 0; i < frames; ++i) {
        const qint64 index = qint64(i) * channels;
        if (index >= decoded.size())
            break;
        channel[i] = decoded[int(index)];
    }
}
