// Fuzzes WavFile::readWavFile and the target's channel handling and rate conversion
// (TargetSound) with whole files.
// Besides crashes and sanitizer reports, a finding is any broken promise of the two classes:
// a failed read leaving samples behind, a successful one whose fields disagree with its samples
// or hold more bytes than the file, a canonical rewrite that reads back differently, or a target
// that is not the first channel of what was decoded.
//
// The reader takes a path, so each input goes through a file of this process in the temp folder.

#include "audio/TargetSound.h"
#include "audio/WavFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <streambuf>

namespace {

#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "broken promise at %s:%d: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                        \
        }                                                                                        \
    } while (false)

// Swallows the reader's one-line diagnostics, which would otherwise flood the fuzzer's log.
class NullBuffer : public std::streambuf
{
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
};

QByteArray inputPath;
QByteArray rewrittenPath;

void removeFiles()
{
    QFile::remove(QString::fromUtf8(inputPath));
    QFile::remove(QString::fromUtf8(rewrittenPath));
}

bool writeFile(const QByteArray &path, const std::uint8_t *data, std::size_t size)
{
    QFile file(QString::fromUtf8(path));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size);
}

void checkFailedRead(const WavFile &wav)
{
    FUZZ_CHECK(!wav.lastError().isEmpty());
    FUZZ_CHECK(wav.samples.isEmpty());
    FUZZ_CHECK(wav.rawData.isEmpty());
    FUZZ_CHECK(wav.numSamples == 0);
    FUZZ_CHECK(wav.bytesRead == 0);
    FUZZ_CHECK(wav.sampleData == nullptr);
}

void checkGoodRead(const WavFile &wav, std::size_t fileSize)
{
    FUZZ_CHECK(wav.lastError().isEmpty());
    const bool isFloat = wav.formatCode == 3;
    FUZZ_CHECK(isFloat ? wav.bitsPerSample == 32 || wav.bitsPerSample == 64
                       : wav.formatCode == 1 && wav.bitsPerSample % 8 == 0 && wav.bitsPerSample >= 8
                             && wav.bitsPerSample <= 32);
    FUZZ_CHECK(wav.fmtSize == 16);
    FUZZ_CHECK(qint64(wav.dataSize) == wav.rawData.size());
    // Sample bytes begin at byte 20 at the earliest ("RIFF", size, "WAVE", data chunk header).
    FUZZ_CHECK(std::size_t(wav.rawData.size()) + 20 <= fileSize);
    FUZZ_CHECK(wav.numSamples == wav.dataSize / (wav.bitsPerSample / 8u));
    FUZZ_CHECK(wav.samples.size() == int(wav.numSamples));
    FUZZ_CHECK(wav.sampleData == (wav.samples.isEmpty() ? nullptr : wav.samples.constData()));
    FUZZ_CHECK(wav.riffSize == wav.dataSize + 36u);
    for (double value : wav.samples)
        FUZZ_CHECK(isFloat ? std::isfinite(value) : value >= -1.0 && value < 1.0);
}

// The fields of a good read describe a canonical file; writing it and reading it back must give
// the same header and the same samples.
void checkRewrite(const WavFile &wav)
{
    FUZZ_CHECK(wav.writeWavFile(rewrittenPath));
    WavFile again;
    FUZZ_CHECK(again.readWavFile(rewrittenPath));
    FUZZ_CHECK(again.numChannels == wav.numChannels);
    FUZZ_CHECK(again.sampleRate == wav.sampleRate);
    FUZZ_CHECK(again.bitsPerSample == wav.bitsPerSample);
    FUZZ_CHECK(again.formatCode == wav.formatCode);
    FUZZ_CHECK(again.dataSize == wav.dataSize);
    FUZZ_CHECK(again.rawData == wav.rawData);
    FUZZ_CHECK(again.samples == wav.samples);
}

// round(frames * toRate / fromRate), the length a conversion gives; -1 without a file rate.
qint64 convertedLength(qint64 frames, double fromRate, double toRate)
{
    return fromRate > 0.0 ? qint64(std::round(double(frames) * toRate / fromRate)) : -1;
}

void checkTarget(const WavFile &wav, bool readOk)
{
    const std::uint32_t channels = wav.numChannels;
    const std::uint32_t frames = channels == 0 ? 0 : wav.numSamples / channels;
    // Converted at the session's rate while the result stays small (the fuzzer's malloc limit is
    // 1 MB); otherwise at the file's own rate, which must come through unconverted.
    const qint64 length = convertedLength(frames, wav.sampleRate, 40000.0);
    const double sessionRate = length >= 0 && length <= 32768 ? 40000.0 : double(wav.sampleRate);
    const TargetSound target(wav, sessionRate);
    const bool rateOk = wav.sampleRate >= TargetSound::minFileRate && wav.sampleRate <= TargetSound::maxFileRate;
    const bool usable = readOk && frames > 0 && rateOk;
    FUZZ_CHECK(target.isUsable() == usable);
    FUZZ_CHECK(target.problemText().isEmpty() == usable);
    const QVector<double> signal = target.signal();
    if (!usable) {
        FUZZ_CHECK(target.frameCount() == 0);
        FUZZ_CHECK(target.sampleCount() == 0);
        FUZZ_CHECK(target.durationSeconds() == 0.0);
        FUZZ_CHECK(signal.isEmpty());
        return;
    }
    FUZZ_CHECK(target.frameCount() == int(frames));
    FUZZ_CHECK(target.durationSeconds() == double(frames) / wav.sampleRate);
    FUZZ_CHECK(target.sampleCount() == convertedLength(frames, wav.sampleRate, sessionRate));
    FUZZ_CHECK(signal.size() == target.sampleCount());
    // At the file's own rate the target is its first channel, bit for bit.
    if (wav.sampleRate == sessionRate) {
        for (int i = 0; i < signal.size(); ++i)
            FUZZ_CHECK(signal[i] == wav.samples[int(i * channels)]);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static NullBuffer nullBuffer;
    std::cerr.rdbuf(&nullBuffer);
    const QString stem = QDir::temp().filePath(
        QStringLiteral("tonvara-fuzz-%1").arg(QCoreApplication::applicationPid()));
    inputPath = (stem + QStringLiteral(".wav")).toUtf8();
    rewrittenPath = (stem + QStringLiteral("-rewritten.wav")).toUtf8();
    std::atexit(removeFiles);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FUZZ_CHECK(writeFile(inputPath, data, size));
    WavFile wav;
    const bool ok = wav.readWavFile(inputPath);
    FUZZ_CHECK(ok == wav.lastReadSucceeded());
    if (ok) {
        checkGoodRead(wav, size);
        checkRewrite(wav);
    } else {
        checkFailedRead(wav);
    }
    checkTarget(wav, ok);
    return 0;
}
