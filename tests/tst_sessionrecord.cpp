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
#include <limits>

namespace {
const double silence = -std::numeric_limits<double>::infinity();
}

// The session record's JSON form, the facts it keeps about a target, and where records go.
class TestSessionRecord : public QObject
{
    Q_OBJECT
private slots:
    void recordReadsBackWhole();
    void unreadableRecordsAreRefused_data();
    void unreadableRecordsAreRefused();
    void targetFacts_data();
    void targetFacts();
    void places_data();
    void places();

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
    record.target.rmsDbfs = -std::numeric_limits<double>::infinity();
    record.hasTrial = true;
    record.matches = {700, 730.5};
    record.requests = {{"target", 0, 12, 762, 763, 1013, ""}, {"sinusoid", 730.5, 2000, 2750, -1, 2751, "failed"}};
    const QString path = dir.filePath("record.json");
    QString error;
    QVERIFY2(writeSessionRecord(path, record, &error), qPrintable(error));
    SessionRecord back;
    QVERIFY2(readSessionRecord(path, &back, &error), qPrintable(error));
    QCOMPARE(QJsonDocument(back.toJson()).toJson(), QJsonDocument(record.toJson()).toJson());

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
    QTest::addColumn<QByteArray>("content"); // empty: no file
    QTest::newRow("cut short") << QByteArray("{\"program\": \"Tonvara\", \"requ");
    QTest::newRow("another program's") << QByteArray("{\"program\": \"other\", \"requests\": []}");
    QTest::newRow("larger than any record") << QByteArray(17 << 20, ' ');
    QTest::newRow("missing") << QByteArray();
}

void TestSessionRecord::unreadableRecordsAreRefused()
{
    QFETCH(QByteArray, content);
    QFile file(dir.filePath(QTest::currentDataTag()));
    QVERIFY(content.isEmpty() || (file.open(QIODevice::WriteOnly) && file.write(content) == content.size()));
    file.close();
    SessionRecord record;
    QString error;
    QVERIFY(!readSessionRecord(file.fileName(), &record, &error));
    QVERIFY(!error.isEmpty());
}

void TestSessionRecord::targetFacts_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<double>("amplitude"); // of the sine played
    QTest::addColumn<QVector<double>>("expected"); // resampledTo, peak and RMS dBFS
    QTest::newRow("session rate, half-scale sine") << 40000 << 1 << 0.5 << QVector<double>{0, -6.0206, -9.0309};
    QTest::newRow("44100 Hz stereo, silence") << 44100 << 2 << 0.0 << QVector<double>{40000, silence, silence};
}

void TestSessionRecord::targetFacts()
{
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(double, amplitude);
    QFETCH(QVector<double>, expected);
    const WavBuilder file = WavBuilder().sampleRate(rate).channels(channels).data(QByteArray(channels * 2 * 300, 1));
    const QString path = dir.filePath("target.wav");
    QVERIFY(file.writeTo(path));
    WavFile wav;
    QVERIFY(wav.readWavFile(path.toUtf8()));
    QVector<double> played(500);
    for (int i = 0; i < played.size(); ++i)
        played[i] = amplitude * std::sin(6.283185307179586 * i / 40.0);

    const SessionRecord::Target target = describeTarget(path, wav, played, 400, 40000);
    QCOMPARE(target.bytes, qint64(file.bytes().size()));
    QCOMPARE(target.sha256, QString(QCryptographicHash::hash(file.bytes(), QCryptographicHash::Sha256).toHex()));
    QCOMPARE(QVector<double>({double(target.format), double(target.bitsPerSample), double(target.channels),
                              target.sampleRate, double(target.frames)}),
             QVector<double>({1, 16, double(channels), double(rate), 300}));
    QCOMPARE(target.resampledTo, expected[0]);
    QVERIFY2(std::abs(target.peakDbfs - expected[1]) < 1e-4 || target.peakDbfs == expected[1], qPrintable(QString::number(target.peakDbfs)));
    QVERIFY2(std::abs(target.rmsDbfs - expected[2]) < 1e-4 || target.rmsDbfs == expected[2], qPrintable(QString::number(target.rmsDbfs)));
}

void TestSessionRecord::places_data()
{
    QTest::addColumn<QString>("results");
    QTest::addColumn<QString>("record");
    QTest::newRow("usual") << "/d/SUB001_practice001.txt" << "/d/SUB001_practice001.json";
    QTest::newRow("no extension") << "/d/results" << "/d/results.json";
    QTest::newRow("results named .json") << "/d/r.json" << "/d/r.json.json";
}

void TestSessionRecord::places()
{
    QFETCH(QString, results);
    QFETCH(QString, record);
    QCOMPARE(sessionRecordPathFor(results), record);
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path()));
    QCoreApplication::setApplicationName("tonvara");
    QCOMPARE(unfinishedRunsFolder(), dir.filePath("tonvara/unfinished"));
}

QTEST_MAIN(TestSessionRecord)
#include "tst_sessionrecord.moc"
