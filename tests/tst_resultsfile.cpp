#include "app/MainWindow.h"
#include "app/ResultsFile.h"
#include "support/ModalDriver.h"
#include "support/WindowTest.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

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
}

// The results table, and the end of a run that must never lose it without being asked.
class TestResultsFile : public WindowTest
{
    Q_OBJECT
private slots:

    void content_data();
    void content();

    void savingUncheckedWritesNothing();
    void proposedNameIsSavedByteForByte();
    void existingFileNeedsConfirmation_data();
    void existingFileNeedsConfirmation();
    void missingFolderIsCreated();
    void cancelThenChooseAgain();
    void cancelThenDiscard();
    void unwritableFolderThenAnotherFile();

private:
    void prepareRun(const QVector<double> &frequencies);

};

// A run's end state: one target, and the frequencies the listener asked for.
void TestResultsFile::prepareRun(const QVector<double> &frequencies)
{
    TrialRecord record;
    record.fileName = "tone1.wav";
    window->parameters.trials = {record};
    window->trendFrequency = frequencies;
    window->readParameters();
}

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
    driver.chooseFile(desktop->filePath("SUB001_practice001.txt"));
    window->finishSession();
    QVERIFY(driver.waitUntilDone());
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen().first().title, QString("Save a file"));
    QCOMPARE(driver.seen().first().text, desktop->path());
    QCOMPARE(driver.seen().first().detail, QString("All files (*.*);;Text files (*.txt)"));
    QCOMPARE(readAll(desktop->filePath("SUB001_practice001.txt")), exampleContent);
    QCOMPARE(window->parameters.fileNumber, 2);
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
    QFile earlier(path);
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier run");
    earlier.close();

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

void TestResultsFile::missingFolderIsCreated()
{
    prepareRun({700, 730, 725});
    const QString path = desktop->filePath("study/day1/results.txt");
    ModalDriver driver;
    driver.chooseFile(path);
    window->finishSession();
    QVERIFY(driver.waitUntilDone());
    QCOMPARE(readAll(path), exampleContent);
    QCOMPARE(window->parameters.outputFilePath, desktop->filePath("study/day1"));
}

void TestResultsFile::cancelThenChooseAgain()
{
    prepareRun({700, 730, 725});
    ModalDriver driver;
    driver.cancelFileDialog();
    driver.answerMessageBox(QMessageBox::Yes);
    driver.chooseFile(desktop->filePath("second-try.txt"));
    window->finishSession();
    QVERIFY(driver.waitUntilDone());
    QCOMPARE(driver.seen().at(1).title, QString("Question"));
    QCOMPARE(readAll(desktop->filePath("second-try.txt")), exampleContent);
}

void TestResultsFile::cancelThenDiscard()
{
    prepareRun({700});
    ModalDriver driver;
    driver.cancelFileDialog();
    driver.answerMessageBox(QMessageBox::No);
    window->finishSession();
    QVERIFY(driver.waitUntilDone());
    QCOMPARE(driver.seen().size(), 2);
    QCOMPARE(QDir(desktop->path()).entryList(QDir::Files), QStringList());
    QCOMPARE(window->parameters.fileNumber, 2);
}

void TestResultsFile::unwritableFolderThenAnotherFile()
{
    QFile blocker(desktop->filePath("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    prepareRun({700, 730, 725});
    ModalDriver driver;
    driver.chooseFile(desktop->filePath("blocker/results.txt"));
    driver.answerMessageBox(QMessageBox::Ok);
    driver.answerMessageBox(QMessageBox::Yes);
    driver.chooseFile(desktop->filePath("results.txt"));
    window->finishSession();
    QVERIFY2(driver.waitUntilDone(), qPrintable(driver.unexpected().join('\n')));
    QCOMPARE(driver.seen().size(), 4);
    QCOMPARE(driver.seen().at(1).title, QString("Warning"));
    QVERIFY(driver.seen().at(1).text.startsWith("could not open file for writing \r\n"
                                                 + desktop->filePath("blocker/results.txt")));
    QCOMPARE(driver.seen().at(2).title, QString("Question"));
    QCOMPARE(readAll(desktop->filePath("results.txt")), exampleContent);
}

QTEST_MAIN(TestResultsFile)
#include "tst_resultsfile.moc"
