#include "app/MainWindow.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <algorithm>
#include <random>

void MainWindow::on_pushButtonPractice_clicked()
{
    repetitions = practiceRepetitions;
    comboBoxSesType->setCurrentIndex(0);
    prepareSession();
    pushButtonPractice->setEnabled(true);
    pushButtonExperiment->setEnabled(false);
    pushButtonGo->setEnabled(targetCount > 0);
}

void MainWindow::on_pushButtonExperiment_clicked()
{
    repetitions = experimentRepetitions;
    comboBoxSesType->setCurrentIndex(1);
    prepareSession();
    pushButtonPractice->setEnabled(true);
    pushButtonExperiment->setEnabled(true);
    pushButtonGo->setEnabled(targetCount > 0);
}

void MainWindow::prepareSession()
{
    parameters.trials.clear();
    playOrder.clear();
    currentTargetPath.clear();
    playPosition = 0;
    currentTarget = 0;
    targetCount = 0;
    parameters.sessionType = comboBoxSesType->currentIndex();
    parameters.frequencyCurrent = parameters.frequencyStart;
    readParameters();

    selectTargetSound();
    targetCount = parameters.trials.size();
    if (targetCount == 0)
        return;

    makeRandomOrder();
    if (!loadTargetSound()) {
        const TrialRecord failed = parameters.trials.value(playOrder.value(playPosition));
        const QString path = failed.filePath + QStringLiteral("/") + failed.fileName;
        parameters.trials.clear();
        playOrder.clear();
        targetCount = 0;
        QMessageBox::warning(this, QStringLiteral("Warning"),
                             QStringLiteral("The target sound cannot be used:\n%1\n\n%2")
                                 .arg(QDir::toNativeSeparators(path), targetLoadError));
        return;
    }
    plotWaveform();
    computeAmplitudeSpectrum();
    plotSpectrum();
    resetTrendChart();
    showSoundFileInfo();
    lineEditFrequencyMatched->setText(QStringLiteral("not started yet"));
}

void MainWindow::selectTargetSound()
{
    forever {
        parameters.defaultDirectory = SessionParameters::desktopDirectory();
        const QString chosen = QFileDialog::getOpenFileName(this, QStringLiteral("Select a target sound file"),
                                                            parameters.defaultDirectory,
                                                            QStringLiteral("Sound files (*.wav)"));
        const QFileInfo info(chosen);
        parameters.wavFilePath = info.path();
        parameters.wavFileName = info.fileName();
        parameters.trials.clear();
        if (!chosen.isEmpty()) {
            TrialRecord record;
            record.filePath = parameters.wavFilePath;
            record.fileName = parameters.wavFileName;
            parameters.trials.append(record);
        }
        if (!parameters.trials.isEmpty())
            return;
        const auto answer = QMessageBox::question(
            this, QStringLiteral("Question"),
            QStringLiteral("This folder contains no .wav files.\nDo you want to select another folder?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer != QMessageBox::Yes)
            return;
    }
}

void MainWindow::makeRandomOrder()
{
    playOrder.clear();
    for (int r = 0; r < repetitions; ++r)
        for (int index = 0; index < targetCount; ++index)
            playOrder.append(index);
    std::random_device seedSource;
    std::mt19937 engine(seedSource());
    std::shuffle(playOrder.begin(), playOrder.end(), engine);
}

void MainWindow::showSoundFileInfo()
{
    lineEditWavFilePath->setText(parameters.wavFilePath);
    lineEditWavFileName->setText(parameters.trials.at(currentTarget).fileName);
    // What the file is goes beside, not into, the fixed fields: a tool tip and the status bar.
    labelSoundFileInfo->setToolTip(targetDescription);
    lineEditWavFileName->setToolTip(targetDescription);
    statusBar()->showMessage(QStringLiteral("Target: ") + targetDescription);
}
