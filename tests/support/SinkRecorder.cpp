#include "support/SinkRecorder.h"

#include <QDeadlineTimer>
#include <QTest>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <utility>

static quint32 bitsOf(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The earliest onset at or after from of the longest bit-exact match, and its length. The search
// goes by the first sample that is not +0.0: silence locates nothing, so a silent stimulus gives {-1, 0}.
static std::pair<qint64, qint64> longestMatch(const QVector<float> &captured, const QVector<float> &stimulus, qint64 from)
{
    const auto same = [](float a, float b) { return bitsOf(a) == bitsOf(b); };
    const auto first = std::find_if(stimulus.begin(), stimulus.end(), [](float v) { return bitsOf(v) != 0; });
    const qint64 anchor = first - stimulus.begin();
    std::pair<qint64, qint64> best{-1, 0};
    for (qint64 onset = from; first != stimulus.end() && onset + anchor < captured.size(); ++onset) {
        if (!same(captured[onset + anchor], *first))
            continue;
        const auto last = stimulus.begin() + qMin<qint64>(stimulus.size(), captured.size() - onset);
        const qint64 matched = std::mismatch(stimulus.begin(), last, captured.begin() + onset, same).first - stimulus.begin();
        if (matched > best.second)
            best = {onset, matched};
        if (matched == stimulus.size())
            break;
    }
    return best;
}

SinkRecorder::~SinkRecorder()
{
    parec.kill();
    parec.waitForFinished(2000);
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
    // Whole samples only: parec may be in the middle of writing one.
    const QByteArray bytes = file.read(file.bytesAvailable() / 4 * 4);
    for (int i = 0; i + 4 <= bytes.size(); i += 4)
        captured << qFromLittleEndian<float>(bytes.constData() + i);
    return captured.size();
}

bool SinkRecorder::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        mark();
        if (done())
            return true;
        if (parec.state() == QProcess::NotRunning) {
            error = "parec ended: " + QString::fromLocal8Bit(parec.readAllStandardError()).trimmed();
            return false;
        }
        if (deadline.hasExpired()) {
            error = QString("waited %1 ms; %2 samples are captured").arg(timeoutMs).arg(captured.size());
            return false;
        }
        QTest::qWait(1);
    }
}

qint64 SinkRecorder::waitForOnset(const QVector<float> &stimulus, qint64 from, int timeoutMs)
{
    std::pair<qint64, qint64> best;
    const auto whole = [&] { return (best = longestMatch(captured, stimulus, from)).second == stimulus.size(); };
    if (waitUntil(whole, timeoutMs))
        return best.first;
    const qint64 end = best.first + best.second;
    error += QString(": %1 of %2 stimulus samples match at %3").arg(best.second).arg(stimulus.size()).arg(best.first);
    if (best.first >= 0 && end < captured.size())
        error += QString(", then %1 where %2 was expected").arg(captured[end], 0, 'g', 9).arg(stimulus[int(best.second)], 0, 'g', 9);
    return -1;
}

bool SinkRecorder::isSilent(qint64 begin, qint64 end) const
{
    return begin >= 0 && end <= captured.size()
           && std::all_of(captured.begin() + begin, captured.begin() + end, [](float value) { return bitsOf(value) == 0; });
}
