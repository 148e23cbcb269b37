// The only unit that links the web engine; built as a plugin beside the program.
#include "WebTrust.h"
#include "common/WebEngineBackend.h"

#include <QObject>
#include <QPalette>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineView>

class WebEnginePlugin : public QObject, public WebEngineBackend {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID WebEngineBackend_iid)
    Q_INTERFACES(WebEngineBackend)
public:
    QWidget* CreateView(QWidget* parent) override
    {
        auto* view = new QWebEngineView(parent);
        // Until the page paints, the engine fills the view with its own white,
        // a flash in the dark window: it fills it with the window's colour.
        if (parent) view->page()->setBackgroundColor(parent->palette().color(QPalette::Window));
        const CertificateCheck check = m_check;
        connect(
            view->page(), &QWebEnginePage::certificateError, view, [check](const QWebEngineCertificateError& refused) {
                QWebEngineCertificateError error = refused;
                // Only an unknown authority may be outweighed, by the
                // client's own CA; expired, revoked, misnamed and the
                // rest stay refused.
                const bool unknownAuthority =
                    error.type() == QWebEngineCertificateError::CertificateAuthorityInvalid && error.isOverridable();
                if (unknownAuthority && check && Trusted(check, error.url(), error.certificateChain()))
                    error.acceptCertificate();
                else
                    error.rejectCertificate();
            });
        return view;
    }
    void Navigate(QWidget* view, const QUrl& url) override
    {
        if (auto* web = qobject_cast<QWebEngineView*>(view)) web->load(url);
    }
    void SetCertificateCheck(CertificateCheck check) override { m_check = check; }

private:
    static bool Trusted(CertificateCheck check, const QUrl& url, const QList<QSslCertificate>& chain)
    {
        QString host;
        QList<QSslCertificate> cas;
        check(&host, &cas);
        return webtrust::AcceptUnknownAuthority(url, chain, host, cas);
    }

    CertificateCheck m_check = nullptr;
};

#include "WebEnginePlugin.moc"
