#include "app/MainWindow.h"
#include "support/ModalDriver.h"
#include "support/WindowTest.h"

#include <QAudioDeviceInfo>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

// The experimenter window as it opens, the settings it reads back, and where its results go.
class TestMainWindow : public WindowTest
{
    Q_OBJECT
private slots:
    void panelRows_data();
    void panelRows();
    void titleAndGeometry();
    void readParameters_data();
    void readParameters();
    void resultsGoWhereTheWindowSays_data();
    void resultsGoWhereTheWindowSays();
    void refusedSoundStillEndsItsPresentation();
    void quitClosesTheWindow();
};

// What a person reads in a row of the panel, left to right: "(off)" marks a disabled widget,
// "[x]" a ticked box.
static QStringList rowTexts(QLayoutItem *item)
{
    QList<QWidget *> widgets;
    if (item && item->widget())
        widgets << item->widget();
    for (int i = 0; item && item->layout() && i < item->layout()->count(); ++i)
        widgets << item->layout()->itemAt(i)->widget();
    QStringList texts;
    for (QWidget *widget : widgets) {
        QString text = widget->property("text").toString();
        if (auto *button = qobject_cast<QAbstractButton *>(widget); button && button->isChecked())
            text += " [x]";
        texts << (widget->isEnabled() ? text : text + " (off)");
    }
    return texts;
}

void TestMainWindow::panelRows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("0 empty") << 0 << QStringList();
    QTest::newRow("1 heading") << 1 << QStringList{"Sound File Information"};
    QTest::newRow("2 WAV folder") << 2 << QStringList{"WAV filepath", "<desktop> (off)"};
    QTest::newRow("3 WAV file") << 3 << QStringList{"WAV filename", "File001.wav (off)"};
    QTest::newRow("4 rate") << 4 << QStringList{"Sampling rate", "40000 (off)"};
    QTest::newRow("5 duration") << 5 << QStringList{"Sound duration (ms)", "250.00 (off)"};
    QTest::newRow("6 interval") << 6 << QStringList{"Silent interval (ms)", "500.00 (off)"};
    QTest::newRow("7 buttons") << 7 << QStringList{"Practice", "Experiment (off)", "Go (off)", "Quit"};
    QTest::newRow("8 subject") << 8 << QStringList{"Subject code", "SUB001", "Save data to file [x]"};
    QTest::newRow("9 file number") << 9 << QStringList{"File number", "1"};
    QTest::newRow("10 output folder") << 10 << QStringList{"Output filepath", "<desktop> (off)"};
    QTest::newRow("11 output file") << 11 << QStringList{"Output filename", "SUB001_practice001.txt (off)"};
    QTest::newRow("12 match") << 12 << QStringList{"Frequency matched (Hz)", "not started yet (off)"};
}

void TestMainWindow::panelRows()
{
    QFETCH(int, row);
    QFETCH(QStringList, texts);
    QCOMPARE(rowTexts(window->gridLayoutParameters->itemAtPosition(row, 0)),
             texts.replaceInStrings("<desktop>", desktop->path()));
}

void TestMainWindow::titleAndGeometry()
{
    QCOMPARE(window->windowTitle(), QString("Varnel Lab | Tonvara (v014) | Main Window"));
    const QSize available = QGuiApplication::primaryScreen()->availableSize();
    const QRect geometry = window->geometry();
    QCOMPARE(geometry.size(), QSize(int(available.width() * 0.8), int(available.height() * 0.9)));
    QCOMPARE(geometry.topLeft(), QPoint((available.width() - geometry.width()) / 2,
                                        (available.height() - geometry.height()) / 2));
}

void TestMainWindow::readParameters_data()
{
    QTest::addColumn<QStringList>("durations"); // the duration field's texts, read in order
    QTest::addColumn<int>("sampleCount");
    QTest::addColumn<int>("displaySampleCount");
    QTest::newRow("0.1 ms floors to 4") << QStringList{"0.1"} << 4 << 4;
    QTest::newRow("10003 frames shown as 250.07") << QStringList{"250.07"} << 10002 << 10000;
    QTest::newRow("short sound keeps the display short") << QStringList{"100.00", "250.00"} << 10000 << 4000;
}

void TestMainWindow::readParameters()
{
    QFETCH(QStringList, durations);
    QFETCH(int, sampleCount);
    QFETCH(int, displaySampleCount);
    window->lineEditSilentInterval->setText("1500.00");
    window->checkBoxSaveData->setChecked(false);
    for (const QString &duration : durations) {
        window->lineEditSoundDuration->setText(duration);
        window->readParameters();
    }
    QCOMPARE(window->parameters.sampleCount, sampleCount);
    QCOMPARE(window->parameters.displaySampleCount, displaySampleCount);
    QVERIFY(qAbs(window->parameters.silentInterval - 1.5) < 1e-12);
    QCOMPARE(window->parameters.saveData, false);
}

void TestMainWindow::resultsGoWhereTheWindowSays_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("fileNumber"); // typed into the spin box
    QTest::addColumn<bool>("desktopMissing");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("defaults") << "SUB001" << 1 << false << "SUB001_practice001.txt";
    QTest::newRow("number 120") << "SUB001" << 120 << false << "SUB001_practice120.txt";
    QTest::newRow("number 0 refused") << "SUB001" << 0 << false << "SUB001_practice001.txt";
    QTest::newRow("empty code") << "" << 1 << false << "_practice001.txt";
    QTest::newRow("umlaut kept") << QString::fromUtf8("Jö") << 7 << false << QString::fromUtf8("Jö_practice007.txt");
    QTest::newRow("slash in the code") << "A B/C" << 1 << false << "A B_C_practice001.txt";
    QTest::newRow("every forbidden sign") << "\\:*?\"<>|" << 1 << false << "_________practice001.txt";
    QTest::newRow("control characters") << "A\tB\nC\x7f" << 1 << false << "A_B_C__practice001.txt";
    QTest::newRow("no desktop folder") << "SUB001" << 1 << true << "SUB001_practice001.txt";
}

void TestMainWindow::resultsGoWhereTheWindowSays()
{
    QFETCH(QString, code);
    QFETCH(int, fileNumber);
    QFETCH(bool, desktopMissing);
    QFETCH(QString, fileName);
    window->lineEditSubCode->setText(code);
    window->spinBoxFileNumber->setValue(fileNumber);
    QCOMPARE(window->lineEditOutputFileName->text(), fileName);
    if (desktopMissing)
        QVERIFY(QDir(desktop->path()).removeRecursively());
    window->parameters.trials = {TrialRecord()};
    window->trendFrequency = {730.0};
    ModalDriver driver;
    driver.acceptFileDialog();
    window->finishSession();
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
    QCOMPARE(driver.seen().first().text, desktop->path());
    QCOMPARE(QDir(desktop->path()).entryList(QDir::Files), QStringList{fileName});
    QCOMPARE(window->parameters.subjectCode, code);
}

void TestMainWindow::refusedSoundStillEndsItsPresentation()
{
    // The sound server refuses a stream without channels, from inside the output's start().
    QVERIFY2(!QAudioDeviceInfo::defaultOutputDevice().isNull(), "needs the test sound server");
    window->audioFormat.setChannelCount(0);
    window->targetSignal = QVector<double>(400, 0.5);
    window->parameters.sampleCount = 400;
    QSignalSpy playing(window.get(), SIGNAL(soundPlaying(int)));
    QTest::ignoreMessage(QtWarningMsg, "Audio stopped unexpectedly");
    QVERIFY(QMetaObject::invokeMethod(window.get(), "playOneSound"));
    QTRY_COMPARE(playing.count(), 2);
    QCOMPARE(playing.at(0).at(0).toInt(), 1);
    QCOMPARE(playing.at(1).at(0).toInt(), -1);
}

void TestMainWindow::quitClosesTheWindow()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTest::mouseClick(window->pushButtonQuit, Qt::LeftButton);
    QTRY_VERIFY(!window->isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
