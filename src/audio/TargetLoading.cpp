#include "analysis/Spectrum.h"
#include "app/MainWindow.h"
#include "audio/TargetSound.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QThread>

#include <memory>
#include <new>

namespace {

// Everything heavy about a target: reading, conversion and the spectrum. Built on a worker
// thread from plain values, it touches no window state. Of the file only its header and facts
// are kept, of the spectrum only the bins shown and the range of all.
struct PreparedTarget
{
    PreparedTarget(const QString &path, double samplingRate, double maxFrequency)
        : file(read(path)), target(file, samplingRate)
    {
        file.releaseSamples();
        if (!target.isUsable())
            return;
        fftLength = SessionParameters::fftLengthFor(target.sampleCount());
        signal = target.takeSignal();
        const int shown = SessionParameters::spectrumBinCountFor(fftLength, samplingRate, maxFrequency);
        spectrum = amplitudeSpectrumPart(signal, signal.size(), fftLength, samplingRate, shown);
    }

    static WavFile read(const QString &path)
    {
        WavFile file;
        file.readWavFile(path.toUtf8(), WavFile::Channels::First);
        return file;
    }

    WavFile file;
    TargetSound target;
    QVector<double> signal;
    int fftLength = 0;
    SpectrumPart spectrum;
};

// Prepares the target on a thread of its own. The window keeps repainting meanwhile, but takes
// no user input, so nothing can start while the target is half-prepared.
std::unique_ptr<PreparedTarget> prepareOffGuiThread(const QString &path, double samplingRate, double maxFrequency)
{
    std::unique_ptr<PreparedTarget> prepared;
    QThread *worker = QThread::create([&] {
        // An exception must not leave the thread; no result then means no memory for the target.
        try {
            prepared = std::make_unique<PreparedTarget>(path, samplingRate, maxFrequency);
        } catch (const std::bad_alloc &) {
            prepared.reset();
        }
    });
    QEventLoop loop;
    QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    worker->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker->wait();
    delete worker;
    QApplication::restoreOverrideCursor();
    return prepared;
}

} // namespace

bool MainWindow::loadTargetSound()
{
    if (playPosition < 0 || playPosition >= playOrder.size()
        || playOrder[playPosition] < 0 || playOrder[playPosition] >= parameters.trials.size()) {
        targetLoadError = QStringLiteral("No target is chosen for this presentation.");
        return false;
    }
    const int chosen = playOrder[playPosition];
    const TrialRecord &record = parameters.trials[chosen];
    const QString path = record.filePath + QStringLiteral("/") + record.fileName;

    // Nothing of the session changes until the file has proved usable.
    const std::unique_ptr<PreparedTarget> prepared = prepareOffGuiThread(path, parameters.samplingRate, parameters.maxFrequency);
    if (!prepared) {
        targetLoadError = QStringLiteral("Not enough memory to prepare the target: ") + path;
        return false;
    }
    const TargetSound &target = prepared->target;
    if (!target.isUsable()) {
        targetLoadError = target.problemText();
        return false;
    }
    targetLoadError.clear();

    currentTarget = chosen;
    parameters.wavFilePath = record.filePath;
    parameters.wavFileName = record.fileName;
    currentTargetPath = path;
    wavFile = std::move(prepared->file);
    targetDescription = target.description();

    parameters.sampleCount = target.sampleCount();
    parameters.soundDuration = target.durationSeconds();
    lineEditSoundDuration->setText(QString::number(parameters.soundDuration * 1000.0, 'f', 2));
    clampDisplayDuration();
    sizeSpectrum();

    targetSignal = prepared->signal;
    loadedSignal = prepared->signal;
    loadedFftLength = prepared->fftLength;
    loadedSamplingRate = parameters.samplingRate;
    loadedSpectrum = prepared->spectrum;

    waveformTime.resize(parameters.displaySampleCount);
    for (int i = 0; i < parameters.displaySampleCount; ++i)
        waveformTime[i] = (i / parameters.samplingRate) * 1000.0;
    return true;
}

