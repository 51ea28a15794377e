#ifndef OUTPUTSTREAM_H
#define OUTPUTSTREAM_H

#include "audio/StreamDevice.h"

#include <QAudio>
#include <QAudioDeviceInfo>
#include <QAudioFormat>
#include <QObject>
#include <QThread>
#include <atomic>

class QAudioOutput;

// The one audio output of a run, open from the first sound to the run's end and fed silence
// between sounds, so no sound waits for a new stream and none is cut when its bytes run out. The
// output, its device and the timers that announce a sound live on a thread of their own: a busy
// GUI thread neither starves the output nor moves an onset. Signals arrive on the owner's thread.
class OutputStream : public QObject
{
    Q_OBJECT
public:
    explicit OutputStream(QObject *parent = nullptr);
    ~OutputStream() override;

    // Starts the output unless it runs; false, with error() set, when it cannot play.
    bool open(const QAudioDeviceInfo &device, const QAudioFormat &format);
    bool isOpen() const { return output != nullptr; }
    // Stops the output at once: nothing queued sounds afterwards and no signal follows.
    void close();

    // The sound's first sample is to be heard at dueNs (StreamDevice::nowNs()); it replaces any
    // sound still to come. Needs an open stream.
    void play(const StreamDevice::Sound &sound, qint64 dueNs);

    QAudio::Error error() const { return lastError.load(); }
    // How long a frame written now waits before it is heard, in ms; 0 before the first read.
    double latencyMs() const;

signals:
    // The sound's first sample is heard now, at firstNs.
    void soundStarted(qint64 firstNs);
    // The last sample was heard by endNs (now); first and end as StreamDevice places them.
    void soundFinished(qint64 firstNs, qint64 endNs);
    // The output stopped with error() set: the stream is closed, close() it before reopening.
    void failed();

private:
    void announce(quint64 sound, qint64 firstNs, qint64 endNs);

    QThread thread;
    QObject *context = nullptr;     // lives on thread; parent of what follows
    QAudioOutput *output = nullptr;
    StreamDevice *device = nullptr;
    std::atomic<QAudio::Error> lastError{QAudio::NoError};
};

#endif
