#include "WebView.h"
#include "WebEngineBackend.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPluginLoader>
#include <QVBoxLayout>

#ifndef AMBERVALE_WEBENGINE_PLUGIN_BUILD_PATH
#define AMBERVALE_WEBENGINE_PLUGIN_BUILD_PATH ""
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
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/libambervale_webengine.so");
    if (QFileInfo::exists(beside)) return beside;
    return QStringLiteral(AMBERVALE_WEBENGINE_PLUGIN_BUILD_PATH);
}

QString WebView::LoadError()
{
    return Error();
}

WebEngineBackend* WebView::Backend()
{
    static WebEngineBackend* backend = [] () -> WebEngineBackend* {
        auto* loader = new QPluginLoader(PluginPath(), qApp);
        QObject* instance = loader->instance();
        if (!instance) {
            Error() = loader->errorString();
            return nullptr;
        }
        return qobject_cast<WebEngineBackend*>(instance);
    }();
    return backend;
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
