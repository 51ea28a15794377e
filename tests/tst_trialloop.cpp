#include "app/MainWindow.h"
#include "subject/SubjectWindow.h"
#include "support/ModalDriver.h"
#include "support/WindowTest.h"
#include "support/WidgetFinder.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QtCharts/QLineSeries>
#include <cmath>

// The experimenter window's answers to the listener's requests.
class TestTrialLoop : public WindowTest
{
    Q_OBJECT
private slots:
    void init();

    void sinusoidRequest();
    void targetRequestKeepsTheMatch();
    void responsesThatPlayNothing_data();
    void responsesThatPlayNothing();
    void pauseIsSoundPlusSilence_data();
    void pauseIsSoundPlusSilence();
    void emptyOrderSchedulesNothing();
    void requestedToneIsPlayedAfterThePause();
    void goOpensAUsableSubjectWindow();
    void closingTheSubjectWindowEndsTheRun();
    void closingTheExperimenterWindowMidRunAsks_data();
    void closingTheExperimenterWindowMidRunAsks();

private:
    void prepareSession();
    void respond(qint32 response, qint32 frequency);

};

void TestTrialLoop::init()
{
    WindowTest::init();
    prepareSession();
}

// The state a session start leaves: one target, its order, a 250 ms target signal.
void TestTrialLoop::prepareSession()
{
    TrialRecord record;
    record.fileName = "tone1.wav";
    window->parameters.trials = {record};
    window->playOrder = {0};
    window->targetCount = 1;
    window->readParameters();
    window->targetSignal = QVector<double>(window->parameters.sampleCount, 0.25);
    window->resetTrendChart();
}

void TestTrialLoop::respond(qint32 response, qint32 frequency)
{
    QVERIFY(QMetaObject::invokeMethod(window.get(), "updateMainwindow", Q_ARG(qint32, response),
                                      Q_ARG(qint32, frequency)));
}

void TestTrialLoop::sinusoidRequest()
{
    QTest::ignoreMessage(QtDebugMsg, "response: 4");
    respond(4, 730);
    QCOMPARE(window->parameters.frequencyCurrent, 730);
    QCOMPARE(window->parameters.trials.first().matchedFrequency, 730.0);
    QVERIFY(window->sinusoidMode);
    QCOMPARE(window->sinusoidSignal.size(), 10000);
    QVERIFY(std::abs(window->sinusoidSignal[1] - std::sin(6.283185307179586 * 730.0 / 40000.0)) < 1e-15);
    QCOMPARE(window->trendSeries->count(), 1);
    QCOMPARE(window->trendSeries->at(0), QPointF(0.0, 730.0));
    QVERIFY(window->soundTimer->isActive());
    QCOMPARE(window->soundTimer->interval(), 750);
    QCOMPARE(window->soundTimer->timerType(), Qt::PreciseTimer);
    QCOMPARE(window->playPosition, 0);
    QCOMPARE(window->soundIndex, 0);
}

void TestTrialLoop::targetRequestKeepsTheMatch()
{
    respond(4, 730);
    window->soundTimer->stop();
    QTest::ignoreMessage(QtDebugMsg, "response: 2");
    respond(2, 0);
    QVERIFY(!window->sinusoidMode);
    QCOMPARE(window->parameters.trials.first().matchedFrequency, 730.0);
    QCOMPARE(window->parameters.frequencyCurrent, 730);
    QCOMPARE(window->trendSeries->count(), 1);
    QVERIFY(window->soundTimer->isActive());
}

void TestTrialLoop::responsesThatPlayNothing_data()
{
    QTest::addColumn<int>("response");
    QTest::addColumn<bool>("warns");
    QTest::newRow("0 is only logged") << 0 << false;
    QTest::newRow("3 is invalid") << 3 << true;
    QTest::newRow("-1 is invalid") << -1 << true;
}

void TestTrialLoop::responsesThatPlayNothing()
{
    QFETCH(int, response);
    QFETCH(bool, warns);
    window->soundIndex = 5;
    ModalDriver driver;
    if (warns)
        driver.answerMessageBox(QMessageBox::Ok);
    else
        QTest::ignoreMessage(QtDebugMsg, "Test just started");
    respond(response, 640);
    QVERIFY(driver.waitUntilDone());
    QCOMPARE(driver.seen().size(), warns ? 1 : 0);
    if (warns) {
        QCOMPARE(driver.seen().first().title, QString("Warning"));
        QCOMPARE(driver.seen().first().text, QString("Invalid response"));
    }
    QCOMPARE(window->soundIndex, 0);
    QVERIFY(!window->soundTimer->isActive());
    QCOMPARE(window->parameters.frequencyCurrent, 500);
    QCOMPARE(window->trendSeries->count(), 0);
}

void TestTrialLoop::pauseIsSoundPlusSilence_data()
{
    QTest::addColumn<QString>("soundMs");
    QTest::addColumn<QString>("silenceMs");
    QTest::addColumn<int>("interval");
    QTest::newRow("defaults") << "250.00" << "500.00" << 750;
    QTest::newRow("1000 + 1500") << "1000.00" << "1500.00" << 2500;
    QTest::newRow("fractions truncate") << "250.07" << "500.00" << 750;
}

void TestTrialLoop::pauseIsSoundPlusSilence()
{
    QFETCH(QString, soundMs);
    QFETCH(QString, silenceMs);
    QFETCH(int, interval);
    window->lineEditSoundDuration->setText(soundMs);
    window->lineEditSilentInterval->setText(silenceMs);
    window->readParameters();
    respond(2, 0);
    QCOMPARE(window->soundTimer->interval(), interval);
}

void TestTrialLoop::emptyOrderSchedulesNothing()
{
    window->playOrder.clear();
    respond(2, 0);
    QVERIFY(!window->soundTimer->isActive());
    QCOMPARE(window->playPosition, 0);
}

void TestTrialLoop::requestedToneIsPlayedAfterThePause()
{
    QSignalSpy playing(window.get(), SIGNAL(soundPlaying(int)));
    respond(4, 730);
    QCOMPARE(playing.count(), 0);
    QVERIFY(playing.wait(2000));
    QCOMPARE(playing.first().first().toInt(), 1);
    QCOMPARE(window->lineEditFrequencyMatched->text(), QString("730"));
    QCOMPARE(window->parameters.sinusoidCount, 1);
    QTRY_COMPARE_WITH_TIMEOUT(playing.count(), 2, 2000);
    QCOMPARE(playing.last().first().toInt(), -1);
}

void TestTrialLoop::goOpensAUsableSubjectWindow()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->pushButtonGo->setEnabled(true);
    QTest::mouseClick(window->pushButtonGo, Qt::LeftButton);
    SubjectWindow *subject = window->subjectWindow;
    QVERIFY(subject);
    QCOMPARE(subject->parentWidget(), window.get());
    QVERIFY(QTest::qWaitForWindowExposed(subject));
    QCOMPARE(window->isEnabled(), false);
    QCOMPARE(subject->isEnabled(), true);
    QSpinBox *spinBox = subject->findChild<QSpinBox *>();
    QVERIFY(spinBox);
    QCOMPARE(spinBox->minimum(), 10);
    QCOMPARE(spinBox->maximum(), 1000);
    QCOMPARE(spinBox->value(), 500);
    QCOMPARE(spinBox->singleStep(), 1);

    // The listener's requests reach the experimenter window, which answers with a sound.
    QSignalSpy playing(window.get(), SIGNAL(soundPlaying(int)));
    QTest::mouseClick(buttonWithText(subject, "I am ready"), Qt::LeftButton);
    QTest::mouseClick(buttonWithText(subject, "Play target"), Qt::LeftButton);
    QCOMPARE(subject->isEnabled(), false);
    QCOMPARE(window->sinusoidMode, false);
    QVERIFY(window->soundTimer->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(playing.count(), 2, 3000);
    QCOMPARE(playing.at(1).first().toInt(), -1);
    QCOMPARE(subject->isEnabled(), true);
    QCOMPARE(window->isEnabled(), false);
}

void TestTrialLoop::closingTheSubjectWindowEndsTheRun()
{
    window->checkBoxSaveData->setChecked(false);
    window->pushButtonGo->setEnabled(true);
    QTest::mouseClick(window->pushButtonGo, Qt::LeftButton);
    QVERIFY(window->subjectWindow);
    ModalDriver driver;
    driver.answerMessageBox(QMessageBox::Yes);
    window->subjectWindow->close();
    QVERIFY(driver.waitUntilDone());
    QCOMPARE(window->subjectWindow->isVisible(), false);
    QCOMPARE(window->isEnabled(), true);
    QCOMPARE(window->pushButtonPractice->isEnabled(), true);
    QCOMPARE(window->pushButtonExperiment->isEnabled(), true);
    QCOMPARE(window->pushButtonGo->isEnabled(), false);
    QCOMPARE(window->parameters.fileNumber, 2);
    QCOMPARE(window->lineEditOutputFileName->text(), QString("SUB001_practice002.txt"));
}

void TestTrialLoop::closingTheExperimenterWindowMidRunAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("keep running") << int(QMessageBox::No) << false;
    QTest::newRow("quit anyway") << int(QMessageBox::Yes) << true;
}

void TestTrialLoop::closingTheExperimenterWindowMidRunAsks()
{
    QFETCH(int, answer);
    QFETCH(bool, closes);
    window->show();
    window->pushButtonGo->setEnabled(true);
    QTest::mouseClick(window->pushButtonGo, Qt::LeftButton);
    ModalDriver driver;
    driver.answerMessageBox(QMessageBox::StandardButton(answer));
    QCOMPARE(window->close(), closes);
    QVERIFY(driver.waitUntilDone());
    QCOMPARE(driver.seen().size(), 1);
    QVERIFY(driver.seen().first().text.contains("have not been saved"));
    QCOMPARE(window->isVisible(), !closes);
}

QTEST_MAIN(TestTrialLoop)
#include "tst_trialloop.moc"
