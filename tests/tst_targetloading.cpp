#include "app/MainWindow.h"
#include "support/WindowTest.h"
#include "support/WavBuilder.h"

#include <QLineEdit>
#include <QTest>

// A chosen file becoming the session's target, and a file that cannot.
class TestTargetLoading : public WindowTest
{
    Q_OBJECT
private slots:

    void loads_data();
    void loads();
    void stereoGivesTheLeftChannel();
    void thirdChannelFileGivesTheFirstChannel();
    void failedReadAfterAGoodOneLeavesNothingStale();
    void sinusoidHasTheTargetsLength();

private:
    bool load(const QString &name);

};

bool TestTargetLoading::load(const QString &name)
{
    TrialRecord record;
    record.filePath = desktop->path();
    record.fileName = name;
    window->parameters.trials = {record};
    window->playOrder = {0};
    window->playPosition = 0;
    return window->loadTargetSound();
}

static QVector<double> ramp(int count)
{
    QVector<double> values(count);
    for (int i = 0; i < count; ++i)
        values[i] = ((i * 37) % 2001 - 1000) / 32768.0;
    return values;
}

void TestTargetLoading::loads_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("durationText");
    QTest::addColumn<int>("fftLength");
    QTest::addColumn<int>("shownBins");
    QTest::addColumn<int>("displayed");
    QTest::newRow("250 ms at 40000") << 10000 << 40000 << "250.00" << 16384 << 819 << 10000;
    QTest::newRow("44100 Hz file") << 11025 << 44100 << "250.00" << 16384 << 819 << 10000;
    QTest::newRow("8192 frames") << 8192 << 40000 << "204.80" << 8192 << 409 << 8192;
    QTest::newRow("8193 frames") << 8193 << 40000 << "204.83" << 16384 << 819 << 8193;
    QTest::newRow("one frame") << 1 << 40000 << "0.03" << 1 << 0 << 1;
}

void TestTargetLoading::loads()
{
    QFETCH(int, frames);
    QFETCH(int, rate);
    QFETCH(QString, durationText);
    QFETCH(int, fftLength);
    QFETCH(int, shownBins);
    QFETCH(int, displayed);
    const QVector<double> samples = ramp(frames);
    QVERIFY(WavBuilder::writeMono16(desktop->filePath("target.wav"), samples, rate));
    QVERIFY(load("target.wav"));
    QCOMPARE(window->targetLoadError, QString());
    QCOMPARE(window->currentTargetPath, desktop->filePath("target.wav"));
    QCOMPARE(window->parameters.wavFileName, QString("target.wav"));
    QCOMPARE(window->parameters.sampleCount, frames);
    QCOMPARE(window->lineEditSoundDuration->text(), durationText);
    QCOMPARE(window->fftLength, fftLength);
    QCOMPARE(window->spectrumAmplitude.size(), fftLength / 2);
    QCOMPARE(window->parameters.spectrumBinCount, shownBins);
    QCOMPARE(window->parameters.displaySampleCount, displayed);
    QCOMPARE(window->waveformTime.size(), displayed);
    QCOMPARE(window->waveformTime.last(), (displayed - 1) / 40.0);
    QCOMPARE(window->targetSignal, samples);
}

void TestTargetLoading::stereoGivesTheLeftChannel()
{
    const QVector<double> left = ramp(2000);
    QVERIFY(WavBuilder::writeStereo16(desktop->filePath("stereo.wav"), left, QVector<double>(2000, 0.5), 40000));
    QVERIFY(load("stereo.wav"));
    QCOMPARE(window->parameters.sampleCount, 2000);
    QCOMPARE(window->targetSignal, left);
}

void TestTargetLoading::thirdChannelFileGivesTheFirstChannel()
{
    const QVector<double> first = ramp(300);
    QVector<double> interleaved;
    for (double value : first)
        interleaved << value << 0.25 << -0.25;
    QVERIFY(WavBuilder().channels(3).data(WavBuilder::pcm16(interleaved)).writeTo(desktop->filePath("three.wav")));
    QVERIFY(load("three.wav"));
    QCOMPARE(window->parameters.sampleCount, 300);
    QCOMPARE(window->targetSignal, first);
}

void TestTargetLoading::failedReadAfterAGoodOneLeavesNothingStale()
{
    const QVector<double> samples = ramp(4000);
    QVERIFY(WavBuilder::writeMono16(desktop->filePath("good.wav"), samples, 40000));
    QVERIFY(load("good.wav"));
    QFile broken(desktop->filePath("broken.wav"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("RIFF\0\0\0\0WAVX", 12);
    broken.close();

    QVERIFY(!load("broken.wav"));
    QVERIFY(!window->targetLoadError.isEmpty());
    QVERIFY2(window->targetLoadError.contains("broken.wav"), qPrintable(window->targetLoadError));
    // The session keeps the last usable target; nothing of the broken file reaches it.
    QCOMPARE(window->targetSignal, samples);
    QCOMPARE(window->parameters.sampleCount, 4000);
    QCOMPARE(window->lineEditSoundDuration->text(), QString("100.00"));

    QVERIFY(!load("missing.wav"));
    QVERIFY(WavBuilder().channels(0).data(WavBuilder::pcm16({0.5})).writeTo(desktop->filePath("nochannels.wav")));
    QVERIFY(!load("nochannels.wav"));
    QVERIFY(WavBuilder().writeTo(desktop->filePath("empty.wav")));
    QVERIFY(!load("empty.wav"));
    QCOMPARE(window->targetSignal, samples);
}

void TestTargetLoading::sinusoidHasTheTargetsLength()
{
    QVERIFY(WavBuilder::writeMono16(desktop->filePath("short.wav"), ramp(1234), 40000));
    QVERIFY(load("short.wav"));
    window->parameters.frequencyCurrent = 1000;
    window->buildSinusoid();
    QCOMPARE(window->sinusoidSignal.size(), 1234);
    QCOMPARE(window->sinusoidSignal[10], 1.0);
    window->parameters.sampleCount = 0;
    window->buildSinusoid();
    QVERIFY(window->sinusoidSignal.isEmpty());
}

QTEST_MAIN(TestTargetLoading)
#include "tst_targetloading.moc"
