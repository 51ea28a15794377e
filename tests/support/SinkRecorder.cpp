#include "support/SinkRecorder.h"

#include <QElapsedTimer>
#include <QTest>
#include <QtEndian>
#include <cstring>

namespace {

quint32 bitsOf(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The first sample that is not +0.0, or -1: silence cannot locate a stimulus.
int anchorOf(const QVector<float> &stimulus)
{
    for (int i = 0; i < stimulus.size(); ++i)
        if (bitsOf(stimulus[i]) != 0)
            return i;
    return -1;
}

QString describe(float value)
{
    return QString("0x%1 (%2)").arg(bitsOf(value), 8, 16, QLatin1Char('0')).arg(double(value), 0, 'g', 9);
}

} // namespace

SinkRecorder::~SinkRecorder()
{
    if (parec.state() != QProcess::NotRunning) {
        parec.kill();
        parec.waitForFinished(2000);
    }
}

bool SinkRecorder::start(int timeoutMs)
{
    const QString sink = qEnvironmentVariable("TONVARA_TEST_SINK");
    if (sink.isEmpty()) {
        error = "TONVARA_TEST_SINK is not set: run the tests with scripts/audio-server run -- ...";
        return false;
    }
    file.setFileName(folder.filePath("capture.raw"));
    parec.setStandardOutputFile(file.fileName());
    parec.start("parec", {"--device=" + sink + ".monitor", "--format=float32le", QString("--rate=%1").arg(sampleRate),
                          "--channels=1", "--raw", "--latency-msec=10"});
    if (!folder.isValid() || !parec.waitForStarted(5000) || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        error = "parec did not start: " + parec.errorString();
        return false;
    }
    return waitForSamples(0, 1, timeoutMs);
}

qint64 SinkRecorder::mark()
{
    partial += file.readAll();
    const int count = partial.size() / 4;
    for (int i = 0; i < count; ++i)
        captured << qFromLittleEndian<float>(partial.constData() + 4 * i);
    partial.remove(0, 4 * count);
    if (count > 0)
        emit samplesArrived();
    return captured.size();
}

bool SinkRecorder::waitUntil(const std::function<bool()> &done, int timeoutMs, const std::function<QString()> &late)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        mark();
        if (done())
            return true;
        if (parec.state() == QProcess::NotRunning) {
            error = QString("parec ended (exit code %1): %2").arg(parec.exitCode())
                        .arg(QString::fromLocal8Bit(parec.readAllStandardError()).trimmed());
            return false;
        }
        if (clock.elapsed() >= timeoutMs) {
            error = late();
            return false;
        }
        QTest::qWait(1);
    }
}

bool SinkRecorder::waitForSamples(qint64 from, qint64 count, int timeoutMs)
{
    return waitUntil([&] { return captured.size() >= from + count; }, timeoutMs, [&] {
        return QString("waited %1 ms for %2 samples after capture index %3; %4 are in")
            .arg(timeoutMs).arg(count).arg(from).arg(captured.size() - from);
    });
}

qint64 SinkRecorder::waitForOnset(const QVector<float> &stimulus, qint64 from, int timeoutMs)
{
    qint64 onset = -1;
    waitUntil([&] { return (onset = findOnset(stimulus, from)) >= 0; }, timeoutMs, [&] {
        return QString("the stimulus did not appear within %1 ms: %2").arg(timeoutMs).arg(describeMiss(stimulus, from));
    });
    return onset;
}

// The length of the match of stimulus with the capture from onset on.
static qint64 matchLength(const QVector<float> &captured, const QVector<float> &stimulus, qint64 onset)
{
    qint64 matched = 0;
    while (matched < stimulus.size() && onset + matched < captured.size()
           && bitsOf(captured[onset + matched]) == bitsOf(stimulus[int(matched)]))
        ++matched;
    return matched;
}

qint64 SinkRecorder::findOnset(const QVector<float> &stimulus, qint64 from) const
{
    const int anchor = anchorOf(stimulus);
    for (qint64 p = qMax<qint64>(from, 0) + anchor; anchor >= 0 && p - anchor + stimulus.size() <= captured.size(); ++p)
        if (bitsOf(captured[p]) == bitsOf(stimulus[anchor]) && matchLength(captured, stimulus, p - anchor) == stimulus.size())
            return p - anchor;
    return -1;
}

QString SinkRecorder::describeMiss(const QVector<float> &stimulus, qint64 from) const
{
    const int anchor = anchorOf(stimulus);
    if (anchor < 0)
        return "the stimulus is empty or silent and cannot be located";
    from = qMax<qint64>(from, 0);
    qint64 bestOnset = -1, bestMatched = -1, loud = 0;
    for (qint64 p = from; p < captured.size(); ++p) {
        loud += bitsOf(captured[p]) != 0;
        const qint64 matched = p < from + anchor || bitsOf(captured[p]) != bitsOf(stimulus[anchor])
                                   ? -1 : matchLength(captured, stimulus, p - anchor);
        if (matched > bestMatched) {
            bestMatched = matched;
            bestOnset = p - anchor;
        }
    }
    const QString capture = QString("the capture holds %1 samples from index %2, %3 of them not silent")
                                .arg(captured.size() - from).arg(from).arg(loud);
    if (bestOnset < 0)
        return QString("stimulus sample %1 = %2 never occurs; %3").arg(anchor).arg(describe(stimulus[anchor]), capture);
    const qint64 end = bestOnset + bestMatched;
    const QString next = bestMatched < stimulus.size() && end < captured.size()
        ? QString("captured %1 where %2 was expected").arg(describe(captured[end]), describe(stimulus[int(bestMatched)]))
        : QString("the capture ends");
    return QString("best candidate at %1 matches %2 of %3 samples, then %4; %5")
        .arg(bestOnset).arg(bestMatched).arg(stimulus.size()).arg(next, capture);
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
