#include "audio/WavFile.h"
#include "support/WavBuilder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <iostream>
#include <sstream>

namespace {

// Collects what the code under test writes to a standard stream while it is alive.
class StreamCapture
{
public:
    explicit StreamCapture(std::ostream &target)
        : stream(target), previous(target.rdbuf(buffer.rdbuf()))
    {
    }
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

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool near(double a, double b, double tolerance = 1e-15)
{
    return qAbs(a - b) < tolerance;
}

} // namespace

class TestWavFile : public QObject
{
    Q_OBJECT
private slots:
    void decodesExtremes_data();
    void decodesExtremes();
    void readsCanonicalFile();
    void keepsStereoInterleaved();
    void handlesMalformedFiles_data();
    void handlesMalformedFiles();
    void rejectsDataTooLargeToHold();
    void failedReadLeavesNothingStale_data();
    void failedReadLeavesNothingStale();
    void emptyDataReplacesPreviousSamples();
    void goodReadClearsLastError();
    void decoderStaysWithinRawData_data();
    void decoderStaysWithinRawData();
    void writeReplacesFileAndRoundTrips_data();
    void writeReplacesFileAndRoundTrips();
    void writeToDirectoryFails();
    void printsHeader();
    void printsSamples();

private:
    QTemporaryDir dir;
};

void TestWavFile::decodesExtremes_data()
{
    QTest::addColumn<bool>("extensible");
    QTest::addColumn<int>("bits");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QVector<double>>("expected");

    QTest::newRow("8-bit 0x80 0x00 0xFF") << false << 8 << QByteArray::fromHex("8000ff")
                                          << QVector<double>{0.0, -1.0, 0.9921875};
    QTest::newRow("16-bit 0x8000 0x7FFF 0x0000 0xFFFF")
        << false << 16 << QByteArray::fromHex("0080ff7f0000ffff")
        << QVector<double>{-1.0, 0.999969482421875, 0.0, -3.0517578125e-05};
    QTest::newRow("24-bit 000080 FFFF7F FFFFFF 000000")
        << false << 24 << QByteArray::fromHex("000080ffff7fffffff000000")
        << QVector<double>{-1.0, 0.99999988079071044921875, -1.1920928955078125e-07, 0.0};
    QTest::newRow("24-bit extensible 000080 FFFF7F")
        << true << 24 << QByteArray::fromHex("000080ffff7f")
        << QVector<double>{-1.0, 0.99999988079071044921875};
}

void TestWavFile::decodesExtremes()
{
    QFETCH(bool, extensible);
    QFETCH(int, bits);
    QFETCH(QByteArray, data);
    QFETCH(QVector<double>, expected);

    WavBuilder builder;
    builder.bitsPerSample(quint16(bits)).data(data);
    if (extensible)
        builder.extensible();
    const QString path = dir.filePath("extremes.wav");
    QVERIFY(builder.writeTo(path));

    WavFile wav;
    QVERIFY(wav.readWavFile(path.toUtf8()));
    QCOMPARE(int(wav.numSamples), expected.size());
    QCOMPARE(wav.samples.size(), expected.size());
    QCOMPARE(wav.sampleData, wav.samples.constData());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(near(wav.samples[i], expected[i]),
                 qPrintable(QString("sample %1: %2 instead of %3").arg(i).arg(wav.samples[i], 0, 'g', 17)
                                .arg(expected[i], 0, 'g', 17)));
}

void TestWavFile::readsCanonicalFile()
{
    QVector<double> values(10000);
    for (int i = 0; i < values.size(); ++i)
        values[i] = ((i % 200) - 100) / 128.0;
    const QString path = dir.filePath("canonical.wav");
    QVERIFY(WavBuilder::writeMono16(path, values, 40000));

    WavFile wav;
    QVERIFY(wav.readWavFile(path.toUtf8()));
    QCOMPARE(wav.lastError(), QString());
    QVERIFY(wav.lastReadSucceeded());
    QCOMPARE(QByteArray(wav.riffTag, 4), QByteArray("RIFF"));
    QCOMPARE(QByteArray(wav.waveTag, 4), QByteArray("WAVE"));
    QCOMPARE(QByteArray(wav.fmtTag, 4), QByteArray("fmt "));
    QCOMPARE(QByteArray(wav.dataTag, 4), QByteArray("data"));
    QCOMPARE(wav.riffSize, 36u + 20000u);
    QCOMPARE(wav.fmtSize, 16u);
    QCOMPARE(int(wav.formatCode), 1);
    QCOMPARE(wav.sampleRate, 40000u);
    QCOMPARE(int(wav.numChannels), 1);
    QCOMPARE(wav.byteRate, 80000u);
    QCOMPARE(int(wav.blockAlign), 2);
    QCOMPARE(int(wav.bitsPerSample), 16);
    QCOMPARE(wav.dataSize, 20000u);
    QCOMPARE(wav.bytesRead, qint64(20000));
    QCOMPARE(wav.numSamples, 10000u);
    QCOMPARE(wav.samples.size(), 10000);
    for (int i : {0, 1, 99, 100, 199, 9999})
        QVERIFY2(near(wav.samples[i], values[i]), qPrintable(QString("sample %1").arg(i)));
}

void TestWavFile::keepsStereoInterleaved()
{
    const QString path = dir.filePath("stereo.wav");
    QVERIFY(WavBuilder::writeStereo16(path, {0.25, -0.5}, {0.75, -1.0}, 44100));

    WavFile wav;
    QVERIFY(wav.readWavFile(path.toUtf8()));
    QCOMPARE(wav.dataSize, 8u);
    QCOMPARE(wav.numSamples, 4u);
    const QVector<double> expected{0.25, 0.75, -0.5, -1.0};
    QCOMPARE(wav.samples.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(near(wav.samples[i], expected[i]), qPrintable(QString("sample %1").arg(i)));
}

void TestWavFile::handlesMalformedFiles_data()
{
    QTest::addColumn<QString>("where");        // "file", "directory" or "missing"
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message");      // the line on standard error before the path
    QTest::addColumn<int>("sampleCount");
    QTest::addColumn<QVector<double>>("leading"); // first decoded values

    const QByteArray eight = ramp16(8);
    const QVector<double> rampStart{1 / 128.0, 2 / 128.0, 3 / 128.0};
    const QVector<double> none;
    const QString incomplete("Header is incomplete (%1 of 44 bytes): ");
    const QString notPcm("Not a PCM (linear quantitation) WAV file: ");
    const QString badBits("Not a 8-bit, 16-bit, or 24-bit WAV file: ");
    const QString shortData("WAV data is shorter than its header says (only %1 of %2 bytes present): ");

    QTest::newRow("empty file") << "file" << QByteArray() << false << "Header size is zero. " << 0 << none;
    for (int cut : {4, 12, 20, 36, 43})
        QTest::addRow("truncated at %d bytes", cut)
            << "file" << WavBuilder().data(eight).truncateTo(cut).bytes() << false << incomplete.arg(cut)
            << 0 << none;
    QTest::newRow("WAVE missing") << "file" << WavBuilder().waveTag("AVI ").data(eight).bytes() << false
                                  << "Not a WAV file: " << 0 << none;
    QTest::newRow("RIFF tag not checked") << "file" << WavBuilder().riffTag("JUNK").data(eight).bytes()
                                          << true << "" << 8 << rampStart;
    QTest::newRow("format code 0") << "file" << WavBuilder().formatCode(0).data(eight).bytes() << false
                                   << notPcm << 0 << none;
    QTest::newRow("format code 3 (float)") << "file" << WavBuilder().formatCode(3).bitsPerSample(32).data(eight).bytes()
                                           << false << notPcm << 0 << none;
    QTest::newRow("extensible with float sub-format")
        << "file" << WavBuilder().bitsPerSample(32).extensible(WavBuilder::floatSubFormat()).data(eight).bytes()
        << false << notPcm << 0 << none;
    QTest::newRow("extensible with PCM sub-format")
        << "file" << WavBuilder().extensible().data(eight).bytes() << true << "" << 8 << rampStart;
    QTest::newRow("extensible code with a 16-byte format chunk")
        << "file" << WavBuilder().formatCode(0xFFFE).data(eight).bytes() << false
        << "Format chunk is too short: " << 0 << none;
    QTest::newRow("extensible PCM of 32 bits")
        << "file" << WavBuilder().bitsPerSample(32).extensible().data(eight).bytes() << false << badBits << 0 << none;
    for (int bits : {0, 12, 32})
        QTest::addRow("bits %d", bits) << "file" << WavBuilder().bitsPerSample(quint16(bits)).data(eight).bytes()
                                       << false << badBits << 0 << none;
    QTest::newRow("format chunk of size 0") << "file" << WavBuilder().fmtSize(0).data(eight).bytes() << false
                                            << "Format chunk is too short: " << 0 << none;
    QTest::newRow("no format chunk") << "file" << WavBuilder().fmtTag("junk").data(eight).bytes() << false
                                     << "No format chunk in WAV file: " << 0 << none;
    QTest::newRow("no data chunk") << "file" << WavBuilder().dataTag("dat ").data(eight).bytes() << false
                                   << "No data chunk in WAV file: " << 0 << none;
    QTest::newRow("chunk size past the end of the file")
        << "file" << WavBuilder().chunkBeforeData("JUNK", QByteArray(4, 'j')).data(eight).bytes()
                         .replace(40, 4, QByteArray::fromHex("f0ffffff"))
        << false << "No data chunk in WAV file: " << 0 << none;
    QTest::newRow("0 channels") << "file" << WavBuilder().channels(0).data(eight).bytes() << true << "" << 8
                                << rampStart;
    QTest::newRow("LIST chunk before data")
        << "file" << WavBuilder().chunkBeforeData("LIST", QByteArray("INFOISFT\x0e\0\0\0Lavf58.76.100\0\0", 26)).data(eight).bytes()
        << true << "" << 8 << rampStart;
    QTest::newRow("18-byte format chunk") << "file" << WavBuilder().fmtExtra(QByteArray(2, '\0')).data(eight).bytes()
                                          << true << "" << 8 << rampStart;
    QTest::newRow("odd-sized chunk with pad byte")
        << "file" << WavBuilder().chunkBeforeData("JUNK", "abc").data(eight).bytes() << true << "" << 8 << rampStart;
    QTest::newRow("chunk after data") << "file" << WavBuilder().data(eight).chunkAfterData("LIST", "INFO").bytes()
                                      << true << "" << 8 << rampStart;
    QTest::newRow("dataSize 0") << "file" << WavBuilder().bytes() << true << "" << 0 << none;
    QTest::newRow("dataSize 0x7FFFFFFF in a short file")
        << "file" << WavBuilder().dataSize(0x7FFFFFFF).data(ramp16(50)).bytes() << true
        << shortData.arg(100).arg(2147483647u) << 50 << rampStart;
    QTest::newRow("dataSize 0xFFFFFFFF in a short file")
        << "file" << WavBuilder().dataSize(0xFFFFFFFF).data(ramp16(50)).bytes() << true
        << shortData.arg(100).arg(4294967295u) << 50 << rampStart;
    QTest::newRow("data cut inside a sample")
        << "file" << WavBuilder().dataSize(200).data(ramp16(50) + "x").bytes() << true
        << shortData.arg(101).arg(200) << 50 << rampStart;
    QTest::newRow("24-bit dataSize not a multiple of 3")
        << "file" << WavBuilder().bitsPerSample(24).data(QByteArray::fromHex("000040000080ffff7f1122")).bytes()
        << true << "" << 3 << QVector<double>{0.5, -1.0, 0.99999988079071044921875};
    QTest::newRow("a directory") << "directory" << QByteArray() << false << "Unable to open WAV file: " << 0 << none;
    QTest::newRow("a missing path") << "missing" << QByteArray() << false << "Unable to open WAV file: " << 0 << none;
}

void TestWavFile::handlesMalformedFiles()
{
    QFETCH(QString, where);
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    QFETCH(int, sampleCount);
    QFETCH(QVector<double>, leading);

    QString path = dir.filePath("malformed.wav");
    if (where == "file")
        QVERIFY(writeBytes(path, content));
    else if (where == "directory")
        path = dir.path();
    else
        path = dir.filePath("no such file.wav");

    WavFile wav;
    bool result = false;
    QString errors;
    {
        StreamCapture capture(std::cerr);
        result = wav.readWavFile(path.toUtf8());
        errors = capture.text();
    }

    QCOMPARE(result, ok);
    QCOMPARE(errors, message.isEmpty() ? QString() : message + path + "\n");
    QCOMPARE(wav.lastError(), ok ? QString() : message + path);
    QCOMPARE(wav.lastReadSucceeded(), ok);
    QCOMPARE(int(wav.numSamples), sampleCount);
    QCOMPARE(wav.samples.size(), sampleCount);
    QVERIFY(wav.rawData.size() <= content.size());
    QCOMPARE(qint64(wav.dataSize), qint64(wav.rawData.size()));
    for (int i = 0; i < leading.size(); ++i)
        QVERIFY2(near(wav.samples[i], leading[i]), qPrintable(QString("sample %1: %2").arg(i).arg(wav.samples[i])));
    if (ok) {
        QCOMPARE(wav.fmtSize, 16u);
        QCOMPARE(int(wav.formatCode), 1);
        QCOMPARE(wav.riffSize, wav.dataSize + 36u);
    }
}

void TestWavFile::rejectsDataTooLargeToHold()
{
    // 300 MB of 8-bit samples would need 2.4 GB of doubles: refused before any allocation.
    const QString path = dir.filePath("huge.wav");
    QVERIFY(WavBuilder().bitsPerSample(8).dataSize(0xFFFFFFFF).writeTo(path));
    QFile file(path);
    if (!file.resize(300 * 1024 * 1024))
        QSKIP("no room for a sparse 300 MB file");

    WavFile wav;
    StreamCapture capture(std::cerr);
    QVERIFY(!wav.readWavFile(path.toUtf8()));
    QCOMPARE(capture.text(), "WAV data is too large to hold in memory: " + path + "\n");
    QCOMPARE(wav.rawData.size(), 0);
    QCOMPARE(wav.numSamples, 0u);
    QVERIFY(QFile::remove(path));
}

void TestWavFile::failedReadLeavesNothingStale_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: the path does not exist

    QTest::newRow("missing path") << QByteArray();
    QTest::newRow("truncated header") << WavBuilder().data(ramp16(4)).truncateTo(30).bytes();
    QTest::newRow("not PCM") << WavBuilder().formatCode(3).data(ramp16(4)).bytes();
    QTest::newRow("no data chunk") << WavBuilder().dataTag("junk").data(ramp16(4)).bytes();
}

void TestWavFile::failedReadLeavesNothingStale()
{
    QFETCH(QByteArray, content);

    const QString good = dir.filePath("good.wav");
    QVERIFY(WavBuilder::writeStereo16(good, {0.5, 0.25}, {-0.5, -0.25}, 44100));
    const QString bad = dir.filePath(content.isEmpty() ? "absent.wav" : "bad.wav");
    if (!content.isEmpty())
        QVERIFY(writeBytes(bad, content));

    WavFile wav;
    QVERIFY(wav.readWavFile(good.toUtf8()));
    QCOMPARE(wav.samples.size(), 4);

    StreamCapture capture(std::cerr);
    QVERIFY(!wav.readWavFile(bad.toUtf8()));
    QVERIFY(!wav.lastReadSucceeded());
    QVERIFY(!wav.lastError().isEmpty());
    QCOMPARE(wav.numSamples, 0u);
    QCOMPARE(wav.dataSize, 0u);
    QCOMPARE(wav.bytesRead, qint64(0));
    QCOMPARE(wav.rawData.size(), 0);
    QCOMPARE(wav.samples.size(), 0);
    QCOMPARE(wav.sampleData, static_cast<const double *>(nullptr));
    QVERIFY(wav.numChannels != 2 || wav.sampleRate != 44100);
}

void TestWavFile::emptyDataReplacesPreviousSamples()
{
    const QString good = dir.filePath("good.wav");
    const QString empty = dir.filePath("empty-data.wav");
    QVERIFY(WavBuilder::writeMono16(good, {0.5, 0.25, 0.125}, 40000));
    QVERIFY(WavBuilder().writeTo(empty));

    WavFile wav;
    QVERIFY(wav.readWavFile(good.toUtf8()));
    QCOMPARE(wav.samples.size(), 3);
    QVERIFY(wav.readWavFile(empty.toUtf8()));
    QCOMPARE(wav.numSamples, 0u);
    QCOMPARE(wav.samples.size(), 0);
    QCOMPARE(wav.rawData.size(), 0);
}

void TestWavFile::goodReadClearsLastError()
{
    const QString good = dir.filePath("good.wav");
    QVERIFY(WavBuilder::writeMono16(good, {0.5}, 40000));

    WavFile wav;
    {
        StreamCapture capture(std::cerr);
        QVERIFY(!wav.readWavFile(dir.filePath("absent.wav").toUtf8()));
    }
    QVERIFY(wav.readWavFile(good.toUtf8()));
    QCOMPARE(wav.lastError(), QString());
    QVERIFY(wav.lastReadSucceeded());
    QCOMPARE(wav.samples.size(), 1);
}

void TestWavFile::decoderStaysWithinRawData_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("claimedSamples");
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("decoded");
    QTest::addColumn<QString>("message");

    QTest::newRow("16-bit, fewer bytes than claimed") << 16 << 10 << QByteArray(5, '\0') << 2 << "";
    QTest::newRow("24-bit, fewer bytes than claimed") << 24 << 4 << QByteArray(7, '\0') << 2 << "";
    QTest::newRow("8-bit, more bytes than claimed") << 8 << 3 << QByteArray(6, '\0') << 3 << "";
    QTest::newRow("32-bit") << 32 << 2 << QByteArray(8, '\0') << 0 << "32-bit PCM is not working yet.\n";
    QTest::newRow("12-bit") << 12 << 2 << QByteArray(8, '\0') << 0 << "Not recognizable bits per sample. \n";
}

void TestWavFile::decoderStaysWithinRawData()
{
    QFETCH(int, bits);
    QFETCH(int, claimedSamples);
    QFETCH(QByteArray, raw);
    QFETCH(int, decoded);
    QFETCH(QString, message);

    WavFile wav;
    wav.samples = {9.0, 9.0, 9.0, 9.0, 9.0, 9.0, 9.0, 9.0};
    wav.bitsPerSample = quint16(bits);
    wav.numSamples = quint32(claimedSamples);
    wav.rawData = raw;
    StreamCapture capture(std::cerr);
    wav.decodeSamples();
    QCOMPARE(capture.text(), message);
    QCOMPARE(wav.samples.size(), decoded);
    QCOMPARE(wav.sampleData, decoded ? wav.samples.constData() : nullptr);
}

void TestWavFile::writeReplacesFileAndRoundTrips_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("canonical"); // what the written file must hold

    const QByteArray sixteen = ramp16(6);
    QTest::newRow("canonical 16-bit mono") << WavBuilder().data(sixteen).bytes() << WavBuilder().data(sixteen).bytes();
    QTest::newRow("LIST chunk and 18-byte format chunk")
        << WavBuilder().sampleRate(44100).fmtExtra(QByteArray(2, '\0')).chunkBeforeData("LIST", "INFOabc").data(sixteen).bytes()
        << WavBuilder().sampleRate(44100).data(sixteen).bytes();
    const QByteArray twentyFour = QByteArray::fromHex("000080ffff7f010000020000030000040000");
    QTest::newRow("extensible 24-bit, 3 channels")
        << WavBuilder().channels(3).bitsPerSample(24).extensible().data(twentyFour).bytes()
        << WavBuilder().channels(3).bitsPerSample(24).data(twentyFour).bytes();
    QTest::newRow("data shorter than claimed")
        << WavBuilder().dataSize(1000).data(sixteen + "x").bytes() << WavBuilder().data(sixteen).bytes();
    QTest::newRow("no samples") << WavBuilder().bytes() << WavBuilder().bytes();
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
    {
        StreamCapture capture(std::cerr);
        QVERIFY(original.readWavFile(sourcePath.toUtf8()));
    }
    QVERIFY(original.writeWavFile(copyPath.toUtf8()));

    QFile written(copyPath);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll().toHex(), canonical.toHex());

    WavFile copy;
    QVERIFY(copy.readWavFile(copyPath.toUtf8()));
    QCOMPARE(copy.numSamples, original.numSamples);
    QCOMPARE(copy.numChannels, original.numChannels);
    QCOMPARE(copy.sampleRate, original.sampleRate);
    QCOMPARE(copy.samples.size(), original.samples.size());
    for (int i = 0; i < copy.samples.size(); ++i)
        QVERIFY2(near(copy.samples[i], original.samples[i]), qPrintable(QString("sample %1").arg(i)));
}

void TestWavFile::writeToDirectoryFails()
{
    WavFile wav;
    StreamCapture capture(std::cerr);
    QVERIFY(!wav.writeWavFile(dir.path().toUtf8()));
    QCOMPARE(capture.text(), "Unable to write wave file: " + dir.path() + "\n");
}

void TestWavFile::printsHeader()
{
    const QString path = dir.filePath("header.wav");
    QVERIFY(WavBuilder().channels(2).sampleRate(44100).data(ramp16(4)).writeTo(path));
    WavFile wav;
    QVERIFY(wav.readWavFile(path.toUtf8()));

    StreamCapture capture(std::cout);
    wav.printHeader();
    const QStringList expected{
        "RIFF header                : RIFF",
        "WAVE header                : WAVE",
        "FMT                        : fmt ",
        "Data size                  : 44",
        "Sampling Rate              : 44100",
        "Number of bits per sample  : 16",
        "Number of channels         : 2",
        "Number of bytes per second : 176400",
        "Data length (bytes)        : 8",
        "Audio Format               : 1",
        "Block align                : 4",
        "Data string                : data",
    };
    QCOMPARE(capture.text(), expected.join('\n') + '\n');
}

void TestWavFile::printsSamples()
{
    const QString path = dir.filePath("print.wav");
    QVERIFY(WavBuilder().data(QByteArray::fromHex("0080ff7f00000040")).writeTo(path));
    WavFile wav;
    QVERIFY(wav.readWavFile(path.toUtf8()));

    StreamCapture capture(std::cout);
    wav.printSamples();
    QCOMPARE(capture.text(), QString("-1\n0.999969\n0\n0.5\n"));
}

QTEST_GUILESS_MAIN(TestWavFile)
#include "tst_wavfile.moc"
