#include "support/SinkRecorder.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutexLocker>
#include <QProcess>
#include <QTimer>
#include <QtEndian>
#include <cstring>

// Lives on the recorder's thread: owns parec and hands every complete float to the recorder.
class SinkReader : public QObject
{
    Q_OBJECT
public:
    explicit SinkReader(SinkRecorder *recorder)
        : recorder(recorder)
    {
    }

public slots:
    // Empty result: parec runs.
    QString start(const QStringList &arguments, int timeoutMs)
    {
        process = new QProcess(this);
        process->setProcessChannelMode(QProcess::SeparateChannels);
        connect(process, SIGNAL(readyReadStandardOutput()), this, SLOT(readAvailable()));
        connect(process, SIGNAL(finished(int, QProcess::ExitStatus)), this, SLOT(processEnded()));
        process->start(QStringLiteral("parec"), arguments);
        if (!process->waitForStarted(timeoutMs))
            return QStringLiteral("parec did not start: %1").arg(process->errorString());
        return QString();
    }

    // The process goes on this thread, where its notifiers live.
    void stop()
    {
        if (!process)
            return;
        process->disconnect(this);
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(2000)) {
                process->kill();
                process->waitForFinished(2000);
            }
        }
        delete process;
        process = nullptr;
    }

private slots:
    void readAvailable()
    {
        partial.append(process->readAllStandardOutput());
        const int count = partial.size() / 4;
        if (count == 0)
            return;
        {
            QMutexLocker lock(&recorder->mutex);
            const int old = recorder->incoming.size();
            recorder->incoming.resize(old + count);
            for (int i = 0; i < count; ++i)
                recorder->incoming[old + i] = qFromLittleEndian<float>(partial.constData() + 4 * i);
        }
        partial.remove(0, count * 4);
        emit recorder->samplesArrived();
    }

    void processEnded()
    {
        readAvailable();
        {
            QMutexLocker lock(&recorder->mutex);
            recorder->ended = true;
            recorder->endReason = QStringLiteral("parec ended (exit code %1): %2")
                                      .arg(process->exitCode())
                                      .arg(QString::fromLocal8Bit(process->readAllStandardError()).trimmed());
        }
        emit recorder->samplesArrived();
    }

private:
    SinkRecorder *recorder;
    QProcess *process = nullptr;
    QByteArray partial; // bytes of a float that is not complete yet
};

namespace {

quint32 bitsOf(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Index of the first sample that is not +0.0, or -1.
int anchorIndex(const QVector<float> &stimulus)
{
    for (int i = 0; i < stimulus.size(); ++i)
        if (bitsOf(stimulus[i]) != 0)
            return i;
    return -1;
}

QString describeSample(float value)
{
    return QStringLiteral("0x%1 (%2)").arg(bitsOf(value), 8, 16, QLatin1Char('0')).arg(double(value), 0, 'g', 9);
}

} // namespace

SinkRecorder::SinkRecorder(QObject *parent)
    : QObject(parent)
    , reader(new SinkReader(this))
{
    reader->moveToThread(&thread);
    thread.start();
}

SinkRecorder::~SinkRecorder()
{
    QMetaObject::invokeMethod(reader, "stop", Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    delete reader;
}

bool SinkRecorder::start(int timeoutMs)
{
    const QString sink = qEnvironmentVariable("TONVARA_TEST_SINK");
    if (sink.isEmpty()) {
        error = QStringLiteral("TONVARA_TEST_SINK is not set: run the tests with scripts/audio-server run -- ...");
        return false;
    }
    const QStringList arguments = {QStringLiteral("--device=%1.monitor").arg(sink),
                                   QStringLiteral("--format=float32le"),
                                   QStringLiteral("--rate=%1").arg(sampleRate),
                                   QStringLiteral("--channels=1"),
                                   QStringLiteral("--raw"),
                                   QStringLiteral("--latency-msec=10")};
    QString failure;
    QMetaObject::invokeMethod(reader, "start", Qt::BlockingQueuedConnection, Q_RETURN_ARG(QString, failure),
                              Q_ARG(QStringList, arguments), Q_ARG(int, timeoutMs));
    if (!failure.isEmpty()) {
        error = failure;
        return false;
    }
    return waitForSamples(0, 1, timeoutMs);
}

bool SinkRecorder::takeIn()
{
    QMutexLocker lock(&mutex);
    captured += incoming;
    incoming.clear();
    if (ended)
        error = endReason;
    return !ended;
}

qint64 SinkRecorder::mark()
{
    takeIn();
    return captured.size();
}

bool SinkRecorder::waitForSamples(qint64 from, qint64 count, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, SIGNAL(timeout()), &loop, SLOT(quit()));
    connect(this, SIGNAL(samplesArrived()), &loop, SLOT(quit()));
    for (;;) {
        const bool running = takeIn();
        if (captured.size() >= from + count)
            return true;
        if (!running)
            return false;
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0) {
            error = QStringLiteral("waited %1 ms for %2 samples after capture index %3; %4 are in")
                        .arg(timeoutMs)
                        .arg(count)
                        .arg(from)
                        .arg(captured.size() - from);
            return false;
        }
        timer.start(int(left));
        loop.exec();
    }
}

qint64 SinkRecorder::waitForOnset(const QVector<float> &stimulus, qint64 from, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        takeIn();
        const qint64 onset = findOnset(stimulus, from);
        if (onset >= 0)
            return onset;
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0) {
            error = QStringLiteral("the stimulus did not appear within %1 ms: %2").arg(timeoutMs).arg(describeMiss(stimulus, from));
            return -1;
        }
        // One more chunk of the monitor may complete it.
        if (!waitForSamples(captured.size(), 1, int(left)))
            return -1;
    }
}

qint64 SinkRecorder::findOnset(const QVector<float> &stimulus, qint64 from) const
{
    return findOnset(captured, stimulus, from);
}

qint64 SinkRecorder::findOnset(const QVector<float> &capture, const QVector<float> &stimulus, qint64 from)
{
    const int anchor = anchorIndex(stimulus);
    if (anchor < 0)
        return -1;
    const quint32 anchorBits = bitsOf(stimulus[anchor]);
    const qint64 length = stimulus.size();
    const qint64 first = qMax<qint64>(from, 0) + anchor;
    for (qint64 p = first; p - anchor + length <= capture.size(); ++p) {
        if (bitsOf(capture[p]) != anchorBits)
            continue;
        const qint64 onset = p - anchor;
        if (std::memcmp(capture.constData() + onset, stimulus.constData(), size_t(length) * sizeof(float)) == 0)
            return onset;
    }
    return -1;
}

QString SinkRecorder::describeMiss(const QVector<float> &stimulus, qint64 from) const
{
    const int anchor = anchorIndex(stimulus);
    if (anchor < 0)
        return QStringLiteral("the stimulus is empty or silent and cannot be located");
    from = qMax<qint64>(from, 0);
    const quint32 anchorBits = bitsOf(stimulus[anchor]);
    const qint64 length = stimulus.size();
    qint64 bestOnset = -1;
    qint64 bestMatched = -1;
    for (qint64 p = from + anchor; p < captured.size(); ++p) {
        if (bitsOf(captured[p]) != anchorBits)
            continue;
        const qint64 onset = p - anchor;
        qint64 matched = 0;
        while (matched < length && onset + matched < captured.size()
               && bitsOf(captured[onset + matched]) == bitsOf(stimulus[matched]))
            ++matched;
        if (matched > bestMatched) {
            bestMatched = matched;
            bestOnset = onset;
        }
    }
    qint64 nonzero = 0;
    for (qint64 i = from; i < captured.size(); ++i)
        nonzero += bitsOf(captured[i]) != 0;
    const QString capture = QStringLiteral("the capture holds %1 samples from index %2, %3 of them not silent")
                                .arg(captured.size() - from)
                                .arg(from)
                                .arg(nonzero);
    if (bestOnset < 0)
        return QStringLiteral("stimulus sample %1 = %2 never occurs; %3")
            .arg(anchor)
            .arg(describeSample(stimulus[anchor]), capture);
    if (bestOnset + bestMatched >= captured.size())
        return QStringLiteral("best candidate at %1 matches %2 of %3 samples, then the capture ends; %4")
            .arg(bestOnset)
            .arg(bestMatched)
            .arg(length)
            .arg(capture);
    return QStringLiteral("best candidate at %1 matches %2 of %3 samples; sample %2: captured %4, expected %5; %6")
        .arg(bestOnset)
        .arg(bestMatched)
        .arg(length)
        .arg(describeSample(captured[bestOnset + bestMatched]), describeSample(stimulus[int(bestMatched)]), capture);
}

bool SinkRecorder::isSilent(qint64 begin, qint64 end) const
{
    if (begin < 0 || end > captured.size())
        return false;
    for (qint64 i = begin; i < end; ++i)
        if (bitsOf(captured[i]) != 0)
            return false;
    return true;
}

#include "SinkRecorder.moc"
