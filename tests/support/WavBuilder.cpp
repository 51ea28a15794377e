#include "support/WavBuilder.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cmath>

template <typename T>
static QByteArray le(T value)
{
    QByteArray bytes(sizeof(T), '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

WavBuilder &WavBuilder::extensible(const QByteArray &subFormat)
{
    format = 0xFFFE;
    // cbSize 22, valid bits filled in by bytes(), channel mask 0 (no speaker positions).
    extraFmt = le<quint16>(22) + QByteArray(2, '\0') + le<quint32>(0) + subFormat.leftJustified(16, '\0', true);
    return *this;
}

QByteArray WavBuilder::chunk(const QByteArray &id, const QByteArray &body)
{
    return id + le(quint32(body.size())) + body + QByteArray(body.size() % 2, '\0');
}

QByteArray WavBuilder::bytes() const
{
    const quint16 align = quint16(channelCount * (bits / 8));
    const QByteArray extra = format == 0xFFFE && extraFmt.size() >= 4 ? QByteArray(extraFmt).replace(2, 2, le(bits)) : extraFmt;
    const QByteArray fmtBody = le(format) + le(channelCount) + le(rate) + le(quint32(rate * align))
        + le(align) + le(bits) + extra;
    const QByteArray body = wave + fmtId + le(fmtSizeValue.value_or(quint32(fmtBody.size()))) + fmtBody
        + before + "data" + le(dataSizeValue.value_or(quint32(sampleBytes.size()))) + sampleBytes + after;
    const QByteArray file = riff + le(quint32(body.size())) + body;
    return truncation >= 0 ? file.left(truncation) : file;
}

bool WavBuilder::writeTo(const QString &path) const
{
    QFile file(path);
    const QByteArray content = bytes();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size() && file.flush();
}

QByteArray WavBuilder::pcm16(const QVector<double> &values)
{
    QByteArray out;
    for (double value : values)
        out += le(qint16(std::clamp(std::round(value * 32768.0), -32768.0, 32767.0)));
    return out;
}

bool WavBuilder::writeStereo16(const QString &path, const QVector<double> &left, const QVector<double> &right, quint32 sampleRate)
{
    QVector<double> frames;
    for (int i = 0; i < std::max(left.size(), right.size()); ++i)
        frames << left.value(i) << right.value(i);
    return WavBuilder().channels(2).sampleRate(sampleRate).data(pcm16(frames)).writeTo(path);
}
