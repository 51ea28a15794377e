#include "subject/WindowGeometry.h"

#include <QTest>

class TestWindowGeometry : public QObject
{
    Q_OBJECT
private slots:
    void placement_data();
    void placement();
};

void TestWindowGeometry::placement_data()
{
    QTest::addColumn<QSizeF>("fraction");
    QTest::addColumn<bool>("centre");
    QTest::addColumn<QPoint>("current");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("centred, odd halves") << QSizeF(0.5, 0.25) << true << QPoint() << QRect(250, 225, 500, 150);
    QTest::newRow("kept, width below 0, height above 1") << QSizeF(-0.5, 2.0) << false << QPoint(300, 200) << QRect(300, 200, 0, 601);
    QTest::newRow("off the edges, width above 1") << QSizeF(1.5, 0.8) << false << QPoint(0, 39) << QRect(5, 40, 1001, 480);
}

void TestWindowGeometry::placement()
{
    QFETCH(QSizeF, fraction);
    QFETCH(bool, centre);
    QFETCH(QPoint, current);
    QTEST(WindowGeometry::fromScreenFraction({1001, 601}, fraction.width(), fraction.height(), centre, current), "expected");
}

QTEST_APPLESS_MAIN(TestWindowGeometry)
#include "tst_windowgeometry.moc"
