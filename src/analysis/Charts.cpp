#include "analysis/ChartPoints.h"
#include "app/MainWindow.h"

#include "analysis/TrendRange.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>

QT_CHARTS_USE_NAMESPACE

namespace {

// Adds the series and both axes, then the look all three charts share.
void assembleChart(QChart *chart, QLineSeries *series, QValueAxis *axisX, QValueAxis *axisY,
                   const QFont &titleFont, const QString &title, int minimumWidth)
{
    chart->addSeries(series);
    chart->addAxis(axisX, Qt::AlignBottom);
    series->attachAxis(axisX);
    chart->addAxis(axisY, Qt::AlignLeft);
    series->attachAxis(axisY);
    chart->setTitleFont(titleFont);
    chart->setTitle(title);
    chart->legend()->hide();
    chart->setMargins(QMargins(0, 0, 0, 0));
    chart->setSizePolicy(QSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred));
    chart->setMinimumWidth(minimumWidth);
}

void setAxisFonts(QValueAxis *axis, const QFont &labelFont, const QFont &titleFont, const QString &title)
{
    axis->setLabelsFont(labelFont);
    axis->setTitleFont(titleFont);
    axis->setTitleText(title);
}

QChartView *placedView(QChart *chart, QGridLayout *grid, int row, int columnSpan)
{
    auto *view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    grid->addWidget(view, row, 0, 1, columnSpan);
    return view;
}

// (minimum, maximum) of values, or false for an empty vector, which has neither.
bool valueRange(const QVector<double> &values, QVector<double> &range)
{
    if (values.isEmpty())
        return false;
    const auto extremes = std::minmax_element(values.cbegin(), values.cend());
    range = {*extremes.first, *extremes.second};
    return true;
}

// Pixel columns a chart view can show: its width once it is on screen, before that the width
// of the screen, which no view exceeds.
int pixelColumns(const QWidget *view)
{
    if (view && view->isVisible())
        return view->width();
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().width() : 4096;
}

} // namespace

void MainWindow::createWaveformChart()
{
    if (!waveformSeries)
        waveformSeries = new QLineSeries;
    if (!waveformAxisX) {
        waveformAxisX = new QValueAxis;
        setAxisFonts(waveformAxisX, axisLabelFont, axisTitleFont, QStringLiteral("Time (ms)"));
    }
    if (!waveformAxisY) {
        waveformAxisY = new QValueAxis;
        setAxisFonts(waveformAxisY, axisLabelFont, axisTitleFont, QStringLiteral("Amplitude"));
    }
    if (!waveformChart) {
        waveformChart = new QChart;
        assembleChart(waveformChart, waveformSeries, waveformAxisX, waveformAxisY, chartTitleFont,
                      QStringLiteral("Time Waveform"), 200);
    }
    if (!waveformChartView)
        waveformChartView = placedView(waveformChart, gridLayoutCharts, 0, 1);
}

void MainWindow::createSpectrumChart()
{
    if (!spectrumSeries)
        spectrumSeries = new QLineSeries;
    if (!spectrumAxisX) {
        spectrumAxisX = new QValueAxis;
        spectrumAxisX->setRange(0.0, parameters.maxFrequency);
        spectrumAxisX->setLabelFormat(QStringLiteral("%.0f"));
        setAxisFonts(spectrumAxisX, axisLabelFont, axisTitleFont, QStringLiteral("Frequency (Hz)"));
    }
    if (!spectrumAxisY) {
        spectrumAxisY = new QValueAxis;
        spectrumAxisY->setRange(0.0, 1.0);
        setAxisFonts(spectrumAxisY, axisLabelFont, axisTitleFont, QStringLiteral("Amplitude"));
    }
    if (!spectrumChart) {
        spectrumChart = new QChart;
        assembleChart(spectrumChart, spectrumSeries, spectrumAxisX, spectrumAxisY, chartTitleFont,
                      QStringLiteral("Amplitude Spectrum"), 200);
    }
    if (!spectrumChartView)
        spectrumChartView = placedView(spectrumChart, gridLayoutCharts, 1, 1);
}

void MainWindow::createTrendChart()
{
    if (!trendSeries) {
        trendSeries = new QLineSeries;
        trendSeries->setName(QStringLiteral("trend"));
        trendSeries->setPointsVisible(true);
    }

    if (!trendAxisX) {
        trendAxisX = new QValueAxis;
        trendAxisX->setLabelsVisible(true);
        trendAxisX->setLabelFormat(QStringLiteral("%g"));
        trendAxisX->setTickCount(2);
        setAxisFonts(trendAxisX, axisLabelFont, axisTitleFont, QStringLiteral("Number of trials"));
    }
    if (!trendAxisY) {
        trendAxisY = new QValueAxis;
        trendAxisY->setLabelsVisible(true);
        trendAxisY->setRange(0.0, 4.0);
        trendAxisY->setLabelFormat(QStringLiteral("%g"));
        setAxisFonts(trendAxisY, axisLabelFont, axisTitleFont, QStringLiteral("Frequency matched (Hz)"));
    }
    if (!trendChart) {
        trendChart = new QChart;
        assembleChart(trendChart, trendSeries, trendAxisX, trendAxisY, chartTitleFont,
                      QStringLiteral("Response Trend"), 400);
    }
    if (!trendChartView)
        trendChartView = placedView(trendChart, gridLayoutCharts, 2, 2);
}

void MainWindow::plotWaveform()
{
    clampDisplayDuration();
    waveformPoints = chartPoints(waveformTime, targetSignal, parameters.displaySampleCount,
                                 pixelColumns(waveformChartView));
    waveformSeries->replace(waveformPoints);
    waveformAxisX->setRange(0.0, parameters.displaySampleCount / parameters.samplingRate * 1000.0);
    if (valueRange(targetSignal, waveformRange))
        waveformAxisY->setRange(waveformRange[0], waveformRange[1]);
}

void MainWindow::plotSpectrum()
{
    spectrumPoints = chartPoints(spectrumFrequency, spectrumAmplitude, parameters.spectrumBinCount,
                                 pixelColumns(spectrumChartView));
    spectrumSeries->replace(spectrumPoints);
    // computeAmplitudeSpectrum took the range over every bin, shown or not.
    if (fftLength / 2 > 0)
        spectrumAxisY->setRange(spectrumRange[0], spectrumRange[1]);
}

void MainWindow::resetTrendChart()
{
    trendTrial.clear();
    trendFrequency.clear();
    parameters.sinusoidCount = 0;
    trendSeries->clear();
    trendRange = trendAxisRange(trendFrequency);
    trendAxisY->setRange(trendRange[0], trendRange[1]);
}

void MainWindow::updateTrendChart()
{
    if (parameters.trials.isEmpty())
        return;
    trendTrial.append(double(parameters.sinusoidCount));
    trendFrequency.append(parameters.trials.value(currentTarget).matchedFrequency);
    trendSeries->append(trendTrial.last(), trendFrequency.last());
    // On an axis of zero width the chart places no point at all, not even the first: that one
    // gets the axis 0 .. 1.
    const int lastTrial = std::max(parameters.sinusoidCount, 1);
    trendAxisX->setRange(0.0, lastTrial);
    trendAxisX->setLabelFormat(QStringLiteral("%g"));
    trendAxisX->setTickCount(lastTrial + 1);
    trendRange = trendAxisRange(trendFrequency);
    trendAxisY->setRange(trendRange[0], trendRange[1]);
}
