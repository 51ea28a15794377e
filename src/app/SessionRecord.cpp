#include "app/SessionRecord.h"

#include "app/ResultsFile.h"
#include "audio/WavFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <cmath>
#include <limits>

namespace {

const qint64 largestRecordBytes = 16 * 1024 * 1024;

QJsonValue nullableMs(qint64 ms)
{
    return ms < 0 ? QJsonValue() : QJsonValue(double(ms));
}

// A count or time of the record, -1 when missing. JSON numbers are doubles: one beyond what a
// qint64 holds exactly (1e300) cannot be converted and is no real time or size either.
qint64 wholeFrom(const QJsonValue &value)
{
    const double number = value.toDouble(-1);
    return number >= 0 && number <= 9007199254740992.0 ? qint64(number) : -1;
}

// JSON has no infinity: a level of silence is written as null.
QJsonValue nullableLevel(double dbfs)
{
    return std::isfinite(dbfs) ? QJsonValue(dbfs) : QJsonValue();
}

double levelFrom(const QJsonValue &value)
{
    return value.isDouble() ? value.toDouble() : -std::numeric_limits<double>::infinity();
}

QJsonValue nullableText(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonValue nullableTime(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(time.toString(Qt::ISODateWithMs)) : QJsonValue();
}

QDateTime timeFrom(const QJsonValue &value)
{
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

} // namespace

QJsonObject SessionRecord::Request::toJson() const
{
    QJsonObject object{{"kind", kind},
                       {"requestedMs", nullableMs(requestedMs)},
                       {"scheduledMs", nullableMs(scheduledMs)},
                       {"startedMs", nullableMs(startedMs)},
                       {"endedMs", nullableMs(endedMs)},
                       {"error", nullableText(error)}};
    if (outputLatencyMs >= 0)
        object.insert("outputLatencyMs", outputLatencyMs);
    if (kind == QLatin1String("sinusoid"))
        object.insert("frequency", frequency);
    return object;
}

SessionRecord::Request SessionRecord::Request::fromJson(const QJsonObject &json)
{
    Request request;
    request.kind = json.value("kind").toString();
    request.frequency = json.value("frequency").toDouble();
    request.requestedMs = wholeFrom(json.value("requestedMs"));
    request.scheduledMs = wholeFrom(json.value("scheduledMs"));
    request.startedMs = wholeFrom(json.value("startedMs"));
    request.endedMs = wholeFrom(json.value("endedMs"));
    request.error = json.value("error").toString();
    request.outputLatencyMs = json.value("outputLatencyMs").toDouble(-1);
    return request;
}

QJsonObject SessionRecord::toJson() const
{
    QJsonArray requestArray;
    for (const Request &request : requests)
        requestArray.append(request.toJson());
    QJsonArray matchArray;
    for (double match : matches)
        matchArray.append(match);

    QJsonObject json{
        {"program", "Tonvara"},
        {"version", version},
        {"subjectCode", subjectCode},
        {"sessionType", sessionType},
        {"fileNumber", fileNumber},
        {"resultsFile", resultsFile},
        {"startedAt", nullableTime(startedAt)},
        {"endedAt", nullableTime(endedAt)},
        {"recovered", recovered},
        {"settings", QJsonObject{{"samplingRate", samplingRate},
                                 {"soundDuration", soundDuration},
                                 {"silentInterval", silentInterval},
                                 {"frequencyMin", frequencyMin},
                                 {"frequencyMax", frequencyMax},
                                 {"frequencyStart", frequencyStart},
                                 {"frequencyStepSize", frequencyStepSize}}},
        {"audioOutput", QJsonObject{{"device", outputDevice}, {"format", outputFormat}, {"sinkRate", sinkRate}}},
        {"target", QJsonObject{{"path", target.path},
                               {"fileName", target.fileName},
                               {"bytes", double(target.bytes)},
                               {"sha256", nullableText(target.sha256)},
                               {"format", target.format},
                               {"bitsPerSample", target.bitsPerSample},
                               {"channels", target.channels},
                               {"sampleRate", target.sampleRate},
                               {"frames", double(target.frames)},
                               {"resampledTo", target.resampledTo > 0 ? QJsonValue(target.resampledTo) : QJsonValue()},
                               {"peakDbfs", nullableLevel(target.peakDbfs)},
                               {"rmsDbfs", nullableLevel(target.rmsDbfs)}}},
        {"trial", hasTrial ? QJsonValue(QJsonObject{{"fileName", trialFileName}, {"matches", matchArray}})
                           : QJsonValue()},
        {"requests", requestArray},
    };
    if (!block.isEmpty())
        json.insert("block", block);
    return json;
}

bool SessionRecord::fromJson(const QJsonObject &json, SessionRecord *record, QString *error)
{
    if (json.value("program").toString() != QLatin1String("Tonvara") || !json.value("requests").isArray()) {
        *error = QStringLiteral("It is not a session record of this program.");
        return false;
    }
    // Every run starts at Go: without that time there is no run to offer.
    if (!timeFrom(json.value("startedAt")).isValid()) {
        *error = QStringLiteral("It records no run: it has no start time.");
        return false;
    }
    SessionRecord r;
    r.version = json.value("version").toString();
    r.subjectCode = json.value("subjectCode").toString();
    r.sessionType = json.value("sessionType").toString();
    r.fileNumber = json.value("fileNumber").toInt();
    r.resultsFile = json.value("resultsFile").toString();
    r.startedAt = timeFrom(json.value("startedAt"));
    r.endedAt = timeFrom(json.value("endedAt"));
    r.recovered = json.value("recovered").toBool();

    const QJsonObject settings = json.value("settings").toObject();
    r.samplingRate = settings.value("samplingRate").toDouble();
    r.soundDuration = settings.value("soundDuration").toDouble();
    r.silentInterval = settings.value("silentInterval").toDouble();
    r.frequencyMin = settings.value("frequencyMin").toInt();
    r.frequencyMax = settings.value("frequencyMax").toInt();
    r.frequencyStart = settings.value("frequencyStart").toInt();
    r.frequencyStepSize = settings.value("frequencyStepSize").toInt();

    const QJsonObject output = json.value("audioOutput").toObject();
    r.outputDevice = output.value("device").toString();
    r.outputFormat = output.value("format").toString();
    r.sinkRate = output.value("sinkRate").toInt();

    const QJsonObject target = json.value("target").toObject();
    r.target.path = target.value("path").toString();
    r.target.fileName = target.value("fileName").toString();
    r.target.bytes = qMax(qint64(0), wholeFrom(target.value("bytes")));
    r.target.sha256 = target.value("sha256").toString();
    r.target.format = target.value("format").toInt();
    r.target.bitsPerSample = target.value("bitsPerSample").toInt();
    r.target.channels = target.value("channels").toInt();
    r.target.sampleRate = target.value("sampleRate").toDouble();
    r.target.frames = qMax(qint64(0), wholeFrom(target.value("frames")));
    r.target.resampledTo = target.value("resampledTo").toDouble();
    r.target.peakDbfs = levelFrom(target.value("peakDbfs"));
    r.target.rmsDbfs = levelFrom(target.value("rmsDbfs"));

    const QJsonValue trial = json.value("trial");
    r.hasTrial = trial.isObject();
    r.trialFileName = trial.toObject().value("fileName").toString();
    for (const QJsonValue &match : trial.toObject().value("matches").toArray())
        r.matches.append(match.toDouble());

    for (const QJsonValue &value : json.value("requests").toArray())
        r.requests.append(Request::fromJson(value.toObject()));
    r.block = json.value("block").toObject();
    *record = r;
    return true;
}

SessionRecord::Target describeTarget(const QString &path, const WavFile &wavFile, const QVector<double> &played,
                                     int playedCount, double sessionRate)
{
    SessionRecord::Target target;
    target.path = path;
    target.fileName = QFileInfo(path).fileName();
    if (wavFile.lastReadSucceeded()) {
        target.bytes = wavFile.fileSize;
        target.sha256 = wavFile.sha256;
        target.format = wavFile.formatCode;
        target.bitsPerSample = wavFile.bitsPerSample;
        target.channels = wavFile.numChannels;
        target.sampleRate = wavFile.sampleRate;
        target.frames = wavFile.framesDecoded;
        if (wavFile.sampleRate != sessionRate)
            target.resampledTo = sessionRate;
    }
    target.peakDbfs = peakDbfs(played, playedCount);
    target.rmsDbfs = rmsDbfs(played, playedCount);
    return target;
}

double peakDbfs(const QVector<double> &signal, int count)
{
    count = qBound(0, count, int(signal.size()));
    double peak = 0.0;
    for (int i = 0; i < count; ++i)
        peak = std::max(peak, std::abs(signal[i]));
    return 20.0 * std::log10(peak);
}

double rmsDbfs(const QVector<double> &signal, int count)
{
    count = qBound(0, count, int(signal.size()));
    double sum = 0.0;
    for (int i = 0; i < count; ++i)
        sum += signal[i] * signal[i];
    return count > 0 ? 10.0 * std::log10(sum / count) : -std::numeric_limits<double>::infinity();
}

QString sessionRecordPathFor(const QString &resultsPath)
{
    const QFileInfo info(resultsPath);
    if (info.suffix().compare(QLatin1String("json"), Qt::CaseInsensitive) == 0)
        return resultsPath + QStringLiteral(".json");
    return QDir(info.path()).filePath(info.completeBaseName() + QStringLiteral(".json"));
}

QDateTime currentTimeWithOffset()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc());
}

QString unfinishedRunsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/unfinished");
}

bool writeSessionRecord(const QString &path, const SessionRecord &record, QString *error)
{
    return writeFileSafely(path, QJsonDocument(record.toJson()).toJson(QJsonDocument::Indented), error);
}

bool readSessionRecord(const QString &path, SessionRecord *record, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    if (file.size() > largestRecordBytes) {
        *error = QStringLiteral("It is larger than any session record (%1 bytes).").arg(file.size());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!document.isObject()) {
        *error = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                              : QStringLiteral("It is not a session record of this program.");
        return false;
    }
    return SessionRecord::fromJson(document.object(), record, error);
}
