// The service's front under attack: a registration flood beside money
// requests, descriptors and connections used up, weak TLS offered, HEAD
// answers with a body, overlong access-log lines; and what the service
// publishes or accepts for the client: masked e-mail logins in the players
// file, every network the client lists.
#include "ServiceHarness.h"

#include "Lottery.h"

#include <QFile>
#include <QRegularExpression>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <latch>
#include <sstream>
#include <thread>
#include <vector>

using namespace svc;

namespace {

namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;

const QString BusyText = "Busy: please try again in a moment.";

// A plain TCP connection to the service, from source (a loopback address) when given.
std::unique_ptr<tcp::socket> Connect(net::io_context& ioc, int port, const std::string& source = {})
{
    auto s = std::make_unique<tcp::socket>(ioc);
    s->open(tcp::v4());
    if (!source.empty()) s->bind(tcp::endpoint(net::ip::make_address(source), 0));
    s->connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)));
    return s;
}

struct HandshakeResult {
    bool ok = false;
    std::string cipher, version;
};

// A TLS handshake with exactly the given protocol range and cipher list (TLS 1.2
// names; TLS 1.3 suites stay the library's).
HandshakeResult Handshake(int port, const QString& caFile, int minVersion, int maxVersion, const char* ciphers,
                          const std::string& source = {})
{
    net::io_context ioc;
    ssl::context ctx(ssl::context::tls_client);
    ctx.load_verify_file(caFile.toStdString());
    ctx.set_verify_mode(ssl::verify_peer);
    SSL_CTX_set_min_proto_version(ctx.native_handle(), minVersion);
    SSL_CTX_set_max_proto_version(ctx.native_handle(), maxVersion);
    if (ciphers) SSL_CTX_set_cipher_list(ctx.native_handle(), ciphers);
    HandshakeResult r;
    try {
        ssl::stream<tcp::socket> stream(ioc, ctx);
        stream.next_layer() = std::move(*Connect(ioc, port, source));
        struct timeval tv{30, 0};
        setsockopt(stream.next_layer().native_handle(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        boost::system::error_code ec;
        stream.handshake(ssl::stream_base::client, ec);
        if (ec) return r;
        r.ok = true;
        r.cipher = SSL_get_cipher_name(stream.native_handle());
        r.version = SSL_get_version(stream.native_handle());
    } catch (const std::exception&) {
    }
    return r;
}

// One raw request over TLS with "Connection: close"; everything the service
// sent back, headers and all.
std::string RawExchange(int port, const QString& caFile, const std::string& request)
{
    net::io_context ioc;
    ssl::context ctx(ssl::context::tls_client);
    ctx.load_verify_file(caFile.toStdString());
    ctx.set_verify_mode(ssl::verify_peer);
    ssl::stream<tcp::socket> stream(ioc, ctx);
    stream.next_layer() = std::move(*Connect(ioc, port));
    stream.handshake(ssl::stream_base::client);
    net::write(stream, net::buffer(request));
    std::string out;
    boost::system::error_code ec;
    char buf[4096];
    for (;;) {
        const std::size_t n = stream.read_some(net::buffer(buf), ec);
        out.append(buf, n);
        if (ec) break;
    }
    return out;
}

// CPU seconds the process has used (user + system).
double CpuSeconds(qint64 pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stod(field);
        if (i == 15) stime = std::stod(field);
    }
    return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

int OpenDescriptors(qint64 pid)
{
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
        (void)e;
        ++n;
    }
    return n;
}

} // namespace

class ServiceAttackServerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SVC_REQUIRE_STORE(); }

    // Registrations all at once, more than the hashing pool and its queue
    // hold: the surplus is told "busy" at once, and the account refreshes
    // sent among them are all answered.
    void registrationFloodLeavesTheWorkers()
    {
        Service service(Service::DefaultArgs() + QStringList{"--hash-workers", "1", "--hash-queue", "2"});
        Client setup = service.client();
        const User owner = NewUser(setup, "owner");
        QVERIFY(Account(setup, owner).contains("login")); // remembered: its refreshes need no hash

        constexpr int Flood = 24, Refreshes = 4;
        std::vector<std::unique_ptr<Client>> clients;
        for (int i = 0; i < Flood + Refreshes; ++i) {
            clients.push_back(std::make_unique<Client>(service.port(), service.caFile()));
            QVERIFY(clients.back()->post(api::Settings("all_json_setting", FreshToken())).ok); // connected
        }
        std::vector<User> newcomers;
        std::vector<QString> tokens;
        for (int i = 0; i < Flood + Refreshes; ++i) {
            newcomers.push_back(User{QStringLiteral("flood%1_%2").arg(i).arg(QRandomGenerator::global()->bounded(1000000)),
                                     "pw"});
            tokens.push_back(FreshToken());
        }
        std::vector<Response> answers(Flood + Refreshes);
        std::latch go(Flood + Refreshes);
        std::vector<std::thread> threads;
        for (int i = 0; i < Flood + Refreshes; ++i)
            threads.emplace_back([&, i] {
                go.arrive_and_wait();
                answers[i] = i < Flood ? clients[i]->post(api::Account("tg_new_user", "", newcomers[i].login,
                                                                      newcomers[i].digest(), tokens[i]))
                                       : clients[i]->post(api::Account("useraccount", "", owner.login, owner.digest(),
                                                                      tokens[i]));
            });
        for (auto& t : threads) t.join();

        int registered = 0, busy = 0;
        for (int i = 0; i < Flood; ++i) {
            QVERIFY2(answers[i].ok, "a registration got no answer");
            if (answers[i].text().startsWith('{')) {
                ++registered;
            } else {
                QCOMPARE(answers[i].status, 503);
                QCOMPARE(answers[i].text(), BusyText);
                ++busy;
            }
        }
        QVERIFY2(busy > 0, "no registration was turned away: hashing has no queue limit");
        QVERIFY(registered > 0);
        for (int i = Flood; i < Flood + Refreshes; ++i) {
            QVERIFY(answers[i].ok);
            QVERIFY2(answers[i].text().startsWith('{'), answers[i].body.c_str());
        }
        // A refused registration made nothing: the login is free for a retry.
        for (int i = 0; i < Flood; ++i)
            if (answers[i].status == 503) {
                QVERIFY(Register(setup, newcomers[i]).text().startsWith('{'));
                break;
            }
    }

    // TLS 1.3, and TLS 1.2 only with ECDHE and an AEAD cipher.
    void tlsOffersAeadOnly_data()
    {
        QTest::addColumn<int>("minVersion");
        QTest::addColumn<int>("maxVersion");
        QTest::addColumn<QString>("ciphers");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("TLS 1.3") << TLS1_3_VERSION << TLS1_3_VERSION << QString() << true;
        QTest::newRow("1.2 AES-GCM") << TLS1_2_VERSION << TLS1_2_VERSION << "ECDHE-ECDSA-AES128-GCM-SHA256" << true;
        QTest::newRow("1.2 AES-256-GCM") << TLS1_2_VERSION << TLS1_2_VERSION << "ECDHE-ECDSA-AES256-GCM-SHA384" << true;
        QTest::newRow("1.2 ChaCha20") << TLS1_2_VERSION << TLS1_2_VERSION << "ECDHE-ECDSA-CHACHA20-POLY1305" << true;
        QTest::newRow("1.2 CBC SHA-1") << TLS1_2_VERSION << TLS1_2_VERSION << "ECDHE-ECDSA-AES128-SHA" << false;
        QTest::newRow("1.2 CBC SHA-256") << TLS1_2_VERSION << TLS1_2_VERSION << "ECDHE-ECDSA-AES128-SHA256" << false;
        QTest::newRow("1.2 CBC SHA-384") << TLS1_2_VERSION << TLS1_2_VERSION << "ECDHE-ECDSA-AES256-SHA384" << false;
        QTest::newRow("1.2 every CBC suite") << TLS1_2_VERSION << TLS1_2_VERSION << "ALL:!AESGCM:!CHACHA20:@SECLEVEL=0"
                                             << false;
    }
    void tlsOffersAeadOnly()
    {
        QFETCH(int, minVersion);
        QFETCH(int, maxVersion);
        QFETCH(QString, ciphers);
        QFETCH(bool, accepted);
        Service& service = shared();
        const QByteArray list = ciphers.toLatin1();
        const HandshakeResult r =
            Handshake(service.port(), service.caFile(), minVersion, maxVersion, ciphers.isEmpty() ? nullptr : list.data());
        QCOMPARE(r.ok, accepted);
        if (r.ok)
            QVERIFY2(QString::fromStdString(r.cipher).contains("GCM") ||
                         QString::fromStdString(r.cipher).contains("CHACHA20"),
                     r.cipher.c_str());
    }

    // HEAD: the headers a GET gets, no body.
    void headAnswersCarryNoBody_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("advert") << "/morec/ads/a-ads_1.php";
        QTest::newRow("players file") << "/lotto/trx.json";
        QTest::newRow("invitation") << "/invite_user/?ref=ABCD";
        QTest::newRow("not found") << "/nothing-here";
    }
    void headAnswersCarryNoBody()
    {
        QFETCH(QString, path);
        Service& service = shared();
        Client c = service.client();
        const Response get = c.get(path.toStdString());
        QVERIFY(get.ok && !get.body.empty());
        const std::string answer =
            RawExchange(service.port(), service.caFile(),
                        "HEAD " + path.toStdString() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        const auto end = answer.find("\r\n\r\n");
        QVERIFY2(end != std::string::npos, answer.c_str());
        QCOMPARE(QString::fromStdString(answer.substr(end + 4)), QString()); // nothing after the headers
        const QRegularExpression length("\r\ncontent-length: *([0-9]+)\r\n", QRegularExpression::CaseInsensitiveOption);
        const auto m = length.match(QString::fromStdString(answer.substr(0, end + 2)));
        QVERIFY(m.hasMatch());
        QCOMPARE(m.captured(1).toULongLong(), get.body.size());
    }

    // Whatever a request carries, its access-log line stays short.
    void accessLogLinesAreCapped()
    {
        Service& service = shared();
        Client c = service.client();
        const std::string longPath = "/" + std::string(7000, 'p');
        const QString longLogin = QString(100, QLatin1Char('l'));
        QVERIFY(c.get(longPath).ok);
        QVERIFY(c.post({{"a", QString(32, QLatin1Char('a'))}, {"s", longLogin}, {"pass", Digest("x")},
                        {"session", FreshToken()}})
                    .ok);
        QVERIFY(c.post(api::Account("useraccount", "", longLogin, Digest("x"), FreshToken())).ok);
        QByteArrayList lines;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QFile f(service.dataDir() + "/access.log");
                if (!f.open(QIODevice::ReadOnly)) return false;
                lines = f.readAll().split('\n');
                int mine = 0;
                for (const QByteArray& l : lines) mine += l.contains("pppppppp") || l.contains("llllllll");
                return mine >= 3;
            }(),
            15000);
        for (const QByteArray& l : lines) {
            QVERIFY2(l.size() <= 400, l.left(200).constData());
            if (l.isEmpty()) continue;
            QVERIFY(!QJsonDocument::fromJson(l).isNull()); // cut, still one JSON object
        }
    }

    // One client address holds at most --connections-per-address connections;
    // another address is served meanwhile, and a closed connection frees its place.
    void connectionsPerAddressAreCapped()
    {
        Service service(Service::DefaultArgs() + QStringList{"--connections-per-address", "4"});
        net::io_context ioc;
        std::vector<std::unique_ptr<tcp::socket>> held;
        for (int i = 0; i < 4; ++i) held.push_back(Connect(ioc, service.port(), "127.0.0.3"));
        const auto handshakeFrom = [&](const char* source) {
            return Handshake(service.port(), service.caFile(), TLS1_2_VERSION, TLS1_3_VERSION, nullptr, source).ok;
        };
        // Polled by hand: each handshake that gets through holds a place for a moment itself.
        const auto eventuallyFrom = [&](const char* source) {
            for (int i = 0; i < 100; ++i) {
                if (handshakeFrom(source)) return true;
                QTest::qWait(100);
            }
            return false;
        };
        // Accepted in order: the four are counted before the fifth arrives, which is closed at once.
        QVERIFY(!handshakeFrom("127.0.0.3"));
        QVERIFY(eventuallyFrom("127.0.0.4")); // another machine is served
        held.pop_back();                      // one goes away...
        QVERIFY(eventuallyFrom("127.0.0.3")); // ...and its place is free again
    }

    // Out of descriptors: the accept loop rests instead of spinning, waiting
    // clients are closed rather than left hanging, and the service recovers
    // once connections go.
    void descriptorsExhausted()
    {
        QTemporaryDir dir;
        WriteTestConfig(dir.path());
        QProcess init;
        init.start(Service::Binary(), {"init", "--data", dir.path(), "--host", "127.0.0.1"});
        QVERIFY(init.waitForFinished(60000) && init.exitCode() == 0);
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const int port = probe.serverPort();
        probe.close();
        QProcess p;
        p.setProgram(Service::Binary());
        p.setArguments({"--data", dir.path(), "--port", QString::number(port), "--host", "127.0.0.1", "--bind",
                        "127.0.0.1", "--sync", "normal"});
        p.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        p.setChildProcessModifier([] {
            struct rlimit lim{96, 96};
            ::setrlimit(RLIMIT_NOFILE, &lim);
        });
        p.start();
        QVERIFY(p.waitForStarted(10000));
        const QString ca = dir.path() + "/ca.pem";
        QTRY_VERIFY_WITH_TIMEOUT(Client(port, ca).post(api::Settings("all_json_setting", FreshToken())).ok, 20000);

        // Far more connections than descriptors; the service takes what it can.
        net::io_context ioc;
        std::vector<std::unique_ptr<tcp::socket>> held;
        for (int i = 0; i < 160; ++i) held.push_back(Connect(ioc, port));
        QTRY_VERIFY_WITH_TIMEOUT(OpenDescriptors(p.processId()) >= 90, 20000);

        // Resting, not spinning: well under half a core over a few seconds
        // (a spinning loop burns a whole one).
        const double before = CpuSeconds(p.processId());
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(3000);
        const double used = CpuSeconds(p.processId()) - before;
        const double share = used / (static_cast<double>(wall.elapsed()) / 1000);
        QVERIFY2(share < 0.5, qPrintable(QString("the service used %1 of a core while out of descriptors").arg(share)));

        // Waiting clients learn it: the reserve descriptor lets the service
        // take one and close it, so the last queued connection is closed too.
        held.back()->non_blocking(false);
        struct timeval tv{60, 0};
        setsockopt(held.back()->native_handle(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        char byte;
        boost::system::error_code ec;
        held.back()->read_some(net::buffer(&byte, 1), ec);
        QVERIFY2(ec == net::error::eof || ec == net::error::connection_reset, ec.message().c_str());

        // Once connections go, the service answers again.
        held.clear();
        QTRY_VERIFY_WITH_TIMEOUT(Client(port, ca).post(api::Settings("all_json_setting", FreshToken())).ok, 30000);
        QVERIFY(p.state() == QProcess::Running);
        p.terminate();
        QVERIFY(p.waitForFinished(15000));
    }

    // The players file shows an e-mail login masked, and the client still
    // finds its own stake in it.
    void playersFileMasksEmailLogins()
    {
        Service& service = shared();
        Client c = service.client();
        const User mail = NewUser(c, "carol.lotto@example.org_");
        const User plain = NewUser(c, "plainlotto");
        for (const User& u : {mail, plain}) {
            QCOMPARE(service.command({"credit", u.login, "trx", "100"}).exitCode, 0);
            const Response r = c.post(api::BuyLotto(u.login, u.digest(), "TRX", u.login == mail.login ? "3" : "1",
                                                    FreshToken()));
            QVERIFY2(r.text().contains("is in the draw"), r.body.c_str());
        }
        const Response players = c.get("/lotto/trx.json");
        QVERIFY(players.ok);
        QVERIFY2(!players.text().contains("@"), players.body.c_str());
        QVERIFY2(!players.text().contains("lotto@example"), players.body.c_str());
        QVERIFY(players.text().contains("\"car***\""));
        QVERIFY(players.text().contains("\"" + plain.login.toLower() + "\""));
        // The client's own lookup, with the login as typed on the login screen.
        const lotto::DrawFigures own = lotto::PlayersFigures(players.text(), lotto::LowerAscii(mail.login), "TRX");
        QVERIFY2(own.deposit.startsWith("3,00000000("), qPrintable(own.deposit));
        const lotto::DrawFigures other = lotto::PlayersFigures(players.text(), lotto::LowerAscii(plain.login), "TRX");
        QVERIFY2(other.deposit.startsWith("1,00000000("), qPrintable(other.deposit));
    }

    // Every network the client lists is served: a deposit address for each
    // coin and network of the deposit screen's picker, a withdrawal on each
    // network of the withdraw screen's list, for every coin.
    void everyNetworkTheClientListsIsServed()
    {
        Service& service = shared();
        Client c = service.client();
        const User u = NewUser(c, "networks");
        const QStringList pickerNetworks{"Main", "bep20", "erc20", "trc20", "sol", "prc20"};
        for (const QString& coin : Coins()) {
            // The picker is offered for usdt, shib and matic; every other coin goes on its main network.
            const QStringList networks =
                QStringList{"usdt", "shib", "matic"}.contains(coin) ? pickerNetworks : QStringList{"Main"};
            for (const QString& network : networks) {
                const QString cg = api::DepositCoin(coin, network);
                const Response r = c.post(api::DepositAddress(cg, u.login, u.digest(), FreshToken()));
                QVERIFY2(r.ok && !r.body.empty(), qPrintable(cg));
            }
        }
        const QStringList withdrawNetworks{"Main",          "BEP-20 (Binance)", "ERC-20 (Ethereum)",
                                           "TRC-20 (Tron)", "SOL (Solana)",     "PRC-20 (Polygon)"};
        const QJsonObject limits = QJsonDocument::fromJson(QByteArray::fromStdString(
                                                               c.post(api::Settings("all_json_setting", FreshToken())).body))
                                       .object()
                                       .value("min_withdraw_coin")
                                       .toObject();
        for (const QString& coin : Coins()) {
            const QString minimum = limits.value(coin).toString();
            QVERIFY(!minimum.isEmpty());
            // Enough for one withdrawal of twice the minimum on every network.
            const QString deposit = QString::number(minimum.toDouble() * 2 * withdrawNetworks.size() * 2, 'f', 8);
            QCOMPARE(service.command({"credit", u.login, coin, deposit}).exitCode, 0);
            const QString amount = QString::number(minimum.toDouble() * 2, 'f', 8);
            for (const QString& network : withdrawNetworks) {
                const Response r =
                    c.post(api::Withdraw(coin, ValidAddress(coin, network), network, amount, u.login, u.digest(), FreshToken()));
                QVERIFY2(r.text().startsWith("Withdrawal accepted"),
                         qPrintable(coin + " on " + network + ": " + r.text()));
            }
        }
        QVERIFY(service.verify());
    }

    // A config.json written when fewer networks were served still serves every one the client lists.
    void olderConfigServesEveryNetwork()
    {
        Service service(Service::DefaultArgs(), nullptr, [](const QString& dir) {
            QFile f(dir + "/config.json");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(R"({"registrations_per_address": 1000000, "coins": [
                {"code": "usdt", "name": "Tether", "min_withdraw": "5", "apr": 10, "min_deposit": "2",
                 "price_usd": "1", "networks": ["trc20"]},
                {"code": "doge", "name": "Dogecoin", "min_withdraw": "20", "apr": 15, "min_deposit": "10",
                 "price_usd": "0.15", "networks": []}]})");
        });
        Client c = service.client();
        const User u = NewUser(c, "oldconfig");
        for (const char* cg : {"usdt.sol", "usdt.prc20", "usdt.bep20", "doge.trc20"})
            QVERIFY2(!c.post(api::DepositAddress(cg, u.login, u.digest(), FreshToken())).body.empty(), cg);
    }

    void cleanupTestCase() { m_shared.reset(); }

private:
    std::unique_ptr<Service> m_shared;
    Service& shared()
    {
        if (!m_shared) m_shared = std::make_unique<Service>();
        return *m_shared;
    }
};

QTEST_GUILESS_MAIN(ServiceAttackServerTest)
#include "tst_service_attack_server.moc"
