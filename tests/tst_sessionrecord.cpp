#include "app/ResultsFile.h"
#include "app/SessionRecord.h"
#include "audio/WavFile.h"
#include "support/WavBuilder.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

// The session record's JSON form, its refusal of what is not one, and where records go.
class TestSessionRecord : public QObject
{
    Q_OBJECT
private slots:
    void recordReadsBackWhole();
    void unreadableRecordsAreRefused_data();
    void unreadableRecordsAreRefused();
    void places();
    void targetIsDescribedAsLoaded_data();
    void targetIsDescribedAsLoaded();

private:
    QTemporaryDir dir;
};

void TestSessionRecord::recordReadsBackWhole()
{
    SessionRecord record;
    record.subjectCode = "A B/C";
    record.startedAt = QDateTime(QDate(2026, 3, 1), QTime(9, 30, 5, 120), Qt::OffsetFromUTC, 3600);
    record.soundDuration = 0.25007;
    record.target.resampledTo = 40000;
    record.target.rmsDbfs = -qInf();
    record.hasTrial = true;
    record.matches = {700, 730.5};
    record.requests = {{"target", 0, 12, 762, 763, 1013, ""}, {"sinusoid", 730.5, 2000, 2750, -1, 2751, "failed"}};
    QString error;
    QVERIFY2(writeSessionRecord(dir.filePath("record.json"), record, &error), qPrintable(error));
    SessionRecord back;
    QVERIFY2(readSessionRecord(dir.filePath("record.json"), &back, &error), qPrintable(error));
    QCOMPARE(QJsonDocument(back.toJson()).toJson(), QJsonDocument(record.toJson()).toJson());
    QCOMPARE(back.requests.at(1).startedMs, qint64(-1));
    // A time beyond any qint64 reads as none, not as what an undefined conversion makes of it.
    const QByteArray huge = QJsonDocument(record.toJson()).toJson().replace("\"requestedMs\": 12", "\"requestedMs\": 1e300");
    QVERIFY(writeFileSafely(dir.filePath("huge.json"), huge, &error) && readSessionRecord(dir.filePath("huge.json"), &back, &error));
    QCOMPARE(back.requests.at(0).requestedMs, qint64(-1));

    // What JSON cannot say directly: the time's offset, and null for "none".
    const QJsonObject json = record.toJson();
    const QJsonArray requests = json.value("requests").toArray();
    QCOMPARE(json.value("startedAt").toString(), QString("2026-03-01T09:30:05.120+01:00"));
    QVERIFY(json.value("endedAt").isNull() && json.value("target").toObject().value("rmsDbfs").isNull());
    QVERIFY(!requests.at(0).toObject().contains("frequency") && requests.at(0).toObject().value("error").isNull());
    QVERIFY(requests.at(1).toObject().value("startedMs").isNull());
}

void TestSessionRecord::unreadableRecordsAreRefused_data()
{
    QTest::addColumn<QByteArray>("content");
    const QByteArray bare = "{\"program\": \"Tonvara\", \"requests\": []}";
    const QByteArray smallest = QByteArray(bare).replace("{", "{\"startedAt\": \"2026-03-01T09:30:05+01:00\", "); // a record as far as it goes
    QTest::newRow("no run in it") << bare;
    QTest::newRow("another program's") << QByteArray(smallest).replace("Tonvara", "other");
    QTest::newRow("not JSON") << smallest.left(20);
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("larger than any record") << smallest + QByteArray(16 << 20, ' ');
}

void TestSessionRecord::unreadableRecordsAreRefused()
{
    QFETCH(QByteArray, content);
    QFile file(dir.filePath(QTest::currentDataTag()));
    QVERIFY(content.isNull() || (file.open(QIODevice::WriteOnly) && file.write(content) == content.size()));
    file.close();
    SessionRecord record;
    QString error;
    QVERIFY(!readSessionRecord(file.fileName(), &record, &error));
    QVERIFY(!error.isEmpty());
}

// Beside the results, never over them; runs in progress in the data folder. Levels of nothing
// are -infinity, not those of a sample beyond the count.
void TestSessionRecord::places()
{
    QCOMPARE(sessionRecordPathFor("/d/SUB.1_practice001.txt"), QString("/d/SUB.1_practice001.json"));
    QCOMPARE(sessionRecordPathFor("/d/r.json"), QString("/d/r.json.json"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path()));
    QCoreApplication::setApplicationName("tonvara");
    QCOMPARE(unfinishedRunsFolder(), dir.filePath("tonvara/unfinished"));
    QCOMPARE(QVector<double>({peakDbfs({0.5, 1}, 0), rmsDbfs({0.5, 1}, 0)}), QVector<double>(2, -qInf()));
    // A target that cannot be read is described by its name alone.
    const SessionRecord::Target gone = describeTarget("/gone.wav", WavFile(), {}, 0, 40000);
    QCOMPARE(QVector<double>({double(gone.bytes), double(gone.format), double(gone.bitsPerSample), double(gone.channels),
                              gone.sampleRate, double(gone.frames), gone.resampledTo}), QVector<double>(7, 0.0));
    QCOMPARE(QVector<double>({std::round(peakDbfs({0.5, 1}, 1) * 1e4), std::round(rmsDbfs({0.5, 1}, 1) * 1e4)}),
             QVector<double>({-60206, -60206}));
}

void TestSessionRecord::targetIsDescribedAsLoaded_data()
{
    QTest::addColumn<QByteArray>("loaded");
    const QByteArray mono = WavBuilder().data(WavBuilder::pcm16(QVector<double>(1000, 0.25))).bytes();
    QByteArray sloppy = mono;
    sloppy[32] = 1; // block align, little-endian 16 bits
    QTest::newRow("file edited after the load") << mono;
    QTest::newRow("block align of one byte") << sloppy;
}

// What was played: the bytes as loaded, though the file changed before Go, and the 1000 frames
// decoded, whatever the header's block align says.
void TestSessionRecord::targetIsDescribedAsLoaded()
{
    QFETCH(QByteArray, loaded);
    QFile file(dir.filePath("target.wav"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(loaded) == loaded.size());
    file.close();
    WavFile wav;
    QVERIFY(wav.readWavFile(file.fileName().toUtf8()));
    QVERIFY(file.open(QIODevice::Append) && file.write("edited") == 6);
    file.close();
    const SessionRecord::Target target = describeTarget(file.fileName(), wav, {}, 0, 40000);
    QCOMPARE(target.sha256, QString(QCryptographicHash::hash(loaded, QCryptographicHash::Sha256).toHex()));
    QCOMPARE(QVector<qint64>({target.bytes, target.frames}), QVector<qint64>({loaded.size(), 1000}));
}

QTEST_MAIN(TestSessionRecord)
#include "tst_sessionrecord.moc"
