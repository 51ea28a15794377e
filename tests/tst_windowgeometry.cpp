#include "subject/WindowGeometry.h"

#include <QTest>

#include <limits>

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

    const QSize fullHd(1920, 1040);
    QTest::newRow("subject window on 1920x1040")
        << fullHd << 0.7 << 0.8 << true << QPoint(0, 0) << QRect(288, 104, 1344, 832);
    QTest::newRow("experimenter window on 1920x1040")
        << fullHd << 0.8 << 0.9 << true << QPoint(0, 0) << QRect(192, 52, 1536, 936);
    QTest::newRow("centring ignores the current position")
        << fullHd << 0.7 << 0.8 << true << QPoint(600, 300) << QRect(288, 104, 1344, 832);
    QTest::newRow("odd sizes truncate size and offset")
        << QSize(1001, 601) << 0.5 << 0.5 << true << QPoint(0, 0) << QRect(250, 150, 500, 300);
    QTest::newRow("fractions above one clamp to the whole screen")
        << fullHd << 1.5 << 2.0 << true << QPoint(0, 0) << QRect(0, 0, 1920, 1040);
    QTest::newRow("negative fractions clamp to nothing")
        << fullHd << -0.5 << -1.0 << true << QPoint(0, 0) << QRect(960, 520, 0, 0);
    QTest::newRow("not a number counts as nothing")
        << fullHd << std::numeric_limits<double>::quiet_NaN() << 0.5 << true << QPoint(0, 0)
        << QRect(960, 260, 0, 520);
    QTest::newRow("empty screen gives an empty window")
        << QSize(0, 0) << 0.7 << 0.8 << true << QPoint(0, 0) << QRect(0, 0, 0, 0);
    QTest::newRow("not centred keeps a reachable position")
        << fullHd << 0.7 << 0.8 << false << QPoint(300, 200) << QRect(300, 200, 1344, 832);
    QTest::newRow("not centred at the corner moves in to 5, 40")
        << fullHd << 0.7 << 0.8 << false << QPoint(0, 0) << QRect(5, 40, 1344, 832);
    QTest::newRow("not centred off the left edge")
        << fullHd << 0.7 << 0.8 << false << QPoint(-20, 100) << QRect(5, 100, 1344, 832);
    QTest::newRow("not centred under the top edge")
        << fullHd << 0.7 << 0.8 << false << QPoint(3000, 39) << QRect(3000, 40, 1344, 832);
}

void TestWindowGeometry::placement()
{
    QFETCH(QSize, available);
    QFETCH(double, widthFraction);
    QFETCH(double, heightFraction);
    QFETCH(bool, centre);
    QFETCH(QPoint, current);
    QFETCH(QRect, expected);

    const QRect placed = WindowGeometry::fromScreenFraction(available, widthFraction,
                                                           heightFraction, centre, current);
    QCOMPARE(placed.topLeft(), expected.topLeft());
    QCOMPARE(placed.size(), expected.size());
}

QTEST_APPLESS_MAIN(TestWindowGeometry)
#include "tst_windowgeometry.moc"
