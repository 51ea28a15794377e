#include "app/Block.h"

#include "app/ResultsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <random>

namespace {

QJsonValue nullableMs(qint64 ms)
{
    return ms < 0 ? QJsonValue() : QJsonValue(double(ms));
}

// A time too large for a qint64 (1e300) is no real time either.
qint64 msFrom(const QJsonValue &value)
{
    const double ms = value.toDouble(-1);
    return ms >= 0 && ms <= 9007199254740992.0 ? qint64(ms) : -1;
}

template <typename T>
QJsonArray arrayOf(const QVector<T> &values)
{
    QJsonArray array;
    for (const T &value : values)
        array.append(value);
    return array;
}

int targetPlaysOf(const Block::Presentation &presentation)
{
    return int(std::count_if(presentation.requests.cbegin(), presentation.requests.cend(),
                             [](const SessionRecord::Request &r) { return r.kind == QLatin1String("target"); }));
}

QVector<int> shuffledOrder(int targetCount, int repetitions, std::mt19937 &engine)
{
    QVector<int> order;
    order.reserve(targetCount * repetitions);
    for (int r = 0; r < repetitions; ++r)
        for (int index = 0; index < targetCount; ++index)
            order.append(index);
    std::shuffle(order.begin(), order.end(), engine);
    return order;
}

} // namespace

QString Block::fileNameOf(int target) const
{
    return QFileInfo(targets.value(target)).fileName();
}

Block::Presentation &Block::beginNext(int firstRequest)
{
    const int position = int(presentations.size());
    Q_ASSERT(position < order.size());
    Presentation p;
    p.target = order[position];
    p.repetition = int(std::count(order.cbegin(), order.cbegin() + position + 1, p.target));
    p.startFrequency = startFrequencies.value(position);
    p.firstRequest = firstRequest;
    presentations.append(p);
    return presentations.last();
}

QJsonObject Block::toJson() const
{
    QJsonArray targetArray;
    for (int i = 0; i < targets.size(); ++i) {
        const SessionRecord::Target facts = targetFacts.value(i);
        targetArray.append(QJsonObject{{"path", targets[i]},
                                       {"fileName", fileNameOf(i)},
                                       {"bytes", double(facts.bytes)},
                                       {"sha256", facts.sha256.isEmpty() ? QJsonValue() : QJsonValue(facts.sha256)}});
    }
    QJsonArray presentationArray;
    for (int i = 0; i < presentations.size(); ++i) {
        const Presentation &p = presentations[i];
        QJsonArray requestArray;
        for (const SessionRecord::Request &request : p.requests)
            requestArray.append(request.toJson());
        presentationArray.append(QJsonObject{
            {"number", i + 1},
            {"target", p.target},
            {"fileName", fileNameOf(p.target)},
            {"sha256", targetFacts.value(p.target).sha256},
            {"repetition", p.repetition},
            {"startFrequency", p.startFrequency},
            {"matches", arrayOf(p.matches)},
            {"match", p.matches.isEmpty() ? QJsonValue() : QJsonValue(p.matches.last())},
            {"readyMs", nullableMs(p.readyMs)},
            {"doneMs", nullableMs(p.doneMs)},
            {"finished", p.finished},
            {"requests", requestArray},
        });
    }
    return QJsonObject{{"targets", targetArray},
                       {"repetitions", repetitions},
                       {"seed", double(seed)},
                       {"randomStart", randomStart},
                       {"order", arrayOf(order)},
                       {"startFrequencies", arrayOf(startFrequencies)},
                       {"presentations", presentationArray}};
}

bool Block::fromJson(const QJsonObject &json, Block *block, QString *error)
{
    Block b;
    for (const QJsonValue &value : json.value("targets").toArray()) {
        const QJsonObject object = value.toObject();
        SessionRecord::Target facts;
        facts.path = object.value("path").toString();
        facts.fileName = object.value("fileName").toString();
        facts.bytes = qint64(object.value("bytes").toDouble());
        facts.sha256 = object.value("sha256").toString();
        b.targets.append(facts.path);
        b.targetFacts.append(facts);
    }
    b.repetitions = json.value("repetitions").toInt();
    b.seed = quint32(json.value("seed").toDouble());
    b.randomStart = json.value("randomStart").toBool();
    for (const QJsonValue &value : json.value("order").toArray())
        b.order.append(value.toInt());
    for (const QJsonValue &value : json.value("startFrequencies").toArray())
        b.startFrequencies.append(value.toInt());
    for (const QJsonValue &value : json.value("presentations").toArray()) {
        const QJsonObject object = value.toObject();
        Presentation p;
        p.target = object.value("target").toInt(-1);
        p.repetition = object.value("repetition").toInt();
        p.startFrequency = object.value("startFrequency").toInt();
        for (const QJsonValue &match : object.value("matches").toArray())
            p.matches.append(match.toDouble());
        p.readyMs = msFrom(object.value("readyMs"));
        p.doneMs = msFrom(object.value("doneMs"));
        p.finished = object.value("finished").toBool();
        for (const QJsonValue &request : object.value("requests").toArray())
            p.requests.append(SessionRecord::Request::fromJson(request.toObject()));
        if (p.target < 0 || p.target >= b.targets.size()) {
            *error = QStringLiteral("Presentation %1 names no target of the block.").arg(b.presentations.size() + 1);
            return false;
        }
        b.presentations.append(p);
    }
    *block = b;
    return true;
}

Block makeBlock(const QStringList &targets, int repetitions, quint32 seed, bool randomStart, int fixedStart,
                int frequencyMin, int frequencyMax)
{
    Q_ASSERT(repetitions >= 1 && frequencyMin >= 1 && frequencyMin <= frequencyMax);
    Block block;
    block.targets = targets;
    block.repetitions = repetitions;
    block.seed = seed;
    block.randomStart = randomStart;
    // The start frequencies continue the shuffle's engine: one seed gives back the whole block.
    std::mt19937 engine(seed);
    block.order = shuffledOrder(int(targets.size()), repetitions, engine);
    std::uniform_real_distribution<double> logFrequency(std::log(double(frequencyMin)), std::log(double(frequencyMax)));
    block.startFrequencies.reserve(block.order.size());
    for (int i = 0; i < block.order.size(); ++i)
        block.startFrequencies.append(randomStart ? qBound(frequencyMin, int(std::lround(std::exp(logFrequency(engine)))),
                                                           frequencyMax)
                                                  : fixedStart);
    return block;
}

bool readTargetList(const QString &listPath, QStringList *targets, QString *error, QVector<int> *lines)
{
    QFile file(listPath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    const QDir folder = QFileInfo(listPath).absoluteDir();
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    QStringList listed;
    QVector<int> listedLines;
    for (int line = 1; !stream.atEnd(); ++line) {
        const QString entry = stream.readLine().trimmed();
        if (entry.isEmpty() || entry.startsWith(QLatin1Char('#')))
            continue;
        const QString path = QDir::cleanPath(folder.absoluteFilePath(entry));
        if (!QFileInfo(path).isFile()) {
            *error = QStringLiteral("Line %1: %2: there is no such file.").arg(line).arg(entry);
            return false;
        }
        listed.append(path);
        listedLines.append(line);
    }
    if (listed.isEmpty()) {
        *error = QStringLiteral("The list names no target.");
        return false;
    }
    *targets = listed;
    if (lines)
        *lines = listedLines;
    return true;
}

QByteArray blockResultsContent(const Block &block)
{
    QByteArray content;
    for (const Block::Presentation &p : block.presentations) {
        const QByteArray rows = resultsFileContent(true, block.fileNameOf(p.target), p.matches);
        content += content.isEmpty() ? rows : rows.mid(rows.indexOf('\n') + 1);
    }
    return content;
}

QByteArray matchesTableContent(const Block &block)
{
    QByteArray content = "presentation\tfilename\trepetition\tstartFrequency\tmatchedFrequency\ttones\ttargetPlays\tdurationS\n";
    for (int i = 0; i < block.presentations.size(); ++i) {
        const Block::Presentation &p = block.presentations[i];
        const bool timed = p.readyMs >= 0 && p.doneMs >= p.readyMs;
        content += QByteArray::number(i + 1) + '\t' + block.fileNameOf(p.target).toUtf8() + '\t'
                   + QByteArray::number(p.repetition) + '\t' + QByteArray::number(p.startFrequency) + '\t'
                   + (p.matches.isEmpty() ? QByteArray() : QByteArray::number(p.matches.last(), 'g', 6)) + '\t'
                   + QByteArray::number(p.matches.size()) + '\t' + QByteArray::number(targetPlaysOf(p)) + '\t'
                   + (timed ? QByteArray::number((p.doneMs - p.readyMs) / 1000.0, 'f', 3) : QByteArray()) + '\n';
    }
    return content;
}

QByteArray runResultsContent(const SessionRecord &record)
{
    Block block;
    QString ignored;
    if (!record.block.isEmpty() && Block::fromJson(record.block, &block, &ignored) && !block.presentations.isEmpty())
        return blockResultsContent(block);
    return resultsFileContent(record.hasTrial, record.trialFileName, record.matches);
}

bool writeMatchesTable(const QString &resultsPath, const SessionRecord &record, QString *error)
{
    Block block;
    if (record.block.isEmpty())
        return true;
    if (!Block::fromJson(record.block, &block, error))
        return false;
    if (block.isSingle())
        return true;
    return writeFileSafely(matchesTablePathFor(resultsPath), matchesTableContent(block), error);
}

QString matchesTablePathFor(const QString &resultsPath)
{
    const QFileInfo info(resultsPath);
    return QDir(info.path()).filePath(info.completeBaseName() + QStringLiteral("_matches.tsv"));
}
