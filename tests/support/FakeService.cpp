#include "FakeService.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSocketNotifier>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWaitCondition>

#include <atomic>
#include <sys/socket.h>
#include <unistd.h>
#include <optional>

using namespace Qt::StringLiterals;

// ---------------------------------------------------------------------------
// RecordedRequest

QByteArray RecordedRequest::header(const QByteArray& name) const
{
    for (const auto& h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0) return h.second;
    return {};
}

QString RecordedRequest::field(const QString& name) const
{
    for (const auto& f : fields)
        if (f.first == name) return f.second.isNull() ? QString(u""_s) : f.second;
    return {};
}

bool RecordedRequest::hasField(const QString& name) const
{
    for (const auto& f : fields)
        if (f.first == name) return true;
    return false;
}

QByteArray RecordedRequest::pathWithoutQuery() const
{
    const qsizetype q = path.indexOf('?');
    return q < 0 ? path : path.left(q);
}

namespace {

QString decodeFormPart(QByteArray part)
{
    // '+' must become a space before percent-decoding, so that "%2B" stays a '+'.
    part.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(part));
}

QList<QPair<QString, QString>> decodeForm(const QByteArray& body)
{
    QList<QPair<QString, QString>> out;
    for (const QByteArray& piece : body.split('&')) {
        if (piece.isEmpty()) continue;
        const qsizetype eq = piece.indexOf('=');
        if (eq < 0)
            out.append({decodeFormPart(piece), QString(u""_s)});
        else
            out.append({decodeFormPart(piece.left(eq)), decodeFormPart(piece.mid(eq + 1))});
    }
    return out;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Status";
    }
}

bool headerHasToken(const QByteArray& value, const char* token)
{
    for (const QByteArray& t : value.split(','))
        if (t.trimmed().compare(token, Qt::CaseInsensitive) == 0) return true;
    return false;
}

constexpr qsizetype kMaxHeadBytes = 64 * 1024;

} // namespace

// ---------------------------------------------------------------------------
// Shared state. Everything below the mutex is touched by both threads.

struct FakeService::Private {
    Transport transport = Transport::Http;
    QString error;
    quint16 port = 0;

    std::unique_ptr<QTemporaryDir> certDir; // Https only
    QString caPath;
    QList<QSslCertificate> caCerts;
    QSslCertificate serverCert;
    QSslKey serverKey;

    QThread thread;
    QObject* threadContext = nullptr; // lives on `thread`, target of cross-thread calls
    QTcpServer* server = nullptr;     // created, used and deleted on `thread`
    std::atomic<quint64> nextConnectionId{1};

    mutable QMutex mutex;
    mutable QWaitCondition requestArrived;
    QList<ScriptedReply> queue;
    std::function<ScriptedReply(const RecordedRequest&)> handler;
    std::optional<ScriptedReply> defaultReply;
    QHash<QString, ScriptedReply> actionReplies;
    QList<RecordedRequest> requests;
    int unscripted = 0;

    bool makeCertificates();
    bool loadCertificates(const QString& dir);
    void record(const RecordedRequest& req);
    ScriptedReply replyFor(const RecordedRequest& req);
};

bool FakeService::Private::makeCertificates()
{
    certDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + u"/ambervale-fake-XXXXXX"_s);
    if (!certDir->isValid()) {
        error = u"cannot create a temporary directory: "_s + certDir->errorString();
        return false;
    }
    const QString openssl = QStandardPaths::findExecutable(u"openssl"_s);
    if (openssl.isEmpty()) {
        error = u"the openssl command line tool is not installed"_s;
        return false;
    }
    const QString dir = certDir->path();
    const auto run = [&](const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(dir);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(openssl, args);
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            error = u"openssl %1 failed: %2"_s.arg(args.join(u' '), QString::fromLocal8Bit(p.readAll()));
            return false;
        }
        return true;
    };
    const auto serial = [] { return u"0x%1"_s.arg(QRandomGenerator::global()->generate64() >> 1, 0, 16); };

    QFile ext(dir + u"/server.ext"_s);
    if (!ext.open(QIODevice::WriteOnly)) {
        error = ext.errorString();
        return false;
    }
    ext.write("basicConstraints=critical,CA:FALSE\n"
              "keyUsage=critical,digitalSignature,keyEncipherment\n"
              "extendedKeyUsage=serverAuth\n"
              "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    ext.close();

    // EC keys: generating RSA keys for every test would be noticeably slower.
    const QStringList ecKey = {u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s};
    if (!run(QStringList{u"req"_s, u"-x509"_s} + ecKey +
             QStringList{u"-keyout"_s, u"ca.key"_s, u"-out"_s, u"ca.pem"_s, u"-days"_s, u"2"_s, u"-set_serial"_s,
                         serial(), u"-subj"_s, u"/CN=Ambervale throw-away test CA"_s, u"-addext"_s,
                         u"basicConstraints=critical,CA:TRUE"_s, u"-addext"_s,
                         u"keyUsage=critical,keyCertSign,cRLSign"_s}) ||
        !run(QStringList{u"req"_s} + ecKey +
             QStringList{u"-keyout"_s, u"server.key"_s, u"-out"_s, u"server.csr"_s, u"-subj"_s, u"/CN=127.0.0.1"_s}) ||
        !run({u"x509"_s, u"-req"_s, u"-in"_s, u"server.csr"_s, u"-CA"_s, u"ca.pem"_s, u"-CAkey"_s, u"ca.key"_s,
              u"-set_serial"_s, serial(), u"-days"_s, u"2"_s, u"-extfile"_s, u"server.ext"_s, u"-out"_s,
              u"server.pem"_s}))
        return false;

    return loadCertificates(dir);
}

bool FakeService::Private::loadCertificates(const QString& dir)
{
    caPath = dir + u"/ca.pem"_s;
    caCerts = QSslCertificate::fromPath(caPath, QSsl::Pem);
    const auto serverCerts = QSslCertificate::fromPath(dir + u"/server.pem"_s, QSsl::Pem);
    QFile keyFile(dir + u"/server.key"_s);
    if (keyFile.open(QIODevice::ReadOnly))
        serverKey = QSslKey(keyFile.readAll(), QSsl::Ec, QSsl::Pem, QSsl::PrivateKey);
    if (caCerts.size() != 1 || serverCerts.size() != 1 || serverKey.isNull()) {
        error = u"cannot load the certificates in "_s + dir;
        return false;
    }
    serverCert = serverCerts.first();
    return true;
}

void FakeService::Private::record(const RecordedRequest& req)
{
    QMutexLocker lock(&mutex);
    requests.append(req);
    requestArrived.wakeAll();
}

ScriptedReply FakeService::Private::replyFor(const RecordedRequest& req)
{
    QMutexLocker lock(&mutex);
    if (handler) {
        // Call it unlocked: a handler may well look at requests() or enqueue().
        const auto h = handler;
        lock.unlock();
        return h(req);
    }
    if (!actionReplies.isEmpty()) {
        const auto it = actionReplies.constFind(req.field(QStringLiteral("a")));
        if (it != actionReplies.cend()) return *it;
    }
    if (!queue.isEmpty()) return queue.takeFirst();
    if (defaultReply) return *defaultReply;
    ++unscripted;
    lock.unlock();
    qWarning("FakeService: nothing scripted for %s %s", req.method.constData(), req.path.constData());
    ScriptedReply r;
    r.status = 404;
    r.contentType = "text/plain";
    r.body = "FakeService: nothing scripted for " + req.method + ' ' + req.path;
    return r;
}

// ---------------------------------------------------------------------------
// One client connection. Lives on the server thread, child of the server.

namespace {

class Connection : public QObject {
public:
    Connection(FakeService::Private* d, QTcpSocket* socket, bool encrypted, QObject* parent)
        : QObject(parent), m_d(d), m_socket(socket), m_id(d->nextConnectionId++), m_encrypted(encrypted)
    {
        m_socket->setParent(this);
        connect(m_socket, &QTcpSocket::readyRead, this, [this] {
            m_buffer += m_socket->readAll();
            processBuffer();
        });
        connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
        connect(m_socket, &QTcpSocket::errorOccurred, this, [this] {
            if (m_socket->state() == QAbstractSocket::UnconnectedState) deleteLater();
        });
    }

private:
    void processBuffer()
    {
        // One request at a time: while a (delayed) reply is pending, later
        // pipelined bytes just wait in the buffer.
        while (!m_busy && !m_closing) {
            if (!m_haveHead && !parseHead()) return;
            if (m_buffer.size() < m_contentLength) return; // the rest of the body comes with a later read
            m_current.body = m_buffer.left(m_contentLength);
            m_buffer.remove(0, m_contentLength);
            m_haveHead = false;
            handleRequest();
        }
    }

    // Returns true once a complete head is parsed into m_current.
    bool parseHead()
    {
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_buffer.size() > kMaxHeadBytes) fail(431, "request head too large");
            return false;
        }
        const QList<QByteArray> lines = m_buffer.left(end).split('\n');
        m_buffer.remove(0, end + 4);

        m_current = RecordedRequest();
        m_current.connectionId = m_id;
        m_current.encrypted = m_encrypted;
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1.")) {
            fail(400, "bad request line");
            return false;
        }
        m_current.method = requestLine.at(0);
        m_current.path = requestLine.at(1);
        m_current.version = requestLine.at(2);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0) {
                fail(400, "bad header line");
                return false;
            }
            m_current.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
        if (!m_current.header("Transfer-Encoding").isEmpty()) {
            // The client sends Content-Length; nobody needed chunked bodies yet.
            fail(501, "chunked request bodies are not supported");
            return false;
        }
        const QByteArray length = m_current.header("Content-Length");
        bool ok = true;
        m_contentLength = length.isEmpty() ? 0 : length.toLongLong(&ok);
        if (!ok || m_contentLength < 0) {
            fail(400, "bad Content-Length");
            return false;
        }
        m_haveHead = true;
        return true;
    }

    void handleRequest()
    {
        const QByteArray conn = m_current.header("Connection");
        m_keepAlive =
            m_current.version == "HTTP/1.1" ? !headerHasToken(conn, "close") : headerHasToken(conn, "keep-alive");
        if (m_current.header("Content-Type").trimmed().toLower().startsWith("application/x-www-form-urlencoded"))
            m_current.fields = decodeForm(m_current.body);

        m_d->record(m_current);
        const ScriptedReply reply = m_d->replyFor(m_current);
        m_busy = true;
        if (reply.delayMs > 0) {
            // A timer, not a sleep: other connections are served meanwhile.
            QTimer::singleShot(reply.delayMs, this, [this, reply] { answer(reply); });
        } else {
            answer(reply);
        }
    }

    void answer(const ScriptedReply& reply)
    {
        if (reply.dropConnection) {
            m_closing = true;
            m_socket->abort();
            return;
        }
        QList<QPair<QByteArray, QByteArray>> headers;
        if (!reply.contentType.isEmpty()) {
            QByteArray type = reply.contentType;
            if (!reply.charset.isEmpty()) type += "; charset=" + reply.charset;
            headers.append({"Content-Type", type});
        }
        headers.append({"Content-Length", QByteArray::number(reply.body.size())});
        headers.append({"Connection", QByteArray(m_keepAlive ? "keep-alive" : "close")});
        for (const auto& extra : reply.extraHeaders) {
            // A scripted header replaces a standard one of the same name.
            bool replaced = false;
            for (auto& h : headers)
                if (h.first.compare(extra.first, Qt::CaseInsensitive) == 0) {
                    h.second = extra.second;
                    replaced = true;
                }
            if (!replaced) headers.append(extra);
        }

        QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
        for (const auto& h : headers) {
            out += h.first + ": " + h.second + "\r\n";
            if (h.first.compare("Connection", Qt::CaseInsensitive) == 0 && headerHasToken(h.second, "close"))
                m_keepAlive = false;
        }
        out += "\r\n";
        if (reply.trickleMs > 0 && m_current.method != "HEAD" && !reply.body.isEmpty()) {
            m_socket->write(out);
            trickle(reply.body, reply.trickleMs);
            return;
        }
        if (m_current.method != "HEAD") out += reply.body;
        m_socket->write(out);
        finishAnswer();
    }

    // One byte per tick; the client may give up (and close) at any point.
    void trickle(const QByteArray& out, int intervalMs)
    {
        auto* timer = new QTimer(this);
        timer->setInterval(intervalMs);
        auto sent = std::make_shared<qsizetype>(0);
        connect(timer, &QTimer::timeout, this, [this, timer, out, sent] {
            if (m_socket->state() != QAbstractSocket::ConnectedState) {
                timer->deleteLater();
                return;
            }
            m_socket->write(out.mid(*sent, 1));
            m_socket->flush();
            if (++*sent >= out.size()) {
                timer->deleteLater();
                finishAnswer();
            }
        });
        timer->start();
    }

    void finishAnswer()
    {
        m_busy = false;
        if (!m_keepAlive) {
            m_closing = true;
            m_socket->disconnectFromHost(); // flushes what was written first
            return;
        }
        processBuffer(); // a pipelined request may already be waiting
    }

    void fail(int status, const QByteArray& why)
    {
        qWarning("FakeService: %s", why.constData());
        m_socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
                        "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(why.size()) +
                        "\r\nConnection: close\r\n\r\n" + why);
        m_closing = true;
        m_socket->disconnectFromHost();
    }

    FakeService::Private* m_d;
    QTcpSocket* m_socket;
    const quint64 m_id;
    const bool m_encrypted;
    QByteArray m_buffer;
    RecordedRequest m_current;
    qint64 m_contentLength = 0;
    bool m_haveHead = false;
    bool m_busy = false;
    bool m_closing = false;
    bool m_keepAlive = true;
};

class Server : public QTcpServer {
public:
    explicit Server(FakeService::Private* d) : m_d(d) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        if (m_d->transport == FakeService::Transport::Both) {
            sniff(descriptor);
            return;
        }
        accept(descriptor, m_d->transport == FakeService::Transport::Https);
    }

private:
    // Waits for the client's first byte without consuming it: 0x16 opens a TLS handshake.
    void sniff(qintptr descriptor)
    {
        auto* notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier, descriptor] {
            notifier->setEnabled(false);
            notifier->deleteLater();
            char first = 0;
            const auto n = ::recv(int(descriptor), &first, 1, MSG_PEEK);
            if (n <= 0) {
                ::close(int(descriptor));
                return;
            }
            accept(descriptor, first == 0x16);
        });
    }

    void accept(qintptr descriptor, bool tls)
    {
        if (!tls) {
            auto* socket = new QTcpSocket;
            if (!socket->setSocketDescriptor(descriptor)) {
                delete socket;
                return;
            }
            new Connection(m_d, socket, false, this);
            return;
        }
        auto* socket = new QSslSocket;
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
        conf.setLocalCertificate(m_d->serverCert);
        conf.setPrivateKey(m_d->serverKey);
        conf.setPeerVerifyMode(QSslSocket::VerifyNone);
        socket->setSslConfiguration(conf);
        new Connection(m_d, socket, true, this);
        // readyRead only delivers decrypted bytes, so the Connection needs no
        // TLS awareness; a failed handshake ends in disconnected().
        socket->startServerEncryption();
    }

    FakeService::Private* m_d;
};

} // namespace

// ---------------------------------------------------------------------------
// FakeService

FakeService::FakeService(Transport transport) : d(std::make_unique<Private>())
{
    d->transport = transport;
    if (transport != Transport::Http && !d->makeCertificates()) {
        qWarning("FakeService: %s", qPrintable(d->error));
        return;
    }
    start();
}

FakeService::FakeService(Transport transport, const QString& certificateDir) : d(std::make_unique<Private>())
{
    d->transport = transport;
    if (transport != Transport::Http && !d->loadCertificates(certificateDir)) {
        qWarning("FakeService: %s", qPrintable(d->error));
        return;
    }
    start();
}

void FakeService::start()
{
    d->thread.setObjectName(u"FakeService"_s);
    d->threadContext = new QObject;
    d->threadContext->moveToThread(&d->thread);
    d->thread.start();
    QMetaObject::invokeMethod(
        d->threadContext,
        [this] {
            d->server = new Server(d.get());
            if (d->server->listen(QHostAddress::LocalHost, 0))
                d->port = d->server->serverPort();
            else
                d->error = u"cannot listen on 127.0.0.1: "_s + d->server->errorString();
        },
        Qt::BlockingQueuedConnection);
    if (d->port == 0) qWarning("FakeService: %s", qPrintable(d->error));
}

FakeService::~FakeService()
{
    if (!d->thread.isRunning()) return;
    QMetaObject::invokeMethod(
        d->threadContext,
        [this] {
            delete d->server; // takes every Connection, its socket and its pending timer with it
            d->server = nullptr;
        },
        Qt::BlockingQueuedConnection);
    d->thread.quit();
    d->thread.wait();
    delete d->threadContext;
}

bool FakeService::isListening() const
{
    return d->port != 0;
}
QString FakeService::errorString() const
{
    return d->error;
}
FakeService::Transport FakeService::transport() const
{
    return d->transport;
}
quint16 FakeService::port() const
{
    return d->port;
}
QString FakeService::hostPort() const
{
    return u"127.0.0.1:"_s + QString::number(d->port);
}

QUrl FakeService::baseUrl() const
{
    return QUrl((d->transport != Transport::Http ? u"https://"_s : u"http://"_s) + hostPort() + u'/');
}

void FakeService::enqueue(const ScriptedReply& reply)
{
    QMutexLocker lock(&d->mutex);
    d->queue.append(reply);
}

int FakeService::queuedReplyCount() const
{
    QMutexLocker lock(&d->mutex);
    return int(d->queue.size());
}

void FakeService::setHandler(std::function<ScriptedReply(const RecordedRequest&)> handler)
{
    QMutexLocker lock(&d->mutex);
    d->handler = std::move(handler);
}

void FakeService::setDefaultReply(const ScriptedReply& reply)
{
    QMutexLocker lock(&d->mutex);
    d->defaultReply = reply;
}

void FakeService::setActionReply(const QString& action, const ScriptedReply& reply)
{
    QMutexLocker lock(&d->mutex);
    d->actionReplies.insert(action, reply);
}

void FakeService::clearActionReply(const QString& action)
{
    QMutexLocker lock(&d->mutex);
    d->actionReplies.remove(action);
}

void FakeService::clearDefaultReply()
{
    QMutexLocker lock(&d->mutex);
    d->defaultReply.reset();
}

QList<RecordedRequest> FakeService::requests() const
{
    QMutexLocker lock(&d->mutex);
    return d->requests;
}

int FakeService::requestCount() const
{
    QMutexLocker lock(&d->mutex);
    return int(d->requests.size());
}

int FakeService::unscriptedRequestCount() const
{
    QMutexLocker lock(&d->mutex);
    return d->unscripted;
}

void FakeService::clearRequests()
{
    QMutexLocker lock(&d->mutex);
    d->requests.clear();
    d->unscripted = 0;
}

bool FakeService::waitForRequestCount(int n, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&d->mutex);
    while (d->requests.size() < n) {
        if (!d->requestArrived.wait(&d->mutex, deadline)) return d->requests.size() >= n;
    }
    return true;
}

QString FakeService::caCertificatePath() const
{
    return d->caPath;
}
QList<QSslCertificate> FakeService::caCertificates() const
{
    return d->caCerts;
}
