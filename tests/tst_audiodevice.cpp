#include <QAudioDeviceInfo>
#include <QAudioFormat>
#include <QTest>

// The test sound server must be there: every playback test depends on it.
class TestAudioDevice : public QObject
{
    Q_OBJECT
private slots:
    void serverIsConfigured();
    void defaultOutputTakesTheProgramsFormat();
};

void TestAudioDevice::serverIsConfigured()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("PULSE_SERVER"),
             "run the tests with scripts/audio-server run -- ... (make test does)");
}

void TestAudioDevice::defaultOutputTakesTheProgramsFormat()
{
    const QAudioDeviceInfo device = QAudioDeviceInfo::defaultOutputDevice();
    QVERIFY2(!device.isNull(), "no default audio output: is libqt5multimedia5-plugins installed?");
    QAudioFormat format;
    format.setSampleRate(40000);
    format.setChannelCount(1);
    format.setSampleSize(32);
    format.setCodec("audio/pcm");
    format.setByteOrder(QAudioFormat::LittleEndian);
    format.setSampleType(QAudioFormat::Float);
    QVERIFY(device.isFormatSupported(format));
}

QTEST_GUILESS_MAIN(TestAudioDevice)
#include "tst_audiodevice.moc"
