#ifndef SINKRECORDER_H
#define SINKRECORDER_H

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QVector>
#include <functional>

// Records what the test sound server's null sink plays: parec reads $TONVARA_TEST_SINK.monitor as
// mono float32le at 40000 Hz, 10 ms latency, straight into a file, so the capture keeps pace while
// the test's thread is busy and a mark still means "now". Capture index k is the k-th sample since
// start(); the test sees the capture as of its last mark() or wait. Use: m = mark(); trigger a
// sound; onset = waitForSound(stimulus, m). Without the variable or parec, start() fails.
// A server that converts (any sink rate but 40000 Hz, or PipeWire, whose graph resamples) cannot
// give the samples back bit for bit: there each sound is checked whole instead.
class SinkRecorder
{
public:
    static constexpr int sampleRate = 40000;

    SinkRecorder();
    ~SinkRecorder();

    // True once parec runs and its first samples are in.
    bool start(int timeoutMs = 5000);
    QString errorString() const { return error; }

    // Takes in what arrived; the capture index at which a sound started now can appear first.
    qint64 mark();
    // Runs the event loop until count samples after index from are in; false after timeoutMs or when parec ends.
    bool waitForSamples(qint64 from, qint64 count, int timeoutMs = 10000)
    {
        return waitUntil([&] { return captured.size() >= from + count; }, timeoutMs);
    }
    // Runs the event loop until the whole stimulus appears bit for bit (0.0 and -0.0 differ) at or
    // after index from, and returns where; -1 after timeoutMs, when parec ends, or for a silent
    // stimulus, with the longest partial match and the sample where it breaks off in errorString().
    qint64 waitForOnset(const QVector<float> &stimulus, qint64 from, int timeoutMs = 5000);
    // Where the stimulus stands whole at or after from: bit for bit where the server does not
    // convert; elsewhere its length within 3 samples, no dropout, its first and last 10 ms present,
    // correlating >= 0.999 with it, and when tone is set (Hz) a tone within 0.01 Hz and 0.05 dB
    // of a full-scale one. -1, with the reason in errorString(), when it does not come in time.
    qint64 waitForSound(const QVector<float> &stimulus, qint64 from, double tone = 0, int timeoutMs = 5000);
    // Every sample in [begin, end) is silence (+0.0, or below -60 dBFS where the server converts);
    // false when part of it is not captured yet.
    bool isSilent(qint64 begin, qint64 end) const;
    const bool converts;

    // Where stimulus (its first 10 ms, to within a converting server's error) stands in captured
    // at or after from, once 64 samples more are in; -1 before.
    static qint64 locate(const QVector<float> &captured, const QVector<float> &stimulus, qint64 from);
    // The whole-sound check of waitForSound at onset, for a capture that holds 10 ms after the
    // stimulus; empty when it passes.
    static QString wholeSoundFault(const QVector<float> &captured, const QVector<float> &stimulus, qint64 onset,
                                   double tone);

private:
    // Runs the event loop until done(); false, with the reason in error, when parec ends or after timeoutMs.
    bool waitUntil(const std::function<bool()> &done, int timeoutMs);

    QTemporaryDir folder;
    QFile file; // parec's output, read as it grows
    QProcess parec;
    QVector<float> captured;
    QString error;
};

#endif
