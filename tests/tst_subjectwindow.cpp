#include "subject/SubjectWindow.h"
#include "subject/WindowGeometry.h"
#include "support/ModalDriver.h"

#include <QGridLayout>
#include <QHBoxLayout>
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

// The listener's way through a run, one phase after another.
enum Phase { Waiting, Ready, TargetRequested, TargetPlaying, Choosing, SinusoidRequested, SinusoidPlaying,
             ChoosingAgain, TargetRequestedAgain };

const QStringList all = {"Play target", "Current Value", "spin box", "Play sinusoid", "slider", "I am ready", "Done"};
const QStringList shown = all.mid(0, 5), shownDone = shown + QStringList{"Done"};
const QStringList choices = {"Play target", "spin box", "Play sinusoid", "slider"};
const QStringList choicesDone = choices + QStringList{"Done"};

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

// The controls shown, or those enabled in their own right (what returns once the window is enabled).
QStringList controls(SubjectWindow &window, bool enabledOnly)
{
    const QList<QWidget *> widgets = {window.pushButtonPlayTarget, window.labelCurrentValue, window.spinBoxFrequency,
                                      window.pushButtonPlaySinusoid, window.sliderFrequency, window.pushButtonIAmReady,
                                      window.pushButtonDone};
    QStringList names;
    for (int i = 0; i < widgets.size(); ++i)
        if (widgets[i]->isVisible() && (!enabledOnly || widgets[i]->isEnabledTo(&window)))
            names << all[i];
    return names;
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
};

void TestSubjectWindow::appearance()
{
    QPointer<SubjectWindow> window;
    {
        QMainWindow parent;
        window = new SubjectWindow(&parent);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        advance(*window, Ready);
        QVERIFY(window->isWindow());
        QCOMPARE(window->windowTitle(), QString("Varnel Lab | Tonvara (v014) | Subject Window"));
        QCOMPARE(QStringList({window->pushButtonPlayTarget->text(), window->labelCurrentValue->text(),
                              window->pushButtonPlaySinusoid->text(), window->pushButtonIAmReady->text(),
                              window->pushButtonDone->text()}),
                 QStringList({"Play target", "Current Value", "Play sinusoid", "I am ready", "Done"}));
        QCOMPARE(window->sliderFrequency->orientation(), Qt::Vertical);
        // Row, column, row span, column span; "I am ready" shares the cells of the value row and the slider.
        QGridLayout *grid = window->layoutMain;
        QList<QList<int>> cells;
        for (int index : {grid->indexOf(window->pushButtonPlayTarget), grid->indexOf(window->layoutCurrentValue),
                          grid->indexOf(window->pushButtonPlaySinusoid), grid->indexOf(window->sliderFrequency),
                          grid->indexOf(window->pushButtonIAmReady), grid->indexOf(window->pushButtonDone)}) {
            int row = -1, column = -1, rows = -1, columns = -1;
            grid->getItemPosition(index, &row, &column, &rows, &columns);
            cells << QList<int>{row, column, rows, columns};
        }
        QCOMPARE(cells, (QList<QList<int>>{{0, 0, 2, 1}, {0, 1, 1, 1}, {1, 1, 1, 1}, {0, 2, 2, 1}, {0, 1, 1, 2}, {2, 0, 1, 4}}));
        QCOMPARE(window->geometry(), WindowGeometry::fromScreenFraction(
                                         QGuiApplication::primaryScreen()->availableSize(), 0.7, 0.8, true, {}));

        // Stepping is the listener's main way to tune, so the step buttons must be big.
        QSpinBox *spinBox = window->spinBoxFrequency;
        QVERIFY(spinBox->height() >= 200);
        QStyleOptionSpinBox option;
        option.initFrom(spinBox);
        option.subControls = QStyle::SC_All;
        const QImage image = spinBox->grab().toImage();
        for (QStyle::SubControl part : {QStyle::SC_SpinBoxUp, QStyle::SC_SpinBoxDown}) {
            const QRect rect = spinBox->style()->subControlRect(QStyle::CC_SpinBox, &option, part, spinBox);
            QCOMPARE(rect.size(), QSize(60, 100));
            QCOMPARE(QColor(image.pixel(rect.topLeft() + QPoint(3, 3))), QColor(190, 190, 190));
        }
    }
    QVERIFY(window.isNull()); // it lives and dies with the experimenter window
}

void TestSubjectWindow::phases_data()
{
    QTest::addColumn<int>("phase");
    QTest::addColumn<bool>("parentDisabled"); // as Go leaves the experimenter window
    QTest::addColumn<QString>("slot");        // called once the phase is reached
    QTest::addColumn<bool>("windowEnabled");
    QTest::addColumn<QStringList>("visible");
    QTest::addColumn<QStringList>("enabled");
    QTest::addColumn<QList<int>>("sent"); // response, frequency, ...

    const QStringList ready = {"I am ready"}, target = {"Play target"}, none;
    const QList<int> t = {2, 0}, ts = {2, 0, 4, 730};
    QTest::newRow("waiting") << int(Waiting) << false << "" << true << ready << ready << QList<int>();
    QTest::newRow("ready") << int(Ready) << false << "" << true << shown << target << QList<int>();
    QTest::newRow("target requested") << int(TargetRequested) << false << "" << false << shown << target << t;
    QTest::newRow("target playing") << int(TargetPlaying) << false << "" << false << shown << none << t;
    QTest::newRow("choosing") << int(Choosing) << false << "" << true << shown << choices << t;
    QTest::newRow("sinusoid at 730") << int(SinusoidRequested) << false << "" << false << shownDone << choicesDone << ts;
    QTest::newRow("sinusoid playing") << int(SinusoidPlaying) << false << "" << false << shownDone
                                      << QStringList{"spin box", "slider", "Done"} << ts;
    QTest::newRow("choosing, Done stays") << int(ChoosingAgain) << false << "" << true << shownDone << choicesDone << ts;
    QTest::newRow("target whatever the spin box shows")
        << int(TargetRequestedAgain) << false << "" << false << shownDone << choicesDone << ts + t;
    QTest::newRow("experimenter window disabled, whole run")
        << int(TargetRequestedAgain) << true << "" << false << shownDone << choicesDone << ts + t;
    QTest::newRow("choices enabled") << int(Ready) << false << "enableAllChoiceButtons" << true << shown
                                     << QStringList{"Play target", "Play sinusoid"} << QList<int>();
}

void TestSubjectWindow::phases()
{
    QFETCH(int, phase);
    QFETCH(bool, parentDisabled);
    QFETCH(QString, slot);

    QMainWindow parent;
    parent.show();
    parent.setEnabled(!parentDisabled);
    SubjectWindow window(&parent);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy responded(&window, &SubjectWindow::subjectResponded);
    advance(window, phase);
    if (!slot.isEmpty())
        QMetaObject::invokeMethod(&window, qPrintable(slot));

    QTEST(window.isEnabled(), "windowEnabled");
    QTEST(controls(window, false), "visible");
    QTEST(controls(window, true), "enabled");
    QList<int> sent;
    for (const QList<QVariant> &arguments : responded)
        sent << arguments.at(0).toInt() << arguments.at(1).toInt();
    QTEST(sent, "sent");
    QCOMPARE(window.frequencyCurrent, phase >= SinusoidRequested ? 730 : 500);
}

void TestSubjectWindow::frequencyControls_data()
{
    QTest::addColumn<QList<int>>("parameters"); // minimum, maximum, current, step
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("bySlider");
    QTest::addColumn<int>("setTo");  // 0: leaves the value
    QTest::addColumn<int>("steps");  // then this many presses of the up key (negative: down)
    QTest::addColumn<int>("end");

    const QList<int> wide = {10, 1000, 500, 1}, narrow = {100, 200, 150, 5};
    QTest::newRow("slider to 730") << wide << 500 << true << 730 << 0 << 730;
    QTest::newRow("spin box to 730") << wide << 500 << false << 730 << 0 << 730;
    QTest::newRow("spin box beyond the range") << wide << 500 << false << 5000 << 0 << 1000;
    QTest::newRow("slider one step up") << narrow << 150 << true << 0 << 1 << 155;
    QTest::newRow("spin box one step down") << narrow << 150 << false << 0 << -1 << 145;
    QTest::newRow("current beyond the range") << QList<int>{100, 200, 250, 5} << 200 << true << 90 << 0 << 100;
}

void TestSubjectWindow::frequencyControls()
{
    QFETCH(QList<int>, parameters);
    QFETCH(int, start);
    QFETCH(bool, bySlider);
    QFETCH(int, setTo);
    QFETCH(int, steps);

    QMainWindow parent;
    SubjectWindow window(&parent);
    window.show();
    advance(window, Choosing);
    // Away from every row's values first, so each row has to move both controls.
    for (const QList<int> &p : {QList<int>{300, 400, 350, 10}, parameters})
        QMetaObject::invokeMethod(&window, "receiveParameters", Q_ARG(qint32, p[0]), Q_ARG(qint32, p[1]),
                                  Q_ARG(qint32, p[2]), Q_ARG(qint32, p[3]));
    QCOMPARE(window.frequencyCurrent, parameters[2]);
    const auto state = [](const auto *control) {
        return QList<int>{control->minimum(), control->maximum(), control->value(), control->singleStep()};
    };
    const QList<int> expected = {parameters[0], parameters[1], start, parameters[3]};
    QCOMPARE(state(window.spinBoxFrequency), expected);
    QCOMPARE(state(window.sliderFrequency), expected);

    QWidget *moved = bySlider ? static_cast<QWidget *>(window.sliderFrequency) : window.spinBoxFrequency;
    if (setTo)
        moved->setProperty("value", setTo);
    for (int i = 0; i < qAbs(steps); ++i)
        QTest::keyClick(moved, steps > 0 ? Qt::Key_Up : Qt::Key_Down);
    QTEST(window.spinBoxFrequency->value(), "end");
    QTEST(window.sliderFrequency->value(), "end");
}

void TestSubjectWindow::closeQuestion_data()
{
    QTest::addColumn<int>("phase");
    QTest::addColumn<bool>("byDone");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");

    QTest::newRow("waiting, yes") << int(Waiting) << false << int(QMessageBox::Yes) << true;
    QTest::newRow("choosing, cancel") << int(Choosing) << false << int(QMessageBox::Cancel) << false;
    QTest::newRow("Done, yes") << int(ChoosingAgain) << true << int(QMessageBox::Yes) << true;
    QTest::newRow("Done, no") << int(ChoosingAgain) << true << int(QMessageBox::No) << false;
}

void TestSubjectWindow::closeQuestion()
{
    QFETCH(int, phase);
    QFETCH(bool, byDone);
    QFETCH(int, answer);
    QFETCH(bool, closes);

    QMainWindow parent;
    QPointer<SubjectWindow> window = new SubjectWindow(&parent);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    advance(*window, phase);
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
    QCOMPARE(QStringList({driver.seen()[0].title, driver.seen()[0].text}),
             QStringList({"Confirmation MessageBox", "Do you want to close this window?\n"}));
    QCOMPARE(closed.count(), closes ? 1 : 0);
    QCOMPARE(responded.count(), 0);
    QCOMPARE(window->isVisible(), !closes);
    QCOMPARE(controls(*window, true), closes ? QStringList() : enabledBefore);
    // Closing only hides it; the experimenter window still owns it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!window.isNull());
}

QTEST_MAIN(TestSubjectWindow)
#include "tst_subjectwindow.moc"
