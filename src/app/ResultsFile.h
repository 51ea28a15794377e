#ifndef RESULTSFILE_H
#define RESULTSFILE_H

#include <QByteArray>
#include <QString>
#include <QVector>

// The results table as UTF-8 bytes: a header and one row per requested frequency, columns
// separated by TAB, values as %g, every line ending in CR LF. With no target (hasTarget false)
// the file is empty: not even the header.
QByteArray resultsFileContent(bool hasTarget, const QString &targetFileName, const QVector<double> &frequencies);

// Writes content to path, replacing the file only once all of it is on disk, creating missing
// folders. Returns false, with a reason in error, when any of it fails.
bool writeResultsFile(const QString &path, const QByteArray &content, QString *error);

#endif
