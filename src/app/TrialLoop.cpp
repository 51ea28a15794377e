#include "app/MainWindow.h"

#include "app/ResultsFile.h"
#include "audio/OutputStream.h"
#include "subject/SubjectWindow.h"

#include <QAudioDeviceInfo>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QtDebug>

namespace {
QString outputErrorText(QAudio::Error error)
{
    switch (error) {
    case QAudio::NoError:
        return QString();
    case QAudio::OpenError:
        return QStringLiteral("the output could not be opened");
    case QAudio::IOError:
        return QStringLiteral("reading or writing the sound failed");
    case QAudio::UnderrunError:
        return QStringLiteral("the sound was not fed fast enough");
    case QAudio::FatalError:
        return QStringLiteral("the output failed and cannot be used");
    }
    return QStringLiteral("unknown error %1").arg(int(error));
}
} // namespace

void MainWindow::on_pushButtonGo_clicked()
{
    setEnabled(false);
    readParameters();
    subjectWindow = new SubjectWindow(this);
    connect(subjectWindow, SIGNAL(subjectResponded(qint32, qint32)), this, SLOT(updateMainwindow(qint32, qint32)));
    connect(subjectWindow, SIGNAL(subjectWindowClosed()), this, SLOT(refreshMainWindow()));
    connect(this, SIGNAL(transferParameters(qint32, qint32, qint32, qint32)), subjectWindow,
            SLOT(receiveParameters(qint32, qint32, qint32, qint32)));
    connect(this, SIGNAL(soundPlaying(int)), subjectWindow, SLOT(updateSubjectWindow(int)));
    subjectWindow->show();
    emit transferParameters(parameters.frequencyMin, parameters.frequencyMax, parameters.frequencyCurrent,
                            parameters.frequencyStepSize);
    beginRun();
    startBlock();
}

void MainWindow::updateMainwindow(qint32 response, qint32 frequency)
{
    requestNs = StreamDevice::nowNs();
    // On the run clock's origin, as the sound's times are.
    const qint64 requestedMs = runClock.isValid() ? (requestNs - runClock.msecsSinceReference() * 1000000) / 1000000 : -1;
    soundIndex = 0;
    switch (response) {
    case 2:
        qDebug().noquote() << QStringLiteral("response: %1").arg(response);
        sinusoidMode = false;
        // Recorded first, so that an output failing at once has a request to note it in.
        recordRequest(QStringLiteral("target"), 0, requestedMs);
        scheduleNextSound();
        playPosition = 0;
        break;
    case 4:
        qDebug().noquote() << QStringLiteral("response: %1").arg(response);
        sinusoidMode = true;
        parameters.frequencyCurrent = frequency;
        if (currentTarget < parameters.trials.size())
            parameters.trials[currentTarget].matchedFrequency = frequency;
        updateTrendChart();
        recordRequest(QStringLiteral("sinusoid"), frequency, requestedMs);
        scheduleNextSound();
        playPosition = 0;
        break;
    case 0:
        qDebug() << "Test just started";
        break;
    default:
        QMessageBox::warning(nullptr, QStringLiteral("Warning"), QStringLiteral("Invalid response"), QMessageBox::Ok);
        break;
    }
}

void MainWindow::scheduleNextSound()
{
    if (playPosition < playOrder.size()) {
        // Handed to the output stream now, to be heard when the pause ends: the stream places it
        // by its own position, whatever the GUI thread does meanwhile.
        soundDueNs = requestNs + qint64(pauseMs()) * 1000000;
        playOneSound();
    }
    ++playPosition;
}

int MainWindow::pauseMs() const
{
    return static_cast<int>((parameters.soundDuration + parameters.silentInterval) * 1000.0);
}

void MainWindow::refreshMainWindow()
{
    // Before the save dialog: nothing of this run sounds after its end.
    stopSound();
    finishSession();
    setEnabled(true);
    pushButtonPractice->setEnabled(true);
    pushButtonExperiment->setEnabled(true);
    pushButtonGo->setEnabled(false);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (subjectWindow && subjectWindow->isVisible()) {
        const auto answer = QMessageBox::question(
            this, QStringLiteral("Question"),
            QStringLiteral("A run is still going on and its results have not been saved.\n"
                           "Do you want to quit? The run is kept and offered for saving at the next start."),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

SessionRecord MainWindow::describeRun() const
{
    SessionRecord record;
    record.version = QStringLiteral(TONVARA_VERSION);
    record.subjectCode = parameters.subjectCode;
    record.sessionType = parameters.sessionTypeNames.value(parameters.sessionType);
    record.fileNumber = parameters.fileNumber;
    record.resultsFile = parameters.outputFilePath + QStringLiteral("/") + parameters.outputFileName;
    record.startedAt = currentTimeWithOffset();
    record.samplingRate = parameters.samplingRate;
    record.soundDuration = parameters.soundDuration;
    record.silentInterval = parameters.silentInterval;
    record.frequencyMin = parameters.frequencyMin;
    record.frequencyMax = parameters.frequencyMax;
    record.frequencyStart = parameters.frequencyStart;
    record.frequencyStepSize = parameters.frequencyStepSize;
    record.outputDevice = QAudioDeviceInfo::defaultOutputDevice().deviceName();
    record.outputFormat = QStringLiteral("%1-bit %2 %3-endian, %4 channel(s), %5 Hz")
                              .arg(audioFormat.sampleSize())
                              .arg(audioFormat.sampleType() == QAudioFormat::Float ? "float" : "integer")
                              .arg(audioFormat.byteOrder() == QAudioFormat::LittleEndian ? "little" : "big")
                              .arg(audioFormat.channelCount())
                              .arg(audioFormat.sampleRate());
    // The server's own rate, which the output converts to when it differs.
    record.sinkRate = QAudioDeviceInfo::defaultOutputDevice().preferredFormat().sampleRate();
    record.target = describeTarget(currentTargetPath, wavFile, targetSignal, parameters.sampleCount,
                                   parameters.samplingRate);
    record.hasTrial = !parameters.trials.isEmpty();
    record.trialFileName = record.hasTrial ? parameters.trials.value(currentTarget).fileName : QString();
    return record;
}

void MainWindow::beginRun()
{
    // Open before the first request, so that no sound waits for the stream; a failure shows then.
    outputStream->open(QAudioDeviceInfo::defaultOutputDevice(), audioFormat);
    sessionRecord = describeRun();
    runClock.start();
    unfinishedRecordPath = QDir(unfinishedRunsFolder())
                               .filePath(sessionRecord.startedAt.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"))
                                         + QStringLiteral(".json"));
    lockUnfinishedRecord();
    keepUnfinishedRecord();
}

void MainWindow::lockUnfinishedRecord()
{
    QDir().mkpath(unfinishedRunsFolder());
    runLock = lockRun(unfinishedRecordPath);
    if (!runLock)
        statusBar()->showMessage(QStringLiteral("This run cannot be locked (%1): another program may offer it "
                                                "for saving while it goes on.")
                                     .arg(unfinishedRecordPath + QStringLiteral(".lock")));
}

void MainWindow::recordRequest(const QString &kind, qint32 frequency, qint64 requestedMs)
{
    if (unfinishedRecordPath.isEmpty())
        return;
    SessionRecord::Request request;
    request.kind = kind;
    request.frequency = frequency;
    request.requestedMs = requestedMs;
    if (playPosition < playOrder.size())
        request.scheduledMs = requestedMs + pauseMs();
    sessionRecord.requests.append(request);
    sessionRecord.matches = trendFrequency;
    syncBlock();
    keepUnfinishedRecord();
}

void MainWindow::noteSoundPlayed(qint64 firstNs, qint64 endNs)
{
    if (unfinishedRecordPath.isEmpty() || sessionRecord.requests.isEmpty())
        return;
    SessionRecord::Request &request = sessionRecord.requests.last();
    // The run clock and the stream share the monotonic clock.
    const qint64 originNs = runClock.msecsSinceReference() * 1000000;
    request.startedMs = (firstNs - originNs) / 1000000;
    request.endedMs = (endNs - originNs) / 1000000;
    request.outputLatencyMs = outputStream->latencyMs();
    keepUnfinishedRecord();
}

void MainWindow::noteOutputError(QAudio::Error error)
{
    if (unfinishedRecordPath.isEmpty() || sessionRecord.requests.isEmpty())
        return;
    sessionRecord.requests.last().error = outputErrorText(error);
    keepUnfinishedRecord();
}

void MainWindow::keepUnfinishedRecord()
{
    const QString path = unfinishedRecordPath;
    const QByteArray bytes = QJsonDocument(sessionRecord.toJson()).toJson();
    recordWriter.start([this, path, bytes] {
        QString error;
        if (writeFileSafely(path, bytes, &error))
            return;
        QMetaObject::invokeMethod(
            this,
            [this, error] {
                statusBar()->showMessage(QStringLiteral("This run cannot be kept on disk as it goes (%1): if the "
                                                        "program stops before Done, it is lost.")
                                             .arg(error));
            },
            Qt::QueuedConnection);
    });
}

void MainWindow::endRun()
{
    recordWriter.waitForDone();
    if (!unfinishedRecordPath.isEmpty())
        QFile::remove(unfinishedRecordPath);
    runLock.reset();
    unfinishedRecordPath.clear();
    runClock.invalidate();
    sessionRecord = SessionRecord();
}
