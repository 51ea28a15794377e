#ifndef SINKRECORDER_H
#define SINKRECORDER_H

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>
#include <QVector>

class SinkReader;

// Records what the test sound server's null sink plays, sample by sample: a parec child process
// reads the sink's monitor ($TONVARA_TEST_SINK.monitor) as mono float32le at 40000 Hz with a
// 10 ms latency. The process is read on a thread of its own, so the capture keeps pace with the
// server even while the test's thread is busy (a slow reader would let the server queue seconds
// of backlog, and a mark would no longer mean "now"). Capture index k is the k-th sample the
// monitor gave since start().
//
// The test's thread sees the capture as of its last mark(), waitForSamples() or waitForOnset();
// sampleCount(), samples(), findOnset() and isSilent() work on that copy.
//
// Typical use: m = mark(); trigger a sound; onset = waitForOnset(stimulus, m).
// There is no silent fallback: without the variable or without parec, start() fails and
// errorString() says why, so a test that needs the capture fails rather than skips.
class SinkRecorder : public QObject
{
    Q_OBJECT
public:
    static constexpr int sampleRate = 40000;

    explicit SinkRecorder(QObject *parent = nullptr);
    ~SinkRecorder() override;

    // Starts parec and waits until its first samples have arrived, so that the capture is live
    // when it returns true. False (with errorString()) when the sink is not named in the
    // environment, parec cannot start, exits, or delivers nothing within timeoutMs.
    bool start(int timeoutMs = 5000);
    QString errorString() const { return error; }

    // Takes in every sample received so far and returns their number: the capture index at
    // which anything that starts playing now can appear at the earliest.
    qint64 mark();
    qint64 sampleCount() const { return captured.size(); }
    const QVector<float> &samples() const { return captured; }

    // Runs the event loop until at least count samples after capture index from are in (true),
    // or until timeoutMs passes or parec ends (false, with errorString()).
    bool waitForSamples(qint64 from, qint64 count, int timeoutMs = 10000);

    // Runs the event loop until findOnset(stimulus, from) finds the stimulus whole, and returns
    // its onset; -1 (with errorString()) after timeoutMs or when parec ends.
    qint64 waitForOnset(const QVector<float> &stimulus, qint64 from, int timeoutMs = 5000);

    // Capture index of the first place at or after from where the whole stimulus appears bit for
    // bit (the float bit patterns compared with memcmp, so 0.0 and -0.0 differ); -1 if nowhere.
    // The search anchors on the stimulus's first sample whose bits are not all zero (silence is
    // +0.0), so a stimulus that starts with zeros is found by its first sound and then checked
    // whole, leading zeros included. An empty or all-zero stimulus cannot be located: -1.
    qint64 findOnset(const QVector<float> &stimulus, qint64 from = 0) const;
    static qint64 findOnset(const QVector<float> &capture, const QVector<float> &stimulus, qint64 from);

    // Why findOnset found nothing, for a failure message: where the best partial match starts,
    // how many samples it matched and the first pair of differing bit patterns.
    QString describeMiss(const QVector<float> &stimulus, qint64 from = 0) const;

    // True when every sample in [begin, end) of the capture is +0.0, bit for bit; false when
    // part of the range is not captured (yet).
    bool isSilent(qint64 begin, qint64 end) const;

signals:
    // Queued from the reader's thread whenever new samples are waiting to be taken in.
    void samplesArrived();

private:
    friend class SinkReader;

    // Moves what the reader delivered into captured; false once parec has ended.
    bool takeIn();

    QThread thread;
    SinkReader *reader;
    QVector<float> captured;
    QString error;

    // Shared with the reader's thread.
    QMutex mutex;
    QVector<float> incoming;
    bool ended = false;
    QString endReason;
};

#endif
