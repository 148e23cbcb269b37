#include "WebView.h"
#include "WebEngineBackend.h"
#include "AppState.h"
#include "WebTrust.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QOpenGLContext>
#include <QPluginLoader>
#include <QSslConfiguration>
#include <QVBoxLayout>
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
    });
    // A program that ends early waits for the loader rather than unloading
    // libraries under it.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] {
        if (loading->joinable()) loading->join();
    });
}

WebEngineBackend* WebView::Backend()
{
    static WebEngineBackend* backend = []() -> WebEngineBackend* {
        ShareOpenGLContexts();
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
