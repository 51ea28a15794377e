#ifndef WAVFILE_H
#define WAVFILE_H

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>
#include <cstdint>

// Reader of WAV files into doubles, any channel count: integer PCM of 8, 16, 24 or 32 bits,
// scaled into -1 .. 1 (by 2^7, 2^15, 2^23, 2^31), and IEEE float of 32 or 64 bits, taken as
// stored (so it may reach beyond +-1). Samples that are NaN or infinite are refused.
//
// The reader walks the RIFF chunks from byte 12 to find "fmt " and "data" in either order, so
// files with LIST or JUNK chunks, longer format chunks or the extensible format (0xFFFE with a
// PCM or float sub-format) load as well as canonical 44-byte-header files. It never allocates
// more than the file holds.
//
// After a successful read the 13 header fields describe the file as a canonical 44-byte header:
// tags as found, fmtSize 16, formatCode 1 for integer PCM or 3 for IEEE float (extensible files
// included), riffSize 36 + dataSize, and dataSize the sample bytes actually held in rawData.
// samples then holds numSamples values, channels interleaved (L0, R0, L1, R1, ...); numSamples
// counts all channels together.
//
// A failed read returns false, writes one line to standard error and leaves no sample of an
// earlier file behind: rawData and samples are empty, numSamples and bytesRead are 0, and the
// header fields hold only what was parsed from the failing file (zero where nothing was).
// The reader never shows a dialog.
class WavFile
{
public:
    WavFile();
    // Takes over other's header, data and samples; other is left as after construction.
    WavFile(WavFile &&other) noexcept;
    WavFile &operator=(WavFile &&other) noexcept;

    // Which samples the decoder keeps: every channel interleaved, or the first channel only
    // (one value per whole frame), which is all a long multi-channel target needs.
    enum class Channels { All, First };

    // path: UTF-8 bytes of the file's path. The file is read once, whole: fileSize and sha256
    // describe those bytes, whatever happens to the file afterwards.
    bool readWavFile(const QByteArray &path, Channels decoded = Channels::All);
    // Rebuilds samples from rawData by formatCode (3: float, otherwise integer) and
    // bitsPerSample; decodes at most numSamples whole samples and never reads past rawData.
    void decodeSamples();
    // Frees rawData and samples; the header and what was found of the file stay.
    void releaseSamples();
    // Channels that samples interleaves: 1 when only the first was decoded.
    int decodedChannels() const { return firstChannelOnly ? 1 : numChannels; }
    // Writes the 44 header bytes as they stand, then min(dataSize, rawData size) bytes of rawData.
    // An existing file is replaced. False, with one line on standard error, if the file cannot be
    // opened or fully written.
    bool writeWavFile(const QByteArray &path) const;
    // Twelve "label: value" lines on standard output (fmtSize is not printed).
    void printHeader() const;
    // One sample per line on standard output, six significant digits.
    void printSamples() const;
    static int headerSize() { return 44; }

    // Why the last read failed, as the line written to standard error (without its end of line);
    // empty after a successful read and before the first one.
    QString lastError() const { return errorText; }
    // True only when the most recent readWavFile returned true.
    bool lastReadSucceeded() const { return readOk; }

    char riffTag[4];
    std::uint32_t riffSize;
    char waveTag[4];
    char fmtTag[4];
    std::uint32_t fmtSize;
    std::uint16_t formatCode;
    std::uint16_t numChannels;
    std::uint32_t sampleRate;      // Hz, per channel
    std::uint32_t byteRate;        // bytes per second
    std::uint16_t blockAlign;      // bytes per frame, all channels
    std::uint16_t bitsPerSample;
    char dataTag[4];
    std::uint32_t dataSize;        // sample bytes

    QByteArray rawData;            // the sample bytes of the last read, dataSize of them
    qint64 bytesRead;              // sample bytes the last data read delivered
    std::uint32_t numSamples;      // dataSize / (bitsPerSample / 8), all channels together
    const double *sampleData;      // first element of samples, null when samples is empty
    QVector<double> samples;
    qint64 framesDecoded;          // whole frames among the samples decoded
    qint64 fileSize;               // bytes of the whole file as read
    QString sha256;                // lower-case hex SHA-256 of those bytes

private:
    // sampleData points into this object's own samples, so a copy would point into another's.
    Q_DISABLE_COPY(WavFile)

    void clear();
    // Drops the data and everything said of its size, keeping the header fields.
    void discardData();
    bool fail(const QString &message);
    void refreshSampleData();
    // decodeSamples over size bytes at data.
    void decode(const char *data, qint64 size);

    QString errorText;
    bool readOk;
    bool firstChannelOnly;
};

#endif
