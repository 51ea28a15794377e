#include "audio/StreamDevice.h"

#include "audio/Sinusoid.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {
// Reads of this long ago and less place the stream: enough of them to even out the timer's wake-ups,
// and a sound card's clock drifting 400 ppm from the system's moves the place by 1 ms.
const qint64 windowNs = 5000000000;
} // namespace

StreamDevice::StreamDevice(int sampleRate, QObject *parent)
    : QIODevice(parent)
    , rate(sampleRate)
{
    Q_ASSERT(sampleRate > 0);
}

qint64 StreamDevice::nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void StreamDevice::schedule(const Sound &next, qint64 due)
{
    QMutexLocker lock(&mutex);
    previous = current.first < written && written < current.end ? current : Placed();
    current = Placed{next, 0, 0};
    Sound &sound = current.sound;
    if (sound.frequency == 0.0)
        sound.count = std::min(sound.count, int(sound.samples.size()));
    sound.count = std::max(sound.count, 0);
    dueNs = due;
    ++soundId;
    waiting = true;
}

void StreamDevice::cancel()
{
    QMutexLocker lock(&mutex);
    ++soundId;
    waiting = false;
    current = previous = Placed();
}

bool StreamDevice::isCurrent(quint64 id)
{
    QMutexLocker lock(&mutex);
    return id == soundId;
}

void StreamDevice::renderPart(const Placed &p, float *out, qint64 frames) const
{
    const qint64 from = std::clamp(p.first - written, qint64(0), frames);
    const qint64 to = std::clamp(p.end - written, qint64(0), frames);
    const Sound &sound = p.sound;
    for (qint64 i = from; i < to; ++i) {
        const qint64 k = written + i - p.first;
        out[i] = static_cast<float>(sound.frequency == 0.0 ? sound.samples[int(k)]
                                                           : sinusoidSample(k, sound.frequency, rate));
    }
}

void StreamDevice::render(float *out, qint64 frames, qint64 now)
{
    // A read comes when the server has room: its time less the time of the frames written before
    // it is the epoch less the server's queue, plus the wake-up delay of the output's timer. The
    // median of these over the last seconds follows the server's clock and shrugs off a read woken
    // early or late; the queue is learnt over the first seconds.
    const qint64 x = now - framesToNs(written);
    if (startNs < 0)
        startNs = epoch = now;
    while (!recent.empty() && recent.front().first < now - windowNs)
        recent.pop_front();
    recent.emplace_back(now, x);
    middle.clear();
    for (const auto &read : recent)
        middle.push_back(read.second);
    std::nth_element(middle.begin(), middle.begin() + middle.size() / 2, middle.end());
    const qint64 median = middle[middle.size() / 2];
    if (now - startNs < windowNs)
        queueNs = startNs - median;
    else
        epoch = median + queueNs;
    // Nothing is played before it is written: an underrun moves the epoch later for good.
    if (epoch < x) {
        epoch = x;
        recent.clear();
    }
    lead = epoch + framesToNs(written + frames) - now;

    QMutexLocker lock(&mutex);
    quint64 placedId = 0;
    if (waiting) {
        waiting = false;
        // Never before its moment, nor over the end of the sound before it.
        const qint64 due = qint64(std::ceil(double(dueNs - epoch) * rate / 1e9));
        current.first = std::max({written, due, previous.end});
        current.end = current.first + current.sound.count;
        placedId = soundId;
    }
    std::fill(out, out + frames, 0.0f);
    renderPart(previous, out, frames);
    renderPart(current, out, frames);
    written += frames;
    const qint64 firstNs = epoch + framesToNs(current.first), endNs = epoch + framesToNs(current.end);
    lock.unlock();
    if (placedId)
        emit placed(placedId, firstNs, endNs);
}

qint64 StreamDevice::readData(char *data, qint64 maxSize)
{
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the output format is little-endian floats");
    const qint64 frames = maxSize / 4;
    scratch.resize(size_t(frames));
    render(scratch.data(), frames, nowNs());
    std::memcpy(data, scratch.data(), size_t(frames) * 4);
    return frames * 4;
}
