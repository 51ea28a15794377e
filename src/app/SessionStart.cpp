#include "app/MainWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
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
    if (targetCount == 0) {
        if (!targetLoadError.isEmpty())
            QMessageBox::warning(this, QStringLiteral("Warning"),
                                 QStringLiteral("The target list cannot be used:\n%1").arg(targetLoadError));
        return;
    }

    makeRandomOrder();
    if (!prepareBlockTargets()) {
        const TrialRecord failed = parameters.trials.value(playOrder.value(playPosition));
        const QString origin = targetOrigins.value(playOrder.value(playPosition));
        const QString path = failed.filePath + QStringLiteral("/") + failed.fileName
                             + (origin.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(origin));
        parameters.trials.clear();
        playOrder.clear();
        loadedTargets.clear();
        playPosition = 0;
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
    targetLoadError.clear();
    forever {
        parameters.defaultDirectory = SessionParameters::desktopDirectory();
        const QStringList chosen = QFileDialog::getOpenFileNames(
            this, QStringLiteral("Select a target sound file"), parameters.defaultDirectory,
            QStringLiteral("Sound files (*.wav);;Target lists (*.txt *.list)"));
        const QFileInfo info(chosen.value(0));
        parameters.wavFilePath = info.path();
        parameters.wavFileName = info.fileName();
        parameters.trials.clear();
        targetOrigins.clear();
        QStringList targets;
        for (const QString &file : chosen) {
            if (file.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive)) {
                targets.append(file);
                targetOrigins.append(QString());
                continue;
            }
            QStringList listed;
            QVector<int> lines;
            if (!readTargetList(file, &listed, &targetLoadError, &lines)) {
                targetLoadError = QDir::toNativeSeparators(file) + QStringLiteral("\n\n") + targetLoadError;
                return;
            }
            targets += listed;
            for (int line : lines)
                targetOrigins.append(QStringLiteral("%1, line %2").arg(QFileInfo(file).fileName()).arg(line));
        }
        for (const QString &target : targets) {
            const QFileInfo targetInfo(target);
            TrialRecord record;
            record.filePath = targetInfo.path();
            record.fileName = targetInfo.fileName();
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
    QStringList targets;
    targets.reserve(parameters.trials.size());
    for (const TrialRecord &trial : parameters.trials)
        targets.append(trial.filePath + QStringLiteral("/") + trial.fileName);
    std::random_device seedSource;
    block = makeBlock(targets, repetitions, seedSource(), checkBoxRandomStart->isChecked(), parameters.frequencyStart,
                      parameters.frequencyMin, parameters.frequencyMax);
    playOrder = block.order;
    parameters.frequencyCurrent = block.startFrequencies.value(0, parameters.frequencyStart);
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
