#include "audio/TargetSound.h"
#include "audio/WavFile.h"
#include "support/WavBuilder.h"

#include <QTemporaryDir>
#include <QTest>

#include <iostream>
#include <sstream>

namespace {

// Multiples of 1/32768, so the 16-bit file gives them back exactly.
QVector<double> steps(int count, int first, int stride)
{
    QVector<double> values;
    for (int i = 0; i < count; ++i)
        values << ((first + i * stride) % 32768) / 32768.0;
    return values;
}

QVector<double> interleave(const QVector<QVector<double>> &channels)
{
    QVector<double> out;
    for (int i = 0; i < channels.first().size(); ++i)
        for (const QVector<double> &channel : channels)
            out << channel[i];
    return out;
}

// Keeps the reader's diagnostics out of the test log.
class QuietErrors
{
public:
    QuietErrors() : previous(std::cerr.rdbuf(sink.rdbuf())) {}
    ~QuietErrors() { std::cerr.rdbuf(previous); }

private:
    std::ostringstream sink;
    std::streambuf *previous;
};

} // namespace

Q_DECLARE_METATYPE(TargetSound::Problem)

class TestTargetSound : public QObject
{
    Q_OBJECT
private slots:
    void takesFirstChannel_data();
    void takesFirstChannel();
    void refusesUnusableFiles_data();
    void refusesUnusableFiles();
    void failedReadAfterGoodOneIsNotUsable();
    void nothingReadIsNotUsable();
    void missingDecodedSamplesStayZero();

private:
    QTemporaryDir dir;
};

void TestTargetSound::takesFirstChannel_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("frames");
    QTest::addColumn<double>("duration");
    QTest::addColumn<QVector<double>>("expected");

    const QVector<double> first = steps(6, 100, 37);
    const QVector<double> second = steps(6, -3000, 11);
    const QVector<double> third = steps(6, 5000, -7);
    QTest::newRow("mono") << WavBuilder().data(WavBuilder::pcm16(first)).bytes() << 6 << 6 / 40000.0 << first;
    QTest::newRow("stereo gives the left channel")
        << WavBuilder().channels(2).sampleRate(48000).data(WavBuilder::pcm16(interleave({first, second}))).bytes()
        << 6 << 6 / 48000.0 << first;
    QTest::newRow("3 channels give the first channel")
        << WavBuilder().channels(3).extensible().data(WavBuilder::pcm16(interleave({first, second, third}))).bytes()
        << 6 << 6 / 40000.0 << first;
    QTest::newRow("stereo with half a frame at the end")
        << WavBuilder().channels(2).data(WavBuilder::pcm16(interleave({first, second}) << 0.5)).bytes()
        << 6 << 6 / 40000.0 << first;
    const QVector<double> quarterSecond = steps(11025, 1, 3);
    QTest::newRow("44100 Hz, 11025 frames")
        << WavBuilder().sampleRate(44100).data(WavBuilder::pcm16(quarterSecond)).bytes() << 11025 << 0.25
        << quarterSecond;
    const QVector<double> power = steps(8192, 7, 5);
    QTest::newRow("8192 frames") << WavBuilder().data(WavBuilder::pcm16(power)).bytes() << 8192 << 8192 / 40000.0
                                 << power;
    const QVector<double> onePast = steps(8193, 7, 5);
    QTest::newRow("8193 frames") << WavBuilder().data(WavBuilder::pcm16(onePast)).bytes() << 8193
                                 << 8193 / 40000.0 << onePast;
    QTest::newRow("sample rate 0") << WavBuilder().sampleRate(0).data(WavBuilder::pcm16(first)).bytes() << 6 << 0.0
                                   << first;
}

void TestTargetSound::takesFirstChannel()
{
    QFETCH(QByteArray, file);
    QFETCH(int, frames);
    QFETCH(double, duration);
    QFETCH(QVector<double>, expected);

    const QString path = dir.filePath("target.wav");
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(out.write(file), qint64(file.size()));
    out.close();

    WavFile wav;
    QVERIFY(wav.readWavFile(path.toUtf8()));
    const TargetSound target(wav);
    QVERIFY(target.isUsable());
    QCOMPARE(target.problem(), TargetSound::Problem::None);
    QCOMPARE(target.problemText(), QString());
    QCOMPARE(target.frameCount(), frames);
    QVERIFY2(qAbs(target.durationSeconds() - duration) < 1e-12, qPrintable(QString::number(target.durationSeconds(), 'g', 17)));
    const QVector<double> channel = target.firstChannel();
    QCOMPARE(channel.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(qAbs(channel[i] - expected[i]) < 1e-15,
                 qPrintable(QString("frame %1: %2 instead of %3").arg(i).arg(channel[i]).arg(expected[i])));
}

void TestTargetSound::refusesUnusableFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<TargetSound::Problem>("problem");
    QTest::addColumn<QString>("reason"); // empty: the reader's own message

    const QByteArray four = WavBuilder::pcm16({0.5, 0.25, -0.5, -0.25});
    QTest::newRow("0 channels") << WavBuilder().channels(0).data(four).bytes() << TargetSound::Problem::NoChannels
                                << "The target sound file has no channels.";
    QTest::newRow("no data bytes") << WavBuilder().bytes() << TargetSound::Problem::NoFrames
                                   << "The target sound file holds no samples.";
    QTest::newRow("less than one stereo frame")
        << WavBuilder().channels(2).data(WavBuilder::pcm16({0.5})).bytes() << TargetSound::Problem::NoFrames
        << "The target sound file holds no samples.";
    QTest::newRow("not a WAV file") << QByteArray("plain text, not a sound at all, but long enough")
                                    << TargetSound::Problem::ReadFailed << "";
    QTest::newRow("float samples") << WavBuilder().formatCode(3).bitsPerSample(32).data(four).bytes()
                                   << TargetSound::Problem::ReadFailed << "";
}

void TestTargetSound::refusesUnusableFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(TargetSound::Problem, problem);
    QFETCH(QString, reason);

    const QString path = dir.filePath("unusable.wav");
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(out.write(file), qint64(file.size()));
    out.close();

    WavFile wav;
    {
        QuietErrors quiet;
        wav.readWavFile(path.toUtf8());
    }
    const TargetSound target(wav);
    QVERIFY(!target.isUsable());
    QCOMPARE(target.problem(), problem);
    QCOMPARE(target.problemText(), reason.isEmpty() ? wav.lastError() : reason);
    QVERIFY(!target.problemText().isEmpty());
    QCOMPARE(target.frameCount(), 0);
    QCOMPARE(target.durationSeconds(), 0.0);
    QCOMPARE(target.firstChannel().size(), 0);
}

void TestTargetSound::failedReadAfterGoodOneIsNotUsable()
{
    const QString good = dir.filePath("good.wav");
    QVERIFY(WavBuilder::writeStereo16(good, {0.5, 0.25, 0.125}, {-0.5, -0.25, -0.125}, 40000));

    WavFile wav;
    QVERIFY(wav.readWavFile(good.toUtf8()));
    QCOMPARE(TargetSound(wav).frameCount(), 3);

    const QString missing = dir.filePath("gone.wav");
    {
        QuietErrors quiet;
        QVERIFY(!wav.readWavFile(missing.toUtf8()));
    }
    const TargetSound target(wav);
    QVERIFY(!target.isUsable());
    QCOMPARE(target.problem(), TargetSound::Problem::ReadFailed);
    QCOMPARE(target.problemText(), "Unable to open WAV file: " + missing);
    QCOMPARE(target.frameCount(), 0);
    QCOMPARE(target.firstChannel().size(), 0);
}

void TestTargetSound::nothingReadIsNotUsable()
{
    const WavFile wav;
    const TargetSound target(wav);
    QVERIFY(!target.isUsable());
    QCOMPARE(target.problem(), TargetSound::Problem::NotRead);
    QCOMPARE(target.problemText(), QString("No target sound file has been read."));
    QCOMPARE(target.frameCount(), 0);
    QCOMPARE(target.firstChannel().size(), 0);
}

void TestTargetSound::missingDecodedSamplesStayZero()
{
    const QString path = dir.filePath("stereo.wav");
    QVERIFY(WavBuilder::writeStereo16(path, {0.5, 0.25, 0.125, 0.0625}, {-0.5, -0.25, -0.125, -0.0625}, 40000));
    WavFile wav;
    QVERIFY(wav.readWavFile(path.toUtf8()));
    wav.samples.resize(3); // a decoder that fell short: frame 1's left sample is the last there

    const TargetSound target(wav);
    QVERIFY(target.isUsable());
    QCOMPARE(target.frameCount(), 4);
    const QVector<double> channel = target.firstChannel();
    const QVector<double> expected{0.5, 0.25, 0.0, 0.0};
    QCOMPARE(channel.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(qAbs(channel[i] - expected[i]) < 1e-15, qPrintable(QString("frame %1").arg(i)));
}

QTEST_GUILESS_MAIN(TestTargetSound)
#include "tst_targetsound.moc"
