// Writes the demo targets into the folder given on the command line: 250 ms, 16-bit mono, all at
// the same RMS level, with 10 ms raised-cosine onset and offset ramps; all at the session's
// 40000 Hz but one at 44100 Hz, which the program converts when it loads it.

#include "audio/SignalTools.h"
#include "audio/WavFile.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iostream>

namespace {

const double sessionRate = 40000.0;
const double fileRate = 44100.0;
const double duration = 0.25;
// Equal RMS keeps the targets equally loud; at this level every peak stays below 0.5.
const double level = 0.15;
const double peakLimit = 0.5;

// Sum of sine partials k * fundamental with the given amplitudes, k = firstHarmonic, ...
QVector<double> harmonicSum(double fundamental, int firstHarmonic, const QVector<double> &amplitudes,
                            double samplingRate = sessionRate)
{
    QVector<double> sum(int(samplingRate * duration), 0.0);
    for (int n = 0; n < amplitudes.size(); ++n) {
        const QVector<double> partial = pureTone(samplingRate, duration,
                                                 fundamental * (firstHarmonic + n), amplitudes[n], 0.0);
        for (int i = 0; i < sum.size(); ++i)
            sum[i] += partial[i];
    }
    return sum;
}

struct DemoTarget
{
    const char *fileName;
    std::function<QVector<double>()> make;
    double samplingRate = sessionRate;
};

QVector<DemoTarget> demoTargets()
{
    return {
        {"pure-tone-440Hz.wav", [] { return pureTone(sessionRate, duration, 440.0, 1.0, 0.0); }},
        // Harmonics 1 to 6 of 220 Hz at 1/n.
        {"harmonic-complex-220Hz.wav",
         [] { return harmonicSum(220.0, 1, {1.0, 1.0 / 2, 1.0 / 3, 1.0 / 4, 1.0 / 5, 1.0 / 6}); }},
        // Harmonics 3 to 8 of 200 Hz at equal level: the pitch is 200 Hz, where there is no energy.
        {"missing-fundamental-200Hz.wav",
         [] { return harmonicSum(200.0, 3, QVector<double>(6, 1.0)); }},
        // 500 Hz carrier, fully modulated at 40 Hz: partials at 460, 500 and 540 Hz.
        {"am-tone-500Hz-40Hz.wav",
         [] { return amplitudeModulatedTone(sessionRate, duration, 500.0, 40.0, 1.0, 1.0, 0.0, 0.0, true); }},
        // Harmonics 1 to 5 of 300 Hz at 1/n, recorded at 44100 Hz like most files a lab has.
        {"harmonic-complex-300Hz-44100.wav",
         [] { return harmonicSum(300.0, 1, {1.0, 1.0 / 2, 1.0 / 3, 1.0 / 4, 1.0 / 5}, fileRate); },
         fileRate},
    };
}

QByteArray pcm16(const QVector<double> &signal)
{
    QByteArray bytes(signal.size() * 2, '\0');
    for (int i = 0; i < signal.size(); ++i) {
        const long value = std::clamp(std::lround(signal[i] * 32768.0), -32768L, 32767L);
        const auto word = std::uint16_t(std::int16_t(value));
        bytes[2 * i] = char(word & 0xFF);
        bytes[2 * i + 1] = char(word >> 8);
    }
    return bytes;
}

bool writeMono16(const QString &path, const QVector<double> &signal, double samplingRate)
{
    WavFile wav;
    std::memcpy(wav.riffTag, "RIFF", 4);
    std::memcpy(wav.waveTag, "WAVE", 4);
    std::memcpy(wav.fmtTag, "fmt ", 4);
    std::memcpy(wav.dataTag, "data", 4);
    wav.fmtSize = 16;
    wav.formatCode = 1;
    wav.numChannels = 1;
    wav.sampleRate = std::uint32_t(samplingRate);
    wav.bitsPerSample = 16;
    wav.blockAlign = 2;
    wav.byteRate = wav.sampleRate * wav.blockAlign;
    wav.rawData = pcm16(signal);
    wav.dataSize = std::uint32_t(wav.rawData.size());
    wav.riffSize = 36 + wav.dataSize;
    return wav.writeWavFile(path.toUtf8());
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::cerr << "Usage: " << argv[0] << " OUTPUT_FOLDER" << std::endl;
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::cerr << "Cannot create folder " << argv[1] << std::endl;
        return 1;
    }

    for (const DemoTarget &target : demoTargets()) {
        QVector<double> signal = target.make();
        const double gain = level / rootMeanSquare(signal);
        for (double &value : signal)
            value *= gain;
        rampCosine(signal, int(target.samplingRate / 100.0));

        double peak = 0.0;
        for (double value : signal)
            peak = std::max(peak, std::abs(value));
        const QString path = folder.filePath(QString::fromLatin1(target.fileName));
        if (peak > peakLimit) {
            std::cerr << target.fileName << ": peak " << peak << " exceeds " << peakLimit << std::endl;
            return 1;
        }
        if (!writeMono16(path, signal, target.samplingRate))
            return 1;
        std::cout << path.toLocal8Bit().constData() << " (peak " << peak << ")" << std::endl;
    }
    return 0;
}
