// What an operator relies on: /healthz for the load balancer, /metrics in
// Prometheus' text format on an address of its own, and SIGHUP to reopen the
// access log after a rotation and load a renewed certificate.
#include "ServiceHarness.h"

#include <QRegularExpression>
#include <QtTest>

#include <signal.h>

#include <map>

using namespace svc;

namespace {

int FreePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
    return probe.serverPort();
}

// One plain-HTTP GET; the status and body, or status 0 when nothing answered.
Response PlainGet(int port, const std::string& target)
{
    namespace net = boost::asio;
    namespace http = boost::beast::http;
    try {
        net::io_context ioc;
        boost::beast::tcp_stream stream(ioc);
        stream.expires_after(std::chrono::seconds(30));
        stream.connect(net::ip::tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)));
        http::request<http::empty_body> req(http::verb::get, target, 11);
        req.set(http::field::host, "127.0.0.1");
        http::write(stream, req);
        boost::beast::flat_buffer buffer;
        http::response<http::string_body> res;
        http::read(stream, buffer, res);
        return Response{static_cast<int>(res.result_int()), res.body(), true};
    } catch (const std::exception&) {
        return Response{};
    }
}

// A scrape: every sample by its name with labels as written ("name{a=\"b\"}"), after checking that each line
// is a comment, a TYPE or HELP line, or a sample of a family whose TYPE came first.
struct Scrape {
    std::map<QString, double> samples;
    QStringList problems;
    double value(const QString& key) const
    {
        auto it = samples.find(key);
        return it == samples.end() ? 0 : it->second;
    }
};

Scrape Parse(const QString& text)
{
    static const QRegularExpression sample(
        R"(^([a-zA-Z_:][a-zA-Z0-9_:]*)(\{[a-zA-Z_][a-zA-Z0-9_]*="[^"\\]*"(,[a-zA-Z_][a-zA-Z0-9_]*="[^"\\]*")*\})? )"
        R"(([-+]?[0-9.]+([eE][-+]?[0-9]+)?|\+Inf|NaN)$)");
    static const QRegularExpression type(R"(^# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge|histogram|summary|untyped)$)");
    Scrape s;
    QSet<QString> families;
    if (!text.endsWith('\n')) s.problems << "no final line feed";
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts)) {
        if (const auto t = type.match(line); t.hasMatch()) {
            families.insert(t.captured(1));
            continue;
        }
        if (line.startsWith("# HELP ")) continue;
        const auto m = sample.match(line);
        if (!m.hasMatch()) {
            s.problems << "not a sample: " + line;
            continue;
        }
        QString family = m.captured(1);
        for (const char* suffix : {"_bucket", "_sum", "_count"})
            if (!families.contains(family) && family.endsWith(suffix)) family.chop(int(strlen(suffix)));
        if (!families.contains(family)) s.problems << "no TYPE before " + line;
        s.samples[m.captured(1) + m.captured(2)] = m.captured(4).toDouble();
    }
    return s;
}

QString Requests(const char* action, int status)
{
    return QStringLiteral("ambervale_requests_total{action=\"%1\",status=\"%2\"}").arg(action).arg(status);
}

// The SHA-256 fingerprint of the certificate a TLS server at port presents, or of a PEM file.
QString Fingerprint(const QString& shellSource)
{
    QProcess p;
    p.start("bash", {"-c", shellSource + " | openssl x509 -noout -fingerprint -sha256"});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

} // namespace

class ServiceOpsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SVC_REQUIRE_STORE(); }

    // The counters move by exactly the requests sent between two scrapes; the histogram holds every one of
    // them; the shared commits hold every money write; the text parses. Not served over the HTTPS port.
    void metricsCountTheRequestsSent()
    {
        const int metricsPort = FreePort();
        QVERIFY(metricsPort > 0);
        Service s(Service::DefaultArgs() << "--metrics" << QStringLiteral("127.0.0.1:%1").arg(metricsPort));
        Client c = s.client();
        const User u = NewUser(c, "metrics");
        QCOMPARE(s.command({"credit", u.login, "usdt", "10"}).exitCode, 0);

        const Response before = PlainGet(metricsPort, "/metrics");
        QCOMPARE(before.status, 200);
        const Scrape b = Parse(before.text());
        QVERIFY2(b.problems.isEmpty(), qPrintable(b.problems.join('\n')));

        for (int i = 0; i < 5; ++i) QVERIFY(!Account(c, u).isEmpty());
        for (int i = 0; i < 3; ++i) QVERIFY(c.post(api::Settings("all_json_setting", FreshToken())).ok);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(c.post({{"a", "x_no_such_action"}, {"session", FreshToken()}}).text(), QString("Unknown action."));
        for (int i = 0; i < 4; ++i)
            QVERIFY(c.post(api::SwapCoin("swap", "USDT", "DOGE", "1", u.login, u.digest(), FreshToken()))
                        .text()
                        .startsWith("Swap done"));
        for (const char* action : {"history", "investments"})
            QVERIFY(c.post({{"a", action}, {"s", u.login}, {"pass", u.digest()}, {"session", FreshToken()}})
                        .text()
                        .startsWith('{'));
        QVERIFY(c.post({{"a", "prices"}, {"session", FreshToken()}}).text().startsWith('{'));
        QCOMPARE(c.get("/healthz").text(), QString("ready"));
        QCOMPARE(c.get("/metrics").status, 404); // only on its own address
        constexpr int Sent = 5 + 3 + 2 + 4 + 3 + 1 + 1;

        const Response after = PlainGet(metricsPort, "/metrics");
        QCOMPARE(after.status, 200);
        const Scrape a = Parse(after.text());
        QVERIFY2(a.problems.isEmpty(), qPrintable(a.problems.join('\n')));
        const auto delta = [&](const QString& key) { return a.value(key) - b.value(key); };
        QCOMPARE(delta(Requests("useraccount", 200)), 5.0);
        QCOMPARE(delta(Requests("all_json_setting", 200)), 3.0);
        QCOMPARE(delta(Requests("other", 200)), 2.0);
        QCOMPARE(delta(Requests("get_swap_coin", 200)), 4.0);
        for (const char* action : {"history", "investments", "prices"}) QCOMPARE(delta(Requests(action, 200)), 1.0);
        QCOMPARE(delta(Requests("healthz", 200)), 1.0);
        QCOMPARE(delta(Requests("file", 404)), 1.0);
        double requests = 0;
        for (const auto& [key, v] : a.samples)
            if (key.startsWith("ambervale_requests_total{")) requests += v - b.value(key);
        QCOMPARE(requests, double(Sent));
        QCOMPARE(delta("ambervale_request_seconds_count"), double(Sent));
        // Cumulative buckets, the last holding every request.
        double last = 0;
        for (const char* le : {"0.001", "0.0025", "0.005", "0.01", "0.025", "0.05", "0.1", "0.25", "0.5", "1", "2.5",
                               "5", "+Inf"}) {
            const double v = a.value(QStringLiteral("ambervale_request_seconds_bucket{le=\"%1\"}").arg(le));
            QVERIFY2(v >= last, le);
            last = v;
        }
        QCOMPARE(last, a.value("ambervale_request_seconds_count"));
        QVERIFY(a.value("ambervale_open_connections") >= 1); // this client's keep-alive connection
        // Each swap is one writer of a committed shared transaction.
        QVERIFY(delta("ambervale_group_commit_writers_sum") >= 4);
        QVERIFY(delta("ambervale_group_commit_writers_count") >= 1);
        QCOMPARE(a.value("ambervale_group_commit_writers_bucket{le=\"+Inf\"}"),
                 a.value("ambervale_group_commit_writers_count"));
        QCOMPARE(PlainGet(metricsPort, "/other").status, 404);
    }

    void healthzIsReadyWithItsDatabase()
    {
        Service s;
        Client c = s.client();
        const Response r = c.get("/healthz");
        QCOMPARE(r.status, 200);
        QCOMPARE(r.text(), QString("ready"));
    }

    // After a rotation (the log renamed) SIGHUP makes the service write a fresh access.log; the renamed one
    // keeps the earlier lines. A renewed certificate is what new connections get after SIGHUP.
    void sighupReopensTheLogAndLoadsTheCertificate()
    {
        Service s;
        Client c = s.client();
        const User u = NewUser(c, "rotated");
        const QString log = s.dataDir() + "/access.log";
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(log).size() > 0, 10000);
        QVERIFY(QFile::rename(log, log + ".1"));
        const QString served = "openssl s_client -connect 127.0.0.1:" + QString::number(s.port()) + " </dev/null 2>/dev/null";
        const QString first = Fingerprint(served);
        QVERIFY2(first.contains("Fingerprint"), qPrintable(first));
        QCOMPARE(first, Fingerprint("cat " + s.dataDir() + "/server.pem"));

        // A new certificate under the same CA (made for another host name, as a renewal would be).
        QCOMPARE(s.command({"init", "--host", "localhost"}).exitCode, 0);
        const QString renewed = Fingerprint("cat " + s.dataDir() + "/server.pem");
        QVERIFY(renewed != first);
        QCOMPARE(::kill(static_cast<pid_t>(s.process().processId()), SIGHUP), 0);

        QTRY_VERIFY_WITH_TIMEOUT(Fingerprint(served) == renewed, 10000);
        Client fresh = s.client(); // the CA is the same: the renewed certificate is trusted
        QVERIFY(!Account(fresh, u).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(log).size() > 0, 10000);
        QFile now(log), old(log + ".1");
        QVERIFY(now.open(QIODevice::ReadOnly));
        QVERIFY(old.open(QIODevice::ReadOnly));
        const QByteArray fresher = now.readAll(), older = old.readAll();
        QVERIFY(fresher.contains("\"action\":\"useraccount\""));
        QVERIFY(older.contains("\"action\":\"tg_new_user\""));
        QVERIFY(!fresher.contains("\"action\":\"tg_new_user\""));
        QVERIFY(s.process().state() == QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(ServiceOpsTest)
#include "tst_service_ops.moc"
