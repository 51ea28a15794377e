#include "support/ModalDriver.h"

#include <QTest>

// The driver every dialog test relies on: it must answer real dialogs, report the unexpected
// ones, and never hang. Its file dialog answers are checked by every test that chooses a file.
class TestModalDriver : public QObject
{
    Q_OBJECT
private slots:
    void answersMessageBox_data();
    void answersMessageBox();
};

void TestModalDriver::answersMessageBox_data()
{
    QTest::addColumn<int>("answer"); // 0: none queued, so the box is unexpected and rejected
    QTest::addColumn<int>("result");
    QTest::newRow("yes") << int(QMessageBox::Yes) << int(QMessageBox::Yes);
    QTest::newRow("no") << int(QMessageBox::No) << int(QMessageBox::No);
    QTest::newRow("unexpected") << 0 << int(QMessageBox::No);
}

void TestModalDriver::answersMessageBox()
{
    QFETCH(int, answer);
    ModalDriver driver;
    if (answer)
        driver.answerMessageBox(QMessageBox::StandardButton(answer));
    QTEST(int(QMessageBox::question(nullptr, "Question", "Go on?", QMessageBox::Yes | QMessageBox::No)), "result");
    QCOMPARE(driver.waitUntilDone(1000), answer != 0);
    QCOMPARE(driver.unexpected().size(), answer ? 0 : 1);
    QCOMPARE(driver.seen().value(0).text, QString("Go on?"));
}

QTEST_MAIN(TestModalDriver)
#include "tst_modaldriver.moc"
