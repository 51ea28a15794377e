#include "subject/SubjectWindow.h"
#include "subject/WindowGeometry.h"
#include "support/ModalDriver.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QTest>

namespace {

const QStringList controlNames = {"Play target", "Current Value", "spin box", "Play sinusoid",
                                  "slider", "I am ready", "Done"};
const QStringList shown = controlNames.mid(0, 5);
const QStringList shownDone = shown + QStringList{"Done"};
const QStringList choices = {"Play target", "spin box", "Play sinusoid", "slider"};
const QStringList choicesDone = choices + QStringList{"Done"};
const QStringList toChoosing = {"ready", "target", "playing", "finished"};
const QStringList toChoosingDone = toChoosing + QStringList{"sinusoid", "playing", "finished"};

// A leading "parent off" disables the experimenter window before this one opens.
SubjectWindow *open(QMainWindow &parent, QStringList &steps)
{
    parent.show();
    if (steps.value(0) == "parent off") {
        parent.setEnabled(false);
        steps.removeFirst();
    }
    auto *window = new SubjectWindow(&parent);
    window->show();
    return window;
}

} // namespace

class TestSubjectWindow : public QObject
{
    Q_OBJECT
private slots:
    void appearance();
    void phases_data();
    void phases();
    void frequencyControls_data();
    void frequencyControls();
    void closeQuestion_data();
    void closeQuestion();

private:
    static QWidget *control(SubjectWindow &window, const QString &name)
    {
        return QList<QWidget *>{window.pushButtonPlayTarget, window.labelCurrentValue,
                                window.spinBoxFrequency, window.pushButtonPlaySinusoid,
                                window.sliderFrequency, window.pushButtonIAmReady,
                                window.pushButtonDone}.value(controlNames.indexOf(name));
    }
    // Enabled means the control's own state: what comes back once the window is enabled again.
    static QStringList controls(SubjectWindow &window, bool enabledOnly)
    {
        QStringList names;
        for (const QString &name : controlNames) {
            QWidget *widget = control(window, name);
            if (widget->isVisible() && (!enabledOnly || widget->isEnabledTo(&window)))
                names << name;
        }
        return names;
    }
    // Clicks on a disabled control are lost, as a person's would be.
    static void perform(SubjectWindow &window, const QStringList &steps, QWidget *parent = nullptr)
    {
        for (const QString &step : steps) {
            const int value = step.section(' ', -1).toInt();
            if (step == "ready" || step == "target" || step == "sinusoid")
                QTest::mouseClick(control(window, step == "ready" ? "I am ready" : "Play " + step),
                                  Qt::LeftButton);
            else if (step.startsWith("playing"))
                window.updateSubjectWindow(value);
            else if (step == "finished")
                window.updateSubjectWindow(-1);
            else if (step == "enable choices")
                window.enableAllChoiceButtons();
            else if (step.startsWith("parent"))
                parent->setEnabled(step == "parent on");
            else if (step.endsWith(" up") || step.endsWith(" down"))
                QTest::keyClick(control(window, step.section(' ', 0, -2)), step.endsWith("up") ? Qt::Key_Up : Qt::Key_Down);
            else if (step.startsWith("slider"))
                window.sliderFrequency->setValue(value);
            else if (step.startsWith("spin box"))
                window.spinBoxFrequency->setValue(value);
            else
                QFAIL(qPrintable("unknown step " + step));
        }
    }
};

// Stepping is the listener's main way to tune, so the step buttons must be big.
void TestSubjectWindow::appearance()
{
    QPointer<SubjectWindow> window;
    {
        QMainWindow parent;
        QStringList steps = {"ready"};
        window = open(parent, steps);
        perform(*window, steps);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(window->isWindow());
        QCOMPARE(window->windowTitle(), QString("Varnel Lab | Tonvara (v014) | Subject Window"));
        QStringList texts;
        for (const QString &name : controlNames)
            texts << control(*window, name)->property("text").toString();
        QCOMPARE(texts, (QStringList{"Play target", "Current Value", "500", "Play sinusoid", "",
                                     "I am ready", "Done"}));
        QCOMPARE(window->sliderFrequency->orientation(), Qt::Vertical);
        QCOMPARE(window->geometry(), WindowGeometry::fromScreenFraction(
                     QGuiApplication::primaryScreen()->availableSize(), 0.7, 0.8, true, {}));

        QSpinBox *spinBox = window->spinBoxFrequency;
        QVERIFY(spinBox->height() >= 200);
        QStyleOptionSpinBox option;
        option.initFrom(spinBox);
        option.subControls = QStyle::SC_All;
        option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
        const QImage image = spinBox->grab().toImage();
        for (QStyle::SubControl part : {QStyle::SC_SpinBoxUp, QStyle::SC_SpinBoxDown}) {
            const QRect rect =
                spinBox->style()->subControlRect(QStyle::CC_SpinBox, &option, part, spinBox);
            QCOMPARE(rect.size(), QSize(60, 100));
            QCOMPARE(QColor(image.pixel(rect.topLeft() + QPoint(3, 3))), QColor(190, 190, 190));
        }
    }
    QVERIFY(window.isNull()); // it lives and dies with the experimenter window
}

void TestSubjectWindow::phases_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("windowEnabled");
    QTest::addColumn<QStringList>("visible");
    QTest::addColumn<QStringList>("enabled");
    QTest::addColumn<QList<int>>("sent"); // response, frequency; ...

    using Sent = QList<int>;
    const QStringList ready = {"I am ready"}, target = {"Play target"}, none;
    const QStringList requested = {"ready", "target"}, playing = {"spin box", "slider", "Done"};
    QTest::newRow("waiting") << none << true << ready << ready << Sent();
    QTest::newRow("ready") << QStringList{"ready"} << true << shown << target << Sent();
    QTest::newRow("target requested") << requested << false << shown << target << Sent{2, 0};
    QTest::newRow("playing 1") << requested + QStringList{"playing 1"} << false << shown << none
                               << Sent{2, 0};
    QTest::newRow("playing 0") << requested + QStringList{"playing 0"} << false << shown << none
                               << Sent{2, 0};
    QTest::newRow("finished") << toChoosing << true << shown << choices << Sent{2, 0};
    QTest::newRow("sinusoid at 730") << toChoosing + QStringList{"spin box 730", "sinusoid"}
                                     << false << shownDone << choicesDone << Sent{2, 0, 4, 730};
    QTest::newRow("sinusoid playing")
        << toChoosing + QStringList{"slider 1000", "sinusoid", "playing"} << false << shownDone
        << playing << Sent{2, 0, 4, 1000};
    QTest::newRow("target at 10, Done stays")
        << toChoosingDone + QStringList{"spin box 10"} + toChoosing.mid(1) << true << shownDone
        << choicesDone << Sent{2, 0, 4, 500, 2, 0};
    QTest::newRow("enable choices") << QStringList{"ready", "enable choices"} << true << shown
                                    << QStringList{"Play target", "Play sinusoid"} << Sent();
    // The experimenter window's disabled state never reaches the listener's controls.
    QTest::newRow("parent off first") << QStringList{"parent off"} + toChoosingDone << true
                                      << shownDone << choicesDone << Sent{2, 0, 4, 500};
    QTest::newRow("parent off choosing") << toChoosing + QStringList{"parent off"} << true
                                         << shown << choices << Sent{2, 0};
    QTest::newRow("parent off requested") << requested + QStringList{"parent off"} + toChoosing.mid(2)
                                          << true << shown << choices << Sent{2, 0};
    QTest::newRow("parent on requested") << QStringList{"parent off"} + requested + QStringList{"parent on"}
                                         << false << shown << target << Sent{2, 0};
}

void TestSubjectWindow::phases()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, windowEnabled);
    QFETCH(QStringList, visible);
    QFETCH(QStringList, enabled);
    QFETCH(QList<int>, sent);

    QMainWindow parent;
    SubjectWindow *window = open(parent, steps);
    QSignalSpy responded(window, &SubjectWindow::subjectResponded);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    perform(*window, steps, &parent);

    QCOMPARE(window->isEnabled(), windowEnabled);
    QCOMPARE(controls(*window, false), visible);
    QCOMPARE(controls(*window, true), enabled);
    QList<int> actual;
    for (const QList<QVariant> &arguments : responded)
        actual << arguments.at(0).toInt() << arguments.at(1).toInt();
    QCOMPARE(actual, sent);
}

void TestSubjectWindow::frequencyControls_data()
{
    QTest::addColumn<QList<int>>("parameters"); // minimum, maximum, current, step
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("move");
    QTest::addColumn<int>("end");

    const QList<int> wide = {10, 1000, 500, 1}, narrow = {100, 200, 150, 5};
    QTest::newRow("slider 730") << wide << 500 << "slider 730" << 730;
    QTest::newRow("spin box 730") << wide << 500 << "spin box 730" << 730;
    QTest::newRow("spin box 5000") << wide << 500 << "spin box 5000" << 1000;
    QTest::newRow("slider up") << narrow << 150 << "slider up" << 155;
    QTest::newRow("spin box down") << narrow << 150 << "spin box down" << 145;
    QTest::newRow("start above") << QList<int>{100, 200, 250, 5} << 200 << "slider 90" << 100;
}

void TestSubjectWindow::frequencyControls()
{
    QFETCH(QList<int>, parameters);
    QFETCH(int, start);
    QFETCH(QString, move);
    QFETCH(int, end);

    QMainWindow parent;
    QStringList steps = toChoosing;
    SubjectWindow *window = open(parent, steps);
    // Away from every row's values first, so each row has to move both controls.
    window->receiveParameters(300, 400, 350, 10);
    window->receiveParameters(parameters[0], parameters[1], parameters[2], parameters[3]);
    QCOMPARE(window->frequencyCurrent, parameters[2]);
    const auto state = [](const auto *control) {
        return QList<int>{control->minimum(), control->maximum(), control->value(), control->singleStep()};
    };
    const QList<int> expected = {parameters[0], parameters[1], start, parameters[3]};
    QCOMPARE(state(window->spinBoxFrequency), expected);
    QCOMPARE(state(window->sliderFrequency), expected);
    perform(*window, steps + QStringList{move}, &parent);
    QCOMPARE(window->spinBoxFrequency->value(), end);
    QCOMPARE(window->sliderFrequency->value(), end);
}

void TestSubjectWindow::closeQuestion_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("byDone");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");

    QTest::newRow("waiting, yes") << QStringList() << false << int(QMessageBox::Yes) << true;
    QTest::newRow("choosing, cancel") << toChoosing << false << int(QMessageBox::Cancel) << false;
    QTest::newRow("Done, yes") << toChoosingDone << true << int(QMessageBox::Yes) << true;
    QTest::newRow("Done, no") << toChoosingDone << true << int(QMessageBox::No) << false;
    QTest::newRow("Done, yes, parent off") << QStringList{"parent off"} + toChoosingDone << true
                                           << int(QMessageBox::Yes) << true;
}

void TestSubjectWindow::closeQuestion()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, byDone);
    QFETCH(int, answer);
    QFETCH(bool, closes);

    QMainWindow parent;
    QPointer<SubjectWindow> window = open(parent, steps);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    perform(*window, steps, &parent);
    QSignalSpy responded(window.data(), &SubjectWindow::subjectResponded);
    QSignalSpy closed(window.data(), &SubjectWindow::subjectWindowClosed);
    const QStringList enabledBefore = controls(*window, true);

    ModalDriver driver;
    driver.answerMessageBox(QMessageBox::StandardButton(answer));
    if (byDone)
        QTest::mouseClick(window->pushButtonDone, Qt::LeftButton);
    else
        window->close();
    QVERIFY(driver.waitUntilDone());

    QCOMPARE(driver.seen().size(), 1);
    const ModalDriver::Seen &box = driver.seen().first();
    QCOMPARE(QStringList({box.kind, box.title, box.text}),
             QStringList({"QMessageBox", "Confirmation MessageBox",
                          "Do you want to close this window?\n"}));
    QCOMPARE(closed.count(), closes ? 1 : 0);
    QCOMPARE(responded.count(), 0);
    QCOMPARE(window->isVisible(), !closes);
    if (!closes)
        QCOMPARE(controls(*window, true), enabledBefore);
    // Closing only hides it; the experimenter window still owns it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!window.isNull());
}

QTEST_MAIN(TestSubjectWindow)
#include "tst_subjectwindow.moc"
