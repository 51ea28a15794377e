#include "app/Block.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

// A block built from a target list, its random order and starts, and what a block cut short saves.
class TestBlock : public QObject
{
    Q_OBJECT
private slots:
    void targetList_data();
    void targetList();
    void randomStart_data();
    void randomStart();
    void blockCutShortSavesWhatWasDone();
};

void TestBlock::targetList_data()
{
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QStringList>("targets"); // relative to the temporary folder
    QTest::addColumn<QString>("error");
    QTest::newRow("relative paths, a comment, blank lines")
        << QByteArray("# demo block\n\n../Töne.wav\r\n  lists-b.wav  \n") << QStringList{QString::fromUtf8("Töne.wav"), "lists/lists-b.wav"} << QString();
    QTest::newRow("missing file named with its line") << QByteArray("# demo\n../Töne.wav\n\nnone.wav\n") << QStringList() << "Line 4: none.wav: there is no such file.";
    QTest::newRow("only comments") << QByteArray("# nothing\n\n") << QStringList() << "The list names no target.";
}

void TestBlock::targetList()
{
    QFETCH(QByteArray, list);
    QFETCH(QStringList, targets);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("lists"));
    for (const QString &name : {QString::fromUtf8("Töne.wav"), QString("lists/lists-b.wav"), QString("lists/list.txt")}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(name.endsWith(".txt") ? list : "RIFF") > 0);
    }
    QStringList read;
    QString reason;
    QVector<int> lines;
    QCOMPARE(readTargetList(dir.filePath("lists/list.txt"), &read, &reason, &lines), error.isEmpty());
    QCOMPARE(lines, error.isEmpty() ? QVector<int>({3, 4}) : QVector<int>());
    QCOMPARE(reason, error);
    for (QString &target : targets)
        target = dir.filePath(target);
    QCOMPARE(read, targets);
}

void TestBlock::randomStart_data()
{
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::newRow("the listener's range") << 10 << 1000;
    QTest::newRow("narrow") << 200 << 210;
    QTest::newRow("one frequency") << 500 << 500;
}

void TestBlock::randomStart()
{
    QFETCH(int, low);
    QFETCH(int, high);
    const QStringList targets = {"/a.wav", "/b.wav", "/c.wav", "/d.wav"};
    const Block block = makeBlock(targets, 99, 20261207, true, 500, low, high);
    QCOMPARE(block.startFrequencies.size(), 4 * 99);
    for (int target = 0; target < targets.size(); ++target)
        QCOMPARE(block.order.count(target), 99);
    int belowMiddle = 0; // of the log scale: half of the starts when they are even on it
    for (int start : block.startFrequencies) {
        QVERIFY2(start >= low && start <= high, qPrintable(QString::number(start)));
        belowMiddle += start < std::sqrt(double(low) * high);
    }
    if (high - low > 100)
        QVERIFY2(std::abs(belowMiddle / 396.0 - 0.5) < 0.1, qPrintable(QString::number(belowMiddle)));
    // The record's seed gives the same block back, order and starts alike.
    const QJsonObject json = block.toJson();
    Block back;
    QString error;
    QVERIFY(Block::fromJson(json, &back, &error));
    const Block again = makeBlock(targets, 99, back.seed, back.randomStart, 500, low, high);
    QCOMPARE(again.order, block.order);
    QCOMPARE(again.startFrequencies, block.startFrequencies);
    QCOMPARE(back.startFrequencies, block.startFrequencies);
    QCOMPARE(makeBlock(targets, 2, 7, false, 500, low, high).startFrequencies, QVector<int>(8, 500));
}

// A block ended (or killed) in its second presentation: the rows of both, nTrials from 1 in each,
// the one under way in the table without its duration or match.
void TestBlock::blockCutShortSavesWhatWasDone()
{
    Block block = makeBlock({"/t/a.wav", "/t/b.wav"}, 2, 1, false, 500, 10, 1000);
    block.order = {1, 0, 1, 0};
    Block::Presentation &first = block.beginNext(0);
    first.matches = {700, 730.5};
    first.requests = {{"target", 0, 0, 750, 751, 1001, ""}, {"sinusoid", 700, 2000, 2750, 2751, 3001, ""},
                      {"sinusoid", 730.5, 4000, 4750, 4751, 5001, ""}};
    first.readyMs = 100;
    first.doneMs = 6100;
    first.finished = true;
    block.beginNext(3).requests = {{"target", 0, 7000, 7750, -1, -1, ""}};
    SessionRecord record;
    record.block = block.toJson();
    QCOMPARE(runResultsContent(record), QByteArray("filename\tnTrials\tfrequency matched (Hz)\r\n"
                                                   "b.wav\t1\t700\r\n"
                                                   "b.wav\t2\t730.5\r\n"));
    block.presentations[1].matches = {420};
    record.block = block.toJson();
    QVERIFY(runResultsContent(record).endsWith("b.wav\t2\t730.5\r\na.wav\t1\t420\r\n"));
    QCOMPARE(matchesTableContent(block),
             QByteArray("presentation\tfilename\trepetition\tstartFrequency\tmatchedFrequency\ttones\ttargetPlays\tdurationS\n"
                        "1\tb.wav\t1\t500\t730.5\t2\t1\t6.000\n"
                        "2\ta.wav\t1\t500\t420\t1\t1\t\n"));
    QCOMPARE(record.block.value("presentations").toArray().at(1).toObject().value("finished").toBool(), false);
    QCOMPARE(matchesTablePathFor("/r/SUB001_experiment001.txt"), QString("/r/SUB001_experiment001_matches.tsv"));
}

QTEST_GUILESS_MAIN(TestBlock)
#include "tst_block.moc"
