#include "app/MainWindow.h"
#include "app/ResultsFile.h"
#include "app/SessionRecord.h"
#include "support/ModalDriver.h"
#include "support/WavBuilder.h"
#include "support/WindowTest.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QLockFile>
#include <QSpinBox>
#include <cmath>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// Names are UTF-8 on disk, whatever the locale.
const QString targetName = QString::fromUtf8("Töne.wav");
const QByteArray exampleContent = "filename\tnTrials\tfrequency matched (Hz)\r\n"
                                  "T\xc3\xb6ne.wav\t1\t700\r\n"
                                  "T\xc3\xb6ne.wav\t2\t730\r\n"
                                  "T\xc3\xb6ne.wav\t3\t725\r\n";

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
}

// The results table, the safe write, and the end of a run that must never lose it without being asked.
class TestResultsFile : public WindowTest
{
    Q_OBJECT
private slots:
    void init();
    void safeWrite_data();
    void safeWrite();
    void endOfRun_data();
    void endOfRun();
    void runIsKeptAndOfferedAfterACrash_data();
    void runIsKeptAndOfferedAfterACrash();
    void recoveryLeavesLiveRunsAndStrays_data();
    void recoveryLeavesLiveRunsAndStrays();
};

void TestResultsFile::init()
{
    WindowTest::init();
    window->parameters.trials = {TrialRecord()};
    window->parameters.trials[0].fileName = targetName;
}

void TestResultsFile::safeWrite_data()
{
    QTest::addColumn<bool>("failsAfterOpen");
    QTest::newRow("folder forbids new files: refused, naming it") << false;
    QTest::newRow("write fails after the open: old bytes kept") << true;
}

void TestResultsFile::safeWrite()
{
    QFETCH(bool, failsAfterOpen);
    const QString path = desktop->filePath("locked/r.txt");
    QString error;
    QVERIFY(writeFileSafely(path, "earlier", &error));
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit unlimited = limit;
    if (failsAfterOpen) {
        std::signal(SIGXFSZ, SIG_IGN);
        limit.rlim_cur = 16; // bytes: the file opens, the writing fails
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
    } else {
        // The file may be rewritten, the folder takes no new one; root must act as another user to feel it.
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions(0x6666)));
        QVERIFY(QFile::setPermissions(QFileInfo(path).path(), QFileDevice::Permissions(0x5555)));
        QVERIFY(QFile::setPermissions(QFileInfo(desktop->path()).path(), QFileDevice::Permissions(0x7755)));
        QVERIFY(geteuid() != 0 || seteuid(65534) == 0);
    }
    const bool written = writeFileSafely(path, exampleContent, &error);
    if (getuid() == 0)
        QCOMPARE(seteuid(0), 0);
    QFile::setPermissions(QFileInfo(path).path(), QFileDevice::Permissions(0x7755)); // or the folder outlives the test
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    // Never over the only copy: the old bytes stay whole.
    QVERIFY(!written);
    QCOMPARE(readAll(path), QByteArray("earlier"));
    QCOMPARE(error.contains(QFileInfo(path).path()), !failsAfterOpen);
    QVERIFY(!writeFileSafely(desktop->path(), "x", &error)); // a folder is no file to write
}

void TestResultsFile::endOfRun_data()
{
    QTest::addColumn<bool>("saveData");
    QTest::addColumn<QStringList>("existing"); // on the desktop before the run ends
    // The dialogs' answers in order: a file name is typed in the save dialog, "accept" takes its
    // proposal, "cancel" cancels it; any other is a message box button.
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("saved"); // where the results are afterwards; empty: nowhere
    QTest::addColumn<int>("next");      // the window's file number afterwards
    QTest::newRow("not saving: no dialog") << false << QStringList() << QStringList() << "" << 2;
    QTest::newRow("cancel, then discard") << true << QStringList() << QStringList{"cancel", "No"} << "" << 2;
    QTest::newRow("unwritable, then another file")
        << true << QStringList() << QStringList{"blocker/r.txt", "Ok", "Yes", "study/again.txt"} << "study/again.txt" << 2;
    QTest::newRow("yesterday's 1 and 2 there: 3 proposed")
        << true << QStringList{"SUB001_practice001.txt", "SUB001_practice002.txt"} << QStringList{"accept"}
        << "SUB001_practice003.txt" << 4;
    QTest::newRow("another run's record there: asked, kept")
        << true << QStringList{"a.txt", "a.json"} << QStringList{"a.csv", "No", "cancel", "No"} << "" << 2;
    QTest::newRow("results and record there: asked once")
        << true << QStringList{"a.txt", "a.json"} << QStringList{"a.txt", "Yes"} << "a.txt" << 2;
}

void TestResultsFile::endOfRun()
{
    QFETCH(bool, saveData);
    QFETCH(QStringList, existing);
    QFETCH(QStringList, answers);
    QFETCH(QString, saved);
    QFETCH(int, next);
    QString error;
    for (const QString &name : existing + QStringList{"blocker"})
        QVERIFY(writeFileSafely(desktop->filePath(name), "earlier", &error));
    window->checkBoxSaveData->setChecked(saveData);
    window->trendFrequency = {700, 730, 725};
    window->readParameters();
    ModalDriver driver;
    for (const QString &answer : answers) {
        if (answer == "accept" || answer == "cancel")
            answer == "accept" ? driver.acceptFileDialog() : driver.cancelFileDialog();
        else if (answer.contains('.'))
            driver.chooseFile(desktop->filePath(answer));
        else
            driver.answerMessageBox(answer == "Yes" ? QMessageBox::Yes : answer == "No" ? QMessageBox::No : QMessageBox::Ok);
    }
    window->finishSession();
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
    if (answers.value(1) == "Ok")
        QVERIFY(driver.seen().at(1).text.startsWith("could not open file for writing \r\n" + desktop->filePath(answers[0])));
    // Nothing saved: not even under the name the window proposed; nothing else replaced.
    const QString results = desktop->filePath(saved.isEmpty() ? "SUB001_practice001.txt" : saved);
    const QString record = sessionRecordPathFor(results);
    QCOMPARE(readAll(results), saved.isEmpty() ? QByteArray("<missing>") : exampleContent);
    QCOMPARE(readAll(record).startsWith('{'), !saved.isEmpty());
    for (const QString &name : existing) {
        if (desktop->filePath(name) != results && desktop->filePath(name) != record)
            QCOMPARE(readAll(desktop->filePath(name)), QByteArray("earlier"));
    }
    QCOMPARE(window->parameters.fileNumber, next);
}

void TestResultsFile::runIsKeptAndOfferedAfterACrash_data()
{
    QTest::addColumn<bool>("save"); // a file is chosen; else the dialog is cancelled and no other file wanted
    QTest::newRow("yes saves as Done would") << true;
    QTest::newRow("yes, but no file: kept aside") << false;
}

void TestResultsFile::runIsKeptAndOfferedAfterACrash()
{
    QFETCH(bool, save);
    QString error;
    // Go and three tones, the run on disk after each; then the program is gone before Done.
    const QByteArray target = WavBuilder().sampleRate(44100).bitsPerSample(8).data(QByteArray(800, 7)).bytes();
    window->currentTargetPath = desktop->filePath(targetName);
    QVERIFY(writeFileSafely(window->currentTargetPath, target, &error));
    QVERIFY(window->wavFile.readWavFile(window->currentTargetPath.toUtf8()));
    // Half at 0.5, half silent: peak -6.0206 dBFS, RMS -9.0309 dBFS.
    window->targetSignal = QVector<double>(window->parameters.sampleCount / 2, 0.5);
    window->targetSignal.resize(window->parameters.sampleCount);
    window->playOrder = {0};
    QVERIFY(QMetaObject::invokeMethod(window.get(), "on_pushButtonGo_clicked"));
    const QDir unfinished(unfinishedRunsFolder());
    SessionRecord kept;
    QVector<double> matches;
    for (int hz : {700, 730, 725}) {
        QVERIFY(QMetaObject::invokeMethod(window.get(), "updateMainwindow", Q_ARG(qint32, 4), Q_ARG(qint32, hz)));
        window->recordWriter.waitForDone();
        QVERIFY2(readSessionRecord(window->unfinishedRecordPath, &kept, &error), qPrintable(error));
        QCOMPARE(kept.matches, matches << hz);
    }
    QCOMPARE(kept.requests.size(), 3);
    QCOMPARE(kept.outputFormat, QString("32-bit float little-endian, 1 channel(s), 40000 Hz"));
    QCOMPARE(kept.requests.last().scheduledMs - kept.requests.last().requestedMs, qint64(750));
    // 8-bit mono at 44100 Hz, played at the session's 40000 Hz.
    const SessionRecord::Target &t = kept.target;
    QCOMPARE(t.sha256, QString(QCryptographicHash::hash(target, QCryptographicHash::Sha256).toHex()));
    QCOMPARE(QVector<double>({double(t.bytes), double(t.format), double(t.bitsPerSample), double(t.channels), t.sampleRate,
                              double(t.frames), t.resampledTo, std::round(t.peakDbfs * 1e4), std::round(t.rmsDbfs * 1e4)}),
             QVector<double>({double(target.size()), 1, 8, 1, 44100, 800, 40000, -60206, -90309}));
    window.reset();

    ModalDriver driver;
    driver.answerMessageBox(QMessageBox::Yes);
    if (save) {
        driver.acceptFileDialog();
    } else {
        driver.cancelFileDialog();
        driver.answerMessageBox(QMessageBox::No);
    }
    window.reset(new MainWindow);
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
    const QString question = driver.seen().first().text;
    QVERIFY2(question.contains("SUB001, practice session") && question.contains("3 tones"), qPrintable(question));
    QCOMPARE(readAll(desktop->filePath("SUB001_practice001.txt")), save ? exampleContent : QByteArray("<missing>"));
    QCOMPARE(readAll(desktop->filePath("SUB001_practice001.json")).contains("\"recovered\": true"), save);
    QCOMPARE(unfinished.entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(unfinished.filePath("discarded")).entryList(QDir::Files).size(), save ? 0 : 1);
}

void TestResultsFile::recoveryLeavesLiveRunsAndStrays_data()
{
    QTest::addColumn<QString>("lock");      // "live": held by a program still running; "dead": left by one that died
    QTest::addColumn<QString>("answer");    // to the question; Yes is followed by taking the proposal
    QTest::addColumn<QStringList>("left");  // in the unfinished-runs folder afterwards
    QTest::addColumn<int>("aside");         // records set aside afterwards, one of the same name before included
    QTest::newRow("live run of another program: not offered")
        << "live" << "" << QStringList{"r.json", "r.json.Ab12Cd", "r.json.lock"} << 1;
    QTest::newRow("dead program's run: offered, set aside") << "dead" << "No" << QStringList() << 2;
    QTest::newRow("its folder is gone: saved on the desktop") << "" << "Yes" << QStringList() << 1;
}

void TestResultsFile::recoveryLeavesLiveRunsAndStrays()
{
    QFETCH(QString, lock);
    QFETCH(QString, answer);
    QFETCH(QStringList, left);
    QFETCH(int, aside);
    window.reset();
    const QDir unfinished(unfinishedRunsFolder());
    const QString path = unfinished.filePath("r.json");
    const QByteArray run = "{\"program\": \"Tonvara\", \"requests\": [], \"startedAt\": \"2026-12-07T09:00:00+01:00\", "
                           "\"subjectCode\": \"SUB001\", \"sessionType\": \"practice\", \"resultsFile\": \"";
    QString error;
    QVERIFY(writeFileSafely(path, run + desktop->filePath("gone/SUB001_practice001.txt").toUtf8() + "\"}", &error));
    QVERIFY(writeFileSafely(path + ".Ab12Cd", "a write cut short", &error));
    QVERIFY(writeFileSafely(unfinished.filePath("discarded/r.json"), "set aside earlier", &error));
    QLockFile live(path + ".lock");
    QVERIFY(lock != "live" || live.tryLock(0));
    const pid_t dead = fork();
    if (dead == 0)
        _exit(0);
    QCOMPARE(waitpid(dead, nullptr, 0), dead);
    QVERIFY(lock != "dead" || writeFileSafely(path + ".lock", QByteArray::number(dead) + "\n", &error));

    ModalDriver driver;
    if (!answer.isEmpty())
        driver.answerMessageBox(answer == "Yes" ? QMessageBox::Yes : QMessageBox::No);
    if (answer == "Yes")
        driver.acceptFileDialog();
    window.reset(new MainWindow);
    QCoreApplication::processEvents(); // the offer is queued
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
    QCOMPARE(unfinished.entryList(QDir::Files), left);
    QCOMPARE(QDir(unfinished.filePath("discarded")).entryList(QDir::Files).size(), aside);
    QCOMPARE(QFile::exists(desktop->filePath("SUB001_practice001.txt")), answer == "Yes");
    QVERIFY(!QFile::exists(desktop->filePath("gone")));
}

QTEST_MAIN(TestResultsFile)
#include "tst_resultsfile.moc"
