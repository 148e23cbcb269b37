#pragma once
// Interface of the web-engine plugin. The engine costs tens of megabytes and
// milliseconds at start, so it lives in a plugin loaded on first use.
#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QtPlugin>
#include <QUrl>

class QWidget;

class WebEngineBackend {
public:
    // Asked when the engine refuses a page only because it does not know the
    // authority that signed the page's certificate: the service's host and the
    // CAs the client trusts at that moment. The plugin lets the page load when its
    // chain verifies against those (webtrust::AcceptUnknownAuthority). Any
    // other certificate error is refused without asking.
    using CertificateCheck = void (*)(QString* serviceHost, QList<QSslCertificate>* trustedCas);

    virtual ~WebEngineBackend() = default;
    // A browser widget; it emits loadFinished(bool) after each navigation.
    virtual QWidget* CreateView(QWidget* parent) = 0;
    virtual void Navigate(QWidget* view, const QUrl& url) = 0;
    // Applies to views created afterwards; without one every error is refused.
    virtual void SetCertificateCheck(CertificateCheck check) = 0;
};

#define WebEngineBackend_iid "com.ambervale.WebEngineBackend/1.2"
Q_DECLARE_INTERFACE(WebEngineBackend, WebEngineBackend_iid)
