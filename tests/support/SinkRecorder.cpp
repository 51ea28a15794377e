#include "support/SinkRecorder.h"

#include <QDeadlineTimer>
#include <QTest>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <complex>
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

SinkRecorder::SinkRecorder()
    : converts(qEnvironmentVariable("TONVARA_AUDIO_SERVER") != "pulseaudio"
               || qEnvironmentVariableIntValue("TONVARA_SINK_RATE") != sampleRate)
{
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
    const auto silent = [this](float value) { return converts ? std::abs(value) < 1e-3f : bitsOf(value) == 0; };
    return begin >= 0 && end <= captured.size() && std::all_of(captured.begin() + begin, captured.begin() + end, silent);
}

qint64 SinkRecorder::waitForSound(const QVector<float> &stimulus, qint64 from, double tone, int timeoutMs)
{
    if (!converts)
        return waitForOnset(stimulus, from, timeoutMs);
    qint64 onset = -1;
    const auto whole = [&] {
        onset = onset < 0 ? locate(captured, stimulus, from) : onset;
        return onset >= 0 && captured.size() >= onset + stimulus.size() + 400;
    };
    if (!waitUntil(whole, timeoutMs)) {
        error += onset < 0 ? QString(": its first 10 ms are nowhere") : QString(": it began at %1").arg(onset);
        return -1;
    }
    error = wholeSoundFault(captured, stimulus, onset, tone);
    return error.isEmpty() ? onset : -1;
}

qint64 SinkRecorder::locate(const QVector<float> &captured, const QVector<float> &stimulus, qint64 from)
{
    const int head = qMin(400, int(stimulus.size()));
    double headEnergy = 0;
    for (int i = 0; i < head; ++i)
        headEnergy += double(stimulus[i]) * stimulus[i];
    const auto misfit = [&](qint64 at) {
        double sum = 0;
        for (int i = 0; i < head && sum <= 0.1 * headEnergy; ++i)
            sum += std::pow(double(captured[int(at + i)]) - stimulus[i], 2);
        return sum;
    };
    for (qint64 next = qMax<qint64>(from, 0); next + head + 64 <= captured.size(); ++next) {
        if (misfit(next) > 0.1 * headEnergy)
            continue;
        // A tone fits as well a period early or late: the onset is the best fit with silence before it.
        const auto fit = [&](qint64 at) {
            double before = 0;
            for (qint64 i = qMax<qint64>(0, at - 64); i < at; ++i)
                before += double(captured[int(i)]) * captured[int(i)];
            return misfit(at) + before;
        };
        qint64 onset = next;
        for (qint64 at = next + 1; at <= next + 64; ++at)
            onset = fit(at) < fit(onset) ? at : onset;
        return onset;
    }
    return -1;
}

QString SinkRecorder::wholeSoundFault(const QVector<float> &captured, const QVector<float> &stimulus, qint64 onset,
                                      double tone)
{
    const int n = stimulus.size();
    const auto at = [&](qint64 i) { return double(captured[int(onset + i)]); };
    // Dropouts, the first and last 10 ms included: 1 ms blocks far from the stimulus.
    for (int begin = 0; begin < n; begin += 40) {
        double want = 0, miss = 0;
        for (int i = begin; i < qMin(n, begin + 40); ++i) {
            want += double(stimulus[i]) * stimulus[i];
            miss += std::pow(at(i) - stimulus[i], 2);
        }
        if (want > 1e-6 * 40 && miss > 0.25 * want)
            return QString("a dropout at sample %1 of %2 (onset %3)").arg(begin).arg(n).arg(onset);
    }
    // Length: from the first to the last sample above -26 dBFS, in the capture and the stimulus.
    const auto span = [](auto value, qint64 begin, qint64 end) {
        qint64 first = -1, last = -1;
        for (qint64 i = begin; i < end; ++i)
            if (std::abs(value(i)) > 0.05) {
                first = first < 0 ? i : first;
                last = i;
            }
        return last - first + 1;
    };
    const qint64 heard = span(at, -qMin<qint64>(onset, 200), n + 200);
    const qint64 given = span([&](qint64 i) { return double(stimulus[int(i)]); }, 0, n);
    if (std::abs(heard - given) > 3)
        return QString("%1 samples heard of %2").arg(heard).arg(given);
    // Correlation at the best lag, between whole samples by a parabola.
    double r[3];
    for (int k = 0; k < 3; ++k) {
        double cs = 0, cc = 0, ss = 0;
        for (int i = 0; i < n; ++i) {
            const double c = at(i + k - 1);
            cs += c * stimulus[i];
            cc += c * c;
            ss += double(stimulus[i]) * stimulus[i];
        }
        r[k] = cs / std::sqrt(cc * ss);
    }
    const double bend = r[0] - 2 * r[1] + r[2];
    const double peak = bend < 0 ? r[1] - std::pow(r[2] - r[0], 2) / (8 * bend) : r[1];
    if (peak < 0.999)
        return QString("it correlates %1 with the stimulus").arg(peak, 0, 'f', 5);
    if (tone <= 0)
        return QString();
    // The tone's phase drift between its halves gives its frequency; its magnitude the level.
    const int half = n / 2;
    std::complex<double> z[2];
    for (int i = 0; i < 2 * half; ++i)
        z[i / half] += at(i) * std::polar(1.0, -2 * M_PI * tone * i / sampleRate);
    const double hz = tone + std::arg(z[1] / z[0]) * sampleRate / (2 * M_PI * half);
    const double db = 20 * std::log10(std::abs(z[0] + z[1]) * 2 / (2 * half));
    if (std::abs(hz - tone) > 0.01 || std::abs(db) > 0.05)
        return QString("a tone of %1 Hz at %2 dB where %3 Hz at 0 dB was played").arg(hz, 0, 'f', 4).arg(db, 0, 'f', 3).arg(tone);
    return QString();
}
