#include "app/MainWindow.h"

#include <QComboBox>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSpinBox>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>

TrialRecord::TrialRecord()
    : filePath(SessionParameters::desktopDirectory())
    , matchedFrequency(0.0)
{
}

SessionParameters::SessionParameters()
    : samplingRate(40000.0)
    , soundDuration(0.25)
    , sampleCount(10000)
    , displayDuration(0.25)
    , displaySampleCount(10000)
    , maxFrequency(2000.0)
    , spectrumBinCount(500)
    , defaultDirectory(desktopDirectory())
    , outputFilePath(defaultDirectory)
    , wavFilePath(defaultDirectory)
    , subjectCode(QStringLiteral("SUB001"))
    , outputFileName(QStringLiteral("SUB001") + QStringLiteral(".txt"))
    , sessionTypeNames({QStringLiteral("practice"), QStringLiteral("experiment")})
    , sessionType(0)
    , soundTypeNames({QStringLiteral(".wav files"), QStringLiteral("reserved")})
    , soundType(0)
    , mainParameterNames({QStringLiteral("sound files"), QStringLiteral("reserved")})
    , mainParameter(0)
    , fileNumber(1)
    , silentInterval(0.5)
    , wavFileName(QStringLiteral("File001.wav"))
    , frequencyMin(10)
    , frequencyMax(1000)
    , frequencyStart(500)
    , frequencyCurrent(500)
    , frequencyStepSize(1)
    , sinusoidCount(0)
    , saveData(true)
{
}

QString SessionParameters::desktopDirectory()
{
    return QStringLiteral("%1").arg(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
}

QString SessionParameters::outputFileNameFor(const QString &subjectCode, const QString &sessionTypeName,
                                             qint32 fileNumber)
{
    // The file name is the only place the subject's identity is kept: a "/" would make the save
    // dialog cut the code at the separator, so such characters become "_".
    QString code = subjectCode;
    for (QChar &c : code) {
        if (c.category() == QChar::Other_Control || QStringLiteral("/\\:*?\"<>|").contains(c))
            c = QLatin1Char('_');
    }
    const QString number = QStringLiteral("%1").arg(fileNumber, 3, 10, QLatin1Char('0'));
    return code + QStringLiteral("_") + sessionTypeName + number + QStringLiteral(".txt");
}

qint32 SessionParameters::firstFreeFileNumber(const QString &folder, const QString &subjectCode,
                                              const QString &sessionTypeName, qint32 from, qint32 last)
{
    const QDir dir(folder);
    for (qint32 number = from; number <= last; ++number) {
        if (!QFileInfo::exists(dir.filePath(outputFileNameFor(subjectCode, sessionTypeName, number))))
            return number;
    }
    return from;
}

void SessionParameters::createOutputFolder() const
{
    // When it cannot be made the dialog opens elsewhere, in plain view, and saving reports any failure.
    QDir().mkpath(outputFilePath);
}

qint32 SessionParameters::fftLengthFor(qint32 sampleCount)
{
    // No samples: the logarithm is -infinity, and the length 0.
    const double ln2 = 0.6931471805599453;
    return static_cast<qint32>(std::pow(2.0, std::ceil(std::log(double(sampleCount)) / ln2)));
}

qint32 SessionParameters::spectrumBinCountFor(qint32 fftLength, double samplingRate, double maxFrequency)
{
    const double fftDuration = fftLength / samplingRate;
    const double bins = fftDuration * maxFrequency;
    return static_cast<qint32>(std::min(bins, double(fftLength / 2)));
}

void SessionParameters::clampDisplayDuration()
{
    const qint32 n = static_cast<qint32>(std::floor(samplingRate * displayDuration));
    displaySampleCount = n;
    if (sampleCount < n) {
        displaySampleCount = sampleCount;
        displayDuration = sampleCount / samplingRate;
    }
}

void MainWindow::readParameters()
{
    parameters.sessionType = comboBoxSesType->currentIndex();
    parameters.soundType = comboBoxSoundType->currentIndex();
    parameters.mainParameter = comboBoxMainParameter->currentIndex();
    parameters.samplingRate = lineEditSamplingRate->text().toDouble();
    parameters.soundDuration = lineEditSoundDuration->text().toDouble() / 1000.0;
    parameters.silentInterval = lineEditSilentInterval->text().toDouble() / 1000.0;
    parameters.saveData = checkBoxSaveData->isChecked();
    parameters.wavFilePath = lineEditWavFilePath->text();
    parameters.wavFileName = lineEditWavFileName->text();
    parameters.subjectCode = lineEditSubCode->text();
    parameters.fileNumber = spinBoxFileNumber->value();
    parameters.outputFilePath = lineEditOutputFilePath->text();
    parameters.outputFileName = lineEditOutputFileName->text();
    // The field shows the duration to two decimals: rounding gives the count back where flooring
    // lost a sample (908 samples, "22.70" ms, 907.99...), and a loaded target's own count is exact.
    parameters.sampleCount = loadedSignal.isEmpty()
        ? static_cast<qint32>(std::lround(parameters.samplingRate * parameters.soundDuration))
        : loadedSignal.size();
    clampDisplayDuration();
}

void MainWindow::clampDisplayDuration()
{
    parameters.clampDisplayDuration();
}

// The spectrum vectors are computeAmplitudeSpectrum's: it fills them with the bins shown.
void MainWindow::sizeSpectrum()
{
    fftLength = SessionParameters::fftLengthFor(parameters.sampleCount);
    parameters.spectrumBinCount =
        SessionParameters::spectrumBinCountFor(fftLength, parameters.samplingRate, parameters.maxFrequency);
}

void MainWindow::makeOutputFileName()
{
    const QString typeName = parameters.sessionTypeNames.value(parameters.sessionType);
    parameters.outputFileName =
        SessionParameters::outputFileNameFor(parameters.subjectCode, typeName, parameters.fileNumber);
    lineEditOutputFileName->setText(parameters.outputFileName);
}

void MainWindow::on_comboBoxSesType_currentIndexChanged(int index)
{
    parameters.sessionType = index;
    makeOutputFileName();
}

void MainWindow::on_comboBoxSoundType_currentIndexChanged(int index)
{
    parameters.soundType = index;
    makeOutputFileName();
}

void MainWindow::on_comboBoxMainParameter_currentIndexChanged(int index)
{
    parameters.mainParameter = index;
    makeOutputFileName();
}

void MainWindow::on_lineEditSubCode_textChanged(QString arg1)
{
    parameters.subjectCode = arg1;
    makeOutputFileName();
}

void MainWindow::on_spinBoxFileNumber_valueChanged(int newFileNumber)
{
    parameters.fileNumber = newFileNumber;
    makeOutputFileName();
}
