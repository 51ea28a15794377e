// Takes the README's screenshots: drives the real windows through a practice run as a person
// would, and saves what each window shows. Run by scripts/screenshots under a virtual display.
#include "app/MainWindow.h"
#include "subject/SubjectWindow.h"
#include "support/ModalDriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <cstdio>

namespace {

bool save(QWidget *widget, const QString &folder, const QString &name)
{
    const QString path = QDir(folder).filePath(name);
    if (!widget->grab().save(path)) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// One request from the listener, answered by a whole sound.
bool request(MainWindow &window, QPushButton *button)
{
    QSignalSpy playing(&window, SIGNAL(soundPlaying(int)));
    QTest::mouseClick(button, Qt::LeftButton);
    for (int waited = 0; waited < 5000; waited += 50) {
        if (!playing.isEmpty() && playing.last().first().toInt() == -1)
            return true;
        QTest::qWait(50);
    }
    std::fprintf(stderr, "the sound did not end\n");
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s TARGET.wav OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QString target = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(folder);

    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;

    ModalDriver driver;
    driver.chooseFile(target);
    QTest::mouseClick(window.pushButtonPractice, Qt::LeftButton);
    if (!driver.waitUntilDone() || window.targetCount != 1) {
        std::fprintf(stderr, "the session did not start with %s\n", qPrintable(target));
        return 1;
    }
    QTest::qWait(300);
    bool saved = save(&window, folder, "experimenter-session-start.png");

    QTest::mouseClick(window.pushButtonGo, Qt::LeftButton);
    SubjectWindow *subject = window.subjectWindow;
    if (!QTest::qWaitForWindowExposed(subject))
        return 1;
    QTest::mouseClick(subject->pushButtonIAmReady, Qt::LeftButton);
    if (!request(window, subject->pushButtonPlayTarget))
        return 1;
    QSpinBox *frequency = subject->spinBoxFrequency;
    for (int hz : {520, 610, 580, 640, 600}) {
        frequency->setValue(hz);
        if (!request(window, subject->pushButtonPlaySinusoid))
            return 1;
    }
    QTest::qWait(300);
    saved = save(&window, folder, "experimenter-mid-run.png") && saved;
    saved = save(subject, folder, "subject-choosing.png") && saved;

    window.checkBoxSaveData->setChecked(false);
    return saved ? 0 : 1;
}
