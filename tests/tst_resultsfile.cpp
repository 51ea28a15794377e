#include "app/MainWindow.h"
#include "app/ResultsFile.h"
#include "app/SessionRecord.h"
#include "support/ModalDriver.h"
#include "support/WavBuilder.h"
#include "support/WindowTest.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {
const QByteArray exampleContent = "filename\tnTrials\tfrequency matched (Hz)\r\n"
                                  "tone1.wav\t1\t700\r\n"
                                  "tone1.wav\t2\t730\r\n"
                                  "tone1.wav\t3\t725\r\n";

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

enum Trouble { FolderForbidsNewFiles, WriteFailsAfterOpen };
}

// The results table, the safe write, and the end of a run that must never lose it without being asked.
class TestResultsFile : public WindowTest
{
    Q_OBJECT
private slots:
    void content_data();
    void content();
    void safeWrite_data();
    void safeWrite();
    void endOfRun_data();
    void endOfRun();
    void runIsKeptAndOfferedAfterACrash_data();
    void runIsKeptAndOfferedAfterACrash();

private:
    // A run's end state: one target, and the frequencies the listener asked for.
    void prepareRun(const QVector<double> &frequencies)
    {
        TrialRecord record;
        record.fileName = "tone1.wav";
        window->parameters.trials = {record};
        window->trendFrequency = frequencies;
        window->readParameters();
    }
};

void TestResultsFile::content_data()
{
    QTest::addColumn<bool>("hasTarget");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVector<double>>("frequencies");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("three requests") << true << "tone1.wav" << QVector<double>({700, 730, 725}) << exampleContent;
    QTest::newRow("no sinusoid: header only")
        << true << "tone1.wav" << QVector<double>() << QByteArray("filename\tnTrials\tfrequency matched (Hz)\r\n");
    QTest::newRow("no target: empty") << false << "" << QVector<double>({700}) << QByteArray();
    QTest::newRow("UTF-8 name") << true << QString::fromUtf8("Töne.wav") << QVector<double>({1000})
                                << QByteArray("filename\tnTrials\tfrequency matched (Hz)\r\nT\xc3\xb6ne.wav\t1\t1000\r\n");
    QTest::newRow("non-integer and large values")
        << true << "a.wav" << QVector<double>({1234.5, 1234567.0})
        << QByteArray("filename\tnTrials\tfrequency matched (Hz)\r\na.wav\t1\t1234.5\r\na.wav\t2\t1.23457e+06\r\n");
}

void TestResultsFile::content()
{
    QFETCH(bool, hasTarget);
    QFETCH(QString, name);
    QFETCH(QVector<double>, frequencies);
    QFETCH(QByteArray, expected);
    QCOMPARE(resultsFileContent(hasTarget, name, frequencies), expected);
}

void TestResultsFile::safeWrite_data()
{
    QTest::addColumn<int>("trouble");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("folder forbids new files") << int(FolderForbidsNewFiles) << "locked/r.txt" << exampleContent;
    QTest::newRow("write fails after the open") << int(WriteFailsAfterOpen) << "r.txt" << QByteArray("earlier");
}

void TestResultsFile::safeWrite()
{
    QFETCH(int, trouble);
    QFETCH(QString, name);
    QFETCH(QByteArray, expected);
    const QString path = desktop->filePath(name);
    QVERIFY(writeBytes(path, "earlier"));
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit unlimited = limit;
    if (trouble == FolderForbidsNewFiles) {
        // The file may be rewritten, the folder takes no new one; root must act as another user to feel it.
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions(0x6666)));
        QVERIFY(QFile::setPermissions(QFileInfo(path).path(), QFileDevice::Permissions(0x5555)));
        QVERIFY(QFile::setPermissions(QFileInfo(desktop->path()).path(), QFileDevice::Permissions(0x7755)));
        QVERIFY(geteuid() != 0 || seteuid(65534) == 0);
    } else if (trouble == WriteFailsAfterOpen) {
        std::signal(SIGXFSZ, SIG_IGN);
        limit.rlim_cur = 16; // bytes: the file opens, the writing fails
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    QString error;
    const bool written = writeFileSafely(path, exampleContent, &error);
    if (getuid() == 0)
        QCOMPARE(seteuid(0), 0);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    QCOMPARE(written, expected == exampleContent);
    QCOMPARE(error.isEmpty(), written);
    QCOMPARE(readAll(path), expected);
}

void TestResultsFile::endOfRun_data()
{
    QTest::addColumn<bool>("saveData");
    QTest::addColumn<QString>("first");  // the file chosen first; empty: the dialog is cancelled
    QTest::addColumn<int>("firstAnswer"); // to the box that follows it; 0: none comes
    QTest::addColumn<int>("askAgain");   // to "choose another file?"; 0: not asked
    QTest::addColumn<QString>("saved");  // where the results are afterwards; empty: nowhere
    QTest::newRow("not saving: no dialog") << false << "" << 0 << 0 << "";
    QTest::newRow("a new file") << true << "study/r.txt" << 0 << 0 << "study/r.txt";
    QTest::newRow("cancel, then discard") << true << "" << 0 << int(QMessageBox::No) << "";
    QTest::newRow("unwritable, then another file") << true << "blocker/r.txt" << int(QMessageBox::Ok) << int(QMessageBox::Yes) << "again.txt";
}

void TestResultsFile::endOfRun()
{
    QFETCH(bool, saveData);
    QFETCH(QString, first);
    QFETCH(int, firstAnswer);
    QFETCH(int, askAgain);
    QFETCH(QString, saved);
    QVERIFY(writeBytes(desktop->filePath("blocker"), ""));
    window->checkBoxSaveData->setChecked(saveData);
    prepareRun({700, 730, 725});
    ModalDriver driver;
    if (saveData && first.isEmpty())
        driver.cancelFileDialog();
    else if (saveData)
        driver.chooseFile(desktop->filePath(first));
    if (firstAnswer)
        driver.answerMessageBox(QMessageBox::StandardButton(firstAnswer));
    if (askAgain)
        driver.answerMessageBox(QMessageBox::StandardButton(askAgain));
    if (askAgain == QMessageBox::Yes)
        driver.chooseFile(desktop->filePath("again.txt"));
    window->finishSession();
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
    if (firstAnswer == QMessageBox::Ok)
        QVERIFY(driver.seen().at(1).text.startsWith("could not open file for writing \r\n" + desktop->filePath(first)));
    const QString results = desktop->filePath(saved.isEmpty() ? "again.txt" : saved);
    QCOMPARE(readAll(results), saved.isEmpty() ? QByteArray("<missing>") : exampleContent);
    QCOMPARE(QFile::exists(QString(results).replace(".txt", ".json")), !saved.isEmpty());
    QCOMPARE(window->lineEditOutputFileName->text(), QString("SUB001_practice002.txt"));
}

void TestResultsFile::runIsKeptAndOfferedAfterACrash_data()
{
    QTest::addColumn<bool>("save");
    QTest::newRow("yes saves as Done would") << true;
    QTest::newRow("no moves it aside") << false;
}

void TestResultsFile::runIsKeptAndOfferedAfterACrash()
{
    QFETCH(bool, save);
    // Go and three tones, the run on disk after each; then the program is gone before Done.
    prepareRun({});
    const QByteArray target = WavBuilder().sampleRate(44100).channels(2).data(QByteArray(800, 7)).bytes();
    window->currentTargetPath = desktop->filePath("tone1.wav");
    QVERIFY(writeBytes(window->currentTargetPath, target) && window->wavFile.readWavFile(window->currentTargetPath.toUtf8()));
    window->targetSignal.resize(window->parameters.sampleCount);
    for (int i = 0; i < window->targetSignal.size(); ++i)
        window->targetSignal[i] = 0.5 * std::sin(6.283185307179586 * i / 40.0);
    window->playOrder = {0};
    window->resetTrendChart();
    window->pushButtonGo->setEnabled(true);
    QTest::mouseClick(window->pushButtonGo, Qt::LeftButton);
    const QDir unfinished(unfinishedRunsFolder());
    QVector<double> matches;
    for (int hz : {700, 730, 725}) {
        QVERIFY(QMetaObject::invokeMethod(window.get(), "updateMainwindow", Q_ARG(qint32, 4), Q_ARG(qint32, hz)));
        window->recordWriter.waitForDone();
        QCOMPARE(unfinished.entryList(QDir::Files).size(), 1);
        SessionRecord kept;
        QString error;
        QVERIFY2(readSessionRecord(unfinished.filePath(unfinished.entryList(QDir::Files).first()), &kept, &error),
                 qPrintable(error));
        QCOMPARE(kept.matches, matches << hz);
        QCOMPARE(kept.requests.size(), matches.size());
        QCOMPARE(kept.requests.last().scheduledMs - kept.requests.last().requestedMs, qint64(750));
        QCOMPARE(kept.target.sha256, QString(QCryptographicHash::hash(target, QCryptographicHash::Sha256).toHex()));
        const SessionRecord::Target &t = kept.target;
        QCOMPARE(QVector<double>({double(t.bytes), double(t.format), double(t.bitsPerSample), double(t.channels), t.sampleRate,
                                  double(t.frames), t.resampledTo, std::round(t.peakDbfs * 1e4), std::round(t.rmsDbfs * 1e4)}),
                 QVector<double>({double(target.size()), 1, 16, 2, 44100, 200, 40000, -60206, -90309}));
    }
    window.reset();

    ModalDriver driver;
    driver.answerMessageBox(save ? QMessageBox::Yes : QMessageBox::No);
    if (save)
        driver.acceptFileDialog();
    window.reset(new MainWindow);
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
    QCOMPARE(driver.seen().first().title, QString("Question"));
    QVERIFY2(driver.seen().first().text.contains("SUB001, practice session")
                 && driver.seen().first().text.contains("3 tones"), qPrintable(driver.seen().first().text));
    QCOMPARE(readAll(desktop->filePath("SUB001_practice001.txt")), save ? exampleContent : QByteArray("<missing>"));
    QCOMPARE(readAll(desktop->filePath("SUB001_practice001.json")).contains("\"recovered\": true"), save);
    QCOMPARE(unfinished.entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(unfinished.filePath("discarded")).entryList(QDir::Files).size(), save ? 0 : 1);
}

QTEST_MAIN(TestResultsFile)
#include "tst_resultsfile.moc"
