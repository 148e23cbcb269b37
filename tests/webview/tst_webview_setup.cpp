// The web view's set-up: the engine loads lazily without complaining about the
// start-up order, it really draws the page, and it trusts for the service's
// host exactly what the client's HTTP requests trust.
#include "AppState.h"
#include "FakeService.h"
#include "Tls.h"
#include "common/WebView.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QScreen>
#include <QMutex>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

QMutex messagesLock;
QStringList messages;
QtMessageHandler previousHandler = nullptr;

void Record(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    {
        QMutexLocker lock(&messagesLock);
        messages << text;
    }
    if (previousHandler) previousHandler(type, context, text);
}

// Installed after the test library's own handler, which it passes the
// messages on to, and before any web view exists.
void InstallRecorder()
{
    previousHandler = qInstallMessageHandler(Record);
}

QStringList Messages()
{
    QMutexLocker lock(&messagesLock);
    return messages;
}

// Share of the picture's pixels close to the colour.
double Coverage(const QImage& image, QColor colour)
{
    if (image.isNull()) return 0;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    qint64 hits = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            if (std::abs(qRed(line[x]) - colour.red()) < 24 && std::abs(qGreen(line[x]) - colour.green()) < 24 &&
                std::abs(qBlue(line[x]) - colour.blue()) < 24)
                ++hits;
    }
    return double(hits) / (double(rgb.width()) * rgb.height());
}

QByteArray Page(const QByteArray& title, const QByteArray& colour)
{
    return "<!DOCTYPE html><html><head><title>" + title +
           "</title><style>html,body{margin:0;height:100%;background:" + colour +
           "}</style></head><body></body></html>";
}

const QColor PageColour(200, 30, 30);

ScriptedReply PageReply()
{
    ScriptedReply reply;
    reply.body = Page("tls-probe", "rgb(200,30,30)");
    return reply;
}

// Loads the address in a fresh view and tells whether the page came.
bool Loads(const QUrl& url, WebView& view)
{
    view.resize(300, 200);
    QSignalSpy finished(&view, &WebView::loadFinished);
    view.Navigate(url);
    view.show();
    if (!QTest::qWaitFor([&] { return finished.count() >= 1; }, 120000)) return false;
    return finished.first().first().toBool();
}

bool Requested(const FakeService& fake, const QByteArray& path)
{
    for (const RecordedRequest& r : fake.requests())
        if (r.pathWithoutQuery() == path) return true;
    return false;
}

} // namespace

class WebViewSetupTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
#if !AMBERVALE_HAS_WEBENGINE_PLUGIN
        QSKIP("built without Qt WebEngine, so there is no plugin to load");
#endif
        InstallRecorder();
    }

    // The engine needs OpenGL context sharing, which Qt wants decided before
    // the application object exists; loading it later must not warn about it,
    // and the page must still be drawn.
    void pageIsDrawnWithoutStartUpWarnings()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile page(dir.filePath(QStringLiteral("red.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write(Page("red-probe", "rgb(200,30,30)"));
        page.close();

        WebView view;
        view.resize(300, 200);
        QSignalSpy finished(&view, &WebView::loadFinished);
        view.Navigate(QUrl::fromLocalFile(page.fileName()));
        QVERIFY2(view.HasEngine(), qPrintable(WebView::LoadError()));
        view.show();
        QTRY_VERIFY_WITH_TIMEOUT(finished.count() >= 1, 120000);
        QCOMPARE(finished.first().first().toBool(), true);
        // The first frames after loading may still be empty.
        QTRY_VERIFY_WITH_TIMEOUT(Coverage(view.grab().toImage(), PageColour) > 0.8, 30000);
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            // What the X server shows, not only what the widget renders when asked.
            QScreen* screen = view.screen();
            QTRY_VERIFY_WITH_TIMEOUT(Coverage(screen->grabWindow(view.winId()).toImage(), PageColour) > 0.8, 30000);
        }

        for (const QString& m : Messages()) {
            QVERIFY2(!m.contains(QLatin1String("AA_ShareOpenGLContexts")), qPrintable(m));
            QVERIFY2(!m.contains(QLatin1String("must be set before QCoreApplication")), qPrintable(m));
            QVERIFY2(!m.contains(QLatin1String("initialized from a plugin")), qPrintable(m));
            QVERIFY2(!m.contains(QLatin1String("used before QtWebEngineCore::initialize")), qPrintable(m));
        }
    }

    // The service's certificate chains to the client's extra CA, which the
    // engine does not know: its pages load all the same.
    void serviceCertificateIsTrusted()
    {
        FakeService service(FakeService::Transport::Https);
        QVERIFY2(service.isListening(), qPrintable(service.errorString()));
        service.setDefaultReply(PageReply());
        QVERIFY(tls::TrustExtraCaFile(service.caCertificatePath()) > 0);
        State().ServerAddress = QStringLiteral("://") + service.hostPort() + QLatin1Char('/');

        WebView view;
        const QUrl url(QStringLiteral("https://%1/morec/ads/a-ads_1.php").arg(service.hostPort()));
        QVERIFY(Loads(url, view));
        QVERIFY(Requested(service, "/morec/ads/a-ads_1.php"));
        QTRY_VERIFY_WITH_TIMEOUT(Coverage(view.grab().toImage(), PageColour) > 0.8, 30000);

        // The same certificate, valid for "localhost" too, is not trusted for a host other than the service's.
        WebView other;
        QVERIFY(!Loads(QUrl(QStringLiteral("https://localhost:%1/elsewhere").arg(service.port())), other));
        QVERIFY(!Requested(service, "/elsewhere"));
    }

    // A server whose CA the client does not carry stays refused, also on the service's host.
    void unknownCertificateIsRefused()
    {
        FakeService stranger(FakeService::Transport::Https);
        QVERIFY2(stranger.isListening(), qPrintable(stranger.errorString()));
        stranger.setDefaultReply(PageReply());
        State().ServerAddress = QStringLiteral("://") + stranger.hostPort() + QLatin1Char('/');

        WebView view;
        QVERIFY(!Loads(QUrl(QStringLiteral("https://%1/morec/ads/a-ads_2.php").arg(stranger.hostPort())), view));
        QVERIFY(!Requested(stranger, "/morec/ads/a-ads_2.php"));
    }
};

QTEST_MAIN(WebViewSetupTest)
#include "tst_webview_setup.moc"
