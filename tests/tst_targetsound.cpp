#include "audio/TargetSound.h"
#include "audio/WavFile.h"
#include "support/WavBuilder.h"

#include <QTemporaryDir>
#include <QTest>

#include <iostream>
#include <sstream>

Q_DECLARE_METATYPE(TargetSound::Problem)

class TestTargetSound : public QObject
{
    Q_OBJECT
private slots:
    void afterAGoodFile_data();
    void afterAGoodFile();
    void nothingRead();
    void decodedSamplesFallingShort();
};

void TestTargetSound::afterAGoodFile_data()
{
    QTest::addColumn<int>("channels"); // -1: no file at the path
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("frames");
    QTest::addColumn<double>("duration");
    QTest::addColumn<TargetSound::Problem>("problem");
    QTest::addColumn<QString>("text"); // a failed read adds the path

    using P = TargetSound::Problem;
    const QString none, noChannels = "The target sound file has no channels.",
                        noSamples = "The target sound file holds no samples.";
    QTest::newRow("mono") << 1 << 40000 << 6 << 6 / 40000.0 << P::None << none;
    QTest::newRow("stereo") << 2 << 48000 << 6 << 6 / 48000.0 << P::None << none;
    QTest::newRow("3 channels") << 3 << 40000 << 6 << 6 / 40000.0 << P::None << none;
    QTest::newRow("44100 Hz") << 1 << 44100 << 11025 << 0.25 << P::None << none;
    QTest::newRow("8192") << 1 << 40000 << 8192 << 0.2048 << P::None << none;
    QTest::newRow("8193") << 1 << 40000 << 8193 << 0.204825 << P::None << none;
    QTest::newRow("0 Hz") << 1 << 0 << 6 << 0.0 << P::None << none;
    QTest::newRow("0 channels") << 0 << 40000 << 6 << 0.0 << P::NoChannels << noChannels;
    QTest::newRow("no data") << 1 << 40000 << 0 << 0.0 << P::NoFrames << noSamples;
    QTest::newRow("half a stereo frame") << 2 << 40000 << 0 << 0.0 << P::NoFrames << noSamples;
    QTest::newRow("missing") << -1 << 40000 << 6 << 0.0 << P::ReadFailed << "Unable to open WAV file: ";
}

// The same WavFile read a good stereo file first: nothing of it may stay.
void TestTargetSound::afterAGoodFile()
{
    QFETCH(int, channels);
    QFETCH(int, rate);
    QFETCH(int, frames);
    QFETCH(double, duration);
    QFETCH(TargetSound::Problem, problem);
    QFETCH(QString, text);

    QVector<double> first, interleaved;
    for (int i = 0; i < frames; ++i) {
        first << ((100 + i * 37) % 32768) / 32768.0; // exact in 16 bits
        for (int c = 0; c < channels; ++c)
            interleaved << (c == 0 ? first[i] : -0.25 * c);
    }
    if (channels != 1)
        interleaved << 0.5; // part of a frame: never part of the target
    WavBuilder file = WavBuilder().channels(quint16(channels)).sampleRate(quint32(rate));
    if (channels > 2)
        file.extensible();
    QTemporaryDir dir;
    const QString good = dir.filePath("good.wav"), path = dir.filePath("target.wav");
    QVERIFY(WavBuilder::writeStereo16(good, {0.5, 0.25, 0.125}, {-0.5, -0.25, -0.125}, 40000));
    QVERIFY(channels < 0 || file.data(WavBuilder::pcm16(interleaved)).writeTo(path));

    WavFile wav;
    QVERIFY(wav.readWavFile(good.toUtf8()));
    std::ostringstream errors; // keeps the reader's diagnostics out of the log
    std::streambuf *previous = std::cerr.rdbuf(errors.rdbuf());
    QCOMPARE(wav.readWavFile(path.toUtf8()), channels >= 0);
    std::cerr.rdbuf(previous);

    const TargetSound target(wav);
    QCOMPARE(target.problem(), problem);
    QCOMPARE(target.isUsable(), problem == TargetSound::Problem::None);
    QCOMPARE(target.problemText(), channels < 0 ? text + path : text);
    QVERIFY2(qAbs(target.durationSeconds() - duration) < 1e-12, qPrintable(QString::number(target.durationSeconds())));
    const QVector<double> expected = target.isUsable() ? first : QVector<double>();
    QCOMPARE(target.frameCount(), expected.size());
    QCOMPARE(target.firstChannel(), expected);
}

void TestTargetSound::nothingRead()
{
    const TargetSound target{WavFile()};
    QCOMPARE(target.problem(), TargetSound::Problem::NotRead);
    QCOMPARE(target.problemText(), QString("No target sound file has been read."));
    QCOMPARE(target.frameCount(), 0);
    QCOMPARE(target.firstChannel().size(), 0);
}

void TestTargetSound::decodedSamplesFallingShort()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("s.wav");
    QVERIFY(WavBuilder::writeStereo16(path, {0.5, 0.25, 0.125, 0.0625}, {-0.5, -0.25, -0.125, -0.0625}, 40000));
    WavFile wav;
    QVERIFY(wav.readWavFile(path.toUtf8()));
    wav.samples.resize(3); // frame 1's left sample is the last one there
    const TargetSound target(wav);
    QCOMPARE(target.frameCount(), 4);
    QCOMPARE(target.firstChannel(), (QVector<double>{0.5, 0.25, 0.0, 0.0}));
}

QTEST_GUILESS_MAIN(TestTargetSound)
#include "tst_targetsound.moc"
