// The only unit that links the web engine; built as a plugin beside the program.
#include "common/WebEngineBackend.h"

#include <QObject>
#include <QWebEngineView>

class WebEnginePlugin : public QObject, public WebEngineBackend {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID WebEngineBackend_iid)
    Q_INTERFACES(WebEngineBackend)
public:
    QWidget* CreateView(QWidget* parent) override { return new QWebEngineView(parent); }
    void Navigate(QWidget* view, const QUrl& url) override
    {
        if (auto* web = qobject_cast<QWebEngineView*>(view)) web->load(url);
    }
};

#include "WebEnginePlugin.moc"
