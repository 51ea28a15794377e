#include "app/MainWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Names the data folder where runs in progress are kept: ~/.local/share/tonvara.
    QApplication::setApplicationName(QStringLiteral("tonvara"));
    // Lets the desktop match the window with its entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tonvara"));
    MainWindow window;
    window.show();
    return application.exec();
}
