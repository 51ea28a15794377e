#include "app/MainWindow.h"
#include "support/WindowTest.h"

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

// The experimenter window as it opens, and the settings it reads back from its fields.
class TestMainWindow : public WindowTest
{
    Q_OBJECT
private slots:

    void stateAfterConstruction();
    void settingsAfterConstruction();
    void geometryFollowsTheScreen();
    void fileNumberLimits();
    void outputNameFollowsTheFields();
    void readParameters_data();
    void readParameters();
    void shortSoundClampsTheDisplayForLaterSounds();
    void quitClosesTheWindow();
    void destructionReleasesEveryObject();

};

void TestMainWindow::stateAfterConstruction()
{
    // Only Practice, Quit, the subject code, the file number and the save box are usable.
    QCOMPARE(window->pushButtonPractice->isEnabled(), true);
    QCOMPARE(window->pushButtonQuit->isEnabled(), true);
    QCOMPARE(window->lineEditSubCode->isEnabled(), true);
    QCOMPARE(window->spinBoxFileNumber->isEnabled(), true);
    QCOMPARE(window->checkBoxSaveData->isEnabled(), true);
    QCOMPARE(window->pushButtonExperiment->isEnabled(), false);
    QCOMPARE(window->pushButtonGo->isEnabled(), false);
    for (QLineEdit *field : {window->lineEditSamplingRate, window->lineEditSoundDuration,
                             window->lineEditSilentInterval, window->lineEditWavFilePath,
                             window->lineEditWavFileName, window->lineEditOutputFilePath,
                             window->lineEditOutputFileName, window->lineEditFrequencyMatched})
        QCOMPARE(field->isEnabled(), false);

    QCOMPARE(window->lineEditSamplingRate->text(), QString("40000"));
    QCOMPARE(window->lineEditSoundDuration->text(), QString("250.00"));
    QCOMPARE(window->lineEditSilentInterval->text(), QString("500.00"));
    QCOMPARE(window->lineEditSubCode->text(), QString("SUB001"));
    QCOMPARE(window->lineEditWavFileName->text(), QString("File001.wav"));
    QCOMPARE(window->lineEditOutputFileName->text(), QString("SUB001_practice001.txt"));
    QCOMPARE(window->lineEditFrequencyMatched->text(), QString("not started yet"));
}

void TestMainWindow::settingsAfterConstruction()
{
    QCOMPARE(window->windowTitle(), QString("Varnel Lab | Tonvara (v014) | Main Window"));
    QCOMPARE(window->lineEditWavFilePath->text(), desktop->path());
    QCOMPARE(window->lineEditOutputFilePath->text(), desktop->path());
    QCOMPARE(window->checkBoxSaveData->isChecked(), true);
    QCOMPARE(window->comboBoxSesType->count(), 2);
    QCOMPARE(window->comboBoxSesType->currentIndex(), 0);
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

void TestMainWindow::outputNameFollowsTheFields()
{
    window->lineEditSubCode->setText("AB");
    window->comboBoxSesType->setCurrentIndex(1);
    window->spinBoxFileNumber->setValue(12);
    QCOMPARE(window->lineEditOutputFileName->text(), QString("AB_experiment012.txt"));
    QCOMPARE(window->parameters.outputFileName, QString("AB_experiment012.txt"));
    QCOMPARE(window->parameters.sessionType, 1);
    QCOMPARE(window->parameters.fileNumber, 12);
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
