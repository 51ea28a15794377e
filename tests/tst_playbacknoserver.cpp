#include "app/MainWindow.h"
#include "support/TemporaryDesktop.h"

#include <QApplication>
#include <QAudioDeviceInfo>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStatusBar>
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
}

void TestPlaybackNoServer::failedSoundsEndTheirPresentations()
{
    QFETCH(QList<int>, responses);
    QFETCH(QString, shown);
    QVERIFY2(QAudioDeviceInfo::defaultOutputDevice().isNull(), "a sound server answered; the test needs none");
    TemporaryDesktop desktop;
    QTest::ignoreMessage(QtWarningMsg, "Raw audio format not supported by backend, cannot play audio.");
    MainWindow window;
    QVERIFY(window.statusBar()->currentMessage().endsWith("the listener will hear nothing."));
    window.parameters.sampleCount = 400;
    window.targetSignal = QVector<double>(400, 0.5);
    window.parameters.trials.resize(1);
    window.playOrder = {0};
    window.parameters.soundDuration = window.parameters.silentInterval = 0.0;
    QSignalSpy playing(&window, SIGNAL(soundPlaying(int)));
    QList<QVariant> expected;
    for (int response : responses) {
        QTest::ignoreMessage(QtWarningMsg, "Audio stopped unexpectedly");
        QVERIFY(QMetaObject::invokeMethod(&window, "updateMainwindow", Q_ARG(qint32, response), Q_ARG(qint32, 730)));
        expected << 1 << -1;
        QTRY_COMPARE(playing.size(), expected.size());
        QVERIFY(!window.audioBytes && !window.audioBuffer && !window.audioOutput);
    }
    QList<QVariant> seen;
    for (const QList<QVariant> &arguments : qAsConst(playing))
        seen << arguments.first();
    QCOMPARE(seen, expected);
    QCOMPARE(window.lineEditFrequencyMatched->text(), shown);
    QVERIFY(window.statusBar()->currentMessage().startsWith("A sound could not be played"));
}

int main(int argc, char **argv)
{
    // Before the application object exists, so the sound plugin never sees a server: the socket
    // lies in a fresh folder and does not exist.
    QTemporaryDir noServer;
    qputenv("PULSE_SERVER", QByteArray("unix:") + QFile::encodeName(noServer.filePath(QStringLiteral("native"))));
    QApplication application(argc, argv);
    TestPlaybackNoServer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_playbacknoserver.moc"
