#include "audio/WavFile.h"
#include "support/WavBuilder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <iostream>
#include <sstream>

namespace {

// Collects what the code under test writes to a standard stream while it is alive.
struct StreamCapture
{
    explicit StreamCapture(std::ostream &target) : stream(target), previous(target.rdbuf(buffer.rdbuf())) {}
    ~StreamCapture() { stream.rdbuf(previous); }
    QString text() const { return QString::fromStdString(buffer.str()); }

    std::ostream &stream;
    std::ostringstream buffer;
    std::streambuf *previous;
};

} // namespace

class TestWavFile : public QObject
{
    Q_OBJECT
private slots:
    void readsOrRefuses_data();
    void readsOrRefuses();
    void printsAndWrites_data();
    void printsAndWrites();

private:
    QTemporaryDir dir;
};

void TestWavFile::readsOrRefuses_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message"); // the line on standard error, before the path
    QTest::addColumn<QVector<double>>("samples"); // none, with a message: refused

    using V = QVector<double>;
    const auto hex = QByteArray::fromHex;
    const auto pcm = [](quint16 bits) { return WavBuilder().bitsPerSample(bits); };
    const auto float32 = [] { return WavBuilder().formatCode(3).bitsPerSample(32); };
    const V r4{0.5, -0.25, 0.125, -1.0}, none;
    const auto wav = [&r4] { return WavBuilder().data(WavBuilder::pcm16(r4)); };

    QTest::newRow("8-bit") << pcm(8).data(hex("8000ff")).bytes() << "" << V{0.0, -1.0, 1 - 0x1p-7};
    QTest::newRow("24-bit, part") << pcm(24).data(hex("000080ffff7fffffff1122")).bytes() << "" << V{-1.0, 1 - 0x1p-23, -0x1p-23};
    QTest::newRow("float 64") << float32().bitsPerSample(64).data(hex("9a9999999999b93f59f3f8c21f6ea5810000000000000840")).bytes()
                              << "" << V{0.1, -1e-300, 3.0};
    QTest::newRow("0xFFFE float") << float32().extensible(WavBuilder::floatSubFormat()).data(hex("0000c03f000010c0cdcccc3d")).bytes()
                                  << "" << V{1.5, -2.25, double(0.1f)};
    QTest::newRow("0xFFFE 32-bit PCM") << pcm(32).channels(3).extensible().data(hex("00000080ffffff7fffffffff00000040")).bytes()
                                       << "" << V{-1.0, 1 - 0x1p-31, -0x1p-31, 0.5};
    QTest::newRow("data before fmt")
        << wav().fmtTag("junk").chunkAfterData("fmt ", hex("01000100409c00008038010002001000")).bytes() << "" << r4;
    QTest::newRow("18-byte fmt") << wav().fmtExtra(QByteArray(2, '\0')).bytes() << "" << r4;
    QTest::newRow("odd chunk, pad byte") << wav().chunkBeforeData("JUNK", "abc").bytes() << "" << r4;
    QTest::newRow("RIFF not checked") << wav().riffTag("JUNK").bytes() << "" << r4;
    QTest::newRow("dataSize 0") << WavBuilder().bytes() << "" << none;
    QTest::newRow("dataSize 0xFFFFFFFF") << WavBuilder().dataSize(0xFFFFFFFF).data(WavBuilder::pcm16(r4) + "x").bytes()
                                         << "WAV data is shorter than its header says (only 9 of 4294967295 bytes present): " << r4;

    QTest::newRow("empty") << QByteArray() << "Header size is zero. " << none;
    QTest::newRow("cut at 43") << wav().truncateTo(43).bytes() << "Header is incomplete (43 of 44 bytes): " << none;
    QTest::newRow("WAVE missing") << wav().waveTag("AVI ").bytes() << "Not a WAV file: " << none;
    QTest::newRow("0xFFFE other GUID") << wav().extensible(hex("0100000000001000800000aa00389b72")).bytes()
                                       << "Not a PCM (linear quantitation) or IEEE float WAV file: " << none;
    QTest::newRow("0xFFFE in 16 bytes") << wav().formatCode(0xFFFE).bytes() << "Format chunk is too short: " << none;
    for (int bits : {0, 12, 64})
        QTest::addRow("bits %d", bits) << wav().bitsPerSample(quint16(bits)).bytes()
                                       << "Not a 8-bit, 16-bit, 24-bit or 32-bit PCM WAV file: " << none;
    QTest::newRow("float 16 bits") << float32().bitsPerSample(16).bytes() << "Not a 32-bit or 64-bit float WAV file: " << none;
    QTest::newRow("float NaN") << float32().data(hex("0000003f0000c07f")).bytes()
                               << "WAV file holds samples that are not numbers (NaN or infinity): " << none;
    QTest::newRow("fmt size 0") << wav().fmtSize(0).bytes() << "Format chunk is too short: " << none;
    QTest::newRow("no fmt") << wav().fmtTag("junk").bytes() << "No format chunk in WAV file: " << none;
    QTest::newRow("chunk past the end") << wav().chunkBeforeData("JUNK", "jjjj").bytes().replace(40, 4, hex("f0ffffff"))
                                        << "No data chunk in WAV file: " << none;
    // 2.4 GB of doubles: refused before anything is allocated.
    QTest::newRow("300 MB sparse, 8-bit") << pcm(8).dataSize(0xFFFFFFFF).bytes() << "WAV data is too large to hold in memory: " << none;
    QTest::newRow("missing file") << QByteArray() << "Unable to open WAV file: " << none;
}

// Each file is read after a good one, so nothing of that one may be left behind.
void TestWavFile::readsOrRefuses()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFETCH(QVector<double>, samples);
    const QByteArray tag = QTest::currentDataTag();
    const QString path = dir.filePath(tag == "missing file" ? "absent.wav" : "in.wav");
    QFile in(path);
    QVERIFY(tag == "missing file" || (in.open(QIODevice::WriteOnly | QIODevice::Truncate) && in.write(content) == content.size()));
    QVERIFY(!tag.startsWith("300 MB") || in.resize(300 * 1024 * 1024));
    in.close();
    QVERIFY(WavBuilder::writeStereo16(dir.filePath("good.wav"), {0.5, 0.25, 0.75}, {-0.5, -0.25, -0.75}, 44100));

    WavFile wav;
    QVERIFY(wav.readWavFile(dir.filePath("good.wav").toUtf8()));
    StreamCapture capture(std::cerr);
    const bool ok = message.isEmpty() || !samples.isEmpty();
    QCOMPARE(wav.readWavFile(path.toUtf8()), ok);
    QCOMPARE(capture.text(), message.isEmpty() ? QString() : message + path + "\n");
    QCOMPARE(wav.lastError(), ok ? QString() : message + path);
    QCOMPARE(wav.samples, samples);
    QCOMPARE(QVector<double>(wav.sampleData, wav.sampleData + wav.numSamples), samples);
    QCOMPARE(qint64(wav.dataSize), qint64(wav.rawData.size()));
    if (tag == "missing file") { // refused before a byte is read: the header is all zeros
        QCOMPARE(QVector<qint64>({wav.riffSize, wav.fmtSize, wav.formatCode, wav.numChannels, wav.sampleRate,
                                  wav.byteRate, wav.blockAlign, wav.bitsPerSample}), QVector<qint64>(8, 0));
        QCOMPARE(QByteArray(wav.riffTag, 4) + QByteArray(wav.waveTag, 4) + QByteArray(wav.fmtTag, 4) + QByteArray(wav.dataTag, 4),
                 QByteArray(16, '\0'));
    }
}

void TestWavFile::printsAndWrites_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("ok");
    QTest::newRow("over a longer file") << dir.filePath("copy.wav") << true;
    QTest::newRow("a folder: no open") << dir.path() << false;
    QTest::newRow("a full device: no room") << "/dev/full" << false;
}

// A read of an extensible file with an extra chunk prints as, and is written back as, the
// canonical 44-byte file; a failed write says so.
void TestWavFile::printsAndWrites()
{
    QFETCH(QString, path);
    QFETCH(bool, ok);
    const QByteArray samples = QByteArray::fromHex("000000bfabaaaa3e"); // -0.5, 1/3
    const QByteArray older = WavBuilder().data(QByteArray(4096, 'z')).bytes();
    const QString in = dir.filePath("in.wav"), copy = dir.filePath("copy.wav");
    QVERIFY(WavBuilder().formatCode(3).bitsPerSample(32).extensible(WavBuilder::floatSubFormat()).chunkBeforeData("LIST", "x")
                .data(samples).writeTo(in));
    QFile written(copy);
    QVERIFY(written.open(QIODevice::ReadWrite | QIODevice::Truncate) && written.write(older) == older.size() && written.flush());
    WavFile wav;
    QVERIFY(wav.readWavFile(in.toUtf8()));
    StreamCapture out(std::cout), err(std::cerr);
    wav.printHeader();
    wav.printSamples();
    QCOMPARE(wav.writeWavFile(path.toUtf8()), ok);
    QCOMPARE(err.text(), ok ? QString() : "Unable to write wave file: " + path + "\n");
    QCOMPARE(out.text().split('\n'), QString("RIFF header                : RIFF\n"
                                             "WAVE header                : WAVE\n"
                                             "FMT                        : fmt \n"
                                             "Data size                  : 44\n"
                                             "Sampling Rate              : 40000\n"
                                             "Number of bits per sample  : 32\n"
                                             "Number of channels         : 1\n"
                                             "Number of bytes per second : 160000\n"
                                             "Data length (bytes)        : 8\n"
                                             "Audio Format               : 3\n"
                                             "Block align                : 4\n"
                                             "Data string                : data\n"
                                             "-0.5\n0.333333\n").split('\n'));
    QVERIFY(written.seek(0));
    QCOMPARE(written.readAll(), ok ? WavBuilder().formatCode(3).bitsPerSample(32).data(samples).bytes() : older);
}

QTEST_GUILESS_MAIN(TestWavFile)
#include "tst_wavfile.moc"
