#ifndef UNFINISHEDRUNS_H
#define UNFINISHEDRUNS_H

#include <QLockFile>
#include <QString>
#include <QStringList>
#include <memory>

// The lock of a run in progress: beside its record, recordPath + ".lock".
// Null when a living program holds it; a lock left by a program that died is taken over.
std::unique_ptr<QLockFile> lockRun(const QString &recordPath);

// The records of the runs kept in folder, also of those whose only trace is a lock or the
// temporary file of a write cut short; sorted, each once.
QStringList unfinishedRuns(const QString &folder);

// Removes what a cut-short write of the record at recordPath left behind (recordPath + ".XXXXXX").
void removeLeftoverTemporaries(const QString &recordPath);

// Where the record at recordPath is set aside: folder/discarded/ under its own name, or with
// "-2", "-3", ... before ".json" when a run set aside earlier has that name.
QString setAsidePath(const QString &recordPath);

#endif
