#include "app/MainWindow.h"

#include "subject/SubjectWindow.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QStatusBar>

void MainWindow::createBlockControls()
{
    labelRepetitions = new QLabel(QStringLiteral("Repetitions"));
    spinBoxRepetitions = new QSpinBox;
    spinBoxRepetitions->setRange(1, 99);
    spinBoxRepetitions->setValue(1);
    spinBoxRepetitions->setToolTip(QStringLiteral("How often each chosen target is presented, in random order"));
    checkBoxRandomStart = new QCheckBox(QStringLiteral("Random start frequency"));
    checkBoxRandomStart->setToolTip(
        QStringLiteral("Each sound starts the listener at a random frequency within the range (evenly on a "
                       "logarithmic scale) instead of %1 Hz")
            .arg(parameters.frequencyStart));
    // Practice and Experiment both take the experimenter's choice.
    connect(spinBoxRepetitions, QOverload<int>::of(&QSpinBox::valueChanged), this,
            [this](int value) { practiceRepetitions = experimentRepetitions = value; });
    auto *row = new QHBoxLayout;
    row->addWidget(labelRepetitions);
    row->addWidget(spinBoxRepetitions);
    row->addWidget(checkBoxRandomStart);
    gridLayoutParameters->addLayout(row, gridLayoutParameters->rowCount(), 0, 1, 4);
}

bool MainWindow::prepareBlockTargets()
{
    loadedTargets.clear();
    loadedTargets.resize(targetCount);
    // A later target may fail after earlier ones loaded: the window then shows what it did before.
    const QString shownDuration = lineEditSoundDuration->text();
    block.targetFacts.resize(targetCount);
    const int first = playOrder.value(0);
    // The first presented target last, so that it stays loaded.
    for (int step = 0; step < targetCount; ++step) {
        const int target = step == targetCount - 1 ? first : (step >= first ? step + 1 : step);
        playPosition = int(playOrder.indexOf(target));
        if (!loadTargetSound()) {
            lineEditSoundDuration->setText(shownDuration);
            return false;
        }
        LoadedTarget &kept = loadedTargets[target];
        kept.description = targetDescription;
        kept.signal = targetSignal;
        kept.fftLength = loadedFftLength;
        kept.spectrum = loadedSpectrum;
        kept.sampleCount = parameters.sampleCount;
        kept.soundDuration = parameters.soundDuration;
        block.targetFacts[target] = describeTarget(currentTargetPath, wavFile, targetSignal, parameters.sampleCount,
                                                   parameters.samplingRate);
    }
    playPosition = 0;
    return true;
}

void MainWindow::useLoadedTarget(int target)
{
    const LoadedTarget &kept = loadedTargets.at(target);
    const TrialRecord &record = parameters.trials.at(target);
    currentTarget = target;
    parameters.wavFilePath = record.filePath;
    parameters.wavFileName = record.fileName;
    currentTargetPath = record.filePath + QStringLiteral("/") + record.fileName;
    // The file's facts were taken at preparation (block.targetFacts); its bytes are not kept twice.
    wavFile = WavFile();
    targetDescription = kept.description;
    parameters.sampleCount = kept.sampleCount;
    parameters.soundDuration = kept.soundDuration;
    lineEditSoundDuration->setText(QString::number(parameters.soundDuration * 1000.0, 'f', 2));
    clampDisplayDuration();
    sizeSpectrum();
    // Shared with loadedSignal, so the spectrum is taken as computed, not transformed again.
    targetSignal = kept.signal;
    loadedSignal = kept.signal;
    loadedFftLength = kept.fftLength;
    loadedSamplingRate = parameters.samplingRate;
    loadedSpectrum = kept.spectrum;
    waveformTime.resize(parameters.displaySampleCount);
    for (int i = 0; i < parameters.displaySampleCount; ++i)
        waveformTime[i] = (i / parameters.samplingRate) * 1000.0;
}

void MainWindow::startBlock()
{
    block.presentations.clear();
    if (block.order.isEmpty())
        return; // no session was prepared: a run without a block, as before blocks existed
    block.beginNext(0);
    connect(subjectWindow, &SubjectWindow::listenerReady, this, [this] {
        if (!block.presentations.isEmpty() && runClock.isValid())
            block.presentations.last().readyMs = runClock.elapsed();
    });
    connect(subjectWindow, &SubjectWindow::presentationDone, this, &MainWindow::finishPresentation);
    subjectWindow->startPresentation(1, block.count());
    if (!block.isSingle())
        statusBar()->showMessage(QStringLiteral("Sound 1 of %1. ").arg(block.count()) + statusBar()->currentMessage());
    syncBlock();
    keepUnfinishedRecord();
}

void MainWindow::finishPresentation()
{
    if (block.presentations.isEmpty())
        return;
    Block::Presentation &done = block.presentations.last();
    done.doneMs = runClock.isValid() ? runClock.elapsed() : -1;
    done.finished = true;
    syncBlock();
    const int next = int(block.presentations.size());
    if (next >= block.count())
        return; // the last one: the window closes and the block is saved
    block.beginNext(int(sessionRecord.requests.size()));
    useLoadedTarget(block.order[next]);
    parameters.frequencyCurrent = block.startFrequencies[next];
    sessionRecord.target = block.targetFacts.value(currentTarget);
    sessionRecord.trialFileName = parameters.trials.at(currentTarget).fileName;
    sessionRecord.matches.clear();
    emit transferParameters(parameters.frequencyMin, parameters.frequencyMax, parameters.frequencyCurrent,
                            parameters.frequencyStepSize);
    subjectWindow->startPresentation(next + 1, block.count());
    resetTrendChart();
    // Drawing the target takes the GUI thread tens of milliseconds: the listener's window is
    // painted, and can be pressed, before it.
    QMetaObject::invokeMethod(
        this,
        [this] {
            plotWaveform();
            computeAmplitudeSpectrum();
            plotSpectrum();
        },
        Qt::QueuedConnection);
    showSoundFileInfo();
    lineEditFrequencyMatched->setText(QStringLiteral("not started yet"));
    statusBar()->showMessage(QStringLiteral("Sound %1 of %2. ").arg(next + 1).arg(block.count()) + statusBar()->currentMessage());
    readParameters(); // as Go does for the first
    syncBlock();
    keepUnfinishedRecord();
}

void MainWindow::syncBlock()
{
    if (block.presentations.isEmpty())
        return;
    Block::Presentation &current = block.presentations.last();
    current.matches = trendFrequency;
    current.requests = sessionRecord.requests.mid(current.firstRequest);
    sessionRecord.block = block.toJson();
}
