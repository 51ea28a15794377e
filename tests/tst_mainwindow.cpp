#include "app/MainWindow.h"
#include "support/TemporaryDesktop.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QtCharts/QLineSeries>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QtCharts/QChartView>
#include <memory>

// The experimenter window as it opens, and the settings it reads back from its fields.
class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void enabledStatesAfterConstruction_data();
    void enabledStatesAfterConstruction();
    void fieldTextsAfterConstruction_data();
    void fieldTextsAfterConstruction();
    void settingsAfterConstruction();
    void geometryFollowsTheScreen();
    void fileNumberLimits();
    void outputNameFollowsTheFields_data();
    void outputNameFollowsTheFields();
    void readParameters_data();
    void readParameters();
    void shortSoundClampsTheDisplayForLaterSounds();
    void quitClosesTheWindow();
    void destructionReleasesEveryObject();

private:
    std::unique_ptr<TemporaryDesktop> desktop;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::init()
{
    desktop.reset(new TemporaryDesktop);
    QVERIFY(desktop->isValid());
    window.reset(new MainWindow);
}

void TestMainWindow::cleanup()
{
    window.reset();
    desktop.reset();
}

void TestMainWindow::enabledStatesAfterConstruction_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("Practice") << "pushButtonPractice" << true;
    QTest::newRow("Experiment") << "pushButtonExperiment" << false;
    QTest::newRow("Go") << "pushButtonGo" << false;
    QTest::newRow("Quit") << "pushButtonQuit" << true;
    QTest::newRow("subject code") << "lineEditSubCode" << true;
    QTest::newRow("file number") << "spinBoxFileNumber" << true;
    QTest::newRow("save check box") << "checkBoxSaveData" << true;
    QTest::newRow("sampling rate") << "lineEditSamplingRate" << false;
    QTest::newRow("sound duration") << "lineEditSoundDuration" << false;
    QTest::newRow("silent interval") << "lineEditSilentInterval" << false;
    QTest::newRow("WAV path") << "lineEditWavFilePath" << false;
    QTest::newRow("WAV name") << "lineEditWavFileName" << false;
    QTest::newRow("output path") << "lineEditOutputFilePath" << false;
    QTest::newRow("output name") << "lineEditOutputFileName" << false;
    QTest::newRow("frequency matched") << "lineEditFrequencyMatched" << false;
}

void TestMainWindow::enabledStatesAfterConstruction()
{
    QFETCH(QString, widget);
    QFETCH(bool, enabled);
    const QMap<QString, QWidget *> widgets = {
        {"pushButtonPractice", window->pushButtonPractice},
        {"pushButtonExperiment", window->pushButtonExperiment},
        {"pushButtonGo", window->pushButtonGo},
        {"pushButtonQuit", window->pushButtonQuit},
        {"lineEditSubCode", window->lineEditSubCode},
        {"spinBoxFileNumber", window->spinBoxFileNumber},
        {"checkBoxSaveData", window->checkBoxSaveData},
        {"lineEditSamplingRate", window->lineEditSamplingRate},
        {"lineEditSoundDuration", window->lineEditSoundDuration},
        {"lineEditSilentInterval", window->lineEditSilentInterval},
        {"lineEditWavFilePath", window->lineEditWavFilePath},
        {"lineEditWavFileName", window->lineEditWavFileName},
        {"lineEditOutputFilePath", window->lineEditOutputFilePath},
        {"lineEditOutputFileName", window->lineEditOutputFileName},
        {"lineEditFrequencyMatched", window->lineEditFrequencyMatched},
    };
    QVERIFY(widgets.contains(widget));
    QCOMPARE(widgets.value(widget)->isEnabled(), enabled);
}

void TestMainWindow::fieldTextsAfterConstruction_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::newRow("sampling rate") << "samplingRate" << "40000";
    QTest::newRow("sound duration") << "soundDuration" << "250.00";
    QTest::newRow("silent interval") << "silentInterval" << "500.00";
    QTest::newRow("subject code") << "subCode" << "SUB001";
    QTest::newRow("WAV name") << "wavFileName" << "File001.wav";
    QTest::newRow("output name") << "outputFileName" << "SUB001_practice001.txt";
    QTest::newRow("frequency matched") << "frequencyMatched" << "not started yet";
}

void TestMainWindow::fieldTextsAfterConstruction()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    const QMap<QString, QLineEdit *> fields = {
        {"samplingRate", window->lineEditSamplingRate},
        {"soundDuration", window->lineEditSoundDuration},
        {"silentInterval", window->lineEditSilentInterval},
        {"subCode", window->lineEditSubCode},
        {"wavFileName", window->lineEditWavFileName},
        {"outputFileName", window->lineEditOutputFileName},
        {"frequencyMatched", window->lineEditFrequencyMatched},
    };
    QVERIFY(fields.contains(field));
    QCOMPARE(fields.value(field)->text(), text);
}

void TestMainWindow::settingsAfterConstruction()
{
    QCOMPARE(window->windowTitle(), QString("Varnel Lab | Tonvara (v014) | Main Window"));
    QCOMPARE(window->lineEditWavFilePath->text(), desktop->path());
    QCOMPARE(window->lineEditOutputFilePath->text(), desktop->path());
    QCOMPARE(window->checkBoxSaveData->isChecked(), true);
    QCOMPARE(window->comboBoxSesType->count(), 2);
    QCOMPARE(window->comboBoxSesType->currentIndex(), 0);
    QCOMPARE(window->parameters.outputFileName, QString("SUB001_practice001.txt"));
    QCOMPARE(window->fftLength, 16384);
    QCOMPARE(window->parameters.spectrumBinCount, 819);
    QCOMPARE(window->spectrumFrequency.size(), 8192);
    QCOMPARE(window->spectrumAmplitude.size(), 8192);
    QCOMPARE(window->spectrumPoints.size(), 819);
    QCOMPARE(window->waveformPoints.size(), 10000);
    QCOMPARE(window->waveformRange.size(), 2);
    QCOMPARE(window->soundsPerPresentation, 1);
    QCOMPARE(window->audioFormat.sampleRate(), 40000);
    QCOMPARE(window->audioFormat.channelCount(), 1);
    QCOMPARE(window->audioFormat.sampleSize(), 32);
    QCOMPARE(window->audioFormat.sampleType(), QAudioFormat::Float);
    QCOMPARE(window->audioFormat.byteOrder(), QAudioFormat::LittleEndian);
    QCOMPARE(window->audioFormat.codec(), QString("audio/pcm"));
    QCOMPARE(window->axisTitleFont.pixelSize(), 10);
    QCOMPARE(window->chartTitleFont.pixelSize(), 12);
    QVERIFY(!window->subjectWindow);
    QVERIFY(!window->audioOutput);
    // The three choice boxes carry settings but are never shown.
    QVERIFY(!window->comboBoxSesType->parentWidget());
    QCOMPARE(window->comboBoxSesType->isVisible(), false);
}

void TestMainWindow::geometryFollowsTheScreen()
{
    const QSize available = QGuiApplication::primaryScreen()->availableSize();
    const QRect geometry = window->geometry();
    QCOMPARE(geometry.width(), int(available.width() * 0.8));
    QCOMPARE(geometry.height(), int(available.height() * 0.9));
    QCOMPARE(geometry.x(), (available.width() - geometry.width()) / 2);
}

void TestMainWindow::fileNumberLimits()
{
    QCOMPARE(window->spinBoxFileNumber->minimum(), 1);
    QCOMPARE(window->spinBoxFileNumber->maximum(), 999);
    window->spinBoxFileNumber->setValue(0);
    QCOMPARE(window->spinBoxFileNumber->value(), 1);
    window->spinBoxFileNumber->setValue(120);
    QCOMPARE(window->lineEditOutputFileName->text(), QString("SUB001_practice120.txt"));
}

void TestMainWindow::outputNameFollowsTheFields_data()
{
    QTest::addColumn<QString>("subjectCode");
    QTest::addColumn<int>("sessionType");
    QTest::addColumn<int>("fileNumber");
    QTest::addColumn<QString>("expected");
    QTest::newRow("experiment 12 AB") << "AB" << 1 << 12 << "AB_experiment012.txt";
    QTest::newRow("empty code") << "" << 0 << 1 << "_practice001.txt";
    QTest::newRow("practice 99") << "S2" << 0 << 99 << "S2_practice099.txt";
}

void TestMainWindow::outputNameFollowsTheFields()
{
    QFETCH(QString, subjectCode);
    QFETCH(int, sessionType);
    QFETCH(int, fileNumber);
    QFETCH(QString, expected);
    window->lineEditSubCode->setText(subjectCode);
    window->comboBoxSesType->setCurrentIndex(sessionType);
    window->spinBoxFileNumber->setValue(fileNumber);
    QCOMPARE(window->lineEditOutputFileName->text(), expected);
    QCOMPARE(window->parameters.outputFileName, expected);
    QCOMPARE(window->parameters.subjectCode, subjectCode);
    QCOMPARE(window->parameters.sessionType, sessionType);
    QCOMPARE(window->parameters.fileNumber, fileNumber);
}

void TestMainWindow::readParameters_data()
{
    QTest::addColumn<QString>("samplingRate");
    QTest::addColumn<QString>("soundDuration");
    QTest::addColumn<QString>("silentInterval");
    QTest::addColumn<int>("sampleCount");
    QTest::addColumn<double>("soundSeconds");
    QTest::addColumn<double>("silentSeconds");
    QTest::newRow("defaults") << "40000" << "250.00" << "500.00" << 10000 << 0.25 << 0.5;
    QTest::newRow("0.1 ms") << "40000" << "0.1" << "500.00" << 4 << 0.0001 << 0.5;
    QTest::newRow("10003 frames shown as 250.07") << "40000" << "250.07" << "500.00" << 10002 << 0.25007 << 0.5;
    QTest::newRow("text counts as 0") << "40000" << "abc" << "x" << 0 << 0.0 << 0.0;
    QTest::newRow("long pause") << "40000" << "1000.00" << "1500.00" << 40000 << 1.0 << 1.5;
}

void TestMainWindow::readParameters()
{
    QFETCH(QString, samplingRate);
    QFETCH(QString, soundDuration);
    QFETCH(QString, silentInterval);
    QFETCH(int, sampleCount);
    QFETCH(double, soundSeconds);
    QFETCH(double, silentSeconds);
    window->lineEditSamplingRate->setText(samplingRate);
    window->lineEditSoundDuration->setText(soundDuration);
    window->lineEditSilentInterval->setText(silentInterval);
    window->checkBoxSaveData->setChecked(false);
    window->lineEditSubCode->setText("XY");
    window->readParameters();
    QCOMPARE(window->parameters.sampleCount, sampleCount);
    QVERIFY(std::abs(window->parameters.soundDuration - soundSeconds) < 1e-12);
    QVERIFY(std::abs(window->parameters.silentInterval - silentSeconds) < 1e-12);
    QCOMPARE(window->parameters.saveData, false);
    QCOMPARE(window->parameters.subjectCode, QString("XY"));
    QVERIFY(window->parameters.displaySampleCount <= window->parameters.sampleCount);
}

void TestMainWindow::shortSoundClampsTheDisplayForLaterSounds()
{
    window->lineEditSoundDuration->setText("100.00");
    window->readParameters();
    QCOMPARE(window->parameters.displaySampleCount, 4000);
    QVERIFY(std::abs(window->parameters.displayDuration - 0.1) < 1e-12);
    window->lineEditSoundDuration->setText("250.00");
    window->readParameters();
    QCOMPARE(window->parameters.sampleCount, 10000);
    QCOMPARE(window->parameters.displaySampleCount, 4000);
}

void TestMainWindow::quitClosesTheWindow()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTest::mouseClick(window->pushButtonQuit, Qt::LeftButton);
    QTRY_VERIFY(!window->isVisible());
}

void TestMainWindow::destructionReleasesEveryObject()
{
    QPointer<QWidget> view = window->trendChartView;
    QPointer<QObject> series(window->trendSeries);
    QPointer<QWidget> unplaced = window->comboBoxSesType;
    QPointer<QWidget> central = window->centralWidget;
    QVERIFY(view && series && unplaced && central);
    window.reset();
    QVERIFY(!view);
    QVERIFY(!series);
    QVERIFY(!unplaced);
    QVERIFY(!central);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
