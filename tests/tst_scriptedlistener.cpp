#include "app/MainWindow.h"
#include "app/SessionRecord.h"
#include "subject/SubjectWindow.h"
#include "support/ModalDriver.h"
#include "support/SinkRecorder.h"
#include "support/TemporaryDesktop.h"
#include "support/WavBuilder.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <cmath>
#include <memory>

// When sounds start is measured by make timing, not here.
const int pauseMs = 750;

// One whole practice run as a listener and an experimenter do it, with the real windows, the
// real dialogs and the real sound server; the capture proves what was heard, and when.
class TestScriptedListener : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(recorder.start(), qPrintable(recorder.errorString())); }
    void practiceRunFromFirstClickToSavedFile();

private:
    // Presses a request button and checks the stimulus arrives whole after silence.
    void request(QPushButton *button, const QVector<float> &stimulus, double tone, const QString &what);

    TemporaryDesktop desktop;
    std::unique_ptr<MainWindow> window;
    SinkRecorder recorder;
    qint64 lastSoundEnd = 0;
};

void TestScriptedListener::request(QPushButton *button, const QVector<float> &stimulus, double tone, const QString &what)
{
    QVERIFY2(button && button->isEnabled(), qPrintable(what));
    // Pressed as fresh capture arrives: the mark then lags real time by the delivery latency only.
    QVERIFY(recorder.waitForSamples(recorder.mark(), 1));
    const qint64 requestedAt = recorder.mark();
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY2(!window->subjectWindow->isEnabled(), "the listener's window waits while the sound comes");

    const qint64 onset = recorder.waitForSound(stimulus, requestedAt, tone, pauseMs + 3000);
    QVERIFY2(onset >= 0, qPrintable(what + ": " + recorder.errorString()));
    QVERIFY(recorder.isSilent(std::max(lastSoundEnd, requestedAt), onset - (recorder.converts ? 40 : 0)));
    lastSoundEnd = onset + stimulus.size() + (recorder.converts ? 40 : 0);
    QTRY_VERIFY2_WITH_TIMEOUT(window->subjectWindow->isEnabled(), "the listener's window is back after it", 3000);
}

void TestScriptedListener::practiceRunFromFirstClickToSavedFile()
{
    QVERIFY(desktop.isValid());
    // A target whose every sample survives 16-bit storage and float playback exactly.
    QVector<float> target(10000);
    for (int i = 0; i < target.size(); ++i)
        target[i] = float(std::round(16000.0 * std::sin(i * 0.05) * std::cos(i * 0.0031) + 800.0) / 32768.0);
    const QString targetPath = desktop.filePath("tone1.wav");
    QVERIFY(WavBuilder::writeMono16(targetPath, QVector<double>(target.begin(), target.end()), SinkRecorder::sampleRate));

    window.reset(new MainWindow);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    ModalDriver driver;
    driver.chooseFile(targetPath);
    QTest::mouseClick(window->pushButtonPractice, Qt::LeftButton);
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));

    QTest::mouseClick(window->pushButtonGo, Qt::LeftButton);
    SubjectWindow *subject = window->subjectWindow;
    QVERIFY(subject);
    QVERIFY(QTest::qWaitForWindowExposed(subject));
    QCOMPARE(window->isEnabled(), false);
    // The listener's range is the session's: 10 to 1000 Hz in steps of 1, starting at 500.
    const QSpinBox *box = subject->spinBoxFrequency;
    QCOMPARE(QList<int>({box->minimum(), box->maximum(), box->value(), box->singleStep()}), QList<int>({10, 1000, 500, 1}));

    QTest::mouseClick(subject->pushButtonIAmReady, Qt::LeftButton);
    request(subject->pushButtonPlayTarget, target, 0, "target");

    for (int hz : {700, 730, 725}) {
        QVector<float> tone(10000);
        for (int i = 0; i < tone.size(); ++i)
            tone[i] = float(std::sin((hz * 6.283185307179586) * i / double(SinkRecorder::sampleRate)));
        subject->spinBoxFrequency->setValue(hz);
        request(subject->pushButtonPlaySinusoid, tone, hz, QString("%1 Hz").arg(hz));
        QCOMPARE(window->lineEditFrequencyMatched->text(), QString::number(hz));
    }

    driver.answerMessageBox(QMessageBox::Yes);
    driver.acceptFileDialog();
    QTest::mouseClick(subject->pushButtonDone, Qt::LeftButton);
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));

    // The record now lives beside the results file only, with every sound's times in order.
    QCOMPARE(QDir(unfinishedRunsFolder()).entryList(QDir::Files), QStringList());
    SessionRecord saved;
    QString error;
    QVERIFY2(readSessionRecord(desktop.filePath("SUB001_practice001.json"), &saved, &error), qPrintable(error));
    QFile results(desktop.filePath("SUB001_practice001.txt"));
    QVERIFY(results.open(QIODevice::ReadOnly));
    QCOMPARE(results.readAll(), QByteArray("filename\tnTrials\tfrequency matched (Hz)\r\n"
                                           "tone1.wav\t1\t700\r\n"
                                           "tone1.wav\t2\t730\r\n"
                                           "tone1.wav\t3\t725\r\n"));
    QCOMPARE(saved.target.resampledTo, 0.0); // the file's own rate: no conversion to report
    QCOMPARE(saved.requests.size(), 4);
    for (int i = 0; i < saved.requests.size(); ++i) {
        const SessionRecord::Request &r = saved.requests[i];
        QCOMPARE(r.scheduledMs - r.requestedMs, qint64(pauseMs));
        QVERIFY2((i == 0 || saved.requests[i - 1].endedMs <= r.requestedMs) && r.scheduledMs <= r.startedMs
                     && r.startedMs < r.endedMs && r.error.isEmpty(),
                 qPrintable(QString("%1: %2 %3 %4 %5").arg(i).arg(r.requestedMs).arg(r.startedMs).arg(r.endedMs).arg(r.error)));
    }
    QCOMPARE(window->isEnabled(), true);
    QCOMPARE(window->lineEditOutputFileName->text(), QString("SUB001_practice002.txt"));
    QCOMPARE(window->pushButtonGo->isEnabled(), false);
}

QTEST_MAIN(TestScriptedListener)
#include "tst_scriptedlistener.moc"
