#include "support/TemporaryDesktop.h"

#include <QDir>
#include <QStandardPaths>

TemporaryDesktop::TemporaryDesktop()
    : previousHome(qgetenv("HOME"))
    , previousConfig(qgetenv("XDG_CONFIG_HOME"))
    , previousData(qgetenv("XDG_DATA_HOME"))
    , valid(false)
{
    if (!home.isValid())
        return;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(".local/share")));
    valid = QDir().mkpath(path())
        && QStandardPaths::writableLocation(QStandardPaths::DesktopLocation) == path();
}

TemporaryDesktop::~TemporaryDesktop()
{
    qputenv("HOME", previousHome);
    if (previousConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", previousConfig);
    if (previousData.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", previousData);
}

QString TemporaryDesktop::path() const
{
    return home.filePath(QStringLiteral("Desktop"));
}

QString TemporaryDesktop::filePath(const QString &name) const
{
    return QDir(path()).filePath(name);
}
