#include "support/WindowTest.h"

#include <QTest>

void WindowTest::init()
{
    desktop.reset(new TemporaryDesktop);
    QVERIFY(desktop->isValid());
    window.reset(new MainWindow);
}

void WindowTest::cleanup()
{
    window.reset();
    desktop.reset();
}
