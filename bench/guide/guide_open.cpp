// How long the window stops answering when the guide page is first opened: the
// longest gap between the ticks of a 1 ms timer while the web view is made and
// the page loads, and the time spent showing it and starting the load.
//   guide_open            nothing prepared
//   guide_open --preload  the engine's libraries read in on a thread first
//   guide_open --warm     as the program does: read in, then the engine started
//                         after a quiet spell (that stall is printed too)
#include "common/WebView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    const bool warm = app.arguments().contains(QStringLiteral("--warm"));
    const bool preload = warm || app.arguments().contains(QStringLiteral("--preload"));
    QWidget window;
    window.resize(800, 600);
    auto* layout = new QVBoxLayout(&window);
    auto* view = new WebView(&window);
    layout->addWidget(view);
    // An empty first window, so that the platform is up before the clock starts.
    QWidget first;
    first.resize(200, 100);
    first.show();

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, worst = 0, worstBefore = 0, started = -1, callMs = 0, loadedAt = -1;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (started >= 0) worst = std::max(worst, now - last);
        else if (last > 0) worstBefore = std::max(worstBefore, now - last);
        last = now;
    });
    tick.start();
    if (preload && !warm) WebView::Preload();
    qint64 warmMs = -1;
    bool startedBefore = false;
    if (warm) {
        // As the program does: the engine is started after a quiet spell; how long
        // that holds the window is measured by the same ticks, before the page.
        WebView::PrepareWhenIdle(1000);
        QTimer::singleShot(2900, [&] { warmMs = worstBefore; });
    }
    const QUrl page = QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/html/index.html"));
    QTimer::singleShot(preload ? 4000 : 300, [&] {
        startedBefore = WebView::EngineStarted();
        started = clock.elapsed();
        last = started;
        // As the information screen does: shown, then told its page.
        window.show();
        view->Navigate(page);
        callMs = clock.elapsed() - started;
    });
    QObject::connect(view, &WebView::loadFinished, [&](bool ok) {
        if (loadedAt >= 0) return;
        loadedAt = clock.elapsed();
        if (!ok) std::fprintf(stderr, "the page did not load\n");
        QTimer::singleShot(500, &app, &QCoreApplication::quit);
    });
    QTimer::singleShot(60000, &app, [&] {
        std::fprintf(stderr, "no answer in 60 s: %s\n", qPrintable(WebView::LoadError()));
        app.exit(1);
    });
    const int rc = app.exec();
    if (warm && !startedBefore) std::printf("(the engine had not started before the page) ");
    if (warm) std::printf("engine start in the quiet spell held the window %lld ms; ", static_cast<long long>(warmMs));
    std::printf("%s: longest stall %lld ms, in the opening call %lld ms, page loaded after %lld ms\n",
                preload ? "preloaded" : "cold", static_cast<long long>(worst), static_cast<long long>(callMs),
                static_cast<long long>(loadedAt - started));
    return rc;
}
