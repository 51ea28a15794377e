#include "subject/SubjectWindow.h"
#include "subject/WindowGeometry.h"
#include "support/ModalDriver.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QTest>

#include <memory>

namespace {

const QString hoverStyleSheet =
    "QPushButton:hover {background-color: rgb(0, 255, 255); border: 1px solid blue;}";

// Controls in the order used by every expected list below.
const QStringList controlNames = {"Play target", "Current Value", "spin box", "Play sinusoid",
                                  "slider", "I am ready", "Done"};

const QStringList readyControls = {"Play target", "Current Value", "spin box", "Play sinusoid",
                                   "slider"};
const QStringList readyControlsAndDone = readyControls + QStringList{"Done"};
const QStringList choiceControls = {"Play target", "spin box", "Play sinusoid", "slider"};
const QStringList choiceControlsAndDone = choiceControls + QStringList{"Done"};

// The road to the first match: ready, hear the target, choose, hear the sinusoid.
const QStringList toChoosing = {"ready", "target", "playing", "finished"};
const QStringList toChoosingWithDone = toChoosing + QStringList{"sinusoid", "playing", "finished"};

} // namespace

class TestSubjectWindow : public QObject
{
    Q_OBJECT
private slots:
    void construction();
    void layoutCells_data();
    void layoutCells();
    void stepButtonsAreLargeAndGrey();
    void geometryFollowsPrimaryScreen();

    void phases_data();
    void phases();
    void hoverStyle_data();
    void hoverStyle();

    void receiveParameters_data();
    void receiveParameters();
    void controlsFollowEachOther_data();
    void controlsFollowEachOther();
    void playSinusoidSendsChosenFrequency_data();
    void playSinusoidSendsChosenFrequency();
    void playTargetSendsNoFrequency_data();
    void playTargetSendsNoFrequency();

    void closeQuestion_data();
    void closeQuestion();

    void disabledParent_data();
    void disabledParent();

private:
    static QWidget *control(SubjectWindow &window, const QString &name);
    static QStringList visibleControls(SubjectWindow &window);
    static QStringList enabledVisibleControls(SubjectWindow &window);
    static QList<int> responseCodes(const QSignalSpy &spy);
    static bool showAndExpose(QWidget &window);
    static void perform(SubjectWindow &window, const QStringList &steps, QWidget *parent = nullptr);
};

QWidget *TestSubjectWindow::control(SubjectWindow &window, const QString &name)
{
    if (name == "Play target")
        return window.pushButtonPlayTarget;
    if (name == "Current Value")
        return window.labelCurrentValue;
    if (name == "spin box")
        return window.spinBoxFrequency;
    if (name == "Play sinusoid")
        return window.pushButtonPlaySinusoid;
    if (name == "slider")
        return window.sliderFrequency;
    if (name == "I am ready")
        return window.pushButtonIAmReady;
    if (name == "Done")
        return window.pushButtonDone;
    return nullptr;
}

QStringList TestSubjectWindow::visibleControls(SubjectWindow &window)
{
    QStringList names;
    for (const QString &name : controlNames) {
        if (control(window, name)->isVisible())
            names << name;
    }
    return names;
}

// Enabled as far as the control itself goes: a control counts even while the whole window is
// disabled, so the table can say what comes back when the window is enabled again.
QStringList TestSubjectWindow::enabledVisibleControls(SubjectWindow &window)
{
    QStringList names;
    for (const QString &name : controlNames) {
        QWidget *widget = control(window, name);
        if (widget->isVisible() && widget->isEnabledTo(&window))
            names << name;
    }
    return names;
}

QList<int> TestSubjectWindow::responseCodes(const QSignalSpy &spy)
{
    QList<int> codes;
    for (const QList<QVariant> &arguments : spy)
        codes << arguments.at(0).toInt();
    return codes;
}

bool TestSubjectWindow::showAndExpose(QWidget &window)
{
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}

// Steps as the listener and the experimenter window take them. Clicks on a disabled control are
// lost, exactly as a person's would be.
void TestSubjectWindow::perform(SubjectWindow &window, const QStringList &steps, QWidget *parent)
{
    for (const QString &step : steps) {
        if (step == "ready")
            QTest::mouseClick(window.pushButtonIAmReady, Qt::LeftButton);
        else if (step == "target")
            QTest::mouseClick(window.pushButtonPlayTarget, Qt::LeftButton);
        else if (step == "sinusoid")
            QTest::mouseClick(window.pushButtonPlaySinusoid, Qt::LeftButton);
        else if (step == "playing")
            window.updateSubjectWindow(1);
        else if (step == "playing 0")
            window.updateSubjectWindow(0);
        else if (step == "finished")
            window.updateSubjectWindow(-1);
        else if (step == "enable choices")
            window.enableAllChoiceButtons();
        else if (step == "parent off" && parent)
            parent->setEnabled(false);
        else if (step == "parent on" && parent)
            parent->setEnabled(true);
        else
            QFAIL(qPrintable("unknown step " + step));
    }
}

void TestSubjectWindow::construction()
{
    QMainWindow parent;
    SubjectWindow window(&parent);
    QVERIFY(window.isWindow());
    QCOMPARE(window.parentWidget(), &parent);
    QVERIFY(!window.testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(window.windowTitle(), QString("Varnel Lab | Tonvara (v014) | Subject Window"));
    QCOMPARE(window.centralWidget(), window.widgetCentral);
    QCOMPARE(window.widgetCentral->layout(), window.layoutMain);

    QCOMPARE(window.pushButtonPlayTarget->text(), QString("Play target"));
    QCOMPARE(window.labelCurrentValue->text(), QString("Current Value"));
    QCOMPARE(window.pushButtonPlaySinusoid->text(), QString("Play sinusoid"));
    QCOMPARE(window.pushButtonIAmReady->text(), QString("I am ready"));
    QCOMPARE(window.pushButtonDone->text(), QString("Done"));
    QCOMPARE(window.labelCurrentValue->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    QCOMPARE(window.sliderFrequency->orientation(), Qt::Vertical);

    QCOMPARE(window.frequencyMin, 10);
    QCOMPARE(window.frequencyMax, 1000);
    QCOMPARE(window.frequencyCurrent, 500);
    QCOMPARE(window.frequencyStepSize, 1);
    QCOMPARE(window.spinBoxFrequency->value(), 500);
    QCOMPARE(window.sliderFrequency->value(), 500);
}

void TestSubjectWindow::layoutCells_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("rowSpan");
    QTest::addColumn<int>("columnSpan");
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<int>("vertical");
    QTest::addColumn<QSize>("minimumSize");

    const int expanding = QSizePolicy::Expanding;
    const int fixed = QSizePolicy::Fixed;
    QTest::newRow("Play target") << "Play target" << 0 << 0 << 2 << 1
                                 << expanding << expanding << QSize(0, 0);
    QTest::newRow("Play sinusoid") << "Play sinusoid" << 1 << 1 << 1 << 1
                                   << expanding << expanding << QSize(0, 0);
    QTest::newRow("slider") << "slider" << 0 << 2 << 2 << 1 << fixed << expanding << QSize(100, 0);
    QTest::newRow("I am ready") << "I am ready" << 0 << 1 << 1 << 2
                                << expanding << expanding << QSize(0, 0);
    QTest::newRow("Done") << "Done" << 2 << 0 << 1 << 4 << expanding << fixed << QSize(0, 100);
}

void TestSubjectWindow::layoutCells()
{
    QFETCH(QString, name);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, rowSpan);
    QFETCH(int, columnSpan);
    QFETCH(int, horizontal);
    QFETCH(int, vertical);
    QFETCH(QSize, minimumSize);

    SubjectWindow window(nullptr);
    QWidget *widget = control(window, name);
    const int index = window.layoutMain->indexOf(widget);
    QVERIFY(index >= 0);
    int actualRow = -1, actualColumn = -1, actualRowSpan = -1, actualColumnSpan = -1;
    window.layoutMain->getItemPosition(index, &actualRow, &actualColumn, &actualRowSpan,
                                       &actualColumnSpan);
    QCOMPARE(actualRow, row);
    QCOMPARE(actualColumn, column);
    QCOMPARE(actualRowSpan, rowSpan);
    QCOMPARE(actualColumnSpan, columnSpan);
    QCOMPARE(int(widget->sizePolicy().horizontalPolicy()), horizontal);
    QCOMPARE(int(widget->sizePolicy().verticalPolicy()), vertical);
    QCOMPARE(widget->minimumSize(), minimumSize);
}

// The value row: label then spin box in one cell, the spin box tall and only as wide as it may
// grow. Its step buttons are the listener's main way to tune, so they must be big.
void TestSubjectWindow::stepButtonsAreLargeAndGrey()
{
    SubjectWindow window(nullptr);
    const int index = window.layoutMain->indexOf(window.layoutCurrentValue);
    QVERIFY(index >= 0);
    int row = -1, column = -1, rowSpan = -1, columnSpan = -1;
    window.layoutMain->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column, rowSpan, columnSpan}), QList<int>({0, 1, 1, 1}));
    QCOMPARE(window.layoutCurrentValue->itemAt(0)->widget(), window.labelCurrentValue);
    QCOMPARE(window.layoutCurrentValue->itemAt(1)->widget(), window.spinBoxFrequency);

    QSpinBox *spinBox = window.spinBoxFrequency;
    QCOMPARE(spinBox->minimumHeight(), 200);
    QCOMPARE(int(spinBox->sizePolicy().horizontalPolicy()), int(QSizePolicy::Expanding));
    QCOMPARE(int(spinBox->sizePolicy().verticalPolicy()), int(QSizePolicy::Fixed));

    QVERIFY(showAndExpose(window));
    perform(window, {"ready"});
    QVERIFY(spinBox->height() >= 200);

    QStyleOptionSpinBox option;
    option.initFrom(spinBox);
    option.subControls = QStyle::SC_All;
    option.frame = true;
    option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    const QRect up = spinBox->style()->subControlRect(QStyle::CC_SpinBox, &option,
                                                      QStyle::SC_SpinBoxUp, spinBox);
    const QRect down = spinBox->style()->subControlRect(QStyle::CC_SpinBox, &option,
                                                        QStyle::SC_SpinBoxDown, spinBox);
    QCOMPARE(up.size(), QSize(60, 100));
    QCOMPARE(down.size(), QSize(60, 100));

    const QImage image = spinBox->grab().toImage();
    QCOMPARE(QColor(image.pixel(up.left() + 3, up.top() + 3)), QColor(190, 190, 190));
    QCOMPARE(QColor(image.pixel(down.left() + 3, down.bottom() - 3)), QColor(190, 190, 190));
}

void TestSubjectWindow::geometryFollowsPrimaryScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    QVERIFY(screen);
    const QRect expected = WindowGeometry::fromScreenFraction(screen->availableSize(), 0.7, 0.8,
                                                              true, QPoint(0, 0));
    SubjectWindow window(nullptr);
    QCOMPARE(window.geometry(), expected);
    QVERIFY(expected.width() > 0);
}

void TestSubjectWindow::phases_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("windowEnabled");
    QTest::addColumn<QStringList>("visible");
    QTest::addColumn<QStringList>("enabled");
    QTest::addColumn<QList<int>>("codes");

    const QStringList readyButton = {"I am ready"};
    const QStringList playTarget = {"Play target"};
    QTest::newRow("waiting") << QStringList() << true << readyButton << readyButton << QList<int>();
    QTest::newRow("ready") << QStringList{"ready"} << true << readyControls << playTarget
                           << QList<int>();
    QTest::newRow("target requested") << QStringList{"ready", "target"} << false << readyControls
                                      << playTarget << QList<int>{2};
    QTest::newRow("target playing") << QStringList{"ready", "target", "playing"} << false
                                    << readyControls << QStringList() << QList<int>{2};
    QTest::newRow("a count of 0 also means playing")
        << QStringList{"ready", "target", "playing 0"} << false << readyControls << QStringList()
        << QList<int>{2};
    QTest::newRow("choosing after the target") << toChoosing << true << readyControls
                                               << choiceControls << QList<int>{2};
    QTest::newRow("sinusoid requested, Done appears")
        << toChoosing + QStringList{"sinusoid"} << false << readyControlsAndDone
        << choiceControlsAndDone << QList<int>{2, 4};
    QTest::newRow("sinusoid playing")
        << toChoosing + QStringList{"sinusoid", "playing"} << false << readyControlsAndDone
        << QStringList{"spin box", "slider", "Done"} << QList<int>{2, 4};
    QTest::newRow("choosing after the sinusoid") << toChoosingWithDone << true
                                                 << readyControlsAndDone << choiceControlsAndDone
                                                 << QList<int>{2, 4};
    QTest::newRow("target again keeps Done")
        << toChoosingWithDone + QStringList{"target"} << false << readyControlsAndDone
        << choiceControlsAndDone << QList<int>{2, 4, 2};
    QTest::newRow("choosing again keeps Done")
        << toChoosingWithDone + QStringList{"target", "playing", "finished"} << true
        << readyControlsAndDone << choiceControlsAndDone << QList<int>{2, 4, 2};
    QTest::newRow("both request buttons enabled on demand")
        << QStringList{"ready", "enable choices"} << true << readyControls
        << QStringList{"Play target", "Play sinusoid"} << QList<int>();
    QTest::newRow("clicks during a pending request are lost")
        << QStringList{"ready", "target", "target", "sinusoid"} << false << readyControls
        << playTarget << QList<int>{2};
    QTest::newRow("clicks during playback are lost")
        << toChoosing + QStringList{"sinusoid", "playing", "target", "sinusoid"} << false
        << readyControlsAndDone << QStringList{"spin box", "slider", "Done"} << QList<int>{2, 4};
}

void TestSubjectWindow::phases()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, windowEnabled);
    QFETCH(QStringList, visible);
    QFETCH(QStringList, enabled);
    QFETCH(QList<int>, codes);

    SubjectWindow window(nullptr);
    QSignalSpy responded(&window, &SubjectWindow::subjectResponded);
    QSignalSpy closed(&window, &SubjectWindow::subjectWindowClosed);
    QVERIFY(showAndExpose(window));

    perform(window, steps);

    QCOMPARE(window.isEnabled(), windowEnabled);
    QCOMPARE(visibleControls(window), visible);
    QCOMPARE(enabledVisibleControls(window), enabled);
    QCOMPARE(responseCodes(responded), codes);
    QCOMPARE(closed.count(), 0);
}

void TestSubjectWindow::hoverStyle_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("highlighted");

    QTest::newRow("waiting") << QStringList() << QStringList();
    QTest::newRow("ready") << QStringList{"ready"} << QStringList{"Play target"};
    QTest::newRow("choosing") << toChoosing << QStringList{"Play target", "Play sinusoid"};
    QTest::newRow("sinusoid requested") << toChoosing + QStringList{"sinusoid"}
                                        << QStringList{"Play target", "Play sinusoid", "Done"};
}

void TestSubjectWindow::hoverStyle()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, highlighted);

    SubjectWindow window(nullptr);
    QVERIFY(showAndExpose(window));
    perform(window, steps);

    QStringList actual;
    for (const QString &name : QStringList{"Play target", "Play sinusoid", "I am ready", "Done"}) {
        const QString styleSheet = control(window, name)->styleSheet();
        if (styleSheet == hoverStyleSheet)
            actual << name;
        else
            QCOMPARE(styleSheet, QString());
    }
    QCOMPARE(actual, highlighted);
}

void TestSubjectWindow::receiveParameters_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("shown");

    QTest::newRow("defaults") << 10 << 1000 << 500 << 1 << 500;
    QTest::newRow("narrow range in steps of 5") << 100 << 200 << 150 << 5 << 150;
    QTest::newRow("start above the range shows the maximum") << 100 << 200 << 250 << 5 << 200;
}

void TestSubjectWindow::receiveParameters()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, current);
    QFETCH(int, step);
    QFETCH(int, shown);

    SubjectWindow window(nullptr);
    QSignalSpy responded(&window, &SubjectWindow::subjectResponded);
    // A range that excludes every row's values, so each row has to move both controls.
    window.receiveParameters(300, 400, 350, 10);
    window.receiveParameters(minimum, maximum, current, step);

    QCOMPARE(window.frequencyMin, minimum);
    QCOMPARE(window.frequencyMax, maximum);
    QCOMPARE(window.frequencyCurrent, current);
    QCOMPARE(window.frequencyStepSize, step);
    QCOMPARE(window.spinBoxFrequency->minimum(), minimum);
    QCOMPARE(window.spinBoxFrequency->maximum(), maximum);
    QCOMPARE(window.spinBoxFrequency->value(), shown);
    QCOMPARE(window.spinBoxFrequency->singleStep(), step);
    QCOMPARE(window.sliderFrequency->minimum(), minimum);
    QCOMPARE(window.sliderFrequency->maximum(), maximum);
    QCOMPARE(window.sliderFrequency->value(), shown);
    QCOMPARE(window.sliderFrequency->singleStep(), step);

    // Still waiting for the listener, and nothing is asked of the experimenter window.
    QCOMPARE(window.isEnabled(), true);
    QCOMPARE(window.pushButtonIAmReady->isHidden(), false);
    QCOMPARE(window.pushButtonPlayTarget->isHidden(), true);
    QCOMPARE(responded.count(), 0);
}

void TestSubjectWindow::controlsFollowEachOther_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("expected");

    // key 0: the value is set directly, as a drag or typing would.
    QTest::newRow("slider at 730 shows in the spin box") << "slider" << 0 << 730 << 1 << 730;
    QTest::newRow("spin box at 730 moves the slider") << "spin box" << 0 << 730 << 1 << 730;
    QTest::newRow("spin box beyond the range stops both at 1000")
        << "spin box" << 0 << 5000 << 1 << 1000;
    QTest::newRow("slider below the range stops both at 10") << "slider" << 0 << -3 << 1 << 10;
    QTest::newRow("spin box arrow up") << "spin box" << int(Qt::Key_Up) << 0 << 1 << 501;
    QTest::newRow("slider arrow down") << "slider" << int(Qt::Key_Down) << 0 << 1 << 499;
    QTest::newRow("slider arrow up in steps of 5") << "slider" << int(Qt::Key_Up) << 0 << 5 << 505;
    QTest::newRow("spin box arrow down in steps of 5")
        << "spin box" << int(Qt::Key_Down) << 0 << 5 << 495;
}

void TestSubjectWindow::controlsFollowEachOther()
{
    QFETCH(QString, source);
    QFETCH(int, key);
    QFETCH(int, value);
    QFETCH(int, step);
    QFETCH(int, expected);

    SubjectWindow window(nullptr);
    window.receiveParameters(10, 1000, 500, step);
    QVERIFY(showAndExpose(window));
    perform(window, toChoosing);

    QWidget *widget = control(window, source);
    if (key != 0)
        QTest::keyClick(widget, Qt::Key(key));
    else if (source == "slider")
        window.sliderFrequency->setValue(value);
    else
        window.spinBoxFrequency->setValue(value);

    QCOMPARE(window.spinBoxFrequency->value(), expected);
    QCOMPARE(window.sliderFrequency->value(), expected);
}

void TestSubjectWindow::playSinusoidSendsChosenFrequency_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("value");

    QTest::newRow("spin box at 730") << "spin box" << 730;
    QTest::newRow("slider at 730") << "slider" << 730;
    QTest::newRow("lowest frequency") << "spin box" << 10;
    QTest::newRow("highest frequency") << "slider" << 1000;
    QTest::newRow("untouched start value") << "" << 500;
}

void TestSubjectWindow::playSinusoidSendsChosenFrequency()
{
    QFETCH(QString, source);
    QFETCH(int, value);

    SubjectWindow window(nullptr);
    QSignalSpy responded(&window, &SubjectWindow::subjectResponded);
    QVERIFY(showAndExpose(window));
    perform(window, toChoosing);
    responded.clear();

    if (source == "slider")
        window.sliderFrequency->setValue(value);
    else if (source == "spin box")
        window.spinBoxFrequency->setValue(value);
    perform(window, {"sinusoid"});

    QCOMPARE(responded.count(), 1);
    QCOMPARE(responded.first().at(0).toInt(), 4);
    QCOMPARE(responded.first().at(1).toInt(), value);
    QCOMPARE(window.frequencyCurrent, value);
}

void TestSubjectWindow::playTargetSendsNoFrequency_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("value");

    QTest::newRow("first request from ready") << QStringList{"ready"} << 0;
    QTest::newRow("spin box at 730") << toChoosing << 730;
    QTest::newRow("spin box at 10 after a sinusoid") << toChoosingWithDone << 10;
}

void TestSubjectWindow::playTargetSendsNoFrequency()
{
    QFETCH(QStringList, steps);
    QFETCH(int, value);

    SubjectWindow window(nullptr);
    QSignalSpy responded(&window, &SubjectWindow::subjectResponded);
    QVERIFY(showAndExpose(window));
    perform(window, steps);
    if (value != 0)
        window.spinBoxFrequency->setValue(value);
    const qint32 frequencyBefore = window.frequencyCurrent;
    responded.clear();

    perform(window, {"target"});

    QCOMPARE(responded.count(), 1);
    QCOMPARE(responded.first().at(0).toInt(), 2);
    QCOMPARE(responded.first().at(1).toInt(), 0);
    // Only a sinusoid request records a frequency.
    QCOMPARE(window.frequencyCurrent, frequencyBefore);
}

void TestSubjectWindow::closeQuestion_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("byDoneButton");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("disabledParent");
    QTest::addColumn<bool>("closes");

    const int yes = QMessageBox::Yes;
    const int no = QMessageBox::No;
    const int cancel = QMessageBox::Cancel;
    QTest::newRow("yes while waiting") << QStringList() << false << yes << false << true;
    QTest::newRow("no while waiting") << QStringList() << false << no << false << false;
    QTest::newRow("cancel while waiting") << QStringList() << false << cancel << false << false;
    QTest::newRow("yes while choosing") << toChoosing << false << yes << false << true;
    QTest::newRow("Done, yes") << toChoosingWithDone << true << yes << false << true;
    QTest::newRow("Done, no") << toChoosingWithDone << true << no << false << false;
    QTest::newRow("Done, cancel") << toChoosingWithDone << true << cancel << false << false;
    QTest::newRow("Done, yes, under a disabled parent")
        << toChoosingWithDone << true << yes << true << true;
    QTest::newRow("yes while waiting, under a disabled parent")
        << QStringList() << false << yes << true << true;
}

void TestSubjectWindow::closeQuestion()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, byDoneButton);
    QFETCH(int, answer);
    QFETCH(bool, disabledParent);
    QFETCH(bool, closes);

    QMainWindow parent;
    if (disabledParent) {
        QVERIFY(showAndExpose(parent));
        parent.setEnabled(false);
    }
    QPointer<SubjectWindow> window = new SubjectWindow(&parent);
    QSignalSpy responded(window.data(), &SubjectWindow::subjectResponded);
    QSignalSpy closed(window.data(), &SubjectWindow::subjectWindowClosed);
    QVERIFY(showAndExpose(*window));
    perform(*window, steps);

    const QStringList visibleBefore = visibleControls(*window);
    const QStringList enabledBefore = enabledVisibleControls(*window);
    const int respondedBefore = responded.count();

    ModalDriver driver;
    driver.answerMessageBox(QMessageBox::StandardButton(answer));
    if (byDoneButton)
        QTest::mouseClick(window->pushButtonDone, Qt::LeftButton);
    else
        window->close();
    QVERIFY(driver.waitUntilDone());

    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen().first().kind, QString("QMessageBox"));
    QCOMPARE(driver.seen().first().title, QString("Confirmation MessageBox"));
    QCOMPARE(driver.seen().first().text, QString("Do you want to close this window?\n"));

    QCOMPARE(closed.count(), closes ? 1 : 0);
    QCOMPARE(responded.count(), respondedBefore);
    QCOMPARE(window->isVisible(), !closes);
    if (!closes) {
        QCOMPARE(window->isEnabled(), true);
        QCOMPARE(visibleControls(*window), visibleBefore);
        QCOMPARE(enabledVisibleControls(*window), enabledBefore);
    }
    // Closing only hides the window; the experimenter window still owns it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!window.isNull());
    if (disabledParent)
        QCOMPARE(parent.isEnabled(), false);
}

void TestSubjectWindow::disabledParent_data()
{
    QTest::addColumn<bool>("plainParent");
    QTest::addColumn<bool>("parentEnabledAtStart");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("windowEnabled");
    QTest::addColumn<QStringList>("visible");
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<bool>("parentEnabled");

    QTest::newRow("QWidget parent disabled first, listener gets ready")
        << true << false << QStringList{"ready"} << true << readyControls << QList<int>()
        << false;
    QTest::newRow("QMainWindow parent disabled first, listener gets ready")
        << false << false << QStringList{"ready"} << true << readyControls << QList<int>()
        << false;
    QTest::newRow("whole run under a disabled parent")
        << false << false << toChoosingWithDone << true << readyControlsAndDone
        << QList<int>{2, 4} << false;
    QTest::newRow("parent disabled after the window opened")
        << false << true << QStringList{"parent off", "ready"} << true << readyControls
        << QList<int>() << false;
    QTest::newRow("parent enabled during a pending request keeps the window disabled")
        << false << false << QStringList{"ready", "target", "parent on"} << false << readyControls
        << QList<int>{2} << true;
    QTest::newRow("parent disabled during a pending request, then the sound ends")
        << false << true << QStringList{"ready", "target", "parent off", "playing", "finished"}
        << true << readyControls << QList<int>{2} << false;
}

void TestSubjectWindow::disabledParent()
{
    QFETCH(bool, plainParent);
    QFETCH(bool, parentEnabledAtStart);
    QFETCH(QStringList, steps);
    QFETCH(bool, windowEnabled);
    QFETCH(QStringList, visible);
    QFETCH(QList<int>, codes);
    QFETCH(bool, parentEnabled);

    std::unique_ptr<QWidget> parent(plainParent ? new QWidget : new QMainWindow);
    QVERIFY(showAndExpose(*parent));
    parent->setEnabled(parentEnabledAtStart);

    QPointer<SubjectWindow> window = new SubjectWindow(parent.get());
    QSignalSpy responded(window.data(), &SubjectWindow::subjectResponded);
    QVERIFY(window->isWindow());
    QCOMPARE(window->isEnabled(), true);
    QVERIFY(showAndExpose(*window));

    perform(*window, steps, parent.get());

    QCOMPARE(window->isEnabled(), windowEnabled);
    QCOMPARE(visibleControls(*window), visible);
    QCOMPARE(responseCodes(responded), codes);
    QCOMPARE(parent->isEnabled(), parentEnabled);

    // It lives and dies with the experimenter window.
    parent.reset();
    QVERIFY(window.isNull());
}

QTEST_MAIN(TestSubjectWindow)
#include "tst_subjectwindow.moc"
