#include "app/MainWindow.h"

#include <QStatusBar>
#include "support/TemporaryDesktop.h"

#include <QApplication>
#include <QAudioDeviceInfo>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// With no sound server every sound fails at once, and each request must still end its
// presentation, so that the listener's window gets its controls back.
class TestPlaybackNoServer : public QObject
{
    Q_OBJECT
private slots:
    void failedSoundsEndTheirPresentations_data();
    void failedSoundsEndTheirPresentations();
};

void TestPlaybackNoServer::failedSoundsEndTheirPresentations_data()
{
    QTest::addColumn<QList<int>>("responses");
    QTest::addColumn<QString>("shown");
    QTest::newRow("target") << QList<int>{2} << "not started yet";
    QTest::newRow("sinusoid, then target") << QList<int>{4, 2} << "730";
    QTest::newRow("three sinusoids") << QList<int>{4, 4, 4} << "730";
}

void TestPlaybackNoServer::failedSoundsEndTheirPresentations()
{
    QFETCH(QList<int>, responses);
    QFETCH(QString, shown);
    QVERIFY2(QAudioDeviceInfo::defaultOutputDevice().isNull(), "a sound server answered; the test needs none");
    TemporaryDesktop desktop;
    QVERIFY(desktop.isValid());
    QTest::ignoreMessage(QtWarningMsg, "Raw audio format not supported by backend, cannot play audio.");
    MainWindow window;
    QVERIFY(window.statusBar()->currentMessage().endsWith("the listener will hear nothing."));
    window.parameters.sampleCount = 10000;
    window.targetSignal = QVector<double>(10000, 0.5);
    window.parameters.trials.resize(1);
    window.playOrder = {0};
    window.parameters.soundDuration = 0.01;
    window.parameters.silentInterval = 0.0;
    QSignalSpy playing(&window, SIGNAL(soundPlaying(int)));

    QList<int> expected, seen;
    for (int response : responses) {
        QTest::ignoreMessage(QtWarningMsg, "Audio stopped unexpectedly");
        QVERIFY(QMetaObject::invokeMethod(&window, "updateMainwindow", Q_ARG(qint32, response),
                                          Q_ARG(qint32, response == 4 ? 730 : 0)));
        expected << 1 << -1;
        QTRY_COMPARE_WITH_TIMEOUT(playing.count(), expected.size(), 5000);
        QVERIFY(!window.audioBytes);
        QVERIFY(!window.audioBuffer);
        QVERIFY(!window.audioOutput);
    }
    for (const QList<QVariant> &arguments : qAsConst(playing))
        seen << arguments.at(0).toInt();
    QCOMPARE(seen, expected);
    QCOMPARE(window.lineEditFrequencyMatched->text(), shown);
    // The experimenter is told, not only the log.
    QVERIFY(window.statusBar()->currentMessage().startsWith("A sound could not be played"));
    QCOMPARE(window.parameters.sinusoidCount, int(responses.count(4)));
}

int main(int argc, char **argv)
{
    // Before the application object exists, so the sound plugin never sees a server: the socket
    // lies in a fresh folder and does not exist.
    QTemporaryDir noServer;
    if (!noServer.isValid())
        return 1;
    qputenv("PULSE_SERVER", QByteArray("unix:") + QFile::encodeName(noServer.filePath(QStringLiteral("native"))));
    QApplication application(argc, argv);
    TestPlaybackNoServer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_playbacknoserver.moc"
