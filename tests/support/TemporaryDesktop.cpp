#include "support/TemporaryDesktop.h"

#include <QDir>
#include <QStandardPaths>

TemporaryDesktop::TemporaryDesktop()
    : previousHome(qgetenv("HOME"))
    , previousConfig(qgetenv("XDG_CONFIG_HOME"))
    , valid(false)
{
    if (!home.isValid())
        return;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));
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
}

QString TemporaryDesktop::path() const
{
    return home.filePath(QStringLiteral("Desktop"));
}

QString TemporaryDesktop::filePath(const QString &name) const
{
    return QDir(path()).filePath(name);
}
