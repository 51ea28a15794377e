#ifndef WINDOWTEST_H
#define WINDOWTEST_H

#include "app/MainWindow.h"
#include "support/TemporaryDesktop.h"

#include <QTest>
#include <memory>

// Base of the tests that each need a fresh experimenter window with a desktop folder of its own.
// A test that needs more set-up declares its own init() and calls this one first.
class WindowTest : public QObject
{
    Q_OBJECT
protected slots:
    void init()
    {
        desktop.reset(new TemporaryDesktop);
        QVERIFY(desktop->isValid());
        window.reset(new MainWindow);
    }
    void cleanup()
    {
        window.reset();
        desktop.reset();
    }

protected:
    std::unique_ptr<TemporaryDesktop> desktop;
    std::unique_ptr<MainWindow> window;
};

#endif
