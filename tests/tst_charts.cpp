#include "analysis/ChartPoints.h"
#include "analysis/Spectrum.h"
#include "app/MainWindow.h"
#include "audio/Sinusoid.h"
#include "support/WindowTest.h"

#include <QImage>
#include <QTest>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <algorithm>

QT_CHARTS_USE_NAMESPACE

// The three charts of the experimenter window: plotted, reset and extended.
class TestCharts : public WindowTest
{
    Q_OBJECT
private slots:
    void plotsShowTheirPartScaledToTheWhole();
    void longSeriesKeepEachColumnsExtremes_data();
    void longSeriesKeepEachColumnsExtremes();
    void trend_data();
    void trend();
};

// What the experimenter reads of a chart: its title, then each axis its series is drawn against,
// by title and range.
static QStringList chartTexts(QChart *chart)
{
    QStringList texts{chart->title()};
    for (const QAbstractAxis *axis : chart->series().value(0)->attachedAxes())
        texts << QString("%1 %2..%3").arg(axis->titleText(), axis->property("min").toString(), axis->property("max").toString());
    return texts;
}

// A 500 ms target: the waveform shows its first 250 ms sample for sample, the spectrum every bin
// up to 2000 Hz; each y axis spans the whole signal, beyond what is shown.
void TestCharts::plotsShowTheirPartScaledToTheWhole()
{
    window->targetSignal = sinusoidSamples(20000, 1000.0, 40000.0);
    window->targetSignal.last() = -1.5;
    window->parameters.sampleCount = 20000;
    window->sizeSpectrum();
    window->waveformTime.resize(20000);
    for (int i = 0; i < window->waveformTime.size(); ++i)
        window->waveformTime[i] = i / 40.0;
    window->plotWaveform();
    window->computeAmplitudeSpectrum();
    window->plotSpectrum();
    QVector<double> frequency, amplitude;
    amplitudeSpectrum(window->targetSignal, 20000, 32768, 40000.0, frequency, amplitude);
    const auto range = std::minmax_element(amplitude.cbegin(), amplitude.cend());
    QCOMPARE(window->waveformSeries->count(), 10000);
    QCOMPARE(chartTexts(window->waveformChart), (QStringList{"Time Waveform", "Time (ms) 0..250", "Amplitude -1.5..1"}));
    QCOMPARE(window->spectrumSeries->count(), 1638);
    QCOMPARE(chartTexts(window->spectrumChart),
             (QStringList{"Amplitude Spectrum", "Frequency (Hz) 0..2000",
                          "Amplitude " + QVariant(*range.first).toString() + ".." + QVariant(*range.second).toString()}));
}

void TestCharts::longSeriesKeepEachColumnsExtremes_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("drawn");
    QTest::newRow("at the limit, point for point") << 16384 << 16384;
    QTest::newRow("one more: two a column") << 16385 << 600;
}

void TestCharts::longSeriesKeepEachColumnsExtremes()
{
    QFETCH(int, count);
    QFETCH(int, drawn);
    QVector<double> x(count), y(count);
    for (int i = 0; i < count; ++i) { // small ripple, so no column's lowest and highest point tie
        x[i] = 0.5 * i;
        y[i] = 0.001 * ((qint64(i) * 7919) % 13);
    }
    y[count / 3] = -1.0; // one narrow trough and one narrow peak
    y[2 * count / 3] = 1.0;
    const QVector<QPointF> points = chartPoints(x, y, count + 5, 300);
    QCOMPARE(points.size(), drawn);
    QVERIFY(points.contains(QPointF(x[count / 3], -1.0)));
    QVERIFY(points.contains(QPointF(x[2 * count / 3], 1.0)));
    for (int i = 1; i < points.size(); ++i)
        QVERIFY2(points[i].x() > points[i - 1].x(), qPrintable(QString::number(i)));
}

void TestCharts::trend_data()
{
    QTest::addColumn<QVector<double>>("matched"); // Hz, one per sinusoid played
    QTest::addColumn<QString>("yAxis");
    QTest::newRow("none") << QVector<double>{} << "0..4";
    QTest::newRow("a lone point") << QVector<double>{730.0} << "693.5..766.5";
    QTest::newRow("falling") << QVector<double>{900.0, 150.0} << "150..900";
    QTest::newRow("equal") << QVector<double>{500.0, 500.0, 500.0} << "475..525";
}

// After a reset that forgets an earlier run, each point is (sinusoids played, matched frequency),
// and every point lies inside the y axis.
void TestCharts::trend()
{
    QFETCH(QVector<double>, matched);
    QFETCH(QString, yAxis);
    QCOMPARE(chartTexts(window->trendChart).last(), "Frequency matched (Hz) 0..4"); // as a new window shows it
    window->parameters.trials = {TrialRecord()};
    window->parameters.sinusoidCount = 9;
    window->updateTrendChart();
    window->resetTrendChart();
    QVector<QPointF> points;
    for (double hz : matched) {
        points << QPointF(points.size(), hz);
        window->parameters.trials.first().matchedFrequency = hz;
        window->updateTrendChart();
        ++window->parameters.sinusoidCount; // as playback counts the next tone
    }
    QCOMPARE(window->trendSeries->pointsVector(), points);
    QCOMPARE(chartTexts(window->trendChart).last(), "Frequency matched (Hz) " + yAxis);
    // Drawn in the series' colour, the lone point too.
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QImage image = window->trendChartView->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb colour = window->trendSeries->color().rgb();
    bool drawn = false;
    for (int y = 0; y < image.height() && !drawn; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        drawn = std::find(line, line + image.width(), colour) != line + image.width();
    }
    QCOMPARE(drawn, !matched.isEmpty());
}

QTEST_MAIN(TestCharts)
#include "tst_charts.moc"
