#include "app/MainWindow.h"
#include "support/ModalDriver.h"
#include "support/WindowTest.h"
#include "support/WavBuilder.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QtCharts/QLineSeries>
#include <algorithm>
#include <cmath>

// Practice and Experiment: choosing the target and preparing everything a run needs.
class TestSessionStart : public WindowTest
{
    Q_OBJECT
private slots:
    void init();

    void practiceWithAValidFile();
    void cancelThenNoPreparesNothing();
    void cancelThenYesThenAFile();
    void secondPreparationReplacesTheFirst();
    void unusableFileIsRefused_data();
    void unusableFileIsRefused();
    void experimentRenamesTheResults();
    void randomOrderHoldsEachTargetPerRepetition_data();
    void randomOrderHoldsEachTargetPerRepetition();

private:
    QString writeTone(const QString &name, int frames, double frequency);
    void practice(ModalDriver &driver);

};

void TestSessionStart::init()
{
    WindowTest::init();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

QString TestSessionStart::writeTone(const QString &name, int frames, double frequency)
{
    QVector<double> samples(frames);
    for (int i = 0; i < frames; ++i)
        samples[i] = 0.5 * std::sin(2.0 * M_PI * frequency * i / 40000.0);
    const QString path = desktop->filePath(name);
    return WavBuilder::writeMono16(path, samples, 40000) ? path : QString();
}

void TestSessionStart::practice(ModalDriver &driver)
{
    QTest::mouseClick(window->pushButtonPractice, Qt::LeftButton);
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
}

void TestSessionStart::practiceWithAValidFile()
{
    const QString path = writeTone("tone1.wav", 10000, 1000.0);
    ModalDriver driver;
    driver.chooseFile(path);
    practice(driver);

    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen().first().title, QString("Select a target sound file"));
    QCOMPARE(driver.seen().first().text, desktop->path());
    QCOMPARE(driver.seen().first().detail, QString("Sound files (*.wav)"));
    QCOMPARE(window->targetCount, 1);
    QCOMPARE(window->parameters.trials.size(), 1);
    QCOMPARE(window->parameters.trials.first().filePath, desktop->path());
    QCOMPARE(window->parameters.trials.first().fileName, QString("tone1.wav"));
    QCOMPARE(window->playOrder, QVector<int>({0}));
    QCOMPARE(window->playPosition, 0);
    QCOMPARE(window->pushButtonGo->isEnabled(), true);
    QCOMPARE(window->pushButtonExperiment->isEnabled(), false);
    QCOMPARE(window->pushButtonPractice->isEnabled(), true);
    QCOMPARE(window->lineEditWavFilePath->text(), desktop->path());
    QCOMPARE(window->lineEditWavFileName->text(), QString("tone1.wav"));
    QCOMPARE(window->lineEditSoundDuration->text(), QString("250.00"));
    QCOMPARE(window->lineEditFrequencyMatched->text(), QString("not started yet"));
    QCOMPARE(window->waveformSeries->count(), 10000);
    QCOMPARE(window->spectrumSeries->count(), 819);
    // The 1000 Hz tone shows as the spectrum's peak.
    const auto peak = std::max_element(window->spectrumAmplitude.cbegin(), window->spectrumAmplitude.cend());
    QCOMPARE(int(peak - window->spectrumAmplitude.cbegin()), 410);
    QCOMPARE(window->trendSeries->count(), 0);
}

void TestSessionStart::cancelThenNoPreparesNothing()
{
    ModalDriver driver;
    driver.cancelFileDialog();
    driver.answerMessageBox(QMessageBox::No);
    practice(driver);
    QCOMPARE(driver.seen().size(), 2);
    QCOMPARE(driver.seen().at(1).title, QString("Question"));
    QCOMPARE(driver.seen().at(1).text,
             QString("This folder contains no .wav files.\nDo you want to select another folder?"));
    QCOMPARE(window->targetCount, 0);
    QVERIFY(window->parameters.trials.isEmpty());
    QCOMPARE(window->pushButtonGo->isEnabled(), false);
    QCOMPARE(window->waveformSeries->count(), 0);
    QCOMPARE(window->lineEditWavFileName->text(), QString("File001.wav"));
}

void TestSessionStart::cancelThenYesThenAFile()
{
    const QString path = writeTone("tone1.wav", 10000, 500.0);
    ModalDriver driver;
    driver.cancelFileDialog();
    driver.answerMessageBox(QMessageBox::Yes);
    driver.chooseFile(path);
    practice(driver);
    QCOMPARE(driver.seen().size(), 3);
    QCOMPARE(window->targetCount, 1);
    QCOMPARE(window->pushButtonGo->isEnabled(), true);
    QCOMPARE(window->waveformSeries->count(), 10000);
}

void TestSessionStart::secondPreparationReplacesTheFirst()
{
    ModalDriver driver;
    driver.chooseFile(writeTone("first.wav", 10000, 500.0));
    practice(driver);
    window->parameters.frequencyCurrent = 730;
    window->parameters.trials.first().matchedFrequency = 730.0;
    window->updateTrendChart();
    QCOMPARE(window->trendSeries->count(), 1);

    driver.chooseFile(writeTone("second.wav", 4000, 250.0));
    practice(driver);
    QCOMPARE(window->parameters.trials.size(), 1);
    QCOMPARE(window->parameters.trials.first().fileName, QString("second.wav"));
    QCOMPARE(window->parameters.trials.first().matchedFrequency, 0.0);
    QCOMPARE(window->parameters.frequencyCurrent, 500);
    QCOMPARE(window->trendSeries->count(), 0);
    QCOMPARE(window->waveformSeries->count(), 4000);
    QCOMPARE(window->lineEditSoundDuration->text(), QString("100.00"));
}

void TestSessionStart::unusableFileIsRefused_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QTest::newRow("not a WAV") << WavBuilder().waveTag("TEXT").data(WavBuilder::pcm16({0.5})).bytes()
                               << "Not a WAV file";
    QTest::newRow("cut short") << WavBuilder().data(WavBuilder::pcm16({0.5})).truncateTo(16).bytes()
                               << "Header is incomplete";
    QTest::newRow("no samples") << WavBuilder().bytes() << "no samples";
    QTest::newRow("no channels") << WavBuilder().channels(0).data(WavBuilder::pcm16({0.5, 0.25})).bytes()
                                 << "no channels";
    QTest::newRow("ADPCM samples") << WavBuilder().formatCode(2).bitsPerSample(4).data(QByteArray(16, 0)).bytes()
                                   << "Not a PCM";
}

void TestSessionStart::unusableFileIsRefused()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    ModalDriver driver;
    driver.chooseFile(writeTone("good.wav", 10000, 1000.0));
    practice(driver);
    const QVector<double> goodTarget = window->targetSignal;

    const QString path = desktop->filePath("bad.wav");
    QFile bad(path);
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(content);
    bad.close();
    driver.chooseFile(path);
    driver.answerMessageBox(QMessageBox::Ok);
    practice(driver);

    QCOMPARE(driver.seen().last().title, QString("Warning"));
    QVERIFY2(driver.seen().last().text.contains(path), qPrintable(driver.seen().last().text));
    QVERIFY2(driver.seen().last().text.contains(reason), qPrintable(driver.seen().last().text));
    QCOMPARE(window->targetCount, 0);
    QCOMPARE(window->pushButtonGo->isEnabled(), false);
    QCOMPARE(window->targetSignal, goodTarget);
    QCOMPARE(window->waveformSeries->count(), 10000);
    QCOMPARE(window->spectrumSeries->count(), 819);
    QCOMPARE(window->lineEditWavFileName->text(), QString("good.wav"));
}

void TestSessionStart::experimentRenamesTheResults()
{
    window->spinBoxFileNumber->setValue(2);
    QCOMPARE(window->lineEditOutputFileName->text(), QString("SUB001_practice002.txt"));
    window->pushButtonExperiment->setEnabled(true);
    ModalDriver driver;
    driver.chooseFile(writeTone("tone1.wav", 10000, 1000.0));
    QTest::mouseClick(window->pushButtonExperiment, Qt::LeftButton);
    QVERIFY(driver.waitUntilDone());
    QCOMPARE(window->comboBoxSesType->currentIndex(), 1);
    QCOMPARE(window->parameters.sessionType, 1);
    QCOMPARE(window->lineEditOutputFileName->text(), QString("SUB001_experiment002.txt"));
    QCOMPARE(window->parameters.outputFileName, QString("SUB001_experiment002.txt"));
    QCOMPARE(window->pushButtonExperiment->isEnabled(), true);
    QCOMPARE(window->pushButtonGo->isEnabled(), true);
}

void TestSessionStart::randomOrderHoldsEachTargetPerRepetition_data()
{
    QTest::addColumn<int>("repetitions");
    QTest::addColumn<int>("targets");
    QTest::newRow("one of one") << 1 << 1;
    QTest::newRow("3 x 2") << 3 << 2;
    QTest::newRow("5 x 7") << 5 << 7;
    QTest::newRow("none") << 0 << 4;
}

void TestSessionStart::randomOrderHoldsEachTargetPerRepetition()
{
    QFETCH(int, repetitions);
    QFETCH(int, targets);
    window->repetitions = repetitions;
    window->targetCount = targets;
    window->makeRandomOrder();
    QCOMPARE(window->playOrder.size(), repetitions * targets);
    for (int index = 0; index < targets; ++index)
        QCOMPARE(int(std::count(window->playOrder.cbegin(), window->playOrder.cend(), index)), repetitions);
}

QTEST_MAIN(TestSessionStart)
#include "tst_sessionstart.moc"
