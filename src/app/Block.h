#ifndef BLOCK_H
#define BLOCK_H

#include "app/SessionRecord.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

// A study's block: every target presented `repetitions` times in an order drawn from `seed`, each
// presentation with its own start frequency. A single run is the block of one target, once.
struct Block
{
    struct Presentation
    {
        int target = 0;          // index into targets
        int repetition = 1;      // which presentation of this target, from 1
        int startFrequency = 0;  // Hz, where the listener's control starts
        QVector<double> matches; // every tone asked for, Hz; the last is the match
        int firstRequest = 0;    // index of its first request in the run's requests
        QVector<SessionRecord::Request> requests;
        qint64 readyMs = -1;     // "I am ready", ms since Go; -1 before it
        qint64 doneMs = -1;      // "Done"; -1 while under way or when the block ended before it
        bool finished = false;
    };

    QStringList targets;         // full paths, in the order chosen
    QVector<SessionRecord::Target> targetFacts; // size and hash of each target, as prepared
    int repetitions = 1;
    quint32 seed = 0;
    bool randomStart = false;
    QVector<int> order;          // indices into targets, each `repetitions` times
    QVector<int> startFrequencies; // Hz, one per entry of order
    // The presentations begun so far: the last one is under way until it is finished.
    QVector<Presentation> presentations;

    int count() const { return int(order.size()); }
    // Starts the presentation at the next place of the order; its requests begin at firstRequest.
    Presentation &beginNext(int firstRequest);
    bool isSingle() const { return order.size() == 1; }
    QString fileNameOf(int target) const;

    QJsonObject toJson() const;
    // The block as a record holds it; false, with a reason, when json does not describe one.
    static bool fromJson(const QJsonObject &json, Block *block, QString *error);
};

// The block for these targets: each index `repetitions` times, shuffled with std::shuffle and a
// std::mt19937 seeded by seed; start frequencies all fixedStart or, with randomStart, drawn after
// the shuffle from the same engine, uniform on a log scale within [frequencyMin, frequencyMax] and
// on whole hertz, so the seed reproduces both.
Block makeBlock(const QStringList &targets, int repetitions, quint32 seed, bool randomStart, int fixedStart,
                int frequencyMin, int frequencyMax);

// Reads a target list: UTF-8, one WAV path per line, relative to the list's folder; blank lines
// and lines starting with "#" are skipped. False when a listed file does not exist or nothing is
// listed; error names the line. lines, when given, receives each target's line number.
bool readTargetList(const QString &listPath, QStringList *targets, QString *error, QVector<int> *lines = nullptr);

// The results file of the presentations begun: the header once, then each presentation's rows
// as a one-target file has them, nTrials from 1 again.
QByteArray blockResultsContent(const Block &block);

// One row per presentation begun, TAB-separated with a header, lines ending in LF.
QByteArray matchesTableContent(const Block &block);

// What a run's results file holds: its block's rows when the record has a block, else the
// rows of its one trial.
QByteArray runResultsContent(const SessionRecord &record);
// Writes the table of matches beside the results file when the record's block has more than one
// presentation; true when written or when there is none to write.
bool writeMatchesTable(const QString &resultsPath, const SessionRecord &record, QString *error);

// Beside the results file: SUB001_experiment001.txt gives SUB001_experiment001_matches.tsv.
QString matchesTablePathFor(const QString &resultsPath);

#endif
