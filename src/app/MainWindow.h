#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "analysis/Spectrum.h"
#include "app/Block.h"
#include "app/SessionRecord.h"
#include "app/UnfinishedRuns.h"
#include "audio/WavFile.h"

#include <QAudio>
#include <QAudioFormat>
#include <QElapsedTimer>
#include <QFont>
#include <QMainWindow>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QVector>
#include <QtCharts/QChartGlobal>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class OutputStream;
class QPushButton;
class QSpinBox;
class SubjectWindow;

QT_CHARTS_BEGIN_NAMESPACE
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;
QT_CHARTS_END_NAMESPACE

// One target sound of a session and the listener's latest match for it.
struct TrialRecord
{
    TrialRecord();

    QString filePath;        // folder of the target file
    QString fileName;        // file name with extension
    double matchedFrequency; // Hz; the last sinusoid the listener asked for
};

// The experimenter window's settings. Durations are in seconds, rates and frequencies in Hz.
struct SessionParameters
{
    SessionParameters();

    double samplingRate;
    double soundDuration;
    qint32 sampleCount;
    double displayDuration;
    qint32 displaySampleCount;
    double maxFrequency;
    qint32 spectrumBinCount;
    QString defaultDirectory;
    QString outputFilePath;
    QString wavFilePath;
    QString subjectCode;
    QString outputFileName;
    QStringList sessionTypeNames;
    qint32 sessionType;
    QStringList soundTypeNames;
    qint32 soundType;
    QStringList mainParameterNames;
    qint32 mainParameter;
    qint32 fileNumber;
    double silentInterval;
    QString wavFileName;
    QVector<TrialRecord> trials;
    qint32 frequencyMin;
    qint32 frequencyMax;
    qint32 frequencyStart;
    qint32 frequencyCurrent;
    qint32 frequencyStepSize;
    qint32 sinusoidCount;
    bool saveData;

    // Keeps the waveform display inside the sound; displayDuration is only ever lowered.
    void clampDisplayDuration();
    // Makes outputFilePath exist, so the save dialog opens in the folder the window shows.
    void createOutputFolder() const;

    // The user's desktop folder, where dialogs start and results go by default.
    static QString desktopDirectory();
    // subjectCode_sessionTypeName + number (at least three digits, zero-filled) + ".txt"; characters
    // of the code that cannot stand in a file name (/ \ : * ? " < > | and control characters)
    // become "_".
    static QString outputFileNameFor(const QString &subjectCode, const QString &sessionTypeName,
                                     qint32 fileNumber);
    // The first number from `from` to `last` whose results file is not in folder yet, so that a new
    // day does not propose yesterday's names; `from` when all of them are taken.
    static qint32 firstFreeFileNumber(const QString &folder, const QString &subjectCode,
                                      const QString &sessionTypeName, qint32 from, qint32 last);
    // Smallest power of two not below sampleCount; 0 for an empty sound (no valid length).
    static qint32 fftLengthFor(qint32 sampleCount);
    // Bins up to maxFrequency for a block of fftLength samples at samplingRate (> 0), at most
    // fftLength / 2.
    static qint32 spectrumBinCountFor(qint32 fftLength, double samplingRate, double maxFrequency);
};

// The experimenter's window: it owns the session state, prepares sessions, answers the
// listener's requests with sounds, plots the matches and saves them.
// The state is public so that tests can inspect it; the slots stay private.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void setWindowGeometry(bool centre, double widthFraction, double heightFraction);
    void createLayout();
    void initialiseWindow();

    void readParameters();
    void clampDisplayDuration();
    void sizeSpectrum();
    void makeOutputFileName();

    void prepareSession();
    void selectTargetSound();
    void makeRandomOrder();
    void showSoundFileInfo();

    // False when the chosen file cannot serve as a target; targetLoadError says why.
    bool loadTargetSound();
    void showMatchedFrequency();
    void scheduleNextSound();
    // From a request to its sound's first sample: (soundDuration + silentInterval) s, in whole ms.
    int pauseMs() const;

    void computeAmplitudeSpectrum();
    void createWaveformChart();
    void createSpectrumChart();
    void createTrendChart();
    void plotWaveform();
    void plotSpectrum();
    void resetTrendChart();
    void updateTrendChart();

    void finishSession();
    void saveResults();

    QLabel *labelSesType;
    QLabel *labelSoundType;
    QLabel *labelMainParameter;
    QLabel *labelSoundFileInfo;
    QLabel *labelSamplingRate;
    QLabel *labelSoundDuration;
    QLabel *labelSilentInterval;
    QLabel *labelSubCode;
    QLabel *labelFileNumber;
    QLabel *labelWavFilePath;
    QLabel *labelWavFileName;
    QLabel *labelOutputFilePath;
    QLabel *labelOutputFileName;
    QLabel *labelFrequencyMatched;

    QComboBox *comboBoxSesType;
    QComboBox *comboBoxSoundType;
    QComboBox *comboBoxMainParameter;

    QLineEdit *lineEditSamplingRate;
    QLineEdit *lineEditSoundDuration;
    QLineEdit *lineEditSilentInterval;
    QLineEdit *lineEditSubCode;
    QSpinBox *spinBoxFileNumber;
    QLineEdit *lineEditWavFilePath;
    QLineEdit *lineEditWavFileName;
    QLineEdit *lineEditOutputFilePath;
    QLineEdit *lineEditOutputFileName;
    QLineEdit *lineEditFrequencyMatched;

    QPushButton *pushButtonPractice;
    QPushButton *pushButtonExperiment;
    QPushButton *pushButtonGo;
    QPushButton *pushButtonQuit;
    QCheckBox *checkBoxSaveData;
    QLabel *labelRepetitions = nullptr;
    QSpinBox *spinBoxRepetitions = nullptr;   // how often each target of a block is presented
    QCheckBox *checkBoxRandomStart = nullptr; // each presentation starts at a random frequency

    QHBoxLayout *hBoxSamplingRate;
    QHBoxLayout *hBoxSoundDuration;
    QHBoxLayout *hBoxSilentInterval;
    QHBoxLayout *hBoxButtons;
    QHBoxLayout *hBoxSubCode;
    QHBoxLayout *hBoxFileNumber;
    QHBoxLayout *hBoxWavFilePath;
    QHBoxLayout *hBoxWavFileName;
    QHBoxLayout *hBoxOutputFilePath;
    QHBoxLayout *hBoxOutputFileName;
    QHBoxLayout *hBoxFrequencyMatched;
    QGridLayout *gridLayoutParameters;
    QGridLayout *gridLayoutCharts;
    QGridLayout *gridLayoutMain;
    QWidget *centralWidget;

    SessionParameters parameters;

    QVector<double> waveformTime;
    QVector<double> targetSignal;
    QVector<double> trendTrial;
    QVector<double> trendFrequency;
    QVector<QPointF> waveformPoints;
    QVector<double> waveformRange;
    QVector<double> spectrumRange;
    QVector<double> trendRange;
    int fftLength;
    QVector<double> spectrumFrequency;
    QVector<double> spectrumAmplitude;
    QVector<QPointF> spectrumPoints;

    QtCharts::QLineSeries *waveformSeries;
    QtCharts::QLineSeries *spectrumSeries;
    QtCharts::QLineSeries *trendSeries;
    QtCharts::QValueAxis *waveformAxisX;
    QtCharts::QValueAxis *waveformAxisY;
    QtCharts::QValueAxis *spectrumAxisX;
    QtCharts::QValueAxis *spectrumAxisY;
    QtCharts::QValueAxis *trendAxisX;
    QtCharts::QValueAxis *trendAxisY;
    QtCharts::QChart *waveformChart;
    QtCharts::QChart *spectrumChart;
    QtCharts::QChart *trendChart;
    QtCharts::QChartView *waveformChartView;
    QtCharts::QChartView *spectrumChartView;
    QtCharts::QChartView *trendChartView;

    SubjectWindow *subjectWindow;

    int soundsPerPresentation;
    int soundIndex;

    QVector<int> playOrder;
    QString currentTargetPath;

    int playPosition;
    int currentTarget;
    int repetitions;
    int practiceRepetitions;
    int experimentRepetitions;
    int targetCount;

    bool sinusoidMode;

    QFont axisLabelFont;
    QFont axisTitleFont;
    QFont chartTitleFont;

    WavFile wavFile;
    // What the loaded target file is (rate, depth, format, channels, conversion, clipping), one
    // line for the experimenter; empty before the first usable load.
    QString targetDescription;
    // The loaded target and its spectrum, computed off the GUI thread with it. While targetSignal
    // still shares loadedSignal's data, computeAmplitudeSpectrum takes these instead of redoing
    // the transform.
    QVector<double> loadedSignal;
    int loadedFftLength = 0;
    double loadedSamplingRate = 0.0;
    SpectrumPart loadedSpectrum;

    QAudioFormat audioFormat;
    // The run's output, open from its first sound to its end.
    OutputStream *outputStream;
    qint64 requestNs = 0;  // when the latest request came, on StreamDevice::nowNs()
    qint64 soundDueNs = 0; // when the first sample of the sound under way is heard; 0 when none

    bool centreWindow;
    double widthFraction;
    double heightFraction;

    // Why the last target could not be used; empty after a usable load.
    QString targetLoadError;

    // The run from Go on: what it played and when. Its copy under unfinishedRunsFolder() is
    // rewritten at every request and removed when the run ends, so a killed run can be saved later.
    SessionRecord sessionRecord;
    QString unfinishedRecordPath; // empty when no run is going on
    QElapsedTimer runClock;       // started at Go; request times are milliseconds on it
    // Held while the run goes on, so another program does not offer it for recovery. Declared
    // before the writer: the writer's last write ends before the lock goes.
    std::unique_ptr<QLockFile> runLock;
    // Writes the kept record in order on a thread of its own: a disk that stalls on a sync must
    // not hold up the sound that the GUI thread starts.
    QThreadPool recordWriter;
    // The run as it starts: settings, output, target; no requests yet.
    SessionRecord describeRun() const;
    void beginRun();
    // Appends a request of kind "target" or "sinusoid" made requestedMs after Go, and keeps the record.
    void recordRequest(const QString &kind, qint32 frequency, qint64 requestedMs);
    // Notes when the latest request's first and last samples were heard (ns as
    // StreamDevice::nowNs()), and the output's latency.
    void noteSoundPlayed(qint64 firstNs, qint64 endNs);
    // Notes why the latest request's sound was not played to its end.
    void noteOutputError(QAudio::Error error);
    // Takes the run's lock before its record is first written.
    void lockUnfinishedRecord();
    void keepUnfinishedRecord();
    // Waits for the writer, then removes the kept record.
    void endRun();
    // The one way a run is saved, at its end or when recovered: the save dialog from
    // record.resultsFile, the results file, then the record beside it. False when not saved.
    bool saveRun(SessionRecord &record);
    // Asks once before the save replaces the results file at resultsPath or the record beside it
    // (a.txt and a.csv share a.json). True when neither exists or the answer is Yes.
    bool mayReplace(const QString &resultsPath);
    // Sets the file number to the first one whose results file is not in the output folder yet.
    void proposeFreeFileNumber();
    // Where a recovered run is proposed: its own folder, or the desktop when that folder is gone
    // (note then says so), under the first free number.
    QString recoveredResultsPath(const SessionRecord &record, QString *note) const;
    // Asks, one by one, whether to save each run a program left unfinished and whose lock is free;
    // any not saved is moved to "discarded" beside them.
    void offerRecovery();

    // The block being prepared or run; its presentations begin at Go.
    Block block;
    // Each target of the block as loaded and checked at preparation, so that the next
    // presentation starts without reading anything.
    struct LoadedTarget
    {
        QString description;
        QVector<double> signal;
        int fftLength = 0;
        SpectrumPart spectrum;
        qint32 sampleCount = 0;
        double soundDuration = 0.0;
    };
    QVector<LoadedTarget> loadedTargets; // by index into trials
    QStringList targetOrigins;           // by index into trials: "list.txt, line 4"; empty when chosen directly
    void createBlockControls();
    // Loads and checks every target, ending with the first presented one loaded. False, with
    // playPosition at a presentation of the target that cannot be used, as loadTargetSound says.
    bool prepareBlockTargets();
    void useLoadedTarget(int target);
    // At Go: the first presentation begins in the listener's window.
    void startBlock();
    // "Done" of the presentation under way: the next one begins at once, if any.
    void finishPresentation();
    // Brings the presentation under way up to date in the block and the block into the record.
    void syncBlock();

protected:
    // Closing in the middle of a run would lose its results: ask first.
    void closeEvent(QCloseEvent *event) override;

signals:
    void transferParameters(qint32 frequencyMin, qint32 frequencyMax, qint32 frequencyCurrent,
                            qint32 frequencyStepSize);
    void soundPlaying(int index);
    void stateChanged(QAudio::State audioState);

private:
    // Ends the sound under way or still to come and closes the output: nothing sounds afterwards.
    void stopSound();

private slots:
    void on_pushButtonPractice_clicked();
    void on_pushButtonExperiment_clicked();
    void on_pushButtonGo_clicked();
    void updateMainwindow(qint32 response, qint32 frequency);
    void playOneSound();
    void doNothing();
    void handleStateChanged(QAudio::State audioState);
    // The stream has played the last sample of the sound.
    void finishSound(qint64 firstNs, qint64 endNs);
    void on_comboBoxSesType_currentIndexChanged(int index);
    void on_comboBoxSoundType_currentIndexChanged(int index);
    void on_comboBoxMainParameter_currentIndexChanged(int index);
    void on_lineEditSubCode_textChanged(QString arg1);
    void on_spinBoxFileNumber_valueChanged(int newFileNumber);
    void refreshMainWindow();
};

#endif
