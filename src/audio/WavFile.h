#ifndef WAVFILE_H
#define WAVFILE_H

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>

// Reader of PCM WAV files (8, 16 or 24 bits, any channel count) into doubles in -1 .. 1.
// The header fields hold the canonical 44-byte layout, little-endian, in file order; samples
// stay interleaved (L0, R0, L1, R1, ...) and numSamples counts all channels together.
// Failures return false and write one line to standard error; the reader never shows a dialog.
class WavFile
{
public:
    WavFile();

    bool readWavFile(const QByteArray &path);
    void decodeSamples();
    bool writeWavFile(const QByteArray &path) const;
    void printHeader() const;
    void printSamples() const;
    static int headerSize() { return 44; }

    // Why the last read failed, in the words written to standard error; empty after a success.
    QString lastError() const { return errorText; }

    char riffTag[4];
    std::uint32_t riffSize;
    char waveTag[4];
    char fmtTag[4];
    std::uint32_t fmtSize;
    std::uint16_t formatCode;
    std::uint16_t numChannels;
    std::uint32_t sampleRate;
    std::uint32_t byteRate;
    std::uint16_t blockAlign;
    std::uint16_t bitsPerSample;
    char dataTag[4];
    std::uint32_t dataSize;

    QByteArray rawData;
    qint64 bytesRead;
    std::uint32_t numSamples;
    const double *sampleData;
    QVector<double> samples;

private:
    QString errorText;
};

#endif
