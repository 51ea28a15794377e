#ifndef SESSIONRECORD_H
#define SESSIONRECORD_H

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QVector>
#include <QtGlobal>

class WavFile;

// What one run played, when and with what: saved as JSON beside its results file and, while the
// run goes on, kept in the program's data folder so that a run cut short can still be saved.
struct SessionRecord
{
    // The target file as read and as played.
    struct Target
    {
        QString path;
        QString fileName;
        qint64 bytes = 0;       // size of the whole file as loaded
        QString sha256;         // lower-case hex of the whole file as loaded; empty when it was not read
        int format = 0;         // WAV format field: 1 integer PCM, 3 IEEE float
        int bitsPerSample = 0;
        int channels = 0;
        double sampleRate = 0;  // Hz, the file's own
        qint64 frames = 0;
        double resampledTo = 0; // Hz played at when it differs from the file's rate; 0 when not
        double peakDbfs = 0;    // of the samples played; -infinity for silence
        double rmsDbfs = 0;
    };

    // One request of the listener. Times are milliseconds since Go on a monotonic clock; -1 is
    // "did not happen" (null in JSON).
    struct Request
    {
        QString kind;           // "target" or "sinusoid"
        double frequency = 0;   // Hz, sinusoid only
        qint64 requestedMs = -1;
        qint64 scheduledMs = -1; // when the pause ends and the sound is due
        qint64 startedMs = -1;   // its first sample was due at the output, from the stream's position
        qint64 endedMs = -1;     // its last sample was due at the output
        QString error;           // the output's error; empty when none
        double outputLatencyMs = -1; // from writing a sample to hearing it, as measured; -1 unknown

        QJsonObject toJson() const;
        static Request fromJson(const QJsonObject &json);
    };

    QString version;
    QString subjectCode;         // as typed
    QString sessionType;         // "practice" or "experiment"
    int fileNumber = 0;
    QString resultsFile;         // the proposed path during a run; the chosen one once saved
    QDateTime startedAt;
    QDateTime endedAt;           // invalid while running, and for a recovered run
    bool recovered = false;

    double samplingRate = 0;     // Hz
    double soundDuration = 0;    // s
    double silentInterval = 0;   // s
    int frequencyMin = 0;
    int frequencyMax = 0;
    int frequencyStart = 0;
    int frequencyStepSize = 0;

    QString outputDevice;
    QString outputFormat;
    int sinkRate = 0;            // Hz, the rate the sound server's sink runs at; 0 when unknown

    Target target;

    // What the results file holds: its "filename" column and one matched frequency (Hz) per row.
    // Without a trial the results file is empty.
    bool hasTrial = false;
    QString trialFileName;
    QVector<double> matches;

    QVector<Request> requests;

    // The block of presentations the run went through (Block::toJson); empty in older records.
    QJsonObject block;

    QJsonObject toJson() const;
    // False, with a reason in error, when json is not a session record.
    static bool fromJson(const QJsonObject &json, SessionRecord *record, QString *error);
};

// The target's facts as it was loaded, after a successful read: the size and SHA-256 of the bytes
// read, the format from the reader's canonical header and the frames decoded; the levels from the
// first playedCount samples of played; resampledTo is sessionRate when it differs from the
// file's rate.
SessionRecord::Target describeTarget(const QString &path, const WavFile &wavFile, const QVector<double> &played,
                                     int playedCount, double sessionRate);

// Peak and RMS level in dB relative to full scale (1.0) of the first count samples of signal;
// -infinity when they are all zero or count is 0.
double peakDbfs(const QVector<double> &signal, int count);
double rmsDbfs(const QVector<double> &signal, int count);

// The record beside a results file: same folder and base name, extension ".json"
// (SUB001_practice001.txt gives SUB001_practice001.json). A results file already named ".json"
// gets ".json" appended, so the record never replaces it.
QString sessionRecordPathFor(const QString &resultsPath);

// Local time now with its offset from UTC, so that its ISO 8601 text carries the offset.
QDateTime currentTimeWithOffset();

// Where runs in progress keep their record: the application's data folder + "/unfinished".
QString unfinishedRunsFolder();

// Writes the record as indented JSON through writeFileSafely. False, with a reason, on failure.
bool writeSessionRecord(const QString &path, const SessionRecord &record, QString *error);
// Reads a record written by writeSessionRecord. False, with a reason, when the file cannot be
// read, is larger than any record (16 MiB), or is not a session record of a run (one with a start
// time). A time or size that is negative or beyond 2^53 reads as missing: -1 ms, 0 bytes or frames.
bool readSessionRecord(const QString &path, SessionRecord *record, QString *error);

#endif
