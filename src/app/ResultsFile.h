#ifndef RESULTSFILE_H
#define RESULTSFILE_H

#include <QByteArray>
#include <QString>
#include <QVector>

// The results table as UTF-8 bytes: a header and one row per requested frequency, columns
// separated by TAB, values as %g, every line ending in CR LF. With no target (hasTarget false)
// the file is empty: not even the header.
QByteArray resultsFileContent(bool hasTarget, const QString &targetFileName, const QVector<double> &frequencies);

// Writes content to path, creating missing folders: into a temporary file beside it, synced to
// disk and renamed over it, so a crash leaves either the old file or the new one. In a folder that
// forbids new files nothing is written: the reason names the folder. Returns false, with a reason
// in error, when any of it fails, a write after a good open included.
bool writeFileSafely(const QString &path, const QByteArray &content, QString *error);

#endif
