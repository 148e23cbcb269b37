#include "HttpClient.h"
#include "AppState.h"
#include "Tls.h"

#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

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

QNetworkRequest MakeRequest(const QUrl& url, const HttpClient::Options& o, qint64 postBytes)
{
    QNetworkRequest req(url);
    // The library offers one inactivity time-out; it covers connecting, sending and waiting.
    req.setTransferTimeout(std::max({o.connectTimeoutMs, o.sendTimeoutMs, o.responseTimeoutMs}));
    if (!o.userAgent.isEmpty()) req.setHeader(QNetworkRequest::UserAgentHeader, QString::fromLatin1(o.userAgent));
    if (postBytes >= 0) {
        req.setRawHeader("Content-Type", form::ContentType);
        req.setHeader(QNetworkRequest::ContentLengthHeader, postBytes);
        // The body is read once and never buffered again: when the library would
        // re-send it on a fresh connection, it cannot, and reports the drop instead.
        req.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
        // A connection of its own, so no POST meets a keep-alive connection the
        // server has quietly closed; HTTP/2 would multiplex it onto a shared one.
        req.setRawHeader("Connection", "close");
        req.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    }
    if (url.scheme() == QLatin1String("https")) req.setSslConfiguration(tls::Configuration());
    return req;
}

// A request body that can be read once only: sequential, no seek, no reset.
class OnceOnlyBody : public QIODevice {
public:
    explicit OnceOnlyBody(const QByteArray& data) : m_data(data) { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_data.size() - m_pos + QIODevice::bytesAvailable(); }
    bool reset() override { return false; }

protected:
    qint64 readData(char* out, qint64 max) override
    {
        const qint64 n = std::min(max, qint64(m_data.size()) - m_pos);
        if (n <= 0) return m_pos >= m_data.size() ? -1 : 0;
        memcpy(out, m_data.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_pos = 0;
};

// Watches one reply: enforces the size cap and the overall deadline and turns
// the result into an outcome.
struct ReplyWatch {
    bool tooLarge = false;
    bool deadlinePassed = false;
    int deadlineMs = 0;
};

QNetworkReply* Start(QNetworkAccessManager* nam, const QNetworkRequest& req, const QByteArray* body)
{
    if (!body) return nam->get(req);
    auto* device = new OnceOnlyBody(*body);
    QNetworkReply* reply = nam->post(req, device);
    device->setParent(reply);
    return reply;
}

void Watch(QNetworkReply* reply, const std::shared_ptr<ReplyWatch>& w)
{
    const auto refuse = [reply, w](qint64 bytes) {
        if (bytes > HttpClient::MaxBodyBytes && !w->tooLarge && !w->deadlinePassed) {
            w->tooLarge = true;
            reply->abort();
        }
    };
    // A declared length is refused before a byte of the body is read.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, refuse] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid()) refuse(length.toLongLong());
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [refuse](qint64 received, qint64) { refuse(received); });
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, [reply, w] {
        if (reply->isFinished() || w->tooLarge) return;
        w->deadlinePassed = true;
        reply->abort();
    });
    deadline->start(w->deadlineMs);
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
    } else if (w.deadlinePassed) {
        out.description = QStringLiteral("the server did not complete its reply within %1 seconds (%2)")
                              .arg(w.deadlineMs / 1000.0)
                              .arg(reply->url().host());
    } else if (err == QNetworkReply::NoError || statusOnly) {
        out.ok = true;
        out.body =
            HttpClient::DecodeBody(reply->readAll(), reply->header(QNetworkRequest::ContentTypeHeader).toByteArray());
    } else if (err == QNetworkReply::OperationCanceledError) {
        out.description = QStringLiteral("the server did not answer in time (%1)").arg(reply->url().host());
    } else if (err == QNetworkReply::ContentReSendError) {
        // The library wanted to send the request a second time; it is sent once only.
        out.description = QStringLiteral("the connection to %1 closed before the reply; the request was not repeated")
                              .arg(reply->url().host());
    } else if (err == QNetworkReply::SslHandshakeFailedError) {
        out.description =
            QStringLiteral("no secure connection to %1 (TLS): %2").arg(reply->url().host(), reply->errorString());
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
    m_nam = MakeManager(m_options, this);
}

HttpClient::~HttpClient() = default;

int HttpClient::DeadlineMs() const
{
    return m_options.connectTimeoutMs + m_options.sendTimeoutMs + m_options.responseTimeoutMs;
}

QUrl HttpClient::SecureTarget(const QUrl& url, const FormFields& fields)
{
    const AppState& st = State();
    if (!st.SchemeFallback || url.scheme() != QLatin1String("http")) return url;
    const bool secret = std::any_of(fields.begin(), fields.end(), [](const auto& f) {
        return f.first == QLatin1String("s") || f.first == QLatin1String("pass");
    });
    if (!secret) return url;
    QUrl target = url;
    target.setScheme(st.SecureScheme());
    return target;
}

void HttpClient::Post(const QUrl& url, const FormFields& fields)
{
    Post(url, fields, nullptr, [this](const Outcome& outcome) { Deliver(outcome); });
}

void HttpClient::Get(const QUrl& url)
{
    Get(url, nullptr, [this](const Outcome& outcome) { Deliver(outcome); });
}

void HttpClient::Post(const QUrl& url, const FormFields& fields, QObject* context, Answer answer)
{
    const QByteArray body = form::Encode(fields);
    Send(SecureTarget(url, fields), &body, context, std::move(answer));
}

void HttpClient::Get(const QUrl& url, QObject* context, Answer answer)
{
    Send(url, nullptr, context, std::move(answer));
}

void HttpClient::Send(const QUrl& url, const QByteArray* formBody, QObject* context, Answer answer)
{
    const bool bound = context != nullptr;
    const QPointer<QObject> target = context;
    const QNetworkRequest req = MakeRequest(url, m_options, formBody ? formBody->size() : -1);
    auto w = std::make_shared<ReplyWatch>();
    w->deadlineMs = DeadlineMs();
    QNetworkReply* reply = Start(m_nam, req, formBody);
    Watch(reply, w);
    connect(reply, &QNetworkReply::finished, this, [reply, w, bound, target, answer = std::move(answer)] {
        reply->deleteLater();
        // The one who asked has gone (a screen torn down): nobody is left to show it to.
        if (bound && !target) return;
        answer(Conclude(reply, *w));
    });
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
