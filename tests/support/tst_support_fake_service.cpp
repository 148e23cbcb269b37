// Proves the fake service with a plain QNetworkAccessManager (and a raw
// socket where the wire format itself matters), over HTTP and HTTPS.

#include "FakeService.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;
using Transport = FakeService::Transport;
using Fields = QList<QPair<QString, QString>>;

Q_DECLARE_METATYPE(ScriptedReply)
Q_DECLARE_METATYPE(FakeService::Transport)

namespace {

constexpr int kTimeoutMs = 15000;
const QByteArray kFormType = "application/x-www-form-urlencoded; charset=utf-8";

// A client as the application would have one: no proxy, and for HTTPS the
// fake's CA added to the trust store of the request (errors are never ignored).
class Client {
public:
    explicit Client(const FakeService& fake, bool trustFakeCa = true) : m_fake(fake), m_trust(trustFakeCa)
    {
        m_nam.setProxy(QNetworkProxy::NoProxy);
    }

    QNetworkReply* post(const QString& path, const QByteArray& body, const QByteArray& connection = {})
    {
        QNetworkRequest req = request(path);
        req.setHeader(QNetworkRequest::ContentTypeHeader, kFormType);
        if (!connection.isEmpty()) req.setRawHeader("Connection", connection);
        return m_nam.post(req, body);
    }

    QNetworkReply* get(const QString& path) { return m_nam.get(request(path)); }

private:
    QNetworkRequest request(const QString& path) const
    {
        QNetworkRequest req(m_fake.baseUrl().resolved(QUrl(path)));
        if (m_fake.transport() != Transport::Http && m_trust) {
            QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
            conf.addCaCertificates(m_fake.caCertificates());
            req.setSslConfiguration(conf);
        }
        return req;
    }

    const FakeService& m_fake;
    bool m_trust;
    QNetworkAccessManager m_nam;
};

bool waitFinished(QNetworkReply* reply)
{
    if (reply->isFinished()) return true;
    QSignalSpy spy(reply, &QNetworkReply::finished);
    return spy.wait(kTimeoutMs);
}

void addTransportColumns()
{
    QTest::addColumn<Transport>("transport");
}

const char* name(Transport t)
{
    return t == Transport::Https ? "https" : "http";
}

// Blocking read of one response from a raw socket: head plus Content-Length bytes.
struct RawResponse {
    QByteArray statusLine;
    QByteArray head;
    QByteArray body;
};

bool readResponse(QTcpSocket& socket, QByteArray& pending, RawResponse& out)
{
    qsizetype end;
    while ((end = pending.indexOf("\r\n\r\n")) < 0) {
        if (!socket.waitForReadyRead(kTimeoutMs)) return false;
        pending += socket.readAll();
    }
    out.head = pending.left(end + 2); // every header line keeps its CRLF
    out.statusLine = out.head.left(out.head.indexOf("\r\n"));
    qsizetype length = -1;
    for (const QByteArray& line : out.head.split('\n'))
        if (line.toLower().startsWith("content-length:")) length = line.mid(15).trimmed().toLongLong();
    if (length < 0) return false;
    pending.remove(0, end + 4);
    while (pending.size() < length) {
        if (!socket.waitForReadyRead(kTimeoutMs)) return false;
        pending += socket.readAll();
    }
    out.body = pending.left(length);
    pending.remove(0, length);
    return true;
}

} // namespace

class FakeServiceSelfTest : public QObject {
    Q_OBJECT

private slots:
    void formFieldsRecordedInOrder_data();
    void formFieldsRecordedInOrder();
    void scriptedReplyArrives_data();
    void scriptedReplyArrives();
    void replySelection();
    void keepAliveReusesConnection_data();
    void keepAliveReusesConnection();
    void rawWireWithoutEventLoop();
    void delayDoesNotBlockOtherConnections_data();
    void delayDoesNotBlockOtherConnections();
    void destroyedWhileReplyPending();
    void droppedConnectionIsNetworkError_data();
    void droppedConnectionIsNetworkError();
    void httpsWithSystemTrustFails();
    void bothTransportsOnOnePort();
    void trickledBodyComesByteByByte();
    void fixedCertificatesFromAFolder();
};

void FakeServiceSelfTest::formFieldsRecordedInOrder_data()
{
    addTransportColumns();
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<Fields>("fields");

    const QString big(300000, u'x'); // several TCP/TLS reads on the server side
    for (Transport t : {Transport::Http, Transport::Https}) {
        QTest::addRow("%s login", name(t)) << t << QByteArray("a=useraccount&ref=&s=bob&pass=ABC123&session=s1")
                                           << Fields{{u"a"_s, u"useraccount"_s},
                                                     {u"ref"_s, u""_s},
                                                     {u"s"_s, u"bob"_s},
                                                     {u"pass"_s, u"ABC123"_s},
                                                     {u"session"_s, u"s1"_s}};
        QTest::addRow("%s reserved characters", name(t))
            << t << QByteArray("s=b%26o%3Db&pass=1%2B1+2&k%3D1=v")
            << Fields{{u"s"_s, u"b&o=b"_s}, {u"pass"_s, u"1+1 2"_s}, {u"k=1"_s, u"v"_s}};
        QTest::addRow("%s non-ascii utf-8", name(t))
            << t << QByteArray("name=J%C3%BCrgen+%E2%82%AC&emoji=%F0%9F%98%80")
            << Fields{{u"name"_s, u"J\u00fcrgen \u20ac"_s}, {u"emoji"_s, u"\U0001F600"_s}};
        QTest::addRow("%s order kept, duplicates and bare names", name(t))
            << t << QByteArray("z=1&flag&&a=2&z=3")
            << Fields{{u"z"_s, u"1"_s}, {u"flag"_s, u""_s}, {u"a"_s, u"2"_s}, {u"z"_s, u"3"_s}};
        QTest::addRow("%s large body", name(t)) << t << QByteArray("a=1&blob=" + big.toLatin1() + "&b=2")
                                                << Fields{{u"a"_s, u"1"_s}, {u"blob"_s, big}, {u"b"_s, u"2"_s}};
    }
}

void FakeServiceSelfTest::formFieldsRecordedInOrder()
{
    QFETCH(Transport, transport);
    QFETCH(QByteArray, body);
    QFETCH(Fields, fields);

    FakeService fake(transport);
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    fake.enqueue({.body = "thanks"});
    Client client(fake);
    std::unique_ptr<QNetworkReply> reply(client.post(u"api.php"_s, body));
    QVERIFY(waitFinished(reply.get()));
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(reply->readAll(), QByteArray("thanks"));

    QCOMPARE(fake.requestCount(), 1);
    const RecordedRequest req = fake.requests().first();
    QCOMPARE(req.method, QByteArray("POST"));
    QCOMPARE(req.path, QByteArray("/api.php"));
    QCOMPARE(req.header("content-type"), kFormType);
    QCOMPARE(req.header("CONTENT-LENGTH"), QByteArray::number(body.size()));
    QCOMPARE(req.body, body);
    QCOMPARE(req.fields, fields);
    // field() tells a missing field (null) from an empty one.
    QCOMPARE(req.field(fields.first().first), fields.first().second);
    QVERIFY(req.field(u"no such field"_s).isNull());
    QVERIFY(!req.hasField(u"no such field"_s));
    for (const auto& f : fields) {
        QVERIFY(req.hasField(f.first));
        QVERIFY(!req.field(f.first).isNull());
    }
}

void FakeServiceSelfTest::scriptedReplyArrives_data()
{
    addTransportColumns();
    QTest::addColumn<QString>("path");
    QTest::addColumn<ScriptedReply>("scripted");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QNetworkReply::NetworkError>("error");

    for (Transport t : {Transport::Http, Transport::Https}) {
        QTest::addRow("%s utf-8 html", name(t)) << t << u"api.php"_s
                                                << ScriptedReply{.body = "<p>Gr\xc3\xbc\xc3\x9f"
                                                                         "e</p>"}
                                                << QByteArray("text/html; charset=utf-8") << QNetworkReply::NoError;
        QTest::addRow("%s latin-1 html", name(t))
            << t << u"api.php"_s
            << ScriptedReply{.body = "<p>Gr\xfc\xdf"
                                     "e</p>",
                             .charset = "iso-8859-1"}
            << QByteArray("text/html; charset=iso-8859-1") << QNetworkReply::NoError;
        QTest::addRow("%s no charset parameter", name(t))
            << t << u"api.php"_s << ScriptedReply{.body = "plain", .charset = ""} << QByteArray("text/html")
            << QNetworkReply::NoError;
        QTest::addRow("%s json file by GET", name(t))
            << t << u"lotto/btc.json"_s
            << ScriptedReply{.body = R"({"jackpot": 1.5})", .contentType = "application/json"}
            << QByteArray("application/json; charset=utf-8") << QNetworkReply::NoError;
        QTest::addRow("%s status 500 with html body", name(t))
            << t << u"api.php"_s << ScriptedReply{.body = "<html><b>Fatal error</b></html>", .status = 500}
            << QByteArray("text/html; charset=utf-8") << QNetworkReply::InternalServerError;
        QTest::addRow("%s extra header replaces content type", name(t))
            << t << u"api.php"_s
            << ScriptedReply{.body = "x", .extraHeaders = {{"content-type", "text/plain"}, {"X-Extra", "1"}}}
            << QByteArray("text/plain") << QNetworkReply::NoError;
    }
}

void FakeServiceSelfTest::scriptedReplyArrives()
{
    QFETCH(Transport, transport);
    QFETCH(QString, path);
    QFETCH(ScriptedReply, scripted);
    QFETCH(QByteArray, contentType);
    QFETCH(QNetworkReply::NetworkError, error);

    FakeService fake(transport);
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    fake.enqueue(scripted);
    Client client(fake);
    const bool isGet = path.endsWith(u".json"_s);
    std::unique_ptr<QNetworkReply> reply(isGet ? client.get(path) : client.post(path, "a=x"));
    QVERIFY(waitFinished(reply.get()));
    QCOMPARE(reply->error(), error);
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), scripted.status);
    QCOMPARE(reply->rawHeader("Content-Type"), contentType);
    QCOMPARE(reply->readAll(), scripted.body);
    for (const auto& h : scripted.extraHeaders) QCOMPARE(reply->rawHeader(h.first), h.second);

    QCOMPARE(fake.requestCount(), 1);
    const RecordedRequest req = fake.requests().first();
    QCOMPARE(req.method, isGet ? QByteArray("GET") : QByteArray("POST"));
    QCOMPARE(req.path, "/" + path.toUtf8());
    QCOMPARE(fake.unscriptedRequestCount(), 0);
}

void FakeServiceSelfTest::replySelection()
{
    FakeService fake;
    Client client(fake);
    const auto bodyOf = [&](const QString& path) {
        std::unique_ptr<QNetworkReply> reply(client.get(path));
        return waitFinished(reply.get()) ? reply->readAll() : QByteArray("<timed out>");
    };

    // Nothing scripted: a loud 404, counted.
    QTest::ignoreMessage(QtWarningMsg, "FakeService: nothing scripted for GET /x");
    QCOMPARE(bodyOf(u"x"_s), QByteArray("FakeService: nothing scripted for GET /x"));
    QCOMPARE(fake.unscriptedRequestCount(), 1);

    // Queue first (in order), then the default reply.
    fake.enqueue({.body = "first"});
    fake.enqueue({.body = "second"});
    fake.setDefaultReply({.body = "default"});
    QCOMPARE(bodyOf(u"a"_s), QByteArray("first"));
    QCOMPARE(bodyOf(u"a"_s), QByteArray("second"));
    QCOMPARE(bodyOf(u"a"_s), QByteArray("default"));
    QCOMPARE(bodyOf(u"a"_s), QByteArray("default"));

    // A handler beats the queue and sees the request; the queue is left alone.
    fake.enqueue({.body = "queued"});
    fake.setHandler([](const RecordedRequest& r) { return ScriptedReply{.body = "handled " + r.path}; });
    QCOMPARE(bodyOf(u"h?q=1"_s), QByteArray("handled /h?q=1"));
    QCOMPARE(fake.queuedReplyCount(), 1);
    fake.setHandler({});
    QCOMPARE(bodyOf(u"a"_s), QByteArray("queued"));

    QCOMPARE(fake.requestCount(), 7);
    QCOMPARE(fake.requests().at(5).path, QByteArray("/h?q=1"));
    QCOMPARE(fake.requests().at(5).pathWithoutQuery(), QByteArray("/h"));
    fake.clearRequests();
    QCOMPARE(fake.requestCount(), 0);
    QCOMPARE(fake.unscriptedRequestCount(), 0);
}

void FakeServiceSelfTest::keepAliveReusesConnection_data()
{
    addTransportColumns();
    QTest::newRow("http") << Transport::Http;
    QTest::newRow("https") << Transport::Https;
}

void FakeServiceSelfTest::keepAliveReusesConnection()
{
    QFETCH(Transport, transport);
    FakeService fake(transport);
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    fake.setDefaultReply({.body = "ok"});
    Client client(fake);
    const QList<QByteArray> connectionHeaders = {"", "", "close", ""};
    for (const QByteArray& connection : connectionHeaders) {
        std::unique_ptr<QNetworkReply> reply(client.post(u"api.php"_s, "a=1", connection));
        QVERIFY(waitFinished(reply.get()));
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QCOMPARE(reply->readAll(), QByteArray("ok"));
    }
    const auto reqs = fake.requests();
    QCOMPARE(reqs.size(), 4);
    QCOMPARE(reqs.at(1).connectionId, reqs.at(0).connectionId);
    QCOMPARE(reqs.at(2).connectionId, reqs.at(0).connectionId);
    QCOMPARE(reqs.at(2).header("connection"), QByteArray("close"));
    QVERIFY(reqs.at(3).connectionId != reqs.at(2).connectionId);
}

// The wire format checked byte by byte, with the test thread only ever
// blocking (no event loop), as a client that blocks the GUI thread would.
void FakeServiceSelfTest::rawWireWithoutEventLoop()
{
    FakeService fake;
    fake.setHandler([](const RecordedRequest& r) { return ScriptedReply{.body = "got " + r.body}; });
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, fake.port());
    QVERIFY(socket.waitForConnected(kTimeoutMs));

    // A body split across writes is only a request once complete.
    socket.write("POST /api.php HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                 "Content-Length: 12\r\n\r\na=1&");
    QVERIFY(socket.waitForBytesWritten(kTimeoutMs));
    QVERIFY(!fake.waitForRequestCount(1, 300));
    socket.write("b=%C3%A9");
    QVERIFY(socket.waitForBytesWritten(kTimeoutMs));
    QVERIFY(fake.waitForRequestCount(1, kTimeoutMs));

    QByteArray pending;
    RawResponse resp;
    QVERIFY(readResponse(socket, pending, resp));
    QCOMPARE(resp.statusLine, QByteArray("HTTP/1.1 200 OK"));
    QVERIFY2(resp.head.contains("\r\nContent-Type: text/html; charset=utf-8\r\n"), resp.head.constData());
    QCOMPARE(resp.body, QByteArray("got a=1&b=%C3%A9"));
    QCOMPARE(fake.requests().first().fields, (Fields{{u"a"_s, u"1"_s}, {u"b"_s, u"\u00e9"_s}}));

    // Two pipelined requests in one write on the same connection, the second
    // asking to close: both answered in order, then the server closes.
    socket.write("GET /lotto/btc.json HTTP/1.1\r\nHost: x\r\n\r\n"
                 "POST /api.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: 3\r\n\r\nz=9");
    QVERIFY(readResponse(socket, pending, resp));
    QCOMPARE(resp.body, QByteArray("got "));
    QVERIFY(readResponse(socket, pending, resp));
    QCOMPARE(resp.body, QByteArray("got z=9"));
    QVERIFY(resp.head.contains("\r\nConnection: close\r\n"));
    QVERIFY(socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(kTimeoutMs));

    const auto reqs = fake.requests();
    QCOMPARE(reqs.size(), 3);
    QCOMPARE(reqs.at(1).method, QByteArray("GET"));
    QCOMPARE(reqs.at(1).path, QByteArray("/lotto/btc.json"));
    QVERIFY(reqs.at(1).fields.isEmpty());
    QCOMPARE(reqs.at(2).connectionId, reqs.at(0).connectionId);
}

void FakeServiceSelfTest::delayDoesNotBlockOtherConnections_data()
{
    keepAliveReusesConnection_data();
}

void FakeServiceSelfTest::delayDoesNotBlockOtherConnections()
{
    QFETCH(Transport, transport);
    constexpr int delayMs = 1500;
    FakeService fake(transport);
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    fake.setHandler([](const RecordedRequest& r) {
        return r.path == "/slow" ? ScriptedReply{.body = "slow", .delayMs = delayMs} : ScriptedReply{.body = "fast"};
    });
    Client client(fake);

    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QNetworkReply> slow(client.get(u"slow"_s));
    QTRY_COMPARE_WITH_TIMEOUT(fake.requestCount(), 1, kTimeoutMs);
    std::unique_ptr<QNetworkReply> fast(client.get(u"fast"_s));
    QVERIFY(waitFinished(fast.get()));
    QCOMPARE(fast->readAll(), QByteArray("fast"));
    QVERIFY(!slow->isFinished());

    QVERIFY(waitFinished(slow.get()));
    QCOMPARE(slow->error(), QNetworkReply::NoError);
    QCOMPARE(slow->readAll(), QByteArray("slow"));
    QVERIFY2(clock.elapsed() >= delayMs - 100, qPrintable(QString::number(clock.elapsed())));
    const auto reqs = fake.requests();
    QCOMPARE(reqs.size(), 2);
    QVERIFY(reqs.at(0).connectionId != reqs.at(1).connectionId);
}

// Stopping must cancel a pending delayed reply and close its connection,
// not wait for it.
void FakeServiceSelfTest::destroyedWhileReplyPending()
{
    auto fake = std::make_unique<FakeService>(Transport::Https);
    QVERIFY2(fake->isListening(), qPrintable(fake->errorString()));
    fake->setDefaultReply({.body = "too late", .delayMs = 10 * 60 * 1000});
    Client client(*fake);
    std::unique_ptr<QNetworkReply> reply(client.get(u"lotto/btc.json"_s));
    QTRY_COMPARE_WITH_TIMEOUT(fake->requestCount(), 1, kTimeoutMs);
    const QString caPath = fake->caCertificatePath();
    QVERIFY(QFileInfo::exists(caPath));
    fake.reset();
    QVERIFY(!QFileInfo::exists(caPath));
    QVERIFY(waitFinished(reply.get()));
    QVERIFY(reply->error() != QNetworkReply::NoError);
    QVERIFY(reply->readAll().isEmpty());
}

void FakeServiceSelfTest::droppedConnectionIsNetworkError_data()
{
    keepAliveReusesConnection_data();
}

void FakeServiceSelfTest::droppedConnectionIsNetworkError()
{
    QFETCH(Transport, transport);
    FakeService fake(transport);
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    fake.setDefaultReply({.body = "never sent", .dropConnection = true});
    Client client(fake);
    std::unique_ptr<QNetworkReply> reply(client.post(u"api.php"_s, "a=1"));
    QVERIFY(waitFinished(reply.get()));
    QCOMPARE(reply->error(), QNetworkReply::RemoteHostClosedError);
    QVERIFY(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isNull());
    QVERIFY(reply->readAll().isEmpty());
    // The request itself did arrive (Qt may have re-sent it on a new connection).
    QVERIFY(fake.requestCount() >= 1);
    QCOMPARE(fake.requests().first().field(u"a"_s), u"1"_s);

    // The service itself carries on after dropping.
    fake.clearDefaultReply();
    fake.enqueue({.body = "after drop"});
    std::unique_ptr<QNetworkReply> next(client.post(u"api.php"_s, "a=2"));
    QVERIFY(waitFinished(next.get()));
    QCOMPARE(next->error(), QNetworkReply::NoError);
    QCOMPARE(next->readAll(), QByteArray("after drop"));
    QCOMPARE(fake.requests().last().field(u"a"_s), u"2"_s);
}

void FakeServiceSelfTest::httpsWithSystemTrustFails()
{
    FakeService fake(Transport::Https);
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    QVERIFY(QFileInfo(fake.caCertificatePath()).isFile());
    QCOMPARE(QSslCertificate::fromPath(fake.caCertificatePath()), fake.caCertificates());
    fake.setDefaultReply({.body = "must not get here"});

    Client client(fake, /*trustFakeCa=*/false);
    std::unique_ptr<QNetworkReply> reply(client.get(u"lotto/btc.json"_s));
    QSignalSpy sslErrors(reply.get(), &QNetworkReply::sslErrors);
    QVERIFY(waitFinished(reply.get()));
    QCOMPARE(reply->error(), QNetworkReply::SslHandshakeFailedError);
    QCOMPARE(sslErrors.size(), 1);
    QVERIFY(!sslErrors.first().first().value<QList<QSslError>>().isEmpty());
    QCOMPARE(fake.requestCount(), 0);
}

QTEST_GUILESS_MAIN(FakeServiceSelfTest)

void FakeServiceSelfTest::bothTransportsOnOnePort()
{
    FakeService fake(Transport::Both);
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    fake.setHandler([](const RecordedRequest& r) { return ScriptedReply{.body = r.encrypted ? "tls" : "plain"}; });
    QCOMPARE(fake.baseUrl().scheme(), u"https"_s);

    Client client(fake);
    QNetworkReply* overTls = client.post(u"api.php"_s, "a=1");
    QVERIFY(waitFinished(overTls));
    QCOMPARE(overTls->error(), QNetworkReply::NoError);
    QCOMPARE(overTls->readAll(), QByteArray("tls"));
    overTls->deleteLater();

    QNetworkAccessManager nam;
    nam.setProxy(QNetworkProxy::NoProxy);
    QUrl plainUrl = fake.baseUrl().resolved(QUrl(u"api.php"_s));
    plainUrl.setScheme(u"http"_s);
    QNetworkRequest req(plainUrl);
    req.setHeader(QNetworkRequest::ContentTypeHeader, kFormType);
    QNetworkReply* plain = nam.post(req, QByteArray("a=2"));
    QVERIFY(waitFinished(plain));
    QCOMPARE(plain->error(), QNetworkReply::NoError);
    QCOMPARE(plain->readAll(), QByteArray("plain"));
    plain->deleteLater();

    // A client that connects and leaves without a byte costs the service nothing.
    {
        QTcpSocket idle;
        idle.connectToHost(QHostAddress::LocalHost, fake.port());
        QVERIFY(idle.waitForConnected(kTimeoutMs));
        idle.disconnectFromHost();
    }

    const auto reqs = fake.requests();
    QCOMPARE(reqs.size(), 2);
    QVERIFY(reqs.at(0).encrypted);
    QCOMPARE(reqs.at(0).field(u"a"_s), u"1"_s);
    QVERIFY(!reqs.at(1).encrypted);
    QCOMPARE(reqs.at(1).field(u"a"_s), u"2"_s);

    // Without its CA the TLS side is refused, as a service with an untrusted certificate is.
    Client untrusting(fake, false);
    QNetworkReply* refused = untrusting.get(u"x"_s);
    QVERIFY(waitFinished(refused));
    QCOMPARE(refused->error(), QNetworkReply::SslHandshakeFailedError);
    refused->deleteLater();
}

void FakeServiceSelfTest::trickledBodyComesByteByByte()
{
    FakeService fake;
    fake.enqueue({.body = "abcdef", .trickleMs = 100});
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, fake.port());
    QVERIFY(socket.waitForConnected(kTimeoutMs));
    QElapsedTimer clock;
    clock.start();
    socket.write("GET /x HTTP/1.1\r\nHost: x\r\n\r\n");

    // The head comes at once, the six body bytes one per 100 ms.
    QByteArray pending;
    while (!pending.contains("\r\n\r\n")) {
        QVERIFY(socket.waitForReadyRead(kTimeoutMs));
        pending += socket.readAll();
    }
    const qint64 headAt = clock.elapsed();
    RawResponse resp;
    QVERIFY(readResponse(socket, pending, resp));
    const qint64 bodyAt = clock.elapsed();
    QCOMPARE(resp.body, QByteArray("abcdef"));
    QVERIFY2(headAt < 300, qPrintable(QString::number(headAt)));
    QVERIFY2(bodyAt - headAt >= 450, qPrintable(QString::number(bodyAt - headAt)));
}

void FakeServiceSelfTest::fixedCertificatesFromAFolder()
{
    FakeService fake(Transport::Https, QStringLiteral(AMBERVALE_TEST_CERTS));
    QVERIFY2(fake.isListening(), qPrintable(fake.errorString()));
    QCOMPARE(fake.caCertificates(), QSslCertificate::fromPath(QStringLiteral(AMBERVALE_TEST_CERTS "/ca.pem")));
    fake.enqueue({.body = "fixed"});
    Client client(fake);
    QNetworkReply* reply = client.get(u"x"_s);
    QVERIFY(waitFinished(reply));
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(reply->readAll(), QByteArray("fixed"));
    reply->deleteLater();

    FakeService missing(Transport::Https, QStringLiteral(AMBERVALE_TEST_CERTS "/no-such-folder"));
    QVERIFY(!missing.isListening());
    QVERIFY(!missing.errorString().isEmpty());
}

#include "tst_support_fake_service.moc"
