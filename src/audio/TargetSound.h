#ifndef TARGETSOUND_H
#define TARGETSOUND_H

#include <QString>
#include <QVector>

class WavFile;

// The target as a WavFile that was just read offers it: the first channel as one value per frame,
// the frame count and the duration at the file's own sample rate, and the same channel converted
// to the session's sampling rate, which is what is shown, analysed and played. Taken once, right
// after readWavFile; it copies what it needs and keeps no reference to the WavFile.
//
// The target is usable only when the last read succeeded and the file has at least one channel,
// a sample rate from minFileRate to maxFileRate and at least one whole frame. When it is not, frameCount() and
// sampleCount() are 0, durationSeconds() is 0.0, signal() is empty and problemText() says why in
// one line. The WavFile may hold every channel or only the first (decodedChannels()).
class TargetSound
{
public:
    enum class Problem {
        None,
        NotRead,         // no read was made yet
        ReadFailed,      // the last read failed
        NoChannels,      // the header says 0 channels
        BadSampleRate,   // the header's rate is outside minFileRate .. maxFileRate
        NoFrames,        // not one whole frame of samples
        ConversionFailed // the sample rate could not be converted
    };

    // File rates outside these (Hz) are refused: a header claiming 1 Hz would make a few frames
    // into a conversion of gigabytes.
    static constexpr unsigned minFileRate = 1000;
    static constexpr unsigned maxFileRate = 1000000;

    // samplingRate: the session's rate in Hz, that signal() is converted to.
    TargetSound(const WavFile &wavFile, double samplingRate);

    bool isUsable() const { return problemKind == Problem::None; }
    Problem problem() const { return problemKind; }
    // Empty when usable; for a failed read, the reader's own message (which names the path).
    QString problemText() const { return problemMessage; }

    // numSamples / numChannels: whole frames, all channels together counted once.
    int frameCount() const { return frames; }
    // frameCount / the file's sample rate, in seconds.
    double durationSeconds() const { return duration; }
    // The first channel (one value per frame) at the session's rate: round(frameCount *
    // samplingRate / file rate) values; the file's own values, bit for bit, when the rates are equal.
    QVector<double> signal() const { return converted; }
    // Hands signal() over, so that a long target is held once; signal() is empty afterwards,
    // sampleCount() keeps its value.
    QVector<double> takeSignal();
    int sampleCount() const { return samples; }
    // True when signal() was converted from the file's rate.
    bool isResampled() const { return resampled; }
    // Largest magnitude in signal(); above 1.0 the sound card clips the target.
    double peak() const { return peakValue; }
    bool exceedsFullScale() const { return peakValue > 1.0; }

    // What the file is, in one line for the experimenter, e.g. "44100 Hz, 16-bit integer,
    // 2 channels (first used), resampled from 44100 Hz to 40000 Hz", followed by a warning when
    // the samples reach beyond +-1. Empty when not usable.
    QString description() const;

private:
    Problem problemKind = Problem::NotRead;
    QString problemMessage;
    int frames = 0;
    double duration = 0.0;
    int samples = 0;
    QVector<double> converted;
    bool resampled = false;
    double peakValue = 0.0;
    unsigned fileRate = 0;
    double sessionRate = 0.0;
    int bits = 0;
    bool isFloat = false;
    int channels = 0;
};

#endif
