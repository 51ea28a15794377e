#include "app/Block.h"
#include "app/MainWindow.h"
#include "app/SessionRecord.h"
#include "subject/SubjectWindow.h"
#include "support/ModalDriver.h"
#include "support/SinkRecorder.h"
#include "support/TemporaryDesktop.h"
#include "support/WavBuilder.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
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
    void blockOfTwoTargetsTwiceRunByTheListenerAlone();
    void closingTheListenersWindowEndsTheBlock();

private:
    // 10000 samples that survive 16-bit storage and float playback exactly, written to the desktop.
    QVector<float> writeTarget(const QString &name, double rate);
    static QVector<float> toneOf(int hz);
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

QVector<float> TestScriptedListener::writeTarget(const QString &name, double rate)
{
    QVector<float> target(10000);
    for (int i = 0; i < target.size(); ++i)
        target[i] = float(std::round(16000.0 * std::sin(i * rate) * std::cos(i * 0.0031) + 800.0) / 32768.0);
    if (!WavBuilder::writeMono16(desktop.filePath(name), QVector<double>(target.begin(), target.end()), SinkRecorder::sampleRate))
        target.clear();
    return target;
}

QVector<float> TestScriptedListener::toneOf(int hz)
{
    QVector<float> tone(10000);
    for (int i = 0; i < tone.size(); ++i)
        tone[i] = float(std::sin((hz * 6.283185307179586) * i / double(SinkRecorder::sampleRate)));
    return tone;
}

void TestScriptedListener::practiceRunFromFirstClickToSavedFile()
{
    QVERIFY(desktop.isValid());
    const QVector<float> target = writeTarget("tone1.wav", 0.05);
    const QString targetPath = desktop.filePath("tone1.wav");
    QVERIFY(!target.isEmpty());

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
        subject->spinBoxFrequency->setValue(hz);
        request(subject->pushButtonPlaySinusoid, toneOf(hz), hz, QString("%1 Hz").arg(hz));
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
    QVERIFY(!QFile::exists(desktop.filePath("SUB001_practice001_matches.tsv"))); // a single run has no table
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

// Two targets twice each, in random order with random starts: the listener's window stays open
// from Go to the last "Done", and one save writes rows, table and record that agree.
void TestScriptedListener::blockOfTwoTargetsTwiceRunByTheListenerAlone()
{
    QVERIFY(desktop.isValid());
    const QVector<QVector<float>> targets = {writeTarget("a.wav", 0.05), writeTarget("b.wav", 0.021)};
    QVERIFY(!targets[0].isEmpty() && !targets[1].isEmpty());
    window.reset(new MainWindow);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->lineEditSubCode->setText("BLOCK"); // the desktop still holds the practice run's files
    window->spinBoxRepetitions->setValue(2);
    window->checkBoxRandomStart->setChecked(true);

    ModalDriver driver;
    driver.chooseFile("\"a.wav\" \"b.wav\"");
    QTest::mouseClick(window->pushButtonPractice, Qt::LeftButton);
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
    const QVector<int> order = window->block.order;
    QCOMPARE(order.size(), 4);
    QCOMPARE(order.count(0), 2);

    QTest::mouseClick(window->pushButtonGo, Qt::LeftButton);
    SubjectWindow *subject = window->subjectWindow;
    QVERIFY(QTest::qWaitForWindowExposed(subject));
    QSignalSpy closed(subject, SIGNAL(subjectWindowClosed()));
    QByteArray rows = "filename\tnTrials\tfrequency matched (Hz)\r\n";
    for (int p = 0; p < order.size(); ++p) {
        QCOMPARE(subject->labelProgress->text(), QString("Sound %1 of 4").arg(p + 1));
        QVERIFY(subject->isVisible() && subject->labelProgress->isVisible() && subject->pushButtonIAmReady->isVisible());
        QCOMPARE(subject->spinBoxFrequency->value(), window->block.startFrequencies[p]);
        QTest::mouseClick(subject->pushButtonIAmReady, Qt::LeftButton);
        request(subject->pushButtonPlayTarget, targets[order[p]], 0, QString("target of presentation %1").arg(p + 1));
        subject->spinBoxFrequency->setValue(600 + 10 * p);
        request(subject->pushButtonPlaySinusoid, toneOf(600 + 10 * p), 600 + 10 * p, QString("tone of presentation %1").arg(p + 1));
        QCOMPARE(window->lineEditFrequencyMatched->text(), QString::number(600 + 10 * p));
        rows += QString("%1\t1\t%2\r\n").arg(order[p] ? "b.wav" : "a.wav").arg(600 + 10 * p).toUtf8();
        driver.answerMessageBox(QMessageBox::Yes);
        if (p == order.size() - 1)
            driver.acceptFileDialog();
        QTest::mouseClick(subject->pushButtonDone, Qt::LeftButton);
        QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
        QCOMPARE(closed.count(), p == order.size() - 1 ? 1 : 0);
    }
    QCOMPARE(window->subjectWindow, subject);
    QCOMPARE(std::count_if(driver.seen().cbegin(), driver.seen().cend(), [](const ModalDriver::Seen &seen) { return seen.title == "Save a file"; }), 1L);

    QFile results(desktop.filePath("BLOCK_practice001.txt"));
    QVERIFY(results.open(QIODevice::ReadOnly));
    QCOMPARE(results.readAll(), rows);
    SessionRecord saved;
    QString error;
    QVERIFY2(readSessionRecord(desktop.filePath("BLOCK_practice001.json"), &saved, &error), qPrintable(error));
    Block block;
    QVERIFY2(Block::fromJson(saved.block, &block, &error), qPrintable(error));
    QCOMPARE(block.order, order);
    QCOMPARE(block.seed, window->block.seed);
    QCOMPARE(block.presentations.size(), 4);
    QFile table(desktop.filePath("BLOCK_practice001_matches.tsv"));
    QVERIFY(table.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = table.readAll().split('\n');
    QCOMPARE(lines.size(), 6); // header, four rows, nothing after the last line end
    QCOMPARE(lines[0], QByteArray("presentation\tfilename\trepetition\tstartFrequency\tmatchedFrequency\ttones\ttargetPlays\tdurationS"));
    for (int p = 0; p < 4; ++p) {
        const Block::Presentation &done = block.presentations[p];
        QVERIFY(done.finished && done.requests.size() == 2 && done.requests[1].frequency == 600 + 10 * p);
        QCOMPARE(done.startFrequency, window->block.startFrequencies[p]);
        QCOMPARE(block.targetFacts[done.target].sha256.size(), 64);
        const QList<QByteArray> cells = lines[p + 1].split('\t');
        QCOMPARE(cells.mid(0, 7), (QList<QByteArray>{QByteArray::number(p + 1), order[p] ? "b.wav" : "a.wav",
                                                     QByteArray::number(order.mid(0, p + 1).count(order[p])),
                                                     QByteArray::number(done.startFrequency), QByteArray::number(600 + 10 * p), "1", "1"}));
        QVERIFY2(cells[7].toDouble() > 1.5 && cells[7].toDouble() < 30.0, cells[7].constData()); // two sounds and a pause each
    }
}

// Closed from its frame in the second presentation: the block ends there and keeps what was done.
void TestScriptedListener::closingTheListenersWindowEndsTheBlock()
{
    const QVector<QVector<float>> targets = {writeTarget("a.wav", 0.05), writeTarget("b.wav", 0.021)};
    window.reset(new MainWindow);
    window->lineEditSubCode->setText("CLOSED");
    ModalDriver driver;
    driver.chooseFile("\"a.wav\" \"b.wav\"");
    QTest::mouseClick(window->pushButtonPractice, Qt::LeftButton);
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
    QTest::mouseClick(window->pushButtonGo, Qt::LeftButton);
    SubjectWindow *subject = window->subjectWindow;
    QTest::mouseClick(subject->pushButtonIAmReady, Qt::LeftButton);
    request(subject->pushButtonPlayTarget, targets[window->block.order[0]], 0, "target");
    subject->spinBoxFrequency->setValue(650);
    request(subject->pushButtonPlaySinusoid, toneOf(650), 650, "tone");
    driver.answerMessageBox(QMessageBox::Yes);
    QTest::mouseClick(subject->pushButtonDone, Qt::LeftButton);
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
    QTest::mouseClick(subject->pushButtonIAmReady, Qt::LeftButton);
    driver.answerMessageBox(QMessageBox::Yes);
    driver.acceptFileDialog();
    subject->close();
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));

    const QByteArray first = window->block.order[0] ? "b.wav" : "a.wav", second = window->block.order[0] ? "a.wav" : "b.wav";
    QFile results(desktop.filePath("CLOSED_practice001.txt")), table(desktop.filePath("CLOSED_practice001_matches.tsv"));
    QVERIFY(results.open(QIODevice::ReadOnly) && table.open(QIODevice::ReadOnly));
    QCOMPARE(results.readAll(), "filename\tnTrials\tfrequency matched (Hz)\r\n" + first + "\t1\t650\r\n");
    QCOMPARE(table.readAll().split('\n').mid(2), QList<QByteArray>({"2\t" + second + "\t1\t500\t\t0\t0\t", ""}));
    SessionRecord saved;
    Block block;
    QString error;
    QVERIFY2(readSessionRecord(desktop.filePath("CLOSED_practice001.json"), &saved, &error), qPrintable(error));
    QVERIFY2(Block::fromJson(saved.block, &block, &error), qPrintable(error));
    QCOMPARE(block.presentations.size(), 2);
    QCOMPARE(QList<bool>({block.presentations[0].finished, block.presentations[1].finished}), QList<bool>({true, false}));
    QVERIFY(block.presentations[1].readyMs > block.presentations[0].doneMs && block.presentations[1].doneMs == -1);
}

QTEST_MAIN(TestScriptedListener)
#include "tst_scriptedlistener.moc"
