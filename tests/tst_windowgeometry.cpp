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
    QTest::newRow("centred") << fullHd << 0.7 << 0.8 << true << QPoint(600, 300) << QRect(288, 104, 1344, 832);
    QTest::newRow("odd sizes truncate")
        << QSize(1001, 601) << 0.5 << 0.5 << true << QPoint(0, 0) << QRect(250, 150, 500, 300);
    QTest::newRow("above one") << fullHd << 1.5 << 2.0 << true << QPoint(0, 0) << QRect(0, 0, 1920, 1040);
    QTest::newRow("negative") << fullHd << -0.5 << -1.0 << true << QPoint(0, 0) << QRect(960, 520, 0, 0);
    QTest::newRow("NaN") << fullHd << std::numeric_limits<double>::quiet_NaN() << 0.5 << true << QPoint(0, 0)
                         << QRect(960, 260, 0, 520);
    QTest::newRow("position kept") << fullHd << 0.7 << 0.8 << false << QPoint(300, 200) << QRect(300, 200, 1344, 832);
    QTest::newRow("corner") << fullHd << 0.7 << 0.8 << false << QPoint(0, 0) << QRect(5, 40, 1344, 832);
    QTest::newRow("under the top") << fullHd << 0.7 << 0.8 << false << QPoint(3000, 39) << QRect(3000, 40, 1344, 832);
}

void TestWindowGeometry::placement()
{
    QFETCH(QSize, available);
    QFETCH(double, widthFraction);
    QFETCH(double, heightFraction);
    QFETCH(bool, centre);
    QFETCH(QPoint, current);
    QFETCH(QRect, expected);

    QCOMPARE(WindowGeometry::fromScreenFraction(available, widthFraction, heightFraction, centre, current), expected);
}

QTEST_APPLESS_MAIN(TestWindowGeometry)
#include "tst_windowgeometry.moc"
