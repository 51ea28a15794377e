#include "app/UnfinishedRuns.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {
// The names QSaveFile gives its temporary files.
const QRegularExpression leftover(QStringLiteral("^(.+\\.json)\\.[A-Za-z0-9]{6}$"));
// A record, its lock, or a temporary file of it: a program may die before the first write ends.
const QRegularExpression trace(QStringLiteral("^(.+\\.json)(\\.lock|\\.[A-Za-z0-9]{6})?$"));
}

std::unique_ptr<QLockFile> lockRun(const QString &recordPath)
{
    std::unique_ptr<QLockFile> lock(new QLockFile(recordPath + QStringLiteral(".lock")));
    // Runs last for hours: only a holder that is gone makes a lock stale, never its age.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        lock.reset();
    return lock;
}

QStringList unfinishedRuns(const QString &folder)
{
    const QDir dir(folder);
    QStringList runs;
    for (const QString &name : dir.entryList(QDir::Files)) {
        const QRegularExpressionMatch match = trace.match(name);
        if (match.hasMatch())
            runs << dir.filePath(match.captured(1));
    }
    runs.sort();
    runs.removeDuplicates();
    return runs;
}

void removeLeftoverTemporaries(const QString &recordPath)
{
    const QFileInfo record(recordPath);
    const QDir dir = record.dir();
    for (const QString &name : dir.entryList({record.fileName() + QStringLiteral(".*")}, QDir::Files)) {
        if (leftover.match(name).captured(1) == record.fileName())
            QFile::remove(dir.filePath(name));
    }
}

QString setAsidePath(const QString &recordPath)
{
    const QFileInfo record(recordPath);
    const QDir aside(record.dir().filePath(QStringLiteral("discarded")));
    QString path = aside.filePath(record.fileName());
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = aside.filePath(QStringLiteral("%1-%2.json").arg(record.completeBaseName()).arg(n));
    return path;
}
