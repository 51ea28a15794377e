#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void installsFiles_data();
    void installsFiles();
    void installedProgramShowsItsWindow();

private:
    QString installed(const QString &relativePath) const { return QDir(prefix.path()).filePath(relativePath); }

    QTemporaryDir prefix;
    QTemporaryDir home;
    const QString binDir = QStringLiteral(TONVARA_INSTALL_BINDIR);
    const QString dataDir = QStringLiteral(TONVARA_INSTALL_DATADIR);
};

void TestInstall::initTestCase()
{
    QVERIFY(prefix.isValid() && home.isValid());
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(TONVARA_CMAKE_COMMAND),
                  {"--install", QStringLiteral(TONVARA_BUILD_DIR), "--prefix", prefix.path()});
    QVERIFY(install.waitForFinished(120000));
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0, install.readAll().constData());
}

void TestInstall::installsFiles_data()
{
    QTest::addColumn<QString>("path");   // in the prefix
    QTest::addColumn<QString>("source"); // in the source tree

    for (const char *name : {"am-tone-500Hz-40Hz.wav", "harmonic-complex-220Hz.wav",
                             "missing-fundamental-200Hz.wav", "pure-tone-440Hz.wav"})
        QTest::newRow(name) << dataDir + "/tonvara/targets/" + name << QString("examples/targets/") + name;
    QTest::newRow("desktop entry") << dataDir + "/applications/tonvara.desktop" << "data/tonvara.desktop";
}

void TestInstall::installsFiles()
{
    QFETCH(QString, path);
    QFETCH(QString, source);

    const QByteArray bytes = fileBytes(installed(path));
    QVERIFY2(!bytes.isEmpty(), qPrintable(installed(path)));
    QCOMPARE(bytes.toHex(), fileBytes(QStringLiteral(TONVARA_SOURCE_DIR "/") + source).toHex());
}

void TestInstall::installedProgramShowsItsWindow()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QT_PLUGIN_PATH", QStringLiteral(TONVARA_PROBE_PLUGIN_PATH));
    environment.insert("QT_QPA_GENERIC_PLUGINS", "tonvarawindowprobe");
    environment.insert("HOME", home.path());

    QProcess program;
    program.setProcessEnvironment(environment);
    QByteArray errors;
    connect(&program, &QProcess::readyReadStandardError, this, [&] { errors += program.readAllStandardError(); });
    program.start(installed(binDir + "/tonvara"), QStringList());
    QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));

    QTRY_VERIFY2_WITH_TIMEOUT(errors.contains("window probe: event loop running"), errors.constData(), 30000);
    QVERIFY2(errors.contains("window probe: exposed: Varnel Lab | Tonvara (v014) | Main Window"), errors.constData());
    QCOMPARE(program.state(), QProcess::Running);
    program.terminate();
    QVERIFY(program.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
