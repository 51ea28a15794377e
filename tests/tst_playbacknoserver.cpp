#include "app/MainWindow.h"
#include "support/TemporaryDesktop.h"

#include <QAudioDeviceInfo>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

// With no sound server each request must still end its presentation (the listener's window
// gets its controls back), and the experimenter is told.
class TestPlaybackNoServer : public QObject
{
    Q_OBJECT
private slots:
    // Before any sound is asked for: the sound plugin then looks for a socket that cannot exist.
    void initTestCase() { qputenv("PULSE_SERVER", "unix:/dev/null/native"); }
    void failedSoundsEndTheirPresentations();
};

void TestPlaybackNoServer::failedSoundsEndTheirPresentations()
{
    QVERIFY2(QAudioDeviceInfo::defaultOutputDevice().isNull(), "a sound server answered; the test needs none");
    TemporaryDesktop desktop;
    QTest::ignoreMessage(QtWarningMsg, "Raw audio format not supported by backend, cannot play audio.");
    MainWindow window;
    QVERIFY(window.statusBar()->currentMessage().endsWith("the listener will hear nothing."));
    window.parameters.sampleCount = 400;
    window.targetSignal = QVector<double>(400, 0.5);
    window.playOrder = {0};
    window.parameters.soundDuration = window.parameters.silentInterval = 0.0;
    QSignalSpy playing(&window, SIGNAL(soundPlaying(int)));
    for (int response : {4, 2}) { // a sinusoid, then the target
        playing.clear();
        QTest::ignoreMessage(QtWarningMsg, "Audio stopped unexpectedly");
        QVERIFY(QMetaObject::invokeMethod(&window, "updateMainwindow", Q_ARG(qint32, response), Q_ARG(qint32, 730)));
        QTRY_COMPARE(QList<QVariantList>(playing), (QList<QVariantList>{{1}, {-1}}));
    }
    QVERIFY(window.statusBar()->currentMessage().startsWith("A sound could not be played"));
}

QTEST_MAIN(TestPlaybackNoServer)
#include "tst_playbacknoserver.moc"
