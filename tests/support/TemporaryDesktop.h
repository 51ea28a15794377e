#ifndef TEMPORARYDESKTOP_H
#define TEMPORARYDESKTOP_H

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

// Points HOME (and XDG_CONFIG_HOME) at a fresh folder for the lifetime of the object, so that the
// desktop folder the program opens dialogs in and saves results to belongs to the test.
class TemporaryDesktop
{
public:
    TemporaryDesktop()
    {
        if (!home.isValid())
            return;
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));
        valid = QDir().mkpath(path())
            && QStandardPaths::writableLocation(QStandardPaths::DesktopLocation) == path();
    }
    ~TemporaryDesktop()
    {
        qputenv("HOME", previousHome);
        if (previousConfig.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", previousConfig);
    }

    bool isValid() const { return valid; }
    QString path() const { return home.filePath("Desktop"); } // the desktop folder itself
    QString filePath(const QString &name) const { return QDir(path()).filePath(name); }

private:
    QTemporaryDir home;
    const QByteArray previousHome = qgetenv("HOME");
    const QByteArray previousConfig = qgetenv("XDG_CONFIG_HOME");
    bool valid = false;
};

#endif
