#ifndef TARGETSOUND_H
#define TARGETSOUND_H

#include <QString>
#include <QVector>

class WavFile;

// The target as a WavFile that was just read offers it: the first channel as one value per frame,
// the frame count and the duration at the file's own sample rate. Taken once, right after
// readWavFile; it copies what it needs and keeps no reference to the WavFile.
//
// The target is usable only when the last read succeeded, the file has at least one channel and
// at least one whole frame. When it is not, frameCount() is 0, durationSeconds() is 0.0,
// firstChannel() is empty and problemText() says why in one line.
class TargetSound
{
public:
    enum class Problem {
        None,
        NotRead,        // no read was made yet
        ReadFailed,     // the last read failed
        NoChannels,     // the header says 0 channels
        NoFrames        // not one whole frame of samples
    };

    explicit TargetSound(const WavFile &wavFile);

    bool isUsable() const { return problemKind == Problem::None; }
    Problem problem() const { return problemKind; }
    // Empty when usable; for a failed read, the reader's own message (which names the path).
    QString problemText() const { return problemMessage; }

    // numSamples / numChannels: whole frames, all channels together counted once.
    int frameCount() const { return frames; }
    // frameCount / the file's sample rate, in seconds; 0.0 when the file says 0 Hz.
    double durationSeconds() const { return duration; }
    // frameCount values in -1 .. 1: mono as is, otherwise the first channel of each frame.
    // A frame the decoded samples do not reach stays 0.0.
    QVector<double> firstChannel() const { return channel; }

private:
    Problem problemKind = Problem::NotRead;
    QString problemMessage;
    int frames = 0;
    double duration = 0.0;
    QVector<double> channel;
};

#endif
