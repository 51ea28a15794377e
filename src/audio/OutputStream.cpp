#include "audio/OutputStream.h"

#include <QAudioOutput>
#include <QTimer>

namespace {
// The server renders in blocks, and its own latency is not known here: the last sample has surely
// been played this long after its place in the stream. PipeWire's graph plays a sample up to two
// of its cycles after the stream's place (74 ms measured), and a cycle runs up to 2048 frames at
// 48 kHz (43 ms) when no other stream asks for less.
const qint64 playedMarginNs = 100000000;

int msUntil(qint64 ns)
{
    return int(std::max<qint64>(0, (ns - StreamDevice::nowNs() + 999999) / 1000000));
}
} // namespace

OutputStream::OutputStream(QObject *parent)
    : QObject(parent)
{
    thread.setObjectName(QStringLiteral("audio output"));
}

OutputStream::~OutputStream()
{
    close();
}

bool OutputStream::open(const QAudioDeviceInfo &deviceInfo, const QAudioFormat &format)
{
    if (output)
        return true;
    Q_ASSERT(format.sampleRate() > 0 && format.channelCount() == 1 && format.sampleSize() == 32);
    lastError = QAudio::NoError;
    thread.start(QThread::TimeCriticalPriority);
    context = new QObject;
    context->moveToThread(&thread);
    bool started = false;
    QMetaObject::invokeMethod(
        context,
        [&] {
            output = new QAudioOutput(deviceInfo, format, context);
            // Deep enough to ride out a busy machine, short against the pause before a sound.
            output->setBufferSize(format.bytesForDuration(250000));
            device = new StreamDevice(format.sampleRate(), context);
            device->open(QIODevice::ReadOnly);
            connect(device, &StreamDevice::placed, context,
                    [this](quint64 sound, qint64 firstNs, qint64 endNs) { announce(sound, firstNs, endNs); });
            connect(output, &QAudioOutput::stateChanged, context, [this](QAudio::State state) {
                if (state != QAudio::StoppedState || output->error() == QAudio::NoError)
                    return;
                lastError = output->error();
                device->cancel();
                emit failed();
            });
            output->start(device);
            started = output->error() == QAudio::NoError && output->state() != QAudio::StoppedState;
            if (!started)
                lastError = output->error() == QAudio::NoError ? QAudio::OpenError : output->error();
        },
        Qt::BlockingQueuedConnection);
    if (!started)
        close();
    return started;
}

void OutputStream::close()
{
    if (!context)
        return;
    QMetaObject::invokeMethod(
        context,
        [this] {
            output->disconnect(context);
            output->stop();
            delete context;
        },
        Qt::BlockingQueuedConnection);
    context = nullptr;
    output = nullptr;
    device = nullptr;
    thread.quit();
    thread.wait();
}

void OutputStream::play(const StreamDevice::Sound &sound, qint64 dueNs)
{
    Q_ASSERT(device);
    device->schedule(sound, dueNs);
}

double OutputStream::latencyMs() const
{
    return device ? device->leadNs() / 1e6 : 0.0;
}

void OutputStream::announce(quint64 sound, qint64 firstNs, qint64 endNs)
{
    QTimer::singleShot(msUntil(firstNs), Qt::PreciseTimer, context, [this, sound, firstNs] {
        if (device->isCurrent(sound))
            emit soundStarted(firstNs);
    });
    QTimer::singleShot(msUntil(endNs + playedMarginNs), Qt::PreciseTimer, context, [this, sound, firstNs, endNs] {
        if (device->isCurrent(sound))
            emit soundFinished(firstNs, endNs);
    });
}
