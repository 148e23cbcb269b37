// The web engine costs start-up time and tens of megabytes, so it must enter the
// process only when a web view is first navigated or shown, never at start.
#include "Login.h"
#include "Screens.h"
#include "common/WebView.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <fstream>
#include <string>

namespace {

constexpr const char* EngineLibrary = "libQt6WebEngineCore";

// Whether a shared object whose path contains 'name' is mapped into this process.
bool Mapped(const char* name)
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find(name) != std::string::npos) return true;
    return false;
}

bool MapsReadable()
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    return std::getline(maps, line) && !line.empty();
}

// The engine's own widget inside a WebView, once it has one.
QWidget* EngineWidget(WebView& view)
{
    const auto children = view.findChildren<QWidget*>();
    for (QWidget* w : children)
        if (w->inherits("QWebEngineView")) return w;
    return nullptr;
}

} // namespace

class WebViewLazyLoadTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(MapsReadable(), "/proc/self/maps is needed to see which libraries are loaded");
        // This binary links ambervale_client: if the client pulled in the engine, it would be here already.
        QVERIFY2(!Mapped(EngineLibrary), "the web engine is loaded before any screen exists");
    }

    void programDoesNotLinkEngine()
    {
        QProcess ldd;
        ldd.start(QStringLiteral("ldd"), {QStringLiteral(AMBERVALE_PROGRAM_PATH)});
        if (!ldd.waitForStarted(10000)) QSKIP("ldd is not available");
        QVERIFY(ldd.waitForFinished(60000));
        QCOMPARE(ldd.exitCode(), 0);
        const QString deps = QString::fromLocal8Bit(ldd.readAllStandardOutput());
        // ldd really listed the program's libraries.
        QVERIFY2(deps.contains(QLatin1String("libQt6Widgets")), qPrintable(deps));
        QVERIFY2(!deps.contains(QLatin1String("libQt6WebEngine")), qPrintable(deps));
    }

    void startUpLeavesEngineUnloaded()
    {
        CreateScreens();
        const QList<QWidget*> screens = AllScreens();
        QCOMPARE(screens.size(), 12);
        ScreenNamed("login")->show();
        QVERIFY(QTest::qWaitForWindowExposed(ScreenNamed("login")));
        // Past the login screen's delayed start-up work (its show timer), not just the first frame.
        QTest::qWait(1500);
        QVERIFY(ScreenNamed("login")->isVisible());

        int webViews = 0;
        for (QWidget* screen : screens)
            for (WebView* view : screen->findChildren<WebView*>()) {
                ++webViews;
                QVERIFY2(!view->HasEngine(), qPrintable(view->objectName()));
            }
        QVERIFY2(webViews > 0, "the login screen's embedded browser was expected among the screens");
        QVERIFY2(!Mapped(EngineLibrary), "creating the screens and showing the login window loaded the web engine");
        QVERIFY(!Mapped("libambervale_webengine"));
    }

    void navigationLoadsEngineAndPage()
    {
#if !AMBERVALE_HAS_WEBENGINE_PLUGIN
        QSKIP("built without Qt WebEngine, so there is no plugin to load");
#endif
        QVERIFY(!Mapped(EngineLibrary));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile page(dir.filePath(QStringLiteral("page.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<!DOCTYPE html><html><head><title>lazy-engine-probe</title></head>"
                   "<body><p>local page</p></body></html>");
        page.close();
        const QUrl url = QUrl::fromLocalFile(page.fileName());

        WebView view;
        view.resize(320, 240);
        QSignalSpy finished(&view, &WebView::loadFinished);
        QVERIFY(finished.isValid());
        view.Navigate(url);
        QVERIFY2(view.HasEngine(),
                 qPrintable(QStringLiteral("plugin %1: %2").arg(WebView::PluginPath(), WebView::LoadError())));
        QCOMPARE(view.Url(), url);
        view.show();

        // The engine starts its helper process first; a busy machine can take many seconds.
        QTRY_VERIFY_WITH_TIMEOUT(finished.count() >= 1, 120000);
        QCOMPARE(finished.first().first().toBool(), true);
        QVERIFY2(Mapped(EngineLibrary), "the page loaded but the web engine library is not mapped");
        QVERIFY(Mapped("libambervale_webengine"));

        QWidget* engine = EngineWidget(view);
        QVERIFY(engine);
        QTRY_COMPARE_WITH_TIMEOUT(engine->property("title").toString(), QStringLiteral("lazy-engine-probe"), 30000);
    }

    void missingPageReportsFailure()
    {
#if !AMBERVALE_HAS_WEBENGINE_PLUGIN
        QSKIP("built without Qt WebEngine, so there is no plugin to load");
#endif
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        WebView view;
        view.resize(320, 240);
        QSignalSpy finished(&view, &WebView::loadFinished);
        view.Navigate(QUrl::fromLocalFile(dir.filePath(QStringLiteral("absent.html"))));
        QVERIFY(view.HasEngine());
        view.show();
        QTRY_VERIFY_WITH_TIMEOUT(finished.count() >= 1, 120000);
        QCOMPARE(finished.first().first().toBool(), false);
    }

    void cleanupTestCase()
    {
        DestroyScreens();
    }
};

QTEST_MAIN(WebViewLazyLoadTest)
#include "tst_webview_lazy_load.moc"
