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
    QTest::addColumn<QSize>("available");
    QTest::addColumn<double>("widthFraction");
    QTest::addColumn<double>("heightFraction");
    QTest::addColumn<bool>("centre");
    QTest::addColumn<QPoint>("current");
    QTest::addColumn<QRect>("expected");

    const QSize screen(1920, 1040);
    QTest::newRow("centred") << screen << 0.7 << 0.8 << true << QPoint(600, 300) << QRect(288, 104, 1344, 832);
    QTest::newRow("odd sizes truncate") << QSize(1001, 601) << 0.5 << 0.5 << true << QPoint() << QRect(250, 150, 500, 300);
    QTest::newRow("above one") << screen << 1.5 << 2.0 << true << QPoint() << QRect(0, 0, 1920, 1040);
    QTest::newRow("negative") << screen << -0.5 << -1.0 << true << QPoint() << QRect(960, 520, 0, 0);
    QTest::newRow("position kept") << screen << 0.7 << 0.8 << false << QPoint(300, 200) << QRect(300, 200, 1344, 832);
    QTest::newRow("corner") << screen << 0.7 << 0.8 << false << QPoint(0, 0) << QRect(5, 40, 1344, 832);
    QTest::newRow("under the top") << screen << 0.7 << 0.8 << false << QPoint(3000, 39) << QRect(3000, 40, 1344, 832);
}

void TestWindowGeometry::placement()
{
    QFETCH(QSize, available);
    QFETCH(double, widthFraction);
    QFETCH(double, heightFraction);
    QFETCH(bool, centre);
    QFETCH(QPoint, current);
    QTEST(WindowGeometry::fromScreenFraction(available, widthFraction, heightFraction, centre, current), "expected");
}

QTEST_APPLESS_MAIN(TestWindowGeometry)
#include "tst_windowgeometry.moc"
