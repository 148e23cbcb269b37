// The installed program finds its web-engine plugin and its guide page relative
// to itself, while a development build keeps finding them beside the program
// and below the working directory; and the install rules put them where the
// program looks.
#include "Community.h"
#include "common/WebView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPluginLoader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool Touch(const QString& path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write("x") == 1;
}

QString Cleaned(const QString& path)
{
    return QDir::cleanPath(path);
}

} // namespace

class PackageLookupTest : public QObject {
    Q_OBJECT

private slots:
    void pluginLookup_data()
    {
        QTest::addColumn<bool>("beside");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("expected"); // "beside", "installed" or "build"
        QTest::newRow("development build: beside the program") << true << false << "beside";
        QTest::newRow("installed: in the private library folder") << false << true << "installed";
        QTest::newRow("both: the one beside wins") << true << true << "beside";
        QTest::newRow("neither: the build tree's") << false << false << "build";
    }

    void pluginLookup()
    {
        QFETCH(bool, beside);
        QFETCH(bool, installed);
        QFETCH(QString, expected);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString bin = root.path() + "/usr/" AMBERVALE_TEST_BINDIR;
        QVERIFY(QDir().mkpath(bin));
        const QString besidePath = bin + "/libambervale_webengine.so";
        const QString installedPath = Cleaned(bin + "/" AMBERVALE_TEST_PLUGIN_FROM_BINDIR "/libambervale_webengine.so");
        QVERIFY(!installedPath.startsWith(bin)); // out of the program's folder
        if (beside) QVERIFY(Touch(besidePath));
        if (installed) QVERIFY(Touch(installedPath));
        const QString found = WebView::PluginPathFor(bin);
        if (expected == "beside")
            QCOMPARE(found, besidePath);
        else if (expected == "installed")
            QCOMPARE(found, installedPath);
        else
            QCOMPARE(found, QStringLiteral(AMBERVALE_TEST_PLUGIN_BUILD_PATH));
    }

    void guideLookup_data()
    {
        QTest::addColumn<bool>("inWorking");
        QTest::addColumn<bool>("inInstalled");
        QTest::addColumn<bool>("installedKnown");
        QTest::addColumn<bool>("expectInstalled");
        QTest::newRow("below the working directory") << true << false << true << false;
        QTest::newRow("both: the working directory's wins") << true << true << true << false;
        QTest::newRow("only the installed one") << false << true << true << true;
        QTest::newRow("neither: the working directory's address") << false << false << true << false;
        QTest::newRow("no installed folder known") << false << true << false << false;
    }

    void guideLookup()
    {
        QFETCH(bool, inWorking);
        QFETCH(bool, inInstalled);
        QFETCH(bool, installedKnown);
        QFETCH(bool, expectInstalled);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString working = root.path() + "/home/user";
        const QString bin = root.path() + "/usr/bin";
        // As the program passes it: its own folder joined with the relative way to the data folder.
        const QString installed = bin + "/" AMBERVALE_TEST_DATA_FROM_BINDIR;
        QVERIFY(QDir().mkpath(working));
        QVERIFY(QDir().mkpath(bin));
        if (inWorking) QVERIFY(Touch(working + "/html/index.html"));
        if (inInstalled) QVERIFY(Touch(Cleaned(installed) + "/html/index.html"));
        const QUrl url = community::GuideUrl(working, installedKnown ? installed : QString());
        const QString expected = (expectInstalled ? Cleaned(installed) : working) + "/html/index.html";
        QCOMPARE(url, QUrl::fromLocalFile(expected));
        QVERIFY(QFileInfo(url.toLocalFile()).isAbsolute());
        if (expectInstalled) QVERIFY(!url.path().contains("/../"));
    }

    // The client's install rules and the lookups above agree: installed into a
    // fresh prefix, the program's folder leads to a plugin that loads and to the guide.
    void installRulesMatchTheLookup()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(AMBERVALE_TEST_CMAKE), {"--install", AMBERVALE_TEST_BUILD_DIR, "--component",
                                                             "client", "--prefix", root.path() + "/usr"});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());

        const QString bin = root.path() + "/usr/" AMBERVALE_TEST_BINDIR;
        QVERIFY(QFileInfo(bin + "/ambervale").isExecutable());
        QVERIFY2(!QFileInfo::exists(bin + "/libambervale_webengine.so"), "the plugin does not belong in bin");
        QVERIFY2(!QFileInfo::exists(bin + "/html"), "the guide does not belong in bin");
        const QUrl guide = community::GuideUrl(root.path() + "/nowhere", bin + "/" AMBERVALE_TEST_DATA_FROM_BINDIR);
        QVERIFY2(QFileInfo::exists(guide.toLocalFile()), qPrintable(guide.toString()));
        QVERIFY(guide.toLocalFile().startsWith(root.path() + "/usr/share/"));
        QVERIFY(QFileInfo::exists(QFileInfo(guide.toLocalFile()).absolutePath() + "/guide.css"));
        QVERIFY(QFileInfo::exists(root.path() + "/usr/share/applications/ambervale.desktop"));
        QVERIFY(QFileInfo::exists(root.path() + "/usr/share/icons/hicolor/48x48/apps/ambervale.png"));
        QVERIFY(QFileInfo::exists(root.path() + "/usr/share/man/man1/ambervale.1.gz"));

        if (!AMBERVALE_TEST_HAS_PLUGIN) QSKIP("built without the web engine");
        const QString plugin = WebView::PluginPathFor(bin);
        QVERIFY2(plugin.startsWith(root.path() + "/usr/lib/"), qPrintable(plugin));
        QPluginLoader loader(plugin);
        QVERIFY2(loader.load(), qPrintable(loader.errorString()));
        loader.unload();
    }
};

int main(int argc, char** argv)
{
    // As a program that embeds the engine must, before the application exists;
    // the last test loads the installed plugin, which checks it.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    PackageLookupTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_package_lookup.moc"
