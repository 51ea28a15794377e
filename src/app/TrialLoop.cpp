#include "app/MainWindow.h"

#include "subject/SubjectWindow.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtDebug>

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
}

void MainWindow::updateMainwindow(qint32 response, qint32 frequency)
{
    soundIndex = 0;
    switch (response) {
    case 2:
        qDebug().noquote() << QStringLiteral("response: %1").arg(response);
        sinusoidMode = false;
        scheduleNextSound();
        playPosition = 0;
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
                           "Do you want to quit and lose them?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    event->accept();
}
