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
    // Preload() now, then makes the engine itself once keyboard and mouse have
    // been left alone for idleMs, so that the first page opened later shows at
    // once instead of holding the window while the engine starts. Once per run.
    static void PrepareWhenIdle(int idleMs = 4000);
    // Whether Preload() has read the libraries in, and whether the engine has
    // been made (by a page or by PrepareWhenIdle).
    static bool LibraryRead();
    static bool EngineStarted();
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
