#include "app/MainWindow.h"
#include "support/GridCells.h"
#include "support/ModalDriver.h"
#include "support/WavBuilder.h"
#include "support/WindowTest.h"

#include <QAudioDeviceInfo>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>

// The experimenter window: as it opens, preparing a session, the settings it reads back, where
// its results go, and a sound the server refuses.
class TestMainWindow : public WindowTest
{
    Q_OBJECT
private slots:
    void panelRows_data();
    void panelRows();
    void arrangementAndFonts();
    void quitClosesTheWindow();
    void preparation_data();
    void preparation();
    void readParameters_data();
    void readParameters();
    void panelStaysPutAtTheFirstMessage();
    void resultsGoWhereTheWindowSays_data();
    void resultsGoWhereTheWindowSays();
    void refusedSoundStillEndsItsPresentation();
};

// What a person reads in a row of the panel, left to right: "(off)" marks a disabled widget,
// "[x]" a ticked box.
static QStringList rowTexts(QLayoutItem *item)
{
    QStringList texts;
    QLayout *box = item ? item->layout() : nullptr;
    for (int i = 0; item && i < (box ? box->count() : 1); ++i) {
        QWidget *widget = box ? box->itemAt(i)->widget() : item->widget();
        const auto *button = qobject_cast<QAbstractButton *>(widget);
        texts << widget->property("text").toString() + (button && button->isChecked() ? " [x]" : "")
                + (widget->isEnabled() ? "" : " (off)");
    }
    return texts;
}

void TestMainWindow::panelRows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("texts");
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

// The panel left of the charts, a third of the spare width; its rows four columns wide; the
// unplaced choice boxes at their first items. The waveform above the spectrum, the trend below
// both, two columns wide. Each chart by its title, margins (none) and the pixel size and weight
// of its title font and its axes' label and title fonts.
void TestMainWindow::arrangementAndFonts()
{
    QList<QList<int>> panel;
    for (int row = 1; row <= 13; ++row)
        panel << QList<int>{row, 0, 1, 4};
    QCOMPARE(gridCells(window->gridLayoutParameters), panel);
    QCOMPARE(gridCells(window->gridLayoutMain), (QList<QList<int>>{{0, 0, 1, 1}, {0, 1, 1, 1}}));
    QCOMPARE(QStringList({window->comboBoxSesType->currentText(), window->comboBoxSoundType->currentText(),
                          window->comboBoxMainParameter->currentText()}), QStringList({"practice", ".wav files", "sound files"}));
    QCOMPARE(QList<int>({window->gridLayoutMain->columnStretch(0), window->gridLayoutMain->columnStretch(1)}), QList<int>({1, 2}));
    QCOMPARE(gridCells(window->gridLayoutCharts), (QList<QList<int>>{{0, 0, 1, 1}, {1, 0, 1, 1}, {2, 0, 1, 2}}));
    const auto font = [](const QFont &font) { return QString(" %1/%2").arg(font.pixelSize()).arg(font.weight()); };
    QStringList charts;
    for (int i = 0; i < window->gridLayoutCharts->count(); ++i) {
        const QtCharts::QChart *chart = qobject_cast<QtCharts::QChartView *>(window->gridLayoutCharts->itemAt(i)->widget())->chart();
        charts << chart->title() + (chart->margins().isNull() ? "" : " with margins") + font(chart->titleFont());
        for (const QtCharts::QAbstractAxis *axis : chart->axes())
            charts.last() += font(axis->labelsFont()) + font(axis->titleFont());
    }
    const QString fonts = " 12/50 10/50 10/50 10/50 10/50";
    QCOMPARE(charts, QStringList({"Time Waveform" + fonts, "Amplitude Spectrum" + fonts, "Response Trend" + fonts}));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->pushButtonQuit->height(), 60);
}

void TestMainWindow::quitClosesTheWindow()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTest::mouseClick(window->pushButtonQuit, Qt::LeftButton);
    QTRY_VERIFY(!window->isVisible());
}

void TestMainWindow::preparation_data()
{
    QTest::addColumn<bool>("experiment");     // the button pressed; else Practice
    QTest::addColumn<int>("cancelAnswer");    // to the question after a cancelled dialog; 0: no cancel
    QTest::addColumn<QString>("lastDialog");  // title and start of the text of the last dialog
    const QString chooser = "Select a target sound file: <desktop>";
    QTest::newRow("experiment") << true << 0 << chooser;
    QTest::newRow("cancel, then No") << false << int(QMessageBox::No)
                                     << "Question: This folder contains no .wav files.\n"
                                        "Do you want to select another folder?";
    QTest::newRow("cancel, Yes, a file") << false << int(QMessageBox::Yes) << chooser;
    QTest::newRow("not a WAV file") << false << 0 << "Warning: The target sound cannot be used:\n<desktop>/chosen.wav";
    QTest::newRow("a list whose second target is not a WAV file")
        << false << 0 << "Warning: The target sound cannot be used:\n<desktop>/chosen.wav (list.txt, line 3)";
}

void TestMainWindow::preparation()
{
    QFETCH(bool, experiment);
    QFETCH(int, cancelAnswer);
    QFETCH(QString, lastDialog);
    const QString chosen = desktop->filePath("chosen.wav");
    const QByteArray formTag = lastDialog.startsWith("Warning") ? "TEXT" : "WAVE"; // not a WAV file, or one
    QVERIFY(WavBuilder().waveTag(formTag).data(WavBuilder::pcm16(QVector<double>(4000, 0.5))).writeTo(chosen));
    // As an earlier run leaves the window.
    window->parameters.trials = {TrialRecord()};
    window->updateTrendChart();
    window->parameters.frequencyCurrent = 730;
    window->pushButtonExperiment->setEnabled(true);
    // The list's first target loads well; nothing of it may stay when the second fails.
    const bool list = QString(QTest::currentDataTag()).contains("list");
    QFile listFile(desktop->filePath("list.txt"));
    QVERIFY(!list || (WavBuilder::writeMono16(desktop->filePath("a.wav"), QVector<double>(8000, 0.25), 40000)
                      && listFile.open(QIODevice::WriteOnly) && listFile.write("a.wav\n# then\nchosen.wav\n") > 0));
    listFile.close();
    const QString shownDuration = window->lineEditSoundDuration->text();
    ModalDriver driver;

    if (cancelAnswer) {
        driver.cancelFileDialog();
        driver.answerMessageBox(QMessageBox::StandardButton(cancelAnswer));
    }
    if (cancelAnswer != QMessageBox::No)
        driver.chooseFile(list ? listFile.fileName() : chosen);
    if (lastDialog.startsWith("Warning"))
        driver.answerMessageBox(QMessageBox::Ok);
    QTest::mouseClick(experiment ? window->pushButtonExperiment : window->pushButtonPractice, Qt::LeftButton);
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));

    const QString seen = driver.seen().last().title + ": " + driver.seen().last().text;
    QVERIFY2(seen.startsWith(lastDialog.replace("<desktop>", desktop->path())), qPrintable(seen));
    const bool prepared = lastDialog.startsWith("Select");
    QCOMPARE(window->pushButtonGo->isEnabled(), prepared);
    QCOMPARE(window->pushButtonExperiment->isEnabled(), experiment);
    QCOMPARE(window->lineEditOutputFileName->text(),
             experiment ? QString("SUB001_experiment001.txt") : QString("SUB001_practice001.txt"));
    QCOMPARE(window->parameters.frequencyCurrent, 500);
    QCOMPARE(window->lineEditWavFileName->text(), prepared ? QString("chosen.wav") : QString("File001.wav"));
    QCOMPARE(window->lineEditSoundDuration->text() == shownDuration, !prepared);
    QCOMPARE(window->waveformSeries->pointsVector().value(0), prepared ? QPointF(0.0, 0.5) : QPointF());
    QCOMPARE(window->spectrumSeries->pointsVector().value(0), prepared ? QPointF(0.0, 1.0) : QPointF()); // the level's bin 0
    QCOMPARE(window->trendSeries->count(), prepared ? 0 : 1);
    QCOMPARE(window->playOrder, prepared ? QVector<int>({0}) : QVector<int>());
}

void TestMainWindow::readParameters_data()
{
    QTest::addColumn<QString>("duration"); // ms, as a target of sampleCount samples shows it
    QTest::addColumn<int>("sampleCount");
    QTest::newRow("10003 samples") << "250.07" << 10003;
    QTest::newRow("908 samples, 907.99... read back") << "22.70" << 908;
}

// The duration read back gives the target's count: its last sample is played too.
void TestMainWindow::readParameters()
{
    QFETCH(QString, duration);
    QFETCH(int, sampleCount);
    window->lineEditSoundDuration->setText(duration);
    window->readParameters();
    QCOMPARE(window->parameters.sampleCount, sampleCount);
}

// No row of the panel moves under the experimenter's pointer when the first message comes.
void TestMainWindow::panelStaysPutAtTheFirstMessage()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QPoint before = window->pushButtonGo->mapTo(window.get(), QPoint());
    window->statusBar()->showMessage("Target: 40000 Hz, 16-bit integer, 1 channel");
    QTRY_COMPARE(window->statusBar()->geometry().top(), window->centralWidget->geometry().bottom() + 1); // laid out
    QCOMPARE(window->pushButtonGo->mapTo(window.get(), QPoint()), before);
}

void TestMainWindow::resultsGoWhereTheWindowSays_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("fileNumber"); // typed into the spin box
    QTest::addColumn<QString>("fileName");
    QTest::newRow("number 120") << "SUB001" << 120 << "SUB001_practice120.txt";
    QTest::newRow("umlaut kept") << QString::fromUtf8("Jö") << 7 << QString::fromUtf8("Jö_practice007.txt");
    QTest::newRow("every forbidden sign") << "A B/\\:*?\"<>|" << 1 << "A B__________practice001.txt";
    QTest::newRow("control characters") << "A\tB\nC\x7f" << 1 << "A_B_C__practice001.txt";
}

void TestMainWindow::resultsGoWhereTheWindowSays()
{
    QFETCH(QString, code);
    QFETCH(int, fileNumber);
    QFETCH(QString, fileName);
    window->lineEditSubCode->setText(code);
    window->spinBoxFileNumber->setValue(fileNumber);
    QVERIFY(QDir(desktop->path()).removeRecursively()); // made anew before the save dialog opens
    window->parameters.trials = {TrialRecord()};
    window->trendFrequency = {730.0};
    ModalDriver driver;
    driver.acceptFileDialog();
    window->finishSession();
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
    QCOMPARE(driver.seen().first().text, desktop->path());
    QCOMPARE(QDir(desktop->path()).entryList({"*.txt"}, QDir::Files), QStringList{fileName});
    QCOMPARE(rowTexts(window->gridLayoutParameters->itemAtPosition(7, 0)), QStringList({"Practice", "Experiment (off)", "Go (off)", "Quit"}));
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
    QCOMPARE(QVariantList({playing.at(0).at(0), playing.at(1).at(0)}), QVariantList({1, -1}));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
