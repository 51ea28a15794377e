#include "app/MainWindow.h"
#include "app/ResultsFile.h"
#include "app/SessionRecord.h"
#include "support/ModalDriver.h"
#include "support/WavBuilder.h"
#include "support/WindowTest.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <cmath>
#include <csignal>
#include <sys/resource.h>
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
    QTest::newRow("folder forbids new files: rewritten in place") << false;
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
    QCOMPARE(written, !failsAfterOpen);
    QCOMPARE(error.isEmpty(), written);
    QCOMPARE(readAll(path), written ? exampleContent : QByteArray("earlier"));
    QVERIFY(!writeFileSafely(desktop->path(), "x", &error)); // a folder is no file to write
}

void TestResultsFile::endOfRun_data()
{
    QTest::addColumn<bool>("saveData");
    QTest::addColumn<QString>("first");      // the file chosen first; empty: the dialog is cancelled
    QTest::addColumn<QVector<int>>("boxes"); // the answers to the message boxes that follow, in order
    QTest::addColumn<QString>("saved");      // where the results are afterwards; empty: nowhere
    QTest::newRow("not saving: no dialog") << false << "" << QVector<int>() << "";
    QTest::newRow("cancel, then discard") << true << "" << QVector<int>{QMessageBox::No} << "";
    QTest::newRow("unwritable, then another file")
        << true << "blocker/r.txt" << QVector<int>{QMessageBox::Ok, QMessageBox::Yes} << "study/again.txt";
}

void TestResultsFile::endOfRun()
{
    QFETCH(bool, saveData);
    QFETCH(QString, first);
    QFETCH(QVector<int>, boxes);
    QFETCH(QString, saved);
    QVERIFY(QFile(desktop->filePath("blocker")).open(QIODevice::WriteOnly));
    window->checkBoxSaveData->setChecked(saveData);
    window->trendFrequency = {700, 730, 725};
    window->readParameters();
    ModalDriver driver;
    if (saveData && first.isEmpty())
        driver.cancelFileDialog();
    else if (saveData)
        driver.chooseFile(desktop->filePath(first));
    for (int answer : boxes)
        driver.answerMessageBox(QMessageBox::StandardButton(answer));
    if (boxes.endsWith(QMessageBox::Yes))
        driver.chooseFile(desktop->filePath(saved));
    window->finishSession();
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
    if (boxes.startsWith(QMessageBox::Ok))
        QVERIFY(driver.seen().at(1).text.startsWith("could not open file for writing \r\n" + desktop->filePath(first)));
    // Nothing saved: not even under the name the window proposed.
    const QString results = desktop->filePath(saved.isEmpty() ? "SUB001_practice001.txt" : saved);
    QCOMPARE(readAll(results), saved.isEmpty() ? QByteArray("<missing>") : exampleContent);
    QCOMPARE(QFile::exists(QString(results).replace(".txt", ".json")), !saved.isEmpty());
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

QTEST_MAIN(TestResultsFile)
#include "tst_resultsfile.moc"
