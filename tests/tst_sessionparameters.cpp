#include "app/MainWindow.h"

#include <QTest>
#include <cmath>

// Naming of the results file and the analysis sizes, without a window.
class TestSessionParameters : public QObject
{
    Q_OBJECT
private slots:
    void outputFileName_data();
    void outputFileName();
    void fftLength_data();
    void fftLength();
    void spectrumBinCount_data();
    void spectrumBinCount();
    void clampDisplayDuration_data();
    void clampDisplayDuration();
    void clampOnlyEverLowersTheDisplay();
    void desktopFolderIsTheDefault();
};

void TestSessionParameters::outputFileName_data()
{
    QTest::addColumn<QString>("subjectCode");
    QTest::addColumn<QString>("sessionTypeName");
    QTest::addColumn<int>("fileNumber");
    QTest::addColumn<QString>("expected");
    QTest::newRow("defaults") << "SUB001" << "practice" << 1 << "SUB001_practice001.txt";
    QTest::newRow("experiment 12 AB") << "AB" << "experiment" << 12 << "AB_experiment012.txt";
    QTest::newRow("empty code") << "" << "practice" << 1 << "_practice001.txt";
    QTest::newRow("three digits") << "SUB001" << "practice" << 999 << "SUB001_practice999.txt";
    QTest::newRow("1000 stays whole") << "SUB001" << "practice" << 1000 << "SUB001_practice1000.txt";
    QTest::newRow("umlaut code") << QString::fromUtf8("Jö") << "practice" << 7 << QString::fromUtf8("Jö_practice007.txt");
}

void TestSessionParameters::outputFileName()
{
    QFETCH(QString, subjectCode);
    QFETCH(QString, sessionTypeName);
    QFETCH(int, fileNumber);
    QFETCH(QString, expected);
    QCOMPARE(SessionParameters::outputFileNameFor(subjectCode, sessionTypeName, fileNumber), expected);
}

void TestSessionParameters::fftLength_data()
{
    QTest::addColumn<int>("sampleCount");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty has none") << 0 << 0;
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("3") << 3 << 4;
    QTest::newRow("1000") << 1000 << 1024;
    QTest::newRow("4096 exact") << 4096 << 4096;
    QTest::newRow("4097") << 4097 << 8192;
    QTest::newRow("10000 default") << 10000 << 16384;
    QTest::newRow("44100") << 44100 << 65536;
    QTest::newRow("2^27 + 1") << (1 << 27) + 1 << (1 << 28);
    QTest::newRow("2^28") << (1 << 28) << (1 << 28);
}

void TestSessionParameters::fftLength()
{
    QFETCH(int, sampleCount);
    QFETCH(int, expected);
    QCOMPARE(SessionParameters::fftLengthFor(sampleCount), expected);
}

void TestSessionParameters::spectrumBinCount_data()
{
    QTest::addColumn<int>("fftLength");
    QTest::addColumn<double>("samplingRate");
    QTest::addColumn<int>("expected");
    QTest::newRow("defaults 819.2") << 16384 << 40000.0 << 819;
    QTest::newRow("capped at half the block") << 8 << 8000.0 << 2;
    QTest::newRow("4096 at 40000") << 4096 << 40000.0 << 204;
    QTest::newRow("empty") << 0 << 40000.0 << 0;
    QTest::newRow("zero rate shows nothing") << 16384 << 0.0 << 0;
}

void TestSessionParameters::spectrumBinCount()
{
    QFETCH(int, fftLength);
    QFETCH(double, samplingRate);
    QFETCH(int, expected);
    QCOMPARE(SessionParameters::spectrumBinCountFor(fftLength, samplingRate, 2000.0), expected);
}

void TestSessionParameters::clampDisplayDuration_data()
{
    QTest::addColumn<int>("sampleCount");
    QTest::addColumn<int>("displaySampleCount");
    QTest::addColumn<double>("displayDuration");
    QTest::newRow("sound as long as the display") << 10000 << 10000 << 0.25;
    QTest::newRow("longer sound") << 20000 << 10000 << 0.25;
    QTest::newRow("100 ms sound") << 4000 << 4000 << 0.1;
    QTest::newRow("4 samples") << 4 << 4 << 0.0001;
    QTest::newRow("empty sound") << 0 << 0 << 0.0;
}

void TestSessionParameters::clampDisplayDuration()
{
    QFETCH(int, sampleCount);
    QFETCH(int, displaySampleCount);
    QFETCH(double, displayDuration);
    SessionParameters parameters;
    parameters.sampleCount = sampleCount;
    parameters.clampDisplayDuration();
    QCOMPARE(parameters.displaySampleCount, displaySampleCount);
    QVERIFY2(std::abs(parameters.displayDuration - displayDuration) < 1e-12,
             qPrintable(QString::number(parameters.displayDuration, 'g', 17)));
}

void TestSessionParameters::clampOnlyEverLowersTheDisplay()
{
    SessionParameters parameters;
    parameters.sampleCount = 4000;
    parameters.clampDisplayDuration();
    parameters.sampleCount = 10000;
    parameters.clampDisplayDuration();
    QCOMPARE(parameters.displaySampleCount, 4000);
    QVERIFY(std::abs(parameters.displayDuration - 0.1) < 1e-12);
}

void TestSessionParameters::desktopFolderIsTheDefault()
{
    qputenv("HOME", "/tmp/tonvara-home-for-defaults");
    SessionParameters parameters;
    QCOMPARE(parameters.wavFilePath, SessionParameters::desktopDirectory());
    QCOMPARE(parameters.outputFilePath, QString("/tmp/tonvara-home-for-defaults/Desktop"));
    TrialRecord record;
    QCOMPARE(record.filePath, parameters.outputFilePath);
}

QTEST_GUILESS_MAIN(TestSessionParameters)
#include "tst_sessionparameters.moc"
