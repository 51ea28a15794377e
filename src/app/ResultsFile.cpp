#include "app/ResultsFile.h"

#include "app/MainWindow.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>
#include <QSpinBox>

QByteArray resultsFileContent(bool hasTarget, const QString &targetFileName, const QVector<double> &frequencies)
{
    QByteArray content;
    if (!hasTarget)
        return content;
    const QByteArray tab("\t");
    const QByteArray lineEnd("\r\n");
    content += "filename" + tab + "nTrials" + tab + "frequency matched (Hz)" + lineEnd;
    const QByteArray name = targetFileName.toUtf8();
    for (int i = 0; i < frequencies.size(); ++i)
        content += name + tab + QByteArray::number(i + 1) + tab + QByteArray::number(frequencies[i], 'g', 6) + lineEnd;
    return content;
}

bool writeResultsFile(const QString &path, const QByteArray &content, QString *error)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        *error = QStringLiteral("The folder cannot be created.");
        return false;
    }
    // Written beside the target and renamed over it at the end: a failed write keeps the old file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    if (file.write(content) != content.size() || !file.commit()) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

void MainWindow::finishSession()
{
    if (parameters.saveData)
        saveResults();
    parameters.fileNumber = parameters.fileNumber + 1;
    spinBoxFileNumber->setValue(parameters.fileNumber);
}

void MainWindow::saveResults()
{
    const QByteArray content = resultsFileContent(!parameters.trials.isEmpty(),
                                                  parameters.trials.isEmpty() ? QString()
                                                                              : parameters.trials.first().fileName,
                                                  trendFrequency);
    parameters.createOutputFolder();
    QString startPath = parameters.outputFilePath + QStringLiteral("/") + parameters.outputFileName;
    forever {
        QString selectedFilter = QStringLiteral("Text files (*.txt)");
        const QString chosen = QFileDialog::getSaveFileName(this, tr("Save a file"), startPath,
                                                            QStringLiteral("All files (*.*);; Text files (*.txt)"),
                                                            &selectedFilter);
        if (!chosen.isEmpty()) {
            const QFileInfo info(chosen);
            parameters.outputFilePath = info.path();
            parameters.outputFileName = info.fileName();
            startPath = chosen;
            QString error;
            if (writeResultsFile(chosen, content, &error))
                return;
            QMessageBox::warning(this, QStringLiteral("Warning"),
                                 QStringLiteral("could not open file for writing \r\n")
                                     + QDir(parameters.outputFilePath).filePath(parameters.outputFileName)
                                     + QStringLiteral("\n\n") + error,
                                 QMessageBox::Ok);
        }
        const auto answer = QMessageBox::question(
            this, QStringLiteral("Question"),
            QStringLiteral("The results of this run have not been saved.\nDo you want to choose another file?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer != QMessageBox::Yes)
            return;
    }
}
