#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

const QString sourceDir = QStringLiteral(TONVARA_SOURCE_DIR);
const QString mainWindowTitle = QStringLiteral("Varnel Lab | Tonvara (v014) | Main Window");

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Key=value lines of the [Desktop Entry] group.
QMap<QString, QString> desktopEntry(const QString &path)
{
    QMap<QString, QString> entry;
    bool inGroup = false;
    for (const QByteArray &raw : fileBytes(path).split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith('['))
            inGroup = line == QLatin1String("[Desktop Entry]");
        else if (inGroup && line.contains('=') && !line.startsWith('#'))
            entry.insert(line.section('=', 0, 0).trimmed(), line.section('=', 1).trimmed());
    }
    return entry;
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void installsDemoTargets_data();
    void installsDemoTargets();
    void installsDesktopEntry();
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
    QVERIFY(prefix.isValid());
    QVERIFY(home.isValid());
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(TONVARA_CMAKE_COMMAND),
                  {"--install", QStringLiteral(TONVARA_BUILD_DIR), "--prefix", prefix.path()});
    QVERIFY(install.waitForFinished(120000));
    const QByteArray output = install.readAll();
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0, output.constData());
}

void TestInstall::installsDemoTargets_data()
{
    QTest::addColumn<QString>("fileName");

    const QStringList sources = QDir(sourceDir + "/examples/targets").entryList({"*.wav"}, QDir::Files);
    const QStringList expected = {"am-tone-500Hz-40Hz.wav", "harmonic-complex-220Hz.wav",
                                  "missing-fundamental-200Hz.wav", "pure-tone-440Hz.wav"};
    QCOMPARE(sources, expected);
    for (const QString &name : sources)
        QTest::newRow(qPrintable(name)) << name;
}

void TestInstall::installsDemoTargets()
{
    QFETCH(QString, fileName);
    const QString path = installed(dataDir + "/tonvara/targets/" + fileName);
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    const QByteArray bytes = fileBytes(path);
    QCOMPARE(bytes.size(), 20044);
    QVERIFY(bytes == fileBytes(sourceDir + "/examples/targets/" + fileName));
}

void TestInstall::installsDesktopEntry()
{
    const QString path = installed(dataDir + "/applications/tonvara.desktop");
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    const QMap<QString, QString> entry = desktopEntry(path);
    QCOMPARE(entry.value("Type"), QString("Application"));
    QCOMPARE(entry.value("Name"), QString("Tonvara"));
    QCOMPARE(entry.value("Categories"), QString("Science;Education;"));
    // The launcher finds the program by the name in Exec on the PATH, that is in the prefix's bin.
    const QString program = installed(binDir + "/" + entry.value("Exec"));
    QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
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
    connect(&program, &QProcess::readyReadStandardError, this,
            [&] { errors += program.readAllStandardError(); });
    program.start(installed(binDir + "/tonvara"), QStringList());
    QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));

    QTRY_VERIFY2_WITH_TIMEOUT(errors.contains("window probe: event loop running"), errors.constData(), 30000);
    QVERIFY2(errors.contains("window probe: exposed: " + mainWindowTitle.toUtf8()), errors.constData());
    QCOMPARE(program.state(), QProcess::Running);

    program.terminate();
    QVERIFY(program.waitForFinished(10000));
    // Either ended by the signal itself or, should it learn to handle SIGTERM, quitting with 0.
    if (program.exitStatus() == QProcess::CrashExit)
        QCOMPARE(program.exitCode(), int(SIGTERM));
    else
        QCOMPARE(program.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
