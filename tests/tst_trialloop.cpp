#include "app/MainWindow.h"
#include "support/ModalDriver.h"
#include "support/WindowTest.h"

#include <QTest>
#include <QTimer>
#include <QtCharts/QLineSeries>

// The experimenter window's answers to the listener's requests.
class TestTrialLoop : public WindowTest
{
    Q_OBJECT
private slots:
    void init();
    void responses_data();
    void responses();
    void closingTheExperimenterWindowMidRunAsksEachTime();
};

// The state a session start leaves: one target, its order, a 250 ms target signal.
void TestTrialLoop::init()
{
    WindowTest::init();
    window->parameters.trials = {TrialRecord()};
    window->playOrder = {0};
    window->targetSignal = QVector<double>(window->parameters.sampleCount, 0.25);
}

void TestTrialLoop::responses_data()
{
    QTest::addColumn<QVector<int>>("responses"); // codes, each 4 at 730 Hz
    QTest::addColumn<bool>("warns");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("trendPoints");
    QTest::addColumn<int>("pauseMs"); // -1: no sound scheduled
    QTest::newRow("2 after 4 keeps it") << QVector<int>{4, 2} << false << 730 << 1 << 750;
    QTest::newRow("0 is only logged") << QVector<int>{0} << false << 500 << 0 << -1;
    QTest::newRow("3 is invalid") << QVector<int>{3} << true << 500 << 0 << -1;
}

void TestTrialLoop::responses()
{
    QFETCH(QVector<int>, responses);
    QFETCH(bool, warns);
    QFETCH(int, current);
    QFETCH(int, trendPoints);
    QFETCH(int, pauseMs);
    ModalDriver driver;
    if (warns)
        driver.answerMessageBox(QMessageBox::Ok);
    for (int response : responses)
        QVERIFY(QMetaObject::invokeMethod(window.get(), "updateMainwindow", Q_ARG(qint32, response), Q_ARG(qint32, 730)));
    QVERIFY(driver.waitUntilDone()); // a warning that is not expected, or an expected one missing, fails here
    QCOMPARE(window->parameters.frequencyCurrent, current);
    QCOMPARE(window->parameters.trials.first().matchedFrequency, trendPoints ? 730.0 : 0.0);
    QCOMPARE(window->trendSeries->count(), trendPoints);
    QCOMPARE(window->soundDueNs ? int((window->soundDueNs - window->requestNs) / 1000000) : -1, pauseMs);
}

void TestTrialLoop::closingTheExperimenterWindowMidRunAsksEachTime()
{
    window->show();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "on_pushButtonGo_clicked"));
    for (bool quit : {false, true}) {
        ModalDriver driver;
        driver.answerMessageBox(quit ? QMessageBox::Yes : QMessageBox::No);
        QCOMPARE(window->close(), quit);
        QVERIFY(driver.waitUntilDone());
        QVERIFY(driver.seen().first().text.contains("have not been saved"));
    }
}

QTEST_MAIN(TestTrialLoop)
#include "tst_trialloop.moc"
