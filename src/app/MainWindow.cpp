#include "app/MainWindow.h"

#include "audio/OutputStream.h"
#include "subject/SubjectWindow.h"
#include "subject/WindowGeometry.h"

#include <QAudioDeviceInfo>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QSpinBox>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>

QT_CHARTS_USE_NAMESPACE

namespace {
// Results files are numbered; at 99 every later run would propose the same name again.
const int maximumFileNumber = 999;
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , labelSesType(new QLabel(QStringLiteral("Session type")))
    , labelSoundType(new QLabel(QStringLiteral("Sound type")))
    , labelMainParameter(new QLabel(QStringLiteral("Main parameter")))
    , labelSoundFileInfo(new QLabel(QStringLiteral("Sound File Information")))
    , labelSamplingRate(new QLabel(QStringLiteral("Sampling rate")))
    , labelSoundDuration(new QLabel(QStringLiteral("Sound duration (ms)")))
    , labelSilentInterval(new QLabel(QStringLiteral("Silent interval (ms)")))
    , labelSubCode(new QLabel(QStringLiteral("Subject code")))
    , labelFileNumber(new QLabel(QStringLiteral("File number")))
    , labelWavFilePath(new QLabel(QStringLiteral("WAV filepath")))
    , labelWavFileName(new QLabel(QStringLiteral("WAV filename")))
    , labelOutputFilePath(new QLabel(QStringLiteral("Output filepath")))
    , labelOutputFileName(new QLabel(QStringLiteral("Output filename")))
    , labelFrequencyMatched(new QLabel(QStringLiteral("Frequency matched (Hz)")))
    , comboBoxSesType(new QComboBox)
    , comboBoxSoundType(new QComboBox)
    , comboBoxMainParameter(new QComboBox)
    , lineEditSamplingRate(new QLineEdit)
    , lineEditSoundDuration(new QLineEdit)
    , lineEditSilentInterval(new QLineEdit)
    , lineEditSubCode(new QLineEdit)
    , spinBoxFileNumber(new QSpinBox)
    , lineEditWavFilePath(new QLineEdit)
    , lineEditWavFileName(new QLineEdit)
    , lineEditOutputFilePath(new QLineEdit)
    , lineEditOutputFileName(new QLineEdit)
    , lineEditFrequencyMatched(new QLineEdit)
    , pushButtonPractice(new QPushButton(QStringLiteral("Practice")))
    , pushButtonExperiment(new QPushButton(QStringLiteral("Experiment")))
    , pushButtonGo(new QPushButton(QStringLiteral("Go")))
    , pushButtonQuit(new QPushButton(QStringLiteral("Quit")))
    , checkBoxSaveData(new QCheckBox(QStringLiteral("Save data to file")))
    , hBoxSamplingRate(new QHBoxLayout)
    , hBoxSoundDuration(new QHBoxLayout)
    , hBoxSilentInterval(new QHBoxLayout)
    , hBoxButtons(new QHBoxLayout)
    , hBoxSubCode(new QHBoxLayout)
    , hBoxFileNumber(new QHBoxLayout)
    , hBoxWavFilePath(new QHBoxLayout)
    , hBoxWavFileName(new QHBoxLayout)
    , hBoxOutputFilePath(new QHBoxLayout)
    , hBoxOutputFileName(new QHBoxLayout)
    , hBoxFrequencyMatched(new QHBoxLayout)
    , gridLayoutParameters(new QGridLayout)
    , gridLayoutCharts(new QGridLayout)
    , gridLayoutMain(new QGridLayout)
    , centralWidget(new QWidget)
    , fftLength(0)
    , waveformSeries(nullptr)
    , spectrumSeries(nullptr)
    , trendSeries(nullptr)
    , waveformAxisX(nullptr)
    , waveformAxisY(nullptr)
    , spectrumAxisX(nullptr)
    , spectrumAxisY(nullptr)
    , trendAxisX(nullptr)
    , trendAxisY(nullptr)
    , waveformChart(nullptr)
    , spectrumChart(nullptr)
    , trendChart(nullptr)
    , waveformChartView(nullptr)
    , spectrumChartView(nullptr)
    , trendChartView(nullptr)
    , subjectWindow(nullptr)
    , soundsPerPresentation(1)
    , soundIndex(0)
    , playPosition(0)
    , currentTarget(0)
    , repetitions(0)
    , practiceRepetitions(1)
    , experimentRepetitions(1)
    , targetCount(0)
    , sinusoidMode(false)
    , outputStream(new OutputStream(this))
    , centreWindow(true)
    , widthFraction(0.8)
    , heightFraction(0.9)
{
    qRegisterMetaType<QAudio::State>("QAudio::State");
    recordWriter.setMaxThreadCount(1); // one thread: the writes land in the order they were made

    connect(outputStream, &OutputStream::soundFinished, this, &MainWindow::finishSound);
    connect(outputStream, &OutputStream::failed, this, [this] { handleStateChanged(QAudio::StoppedState); });

    connect(pushButtonPractice, SIGNAL(clicked(bool)), this, SLOT(on_pushButtonPractice_clicked()));
    connect(pushButtonExperiment, SIGNAL(clicked(bool)), this, SLOT(on_pushButtonExperiment_clicked()));
    connect(pushButtonGo, SIGNAL(clicked(bool)), this, SLOT(on_pushButtonGo_clicked()));
    connect(pushButtonQuit, SIGNAL(clicked(bool)), this, SLOT(close()));
    connect(comboBoxSesType, SIGNAL(currentIndexChanged(int)), this,
            SLOT(on_comboBoxSesType_currentIndexChanged(int)));
    connect(comboBoxSoundType, SIGNAL(currentIndexChanged(int)), this,
            SLOT(on_comboBoxSoundType_currentIndexChanged(int)));
    connect(comboBoxMainParameter, SIGNAL(currentIndexChanged(int)), this,
            SLOT(on_comboBoxMainParameter_currentIndexChanged(int)));
    connect(lineEditSubCode, SIGNAL(textChanged(QString)), this, SLOT(on_lineEditSubCode_textChanged(QString)));
    connect(spinBoxFileNumber, SIGNAL(valueChanged(int)), this, SLOT(on_spinBoxFileNumber_valueChanged(int)));

    createLayout();
    initialiseWindow();
    createWaveformChart();
    createSpectrumChart();
    createTrendChart();

    // Queued, so the window is on screen before it asks about runs left unfinished.
    QMetaObject::invokeMethod(this, &MainWindow::offerRecovery, Qt::QueuedConnection);
}

MainWindow::~MainWindow()
{
    // A view owns its chart, and a chart its series and axes: deleting the views frees them all.
    delete waveformChartView;
    delete spectrumChartView;
    delete trendChartView;
    waveformChartView = spectrumChartView = trendChartView = nullptr;
    waveformChart = spectrumChart = trendChart = nullptr;
    waveformSeries = spectrumSeries = trendSeries = nullptr;
    waveformAxisX = waveformAxisY = spectrumAxisX = spectrumAxisY = trendAxisX = trendAxisY = nullptr;

    stopSound();

    QWidget *const widgets[] = {
        labelSesType, labelSoundType, labelMainParameter, labelSoundFileInfo, labelSamplingRate,
        labelSoundDuration, labelSilentInterval, labelSubCode, labelFileNumber, labelWavFilePath,
        labelWavFileName, labelOutputFilePath, labelOutputFileName, labelFrequencyMatched,
        comboBoxSesType, comboBoxSoundType, comboBoxMainParameter,
        lineEditSamplingRate, lineEditSoundDuration, lineEditSilentInterval, lineEditSubCode,
        spinBoxFileNumber, lineEditWavFilePath, lineEditWavFileName, lineEditOutputFilePath,
        lineEditOutputFileName, lineEditFrequencyMatched,
        pushButtonPractice, pushButtonExperiment, pushButtonGo, pushButtonQuit, checkBoxSaveData};
    for (QWidget *widget : widgets)
        delete widget;
    labelSesType = labelSoundType = labelMainParameter = labelSoundFileInfo = labelSamplingRate = nullptr;
    labelSoundDuration = labelSilentInterval = labelSubCode = labelFileNumber = labelWavFilePath = nullptr;
    labelWavFileName = labelOutputFilePath = labelOutputFileName = labelFrequencyMatched = nullptr;
    comboBoxSesType = comboBoxSoundType = comboBoxMainParameter = nullptr;
    lineEditSamplingRate = lineEditSoundDuration = lineEditSilentInterval = lineEditSubCode = nullptr;
    spinBoxFileNumber = nullptr;
    lineEditWavFilePath = lineEditWavFileName = lineEditOutputFilePath = lineEditOutputFileName = nullptr;
    lineEditFrequencyMatched = nullptr;
    pushButtonPractice = pushButtonExperiment = pushButtonGo = pushButtonQuit = nullptr;
    checkBoxSaveData = nullptr;

    // Inner layouts first: a layout removes itself from its parent layout when deleted.
    QLayout *const layouts[] = {
        hBoxSamplingRate, hBoxSoundDuration, hBoxSilentInterval, hBoxButtons, hBoxSubCode, hBoxFileNumber,
        hBoxWavFilePath, hBoxWavFileName, hBoxOutputFilePath, hBoxOutputFileName, hBoxFrequencyMatched,
        gridLayoutParameters, gridLayoutCharts, gridLayoutMain};
    for (QLayout *layout : layouts)
        delete layout;
    hBoxSamplingRate = hBoxSoundDuration = hBoxSilentInterval = hBoxButtons = hBoxSubCode = nullptr;
    hBoxFileNumber = hBoxWavFilePath = hBoxWavFileName = hBoxOutputFilePath = hBoxOutputFileName = nullptr;
    hBoxFrequencyMatched = nullptr;
    gridLayoutParameters = gridLayoutCharts = gridLayoutMain = nullptr;

    delete centralWidget;
    centralWidget = nullptr;
}

void MainWindow::setWindowGeometry(bool centre, double widthFraction, double heightFraction)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return; // nothing to measure against: keep the platform's placement
    setGeometry(WindowGeometry::fromScreenFraction(screen->availableSize(), widthFraction, heightFraction, centre,
                                                   geometry().topLeft()));
}

void MainWindow::createLayout()
{
    setWindowGeometry(centreWindow, widthFraction, heightFraction);
    setWindowTitle(QStringLiteral("Varnel Lab | Tonvara (v014) | Main Window"));

    const QList<QPair<QHBoxLayout *, QList<QWidget *>>> rows = {
        {hBoxWavFilePath, {labelWavFilePath, lineEditWavFilePath}},
        {hBoxWavFileName, {labelWavFileName, lineEditWavFileName}},
        {hBoxSamplingRate, {labelSamplingRate, lineEditSamplingRate}},
        {hBoxSoundDuration, {labelSoundDuration, lineEditSoundDuration}},
        {hBoxSilentInterval, {labelSilentInterval, lineEditSilentInterval}},
        {hBoxButtons, {pushButtonPractice, pushButtonExperiment, pushButtonGo, pushButtonQuit}},
        {hBoxSubCode, {labelSubCode, lineEditSubCode, checkBoxSaveData}},
        {hBoxFileNumber, {labelFileNumber, spinBoxFileNumber}},
        {hBoxOutputFilePath, {labelOutputFilePath, lineEditOutputFilePath}},
        {hBoxOutputFileName, {labelOutputFileName, lineEditOutputFileName}},
        {hBoxFrequencyMatched, {labelFrequencyMatched, lineEditFrequencyMatched}},
    };
    gridLayoutParameters->addWidget(labelSoundFileInfo, 1, 0, 1, 4);
    int row = 2;
    for (const auto &entry : rows) {
        for (QWidget *widget : entry.second)
            entry.first->addWidget(widget);
        gridLayoutParameters->addLayout(entry.first, row++, 0, 1, 4);
    }
    createBlockControls();

    gridLayoutMain->addLayout(gridLayoutParameters, 0, 0, 1, 1);
    gridLayoutMain->addLayout(gridLayoutCharts, 0, 1, 1, 1);
    centralWidget->setLayout(gridLayoutMain);
    setCentralWidget(centralWidget);
    // There from the start: appearing with the first message, it would move every row of the panel.
    setStatusBar(new QStatusBar);

    labelSoundFileInfo->setAlignment(Qt::AlignHCenter);
    labelSoundFileInfo->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    labelSoundFileInfo->setMinimumWidth(100);
    for (QPushButton *button : {pushButtonPractice, pushButtonExperiment, pushButtonGo, pushButtonQuit})
        button->setMinimumHeight(60);
    spinBoxFileNumber->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    gridLayoutMain->setColumnStretch(0, 1);
    gridLayoutMain->setColumnStretch(1, 2);
}

void MainWindow::initialiseWindow()
{
    {
        // Filling a choice box is no choice: the session's own values pick the items below.
        const QSignalBlocker sesType(comboBoxSesType), soundType(comboBoxSoundType), mainParameter(comboBoxMainParameter);
        comboBoxSesType->addItems(parameters.sessionTypeNames);
        comboBoxSoundType->addItems(parameters.soundTypeNames);
        comboBoxMainParameter->addItems(parameters.mainParameterNames);
    }
    comboBoxSesType->setCurrentIndex(parameters.sessionType);
    comboBoxSoundType->setCurrentIndex(parameters.soundType);
    comboBoxMainParameter->setCurrentIndex(parameters.mainParameter);

    lineEditSoundDuration->setText(QString::number(parameters.soundDuration * 1000.0, 'f', 2));
    lineEditSoundDuration->setEnabled(false);
    checkBoxSaveData->setChecked(parameters.saveData);
    lineEditSilentInterval->setText(QString::number(parameters.silentInterval * 1000.0, 'f', 2));
    lineEditSilentInterval->setEnabled(false);

    lineEditWavFilePath->setText(parameters.wavFilePath);
    lineEditWavFileName->setText(parameters.wavFileName);
    lineEditWavFilePath->setEnabled(false);
    lineEditWavFileName->setEnabled(false);

    lineEditOutputFilePath->setText(parameters.outputFilePath);
    makeOutputFileName();
    lineEditOutputFilePath->setEnabled(false);
    lineEditOutputFileName->setEnabled(false);
    lineEditFrequencyMatched->setEnabled(false);

    spinBoxFileNumber->setMaximum(maximumFileNumber);
    spinBoxFileNumber->setValue(parameters.fileNumber);
    spinBoxFileNumber->setMinimum(1);
    lineEditSubCode->setText(parameters.subjectCode);

    lineEditSamplingRate->setText(QString::number(parameters.samplingRate, 'g', 6));
    lineEditSamplingRate->setEnabled(false);

    pushButtonPractice->setEnabled(true);
    pushButtonExperiment->setEnabled(false);
    pushButtonGo->setEnabled(false);
    lineEditFrequencyMatched->setText(QStringLiteral("not started yet"));

    waveformTime.resize(parameters.displaySampleCount);
    parameters.displaySampleCount =
        static_cast<qint32>(std::floor(parameters.samplingRate * parameters.displayDuration));
    waveformPoints.resize(parameters.displaySampleCount);
    waveformRange.resize(2);
    spectrumRange.resize(2);
    trendRange.resize(2);
    sizeSpectrum();

    axisLabelFont.setPixelSize(10);
    axisLabelFont.setWeight(50);
    axisTitleFont.setPixelSize(10);
    axisTitleFont.setWeight(50);
    chartTitleFont.setPixelSize(12);
    chartTitleFont.setWeight(50);

    audioFormat.setSampleRate(static_cast<int>(parameters.samplingRate));
    audioFormat.setChannelCount(1);
    audioFormat.setSampleSize(32);
    audioFormat.setCodec(QStringLiteral("audio/pcm"));
    audioFormat.setByteOrder(QAudioFormat::LittleEndian);
    audioFormat.setSampleType(QAudioFormat::Float);
    if (!QAudioDeviceInfo::defaultOutputDevice().isFormatSupported(audioFormat)) {
        qWarning("Raw audio format not supported by backend, cannot play audio.");
        // The experimenter must know before a listener sits down, not from a log.
        statusBar()->showMessage(QStringLiteral("No audio output plays mono 32-bit float sound at %1 Hz: "
                                                "the listener will hear nothing.")
                                     .arg(audioFormat.sampleRate()));
    }
}

void MainWindow::doNothing()
{
}
