#include "audio/WavFile.h"
#include "support/WavBuilder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <iostream>
#include <limits>
#include <sstream>

namespace {

// Collects what the code under test writes to a standard stream while it is alive.
class StreamCapture
{
public:
    explicit StreamCapture(std::ostream &target) : stream(target), previous(target.rdbuf(buffer.rdbuf())) {}
    ~StreamCapture() { stream.rdbuf(previous); }
    QString text() const { return QString::fromStdString(buffer.str()); }

private:
    std::ostream &stream;
    std::ostringstream buffer;
    std::streambuf *previous;
};

// n distinct 16-bit samples: sample k is (k + 1) / 128.
QByteArray ramp16(int n)
{
    QVector<double> values;
    for (int k = 0; k < n; ++k)
        values << (k + 1) / 128.0;
    return WavBuilder::pcm16(values);
}

template <typename T>
QByteArray littleEndian(const QVector<T> &values)
{
    QByteArray bytes(values.size() * int(sizeof(T)), '\0');
    for (int i = 0; i < values.size(); ++i)
        qToLittleEndian(values[i], bytes.data() + i * int(sizeof(T)));
    return bytes;
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace

class TestWavFile : public QObject
{
    Q_OBJECT
private slots:
    void decodesExtremes_data();
    void decodesExtremes();
    void readsOrRefuses_data();
    void readsOrRefuses();
    void refusesDataTooLargeToHold();
    void writeReplacesFileAndRoundTrips_data();
    void writeReplacesFileAndRoundTrips();
    void writeToDirectoryFails();
    void printsHeaderAndSamples();

private:
    QTemporaryDir dir;
};

void TestWavFile::decodesExtremes_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("bits");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QVector<double>>("expected");

    QTest::newRow("8-bit") << 1 << 8 << QByteArray::fromHex("8000ff") << QVector<double>{0.0, -1.0, 0.9921875};
    QTest::newRow("16-bit") << 1 << 16 << QByteArray::fromHex("0080ff7f0000ffff")
                            << QVector<double>{-1.0, 0.999969482421875, 0.0, -3.0517578125e-05};
    QTest::newRow("24-bit") << 1 << 24 << QByteArray::fromHex("000080ffff7fffffff")
                            << QVector<double>{-1.0, 0.99999988079071044921875, -1.1920928955078125e-07};
    QTest::newRow("32-bit") << 1 << 32 << QByteArray::fromHex("00000080ffffff7fffffffff00000040")
                            << QVector<double>{-1.0, 1.0 - 1.0 / 2147483648.0, -1.0 / 2147483648.0, 0.5};
    QTest::newRow("float 32") << 3 << 32 << littleEndian<float>({-1.0f, 0.1f, 1.5f, -2.25f})
                              << QVector<double>{-1.0, double(0.1f), 1.5, -2.25};
    QTest::newRow("float 64") << 3 << 64 << littleEndian<double>({0.1, -1e-300, 3.0})
                              << QVector<double>{0.1, -1e-300, 3.0};
}

void TestWavFile::decodesExtremes()
{
    QFETCH(int, format);
    QFETCH(int, bits);
    QFETCH(QByteArray, data);
    QFETCH(QVector<double>, expected);

    const QString path = dir.filePath("extremes.wav");
    QVERIFY(WavBuilder().formatCode(quint16(format)).bitsPerSample(quint16(bits)).data(data).writeTo(path));
    WavFile wav;
    QVERIFY2(wav.readWavFile(path.toUtf8()), qPrintable(wav.lastError()));
    QCOMPARE(wav.samples, expected);
    QCOMPARE(int(wav.numSamples), expected.size());
}

void TestWavFile::readsOrRefuses_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("format"); // the canonical code after the read; 0: refused
    QTest::addColumn<QString>("message"); // the line on standard error, before the path
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("first");

    const auto wav = [] { return WavBuilder().data(ramp16(8)); };
    const auto floats = [](int bits) {
        return WavBuilder().formatCode(3).bitsPerSample(quint16(bits))
            .data(bits == 32 ? littleEndian<float>({1.5f, -0.5f}) : littleEndian<double>({1.5, -0.5}));
    };
    const double r = 1 / 128.0;
    const QString notPcm("Not a PCM (linear quantitation) or IEEE float WAV file: ");
    const QString badBits("Not a 8-bit, 16-bit, 24-bit or 32-bit PCM WAV file: ");
    const QString badFloat("Not a 32-bit or 64-bit float WAV file: ");
    const QString tooShort("Format chunk is too short: ");
    const QString noData("No data chunk in WAV file: ");
    const QString shortData("WAV data is shorter than its header says (only %1 of %2 bytes present): ");
    const QByteArray fmtBody = QByteArray::fromHex("01000100409c0000803801000200" "1000");

    QTest::newRow("empty") << QByteArray() << 0 << "Header size is zero. " << 0 << 0.0;
    for (int cut : {4, 20, 43})
        QTest::addRow("cut at %d", cut) << wav().truncateTo(cut).bytes() << 0
                                        << QString("Header is incomplete (%1 of 44 bytes): ").arg(cut) << 0 << 0.0;
    QTest::newRow("WAVE missing") << wav().waveTag("AVI ").bytes() << 0 << "Not a WAV file: " << 0 << 0.0;
    QTest::newRow("RIFF not checked") << wav().riffTag("JUNK").bytes() << 1 << "" << 8 << r;
    QTest::newRow("format 0") << wav().formatCode(0).bytes() << 0 << notPcm << 0 << 0.0;
    QTest::newRow("float 32 beyond 1") << floats(32).bytes() << 3 << "" << 2 << 1.5;
    QTest::newRow("float 16 bits") << floats(32).bitsPerSample(16).bytes() << 0 << badFloat << 0 << 0.0;
    QTest::newRow("float NaN") << WavBuilder().formatCode(3).bitsPerSample(32)
                                      .data(littleEndian<float>({0.5f, std::numeric_limits<float>::quiet_NaN()})).bytes()
                               << 0 << "WAV file holds samples that are not numbers (NaN or infinity): " << 0 << 0.0;
    QTest::newRow("float infinity") << WavBuilder().formatCode(3).bitsPerSample(64)
                                           .data(littleEndian<double>({-std::numeric_limits<double>::infinity()})).bytes()
                                    << 0 << "WAV file holds samples that are not numbers (NaN or infinity): " << 0 << 0.0;
    QTest::newRow("0xFFFE float") << floats(32).extensible(WavBuilder::floatSubFormat()).bytes() << 3 << "" << 2 << 1.5;
    QTest::newRow("0xFFFE PCM") << wav().extensible().bytes() << 1 << "" << 8 << r;
    QTest::newRow("0xFFFE PCM 32 bits") << WavBuilder().bitsPerSample(32).extensible().data(QByteArray::fromHex("00000040")).bytes()
                                        << 1 << "" << 1 << 0.5;
    QTest::newRow("0xFFFE other GUID") << wav().extensible(QByteArray::fromHex("0100000000001000800000aa00389b72")).bytes()
                                       << 0 << notPcm << 0 << 0.0;
    QTest::newRow("0xFFFE in 16 bytes") << wav().formatCode(0xFFFE).bytes() << 0 << tooShort << 0 << 0.0;
    for (int bits : {0, 12, 64})
        QTest::addRow("bits %d", bits) << wav().bitsPerSample(quint16(bits)).bytes() << 0 << badBits << 0 << 0.0;
    QTest::newRow("fmt size 0") << wav().fmtSize(0).bytes() << 0 << tooShort << 0 << 0.0;
    QTest::newRow("no fmt") << wav().fmtTag("junk").bytes() << 0 << "No format chunk in WAV file: " << 0 << 0.0;
    QTest::newRow("data before fmt") << wav().fmtTag("junk").chunkAfterData("fmt ", fmtBody).bytes() << 1 << "" << 8 << r;
    QTest::newRow("no data") << wav().dataTag("dat ").bytes() << 0 << noData << 0 << 0.0;
    QTest::newRow("chunk past the end")
        << wav().chunkBeforeData("JUNK", "jjjj").bytes().replace(40, 4, QByteArray::fromHex("f0ffffff")) << 0
        << noData << 0 << 0.0;
    QTest::newRow("0 channels") << wav().channels(0).bytes() << 1 << "" << 8 << r;
    QTest::newRow("LIST before data")
        << wav().chunkBeforeData("LIST", QByteArray("INFOISFT\x0e\0\0\0Lavf58.76.100\0\0", 26)).bytes() << 1 << ""
        << 8 << r;
    QTest::newRow("18-byte fmt") << wav().fmtExtra(QByteArray(2, '\0')).bytes() << 1 << "" << 8 << r;
    QTest::newRow("odd chunk, pad byte") << wav().chunkBeforeData("JUNK", "abc").bytes() << 1 << "" << 8 << r;
    QTest::newRow("dataSize 0") << WavBuilder().bytes() << 1 << "" << 0 << 0.0;
    QTest::newRow("dataSize 0x7FFFFFFF") << WavBuilder().dataSize(0x7FFFFFFF).data(ramp16(50)).bytes() << 1
                                         << shortData.arg(100).arg(2147483647u) << 50 << r;
    QTest::newRow("dataSize 0xFFFFFFFF") << WavBuilder().dataSize(0xFFFFFFFF).data(ramp16(50)).bytes() << 1
                                         << shortData.arg(100).arg(4294967295u) << 50 << r;
    QTest::newRow("24-bit, 11 bytes")
        << WavBuilder().bitsPerSample(24).data(QByteArray::fromHex("000040000080ffff7f1122")).bytes() << 1 << ""
        << 3 << 0.5;
    QTest::newRow("a directory") << QByteArray() << 0 << "Unable to open WAV file: " << 0 << 0.0;
    QTest::newRow("a missing path") << QByteArray() << 0 << "Unable to open WAV file: " << 0 << 0.0;
}

// Each file is read after a good one, so nothing of that one may be left behind.
void TestWavFile::readsOrRefuses()
{
    QFETCH(QByteArray, content);
    QFETCH(int, format);
    QFETCH(QString, message);
    QFETCH(int, count);
    QFETCH(double, first);

    const QByteArray tag = QTest::currentDataTag();
    QString path = dir.filePath("malformed.wav");
    if (tag == "a directory")
        path = dir.path();
    else if (tag == "a missing path")
        path = dir.filePath("absent.wav");
    else
        QVERIFY(writeBytes(path, content));
    const QString good = dir.filePath("good.wav");
    QVERIFY(WavBuilder::writeStereo16(good, {0.5, 0.25, 0.75}, {-0.5, -0.25, -0.75}, 44100));

    WavFile wav;
    QVERIFY(wav.readWavFile(good.toUtf8()));
    StreamCapture capture(std::cerr);
    const bool ok = format != 0;
    QCOMPARE(wav.readWavFile(path.toUtf8()), ok);
    QCOMPARE(capture.text(), message.isEmpty() ? QString() : message + path + "\n");
    QCOMPARE(wav.lastError(), ok ? QString() : message + path);
    QCOMPARE(wav.lastReadSucceeded(), ok);
    QCOMPARE(int(wav.numSamples), count);
    QCOMPARE(wav.samples.size(), count);
    QCOMPARE(wav.sampleData, count ? wav.samples.constData() : nullptr);
    QCOMPARE(qint64(wav.dataSize), qint64(wav.rawData.size()));
    QVERIFY(wav.rawData.size() <= content.size());
    if (count)
        QCOMPARE(wav.samples[0], first);
    if (ok)
        QCOMPARE(int(wav.formatCode), format);
    else
        QCOMPARE(wav.bytesRead, qint64(0));
}

// 300 MB of 8-bit samples would need 2.4 GB of doubles: refused before any allocation.
void TestWavFile::refusesDataTooLargeToHold()
{
    const QString path = dir.filePath("huge.wav");
    QVERIFY(WavBuilder().bitsPerSample(8).dataSize(0xFFFFFFFF).writeTo(path));
    if (!QFile(path).resize(300 * 1024 * 1024))
        QSKIP("no room for a sparse 300 MB file");
    WavFile wav;
    StreamCapture capture(std::cerr);
    QVERIFY(!wav.readWavFile(path.toUtf8()));
    QCOMPARE(capture.text(), "WAV data is too large to hold in memory: " + path + "\n");
    QCOMPARE(wav.rawData.size(), 0);
    QVERIFY(QFile::remove(path));
}

void TestWavFile::writeReplacesFileAndRoundTrips_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("canonical"); // what the written file must hold

    const QByteArray six = ramp16(6);
    const QByteArray frames24 = QByteArray::fromHex("000080ffff7f010000020000030000040000");
    const QByteArray twoFloats = littleEndian<float>({1.5f, -0.25f});
    QTest::newRow("canonical") << WavBuilder().data(six).bytes() << WavBuilder().data(six).bytes();
    QTest::newRow("LIST, 18-byte fmt")
        << WavBuilder().sampleRate(44100).fmtExtra(QByteArray(2, '\0')).chunkBeforeData("LIST", "INFOabc").data(six).bytes()
        << WavBuilder().sampleRate(44100).data(six).bytes();
    QTest::newRow("0xFFFE 24-bit 3 channels")
        << WavBuilder().channels(3).bitsPerSample(24).extensible().data(frames24).bytes()
        << WavBuilder().channels(3).bitsPerSample(24).data(frames24).bytes();
    QTest::newRow("0xFFFE float")
        << WavBuilder().bitsPerSample(32).extensible(WavBuilder::floatSubFormat()).data(twoFloats).bytes()
        << WavBuilder().formatCode(3).bitsPerSample(32).data(twoFloats).bytes();
}

void TestWavFile::writeReplacesFileAndRoundTrips()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, canonical);

    const QString sourcePath = dir.filePath("source.wav");
    const QString copyPath = dir.filePath("copy.wav");
    QVERIFY(writeBytes(sourcePath, source));
    QVERIFY(writeBytes(copyPath, QByteArray(4096, 'z')));
    WavFile original;
    QVERIFY(original.readWavFile(sourcePath.toUtf8()));
    QVERIFY(original.writeWavFile(copyPath.toUtf8()));

    QFile written(copyPath);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll().toHex(), canonical.toHex());
}

void TestWavFile::writeToDirectoryFails()
{
    WavFile wav;
    StreamCapture capture(std::cerr);
    QVERIFY(!wav.writeWavFile(dir.path().toUtf8()));
    QCOMPARE(capture.text(), "Unable to write wave file: " + dir.path() + "\n");
}

void TestWavFile::printsHeaderAndSamples()
{
    const QString path = dir.filePath("printed.wav");
    QVERIFY(WavBuilder::writeStereo16(path, {0.5, 1.0 / 3}, {-0.25, 0.0}, 44100));
    WavFile wav;
    QVERIFY(wav.readWavFile(path.toUtf8()));
    StreamCapture capture(std::cout);
    wav.printHeader();
    wav.printSamples();
    QCOMPARE(capture.text().split('\n'),
             QString("RIFF header                : RIFF\n"
                     "WAVE header                : WAVE\n"
                     "FMT                        : fmt \n"
                     "Data size                  : 44\n"
                     "Sampling Rate              : 44100\n"
                     "Number of bits per sample  : 16\n"
                     "Number of channels         : 2\n"
                     "Number of bytes per second : 176400\n"
                     "Data length (bytes)        : 8\n"
                     "Audio Format               : 1\n"
                     "Block align                : 4\n"
                     "Data string                : data\n"
                     "0.5\n-0.25\n0.333344\n0\n").split('\n'));
}

QTEST_GUILESS_MAIN(TestWavFile)
#include "tst_wavfile.moc"
