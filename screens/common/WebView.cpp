#include "WebView.h"
#include "Accessible.h"
#include "WebEngineBackend.h"
#include "AppState.h"
#include "WebTrust.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QFileInfo>
#include <QLibrary>
#include <QOpenGLContext>
#include <QPluginLoader>
#include <QSslConfiguration>
#include <QVBoxLayout>
#include <atomic>
#include <thread>

// Exported by Qt GUI; what the application object does at start when
// AA_ShareOpenGLContexts is already set.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

#ifndef AMBERVALE_WEBENGINE_PLUGIN_BUILD_PATH
#define AMBERVALE_WEBENGINE_PLUGIN_BUILD_PATH ""
#endif
// The installed plugin's folder relative to the installed program's (e.g.
// ../lib/x86_64-linux-gnu/ambervale): Debian keeps private plugins out of /usr/bin.
#ifndef AMBERVALE_WEBENGINE_PLUGIN_INSTALL_DIR
#define AMBERVALE_WEBENGINE_PLUGIN_INSTALL_DIR ""
#endif

namespace {
std::atomic<bool> g_libraryRead{false};
bool g_engineStarted = false;

QString& Error()
{
    static QString error;
    return error;
}
} // namespace

WebView::WebView(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

QString WebView::PluginPath()
{
    return PluginPathFor(QCoreApplication::applicationDirPath());
}

QString WebView::PluginPathFor(const QString& programDir)
{
    const QString file = QStringLiteral("libambervale_webengine.so");
    const QString beside = programDir + QLatin1Char('/') + file;
    if (QFileInfo::exists(beside)) return beside;
    const QString installDir = QStringLiteral(AMBERVALE_WEBENGINE_PLUGIN_INSTALL_DIR);
    if (!installDir.isEmpty()) {
        const QString installed = QDir::cleanPath(programDir + QLatin1Char('/') + installDir + QLatin1Char('/') + file);
        if (QFileInfo::exists(installed)) return installed;
    }
    return QStringLiteral(AMBERVALE_WEBENGINE_PLUGIN_BUILD_PATH);
}

QString WebView::LoadError()
{
    return Error();
}

namespace {
// The engine draws through one OpenGL context shared by every window. Asking
// for it before the application exists (Qt::AA_ShareOpenGLContexts) makes Qt
// create it at start, which loads the GL driver (about 60 MB and tens of
// milliseconds under X11) into every run; made here, only runs that browse pay
// for it. The attribute itself is not set: once the application exists Qt
// only warns about it, and nothing the client uses reads it afterwards. The
// engine and the widgets that show its pages look for the shared context
// itself (the web-view tests check that a page reaches the screen under X11).
void ShareOpenGLContexts()
{
    if (QOpenGLContext::globalShareContext()) return;
    auto* context = new QOpenGLContext(qApp);
    context->create(); // may fail headless; the engine then draws in software
    qt_gl_set_global_share_context(context);
}
} // namespace

void WebView::Preload()
{
    static std::thread* loading = nullptr;
    if (loading) return;
    // The engine's library looks for the shared context while it is being
    // loaded, so it must exist before, and only the GUI thread may make it.
    ShareOpenGLContexts();
    loading = new std::thread([path = PluginPath()] {
        // The GUI thread's later load of the same file finds it mapped (or waits
        // for this one to finish): never loaded twice, never unloaded.
        QLibrary library(path);
        library.setLoadHints(QLibrary::PreventUnloadHint);
        library.load();
        g_libraryRead = true;
    });
    // A program that ends early waits for the loader rather than unloading
    // libraries under it.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] {
        if (loading->joinable()) loading->join();
    });
}

namespace {
// Watches the user's input and starts the engine after a quiet spell.
class IdleEngineStart : public QObject {
public:
    IdleEngineStart(int idleMs) : QObject(qApp), m_idleMs(idleMs)
    {
        m_quiet.start();
        qApp->installEventFilter(this);
        connect(&m_check, &QTimer::timeout, this, &IdleEngineStart::Check);
        m_check.start(250);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
            m_quiet.restart();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Check()
    {
        if (g_engineStarted) return Done(); // a page came first
        if (!g_libraryRead || m_quiet.elapsed() < m_idleMs) return;
        // A view that is never shown: the engine and its profile stay when it goes.
        auto* spare = new WebView;
        spare->Navigate(QUrl(QStringLiteral("about:blank")));
        connect(spare, &WebView::loadFinished, spare, &QObject::deleteLater);
        QTimer::singleShot(60000, spare, &QObject::deleteLater);
        Done();
    }
    void Done()
    {
        m_check.stop();
        qApp->removeEventFilter(this);
        deleteLater();
    }

    int m_idleMs;
    QElapsedTimer m_quiet;
    QTimer m_check;
};
} // namespace

void WebView::PrepareWhenIdle(int idleMs)
{
    static bool asked = false;
    if (asked) return;
    asked = true;
    Preload();
    new IdleEngineStart(idleMs);
}

bool WebView::LibraryRead()
{
    return g_libraryRead;
}

bool WebView::EngineStarted()
{
    return g_engineStarted;
}

WebEngineBackend* WebView::Backend()
{
    static WebEngineBackend* backend = []() -> WebEngineBackend* {
        ShareOpenGLContexts();
        accessible::PrepareWebEngine(); // read by the engine once, when it starts

        auto* loader = new QPluginLoader(PluginPath(), qApp);
        QObject* instance = loader->instance();
        if (!instance) {
            Error() = loader->errorString();
            return nullptr;
        }
        auto* engine = qobject_cast<WebEngineBackend*>(instance);
        if (!engine) {
            Error() = QStringLiteral("the plugin does not provide the web engine interface");
            return nullptr;
        }
        engine->SetCertificateCheck(&WebView::AcceptCertificate);
        return engine;
    }();
    return backend;
}

void WebView::AcceptCertificate(QString* serviceHost, QList<QSslCertificate>* trustedCas)
{
    // What the HTTP clients trust: the service's host, signed by the client's extra CA or by one in the
    // system's list (where the service package puts its CA; the engine keeps a root list of its own).
    *serviceHost = webtrust::HostName(State().ServerAddress);
    *trustedCas = TrustedCas();
}

QList<QSslCertificate> WebView::TrustedCas()
{
    QList<QSslCertificate> cas;
    for (const QSslCertificate& c : webtrust::ExtraCas() + QSslConfiguration::systemCaCertificates())
        if (!cas.contains(c)) cas << c;
    return cas;
}

bool WebView::EnsureEngine()
{
    if (m_view) return true;
    WebEngineBackend* backend = Backend();
    if (!backend) return false;
    m_view = backend->CreateView(this);
    g_engineStarted = true;
    // The page's own name is its title; the view keeps the name its form gives it.
    if (!accessibleName().isEmpty()) m_view->setAccessibleName(accessibleName());
    layout()->addWidget(m_view);
    connect(m_view, SIGNAL(loadFinished(bool)), this, SIGNAL(loadFinished(bool)));
    return true;
}

void WebView::Navigate(const QUrl& url)
{
    m_url = url;
    if (EnsureEngine() && !url.isEmpty()) Backend()->Navigate(m_view, url);
}

void WebView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_view && EnsureEngine() && !m_url.isEmpty()) Backend()->Navigate(m_view, m_url);
}
