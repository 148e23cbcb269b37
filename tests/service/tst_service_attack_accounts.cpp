// Accounts under attack: security-code floods, bonuses taken out without a
// deposit, registration floods, strangers locking owners out, parallel guesses
// outrunning the limit, login existence told by timing, and clear codes left in
// the reset outbox. Other client machines are other loopback addresses
// (127.0.0.2, ...), which Linux routes to the service like 127.0.0.1.
#include "ServiceHarness.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <latch>
#include <thread>
#include <vector>

using namespace svc;

namespace {

const QString ResetSent = "If this login exists, a security code valid for 15 minutes has been sent to its owner.";

// A service with these config.json members (the rest default).
std::unique_ptr<Service> WithConfig(const QString& json, const Service* sharedWith = nullptr)
{
    return std::make_unique<Service>(Service::DefaultArgs(), sharedWith, [json](const QString& dir) {
        QFile f(dir + "/config.json");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(json.toUtf8());
    });
}

// The codes the outbox delivers now, per login, in order.
QStringList Deliver(const Service& service, const QString& login)
{
    QStringList codes;
    auto it = QRegularExpression(QRegularExpression::escape(login) + "\\t([0-9]+)\\t")
                  .globalMatch(service.command({"reset-codes"}).out);
    while (it.hasNext()) codes << it.next().captured(1);
    return codes;
}

bool Changed(const Response& r)
{
    return r.text().startsWith("Password changed");
}

bool Paused(const Response& r)
{
    return r.ok && r.text().contains("paused");
}

// An account the running service has never verified (no remembered digest):
// made by the operator's command, as a password a user typed long ago.
User OperatorAccount(const Service& service, const QString& login)
{
    const User u{login, "pw-" + login};
    const auto r = service.command({"add-account", u.login, u.password});
    if (r.exitCode != 0) qWarning("add-account: %s", qPrintable(r.err));
    return u;
}

Response Login(Client& c, const User& u, const QString& digest)
{
    return c.post(api::Account("useraccount", "", u.login, digest, FreshToken()));
}

} // namespace

class ServiceAttackAccountsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SVC_REQUIRE_STORE(); }

    // A new code retires the older one; a flood of requests for one login or
    // from one address makes no more codes than the limits; the answer is the
    // same for every login.
    void resetRequestsAreLimited()
    {
        auto service = WithConfig(R"({"reset_requests_per_login": 3, "reset_requests_per_address": 6})");
        Client c = service->client();
        const User u = NewUser(c, "flood");

        QCOMPARE(c.post(api::ResetPass(u.login, FreshToken())).text(), ResetSent);
        const QStringList first = Deliver(*service, u.login);
        QCOMPARE(first.size(), 1);
        QCOMPARE(first[0].size(), 8);
        QCOMPARE(c.post(api::ResetPass(u.login, FreshToken())).text(), ResetSent);
        const QStringList second = Deliver(*service, u.login);
        QCOMPARE(second.size(), 1);
        QCOMPARE(service->sql("SELECT COUNT(*) FROM reset_codes").out, QString("1")); // one outstanding code
        if (first[0] != second[0])
            QVERIFY(!Changed(c.post(api::ChangePass(u.login, "via-old-code", first[0], FreshToken()))));

        // Five more requests for the login: one more code (three an hour), the same answer each time.
        int delivered = 0;
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(c.post(api::ResetPass(u.login, FreshToken())).text(), ResetSent);
            delivered += Deliver(*service, u.login).size();
        }
        QCOMPARE(delivered, 1);
        QCOMPARE(service->sql("SELECT COUNT(*) FROM reset_codes").out, QString("1"));

        // The address has had three requests served; three for unknown logins reach its limit of
        // six: another login then gets nothing from it, and another address is served.
        for (int i = 0; i < 3; ++i)
            QCOMPARE(c.post(api::ResetPass(QString("no_such_login_%1").arg(i), FreshToken())).text(), ResetSent);
        const User other = NewUser(c, "flood");
        QCOMPARE(c.post(api::ResetPass(other.login, FreshToken())).text(), ResetSent);
        QVERIFY(Deliver(*service, other.login).isEmpty());
        Client elsewhere = service->client("127.0.0.2");
        QCOMPARE(elsewhere.post(api::ResetPass(other.login, FreshToken())).text(), ResetSent);
        QCOMPARE(Deliver(*service, other.login).size(), 1);

        // An hour later the login may ask again.
        service->advance(3601);
        QCOMPARE(c.post(api::ResetPass(u.login, FreshToken())).text(), ResetSent);
        const QStringList later = Deliver(*service, u.login);
        QCOMPARE(later.size(), 1);
        QVERIFY(Changed(c.post(api::ChangePass(u.login, "fresh", later[0], FreshToken()))));
    }

    // Each code takes a few wrong guesses, then it is gone; a password change retires
    // every code; code guesses count with password guesses from one address.
    void codeGuessesAreBudgeted_data()
    {
        QTest::addColumn<QString>("config");
        QTest::addColumn<int>("wrongCodes");
        QTest::addColumn<int>("wrongPasswords");
        QTest::addColumn<bool>("codeStillWorks");
        QTest::addColumn<bool>("paused");
        QTest::newRow("two wrong codes of three")
            << R"({"reset_code_attempts": 3, "login_failures_per_address": 100})" << 2 << 0 << true << false;
        QTest::newRow("three wrong codes of three")
            << R"({"reset_code_attempts": 3, "login_failures_per_address": 100})" << 3 << 0 << false << false;
        QTest::newRow("codes and passwords count together")
            << R"({"reset_code_attempts": 10})" << 2 << 3 << true << true;
    }
    void codeGuessesAreBudgeted()
    {
        QFETCH(QString, config);
        QFETCH(int, wrongCodes);
        QFETCH(int, wrongPasswords);
        QFETCH(bool, codeStillWorks);
        QFETCH(bool, paused);
        auto service = WithConfig(config);
        Client c = service->client();
        const User u = NewUser(c, "budget");
        c.post(api::ResetPass(u.login, FreshToken()));
        const QStringList codes = Deliver(*service, u.login);
        QCOMPARE(codes.size(), 1);
        const QString code = codes[0];
        const QString wrong = QString::number((code.toLongLong() + 1) % 100000000).rightJustified(8, '0');
        for (int i = 0; i < wrongCodes; ++i) {
            const Response r = c.post(api::ChangePass(u.login, "guess", wrong, FreshToken()));
            QVERIFY2(r.ok && !Changed(r) && !Paused(r), r.body.c_str());
        }
        for (int i = 0; i < wrongPasswords; ++i)
            QVERIFY(!Changed(c.post(api::ChangePass(u.login, "guess", "not the password", FreshToken()))));
        const Response right = c.post(api::ChangePass(u.login, "by-code", code, FreshToken()));
        QCOMPARE(Paused(right), paused);
        QCOMPARE(Changed(right), codeStillWorks && !paused);
        if (paused) { // from another address the code is still good
            Client elsewhere = service->client("127.0.0.2");
            QVERIFY(Changed(elsewhere.post(api::ChangePass(u.login, "by-code", code, FreshToken()))));
        }
    }

    void passwordChangeRetiresCodes()
    {
        Service service;
        Client c = service.client();
        const User u = NewUser(c, "retire");
        c.post(api::ResetPass(u.login, FreshToken()));
        const QStringList codes = Deliver(service, u.login);
        QCOMPARE(codes.size(), 1);
        QVERIFY(Changed(c.post(api::ChangePass(u.login, "second", u.password, FreshToken()))));
        QVERIFY(!Changed(c.post(api::ChangePass(u.login, "third", codes[0], FreshToken()))));
        QCOMPARE(service.sql("SELECT COUNT(*) FROM reset_codes").out, QString("0"));
    }

    // Expired codes, their undelivered mails and old counters are pruned by the minute sweep.
    void sweepPrunesResetState()
    {
        Service service;
        Client c = service.client();
        const User u = NewUser(c, "prune");
        c.post(api::ResetPass(u.login, FreshToken()));
        Login(c, u, Digest("wrong"));
        QCOMPARE(service.sql("SELECT COUNT(*) FROM reset_codes").out, QString("1"));
        service.advance(2 * 3600 + 60);
        const QString left = "SELECT (SELECT COUNT(*) FROM reset_codes) + (SELECT COUNT(*) FROM reset_outbox) + "
                             "(SELECT COUNT(*) FROM counters)";
        QString count;
        for (int i = 0; i < 180 && count != "0"; ++i) { // the sweep runs once a minute
            count = service.sql(left).out;
            if (count != "0") std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        QCOMPARE(count, QString("0"));
    }

    // The outbox keeps the clear code only until it is delivered; the code itself stays valid.
    void outboxForgetsDeliveredCodes()
    {
        Service service;
        Client c = service.client();
        const User u = NewUser(c, "outbox");
        c.post(api::ResetPass(u.login, FreshToken()));
        const QString before = service.sql("SELECT code FROM reset_outbox").out;
        QCOMPARE(before.size(), 8);
        const QStringList codes = Deliver(service, u.login);
        QCOMPARE(codes, QStringList{before});
        QVERIFY(Deliver(service, u.login).isEmpty());
        QCOMPARE(service.sql("SELECT COUNT(*) FROM reset_outbox").out, QString("0"));
        const QString stored = service.sql("SELECT code_hash FROM reset_codes").out;
        QCOMPARE(stored.size(), 64);
        QVERIFY(!stored.contains(codes[0]));
        QVERIFY(Changed(c.post(api::ChangePass(u.login, "delivered", codes[0], FreshToken()))));
    }

    // Referral bonuses pooled through a draw cannot be withdrawn by an account
    // that never deposited; its first deposit opens withdrawals.
    void bonusStaysUntilFirstDeposit()
    {
        auto service = WithConfig(R"({"lottery_players": 2})");
        Client c = service->client();
        const User referrer = NewUser(c, "pool");
        const QString code = Account(c, referrer).value("refcode").toString();
        const User a = NewUser(c, "pool", code), b = NewUser(c, "pool", code);
        QCOMPARE(Units(Account(c, a), "wall_doge"), 15 * Unit);
        for (const User& u : {a, b})
            QVERIFY(c.post(api::BuyLotto(u.login, u.digest(), "DOGE", "15", FreshToken())).text().startsWith("Your"));
        const User& winner = Units(Account(c, a), "wall_doge") > 0 ? a : b;
        const qint64 pot = Units(Account(c, winner), "wall_doge");
        QCOMPARE(pot, 30 * Unit - 30 * Unit * 3 / 100);

        const Response refused = c.post(
            api::Withdraw("doge", ValidAddress("doge"), "Main", "25", winner.login, winner.digest(), FreshToken()));
        QVERIFY2(refused.text().startsWith("Withdrawals open with your first deposit"), refused.body.c_str());
        QCOMPARE(Units(Account(c, winner), "wall_doge"), pot);
        QVERIFY(service->command({"withdrawals"}).out.count('\n') <= 1);

        QCOMPARE(service->command({"credit", winner.login, "usdt", "1"}).exitCode, 0);
        const Response accepted = c.post(
            api::Withdraw("doge", ValidAddress("doge"), "Main", "25", winner.login, winner.digest(), FreshToken()));
        QVERIFY2(accepted.text().startsWith("Withdrawal accepted"), accepted.body.c_str());
        QVERIFY(service->verify());
    }

    void registrationsAreLimitedPerAddress()
    {
        auto service = WithConfig(R"({"registrations_per_address": 3, "registration_window_seconds": 3600})");
        Client c = service->client();
        for (int i = 0; i < 3; ++i) QVERIFY(Register(c, User{QString("reg%1").arg(i), "pw"}).text().startsWith('{'));
        const User fourth{"reg3", "pw"};
        const Response refused = Register(c, fourth);
        QVERIFY2(refused.text().startsWith("Please wait") && refused.text().contains("registered from your address"),
                 refused.body.c_str());
        QVERIFY(Account(c, fourth).isEmpty()); // nothing was made
        Client elsewhere = service->client("127.0.0.2");
        QVERIFY(Register(elsewhere, fourth).text().startsWith('{'));
        service->advance(3601);
        QVERIFY(Register(c, User{"reg4", "pw"}).text().startsWith('{'));
    }

    // Failures count per login and address: a stranger's guesses pause the
    // stranger, not the owner; past the login's own ceiling the password road
    // pauses for everyone, and a valid security code still works.
    void strangerCannotLockTheOwnerOut_data()
    {
        QTest::addColumn<QStringList>("strangers"); // addresses, five wrong passwords each
        QTest::addColumn<bool>("passwordWorks");
        QTest::newRow("one stranger") << QStringList{"127.0.0.2"} << true;
        QTest::newRow("strangers past the login's ceiling") << QStringList{"127.0.0.2", "127.0.0.3"} << false;
    }
    void strangerCannotLockTheOwnerOut()
    {
        QFETCH(QStringList, strangers);
        QFETCH(bool, passwordWorks);
        auto service = WithConfig(R"({"login_failures_per_address": 5, "login_failures_per_login": 8})");
        const User u = OperatorAccount(*service, "owner_" + FreshToken().left(6));
        for (const QString& address : strangers) {
            Client stranger = service->client(address.toStdString());
            for (int i = 0; i < 5; ++i) {
                const Response r = Login(stranger, u, Digest("guess"));
                QVERIFY2(r.text() == "Wrong login or password." || Paused(r), r.body.c_str());
            }
            QVERIFY(Paused(Login(stranger, u, u.digest()))); // the stranger's own address is paused
        }
        Client owner = service->client();
        const Response login = Login(owner, u, u.digest());
        QCOMPARE(login.text().startsWith('{'), passwordWorks);
        QCOMPARE(Paused(login), !passwordWorks);
        owner.post(api::ResetPass(u.login, FreshToken()));
        const QStringList codes = Deliver(*service, u.login);
        QCOMPARE(codes.size(), 1);
        QVERIFY(Changed(owner.post(api::ChangePass(u.login, "mine-again", codes[0], FreshToken()))));
        QVERIFY(!Account(owner, User{u.login, "mine-again"}).isEmpty());
    }

    // A password the service remembers from the owner's running client (its refreshes and history pages are
    // answered from one read, on SQLite on the connection's own thread) still pauses at an address that
    // failed too often: the remembered road counts the address of the request it answers.
    void rememberedPasswordPausesPerAddress_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("refresh") << "useraccount";
        QTest::newRow("history page") << "history";
    }
    void rememberedPasswordPausesPerAddress()
    {
        QFETCH(QString, action);
        auto service = WithConfig(R"({"login_failures_per_address": 5, "login_failures_per_login": 30})");
        Client owner = service->client();
        const User u = NewUser(owner, "remembered");
        QVERIFY(Login(owner, u, u.digest()).text().startsWith('{')); // remembered from here on
        const auto ask = [&](Client& c) {
            return c.post(
                action == "history"
                    ? FormFields{{"a", "history"}, {"s", u.login}, {"pass", u.digest()}, {"session", FreshToken()}}
                    : api::Account("useraccount", "", u.login, u.digest(), FreshToken()));
        };
        Client stranger = service->client("127.0.0.2");
        QVERIFY(ask(stranger).text().startsWith('{')); // the right password from anywhere, before any failure
        for (int i = 0; i < 5; ++i) QCOMPARE(Login(stranger, u, Digest("guess")).text(), "Wrong login or password.");
        const Response paused = ask(stranger);
        QVERIFY2(Paused(paused) && paused.status == 200, paused.body.c_str());
        const Response mine = ask(owner);
        QVERIFY2(mine.text().startsWith('{'), mine.body.c_str());
    }

    // The attempt is counted before the slow hash: many wrong passwords at once
    // get no more than the limit evaluated, on one instance or two.
    void parallelGuessesGetTheLimit()
    {
        auto first = WithConfig(R"({"login_failures_per_address": 5})");
        std::unique_ptr<Service> second;
        if (OnPostgres()) second = WithConfig(R"({"login_failures_per_address": 5})", first.get());
        const User u = OperatorAccount(*first, "parallel_" + FreshToken().left(6));
        constexpr int Guesses = 24;
        std::atomic<int> evaluated{0}, paused{0}, other{0};
        std::latch go(Guesses);
        std::vector<std::thread> threads;
        for (int i = 0; i < Guesses; ++i)
            threads.emplace_back([&, i] {
                Client c = (second && i % 2 ? *second : *first).client();
                c.post(api::Settings("all_json_setting", FreshToken())); // connected before the start
                go.arrive_and_wait();
                const Response r = Login(c, u, Digest(QString("guess %1").arg(i)));
                if (r.text() == "Wrong login or password.")
                    ++evaluated;
                else if (Paused(r))
                    ++paused;
                else
                    ++other;
            });
        for (auto& t : threads) t.join();
        QCOMPARE(other.load(), 0);
        QCOMPARE(evaluated.load(), 5);
        QCOMPARE(paused.load(), Guesses - 5);
    }

    // A wrong password costs an unknown login the same slow hash as an
    // existing one. Medians of a few tries each; the bound is loose (a third)
    // against a tenfold gap when unknown logins skip the hash.
    void unknownLoginsCostTheSame()
    {
        Service service;
        Client c = service.client();
        QList<User> known;
        // Four wrong passwords per login stay under the pause of the fifth.
        for (int i = 0; i < 4; ++i) known << NewUser(c, "timing");
        auto timed = [&](const User& u) {
            QElapsedTimer t;
            t.start();
            const Response r = Login(c, u, Digest("wrong password"));
            const qint64 ns = t.nsecsElapsed();
            return r.text() == "Wrong login or password." ? ns : -1;
        };
        std::vector<qint64> existing, unknown;
        for (int round = 0; round < 4; ++round)
            for (int i = 0; i < 4; ++i) {
                existing.push_back(timed(known[i]));
                unknown.push_back(timed(User{QString("nobody_%1_%2").arg(round).arg(i), "x"}));
            }
        QVERIFY(std::find(existing.begin(), existing.end(), -1) == existing.end());
        QVERIFY(std::find(unknown.begin(), unknown.end(), -1) == unknown.end());
        // The fastest of each: what the work itself costs, least disturbed by whatever else
        // the machine is doing (before the dummy hash they were some 30 times apart).
        const qint64 e = *std::min_element(existing.begin(), existing.end());
        const qint64 n = *std::min_element(unknown.begin(), unknown.end());
        QVERIFY2(n * 3 > e, qPrintable(QString("existing %1 us, unknown %2 us").arg(e / 1000).arg(n / 1000)));
    }
};

QTEST_GUILESS_MAIN(ServiceAttackAccountsTest)
#include "tst_service_attack_accounts.moc"
