#include "audio/WavFile.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>
#include <future>
#include <limits>
#include <new>
#include <string>
#include <utility>

namespace {

const std::uint16_t formatPcm = 1;
const std::uint16_t formatFloat = 3;
const std::uint16_t formatExtensible = 0xFFFE;
const int canonicalFmtSize = 16;
const int extensibleFmtSize = 40;
const int subFormatOffset = 24;
// A QVector<double> cannot hold more elements than this.
const qint64 maxSamples = (qint64(std::numeric_limits<int>::max()) - 64) / qint64(sizeof(double));

// The sub-format GUID of an extensible format chunk, as stored in the file, is the format code
// in its first two bytes followed by these 14 bytes.
const unsigned char subFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                         0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool isIntegerDepth(std::uint16_t bits)
{
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

bool isFloatDepth(std::uint16_t bits)
{
    return bits == 32 || bits == 64;
}

std::uint16_t le16(const char *p)
{
    return qFromLittleEndian<quint16>(p);
}

std::uint32_t le32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}

void putLe16(char *p, std::uint16_t v)
{
    qToLittleEndian<quint16>(v, p);
}

void putLe32(char *p, std::uint32_t v)
{
    qToLittleEndian<quint32>(v, p);
}

void writeLine(std::ostream &out, const QString &line)
{
    out << line.toUtf8().constData() << std::endl;
}

} // namespace

WavFile::WavFile()
{
    clear();
}

WavFile::WavFile(WavFile &&other) noexcept
{
    clear();
    *this = std::move(other);
}

WavFile &WavFile::operator=(WavFile &&other) noexcept
{
    if (this == &other)
        return *this;
    std::memcpy(riffTag, other.riffTag, 4);
    std::memcpy(waveTag, other.waveTag, 4);
    std::memcpy(fmtTag, other.fmtTag, 4);
    std::memcpy(dataTag, other.dataTag, 4);
    riffSize = other.riffSize;
    fmtSize = other.fmtSize;
    formatCode = other.formatCode;
    numChannels = other.numChannels;
    sampleRate = other.sampleRate;
    byteRate = other.byteRate;
    blockAlign = other.blockAlign;
    bitsPerSample = other.bitsPerSample;
    dataSize = other.dataSize;
    rawData = std::move(other.rawData);
    bytesRead = other.bytesRead;
    numSamples = other.numSamples;
    samples = std::move(other.samples);
    framesDecoded = other.framesDecoded;
    fileSize = other.fileSize;
    sha256 = std::move(other.sha256);
    errorText = std::move(other.errorText);
    readOk = other.readOk;
    firstChannelOnly = other.firstChannelOnly;
    refreshSampleData();
    other.clear();
    return *this;
}

void WavFile::clear()
{
    std::memset(riffTag, 0, sizeof riffTag);
    std::memset(waveTag, 0, sizeof waveTag);
    std::memset(fmtTag, 0, sizeof fmtTag);
    std::memset(dataTag, 0, sizeof dataTag);
    riffSize = 0;
    fmtSize = 0;
    formatCode = 0;
    numChannels = 0;
    sampleRate = 0;
    byteRate = 0;
    blockAlign = 0;
    bitsPerSample = 0;
    discardData();
    fileSize = 0;
    sha256.clear();
    errorText.clear();
    readOk = false;
    firstChannelOnly = false;
}

void WavFile::discardData()
{
    rawData = QByteArray();
    bytesRead = 0;
    dataSize = 0;
    numSamples = 0;
    samples = QVector<double>();
    framesDecoded = 0;
    sampleData = nullptr;
}

void WavFile::releaseSamples()
{
    rawData = QByteArray();
    samples = QVector<double>();
    sampleData = nullptr;
}

bool WavFile::fail(const QString &message)
{
    readOk = false;
    errorText = message;
    writeLine(std::cerr, message);
    return false;
}

void WavFile::refreshSampleData()
{
    sampleData = samples.isEmpty() ? nullptr : samples.constData();
}

bool WavFile::readWavFile(const QByteArray &path, Channels decoded)
{
    clear();
    firstChannelOnly = decoded == Channels::First;
    const QString name = QString::fromUtf8(path);

    QFile disk(name);
    if (!disk.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("Unable to open WAV file: ") + name);
    QByteArray whole;
    try {
        whole = disk.readAll();
    } catch (const std::bad_alloc &) {
        return fail(QStringLiteral("Not enough memory for the WAV data: ") + name);
    }
    disk.close();
    // A long file's hash runs beside the decoding; a short one's costs less than starting a thread.
    std::future<QByteArray> hash = std::async(whole.size() >= (1 << 20) ? std::launch::async : std::launch::deferred,
                                              [&whole] { return QCryptographicHash::hash(whole, QCryptographicHash::Sha256); });
    QBuffer file(&whole);
    file.open(QIODevice::ReadOnly);

    const QByteArray head = file.read(headerSize());
    if (head.isEmpty())
        return fail(QStringLiteral("Header size is zero. ") + name);
    if (head.size() < headerSize())
        return fail(QStringLiteral("Header is incomplete (%1 of %2 bytes): ")
                        .arg(head.size()).arg(headerSize()) + name);

    std::memcpy(riffTag, head.constData(), 4);
    riffSize = le32(head.constData() + 4);
    std::memcpy(waveTag, head.constData() + 8, 4);
    if (std::memcmp(waveTag, "WAVE", 4) != 0)
        return fail(QStringLiteral("Not a WAV file: ") + name);

    // Chunk sizes come from the file and may be anything: every offset is checked against the
    // real size, and only the first bytes of the format chunk are ever read.
    const qint64 available = std::max(file.size(), qint64(head.size()));
    bool haveFmt = false;
    bool haveData = false;
    QByteArray fmt;
    qint64 dataOffset = 0;
    std::uint32_t declaredDataSize = 0;
    qint64 offset = 12;
    while (file.seek(offset)) {
        const QByteArray chunk = file.read(8);
        if (chunk.size() < 8)
            break;
        const std::uint32_t size = le32(chunk.constData() + 4);
        const qint64 body = offset + 8;
        if (!haveFmt && chunk.startsWith("fmt ")) {
            haveFmt = true;
            fmtSize = size;
            fmt = file.read(std::min<qint64>(size, extensibleFmtSize));
        } else if (!haveData && chunk.startsWith("data")) {
            haveData = true;
            dataOffset = body;
            declaredDataSize = size;
            if (haveFmt)
                break;
        }
        offset = body + qint64(size) + (size & 1u);
    }

    if (!haveFmt)
        return fail(QStringLiteral("No format chunk in WAV file: ") + name);
    std::memcpy(fmtTag, "fmt ", 4);
    if (fmt.size() < canonicalFmtSize)
        return fail(QStringLiteral("Format chunk is too short: ") + name);
    formatCode = le16(fmt.constData());
    numChannels = le16(fmt.constData() + 2);
    sampleRate = le32(fmt.constData() + 4);
    byteRate = le32(fmt.constData() + 8);
    blockAlign = le16(fmt.constData() + 12);
    bitsPerSample = le16(fmt.constData() + 14);

    std::uint16_t sampleFormat = formatCode;
    if (formatCode == formatExtensible) {
        if (fmt.size() < extensibleFmtSize)
            return fail(QStringLiteral("Format chunk is too short: ") + name);
        const char *subFormat = fmt.constData() + subFormatOffset;
        sampleFormat = std::memcmp(subFormat + 2, subFormatTail, sizeof subFormatTail) == 0 ? le16(subFormat) : 0;
    }
    if (sampleFormat != formatPcm && sampleFormat != formatFloat)
        return fail(QStringLiteral("Not a PCM (linear quantitation) or IEEE float WAV file: ") + name);
    if (sampleFormat == formatPcm && !isIntegerDepth(bitsPerSample))
        return fail(QStringLiteral("Not a 8-bit, 16-bit, 24-bit or 32-bit PCM WAV file: ") + name);
    if (sampleFormat == formatFloat && !isFloatDepth(bitsPerSample))
        return fail(QStringLiteral("Not a 32-bit or 64-bit float WAV file: ") + name);
    // The decoder tells the two apart by the canonical code.
    formatCode = sampleFormat;

    if (!haveData)
        return fail(QStringLiteral("No data chunk in WAV file: ") + name);
    std::memcpy(dataTag, "data", 4);

    const int bytesPerSample = bitsPerSample / 8;
    const qint64 present = available - dataOffset;
    const qint64 wanted = std::min<qint64>(declaredDataSize, present);
    if (wanted / bytesPerSample > maxSamples)
        return fail(QStringLiteral("WAV data is too large to hold in memory: ") + name);
    try {
        bytesRead = std::max<qint64>(0, wanted);
        std::uint32_t kept = std::uint32_t(bytesRead);
        if (bytesRead < qint64(declaredDataSize)) {
            kept -= kept % std::uint32_t(bytesPerSample);
            writeLine(std::cerr, QStringLiteral("WAV data is shorter than its header says (only %1 of %2 bytes present): ")
                                     .arg(bytesRead).arg(declaredDataSize) + name);
        }
        dataSize = kept;
        numSamples = dataSize / std::uint32_t(bytesPerSample);
        decode(whole.constData() + std::min<qint64>(dataOffset, whole.size()), kept);
    } catch (const std::bad_alloc &) {
        discardData();
        return fail(QStringLiteral("Not enough memory for the WAV data: ") + name);
    }

    // Float files may hold NaN or infinity, which no chart, spectrum or sound card can take.
    if (std::any_of(samples.cbegin(), samples.cend(), [](double v) { return !std::isfinite(v); })) {
        discardData();
        return fail(QStringLiteral("WAV file holds samples that are not numbers (NaN or infinity): ") + name);
    }

    // The fields now describe the canonical 44-byte file that writeWavFile would produce.
    fmtSize = canonicalFmtSize;
    riffSize = dataSize > 0xFFFFFFFFu - 36u ? 0xFFFFFFFFu : dataSize + 36u;

    fileSize = whole.size();
    sha256 = QString::fromLatin1(hash.get().toHex());
    // Once hashed, the bytes read become rawData in place: a long file is never copied.
    rawData = std::move(whole);
    rawData.remove(0, int(std::min<qint64>(dataOffset, rawData.size())));
    rawData.truncate(int(dataSize));
    readOk = true;
    return true;
}

void WavFile::decodeSamples()
{
    decode(rawData.constData(), rawData.size());
}

void WavFile::decode(const char *data, qint64 size)
{
    samples.clear();
    framesDecoded = 0;
    const bool isFloat = formatCode == formatFloat;
    if (isFloat ? !isFloatDepth(bitsPerSample) : !isIntegerDepth(bitsPerSample)) {
        std::cerr << "Not recognizable bits per sample. " << std::endl;
        refreshSampleData();
        return;
    }

    const int bytesPerSample = bitsPerSample / 8;
    const qint64 available = std::min<qint64>(numSamples, size / bytesPerSample);
    const int channels = std::max<int>(numChannels, 1);
    const int count = int(firstChannelOnly ? available / channels : available);
    const qint64 stride = qint64(firstChannelOnly ? channels : 1) * bytesPerSample;
    samples.reserve(count);
    const char *p = data;
    const auto decodeEach = [&](auto decode) {
        for (int i = 0; i < count; ++i, p += stride)
            samples.append(decode(p));
    };
    if (isFloat && bitsPerSample == 32) {
        decodeEach([](const char *q) {
            const std::uint32_t bits = le32(q);
            float value;
            std::memcpy(&value, &bits, sizeof value);
            return double(value);
        });
    } else if (isFloat) {
        decodeEach([](const char *q) {
            const std::uint64_t bits = qFromLittleEndian<quint64>(q);
            double value;
            std::memcpy(&value, &bits, sizeof value);
            return value;
        });
    } else if (bitsPerSample == 8) {
        decodeEach([](const char *q) { return (int(static_cast<unsigned char>(*q)) - 128) * 0.0078125; });
    } else if (bitsPerSample == 16) {
        decodeEach([](const char *q) { return std::int16_t(le16(q)) * 3.0517578125e-05; });
    } else if (bitsPerSample == 24) {
        decodeEach([](const char *q) {
            const auto *b = reinterpret_cast<const unsigned char *>(q);
            const std::uint32_t v = std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16);
            const double x = v * 1.1920928955078125e-07;
            return v >= 0x800000u ? x - 2.0 : x;
        });
    } else {
        decodeEach([](const char *q) { return std::int32_t(le32(q)) * 4.656612873077392578125e-10; });
    }
    framesDecoded = firstChannelOnly ? count : count / channels;
    refreshSampleData();
}

bool WavFile::writeWavFile(const QByteArray &path) const
{
    const QString name = QString::fromUtf8(path);
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        writeLine(std::cerr, QStringLiteral("Unable to write wave file: ") + name);
        return false;
    }

    char header[44];
    std::memcpy(header, riffTag, 4);
    putLe32(header + 4, riffSize);
    std::memcpy(header + 8, waveTag, 4);
    std::memcpy(header + 12, fmtTag, 4);
    putLe32(header + 16, fmtSize);
    putLe16(header + 20, formatCode);
    putLe16(header + 22, numChannels);
    putLe32(header + 24, sampleRate);
    putLe32(header + 28, byteRate);
    putLe16(header + 32, blockAlign);
    putLe16(header + 34, bitsPerSample);
    std::memcpy(header + 36, dataTag, 4);
    putLe32(header + 40, dataSize);

    const qint64 dataBytes = std::min<qint64>(dataSize, rawData.size());
    const bool written = file.write(header, sizeof header) == qint64(sizeof header)
        && file.write(rawData.constData(), dataBytes) == dataBytes && file.flush();
    file.close();
    if (!written) {
        writeLine(std::cerr, QStringLiteral("Unable to write wave file: ") + name);
        return false;
    }
    return true;
}

void WavFile::printHeader() const
{
    std::cout << "RIFF header                : " << std::string(riffTag, 4) << '\n'
              << "WAVE header                : " << std::string(waveTag, 4) << '\n'
              << "FMT                        : " << std::string(fmtTag, 4) << '\n'
              << "Data size                  : " << riffSize << '\n'
              << "Sampling Rate              : " << sampleRate << '\n'
              << "Number of bits per sample  : " << bitsPerSample << '\n'
              << "Number of channels         : " << numChannels << '\n'
              << "Number of bytes per second : " << byteRate << '\n'
              << "Data length (bytes)        : " << dataSize << '\n'
              << "Audio Format               : " << formatCode << '\n'
              << "Block align                : " << blockAlign << '\n'
              << "Data string                : " << std::string(dataTag, 4) << std::endl;
}

void WavFile::printSamples() const
{
    for (double value : samples)
        std::cout << value << '\n';
    std::cout.flush();
}
