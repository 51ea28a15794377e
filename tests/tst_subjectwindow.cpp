#include "subject/SubjectWindow.h"
#include "support/GridCells.h"
#include "support/ModalDriver.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

namespace {

// The listener's way through a run, one phase after another.
enum Phase { Waiting, Ready, TargetRequested, TargetPlaying, Choosing, SinusoidRequested, SinusoidPlaying,
             ChoosingAgain, TargetRequestedAgain };

// Clicks go through the mouse, so a click on a disabled control is lost as a person's would be;
// the playback reports come as the experimenter window sends them, through the slot.
void advance(SubjectWindow &window, int phase)
{
    const auto playing = [&](int index) { QMetaObject::invokeMethod(&window, "updateSubjectWindow", Q_ARG(int, index)); };
    const std::function<void()> steps[] = {
        [&] { QTest::mouseClick(window.pushButtonIAmReady, Qt::LeftButton); },
        [&] { QTest::mouseClick(window.pushButtonPlayTarget, Qt::LeftButton); },
        [&] { playing(1); },
        [&] { playing(-1); },
        [&] { window.sliderFrequency->setValue(730); QTest::mouseClick(window.pushButtonPlaySinusoid, Qt::LeftButton); },
        [&] { playing(0); },
        [&] { playing(-1); },
        [&] { window.spinBoxFrequency->setValue(10); QTest::mouseClick(window.pushButtonPlayTarget, Qt::LeftButton); },
    };
    for (int step = 0; step < phase; ++step)
        steps[step]();
}

// The controls shown, in a fixed order, by their texts (the frequency controls by their
// kind), or of those only the ones a person can use.
QStringList controls(SubjectWindow &window, bool usableOnly)
{
    QStringList names;
    for (QWidget *widget : QList<QWidget *>{window.pushButtonPlayTarget, window.labelCurrentValue, window.spinBoxFrequency,
                                            window.pushButtonPlaySinusoid, window.sliderFrequency,
                                            window.pushButtonIAmReady, window.pushButtonDone}) {
        const bool hasText = widget->inherits("QAbstractButton") || widget->inherits("QLabel");
        if (widget->isVisible() && (!usableOnly || widget->isEnabled()))
            names << (hasText ? widget->property("text").toString() : widget->metaObject()->className());
    }
    return names;
}

} // namespace

class TestSubjectWindow : public QObject
{
    Q_OBJECT
private slots:
    void phases_data();
    void phases();
    void frequencyControls();
    void closeQuestion_data();
    void closeQuestion();
};

void TestSubjectWindow::phases_data()
{
    QTest::addColumn<int>("phase");
    QTest::addColumn<bool>("parentDisabled"); // as Go leaves the experimenter window
    QTest::addColumn<QStringList>("visible");
    QTest::addColumn<QStringList>("usable");
    QTest::addColumn<QList<int>>("sent"); // response, frequency, ...

    const QStringList shown = {"Play target", "Current Value", "QSpinBox", "Play sinusoid", "QSlider"};
    const QStringList shownDone = shown + QStringList{"Done"};
    const QStringList choices = {"Play target", "QSpinBox", "Play sinusoid", "QSlider"};
    const QStringList choicesDone = choices + QStringList{"Done"};
    const QStringList ready = {"I am ready"}, none;
    const QList<int> t = {2, 0}, ts = {2, 0, 4, 730};
    QTest::newRow("waiting") << int(Waiting) << false << ready << ready << QList<int>();
    QTest::newRow("ready") << int(Ready) << false << shown << QStringList{"Play target"} << QList<int>();
    QTest::newRow("target playing") << int(TargetPlaying) << false << shown << none << t;
    QTest::newRow("choosing") << int(Choosing) << false << shown << choices << t;
    QTest::newRow("sinusoid at 730") << int(SinusoidRequested) << false << shownDone << none << ts;
    QTest::newRow("choosing, Done stays") << int(ChoosingAgain) << false << shownDone << choicesDone << ts;
    QTest::newRow("target whatever the spin box shows")
        << int(TargetRequestedAgain) << false << shownDone << none << ts + t;
    QTest::newRow("experimenter window disabled, whole run")
        << int(ChoosingAgain) << true << shownDone << choicesDone << ts;
}

void TestSubjectWindow::phases()
{
    QFETCH(int, phase);
    QFETCH(bool, parentDisabled);

    QMainWindow parent;
    parent.setEnabled(!parentDisabled);
    SubjectWindow window(&parent);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QString("Varnel Lab | Tonvara (v014) | Subject Window"));
    QSignalSpy responded(&window, &SubjectWindow::subjectResponded);
    advance(window, phase);

    QTEST(controls(window, false), "visible");
    QTEST(controls(window, true), "usable");
    QList<int> sent;
    for (const QList<QVariant> &arguments : responded)
        sent << arguments.at(0).toInt() << arguments.at(1).toInt();
    QTEST(sent, "sent");
}

// Each control takes the whole range, value and step, and follows the other.
void TestSubjectWindow::frequencyControls()
{
    QMainWindow parent;
    SubjectWindow window(&parent);
    window.show();
    advance(window, ChoosingAgain);
    // Wholly above the range before, so a value set ahead of its range would be clamped.
    QMetaObject::invokeMethod(&window, "receiveParameters", Q_ARG(qint32, 1100), Q_ARG(qint32, 1200),
                              Q_ARG(qint32, 1150), Q_ARG(qint32, 5));
    const auto state = [](const auto *control) {
        return QList<int>{control->minimum(), control->maximum(), control->value(), control->singleStep()};
    };
    QCOMPARE(state(window.spinBoxFrequency), (QList<int>{1100, 1200, 1150, 5}));
    QCOMPARE(state(window.sliderFrequency), (QList<int>{1100, 1200, 1150, 5}));
    QTest::keyClick(window.spinBoxFrequency, Qt::Key_Up);
    QCOMPARE(window.sliderFrequency->value(), 1155);
    // Left to right: the target button, the value over the sinusoid button, the slider, "I am
    // ready" in place of the last two; Done below across the whole width, the block's progress under it.
    QCOMPARE(gridCells(window.layoutMain), (QList<QList<int>>{{0, 0, 2, 1}, {0, 1, 1, 1}, {1, 1, 1, 1},
                                                              {0, 2, 2, 1}, {0, 1, 1, 2}, {2, 0, 1, 4}, {3, 0, 1, 4}}));
    QCOMPARE(QList<int>({window.sliderFrequency->width(), window.spinBoxFrequency->height(), window.pushButtonDone->height()}),
             QList<int>({100, 200, 100}));
    QTest::keyClick(window.sliderFrequency, Qt::Key_Down);
    QCOMPARE(window.spinBoxFrequency->value(), 1150);
}

void TestSubjectWindow::closeQuestion_data()
{
    QTest::addColumn<int>("phase");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");

    QTest::newRow("waiting, yes") << int(Waiting) << int(QMessageBox::Yes) << true;
    QTest::newRow("Done, yes") << int(ChoosingAgain) << int(QMessageBox::Yes) << true;
    QTest::newRow("Done, no") << int(ChoosingAgain) << int(QMessageBox::No) << false;
}

// Done when it is shown, else the title bar's close.
void TestSubjectWindow::closeQuestion()
{
    QFETCH(int, phase);
    QFETCH(int, answer);
    QFETCH(bool, closes);

    std::unique_ptr<QMainWindow> parent(new QMainWindow);
    QPointer<SubjectWindow> window = new SubjectWindow(parent.get());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    advance(*window, phase);
    QSignalSpy closed(window.data(), &SubjectWindow::subjectWindowClosed);

    ModalDriver driver;
    driver.answerMessageBox(QMessageBox::StandardButton(answer));
    if (window->pushButtonDone->isVisible())
        QTest::mouseClick(window->pushButtonDone, Qt::LeftButton);
    else
        window->close();
    QVERIFY(driver.waitUntilDone());
    QCOMPARE(QStringList({driver.seen()[0].title, driver.seen()[0].text}),
             QStringList({"Confirmation MessageBox", "Do you want to close this window?\n"}));
    QCOMPARE(closed.count(), closes ? 1 : 0);
    QCOMPARE(window->isVisible(), !closes);
    // Closing only hides it; it lives and dies with the experimenter window.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!window.isNull());
    parent.reset();
    QVERIFY(window.isNull());
}

QTEST_MAIN(TestSubjectWindow)
#include "tst_subjectwindow.moc"
