#pragma once
// Interface of the web-engine plugin. The engine costs tens of megabytes and
// milliseconds at start, so it lives in a plugin loaded on first use.
#include <QtPlugin>
#include <QUrl>

class QWidget;

class WebEngineBackend {
public:
    virtual ~WebEngineBackend() = default;
    // A browser widget; it emits loadFinished(bool) after each navigation.
    virtual QWidget* CreateView(QWidget* parent) = 0;
    virtual void Navigate(QWidget* view, const QUrl& url) = 0;
};

#define WebEngineBackend_iid "com.ambervale.WebEngineBackend/1.0"
Q_DECLARE_INTERFACE(WebEngineBackend, WebEngineBackend_iid)
