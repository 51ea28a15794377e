#include "support/ModalDriver.h"

#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>

// The driver every dialog test relies on: it must answer real boxes, and never hang.
class TestModalDriver : public QObject
{
    Q_OBJECT
private slots:
    void answersQuestion_data();
    void answersQuestion();
    void rejectsUnexpectedBox();
    void choosesFileInRealDialog();
};

void TestModalDriver::answersQuestion_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("yes") << int(QMessageBox::Yes);
    QTest::newRow("no") << int(QMessageBox::No);
}

void TestModalDriver::answersQuestion()
{
    QFETCH(int, answer);
    ModalDriver driver;
    driver.answerMessageBox(QMessageBox::StandardButton(answer));
    const auto result = QMessageBox::question(nullptr, "Question", "Go on?",
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    QCOMPARE(int(result), answer);
    QVERIFY(driver.waitUntilDone());
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen().first().title, QString("Question"));
    QCOMPARE(driver.seen().first().text, QString("Go on?"));
}

void TestModalDriver::rejectsUnexpectedBox()
{
    ModalDriver driver;
    const auto result = QMessageBox::question(nullptr, "Question", "Nobody expects this",
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    QCOMPARE(int(result), int(QMessageBox::No));
    QVERIFY(!driver.waitUntilDone(1000));
    QCOMPARE(driver.unexpected().size(), 1);
}

void TestModalDriver::choosesFileInRealDialog()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("chosen.wav");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    ModalDriver driver;
    driver.chooseFile(path);
    const QString chosen = QFileDialog::getOpenFileName(nullptr, "Select", dir.path(), "Sound files (*.wav)");
    QCOMPARE(chosen, path);
    QVERIFY(driver.waitUntilDone());
    QCOMPARE(driver.seen().first().kind, QString("QFileDialog"));
    QCOMPARE(driver.seen().first().detail, QString("Sound files (*.wav)"));
}

QTEST_MAIN(TestModalDriver)
#include "tst_modaldriver.moc"
