#include "app/ResultsFile.h"

#include "app/MainWindow.h"
#include "app/SessionRecord.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>
#include <QSpinBox>
#include <QStatusBar>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

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

bool writeFileSafely(const QString &path, const QByteArray &content, QString *error)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        *error = QStringLiteral("The folder cannot be created.");
        return false;
    }
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    // On disk before the rename: after a power cut the name holds all of the new bytes or the old.
    if (file.write(content) != content.size() || !file.flush()) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (::fdatasync(file.handle()) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    // The rename itself lives in the folder.
    const int folder = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

void MainWindow::finishSession()
{
    if (parameters.saveData)
        saveResults();
    endRun();
    parameters.fileNumber = parameters.fileNumber + 1;
    spinBoxFileNumber->setValue(parameters.fileNumber);
}

void MainWindow::saveResults()
{
    if (!sessionRecord.startedAt.isValid())
        sessionRecord = describeRun();
    sessionRecord.hasTrial = !parameters.trials.isEmpty();
    sessionRecord.trialFileName = sessionRecord.hasTrial ? parameters.trials.value(currentTarget).fileName : QString();
    sessionRecord.matches = trendFrequency;
    syncBlock();
    sessionRecord.endedAt = currentTimeWithOffset();
    sessionRecord.resultsFile = parameters.outputFilePath + QStringLiteral("/") + parameters.outputFileName;
    parameters.createOutputFolder();
    saveRun(sessionRecord);
}

bool MainWindow::saveRun(SessionRecord &record)
{
    const QByteArray content = runResultsContent(record);
    QString startPath = record.resultsFile;
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
            if (writeFileSafely(chosen, content, &error)) {
                record.resultsFile = chosen;
                const QString recordPath = sessionRecordPathFor(chosen);
                if (!writeSessionRecord(recordPath, record, &error))
                    QMessageBox::warning(this, QStringLiteral("Warning"),
                                         QStringLiteral("The results are saved, but their session record could not "
                                                        "be written:\r\n")
                                             + recordPath + QStringLiteral("\n\n") + error,
                                         QMessageBox::Ok);
                if (!writeMatchesTable(chosen, record, &error))
                    QMessageBox::warning(this, QStringLiteral("Warning"),
                                         QStringLiteral("The results are saved, but their table of matches could not "
                                                        "be written:\r\n")
                                             + matchesTablePathFor(chosen) + QStringLiteral("\n\n") + error,
                                         QMessageBox::Ok);
                return true;
            }
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
            return false;
    }
}

void MainWindow::offerRecovery()
{
    const QString folder = unfinishedRunsFolder();
    const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        if (file.filePath() == unfinishedRecordPath)
            continue; // this window's own run
        SessionRecord record;
        QString error;
        bool saved = false;
        if (!readSessionRecord(file.filePath(), &record, &error)) {
            QMessageBox::warning(this, QStringLiteral("Warning"),
                                 QStringLiteral("An unfinished run cannot be read and is set aside:\r\n")
                                     + file.filePath() + QStringLiteral("\n\n") + error,
                                 QMessageBox::Ok);
        } else {
            const QString text = QStringLiteral("A run was not finished: subject code %1, %2 session, started %3, "
                                                "%4 tones requested.\nDo you want to save its results now?")
                                     .arg(record.subjectCode, record.sessionType,
                                          record.startedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                                     .arg(record.matches.size());
            const auto answer = QMessageBox::question(this, QStringLiteral("Question"), text,
                                                      QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
            if (answer == QMessageBox::Yes) {
                record.recovered = true;
                // As at the end of a run: the dialog opens in the folder it proposes.
                QDir().mkpath(QFileInfo(record.resultsFile).path());
                saved = saveRun(record);
            }
        }
        // A saved run lives on in its results file and record; any other is kept aside, never deleted.
        const QString aside = QDir(folder).filePath(QStringLiteral("discarded"));
        const bool done = saved ? QFile::remove(file.filePath())
                                : QDir().mkpath(aside) && QFile::rename(file.filePath(), QDir(aside).filePath(file.fileName()));
        if (!done)
            statusBar()->showMessage(QStringLiteral("The unfinished run %1 could not be moved: it will be offered again.")
                                         .arg(file.filePath()));
    }
}
