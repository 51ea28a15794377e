#include "audio/WavFile.h"
#include "support/WavBuilder.h"

#include <QFile>
#include <QFileInfo>
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

// n distinct values exact in 16 bits: value k is (k + 1) / 128.
QVector<double> ramp(int n)
{
    QVector<double> values;
    for (int k = 0; k < n; ++k)
        values << (k + 1) / 128.0;
    return values;
}

template <typename T>
QByteArray littleEndian(const QVector<T> &values)
{
    QByteArray bytes(values.size() * int(sizeof(T)), '\0');
    for (int i = 0; i < values.size(); ++i)
        qToLittleEndian(values[i], bytes.data() + i * int(sizeof(T)));
    return bytes;
}

} // namespace

class TestWavFile : public QObject
{
    Q_OBJECT
private slots:
    void readsOrRefuses_data();
    void readsOrRefuses();
    void refusesDataTooLargeToHold();
    void writeToDirectoryFails();
    void printsHeaderAndSamples();

private:
    QTemporaryDir dir;
};

void TestWavFile::readsOrRefuses_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("format");      // the canonical code after the read; 0: refused
    QTest::addColumn<QString>("message"); // the line on standard error, before the path
    QTest::addColumn<QVector<double>>("samples");

    const QVector<double> r8 = ramp(8), none;
    const auto wav = [] { return WavBuilder().data(WavBuilder::pcm16(ramp(8))); };
    const auto float32 = [] { return WavBuilder().formatCode(3).bitsPerSample(32); };
    const QByteArray floats = littleEndian<float>({-1.0f, 0.1f, 1.5f, -2.25f});
    const QByteArray fmtBody = QByteArray::fromHex("01000100409c00008038010002001000");
    const QString notPcm("Not a PCM (linear quantitation) or IEEE float WAV file: ");
    const QString badBits("Not a 8-bit, 16-bit, 24-bit or 32-bit PCM WAV file: ");
    const QString tooShort("Format chunk is too short: "), noData("No data chunk in WAV file: ");
    const double nan = std::numeric_limits<float>::quiet_NaN();

    QTest::newRow("8-bit") << WavBuilder().bitsPerSample(8).data(QByteArray::fromHex("8000ff")).bytes() << 1 << ""
                           << QVector<double>{0.0, -1.0, 0.9921875};
    QTest::newRow("16-bit") << WavBuilder().data(QByteArray::fromHex("0080ff7f0000ffff")).bytes() << 1 << ""
                            << QVector<double>{-1.0, 0.999969482421875, 0.0, -3.0517578125e-05};
    QTest::newRow("24-bit, 2 bytes over") << WavBuilder().bitsPerSample(24).data(QByteArray::fromHex("000080ffff7fffffff1122")).bytes()
                                          << 1 << "" << QVector<double>{-1.0, 0.99999988079071044921875, -1.1920928955078125e-07};
    QTest::newRow("32-bit") << WavBuilder().bitsPerSample(32).data(QByteArray::fromHex("00000080ffffff7fffffffff00000040")).bytes()
                            << 1 << "" << QVector<double>{-1.0, 1.0 - 1.0 / 2147483648.0, -1.0 / 2147483648.0, 0.5};
    QTest::newRow("float 32 beyond 1") << float32().data(floats).bytes() << 3 << ""
                                       << QVector<double>{-1.0, double(0.1f), 1.5, -2.25};
    QTest::newRow("float 64") << float32().bitsPerSample(64).data(littleEndian<double>({0.1, -1e-300, 3.0})).bytes() << 3
                              << "" << QVector<double>{0.1, -1e-300, 3.0};
    QTest::newRow("0xFFFE float") << float32().extensible(WavBuilder::floatSubFormat()).data(floats).bytes() << 3 << ""
                                  << QVector<double>{-1.0, double(0.1f), 1.5, -2.25};
    QTest::newRow("0xFFFE 32-bit PCM") << WavBuilder().bitsPerSample(32).extensible().data(QByteArray::fromHex("00000040")).bytes()
                                       << 1 << "" << QVector<double>{0.5};
    QTest::newRow("0xFFFE 3 channels") << wav().channels(3).extensible().bytes() << 1 << "" << r8;
    QTest::newRow("data before fmt") << wav().fmtTag("junk").chunkAfterData("fmt ", fmtBody).bytes() << 1 << "" << r8;
    QTest::newRow("LIST before data") << wav().chunkBeforeData("LIST", QByteArray("INFOISFT\x04\0\0\0abc\0", 16)).bytes()
                                      << 1 << "" << r8;
    QTest::newRow("18-byte fmt") << wav().fmtExtra(QByteArray(2, '\0')).bytes() << 1 << "" << r8;
    QTest::newRow("odd chunk, pad byte") << wav().chunkBeforeData("JUNK", "abc").bytes() << 1 << "" << r8;
    QTest::newRow("RIFF not checked") << wav().riffTag("JUNK").bytes() << 1 << "" << r8;
    QTest::newRow("0 channels") << wav().channels(0).bytes() << 1 << "" << r8;
    QTest::newRow("dataSize 0") << WavBuilder().bytes() << 1 << "" << none;
    QTest::newRow("dataSize 0xFFFFFFFF")
        << WavBuilder().dataSize(0xFFFFFFFF).data(WavBuilder::pcm16(ramp(50)) + "x").bytes() << 1
        << "WAV data is shorter than its header says (only 101 of 4294967295 bytes present): " << ramp(50);

    QTest::newRow("empty") << QByteArray() << 0 << "Header size is zero. " << none;
    for (int cut : {4, 20, 43})
        QTest::addRow("cut at %d", cut) << wav().truncateTo(cut).bytes() << 0
                                        << QString("Header is incomplete (%1 of 44 bytes): ").arg(cut) << none;
    QTest::newRow("WAVE missing") << wav().waveTag("AVI ").bytes() << 0 << "Not a WAV file: " << none;
    QTest::newRow("format 0") << wav().formatCode(0).bytes() << 0 << notPcm << none;
    QTest::newRow("0xFFFE other GUID") << wav().extensible(QByteArray::fromHex("0100000000001000800000aa00389b72")).bytes()
                                       << 0 << notPcm << none;
    QTest::newRow("0xFFFE in 16 bytes") << wav().formatCode(0xFFFE).bytes() << 0 << tooShort << none;
    for (int bits : {0, 12, 64})
        QTest::addRow("bits %d", bits) << wav().bitsPerSample(quint16(bits)).bytes() << 0 << badBits << none;
    QTest::newRow("float 16 bits") << float32().bitsPerSample(16).data(floats).bytes() << 0
                                   << "Not a 32-bit or 64-bit float WAV file: " << none;
    QTest::newRow("float NaN") << float32().data(littleEndian<float>({0.5f, float(nan)})).bytes() << 0
                               << "WAV file holds samples that are not numbers (NaN or infinity): " << none;
    QTest::newRow("fmt size 0") << wav().fmtSize(0).bytes() << 0 << tooShort << none;
    QTest::newRow("no fmt") << wav().fmtTag("junk").bytes() << 0 << "No format chunk in WAV file: " << none;
    QTest::newRow("no data") << wav().dataTag("dat ").bytes() << 0 << noData << none;
    QTest::newRow("chunk past the end")
        << wav().chunkBeforeData("JUNK", "jjjj").bytes().replace(40, 4, QByteArray::fromHex("f0ffffff")) << 0 << noData
        << none;
    QTest::newRow("a directory") << QByteArray() << 0 << "Unable to open WAV file: " << none;
    QTest::newRow("a missing path") << QByteArray() << 0 << "Unable to open WAV file: " << none;
}

// Each file is read after a good one, so nothing of that one may be left behind; a good read is
// written out as a canonical file, over an older one, and reads back the same.
void TestWavFile::readsOrRefuses()
{
    QFETCH(QByteArray, content);
    QFETCH(int, format);
    QFETCH(QString, message);
    QFETCH(QVector<double>, samples);

    const QByteArray tag = QTest::currentDataTag();
    QString path = tag == "a directory" ? dir.path() : dir.filePath(tag == "a missing path" ? "absent.wav" : "in.wav");
    QFile in(path);
    QVERIFY(tag.startsWith("a ") || (in.open(QIODevice::WriteOnly | QIODevice::Truncate) && in.write(content) == content.size()));
    in.close();
    const QString good = dir.filePath("good.wav");
    QVERIFY(WavBuilder::writeStereo16(good, {0.5, 0.25, 0.75}, {-0.5, -0.25, -0.75}, 44100));

    WavFile wav;
    QVERIFY(wav.readWavFile(good.toUtf8()));
    StreamCapture capture(std::cerr);
    const bool ok = format != 0;
    QCOMPARE(wav.readWavFile(path.toUtf8()), ok);
    QCOMPARE(capture.text(), message.isEmpty() ? QString() : message + path + "\n");
    QCOMPARE(wav.lastError(), ok ? QString() : message + path);
    QCOMPARE(wav.samples, samples);
    QCOMPARE(int(wav.numSamples), samples.size());
    QCOMPARE(wav.sampleData, samples.isEmpty() ? nullptr : wav.samples.constData());
    QCOMPARE(qint64(wav.dataSize), qint64(wav.rawData.size()));
    if (!ok) {
        QCOMPARE(wav.bytesRead, qint64(0));
        return;
    }
    QCOMPARE(int(wav.formatCode), format);

    const QString copy = dir.filePath("copy.wav");
    QVERIFY(WavBuilder().data(QByteArray(4096, 'z')).writeTo(copy));
    QVERIFY(wav.writeWavFile(copy.toUtf8()));
    QCOMPARE(QFileInfo(copy).size(), 44 + qint64(wav.dataSize));
    WavFile again;
    QVERIFY(again.readWavFile(copy.toUtf8()));
    QCOMPARE(again.samples, samples);
    const auto fields = [](const WavFile &w) {
        return QVector<quint32>{w.riffSize, w.fmtSize, w.formatCode, w.numChannels, w.sampleRate, w.byteRate, w.blockAlign,
                                w.bitsPerSample, w.dataSize};
    };
    QCOMPARE(fields(again), fields(wav));
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
    QCOMPARE(capture.text().split('\n'), QString("RIFF header                : RIFF\n"
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
