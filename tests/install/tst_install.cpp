#include "support/TemporaryDesktop.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

static QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Checks the trees the fixture install_trees made (ctest runs it first): the build installed with
// `cmake --install` into a prefix, and the Debian package unpacked.
class TestInstall : public QObject
{
    Q_OBJECT
private slots:
    void installsFiles_data();
    void installsFiles();
    void installedProgramShowsItsWindow_data();
    void installedProgramShowsItsWindow();
};

void TestInstall::installsFiles_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("original");

    const QString source = QStringLiteral(TONVARA_SOURCE_DIR "/");
    QMap<QString, QString> originals = { // path under the prefix, original
        {"share/applications/tonvara.desktop", source + "data/tonvara.desktop"},
        {"share/icons/hicolor/scalable/apps/tonvara.svg", source + "data/tonvara.svg"},
        {"share/metainfo/org.tonvara.Tonvara.metainfo.xml", source + "data/org.tonvara.Tonvara.metainfo.xml"},
        {"share/doc/tonvara/copyright", source + "LICENSE"},
        {"share/man/man1/tonvara.1.gz", TONVARA_BUILD_DIR "/data/tonvara.1.gz"}};
    for (const QString &target : QDir(source + "examples/targets").entryList({"*.wav"}))
        originals.insert("share/tonvara/targets/" + target, source + "examples/targets/" + target);
    for (const char *tree : {"prefix", "package/usr"})
        for (auto it = originals.cbegin(); it != originals.cend(); ++it)
            QTest::addRow("%s/%s", tree, qPrintable(it.key()))
                << QStringLiteral(TONVARA_TREES "/%1/%2").arg(tree, it.key()) << it.value();
}

void TestInstall::installsFiles()
{
    QFETCH(QString, installed);
    QFETCH(QString, original);
    const QByteArray bytes = fileBytes(installed);
    QVERIFY2(!bytes.isEmpty(), qPrintable(installed));
    QCOMPARE(bytes.toHex(), fileBytes(original).toHex());
}

void TestInstall::installedProgramShowsItsWindow_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("cmake --install") << QStringLiteral(TONVARA_TREES "/prefix/bin/tonvara");
    QTest::newRow("package") << QStringLiteral(TONVARA_TREES "/package/usr/bin/tonvara");
}

void TestInstall::installedProgramShowsItsWindow()
{
    QFETCH(QString, program);
    const TemporaryDesktop home; // the program's settings and data go there
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QT_PLUGIN_PATH", QStringLiteral(TONVARA_PROBE_PLUGIN_PATH));
    environment.insert("QT_QPA_GENERIC_PLUGINS", "tonvarawindowprobe");

    QProcess tonvara;
    tonvara.setProcessEnvironment(environment);
    QByteArray errors;
    connect(&tonvara, &QProcess::readyReadStandardError, this, [&] { errors += tonvara.readAllStandardError(); });
    tonvara.start(program, QStringList());
    QVERIFY2(tonvara.waitForStarted(10000), qPrintable(tonvara.errorString()));

    QTRY_VERIFY2_WITH_TIMEOUT(errors.contains("window probe: event loop running"), errors.constData(), 30000);
    QVERIFY2(errors.contains("window probe: exposed: Varnel Lab | Tonvara (v014) | Main Window"), errors.constData());
    QCOMPARE(tonvara.state(), QProcess::Running);
    tonvara.terminate();
    QVERIFY(tonvara.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
