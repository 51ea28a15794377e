#include "app/MainWindow.h"
#include "audio/OutputStream.h"

#include <QLineEdit>
#include <QStatusBar>
#include <QtDebug>

void MainWindow::playOneSound()
{
    StreamDevice::Sound sound;
    if (soundIndex < soundsPerPresentation) {
        sound.count = parameters.sampleCount;
        if (sinusoidMode) {
            showMatchedFrequency();
            ++parameters.sinusoidCount;
            // Made on the stream's thread as it plays: a long tone costs the GUI thread nothing.
            sound.frequency = parameters.frequencyCurrent;
        } else {
            sound.samples = targetSignal;
            sound.count = qMin(sound.count, int(targetSignal.size()));
        }
    }
    const qint64 dueNs = soundDueNs ? soundDueNs : StreamDevice::nowNs();
    ++soundIndex;
    emit soundPlaying(soundIndex);
    if (sound.count <= 0 || (sound.frequency == 0.0 && sound.samples.isEmpty())) {
        soundDueNs = 0;
        emit soundPlaying(-1);
        return;
    }
    soundDueNs = dueNs;
    if (!outputStream->open(QAudioDeviceInfo::defaultOutputDevice(), audioFormat)) {
        handleStateChanged(QAudio::StoppedState);
        return;
    }
    outputStream->play(sound, dueNs);
}

void MainWindow::handleStateChanged(QAudio::State audioState)
{
    const QAudio::Error error = outputStream->error();
    if (audioState != QAudio::StoppedState || error == QAudio::NoError)
        return;
    // Reopened at the next sound: a server that restarted plays again.
    outputStream->close();
    qWarning("Audio stopped unexpectedly");
    statusBar()->showMessage(QStringLiteral("A sound could not be played: the audio output stopped with an error."));
    if (!soundDueNs)
        return;
    soundDueNs = 0;
    noteOutputError(error);
    emit soundPlaying(-1);
}

void MainWindow::finishSound(qint64 firstNs, qint64 endNs)
{
    if (!soundDueNs)
        return;
    soundDueNs = 0;
    noteSoundPlayed(firstNs, endNs);
    if (soundIndex == soundsPerPresentation)
        emit soundPlaying(-1);
}

void MainWindow::stopSound()
{
    soundDueNs = 0;
    outputStream->close();
}

void MainWindow::showMatchedFrequency()
{
    if (parameters.trials.isEmpty())
        return;
    lineEditFrequencyMatched->setText(QString::number(parameters.trials.value(currentTarget).matchedFrequency, 'g', 6));
}
