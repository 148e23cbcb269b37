// Answer shapes of every action and path of the real service, with the
// client's own field lists; hostile fields; caps; throttling; the log.
#include "ServiceHarness.h"

#include <QFile>
#include <QRegularExpression>

using namespace svc;

namespace {

// Form body from the client's fields, with one field's value replaced by raw
// bytes (which a QString could not carry: NUL, invalid UTF-8).
std::string WithRawField(const FormFields& fields, const QString& name, const QByteArray& raw, bool drop = false)
{
    QByteArray out;
    for (const auto& [n, v] : fields) {
        if (n == name && drop) continue;
        if (!out.isEmpty()) out += '&';
        out += form::EncodeComponent(n) + '=';
        out += n == name ? raw.toPercentEncoding() : form::EncodeComponent(v);
    }
    return out.toStdString();
}

bool IsPlainText(const Response& r)
{
    return r.ok && !r.body.empty() && r.body[0] != '{' && r.body[0] != '[';
}

} // namespace

class ServiceApiTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Service> m_service;
    QStringList m_texts; // every text reply seen, for the "T" rule

    Response post(Client& c, const FormFields& f)
    {
        Response r = c.post(f);
        if (r.ok && (r.body.empty() || r.body[0] != '{')) m_texts << r.text();
        return r;
    }

private slots:
    void initTestCase()
    {
        SVC_REQUIRE_STORE();
        m_service = std::make_unique<Service>();
    }
    void cleanupTestCase()
    {
        // No text reply of this whole run began with "T" (the client would log in again at once).
        for (const QString& t : m_texts) QVERIFY2(!t.startsWith('T'), qPrintable(t));
        QVERIFY(m_texts.size() > 30);
        QVERIFY(m_service->verify());
    }

    void settingsShape()
    {
        Client c = m_service->client();
        const Response r = c.post(api::Settings("all_json_setting", FreshToken()));
        QVERIFY(r.ok);
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object();
        QVERIFY(o.value("min_withdraw_coin").isObject());
        const QJsonObject limits = o.value("min_withdraw_coin").toObject();
        bool isInt = false;
        limits.value("perc_withdraw").toString().toInt(&isInt);
        QVERIFY(isInt);
        QVERIFY(!limits.value("bonus_deposit").toString().isEmpty());
        const QJsonArray names = o.value("arr_name_coin").toArray();
        const QJsonArray fullNames = o.value("arr_fullname_coin").toArray();
        QCOMPARE(names.size(), Coins().size());
        QCOMPARE(fullNames.size(), names.size());
        for (int i = 0; i < names.size(); ++i) {
            const QString c = names.at(i).toString();
            QCOMPARE(c, Coins().at(i));
            QVERIFY(!fullNames.at(i).toString().isEmpty());
            QVERIFY2(QRegularExpression("^[0-9]+(\\.[0-9]+)?$").match(limits.value(c).toString()).hasMatch(),
                     qPrintable(c));
            QVERIFY(
                QRegularExpression("^[0-9]+(\\.[0-9]+)?$").match(limits.value("Mindep_" + c).toString()).hasMatch());
            limits.value("APR_" + c).toString().toInt(&isInt);
            QVERIFY2(isInt, qPrintable("APR_" + c));
        }
    }

    void accountShapeOnRegisterAndLogin()
    {
        Client c = m_service->client();
        const User u{"shape_user", "secret"};
        for (const char* action : {"tg_new_user", "useraccount"}) {
            const Response r = post(c, api::Account(action, "", u.login, u.digest(), FreshToken()));
            QVERIFY2(r.body.rfind("{", 0) == 0, r.body.c_str());
            const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object();
            for (const QString& coin : Coins()) {
                for (const char* p : {"wall_", "inv_", "dep_val_", "earned_inv_", "earned_ref_"}) {
                    const QString v = o.value(p + coin).toString();
                    QVERIFY2(QRegularExpression("^[0-9]+\\.[0-9]{8}$").match(v).hasMatch(), qPrintable(p + coin));
                }
                QVERIFY(o.contains("rental_days_" + coin));
            }
            QVERIFY(QRegularExpression("^[A-Z0-9]{8}$").match(o.value("refcode").toString()).hasMatch());
            QCOMPARE(o.value("refcol").toInt(-1), 0);
        }
        // The same login again, in another letter case too: refused with a text.
        for (const QString& login : {u.login, u.login.toUpper()}) {
            const Response again = post(c, api::Account("tg_new_user", "", login, u.digest(), FreshToken()));
            QVERIFY(IsPlainText(again));
        }
    }

    void guestRegistersLikeTheClient()
    {
        Client c = m_service->client();
        const QString login = "Guest" + QString::number(QRandomGenerator::global()->bounded(999999999));
        const QString password = "pass" + digest::MD5(QString::number(12345));
        const Response r = post(c, api::Account("tg_new_user", "", login, digest::MD5(password), FreshToken()));
        QVERIFY2(r.body.rfind("{", 0) == 0, r.body.c_str());
        QVERIFY(!Account(c, User{login, password}).isEmpty());
    }

    void sessionTokenFormAndRepeats_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("client token") << digest::SessionToken(QDateTime::currentDateTime()) << true;
        QTest::newRow("lower case") << digest::SessionToken(QDateTime::currentDateTime()).toLower() << false;
        QTest::newRow("31 digits") << QString(31, '0') << false;
        QTest::newRow("33 digits") << QString(33, 'A') << false;
        QTest::newRow("not hex") << QString(32, 'G') << false;
        QTest::newRow("empty") << QString() << false;
    }
    void sessionTokenFormAndRepeats()
    {
        QFETCH(QString, token);
        QFETCH(bool, accepted);
        Client c = m_service->client();
        const User u = NewUser(c, "token");
        // The same token twice in a row (two requests in one second) is fine.
        for (int i = 0; i < 2; ++i) {
            const Response r = post(c, api::Account("useraccount", "", u.login, u.digest(), token));
            QCOMPARE(r.body.rfind("{", 0) == 0, accepted);
            if (!accepted) QVERIFY(IsPlainText(r));
        }
    }

    void wrongPasswordIsAText()
    {
        Client c = m_service->client();
        const User u = NewUser(c, "wrongpw");
        const Response r = post(c, api::Account("useraccount", "", u.login, Digest("not it"), FreshToken()));
        QVERIFY(IsPlainText(r));
        const Response unknown = post(c, api::Account("useraccount", "", "nobody_here", Digest("x"), FreshToken()));
        QCOMPARE(unknown.body, r.body); // no hint whether the login exists
    }

    void depositAddressesStableAndUnique()
    {
        Client c = m_service->client();
        const User a = NewUser(c, "dep"), b = NewUser(c, "dep");
        QSet<QString> seen;
        for (const User& u : {a, b}) {
            for (const auto& [coin, network] : QList<QPair<QString, QString>>{{"btc", "Main"},
                                                                              {"usdt", "Main"},
                                                                              {"usdt", "trc20"},
                                                                              {"usdt", "bep20"},
                                                                              {"matic", "prc20"},
                                                                              {"shib", "erc20"},
                                                                              {"eth", "Main"}}) {
                const QString cg = api::DepositCoin(coin, network);
                const Response first = post(c, api::DepositAddress(cg, u.login, u.digest(), FreshToken()));
                const Response second = post(c, api::DepositAddress(cg, u.login, u.digest(), FreshToken()));
                QVERIFY2(!first.body.empty(), qPrintable(cg));
                QCOMPARE(second.body, first.body);
                QVERIFY(!first.text().startsWith('T'));
                QVERIFY2(!seen.contains(first.text()), qPrintable(cg));
                seen << first.text();
            }
        }
        // Pairs that do not exist: the client's failure case, an empty body.
        for (const char* cg : {"btc.omni", "usdt.omni", "xyz", "doge.bep2", "usdt.", ""}) {
            const Response r = c.post(api::DepositAddress(cg, a.login, a.digest(), FreshToken()));
            QVERIFY(r.ok);
            QVERIFY2(r.body.empty(), qPrintable(cg));
        }
    }

    // Every text-answering action answers a text for the user, never JSON and never "T...".
    void textActions_data()
    {
        QTest::addColumn<int>("which");
        for (int i = 0; i < 12; ++i) QTest::newRow(qPrintable(QString::number(i))) << i;
    }
    void textActions()
    {
        QFETCH(int, which);
        Client c = m_service->client();
        const User u = NewUser(c, "text");
        const QString d = u.digest();
        const QString t = FreshToken();
        const QList<FormFields> calls{
            api::InvestCoin("3", "btc", "0.5", u.login, d, t),
            api::InvestCoin("0", "btc", "0.5", u.login, d, t),
            api::Withdraw("btc", ValidAddress("btc"), "Main", "0.5", u.login, d, t),
            api::Withdraw("usdt", "", "TRC-20 (Tron)", "10", u.login, d, t),
            api::SwapCoin("swap", "ETH", "USDT", "1", u.login, d, t),
            api::SwapCoin("get", "ETH", "ETH", "1", u.login, d, t),
            api::ChangePass(u.login, "new", "wrong old", t),
            api::ResetPass(u.login, t),
            api::FreeCoin(u.login, d, t),
            api::BuyLotto(u.login, d, "TRX", "5", t),
            api::BuyLotto(u.login, Digest("wrong"), "TRX", "5", t),
            {{"a", "no_such_action"}, {"session", t}},
        };
        const Response r = post(c, calls.at(which));
        QVERIFY2(IsPlainText(r), r.body.c_str());
    }

    void swapQuoteIsABareDecimal()
    {
        Client c = m_service->client();
        const Response r = c.post(api::SwapCoin("get", "ETH", "USDT", "2", "anyone", Digest("x"), FreshToken()));
        QVERIFY2(QRegularExpression("^[0-9]+\\.[0-9]+$").match(r.text()).hasMatch(), r.body.c_str());
        QVERIFY(r.text().toDouble() > 0);
    }

    void getPaths()
    {
        Client c = m_service->client();
        for (const QString& coin : Coins()) {
            for (const QString& path : {"/lotto/" + coin + ".json", "/lotto/winner_" + coin + ".json"}) {
                const Response r = c.get(path.toStdString());
                QCOMPARE(r.status, 200);
                QVERIFY2(QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).isArray(), qPrintable(path));
            }
        }
        for (const char* ad : {"/morec/ads/a-ads_1.php", "/morec/ads/a-ads_2.php"}) {
            const Response r = c.get(ad);
            QCOMPARE(r.status, 200);
            QVERIFY(r.text().contains("<html"));
        }
        const Response invite = c.get("/invite_user/?ref=AB12%3Cscript%3E");
        QCOMPARE(invite.status, 200);
        QVERIFY(invite.text().contains("AB12&lt;script&gt;"));
        QVERIFY(!invite.text().contains("<script>"));
        for (const char* unknown : {"/", "/lotto/xyz.json", "/lotto/.json", "/etc/passwd", "/api.php"}) {
            const Response r = c.get(unknown);
            QVERIFY2(IsPlainText(r), unknown);
            QCOMPARE(r.status, 404);
        }
    }

    void hostileFields_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<bool>("drop");
        const QList<QPair<const char*, QByteArray>> values{
            {"overlong", QByteArray(5000, '1')},
            {"NUL byte", QByteArray("1\0", 2) + "5"},
            {"invalid UTF-8", QByteArray("1\xC3\x28", 3)},
            {"overlong UTF-8", QByteArray("\xC0\xB1", 2)},
            {"SQL fragment", "1'); DROP TABLE balances; --"},
            {"SQL or", "1 OR 1=1"},
            {"negative", "-1"},
            {"negative zero", "-0.5"},
            {"NaN", "NaN"},
            {"infinity", "inf"},
            {"1e308", "1e308"},
            {"10^30", "1000000000000000000000000000000"},
            {"several separators", "1.2.3"},
            {"mixed separators", "1,2.3"},
            {"nine decimals", "0.123456789"},
            {"space", " 1"},
            {"hex", "0x10"},
            {"empty", ""},
            {"zero", "0"},
        };
        for (const auto& [name, raw] : values) {
            QTest::newRow(qPrintable(QString("withdraw val ") + name)) << "withdraw"
                                                                       << "val" << raw << false;
            QTest::newRow(qPrintable(QString("invest value ") + name)) << "invest"
                                                                       << "value" << raw << false;
            QTest::newRow(qPrintable(QString("swap val ") + name)) << "swap"
                                                                   << "val" << raw << false;
            QTest::newRow(qPrintable(QString("lottery val ") + name)) << "lottery"
                                                                      << "val" << raw << false;
        }
        QTest::newRow("unknown coin withdraw") << "withdraw"
                                               << "coin" << QByteArray("xyz") << false;
        QTest::newRow("unknown coin invest") << "invest"
                                             << "coin" << QByteArray("BTC'--") << false;
        QTest::newRow("unknown coin lottery") << "lottery"
                                              << "coin" << QByteArray("DOGECOIN") << false;
        QTest::newRow("unknown coin swap") << "swap"
                                           << "cur1" << QByteArray("XYZ") << false;
        QTest::newRow("unknown network") << "withdraw"
                                         << "network" << QByteArray("Lightning") << false;
        QTest::newRow("network name in other case") << "withdraw"
                                                    << "network" << QByteArray("trc-20 (tron)") << false;
        QTest::newRow("address with spaces") << "withdraw"
                                             << "addr" << QByteArray("bc1 q; rm -rf") << false;
        QTest::newRow("address overlong") << "withdraw"
                                          << "addr" << QByteArray(200, 'a') << false;
        QTest::newRow("rental code 5") << "invest"
                                       << "rental_code" << QByteArray("5") << false;
        QTest::newRow("rental code -1") << "invest"
                                        << "rental_code" << QByteArray("-1") << false;
        QTest::newRow("login NUL") << "withdraw"
                                   << "s" << QByteArray("rich\0", 5) << false;
        QTest::newRow("digest lower case") << "withdraw"
                                           << "pass" << QByteArray(32, 'a') << false;
        for (const char* f : {"val", "coin", "addr", "network", "s", "pass", "session", "a"})
            QTest::newRow(qPrintable(QString("withdraw missing ") + f)) << "withdraw" << f << QByteArray() << true;
        for (const char* f : {"value", "coin", "rental_code"})
            QTest::newRow(qPrintable(QString("invest missing ") + f)) << "invest" << f << QByteArray() << true;
        for (const char* f : {"val", "cur0", "cur1"})
            QTest::newRow(qPrintable(QString("swap missing ") + f)) << "swap" << f << QByteArray() << true;
        QTest::newRow("lottery missing coin") << "lottery"
                                              << "coin" << QByteArray() << true;
    }
    void hostileFields()
    {
        QFETCH(QString, action);
        QFETCH(QString, field);
        QFETCH(QByteArray, raw);
        QFETCH(bool, drop);
        // A user with money in every coin the requests touch.
        static User rich;
        Client c = m_service->client();
        if (rich.login.isEmpty()) {
            rich = NewUser(c, "rich");
            for (const char* coin : {"btc", "usdt", "trx"})
                QCOMPARE(m_service->command({"credit", rich.login, coin, "1000"}).exitCode, 0);
        }
        const QJsonObject before = Account(c, rich);
        const QString t = FreshToken();
        const QString d = rich.digest();
        FormFields f = action == "withdraw" ? api::Withdraw("btc", ValidAddress("btc"), "Main", "1", rich.login, d, t)
                       : action == "invest" ? api::InvestCoin("3", "btc", "1", rich.login, d, t)
                       : action == "swap"   ? api::SwapCoin("swap", "BTC", "USDT", "1", rich.login, d, t)
                                            : api::BuyLotto(rich.login, d, "TRX", "1", t);
        const Response r = c.postRaw(WithRawField(f, field, raw, drop));
        QVERIFY2(IsPlainText(r), r.body.c_str());
        QVERIFY2(!r.text().startsWith('T'), r.body.c_str());
        m_texts << r.text();
        QCOMPARE(Account(c, rich), before); // nothing changed
    }

    void oversizedBodyAndHeaders()
    {
        Client c = m_service->client();
        const Response big = c.postRaw("a=useraccount&s=" + std::string(20000, 'x'));
        QCOMPARE(big.status, 413);
        QVERIFY(IsPlainText(big));
        // The service still serves afterwards.
        Client again = m_service->client();
        QVERIFY(again.post(api::Settings("all_json_setting", FreshToken())).ok);
    }

    void plainHttpGetsNoAnswer()
    {
        namespace net = boost::asio;
        net::io_context ioc;
        net::ip::tcp::socket s(ioc);
        s.connect({net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(m_service->port())});
        net::write(s, net::buffer(std::string("POST /api.php HTTP/1.1\r\nHost: x\r\nContent-Length: 22\r\n\r\n"
                                              "a=all_json_setting&s=")));
        std::array<char, 1024> buf;
        boost::system::error_code ec;
        const size_t n = s.read_some(net::buffer(buf), ec);
        QVERIFY(ec);                                                               // closed without a reply...
        QVERIFY(std::string(buf.data(), n).find("HTTP/1.1") == std::string::npos); // ...and no HTTP answer
    }

    void slowClientsAreCutOff()
    {
        namespace net = boost::asio;
        Service quick({"--read-timeout", "1"});
        auto closedWithin = [&](const std::string& bytes, bool tls) {
            net::io_context ioc;
            net::ssl::context ctx(net::ssl::context::tls_client);
            net::ssl::stream<net::ip::tcp::socket> s(ioc, ctx);
            s.next_layer().connect({net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(quick.port())});
            if (tls) s.handshake(net::ssl::stream_base::client);
            if (!bytes.empty()) net::write(s, net::buffer(bytes));
            const auto start = std::chrono::steady_clock::now();
            std::array<char, 256> buf;
            boost::system::error_code ec;
            std::string got;
            while (!ec) {
                const size_t n =
                    tls ? s.read_some(net::buffer(buf), ec) : s.next_layer().read_some(net::buffer(buf), ec);
                got.append(buf.data(), n);
            }
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            return std::make_pair(seconds, got);
        };
        // Silent after connecting: no handshake within the time-out.
        auto [silent, silentGot] = closedWithin("", false);
        QVERIFY2(silent < 5, qPrintable(QString::number(silent)));
        QVERIFY(silentGot.empty());
        // Half a request, then nothing: cut off without an answer.
        auto [half, halfGot] =
            closedWithin("POST /api.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 50\r\n\r\na=use", true);
        QVERIFY2(half < 5, qPrintable(QString::number(half)));
        QVERIFY(halfGot.find("HTTP/1.1") == std::string::npos);
        // Other clients are served all along.
        Client c = quick.client();
        QVERIFY(c.post(api::Settings("all_json_setting", FreshToken())).ok);
    }

    void failedLoginsArePausedPerLogin()
    {
        Client c = m_service->client();
        const User u = NewUser(c, "throttle"), other = NewUser(c, "throttle");
        for (int i = 0; i < 5; ++i)
            QVERIFY(IsPlainText(post(c, api::Account("useraccount", "", u.login, Digest("guess"), FreshToken()))));
        const Response paused = post(c, api::Account("useraccount", "", u.login, u.digest(), FreshToken()));
        QVERIFY2(IsPlainText(paused), paused.body.c_str());
        QVERIFY(paused.text().contains("paused"));
        QVERIFY(!Account(c, other).isEmpty()); // another login is not affected
        m_service->advance(301);
        QVERIFY(!Account(c, u).isEmpty());
    }

    void repeatedMoneyRequestRunsOnce()
    {
        Client c = m_service->client();
        const User u = NewUser(c, "twice");
        QCOMPARE(m_service->command({"credit", u.login, "btc", "1"}).exitCode, 0);
        const FormFields f = api::InvestCoin("2", "btc", "0.25", u.login, u.digest(), FreshToken());
        const Response first = post(c, f);
        const Response second = post(c, f);
        QCOMPARE(second.body, first.body);
        QCOMPARE(Units(Account(c, u), "inv_btc"), 25000000);
        // The same amount again under a new token is a new investment.
        post(c, api::InvestCoin("2", "btc", "0.25", u.login, u.digest(), FreshToken()));
        QCOMPARE(Units(Account(c, u), "inv_btc"), 50000000);
    }

    void accessLogHoldsNoSecrets()
    {
        Client c = m_service->client();
        const User u = NewUser(c, "logged");
        post(c, api::ChangePass(u.login, "brand new", u.password, FreshToken()));
        post(c, api::ResetPass(u.login, FreshToken()));
        const QString mails = m_service->command({"reset-codes"}).out;
        const QString code = QRegularExpression(u.login + "\\t([0-9]{8})").match(mails).captured(1);
        QCOMPARE(code.size(), 8);
        post(c, api::ChangePass(u.login, "newer", code, FreshToken()));
        m_service->stop(); // flushes the log
        QFile log(m_service->dataDir() + "/access.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray all = log.readAll();
        int lines = 0;
        for (const QByteArray& line : all.split('\n')) {
            if (line.isEmpty()) continue;
            ++lines;
            QVERIFY(QJsonDocument::fromJson(line).isObject());
        }
        QVERIFY(lines > 20);
        QVERIFY(all.contains("\"action\":\"changepass\""));
        for (const QString& secret : {u.digest(), u.password, QString("brand new"), Digest("brand new")})
            QVERIFY2(!all.contains(secret.toUtf8()), qPrintable(secret));
        QVERIFY(!QRegularExpression("(?<![0-9])" + code + "(?![0-9])").match(QString::fromUtf8(all)).hasMatch());
        m_service->start();
    }

    void sigtermStopsCleanly()
    {
        m_service->process().terminate();
        QVERIFY(m_service->process().waitForFinished(8000));
        QCOMPARE(m_service->process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_service->process().exitCode(), 0);
        m_service->start();
    }
};

QTEST_GUILESS_MAIN(ServiceApiTest)
#include "tst_service_api.moc"
