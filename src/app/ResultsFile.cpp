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
    // No writing in place when no temporary file can be made: a failure half-way would leave the
    // only copy half old, half new.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("No new file can be made in %1 (%2). Please choose another folder.")
                     .arg(QDir::toNativeSeparators(info.absolutePath()), file.errorString());
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

void MainWindow::proposeFreeFileNumber()
{
    // The spin box's slot renames the proposal.
    spinBoxFileNumber->setValue(SessionParameters::firstFreeFileNumber(
        parameters.outputFilePath, parameters.subjectCode, parameters.sessionTypeNames.value(parameters.sessionType),
        parameters.fileNumber, spinBoxFileNumber->maximum()));
}

void MainWindow::saveResults()
{
    proposeFreeFileNumber();
    if (!sessionRecord.startedAt.isValid())
        sessionRecord = describeRun();
    sessionRecord.fileNumber = parameters.fileNumber;
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
        // The dialog's own question would name the results file only, not its record.
        const QString chosen = QFileDialog::getSaveFileName(this, tr("Save a file"), startPath,
                                                            QStringLiteral("All files (*.*);; Text files (*.txt)"),
                                                            &selectedFilter, QFileDialog::DontConfirmOverwrite);
        if (!chosen.isEmpty()) {
            startPath = chosen;
            if (!mayReplace(chosen))
                continue;
            const QFileInfo info(chosen);
            parameters.outputFilePath = info.path();
            parameters.outputFileName = info.fileName();
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

bool MainWindow::mayReplace(const QString &resultsPath)
{
    QStringList existing;
    for (const QString &path : {resultsPath, sessionRecordPathFor(resultsPath), matchesTablePathFor(resultsPath)}) {
        if (QFileInfo::exists(path))
            existing << QDir::toNativeSeparators(path);
    }
    return existing.isEmpty()
           || QMessageBox::question(this, QStringLiteral("Question"),
                                    QStringLiteral("Saving replaces what is there:\n%1\nDo you want to replace it?")
                                        .arg(existing.join(QLatin1Char('\n'))),
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                  == QMessageBox::Yes;
}

QString MainWindow::recoveredResultsPath(const SessionRecord &record, QString *note) const
{
    QString folder = QFileInfo(record.resultsFile).path();
    if (!QFileInfo(folder).isDir()) {
        // Made anew it would hide that the place the run was meant for is gone.
        *note = QStringLiteral("\nIts folder %1 no longer exists: the desktop is proposed.")
                    .arg(QDir::toNativeSeparators(folder));
        folder = SessionParameters::desktopDirectory();
    }
    const qint32 number = SessionParameters::firstFreeFileNumber(folder, record.subjectCode, record.sessionType,
                                                                 qMax(1, record.fileNumber), spinBoxFileNumber->maximum());
    return QDir(folder).filePath(SessionParameters::outputFileNameFor(record.subjectCode, record.sessionType, number));
}

void MainWindow::offerRecovery()
{
    for (const QString &path : unfinishedRuns(unfinishedRunsFolder())) {
        const std::unique_ptr<QLockFile> lock = lockRun(path);
        if (!lock)
            continue; // going on in another program
        removeLeftoverTemporaries(path);
        if (!QFileInfo::exists(path))
            continue;
        SessionRecord record;
        QString error;
        bool saved = false;
        if (!readSessionRecord(path, &record, &error)) {
            QMessageBox::warning(this, QStringLiteral("Warning"),
                                 QStringLiteral("An unfinished run cannot be read and is set aside:\r\n")
                                     + path + QStringLiteral("\n\n") + error,
                                 QMessageBox::Ok);
        } else {
            QString note;
            const QString proposal = recoveredResultsPath(record, &note);
            const QString text = QStringLiteral("A run was not finished: subject code %1, %2 session, started %3, "
                                                "%4 tones requested.%5\nDo you want to save its results now?")
                                     .arg(record.subjectCode, record.sessionType,
                                          record.startedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                                     .arg(record.matches.size())
                                     .arg(note);
            const auto answer = QMessageBox::question(this, QStringLiteral("Question"), text,
                                                      QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
            if (answer == QMessageBox::Yes) {
                record.recovered = true;
                record.resultsFile = proposal;
                saved = saveRun(record);
            }
        }
        // A saved run lives on in its results file and record; any other is kept aside, never deleted.
        const QString aside = setAsidePath(path);
        const bool done = saved ? QFile::remove(path)
                                : QDir().mkpath(QFileInfo(aside).path()) && QFile::rename(path, aside);
        if (!done)
            statusBar()->showMessage(QStringLiteral("The unfinished run %1 could not be moved: it will be offered again.")
                                         .arg(path));
    }
}
