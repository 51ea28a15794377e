#include "app/MainWindow.h"
#include "support/TemporaryDesktop.h"

#include <QApplication>
#include <QAudioDeviceInfo>
#include <QAudioOutput>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <memory>

// Playback with no sound server to reach: every sound fails at once, and each request must still
// end its presentation so that the listener's window gets its controls back.
class TestPlaybackNoServer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void failedSoundEndsThePresentation_data();
    void failedSoundEndsThePresentation();
    void failedSoundThroughTheTrialLoop();

private:
    std::unique_ptr<TemporaryDesktop> desktop;
    std::unique_ptr<MainWindow> window;
};

void TestPlaybackNoServer::initTestCase()
{
    QVERIFY2(QAudioDeviceInfo::defaultOutputDevice().isNull(), "a sound server answered; the test needs none");
}

void TestPlaybackNoServer::init()
{
    desktop.reset(new TemporaryDesktop);
    QVERIFY(desktop->isValid());
    QTest::ignoreMessage(QtWarningMsg, "Raw audio format not supported by backend, cannot play audio.");
    window.reset(new MainWindow);
    window->parameters.sampleCount = 10000;
    window->targetSignal = QVector<double>(10000, 0.5);
    window->sinusoidSignal.resize(10000);
    for (int i = 0; i < window->sinusoidSignal.size(); ++i)
        window->sinusoidSignal[i] = std::sin(2.0 * M_PI * 730.0 * i / 40000.0);
    window->parameters.trials.resize(1);
    window->parameters.trials.first().matchedFrequency = 730;
}

void TestPlaybackNoServer::cleanup()
{
    window.reset();
    desktop.reset();
}

void TestPlaybackNoServer::failedSoundEndsThePresentation_data()
{
    QTest::addColumn<bool>("sinusoidMode");
    QTest::addColumn<int>("requests");
    QTest::addColumn<QString>("shownAfter");
    QTest::addColumn<int>("sinusoidCount");

    QTest::newRow("target") << false << 1 << "not started yet" << 0;
    QTest::newRow("sinusoid") << true << 1 << "730" << 1;
    QTest::newRow("three targets in a row") << false << 3 << "not started yet" << 0;
    QTest::newRow("three sinusoids in a row") << true << 3 << "730" << 3;
}

void TestPlaybackNoServer::failedSoundEndsThePresentation()
{
    QFETCH(bool, sinusoidMode);
    QFETCH(int, requests);
    QFETCH(QString, shownAfter);
    QFETCH(int, sinusoidCount);
    window->sinusoidMode = sinusoidMode;
    window->parameters.sinusoidCount = 0;

    QSignalSpy playing(window.get(), SIGNAL(soundPlaying(int)));
    QList<int> expected;
    for (int request = 0; request < requests; ++request) {
        window->soundIndex = 0;
        QTest::ignoreMessage(QtWarningMsg, "Audio stopped unexpectedly");
        QVERIFY(QMetaObject::invokeMethod(window.get(), "playOneSound"));
        expected << 1 << -1;
        QCOMPARE(playing.count(), expected.size());
        QVERIFY(!window->audioBytes);
        QVERIFY(!window->audioBuffer);
        QVERIFY(!window->audioOutput);
    }
    QList<int> seen;
    for (const QList<QVariant> &arguments : qAsConst(playing))
        seen << arguments.at(0).toInt();
    QCOMPARE(seen, expected);
    QCOMPARE(window->lineEditFrequencyMatched->text(), shownAfter);
    QCOMPARE(window->parameters.sinusoidCount, sinusoidCount);
}

void TestPlaybackNoServer::failedSoundThroughTheTrialLoop()
{
    window->playOrder = {0};
    window->playPosition = 0;
    window->parameters.soundDuration = 0.25;
    window->parameters.silentInterval = 0.0;
    QSignalSpy playing(window.get(), SIGNAL(soundPlaying(int)));

    QTest::ignoreMessage(QtWarningMsg, "Audio stopped unexpectedly");
    QVERIFY(QMetaObject::invokeMethod(window.get(), "updateMainwindow", Q_ARG(qint32, 4), Q_ARG(qint32, 730)));
    QTRY_COMPARE_WITH_TIMEOUT(playing.count(), 2, 5000);
    QCOMPARE(playing.at(0).at(0).toInt(), 1);
    QCOMPARE(playing.at(1).at(0).toInt(), -1);

    // The listener asks again after the failure; that request is answered the same way.
    QTest::ignoreMessage(QtWarningMsg, "Audio stopped unexpectedly");
    QVERIFY(QMetaObject::invokeMethod(window.get(), "updateMainwindow", Q_ARG(qint32, 2), Q_ARG(qint32, 0)));
    QTRY_COMPARE_WITH_TIMEOUT(playing.count(), 4, 5000);
    QCOMPARE(playing.at(2).at(0).toInt(), 1);
    QCOMPARE(playing.at(3).at(0).toInt(), -1);
    QVERIFY(!window->audioOutput);
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
