#include "app/MainWindow.h"
#include "app/ResultsFile.h"
#include "support/ModalDriver.h"
#include "support/WindowTest.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
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

enum Trouble { NoTrouble, FolderForbidsNewFiles, WriteFailsAfterOpen, FileWhereFolderGoes };
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
    void savingUncheckedWritesNothing();
    void proposedNameIsSavedByteForByte();
    void existingFileNeedsConfirmation_data();
    void existingFileNeedsConfirmation();
    void cancelledSave_data();
    void cancelledSave();
    void unwritableFolderThenAnotherFile();
    void unfinishedRunIsOffered_data();
    void unfinishedRunIsOffered();

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
    QTest::newRow("missing folders are made") << int(NoTrouble) << "a/b/r.txt" << exampleContent;
    QTest::newRow("folder forbids new files") << int(FolderForbidsNewFiles) << "locked/r.txt" << exampleContent;
    QTest::newRow("write fails after the open") << int(WriteFailsAfterOpen) << "r.txt" << QByteArray("earlier");
    QTest::newRow("a file where the folder goes") << int(FileWhereFolderGoes) << "blocker/r.txt" << QByteArray("<missing>");
}

void TestResultsFile::safeWrite()
{
    QFETCH(int, trouble);
    QFETCH(QString, name);
    QFETCH(QByteArray, expected);
    const QString path = desktop->filePath(name);
    QVERIFY(trouble == NoTrouble || writeBytes(trouble == FileWhereFolderGoes ? desktop->filePath("blocker") : path, "earlier"));
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

void TestResultsFile::savingUncheckedWritesNothing()
{
    window->checkBoxSaveData->setChecked(false);
    prepareRun({700});
    ModalDriver driver;
    window->finishSession();
    QVERIFY(driver.waitUntilDone(500));
    QVERIFY(driver.seen().isEmpty());
    QCOMPARE(QDir(desktop->path()).entryList(QDir::Files), QStringList());
    QCOMPARE(window->spinBoxFileNumber->value(), 2);
    QCOMPARE(window->lineEditOutputFileName->text(), QString("SUB001_practice002.txt"));
}

void TestResultsFile::proposedNameIsSavedByteForByte()
{
    prepareRun({700, 730, 725});
    ModalDriver driver;
    driver.acceptFileDialog();
    window->finishSession();
    QVERIFY(driver.waitUntilDone());
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen().first().title, QString("Save a file"));
    QCOMPARE(driver.seen().first().text, desktop->path());
    QCOMPARE(driver.seen().first().detail, QString("All files (*.*);;Text files (*.txt)"));
    QCOMPARE(readAll(desktop->filePath("SUB001_practice001.txt")), exampleContent);
    QCOMPARE(window->lineEditOutputFileName->text(), QString("SUB001_practice002.txt"));
}

void TestResultsFile::existingFileNeedsConfirmation_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("replace") << int(QMessageBox::Yes) << exampleContent;
    QTest::newRow("keep") << int(QMessageBox::No) << QByteArray("earlier run");
}

void TestResultsFile::existingFileNeedsConfirmation()
{
    QFETCH(int, answer);
    QFETCH(QByteArray, expected);
    const QString path = desktop->filePath("SUB001_practice001.txt");
    QVERIFY(writeBytes(path, "earlier run"));
    prepareRun({700, 730, 725});
    ModalDriver driver;
    driver.chooseFile(path);
    driver.answerMessageBox(QMessageBox::StandardButton(answer));
    if (answer == QMessageBox::No) {
        // Declining the overwrite leaves the save dialog open: cancel it, then discard.
        driver.cancelFileDialog();
        driver.answerMessageBox(QMessageBox::No);
    }
    window->finishSession();
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
    QVERIFY(driver.seen().at(1).text.contains("already exists"));
    QCOMPARE(readAll(path), expected);
}

void TestResultsFile::cancelledSave_data()
{
    QTest::addColumn<bool>("again");
    QTest::newRow("choose again") << true;
    QTest::newRow("discard") << false;
}

void TestResultsFile::cancelledSave()
{
    QFETCH(bool, again);
    prepareRun({700, 730, 725});
    ModalDriver driver;
    driver.cancelFileDialog();
    driver.answerMessageBox(again ? QMessageBox::Yes : QMessageBox::No);
    if (again)
        driver.chooseFile(desktop->filePath("second-try.txt"));
    window->finishSession();
    QVERIFY(driver.waitUntilDone());
    QCOMPARE(driver.seen().at(1).title, QString("Question"));
    QCOMPARE(QDir(desktop->path()).entryList(QDir::Files), again ? QStringList({"second-try.json", "second-try.txt"}) : QStringList());
    QCOMPARE(readAll(desktop->filePath("second-try.txt")), again ? exampleContent : QByteArray("<missing>"));
    QCOMPARE(window->parameters.fileNumber, 2);
}

void TestResultsFile::unwritableFolderThenAnotherFile()
{
    QVERIFY(writeBytes(desktop->filePath("blocker"), ""));
    prepareRun({700, 730, 725});
    ModalDriver driver;
    driver.chooseFile(desktop->filePath("blocker/results.txt"));
    driver.answerMessageBox(QMessageBox::Ok);
    driver.answerMessageBox(QMessageBox::Yes);
    driver.chooseFile(desktop->filePath("results.txt"));
    window->finishSession();
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
    QCOMPARE(driver.seen().size(), 4);
    QVERIFY(driver.seen().at(1).text.startsWith("could not open file for writing \r\n" + desktop->filePath("blocker/results.txt")));
    QCOMPARE(readAll(desktop->filePath("results.txt")), exampleContent);
}

void TestResultsFile::unfinishedRunIsOffered_data()
{
    QTest::addColumn<bool>("save");
    QTest::newRow("yes saves as Done would") << true;
    QTest::newRow("no moves it aside") << false;
}

void TestResultsFile::unfinishedRunIsOffered()
{
    QFETCH(bool, save);
    // Go, three tones, and the program gone before Done.
    prepareRun({});
    window->playOrder = {0};
    window->resetTrendChart();
    window->pushButtonGo->setEnabled(true);
    QTest::mouseClick(window->pushButtonGo, Qt::LeftButton);
    for (int hz : {700, 730, 725})
        QVERIFY(QMetaObject::invokeMethod(window.get(), "updateMainwindow", Q_ARG(qint32, 4), Q_ARG(qint32, hz)));
    window.reset();
    const QDir unfinished(unfinishedRunsFolder());
    QCOMPARE(unfinished.entryList(QDir::Files).size(), 1);

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
