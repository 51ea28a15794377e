#include "app/MainWindow.h"
#include "audio/Sinusoid.h"
#include "audio/TargetSound.h"

#include <QLineEdit>

bool MainWindow::loadTargetSound()
{
    if (playPosition < 0 || playPosition >= playOrder.size()
        || playOrder[playPosition] < 0 || playOrder[playPosition] >= parameters.trials.size()) {
        targetLoadError = QStringLiteral("No target is chosen for this presentation.");
        return false;
    }
    currentTarget = playOrder[playPosition];
    parameters.wavFilePath = parameters.trials[currentTarget].filePath;
    parameters.wavFileName = parameters.trials[currentTarget].fileName;
    currentTargetPath = parameters.wavFilePath + QStringLiteral("/") + parameters.wavFileName;

    wavFile.readWavFile(currentTargetPath.toUtf8());
    // Taken before anything changes, so a file that cannot serve leaves the last target intact.
    const TargetSound target(wavFile);
    if (!target.isUsable()) {
        targetLoadError = target.problemText();
        return false;
    }
    targetLoadError.clear();

    parameters.sampleCount = target.frameCount();
    parameters.soundDuration = target.durationSeconds();
    lineEditSoundDuration->setText(QString::number(parameters.soundDuration * 1000.0, 'f', 2));
    clampDisplayDuration();
    sizeSpectrum();

    targetSignal.resize(parameters.sampleCount);
    zeroFill(targetSignal);
    const QVector<double> channel = target.firstChannel();
    std::copy(channel.cbegin(), channel.cbegin() + std::min(channel.size(), targetSignal.size()),
              targetSignal.begin());

    waveformTime.resize(parameters.displaySampleCount);
    for (int i = 0; i < parameters.displaySampleCount; ++i)
        waveformTime[i] = (i / parameters.samplingRate) * 1000.0;
    return true;
}

void MainWindow::buildSinusoid()
{
    sinusoidSignal = sinusoidSamples(parameters.sampleCount, parameters.frequencyCurrent, parameters.samplingRate);
}
