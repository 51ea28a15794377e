#include "audio/Playback.h"

#include "app/MainWindow.h"

#include <QAudioDeviceInfo>
#include <QAudioOutput>
#include <QBuffer>
#include <QLineEdit>
#include <QStatusBar>
#include <QtDebug>
#include <QtEndian>
#include <algorithm>
#include <cstring>

QByteArray float32LittleEndian(const QVector<double> &stimulus, int count)
{
    count = std::clamp(count, 0, int(stimulus.size()));
    QByteArray bytes(count * 4, Qt::Uninitialized);
    char *out = bytes.data();
    for (int i = 0; i < count; ++i)
        qToLittleEndian(static_cast<float>(stimulus[i]), out + 4 * i);
    return bytes;
}

void MainWindow::playOneSound()
{
    // A sound whose end never came: let go of it before starting the next.
    releaseAudio();

    const QVector<double> *stimulus = nullptr;
    if (soundIndex < soundsPerPresentation) {
        if (sinusoidMode) {
            showMatchedFrequency();
            ++parameters.sinusoidCount;
            stimulus = &sinusoidSignal;
        } else {
            stimulus = &targetSignal;
        }
    }
    audioBytes = new QByteArray(stimulus ? float32LittleEndian(*stimulus, parameters.sampleCount) : QByteArray());
    if (audioBytes->isEmpty()) {
        // An output given nothing never reports an end: end the presentation here.
        delete audioBytes;
        audioBytes = nullptr;
        ++soundIndex;
        emit soundPlaying(soundIndex);
        emit soundPlaying(-1);
        return;
    }

    // The buffer shares the bytes, so the array can go while a deferred deletion is pending.
    audioBuffer = new QBuffer;
    audioBuffer->setData(*audioBytes);
    audioBuffer->open(QIODevice::ReadOnly);

    audioOutput = new QAudioOutput(QAudioDeviceInfo::defaultOutputDevice(), audioFormat, this);
    connect(audioOutput, SIGNAL(stateChanged(QAudio::State)), this, SLOT(handleStateChanged(QAudio::State)));
    // Announced before the start: an output refusing the stream reports it from inside start(),
    // and its -1 must come last or the listener's window stays locked.
    ++soundIndex;
    emit soundPlaying(soundIndex);
    audioOutput->start(audioBuffer);

    // Without a working device the output stops at once and says nothing.
    if (audioOutput && audioOutput->state() == QAudio::StoppedState && audioOutput->error() != QAudio::NoError)
        handleStateChanged(QAudio::StoppedState);
}

void MainWindow::handleStateChanged(QAudio::State audioState)
{
    if (!audioOutput)
        return;
    noteOutputState(audioState);
    const bool finished = audioState == QAudio::IdleState;
    const bool failed = audioState == QAudio::StoppedState && audioOutput->error() != QAudio::NoError;
    if (!finished && !failed)
        return;
    if (failed) {
        qWarning("Audio stopped unexpectedly");
        statusBar()->showMessage(QStringLiteral("A sound could not be played: the audio output stopped with an error."));
    }

    releaseAudio();
    if (failed || soundIndex == soundsPerPresentation)
        emit soundPlaying(-1);
}

void MainWindow::releaseAudio()
{
    // stop() reports the stopped state at once; disconnected first, so nothing runs twice.
    if (audioOutput) {
        audioOutput->disconnect(this);
        audioOutput->stop();
        // It may be inside its own notification: it goes later. Deleting it directly while that
        // deferred deletion is queued crashes the sound plugin, so the window must not delete it
        // as its child either.
        audioOutput->setParent(nullptr);
        audioOutput->deleteLater();
        audioOutput = nullptr;
    }
    if (audioBuffer) {
        audioBuffer->close();
        audioBuffer->deleteLater(); // posted after the output's, so deleted after it
        audioBuffer = nullptr;
    }
    delete audioBytes;
    audioBytes = nullptr;
}

void MainWindow::showMatchedFrequency()
{
    if (parameters.trials.isEmpty())
        return;
    lineEditFrequencyMatched->setText(QString::number(parameters.trials.value(currentTarget).matchedFrequency, 'g', 6));
}
