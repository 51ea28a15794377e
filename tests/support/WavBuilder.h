#ifndef WAVBUILDER_H
#define WAVBUILDER_H

#include <QByteArray>
#include <QString>
#include <QVector>
#include <optional>

// The bytes of a WAV file for tests: "RIFF", "WAVE", a 16-byte "fmt " chunk (16-bit mono linear PCM
// at 40000 Hz unless set), chunks before data, the "data" chunk (empty unless set), chunks after
// data; truncateTo(size) then keeps the first size bytes. Tags are four bytes, written as given.
// Sizes, byte rate and block align follow the content; fmtSize() and dataSize() change only the
// declared size. Chunks other than data get their pad byte when odd-sized.
class WavBuilder
{
public:
    WavBuilder &riffTag(const QByteArray &tag) { riff = tag; return *this; }
    WavBuilder &waveTag(const QByteArray &tag) { wave = tag; return *this; }
    WavBuilder &fmtTag(const QByteArray &tag) { fmtId = tag; return *this; }
    WavBuilder &fmtSize(quint32 size) { fmtSizeValue = size; return *this; }
    WavBuilder &formatCode(quint16 code) { format = code; return *this; }
    WavBuilder &channels(quint16 count) { channelCount = count; return *this; }
    WavBuilder &sampleRate(quint32 hz) { rate = hz; return *this; }
    WavBuilder &bitsPerSample(quint16 count) { bits = count; return *this; }
    // Appended to the 16-byte format body (two zero bytes make the common 18-byte chunk).
    WavBuilder &fmtExtra(const QByteArray &bytes) { extraFmt = bytes; return *this; }
    // Format code 0xFFFE with a 40-byte format chunk carrying the given sub-format GUID (integer PCM by default).
    WavBuilder &extensible(const QByteArray &subFormat = QByteArray::fromHex("0100000000001000800000aa00389b71"));
    WavBuilder &chunkBeforeData(const QByteArray &id, const QByteArray &body) { before += chunk(id, body); return *this; }
    WavBuilder &chunkAfterData(const QByteArray &id, const QByteArray &body) { after += chunk(id, body); return *this; }
    WavBuilder &dataSize(quint32 size) { dataSizeValue = size; return *this; }
    WavBuilder &data(const QByteArray &bytes) { sampleBytes = bytes; return *this; }
    WavBuilder &truncateTo(int size) { truncation = size; return *this; }

    QByteArray bytes() const;
    bool writeTo(const QString &path) const; // replaces any existing file

    static QByteArray floatSubFormat() { return QByteArray::fromHex("0300000000001000800000aa00389b71"); }

    // Little-endian 16-bit samples: value * 32768 rounded and clamped to -32768 .. 32767, so a
    // multiple of 1/32768 comes back from the reader exactly.
    static QByteArray pcm16(const QVector<double> &values);
    // Canonical 16-bit files; stereo pads the shorter channel with zeros.
    static bool writeMono16(const QString &path, const QVector<double> &samples, quint32 sampleRate)
    {
        return WavBuilder().sampleRate(sampleRate).data(pcm16(samples)).writeTo(path);
    }
    static bool writeStereo16(const QString &path, const QVector<double> &left, const QVector<double> &right, quint32 sampleRate);

private:
    static QByteArray chunk(const QByteArray &id, const QByteArray &body);

    QByteArray riff = "RIFF", wave = "WAVE", fmtId = "fmt ";
    quint16 format = 1, channelCount = 1, bits = 16;
    quint32 rate = 40000;
    QByteArray extraFmt, sampleBytes, before, after;
    std::optional<quint32> fmtSizeValue, dataSizeValue;
    int truncation = -1;
};

#endif
