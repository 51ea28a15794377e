#include "app/MainWindow.h"

#include "app/ResultsFile.h"
#include "subject/SubjectWindow.h"

#include <QAudioDeviceInfo>
#include <QAudioOutput>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
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
}

void MainWindow::updateMainwindow(qint32 response, qint32 frequency)
{
    const qint64 requestedMs = runClock.isValid() ? runClock.elapsed() : -1;
    soundIndex = 0;
    switch (response) {
    case 2:
        qDebug().noquote() << QStringLiteral("response: %1").arg(response);
        sinusoidMode = false;
        scheduleNextSound();
        playPosition = 0;
        // After the timer started, so the write does not move the sound.
        recordRequest(QStringLiteral("target"), 0, requestedMs);
        break;
    case 4:
        qDebug().noquote() << QStringLiteral("response: %1").arg(response);
        sinusoidMode = true;
        // The pause runs from the request: building a long tone first would delay tones, and
        // not targets, by the build time (2 ms for a 2 s sound).
        scheduleNextSound();
        parameters.frequencyCurrent = frequency;
        if (!parameters.trials.isEmpty())
            parameters.trials.first().matchedFrequency = frequency;
        buildSinusoid();
        updateTrendChart();
        playPosition = 0;
        recordRequest(QStringLiteral("sinusoid"), frequency, requestedMs);
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
        const int pauseMs = static_cast<int>((parameters.soundDuration + parameters.silentInterval) * 1000.0);
        soundTimer->start(pauseMs);
        // The kernel lets a long wait of the event loop oversleep by 0.1 % of its timeout (0.75 ms
        // of 750 ms, 2.5 ms of 2.5 s), and by a varying part of it under load. An empty wake-up
        // shortly before the sound leaves only a short last wait, whose oversleep is negligible.
        const int lead = qMax(20, pauseMs / 100);
        if (pauseMs > lead)
            QTimer::singleShot(pauseMs - lead, Qt::PreciseTimer, this, [] {});
    }
    ++playPosition;
}

void MainWindow::refreshMainWindow()
{
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
    record.target = describeTarget(currentTargetPath, wavFile, targetSignal, parameters.sampleCount,
                                   parameters.samplingRate);
    record.hasTrial = !parameters.trials.isEmpty();
    record.trialFileName = record.hasTrial ? parameters.trials.first().fileName : QString();
    return record;
}

void MainWindow::beginRun()
{
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
    if (soundTimer->isActive())
        request.scheduledMs = requestedMs + soundTimer->interval();
    sessionRecord.requests.append(request);
    sessionRecord.matches = trendFrequency;
    keepUnfinishedRecord();
}

void MainWindow::noteOutputState(QAudio::State audioState)
{
    if (unfinishedRecordPath.isEmpty() || sessionRecord.requests.isEmpty())
        return;
    SessionRecord::Request &request = sessionRecord.requests.last();
    const qint64 now = runClock.elapsed();
    if (audioState == QAudio::ActiveState && request.startedMs < 0)
        request.startedMs = now;
    if ((audioState == QAudio::IdleState || audioState == QAudio::StoppedState) && request.endedMs < 0) {
        request.endedMs = now;
        // Idle reports the end of the bytes as an underrun: only a stop carries a real error.
        if (audioState == QAudio::StoppedState)
            request.error = outputErrorText(audioOutput->error());
    }
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
