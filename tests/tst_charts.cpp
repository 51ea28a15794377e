#include "analysis/ChartPoints.h"
#include "app/MainWindow.h"
#include "support/WindowTest.h"

#include <QTest>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>

QT_CHARTS_USE_NAMESPACE

// The three charts of the experimenter window: built once, plotted, reset and extended.
class TestCharts : public WindowTest
{
    Q_OBJECT
private slots:
    void chartsAfterConstruction_data();
    void chartsAfterConstruction();
    void waveform_data();
    void waveform();
    void spectrumPlotShowsBinsUpToMaxFrequency();
    void longSeriesKeepEachColumnsExtremes_data();
    void longSeriesKeepEachColumnsExtremes();
    void trendSequence_data();
    void trendSequence();

private:
    void loadTarget(const QVector<double> &signal);
};

// Stands in for target loading: the fields a plot reads, as a load leaves them.
void TestCharts::loadTarget(const QVector<double> &signal)
{
    window->targetSignal = signal;
    window->parameters.sampleCount = signal.size();
    window->clampDisplayDuration();
    window->sizeSpectrum();
    window->waveformTime.resize(window->parameters.displaySampleCount);
    for (int i = 0; i < window->waveformTime.size(); ++i)
        window->waveformTime[i] = i / window->parameters.samplingRate * 1000.0;
}

void TestCharts::chartsAfterConstruction_data()
{
    QTest::addColumn<int>("chart");
    QTest::addColumn<QStringList>("titles"); // chart, x axis, y axis
    QTest::addColumn<double>("yMax");
    QTest::newRow("waveform") << 0 << QStringList{"Time Waveform", "Time (ms)", "Amplitude"} << -1.0;
    QTest::newRow("spectrum") << 1 << QStringList{"Amplitude Spectrum", "Frequency (Hz)", "Amplitude"} << 1.0;
    QTest::newRow("trend") << 2 << QStringList{"Response Trend", "Number of trials", "Frequency matched (Hz)"} << 4.0;
}

// An empty series drawn against its two axes, under the texts the experimenter reads.
void TestCharts::chartsAfterConstruction()
{
    QFETCH(int, chart);
    QFETCH(QStringList, titles);
    QFETCH(double, yMax);
    QChart *charts[] = {window->waveformChart, window->spectrumChart, window->trendChart};
    QLineSeries *series[] = {window->waveformSeries, window->spectrumSeries, window->trendSeries};
    QValueAxis *axesX[] = {window->waveformAxisX, window->spectrumAxisX, window->trendAxisX};
    QValueAxis *axesY[] = {window->waveformAxisY, window->spectrumAxisY, window->trendAxisY};
    QCOMPARE((QStringList{charts[chart]->title(), axesX[chart]->titleText(), axesY[chart]->titleText()}), titles);
    QCOMPARE(charts[chart]->series(), QList<QAbstractSeries *>{series[chart]});
    QCOMPARE(series[chart]->count(), 0);
    QCOMPARE(series[chart]->attachedAxes(), (QList<QAbstractAxis *>{axesX[chart], axesY[chart]}));
    if (yMax > 0)
        QCOMPARE(axesY[chart]->max(), yMax);
}

void TestCharts::waveform_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("shown");
    QTest::addColumn<double>("endMs");
    QTest::newRow("default target") << 10000 << 10000 << 250.0;
    QTest::newRow("shorter than the display") << 4000 << 4000 << 100.0;
    QTest::newRow("trough beyond the display") << 20000 << 10000 << 250.0;
}

// The first displayDuration of the target, its y range taken from the whole target.
void TestCharts::waveform()
{
    QFETCH(int, frames);
    QFETCH(int, shown);
    QFETCH(double, endMs);
    QVector<double> signal(frames);
    for (int i = 0; i < signal.size(); ++i)
        signal[i] = 0.5 * std::sin(2.0 * M_PI * 1000.0 * i / 40000.0);
    signal.last() = -0.75;
    loadTarget(signal);
    window->plotWaveform();
    QCOMPARE(window->parameters.displaySampleCount, shown);
    QCOMPARE(window->waveformSeries->count(), shown);
    QCOMPARE(window->waveformSeries->at(10), QPointF(0.25, 0.5));
    QCOMPARE(window->waveformAxisX->min(), 0.0);
    QCOMPARE(window->waveformAxisX->max(), endMs);
    QCOMPARE(window->waveformRange, QVector<double>({-0.75, 0.5}));
    QCOMPARE(window->waveformAxisY->min(), -0.75);
    QCOMPARE(window->waveformAxisY->max(), 0.5);
}

void TestCharts::spectrumPlotShowsBinsUpToMaxFrequency()
{
    loadTarget(QVector<double>(10000, 0.0));
    for (int k = 0; k < window->spectrumAmplitude.size(); ++k) {
        window->spectrumFrequency[k] = k * 2.44140625;
        window->spectrumAmplitude[k] = 0.001 * (k % 7);
    }
    window->spectrumAmplitude[8000] = 0.9; // not shown, yet it sets the range
    window->plotSpectrum();
    QCOMPARE(window->spectrumSeries->count(), 819);
    QCOMPARE(window->spectrumSeries->at(818).x(), 1997.0703125);
    QCOMPARE(window->spectrumAxisY->max(), 0.9);
    QCOMPARE(window->spectrumAxisY->min(), 0.0);
    QCOMPARE(window->spectrumAxisX->min(), 0.0);
    QCOMPARE(window->spectrumAxisX->max(), 2000.0);
    QCOMPARE(window->spectrumAxisX->labelFormat(), QString("%.0f"));
}

void TestCharts::longSeriesKeepEachColumnsExtremes_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("drawn");
    QTest::newRow("demo target, point for point") << 10000 << 300 << 10000;
    QTest::newRow("at the limit") << exactChartPoints << 300 << exactChartPoints;
    QTest::newRow("one more: thinned") << exactChartPoints + 1 << 300 << 600;
    QTest::newRow("5-minute spectrum") << 838860 << 1500 << 3000;
}

void TestCharts::longSeriesKeepEachColumnsExtremes()
{
    QFETCH(int, count);
    QFETCH(int, columns);
    QFETCH(int, drawn);
    QVector<double> x(count), y(count);
    for (int i = 0; i < count; ++i) {
        x[i] = 0.5 * i;
        y[i] = 0.001 * ((i * 7919) % 13);
    }
    y[count / 3] = -1.0; // one narrow trough and one narrow peak
    y[2 * count / 3] = 1.0;
    const QVector<QPointF> points = chartPoints(x, y, count + 5, columns);
    QCOMPARE(points.size(), drawn);
    QVERIFY(points.contains(QPointF(x[count / 3], -1.0)));
    QVERIFY(points.contains(QPointF(x[2 * count / 3], 1.0)));
    for (int i = 1; i < points.size(); ++i)
        QVERIFY2(points[i].x() > points[i - 1].x(), qPrintable(QString::number(i)));
}

void TestCharts::trendSequence_data()
{
    QTest::addColumn<double>("u");
    QTest::addColumn<double>("v");
    QTest::addColumn<double>("yMin");
    QTest::addColumn<double>("yMax");
    QTest::newRow("rising") << 700.0 << 730.0 << 700.0 << 730.0;
    QTest::newRow("falling") << 900.0 << 150.0 << 150.0 << 900.0;
    QTest::newRow("equal") << 500.0 << 500.0 << 475.0 << 525.0;
}

void TestCharts::trendSequence()
{
    QFETCH(double, u);
    QFETCH(double, v);
    QFETCH(double, yMin);
    QFETCH(double, yMax);
    TrialRecord record;
    window->parameters.trials = {record};
    window->resetTrendChart();

    window->parameters.trials.first().matchedFrequency = u;
    window->updateTrendChart();
    QCOMPARE(window->trendSeries->count(), 1);
    QCOMPARE(window->trendSeries->at(0), QPointF(0.0, u));
    QCOMPARE(window->trendAxisX->min(), 0.0);
    QCOMPARE(window->trendAxisX->max(), 0.0);
    QVERIFY(window->trendAxisY->min() < u && u < window->trendAxisY->max()); // the lone point is visible

    ++window->parameters.sinusoidCount; // playback counts the tone it played
    window->parameters.trials.first().matchedFrequency = v;
    window->updateTrendChart();
    QCOMPARE(window->trendSeries->count(), 2);
    QCOMPARE(window->trendSeries->at(1), QPointF(1.0, v));
    QCOMPARE(window->trendAxisX->max(), 1.0);
    QCOMPARE(window->trendAxisX->tickCount(), 2);
    QCOMPARE(window->trendRange, QVector<double>({yMin, yMax}));
    QCOMPARE(window->trendAxisY->min(), yMin);
    QCOMPARE(window->trendAxisY->max(), yMax);
    QCOMPARE(window->trendFrequency, QVector<double>({u, v}));

    window->resetTrendChart();
    QCOMPARE(window->trendSeries->count(), 0);
    QVERIFY(window->trendTrial.isEmpty());
    QVERIFY(window->trendFrequency.isEmpty());
    QCOMPARE(window->parameters.sinusoidCount, 0);
    QCOMPARE(window->trendAxisY->max(), 4.0);
}

QTEST_MAIN(TestCharts)
#include "tst_charts.moc"
