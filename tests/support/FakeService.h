#pragma once

// A scripted HTTP/HTTPS service on the loopback interface, for the client's
// network tests.
//
// The server runs on a thread of its own with its own event loop. The client
// under test may block the GUI thread for a whole exchange (a local event
// loop, waitFor...() calls, or no event processing at all) and the service
// still answers.
//
// Typical use:
//
//     FakeService fake;                               // or FakeService(FakeService::Transport::Https)
//     fake.enqueue({.body = "OK"});                   // first request gets this
//     fake.enqueue({.body = "oops", .status = 500});  // second one this
//     client.setHost(fake.hostPort());                // "127.0.0.1:PORT"
//     client.login("bob", "pw");                      // may block; fine
//     QCOMPARE(fake.requestCount(), 2);
//     QCOMPARE(fake.requests().at(0).field("a"), u"useraccount"_s);
//
// Which reply a request gets, first match wins:
//   1. the handler, if one is set (runs on the server thread: lock what it shares);
//   2. the reply set for its action (form field "a"), if one is;
//   3. the head of the FIFO queue;
//   4. the default reply, if one is set;
//   5. otherwise a 404 "nothing scripted" reply, a qWarning, and
//      unscriptedRequestCount() goes up, so a test can assert it stayed 0.
//
// Note on dropConnection: a plain QNetworkAccessManager may silently re-send a
// request whose connection was closed before any answer (whether it does
// depends on that connection's history; the client's HttpClient never re-sends
// a POST, and its tests count on exactly one request). A single queued drop can therefore
// be swallowed, the retry taking the next queued reply. For a drop that
// reliably reaches the client as an error, drop every time (setDefaultReply or
// setHandler with dropConnection = true), and do not assert an exact
// requestCount() around drops.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

struct RecordedRequest {
    QByteArray method;                            // "GET", "POST", ...
    QByteArray path;                              // request target as sent, query included, e.g. "/api.php"
    QByteArray version;                           // "HTTP/1.1"
    QList<QPair<QByteArray, QByteArray>> headers; // arrival order, names as sent, values trimmed
    QByteArray body;                              // raw bytes
    // Form body (Content-Type application/x-www-form-urlencoded) decoded in
    // order: '+' is a space, %XX are UTF-8 bytes. A piece without '=' gives an
    // empty value. Empty for any other content type.
    QList<QPair<QString, QString>> fields;
    quint64 connectionId = 0; // same id = same TCP connection (keep-alive)
    bool encrypted = false;   // arrived over TLS

    // First header of that name, compared case-insensitively; null if absent.
    QByteArray header(const QByteArray& name) const;
    // First field of that name; a null QString if absent (an empty field is "" and not null).
    QString field(const QString& name) const;
    bool hasField(const QString& name) const;
    // Path without the query, e.g. "/lotto/btc.json".
    QByteArray pathWithoutQuery() const;
};

struct ScriptedReply {
    QByteArray body{};                    // sent as is: encode it to match charset yourself
    QByteArray charset = "utf-8";         // empty: Content-Type gets no charset parameter
    QByteArray contentType = "text/html"; // empty: no Content-Type header at all
    int status = 200;                     // any code; the reason phrase is filled in
    int delayMs = 0;                      // wait this long before answering (other connections go on)
    bool dropConnection = false;          // after delayMs, close without answering
    int trickleMs = 0;                    // > 0: head at once, then the body one byte at a time, this far apart
    QList<QPair<QByteArray, QByteArray>> extraHeaders{}; // added after the standard ones
};

class FakeService {
public:
    // Both: plain HTTP and TLS on the same port, told apart by the first byte
    // the client sends (a TLS handshake starts with 0x16).
    enum class Transport { Http, Https, Both };

    // Starts the thread and listens on 127.0.0.1 at a port the OS picks.
    // For Https a throw-away CA and a server certificate for 127.0.0.1 and
    // localhost are made first with the openssl command line tool.
    // Check isListening(); on failure errorString() says why.
    explicit FakeService(Transport transport = Transport::Http);
    // Https or Both with a fixed CA: certificateDir holds ca.pem, server.pem
    // and server.key (an EC key), as tests/support/certs does.
    FakeService(Transport transport, const QString& certificateDir);
    // Closes every connection (pending delayed replies are dropped) and stops the thread.
    ~FakeService();

    FakeService(const FakeService&) = delete;
    FakeService& operator=(const FakeService&) = delete;

    bool isListening() const;
    QString errorString() const;
    Transport transport() const;

    quint16 port() const;
    QString hostPort() const; // "127.0.0.1:PORT"
    QUrl baseUrl() const;     // "http(s)://127.0.0.1:PORT/" (https for Both)

    // Scripting. All of these are safe to call from any thread at any time.
    void enqueue(const ScriptedReply& reply);
    int queuedReplyCount() const;
    void setHandler(std::function<ScriptedReply(const RecordedRequest&)> handler); // empty function: unset
    void setDefaultReply(const ScriptedReply& reply);
    void clearDefaultReply();
    // Every request of this action gets reply, and never takes a queued one
    // (for requests the client sends on its own, whenever they come).
    void setActionReply(const QString& action, const ScriptedReply& reply);
    void clearActionReply(const QString& action);

    // Requests are recorded once complete (headers and whole body), before
    // the reply is chosen, so a handler already sees its own request here.
    QList<RecordedRequest> requests() const;
    int requestCount() const; // poll it with QTRY_COMPARE if you spin an event loop
    int unscriptedRequestCount() const;
    void clearRequests(); // also resets unscriptedRequestCount

    // Blocks the calling thread on a condition variable until at least n
    // requests have been recorded, or the time-out passes. It does NOT process
    // the caller's events: use it only when the client sends from another
    // thread or has already sent; with a client on the same thread that needs
    // its event loop to send, use QTRY_COMPARE(fake.requestCount(), n) instead.
    bool waitForRequestCount(int n, int timeoutMs) const;

    // Https and Both (empty for Http). The PEM file stays until the service is destroyed.
    QString caCertificatePath() const;
    QList<QSslCertificate> caCertificates() const;

    struct Private;

private:
    void start();
    std::unique_ptr<Private> d;
};
