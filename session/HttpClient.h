#pragma once
// A named HTTP client component: its own time-outs, cookie policy and user
// agent. Every request of the client goes through one of these; a request
// returns at once and its outcome arrives later on the GUI thread, so nothing
// ever waits for the network with the window held.
#include "FormEncoding.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

class HttpClient : public QObject {
    Q_OBJECT
public:
    struct Options {
        int connectTimeoutMs = 60000;
        int sendTimeoutMs = 60000;
        int responseTimeoutMs = 60000;
        bool keepCookies = true;
        QByteArray userAgent; // empty: the HTTP library's own
    };

    static constexpr const char* BrowserUserAgent =
        "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
        "Chrome/123.0.0.0 Safari/537.36";
    // Replies of this protocol are a few kilobytes: anything far beyond is refused
    // as a transport failure before it can fill memory or a label.
    static constexpr qint64 MaxBodyBytes = 1024 * 1024;

    HttpClient(const QString& name, const Options& options, QObject* parent = nullptr);
    ~HttpClient() override;

    const Options& options() const { return m_options; }

    // The whole exchange must be over within its time-outs added up: a server
    // that keeps the connection alive with a byte now and then cannot hold a
    // request for longer.
    int DeadlineMs() const;

    // A POST goes out exactly once, on a connection of its own: when that
    // connection drops before the reply, the error event reports it and
    // nothing is sent again (the service may already have acted on it).
    void Post(const QUrl& url, const FormFields& fields);
    void Get(const QUrl& url);

    // Where a POST really goes: a login or password digest ("s", "pass") never
    // follows the settings request's fallback to plain HTTP, whichever screen
    // sends it; it keeps the starting scheme (AppState::SecureScheme).
    static QUrl SecureTarget(const QUrl& url, const FormFields& fields);

    // The reply text: the declared charset when it is not UTF-8, else UTF-8.
    static QString DecodeBody(const QByteArray& body, const QByteArray& contentType);

    struct Outcome {
        bool ok = false;
        QString body;        // when ok
        QString description; // when not ok
    };
    using Answer = std::function<void(const Outcome&)>;

    // The same, answered to answer instead of the signals; when context is
    // given and has gone by then, the outcome is dropped.
    void Post(const QUrl& url, const FormFields& fields, QObject* context, Answer answer);
    void Get(const QUrl& url, QObject* context, Answer answer);

signals:
    // Any reply that arrives, whatever its HTTP status.
    void RequestCompleted(const QString& body);
    // No reply: connection, time-out, TLS or protocol failure.
    void RequestError(const QString& description);

private:
    void Send(const QUrl& url, const QByteArray* formBody, QObject* context, Answer answer);
    void Deliver(const Outcome& outcome);

    Options m_options;
    QNetworkAccessManager* m_nam = nullptr;
};
