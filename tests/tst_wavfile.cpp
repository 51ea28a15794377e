#include "audio/WavFile.h"
#include "support/WavBuilder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <iostream>
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
    void handlesMalformedFiles_data();
    void handlesMalformedFiles();
    void refusesDataTooLargeToHold();
    void writeReplacesFileAndRoundTrips_data();
    void writeReplacesFileAndRoundTrips();
    void writeToDirectoryFails();

private:
    QTemporaryDir dir;
};

void TestWavFile::decodesExtremes_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QVector<double>>("expected");

    QTest::newRow("8-bit") << 8 << 1 << QByteArray::fromHex("8000ff") << QVector<double>{0.0, -1.0, 0.9921875};
    QTest::newRow("16-bit") << 16 << 1 << QByteArray::fromHex("0080ff7f0000ffff")
                            << QVector<double>{-1.0, 0.999969482421875, 0.0, -3.0517578125e-05};
    QTest::newRow("24-bit") << 24 << 1 << QByteArray::fromHex("000080ffff7fffffff")
                            << QVector<double>{-1.0, 0.99999988079071044921875, -1.1920928955078125e-07};
    QTest::newRow("stereo") << 16 << 2 << WavBuilder::pcm16({0.25, 0.75, -0.5, -1.0})
                            << QVector<double>{0.25, 0.75, -0.5, -1.0};
}

void TestWavFile::decodesExtremes()
{
    QFETCH(int, bits);
    QFETCH(int, channels);
    QFETCH(QByteArray, data);
    QFETCH(QVector<double>, expected);

    const QString path = dir.filePath("extremes.wav");
    QVERIFY(WavBuilder().bitsPerSample(quint16(bits)).channels(quint16(channels)).data(data).writeTo(path));
    WavFile wav;
    QVERIFY(wav.readWavFile(path.toUtf8()));
    QCOMPARE(int(wav.numSamples), expected.size());
    QCOMPARE(wav.samples.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(qAbs(wav.samples[i] - expected[i]) < 1e-15, qPrintable(QString("sample %1: %2").arg(i).arg(wav.samples[i])));
}

void TestWavFile::handlesMalformedFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message"); // the line on standard error, before the path
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("first");

    const auto wav = [] { return WavBuilder().data(ramp16(8)); };
    const double r = 1 / 128.0;
    const QString notPcm("Not a PCM (linear quantitation) WAV file: ");
    const QString badBits("Not a 8-bit, 16-bit, or 24-bit WAV file: ");
    const QString tooShort("Format chunk is too short: ");
    const QString noData("No data chunk in WAV file: ");
    const QString shortData("WAV data is shorter than its header says (only %1 of %2 bytes present): ");

    QTest::newRow("empty") << QByteArray() << false << "Header size is zero. " << 0 << 0.0;
    for (int cut : {4, 12, 20, 36, 43})
        QTest::addRow("cut at %d", cut) << wav().truncateTo(cut).bytes() << false
                                        << QString("Header is incomplete (%1 of 44 bytes): ").arg(cut) << 0 << 0.0;
    QTest::newRow("WAVE missing") << wav().waveTag("AVI ").bytes() << false << "Not a WAV file: " << 0 << 0.0;
    QTest::newRow("RIFF not checked") << wav().riffTag("JUNK").bytes() << true << "" << 8 << r;
    QTest::newRow("format 0") << wav().formatCode(0).bytes() << false << notPcm << 0 << 0.0;
    QTest::newRow("format 3") << wav().formatCode(3).bitsPerSample(32).bytes() << false << notPcm << 0 << 0.0;
    QTest::newRow("0xFFFE float")
        << wav().bitsPerSample(32).extensible(WavBuilder::floatSubFormat()).bytes() << false << notPcm << 0 << 0.0;
    QTest::newRow("0xFFFE PCM") << wav().extensible().bytes() << true << "" << 8 << r;
    QTest::newRow("0xFFFE PCM 32 bits") << wav().bitsPerSample(32).extensible().bytes() << false << badBits << 0 << 0.0;
    QTest::newRow("0xFFFE in 16 bytes") << wav().formatCode(0xFFFE).bytes() << false << tooShort << 0 << 0.0;
    for (int bits : {0, 12, 32})
        QTest::addRow("bits %d", bits) << wav().bitsPerSample(quint16(bits)).bytes() << false << badBits << 0 << 0.0;
    QTest::newRow("fmt size 0") << wav().fmtSize(0).bytes() << false << tooShort << 0 << 0.0;
    QTest::newRow("no fmt") << wav().fmtTag("junk").bytes() << false << "No format chunk in WAV file: " << 0 << 0.0;
    QTest::newRow("no data") << wav().dataTag("dat ").bytes() << false << noData << 0 << 0.0;
    QTest::newRow("chunk past the end")
        << wav().chunkBeforeData("JUNK", "jjjj").bytes().replace(40, 4, QByteArray::fromHex("f0ffffff")) << false
        << noData << 0 << 0.0;
    QTest::newRow("0 channels") << wav().channels(0).bytes() << true << "" << 8 << r;
    QTest::newRow("LIST before data")
        << wav().chunkBeforeData("LIST", QByteArray("INFOISFT\x0e\0\0\0Lavf58.76.100\0\0", 26)).bytes() << true << ""
        << 8 << r;
    QTest::newRow("18-byte fmt") << wav().fmtExtra(QByteArray(2, '\0')).bytes() << true << "" << 8 << r;
    QTest::newRow("odd chunk, pad byte") << wav().chunkBeforeData("JUNK", "abc").bytes() << true << "" << 8 << r;
    QTest::newRow("dataSize 0") << WavBuilder().bytes() << true << "" << 0 << 0.0;
    QTest::newRow("dataSize 0x7FFFFFFF") << WavBuilder().dataSize(0x7FFFFFFF).data(ramp16(50)).bytes() << true
                                         << shortData.arg(100).arg(2147483647u) << 50 << r;
    QTest::newRow("dataSize 0xFFFFFFFF") << WavBuilder().dataSize(0xFFFFFFFF).data(ramp16(50)).bytes() << true
                                         << shortData.arg(100).arg(4294967295u) << 50 << r;
    QTest::newRow("24-bit, 11 bytes")
        << WavBuilder().bitsPerSample(24).data(QByteArray::fromHex("000040000080ffff7f1122")).bytes() << true << ""
        << 3 << 0.5;
    QTest::newRow("a directory") << QByteArray() << false << "Unable to open WAV file: " << 0 << 0.0;
    QTest::newRow("a missing path") << QByteArray() << false << "Unable to open WAV file: " << 0 << 0.0;
}

// Each file is read after a good one, so nothing of that one may be left behind.
void TestWavFile::handlesMalformedFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);
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
        QVERIFY2(qAbs(wav.samples[0] - first) < 1e-15, qPrintable(QString::number(wav.samples[0])));
    if (!ok) {
        QCOMPARE(wav.bytesRead, qint64(0));
        QVERIFY(wav.numChannels != 2 || wav.sampleRate != 44100);
    }
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
    QTest::newRow("canonical") << WavBuilder().data(six).bytes() << WavBuilder().data(six).bytes();
    QTest::newRow("LIST, 18-byte fmt")
        << WavBuilder().sampleRate(44100).fmtExtra(QByteArray(2, '\0')).chunkBeforeData("LIST", "INFOabc").data(six).bytes()
        << WavBuilder().sampleRate(44100).data(six).bytes();
    QTest::newRow("0xFFFE 24-bit 3 channels")
        << WavBuilder().channels(3).bitsPerSample(24).extensible().data(frames24).bytes()
        << WavBuilder().channels(3).bitsPerSample(24).data(frames24).bytes();
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

QTEST_GUILESS_MAIN(TestWavFile)
#include "tst_wavfile.moc"
