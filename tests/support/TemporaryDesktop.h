#ifndef TEMPORARYDESKTOP_H
#define TEMPORARYDESKTOP_H

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

// Points HOME, XDG_CONFIG_HOME and XDG_DATA_HOME into a fresh folder for the lifetime of the
// object, so that the desktop and data folders the program uses belong to the test.
class TemporaryDesktop
{
public:
    TemporaryDesktop()
    {
        const QStringList places = {home.path(), home.filePath(".config"), home.filePath(".local/share")};
        for (int i = 0; i < places.size(); ++i) {
            previous << qgetenv(names[i]);
            qputenv(names[i], QFile::encodeName(places[i]));
        }
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, places[1]); // Qt's file dialogs keep their state there
        valid = home.isValid() && QDir().mkpath(path()) && QStandardPaths::writableLocation(QStandardPaths::DesktopLocation) == path();
    }
    ~TemporaryDesktop()
    {
        for (int i = 0; i < previous.size(); ++i)
            previous[i].isNull() ? qunsetenv(names[i]) : qputenv(names[i], previous[i]);
    }

    bool isValid() const { return valid; }
    QString path() const { return home.filePath("Desktop"); } // the desktop folder itself
    QString filePath(const QString &name) const { return QDir(path()).filePath(name); }

private:
    static constexpr const char *names[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"};
    QTemporaryDir home;
    QVector<QByteArray> previous; // as they were, in the order of names
    bool valid = false;
};

#endif
