#include "support/WavBuilder.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace {

QByteArray le16(quint16 v)
{
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray tag(const QByteArray &text)
{
    return text.leftJustified(4, ' ', true);
}

} // namespace

WavBuilder::WavBuilder() = default;

WavBuilder &WavBuilder::riffTag(const QByteArray &t) { riff = t; return *this; }
WavBuilder &WavBuilder::riffSize(quint32 size) { hasRiffSize = true; riffSizeValue = size; return *this; }
WavBuilder &WavBuilder::waveTag(const QByteArray &t) { wave = t; return *this; }
WavBuilder &WavBuilder::fmtTag(const QByteArray &t) { fmtId = t; return *this; }
WavBuilder &WavBuilder::fmtSize(quint32 size) { hasFmtSize = true; fmtSizeValue = size; return *this; }
WavBuilder &WavBuilder::formatCode(quint16 code) { format = code; return *this; }
WavBuilder &WavBuilder::channels(quint16 count) { channelCount = count; return *this; }
WavBuilder &WavBuilder::sampleRate(quint32 hz) { rate = hz; return *this; }
WavBuilder &WavBuilder::byteRate(quint32 v) { hasByteRate = true; byteRateValue = v; return *this; }
WavBuilder &WavBuilder::blockAlign(quint16 v) { hasBlockAlign = true; blockAlignValue = v; return *this; }
WavBuilder &WavBuilder::bitsPerSample(quint16 b) { bits = b; return *this; }
WavBuilder &WavBuilder::fmtExtra(const QByteArray &b) { extraFmt = b; return *this; }
WavBuilder &WavBuilder::dataTag(const QByteArray &t) { dataId = t; return *this; }
WavBuilder &WavBuilder::dataSize(quint32 size) { hasDataSize = true; dataSizeValue = size; return *this; }
WavBuilder &WavBuilder::data(const QByteArray &b) { sampleBytes = b; return *this; }
WavBuilder &WavBuilder::truncateTo(int size) { truncation = size; return *this; }

WavBuilder &WavBuilder::extensible(const QByteArray &subFormat)
{
    format = 0xFFFE;
    // cbSize 22, valid bits filled in by bytes(), channel mask 0 (no speaker positions).
    extraFmt = le16(22) + QByteArray(2, '\0') + le32(0) + subFormat.leftJustified(16, '\0', true);
    return *this;
}

WavBuilder &WavBuilder::chunkBeforeData(const QByteArray &id, const QByteArray &body)
{
    before.append({id, body});
    return *this;
}

WavBuilder &WavBuilder::chunkAfterData(const QByteArray &id, const QByteArray &body)
{
    after.append({id, body});
    return *this;
}

QByteArray WavBuilder::chunkBytes(const Chunk &chunk)
{
    QByteArray out = tag(chunk.id) + le32(quint32(chunk.body.size())) + chunk.body;
    if (chunk.body.size() % 2)
        out.append('\0');
    return out;
}

QByteArray WavBuilder::bytes() const
{
    const quint16 align = hasBlockAlign ? blockAlignValue : quint16(channelCount * (bits / 8));
    QByteArray fmtBody = le16(format) + le16(channelCount) + le32(rate)
        + le32(hasByteRate ? byteRateValue : rate * align) + le16(align) + le16(bits);
    QByteArray extra = extraFmt;
    if (format == 0xFFFE && extra.size() >= 4)
        extra.replace(2, 2, le16(bits));
    fmtBody += extra;

    QByteArray body = tag(wave);
    body += tag(fmtId) + le32(hasFmtSize ? fmtSizeValue : quint32(fmtBody.size())) + fmtBody;
    for (const Chunk &chunk : before)
        body += chunkBytes(chunk);
    body += tag(dataId) + le32(hasDataSize ? dataSizeValue : quint32(sampleBytes.size())) + sampleBytes;
    for (const Chunk &chunk : after)
        body += chunkBytes(chunk);

    QByteArray file = tag(riff) + le32(hasRiffSize ? riffSizeValue : quint32(body.size())) + body;
    if (truncation >= 0)
        file.truncate(truncation);
    return file;
}

bool WavBuilder::writeTo(const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray content = bytes();
    return file.write(content) == content.size() && file.flush();
}

QByteArray WavBuilder::pcmSubFormat()
{
    return QByteArray::fromHex("0100000000001000800000aa00389b71");
}

QByteArray WavBuilder::floatSubFormat()
{
    return QByteArray::fromHex("0300000000001000800000aa00389b71");
}

QByteArray WavBuilder::pcm16(const QVector<double> &values)
{
    QByteArray out;
    out.reserve(values.size() * 2);
    for (double v : values) {
        const double scaled = std::round(v * 32768.0);
        const auto sample = qint16(std::clamp(scaled, -32768.0, 32767.0));
        out += le16(quint16(sample));
    }
    return out;
}

bool WavBuilder::writeMono16(const QString &path, const QVector<double> &samples, quint32 sampleRate)
{
    return WavBuilder().sampleRate(sampleRate).data(pcm16(samples)).writeTo(path);
}

bool WavBuilder::writeStereo16(const QString &path, const QVector<double> &left,
                               const QVector<double> &right, quint32 sampleRate)
{
    const int frames = std::max(left.size(), right.size());
    QVector<double> interleaved(2 * frames, 0.0);
    for (int i = 0; i < frames; ++i) {
        if (i < left.size())
            interleaved[2 * i] = left[i];
        if (i < right.size())
            interleaved[2 * i + 1] = right[i];
    }
    return WavBuilder().channels(2).sampleRate(sampleRate).data(pcm16(interleaved)).writeTo(path);
}
