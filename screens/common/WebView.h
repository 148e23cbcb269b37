#pragma once
// Embedded browser control. The engine is loaded from its plugin on the first
// navigation or showing, so screens that never browse pay nothing for it.
#include <QList>
#include <QSslCertificate>
#include <QUrl>
#include <QWidget>

class WebEngineBackend;

class WebView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QUrl url READ Url WRITE Navigate)
public:
    explicit WebView(QWidget* parent = nullptr);

    void Navigate(const QUrl& url);
    QUrl Url() const { return m_url; }
    bool HasEngine() const { return m_view != nullptr; }

    // Where the plugin is looked for: beside the program, then where the
    // package installs it relative to the program, then the build tree.
    static QString PluginPath();
    static QString PluginPathFor(const QString& programDir);
    // Why the engine could not be loaded, if it could not.
    static QString LoadError();
    // Maps the engine's libraries on a thread of its own, so that the first page
    // opened afterwards does not hold the window while the loader reads and
    // relocates them. Once per run; the engine itself is still made on first use.
    static void Preload();
    // What a page whose certificate authority the engine does not know is
    // checked against: the service's host and TrustedCas().
    static void AcceptCertificate(QString* serviceHost, QList<QSslCertificate>* trustedCas);
    // The CAs that check uses: the client's extra ones and the system's.
    static QList<QSslCertificate> TrustedCas();

signals:
    void loadFinished(bool ok);

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool EnsureEngine();
    static WebEngineBackend* Backend();

    QWidget* m_view = nullptr;
    QUrl m_url;
};
