#ifndef STREAMDEVICE_H
#define STREAMDEVICE_H

#include <QIODevice>
#include <QMutex>
#include <QVector>
#include <atomic>
#include <deque>
#include <utility>
#include <vector>

// What a pull-mode audio output reads for the whole run: mono float32le frames, silence except
// where the one scheduled sound falls. Each frame is placed in time by its position in the stream:
// the server plays frames at its clock's rate from the first read on, so frame F is heard at
// epoch + F / rate. The output reads when its server has room, so the reads' times against the
// frames written before them follow the server's clock (and its drift from the system's); an
// underrun, a frame due before it was written, moves the epoch later.
// schedule() and cancel() may be called from any thread; reads come from the output's thread.
class StreamDevice : public QIODevice
{
    Q_OBJECT
public:
    // count samples: of samples when frequency is 0, otherwise of a full-scale tone made on the fly,
    // sin(2 pi frequency i / rate), the same values sinusoidSamples() gives.
    struct Sound {
        QVector<double> samples;
        double frequency = 0.0;
        int count = 0;
    };

    explicit StreamDevice(int sampleRate, QObject *parent = nullptr);

    // Replaces any sound still to come (one being written plays to its end); its first sample is
    // heard at dueNs on the monotonic clock (steady_clock), or as soon as it can be after that.
    void schedule(const Sound &sound, qint64 dueNs);
    void cancel();
    // False once the sound was replaced or cancelled.
    bool isCurrent(quint64 id);
    // How long a frame written now waits before it is heard, as of the latest read.
    qint64 leadNs() const { return lead.load(); }

    // Fills frames frames as they are written at nowNs; readData calls it with the clock.
    void render(float *out, qint64 frames, qint64 nowNs);

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return (1 << 20) + QIODevice::bytesAvailable(); }

    static qint64 nowNs();

signals:
    // From the reading thread, once per sound, when its place in the stream is fixed: the moment
    // its first sample is heard and the moment its last has been.
    void placed(quint64 sound, qint64 firstNs, qint64 endNs);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    qint64 framesToNs(qint64 frames) const { return frames * 1000000000 / rate; }
    struct Placed {
        Sound sound;
        qint64 first = 0, end = 0; // frames of the stream, [first, end)
    };
    // Writes the part of p that falls in the frames from written on.
    void renderPart(const Placed &p, float *out, qint64 frames) const;

    const int rate;
    qint64 written = 0;  // frames handed to the output so far
    qint64 startNs = -1; // the first read
    qint64 epoch = -1;   // when frame 0 was heard, ns
    qint64 queueNs = 0;  // how long the server holds a frame before it plays it
    // Reads of the last window: (time, time less the time of the frames written before it).
    std::deque<std::pair<qint64, qint64>> recent;
    std::vector<qint64> middle; // their second halves, to find the median
    std::atomic<qint64> lead{0};
    std::vector<float> scratch; // one read's frames

    QMutex mutex;        // guards what follows
    Placed current;
    Placed previous;      // a sound still being written when current was scheduled
    qint64 dueNs = 0;
    quint64 soundId = 0;  // counts the sounds scheduled
    bool waiting = false; // current is scheduled, not placed yet
};

#endif
