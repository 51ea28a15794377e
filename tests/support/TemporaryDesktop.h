#ifndef TEMPORARYDESKTOP_H
#define TEMPORARYDESKTOP_H

#include <QString>
#include <QTemporaryDir>

// Points HOME at a fresh folder for the lifetime of the object, so that the desktop folder the
// program opens dialogs in and saves results to, and its data folder, belong to the test.
class TemporaryDesktop
{
public:
    TemporaryDesktop();
    ~TemporaryDesktop();

    bool isValid() const { return valid; }
    QString path() const; // the desktop folder itself
    QString filePath(const QString &name) const;

private:
    QTemporaryDir home;
    QByteArray previousHome;
    QByteArray previousConfig;
    QByteArray previousData;
    bool valid;
};

#endif
