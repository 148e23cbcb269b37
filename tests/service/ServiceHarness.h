#pragma once
// The real ambervale-service for tests: its own data folder, a free loopback
// port, HTTPS verified against the CA it makes, and its operator commands.
// Each test program runs twice: on SQLite in the data folder, and (as
// <test>.pg, AMBERVALE_TEST_ENGINE=postgresql) on a fresh PostgreSQL database
// per service, made in the cluster AMBERVALE_TEST_PG names (a conninfo or URI
// of a role that may create databases).
#include "Digest.h"
#include "FormEncoding.h"
#include "Requests.h"

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDateTime>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QStandardPaths>
#include <QUrl>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace svc {

inline bool OnPostgres()
{
    return qEnvironmentVariable("AMBERVALE_TEST_ENGINE") == QLatin1String("postgresql");
}

inline QString PgAdmin()
{
    return qEnvironmentVariable("AMBERVALE_TEST_PG");
}

// In initTestCase: the PostgreSQL run of a test program without a cluster is skipped, visibly.
#define SVC_REQUIRE_STORE()                                                                                            \
    do {                                                                                                               \
        if (svc::OnPostgres() && svc::PgAdmin().isEmpty())                                                             \
            QSKIP("AMBERVALE_TEST_PG is not set: no PostgreSQL cluster for this run");                                 \
    } while (false)

inline QString PsqlProgram()
{
    const QString found = QStandardPaths::findExecutable("psql");
    return found.isEmpty() ? QStringLiteral("/usr/lib/postgresql/15/bin/psql") : found;
}

// The cluster's conninfo (URI or key=value words) with another database, as a URI.
inline QString PgUri(const QString& admin, const QString& database)
{
    if (admin.startsWith("postgresql://") || admin.startsWith("postgres://")) {
        const int q = admin.indexOf('?');
        const QString base = q < 0 ? admin : admin.left(q);
        const QString query = q < 0 ? QString() : admin.mid(q);
        const int authorityStart = base.indexOf("://") + 3;
        const int slash = base.indexOf('/', authorityStart);
        return (slash < 0 ? base : base.left(slash)) + "/" + database + query;
    }
    QStringList params;
    for (const QString& word : admin.split(' ', Qt::SkipEmptyParts)) {
        const int eq = word.indexOf('=');
        if (eq <= 0 || word.left(eq) == "dbname") continue;
        params << word.left(eq) + "=" + QString::fromLatin1(QUrl::toPercentEncoding(word.mid(eq + 1)));
    }
    return "postgresql:///" + database + (params.isEmpty() ? QString() : "?" + params.join('&'));
}

struct PsqlResult {
    int exitCode = -1;
    QString out, err;
};

inline PsqlResult RunPsql(const QString& conninfo, const QString& sql)
{
    QProcess p;
    p.start(PsqlProgram(), {"-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-d", conninfo, "-c", sql});
    if (!p.waitForFinished(60000)) p.kill();
    return PsqlResult{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                      QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
                      QString::fromUtf8(p.readAllStandardError()).trimmed()};
}

// A fresh database in the test cluster, dropped with the last service using it.
class ServiceDatabase {
public:
    ServiceDatabase() : m_name("svc_" + QString::number(QRandomGenerator::global()->generate64(), 36))
    {
        const PsqlResult r = RunPsql(PgAdmin(), "CREATE DATABASE " + m_name);
        if (r.exitCode != 0) qWarning("cannot create the database %s: %s", qPrintable(m_name), qPrintable(r.err));
    }
    ~ServiceDatabase() { RunPsql(PgAdmin(), "DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)"); }
    QString uri() const { return PgUri(PgAdmin(), m_name); }

private:
    QString m_name;
};

inline const QStringList& Coins()
{
    static const QStringList codes{"btc",  "ltc", "bnb", "eth",  "doge", "trx", "usdt", "bch",
                                   "dash", "xmr", "etc", "shib", "zec",  "sol", "matic"};
    return codes;
}

// A valid withdrawal address for each coin and network the service offers
// (network as the withdraw screen names it), so money tests pass the address
// check and go on to prove what they are about. Base58Check ones were made for
// these tests with each coin's version bytes; the others are published examples.
inline QString ValidAddress(const QString& coin, const QString& network = QStringLiteral("Main"))
{
    static const QString evm = QStringLiteral("0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed");
    static const QString tron = QStringLiteral("TR7NHqjeKQxGTCi8q8ZY4pL8otSzgjLj6t");
    static const QString solana = QStringLiteral("TokenkegQfeZyiNwAJbNbGKPFXCWuBvf9Ss623VQ5DA");
    if (network.startsWith("BEP-20") || network.startsWith("ERC-20") || network.startsWith("PRC-20")) return evm;
    if (network.startsWith("TRC-20")) return tron;
    if (network.startsWith("SOL")) return solana;
    static const QHash<QString, QString> main{
        {"btc", "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq"},
        {"ltc", "LKgmMJ3ggk7uSkbC14tSkJwuTZVP6H9ZgY"},
        {"bnb", evm},
        {"eth", evm},
        {"doge", "D5budLgVuVn8ix5dZWti243k8UrQH1yh25"},
        {"trx", tron},
        {"usdt", "1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa"},
        {"bch", "bitcoincash:qpm2qsznhks23z7629mms6s4cwef74vcwvy22gdx6a"},
        {"dash", "Xb9evLPkZo6SLtVcgpDNKpZw5ghnxofFHi"},
        {"xmr", "44AFFq5kSiGBoZ4NMDwYtN18obc8AemS33DBLWs3H7otXft3XjrpDtQGv7SqSsaBYBb98uNbr2VBBEt7f2wfn3RVGQBEP3A"},
        {"etc", evm},
        {"shib", evm},
        {"zec", "t1JLR6R9zaQfSnawvmMiGc6z4W1KBhTArQs"},
        {"sol", solana},
        {"matic", evm},
    };
    return main.value(coin.toLower());
}

// The tests register many accounts and ask for many codes from one loopback
// address: the per-address limits of config.json are lifted, unless the test
// wrote a config.json of its own first (to test those limits).
inline void WriteTestConfig(const QString& dataDir)
{
    QFile f(dataDir + "/config.json");
    if (f.exists() || !f.open(QIODevice::WriteOnly)) return;
    f.write(R"({"registrations_per_address": 1000000, "reset_requests_per_address": 1000000})"
            "\n");
}

// The client's token for the wall-clock second t (as digest::SessionToken makes it from a local time).
inline QString TokenForSecond(qint64 t)
{
    const QString s = QString::number(t);
    return digest::MD5(digest::MD5(s + digest::MD5(s)));
}

// A token the service takes for money actions (its second lies within a minute or two of now in one of the
// UTC offsets in use) that differs from every other one this program made: lets a test send the "same"
// request twice on purpose, or never by accident.
inline QString FreshToken()
{
    static const int offsetMinutes[] = {-600, -300, -180, -60, 0, 60, 120, 180, 330, 480, 540, 600};
    static std::mutex mutex;
    static QSet<qint64> used;
    std::lock_guard lock(mutex);
    for (;;) {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        for (int tries = 0; tries < 64; ++tries) {
            const int z = offsetMinutes[QRandomGenerator::global()->bounded(int(std::size(offsetMinutes)))];
            const qint64 t = now + z * 60 + QRandomGenerator::global()->bounded(-120, 121);
            if (used.contains(t)) continue;
            used.insert(t);
            return TokenForSecond(t);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // nearly all taken: new seconds come
    }
}

inline QString Digest(const QString& password)
{
    return digest::MD5(password);
}

struct Response {
    int status = 0;
    std::string body;
    bool ok = false; // an answer arrived
    QString text() const { return QString::fromStdString(body); }
};

// One keep-alive HTTPS connection that verifies the service's certificate.
// Not thread-safe: one per thread.
class Client {
public:
    // source: the loopback address to connect from (127.0.0.2 ... stands for another client machine).
    Client(int port, const QString& caFile, std::string source = {})
        : m_port(port), m_source(std::move(source)), m_ctx(boost::asio::ssl::context::tls_client)
    {
        boost::system::error_code ec;
        m_ctx.load_verify_file(caFile.toStdString(), ec); // a missing CA fails every handshake instead
        m_ctx.set_verify_mode(boost::asio::ssl::verify_peer);
    }

    Response post(const FormFields& fields, const char* target = "/api.php")
    {
        return request(boost::beast::http::verb::post, target, form::Encode(fields).toStdString());
    }
    Response postRaw(const std::string& body, const char* target = "/api.php")
    {
        return request(boost::beast::http::verb::post, target, body);
    }
    Response get(const std::string& target) { return request(boost::beast::http::verb::get, target, {}); }

    Response request(boost::beast::http::verb verb, const std::string& target, const std::string& body)
    {
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                if (!m_stream) connect();
                return exchange(verb, target, body);
            } catch (const std::exception&) {
                m_stream.reset(); // the service may have closed an idle connection: one fresh try
                if (attempt == 1) return Response{};
            }
        }
        return Response{};
    }

private:
    void connect()
    {
        namespace net = boost::asio;
        m_stream.emplace(m_ioc, m_ctx);
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_stream->native_handle()), "127.0.0.1");
        auto& tcp = boost::beast::get_lowest_layer(*m_stream);
        tcp.expires_after(std::chrono::seconds(30));
        if (!m_source.empty()) {
            tcp.socket().open(net::ip::tcp::v4());
            tcp.socket().bind(net::ip::tcp::endpoint(net::ip::make_address(m_source), 0));
        }
        tcp.connect(net::ip::tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(m_port)));
        m_stream->handshake(net::ssl::stream_base::client);
    }
    Response exchange(boost::beast::http::verb verb, const std::string& target, const std::string& body)
    {
        namespace http = boost::beast::http;
        http::request<http::string_body> req(verb, target, 11);
        req.set(http::field::host, "127.0.0.1");
        if (verb == http::verb::post) req.set(http::field::content_type, form::ContentType);
        req.body() = body;
        req.prepare_payload();
        boost::beast::get_lowest_layer(*m_stream).expires_after(std::chrono::seconds(60));
        http::write(*m_stream, req);
        http::response<http::string_body> res;
        http::read(*m_stream, m_buffer, res);
        if (!res.keep_alive()) m_stream.reset();
        return Response{static_cast<int>(res.result_int()), res.body(), true};
    }

    int m_port;
    std::string m_source;
    boost::asio::io_context m_ioc;
    boost::asio::ssl::context m_ctx;
    std::optional<boost::beast::ssl_stream<boost::beast::tcp_stream>> m_stream;
    boost::beast::flat_buffer m_buffer;
};

// The service process on a data folder of its own; on PostgreSQL with a
// database of its own, or the one of sharedWith (another instance).
class Service {
public:
    static QStringList DefaultArgs() { return {"--test-clock", "--sync", "normal"}; }
    explicit Service(QStringList extraArgs = DefaultArgs(), const Service* sharedWith = nullptr,
                     const std::function<void(const QString& dataDir)>& prepare = {})
        : m_extra(std::move(extraArgs))
    {
        if (OnPostgres()) m_db = sharedWith ? sharedWith->m_db : std::make_shared<ServiceDatabase>();
        if (prepare) prepare(dataDir());
        start();
    }
    ~Service() { stop(); }

    // The store options every command of this instance takes.
    QStringList storeArgs() const { return m_db ? QStringList{"--store", m_db->uri()} : QStringList{}; }
    // One SQL statement on this instance's database; the output rows, fields split by "|".
    PsqlResult sql(const QString& statement) const
    {
        if (m_db) return RunPsql(m_db->uri(), statement);
        QProcess p;
        p.start("sqlite3", {"-batch", dataDir() + "/ambervale.db", statement});
        if (!p.waitForFinished(60000)) p.kill();
        return PsqlResult{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                          QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
                          QString::fromUtf8(p.readAllStandardError()).trimmed()};
    }

    static QString Binary() { return QStringLiteral(AMBERVALE_SERVICE_BINARY); }
    QString dataDir() const { return m_dir.path(); }
    QString caFile() const { return m_dir.path() + "/ca.pem"; }
    int port() const { return m_port; }
    Client client(std::string source = {}) const { return Client(m_port, caFile(), std::move(source)); }

    void start()
    {
        if (!m_port) {
            WriteTestConfig(dataDir());
            // Certificates first, so clients can load the CA before the first connection.
            QVERIFY2(command({"init", "--host", "127.0.0.1"}).exitCode == 0, "init failed");
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            m_port = probe.serverPort();
        }
        m_process.setProgram(Binary());
        m_process.setArguments(QStringList{"--data", dataDir(), "--port", QString::number(m_port), "--host",
                                           "127.0.0.1", "--bind", "127.0.0.1"} +
                               storeArgs() + m_extra);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        QVERIFY2(m_process.waitForStarted(10000), "the service does not start");
        // Ready when it answers over TLS.
        for (int i = 0; i < 200; ++i) {
            Client c = client();
            if (c.post(api::Settings("all_json_setting", FreshToken())).ok) return;
            QVERIFY2(m_process.state() == QProcess::Running, "the service stopped at start");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        QFAIL("the service does not answer");
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    QProcess& process() { return m_process; }

    struct CommandResult {
        int exitCode = -1;
        QString out, err;
    };
    CommandResult command(const QStringList& args) const
    {
        QProcess p;
        p.start(Binary(), args + QStringList{"--data", dataDir()} + storeArgs());
        p.waitForFinished(60000);
        return CommandResult{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                             QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }
    bool verify() const { return command({"verify"}).exitCode == 0; }

    // Moves the service's clock forward (test-only action of the service).
    void advance(qint64 seconds)
    {
        Client c = client();
        const Response r =
            c.post({{"a", "x_clock_advance"}, {"seconds", QString::number(seconds)}, {"session", FreshToken()}});
        QVERIFY2(r.ok && r.body.rfind("Clock moved", 0) == 0, r.body.c_str());
    }

private:
    QStringList m_extra;
    std::shared_ptr<ServiceDatabase> m_db;
    QTemporaryDir m_dir;
    int m_port = 0;
    QProcess m_process;
};

// A registered user with helpers for the client's own requests.
struct User {
    QString login, password;
    QString digest() const { return Digest(password); }
};

inline Response Register(Client& c, const User& u, const QString& ref = {})
{
    return c.post(api::Account("tg_new_user", ref, u.login, u.digest(), FreshToken()));
}

inline QJsonObject Account(Client& c, const User& u)
{
    const Response r = c.post(api::Account("useraccount", "", u.login, u.digest(), FreshToken()));
    return QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object();
}

// Amount member of the account reply in units of 1e-8, exactly.
inline qint64 Units(const QJsonObject& account, const QString& member)
{
    const QString text = account.value(member).toString();
    const int dot = text.indexOf('.');
    if (dot < 0) return text.toLongLong() * 100000000;
    return text.left(dot).toLongLong() * 100000000 + text.mid(dot + 1).leftJustified(8, '0').toLongLong();
}

// One coin in the service's units (10^-8).
inline constexpr qint64 Unit = 100000000;

// Units as the service's decimal text ("12.00000001").
inline QString Decimal(qint64 units)
{
    return QString("%1.%2").arg(units / Unit).arg(units % Unit, 8, 10, QChar('0'));
}

// A decimal text ("0.5", "12.00000001") in units, exactly.
inline qint64 UnitsOf(const QString& decimal)
{
    return Units(QJsonObject{{"v", decimal}}, "v");
}

inline User NewUser(Client& c, const QString& prefix = "user", const QString& ref = {})
{
    static int n = 0;
    User u{QStringLiteral("%1%2_%3").arg(prefix).arg(++n).arg(QRandomGenerator::global()->bounded(1000000)),
           QStringLiteral("pw-%1").arg(n)};
    const Response r = Register(c, u, ref);
    if (r.body.empty() || r.body[0] != '{') qWarning("registration refused: %s", r.body.c_str());
    return u;
}

} // namespace svc
