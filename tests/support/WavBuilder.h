#ifndef WAVBUILDER_H
#define WAVBUILDER_H

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

// Builds the bytes of a WAV file for tests. By default a canonical file: "RIFF", "WAVE", a
// 16-byte "fmt " chunk of 16-bit mono linear PCM at 40000 Hz, then an empty "data" chunk.
// Every field can be overridden; sizes, byte rate and block align follow the content unless set.
// Layout: RIFF header, fmt chunk, chunks added before data, data chunk, chunks added after data;
// then truncateTo() cuts the whole. Chunks other than data get their pad byte when odd-sized.
//
//   WavBuilder().bitsPerSample(24).channels(2).extensible().data(bytes).writeTo(path);
class WavBuilder
{
public:
    WavBuilder();

    WavBuilder &riffTag(const QByteArray &tag);
    WavBuilder &riffSize(quint32 size);
    WavBuilder &waveTag(const QByteArray &tag);
    WavBuilder &fmtTag(const QByteArray &tag);
    // Declared size of the format chunk; the body written stays as built.
    WavBuilder &fmtSize(quint32 size);
    WavBuilder &formatCode(quint16 code);
    WavBuilder &channels(quint16 count);
    WavBuilder &sampleRate(quint32 hz);
    WavBuilder &byteRate(quint32 bytesPerSecond);
    WavBuilder &blockAlign(quint16 bytesPerFrame);
    WavBuilder &bitsPerSample(quint16 bits);
    // Bytes appended to the 16-byte format body (two zero bytes make the common 18-byte chunk).
    WavBuilder &fmtExtra(const QByteArray &bytes);
    // Format code 0xFFFE with a 40-byte format chunk carrying the given sub-format GUID.
    WavBuilder &extensible(const QByteArray &subFormat = pcmSubFormat());
    WavBuilder &chunkBeforeData(const QByteArray &id, const QByteArray &body);
    WavBuilder &chunkAfterData(const QByteArray &id, const QByteArray &body);
    WavBuilder &dataTag(const QByteArray &tag);
    // Declared size of the data chunk; the bytes written stay as given to data().
    WavBuilder &dataSize(quint32 size);
    WavBuilder &data(const QByteArray &sampleBytes);
    // Keep only the first `size` bytes of the file.
    WavBuilder &truncateTo(int size);

    QByteArray bytes() const;
    // Replaces any existing file.
    bool writeTo(const QString &path) const;

    static QByteArray pcmSubFormat();
    static QByteArray floatSubFormat();

    // Little-endian 16-bit samples: value * 32768 rounded and clamped to -32768 .. 32767, so a
    // multiple of 1/32768 comes back from the reader exactly.
    static QByteArray pcm16(const QVector<double> &values);
    // A canonical 16-bit file of the given samples; stereo takes frames from both vectors (the
    // shorter one is padded with zeros).
    static bool writeMono16(const QString &path, const QVector<double> &samples, quint32 sampleRate);
    static bool writeStereo16(const QString &path, const QVector<double> &left,
                              const QVector<double> &right, quint32 sampleRate);

private:
    struct Chunk {
        QByteArray id;
        QByteArray body;
    };
    static QByteArray chunkBytes(const Chunk &chunk);

    QByteArray riff = "RIFF";
    QByteArray wave = "WAVE";
    QByteArray fmtId = "fmt ";
    QByteArray dataId = "data";
    quint16 format = 1;
    quint16 channelCount = 1;
    quint32 rate = 40000;
    quint16 bits = 16;
    QByteArray extraFmt;
    QByteArray sampleBytes;
    QVector<Chunk> before;
    QVector<Chunk> after;
    bool hasRiffSize = false;
    quint32 riffSizeValue = 0;
    bool hasFmtSize = false;
    quint32 fmtSizeValue = 0;
    bool hasByteRate = false;
    quint32 byteRateValue = 0;
    bool hasBlockAlign = false;
    quint16 blockAlignValue = 0;
    bool hasDataSize = false;
    quint32 dataSizeValue = 0;
    int truncation = -1;
};

#endif
