#include "app/MainWindow.h"
#include "support/ModalDriver.h"
#include "support/WavBuilder.h"
#include "support/WindowTest.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QtCharts/QLineSeries>
#include <cmath>

// Practice and Experiment after a first session: choosing the target and preparing a run, or
// keeping what the window showed when no usable target was chosen.
class TestSessionStart : public WindowTest
{
    Q_OBJECT
private slots:
    void preparation_data();
    void preparation();

private:
    // A 1000 Hz tone of the given length, 16-bit mono at 40000 Hz.
    static QByteArray tone(int frames)
    {
        QVector<double> samples(frames);
        for (int i = 0; i < frames; ++i)
            samples[i] = 0.5 * std::sin(2.0 * M_PI * 1000.0 * i / 40000.0);
        return WavBuilder().data(WavBuilder::pcm16(samples)).bytes();
    }
    QString put(const QString &name, const QByteArray &bytes)
    {
        QFile file(desktop->filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? file.fileName() : QString();
    }
};

void TestSessionStart::preparation_data()
{
    QTest::addColumn<bool>("experiment");  // the button pressed for the second session
    QTest::addColumn<int>("cancelAnswer"); // to the question after a cancelled dialog; 0: no cancel
    QTest::addColumn<QByteArray>("file");  // the file chosen
    QTest::addColumn<QString>("lastDialog"); // title and start of the text of the last dialog
    const QString chooser = "Select a target sound file: <desktop>";
    QTest::newRow("practice") << false << 0 << tone(10000) << chooser;
    QTest::newRow("experiment") << true << 0 << tone(10000) << chooser;
    QTest::newRow("cancel, then No") << false << int(QMessageBox::No) << tone(10000)
                                     << "Question: This folder contains no .wav files.\n"
                                        "Do you want to select another folder?";
    QTest::newRow("cancel, Yes, a file") << false << int(QMessageBox::Yes) << tone(10000) << chooser;
    QTest::newRow("not a WAV file") << false << 0 << WavBuilder().waveTag("TEXT").data(QByteArray(2, 0)).bytes()
                                    << "Warning: The target sound cannot be used:\n<desktop>/chosen.wav";
}

void TestSessionStart::preparation()
{
    QFETCH(bool, experiment);
    QFETCH(int, cancelAnswer);
    QFETCH(QByteArray, file);
    QFETCH(QString, lastDialog);
    ModalDriver driver;
    driver.chooseFile(put("first.wav", tone(4000)));
    QTest::mouseClick(window->pushButtonPractice, Qt::LeftButton);
    QVERIFY(driver.waitUntilDone());
    window->updateTrendChart();
    window->parameters.frequencyCurrent = 730;
    window->pushButtonExperiment->setEnabled(true); // as after the first run's end

    if (cancelAnswer) {
        driver.cancelFileDialog();
        driver.answerMessageBox(QMessageBox::StandardButton(cancelAnswer));
    }
    if (cancelAnswer != QMessageBox::No)
        driver.chooseFile(put("chosen.wav", file));
    if (lastDialog.startsWith("Warning"))
        driver.answerMessageBox(QMessageBox::Ok);
    QTest::mouseClick(experiment ? window->pushButtonExperiment : window->pushButtonPractice, Qt::LeftButton);
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));

    const QString seen = driver.seen().last().title + ": " + driver.seen().last().text;
    QVERIFY2(seen.startsWith(lastDialog.replace("<desktop>", desktop->path())), qPrintable(seen));
    QCOMPARE(driver.seen().first().detail, QString("Sound files (*.wav)"));
    const bool prepared = lastDialog.startsWith("Select");
    QCOMPARE(window->pushButtonGo->isEnabled(), prepared);
    QCOMPARE(window->pushButtonExperiment->isEnabled(), experiment);
    QCOMPARE(window->lineEditOutputFileName->text(),
             experiment ? QString("SUB001_experiment001.txt") : QString("SUB001_practice001.txt"));
    QCOMPARE(window->parameters.frequencyCurrent, 500);
    QCOMPARE(window->lineEditWavFileName->text(), prepared ? QString("chosen.wav") : QString("first.wav"));
    QCOMPARE(window->waveformSeries->count(), prepared ? 10000 : 4000);
    QCOMPARE(window->trendSeries->count(), prepared ? 0 : 1);
    QCOMPARE(window->targetCount, prepared ? 1 : 0);
    if (!prepared)
        return;
    QCOMPARE(window->parameters.trials.first().filePath, desktop->path());
    QCOMPARE(window->parameters.trials.first().fileName, QString("chosen.wav"));
    QCOMPARE(window->playOrder, QVector<int>({0}));
    QCOMPARE(window->lineEditWavFilePath->text(), desktop->path());
    QCOMPARE(window->lineEditSoundDuration->text(), QString("250.00"));
    // The 1000 Hz tone shows as the spectrum's peak, bin 1000 / (40000 / 16384).
    const auto peak = std::max_element(window->spectrumAmplitude.cbegin(), window->spectrumAmplitude.cend());
    QCOMPARE(int(peak - window->spectrumAmplitude.cbegin()), 410);
}

QTEST_MAIN(TestSessionStart)
#include "tst_sessionstart.moc"
