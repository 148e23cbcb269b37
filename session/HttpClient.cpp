#include "HttpClient.h"
#include "Tls.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>
#include <QThread>
#include <algorithm>
#include <memory>

namespace {

class NoCookies : public QNetworkCookieJar {
public:
    using QNetworkCookieJar::QNetworkCookieJar;
    QList<QNetworkCookie> cookiesForUrl(const QUrl&) const override { return {}; }
    bool setCookiesFromUrl(const QList<QNetworkCookie>&, const QUrl&) override { return false; }
};

QNetworkAccessManager* MakeManager(const HttpClient::Options& o, QObject* parent)
{
    auto* nam = new QNetworkAccessManager(parent);
    if (!o.keepCookies) nam->setCookieJar(new NoCookies(nam));
    return nam;
}

QNetworkRequest MakeRequest(const QUrl& url, const HttpClient::Options& o, bool isPost)
{
    QNetworkRequest req(url);
    // The library offers one inactivity time-out; it covers connecting, sending and waiting.
    req.setTransferTimeout(std::max({o.connectTimeoutMs, o.sendTimeoutMs, o.responseTimeoutMs}));
    if (!o.userAgent.isEmpty()) req.setHeader(QNetworkRequest::UserAgentHeader, QString::fromLatin1(o.userAgent));
    if (isPost) req.setRawHeader("Content-Type", form::ContentType);
    if (url.scheme() == QLatin1String("https")) req.setSslConfiguration(tls::Configuration());
    return req;
}

// Watches one reply: enforces the size cap and turns the result into an outcome.
struct ReplyWatch {
    bool tooLarge = false;
};

void Watch(QNetworkReply* reply, const std::shared_ptr<ReplyWatch>& w)
{
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, w](qint64 received, qint64) {
        if (received > HttpClient::MaxBodyBytes && !w->tooLarge) {
            w->tooLarge = true;
            reply->abort();
        }
    });
}

HttpClient::Outcome Conclude(QNetworkReply* reply, const ReplyWatch& w)
{
    HttpClient::Outcome out;
    const auto err = reply->error();
    const bool httpAnswered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    // Qt reports 4xx/5xx as errors; for this client any reply with a body is a reply.
    // Qt files 400 and 418 under ProtocolInvalidOperationError, outside the content range.
    const bool statusOnly =
        httpAnswered && ((err >= QNetworkReply::ContentAccessDenied && err <= QNetworkReply::UnknownContentError) ||
                         err == QNetworkReply::ProtocolInvalidOperationError ||
                         (err >= QNetworkReply::InternalServerError && err <= QNetworkReply::UnknownServerError));
    if (w.tooLarge) {
        out.description = QStringLiteral("the reply is larger than %1 bytes").arg(HttpClient::MaxBodyBytes);
    } else if (err == QNetworkReply::NoError || statusOnly) {
        out.ok = true;
        out.body =
            HttpClient::DecodeBody(reply->readAll(), reply->header(QNetworkRequest::ContentTypeHeader).toByteArray());
    } else if (err == QNetworkReply::OperationCanceledError) {
        out.description = QStringLiteral("the server did not answer in time (%1)").arg(reply->url().host());
    } else {
        out.description = reply->errorString();
    }
    return out;
}

} // namespace

HttpClient::HttpClient(const QString& name, const Options& options, QObject* parent)
    : QObject(parent), m_options(options)
{
    setObjectName(name);
    if (m_options.mode == Mode::Background) {
        m_nam = MakeManager(m_options, this);
    } else {
        m_thread = new QThread(this);
        m_thread->setObjectName(name);
        m_worker = new QObject;
        m_worker->moveToThread(m_thread);
        connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread->start();
    }
}

HttpClient::~HttpClient()
{
    if (m_thread) {
        m_thread->quit();
        m_thread->wait();
    }
}

void HttpClient::Post(const QUrl& url, const FormFields& fields)
{
    const QByteArray body = form::Encode(fields);
    Send(url, &body);
}

void HttpClient::Get(const QUrl& url)
{
    Send(url, nullptr);
}

void HttpClient::Send(const QUrl& url, const QByteArray* formBody)
{
    const QNetworkRequest req = MakeRequest(url, m_options, formBody != nullptr);
    if (m_options.mode == Mode::Background) {
        QNetworkReply* reply = formBody ? m_nam->post(req, *formBody) : m_nam->get(req);
        auto w = std::make_shared<ReplyWatch>();
        Watch(reply, w);
        connect(reply, &QNetworkReply::finished, this, [this, reply, w] {
            reply->deleteLater();
            Deliver(Conclude(reply, *w));
        });
        return;
    }

    // Blocking: the GUI thread waits here without running its event loop, so no
    // timer, other reply or input is handled until this exchange is over.
    Outcome outcome;
    const QByteArray body = formBody ? *formBody : QByteArray();
    const bool isPost = formBody != nullptr;
    QMetaObject::invokeMethod(
        m_worker,
        [&] {
            if (!m_workerNam) m_workerNam = MakeManager(m_options, m_worker);
            QNetworkReply* reply = isPost ? m_workerNam->post(req, body) : m_workerNam->get(req);
            auto w = std::make_shared<ReplyWatch>();
            Watch(reply, w);
            QEventLoop loop;
            connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
            if (!reply->isFinished()) loop.exec();
            outcome = Conclude(reply, *w);
            delete reply;
        },
        Qt::BlockingQueuedConnection);
    Deliver(outcome);
}

void HttpClient::Deliver(const Outcome& outcome)
{
    if (outcome.ok)
        emit RequestCompleted(outcome.body);
    else
        emit RequestError(outcome.description);
}

QString HttpClient::DecodeBody(const QByteArray& body, const QByteArray& contentType)
{
    QByteArray charset;
    for (const QByteArray& part : contentType.split(';')) {
        const QByteArray p = part.trimmed();
        if (p.toLower().startsWith("charset=")) {
            charset = p.mid(8).trimmed();
            if (charset.size() >= 2 && charset.startsWith('"') && charset.endsWith('"'))
                charset = charset.mid(1, charset.size() - 2);
        }
    }
    const QByteArray lower = charset.toLower();
    if (!charset.isEmpty() && lower != "utf-8" && lower != "utf8") {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid()) return decoder.decode(body);
        // An unknown charset: UTF-8 keeps every ASCII character and loses nothing else silently.
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    return utf8.decode(body);
}
