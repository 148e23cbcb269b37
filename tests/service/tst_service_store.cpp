// The storage engines under the service: versioned migrations, a database
// made by a newer build refused, a folder from before versions were recorded
// still opening, and the state that used to live in one process's memory
// (paused logins, reset codes, repeated money requests, the last accrual) kept
// in the database, so a restart or a second instance sees it.
#include "ServiceHarness.h"
#include "SchemaVersion.h"

#include <QRegularExpression>

#include <atomic>
#include <latch>
#include <memory>
#include <vector>

using namespace svc;

namespace {

constexpr qint64 Day = 86400;

#define REQUIRE_POSTGRES()                                                                                             \
    do {                                                                                                               \
        if (!OnPostgres()) QSKIP("several instances share a database only on PostgreSQL");                             \
    } while (false)

// The schema of the builds before versions were recorded, with the house's
// reserve and one account ("olduser", password "old-pw") holding 1 BTC, as
// those builds wrote them.
const char* PreMigrationDatabase = R"sql(
CREATE TABLE accounts(
  id INTEGER PRIMARY KEY, login TEXT NOT NULL, login_key TEXT NOT NULL UNIQUE, password_hash TEXT NOT NULL,
  refcode TEXT NOT NULL UNIQUE, referrer INTEGER, refcol INTEGER NOT NULL DEFAULT 0,
  last_faucet INTEGER NOT NULL DEFAULT 0, created INTEGER NOT NULL);
CREATE TABLE txns(id INTEGER PRIMARY KEY, kind TEXT NOT NULL, at INTEGER NOT NULL);
CREATE TABLE ledger(
  id INTEGER PRIMARY KEY, txn INTEGER NOT NULL REFERENCES txns(id), account_id INTEGER NOT NULL REFERENCES accounts(id),
  coin TEXT NOT NULL, bucket INTEGER NOT NULL, delta INTEGER NOT NULL);
CREATE INDEX ledger_by_account ON ledger(account_id, coin, bucket);
CREATE TABLE balances(
  account_id INTEGER NOT NULL REFERENCES accounts(id), coin TEXT NOT NULL, bucket INTEGER NOT NULL,
  amount INTEGER NOT NULL, PRIMARY KEY(account_id, coin, bucket)) WITHOUT ROWID;
CREATE TABLE stats(
  account_id INTEGER NOT NULL, coin TEXT NOT NULL, dep_val INTEGER NOT NULL DEFAULT 0,
  earned_inv INTEGER NOT NULL DEFAULT 0, earned_ref INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(account_id, coin)) WITHOUT ROWID;
CREATE TABLE investments(
  id INTEGER PRIMARY KEY, account_id INTEGER NOT NULL, coin TEXT NOT NULL, principal INTEGER NOT NULL,
  rental_code INTEGER NOT NULL, fee_percent INTEGER NOT NULL, apr INTEGER NOT NULL, started INTEGER NOT NULL,
  ends INTEGER NOT NULL, paid INTEGER NOT NULL DEFAULT 0, closed INTEGER NOT NULL DEFAULT 0);
CREATE INDEX investments_open ON investments(closed, account_id);
CREATE TABLE deposit_addresses(
  account_id INTEGER NOT NULL, coin_network TEXT NOT NULL, address TEXT NOT NULL UNIQUE,
  PRIMARY KEY(account_id, coin_network)) WITHOUT ROWID;
CREATE TABLE withdrawals(
  id INTEGER PRIMARY KEY, login TEXT NOT NULL, coin TEXT NOT NULL, network TEXT NOT NULL, address TEXT NOT NULL,
  amount INTEGER NOT NULL, fee INTEGER NOT NULL, net INTEGER NOT NULL, created INTEGER NOT NULL,
  status TEXT NOT NULL DEFAULT 'pending');
CREATE TABLE reset_codes(
  id INTEGER PRIMARY KEY, account_id INTEGER NOT NULL, code_hash TEXT NOT NULL, expires INTEGER NOT NULL,
  used INTEGER NOT NULL DEFAULT 0);
CREATE TABLE reset_outbox(
  id INTEGER PRIMARY KEY, login TEXT NOT NULL, code TEXT NOT NULL, created INTEGER NOT NULL, expires INTEGER NOT NULL);
CREATE TABLE lotto_draws(
  id INTEGER PRIMARY KEY, coin TEXT NOT NULL, opened INTEGER NOT NULL, closed INTEGER,
  winner INTEGER, winner_name TEXT, payout INTEGER);
CREATE INDEX lotto_draws_coin ON lotto_draws(coin, closed);
CREATE TABLE lotto_stakes(
  draw_id INTEGER NOT NULL, account_id INTEGER NOT NULL, nickname TEXT NOT NULL, amount INTEGER NOT NULL,
  at INTEGER NOT NULL);
CREATE INDEX lotto_stakes_draw ON lotto_stakes(draw_id);
INSERT INTO accounts(id, login, login_key, password_hash, refcode, created) VALUES
  (1, '#issuer', '#issuer', '!', '#issuer', 0), (2, '#house', '#house', '!', '#house', 0),
  (3, '#lottery', '#lottery', '!', '#lottery', 0), (4, '#outbox', '#outbox', '!', '#outbox', 0),
  (5, 'OldUser', 'olduser',
   '$argon2id$v=19$m=16384,t=2,p=1$kG5S8+zGt/gAwTOca+Esuw$Hy1tKT7KD2QpnsdOHqR9Iocey4DAn2djUAWIFfR7ziI',
   'OLDCODE2', 0);
INSERT INTO txns(id, kind, at) VALUES(1, 'reserve', 1700000000), (2, 'deposit', 1700000000);
INSERT INTO ledger(txn, account_id, coin, bucket, delta) VALUES
  (1, 1, 'btc', 0, -100000000000), (1, 2, 'btc', 0, 100000000000), (2, 1, 'btc', 0, -100000000),
  (2, 5, 'btc', 0, 100000000);
INSERT INTO balances(account_id, coin, bucket, amount) VALUES
  (1, 'btc', 0, -100100000000), (2, 'btc', 0, 100000000000), (5, 'btc', 0, 100000000);
INSERT INTO stats(account_id, coin, dep_val) VALUES(5, 'btc', 100000000);
)sql";

QString WrongDigest()
{
    return Digest("certainly not the password");
}

// Five wrong passwords: the login is paused.
void FailFiveTimes(Client& c, const User& u)
{
    for (int i = 0; i < 5; ++i) {
        const Response r = c.post(api::Account("useraccount", "", u.login, WrongDigest(), FreshToken()));
        QVERIFY2(r.ok && !r.text().startsWith('{'), r.body.c_str());
    }
}

bool Paused(Client& c, const User& u)
{
    const Response r = c.post(api::Account("useraccount", "", u.login, u.digest(), FreshToken()));
    return r.ok && r.text().contains("paused");
}

QString LatestCode(const Service& service, const QString& login)
{
    QString code;
    auto it = QRegularExpression(QRegularExpression::escape(login) + "\\t([0-9]{8})\\t")
                  .globalMatch(service.command({"reset-codes"}).out);
    while (it.hasNext()) code = it.next().captured(1);
    return code;
}

} // namespace

class ServiceStoreTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SVC_REQUIRE_STORE(); }

    void freshDatabaseGetsEveryMigration()
    {
        Service service;
        const PsqlResult r = service.sql("SELECT version FROM schema_version ORDER BY version");
        QCOMPARE(r.exitCode, 0);
        QStringList expected;
        for (int v = 1; v <= LatestSchemaVersion; ++v) expected << QString::number(v);
        QCOMPARE(r.out.split('\n', Qt::SkipEmptyParts), expected);
        // A second start finds nothing to do and the service answers as before.
        service.stop();
        service.start();
        QCOMPARE(service.sql("SELECT COUNT(*) FROM schema_version").out, QString::number(LatestSchemaVersion));
        Client c = service.client();
        QVERIFY(!Account(c, NewUser(c, "again")).isEmpty());
    }

    void newerSchemaIsRefused()
    {
        Service service;
        service.stop();
        const int newer = LatestSchemaVersion + 1;
        QCOMPARE(service.sql(QString("INSERT INTO schema_version(version, applied) VALUES(%1, 0)").arg(newer)).exitCode,
                 0);
        // Commands and the server alike: a clear message and a failure exit, the data untouched.
        const auto verify = service.command({"verify"});
        QVERIFY(verify.exitCode != 0);
        QVERIFY2(verify.err.contains(QString("schema version %1, newer than this build knows").arg(newer)),
                 qPrintable(verify.err));
        QProcess serve;
        serve.start(Service::Binary(), QStringList{"--data", service.dataDir(), "--port", "1", "--bind", "127.0.0.1"} +
                                           service.storeArgs());
        QVERIFY2(serve.waitForFinished(60000), "the service started on a newer schema");
        QVERIFY(serve.exitCode() != 0);
        QVERIFY(QString::fromUtf8(serve.readAllStandardError()).contains("newer than this build knows"));
        QCOMPARE(service.sql("SELECT MAX(version) FROM schema_version").out, QString::number(newer));
    }

    void preMigrationFolderOpens()
    {
        if (OnPostgres()) QSKIP("only SQLite data folders predate the recorded versions");
        Service service(Service::DefaultArgs(), nullptr, [](const QString& dir) {
            QProcess p;
            p.start("sqlite3", {"-batch", dir + "/ambervale.db"});
            QVERIFY(p.waitForStarted());
            p.write(PreMigrationDatabase);
            p.closeWriteChannel();
            QVERIFY(p.waitForFinished(60000));
            QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        });
        QStringList versions;
        for (int v = 1; v <= LatestSchemaVersion; ++v) versions << QString::number(v);
        QCOMPARE(service.sql("SELECT group_concat(version) FROM schema_version").out, versions.join(','));
        Client c = service.client();
        const User old{"olduser", "old-pw"};
        const QJsonObject a = Account(c, old);
        QCOMPARE(a.value("login").toString(), QString("OldUser"));
        QCOMPARE(Units(a, "wall_btc"), 1 * Unit);
        QCOMPARE(Units(a, "dep_val_btc"), 1 * Unit);
        QCOMPARE(a.value("refcode").toString(), QString("OLDCODE2"));
        // The new parts work on the old data: an investment accrues, a wrong password counts.
        QVERIFY(c.post(api::InvestCoin("3", "btc", "0.5", old.login, old.digest(), FreshToken()))
                    .text()
                    .startsWith("Investment accepted"));
        service.advance(10 * Day);
        QVERIFY(Units(Account(c, old), "earned_inv_btc") > 0);
        FailFiveTimes(c, old);
        QVERIFY(Paused(c, old));
        QVERIFY(service.verify());
    }

    // Failure counts live in the database: a restart does not clear a pause.
    void pausedLoginSurvivesRestart()
    {
        Service service;
        Client c = service.client();
        const User u = NewUser(c, "pause");
        QVERIFY(!Account(c, u).isEmpty());
        FailFiveTimes(c, u);
        QVERIFY(Paused(c, u));
        service.stop();
        service.start();
        Client again = service.client();
        QVERIFY(Paused(again, u));
        service.advance(301);
        QVERIFY(!Account(again, u).isEmpty());
    }

    // A reset code is checked with the database's key, not one a process makes at start.
    void resetCodeWorksAfterRestart()
    {
        Service service;
        Client c = service.client();
        User u = NewUser(c, "resetrestart");
        c.post(api::ResetPass(u.login, FreshToken()));
        const QString code = LatestCode(service, u.login);
        QCOMPARE(code.size(), 8);
        service.stop();
        service.start();
        Client again = service.client();
        QVERIFY(again.post(api::ChangePass(u.login, "after-restart", code, FreshToken()))
                    .text()
                    .startsWith("Password changed"));
        u.password = "after-restart";
        QVERIFY(!Account(again, u).isEmpty());
    }

    // Instances starting together on one empty database take turns: the
    // migrations and the house's opening reserve happen once.
    void simultaneousStartsMigrateOnce()
    {
        REQUIRE_POSTGRES();
        ServiceDatabase db;
        std::vector<std::unique_ptr<QTemporaryDir>> dirs;
        std::vector<std::unique_ptr<QProcess>> starts;
        for (int i = 0; i < 4; ++i) {
            dirs.push_back(std::make_unique<QTemporaryDir>());
            starts.push_back(std::make_unique<QProcess>());
            starts.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            starts.back()->start(Service::Binary(), {"add-account", QString("racer%1").arg(i), "pw", "--data",
                                                     dirs.back()->path(), "--store", db.uri()});
        }
        for (auto& p : starts) {
            QVERIFY(p->waitForFinished(120000));
            QCOMPARE(p->exitCode(), 0);
        }
        QStringList expected;
        for (int v = 1; v <= LatestSchemaVersion; ++v) expected << QString::number(v);
        QCOMPARE(RunPsql(db.uri(), "SELECT version FROM schema_version ORDER BY version").out.split('\n'), expected);
        QCOMPARE(RunPsql(db.uri(), "SELECT COUNT(*) FROM txns WHERE kind = 'reserve'").out,
                 QString::number(Coins().size()));
        QCOMPARE(RunPsql(db.uri(), "SELECT COUNT(*) FROM accounts WHERE login LIKE 'racer%'").out, QString("4"));
        QProcess verify;
        verify.start(Service::Binary(), {"verify", "--data", dirs.front()->path(), "--store", db.uri()});
        QVERIFY(verify.waitForFinished(60000));
        QCOMPARE(verify.exitCode(), 0);
    }

    void pausedLoginHoldsAcrossInstances()
    {
        REQUIRE_POSTGRES();
        Service a;
        Service b(Service::DefaultArgs(), &a);
        Client ca = a.client(), cb = b.client();
        User u = NewUser(ca, "twopause");
        QVERIFY(!Account(cb, u).isEmpty()); // one database: B knows A's account
        // A reset code made on one instance changes the password on the other.
        ca.post(api::ResetPass(u.login, FreshToken()));
        const QString code = LatestCode(a, u.login);
        QCOMPARE(code.size(), 8);
        QVERIFY(cb.post(api::ChangePass(u.login, "via-b", code, FreshToken())).text().startsWith("Password changed"));
        u.password = "via-b";
        QVERIFY(!Account(ca, u).isEmpty());
        // Wrong passwords on A pause the login on B, for logins and password changes alike.
        FailFiveTimes(ca, u);
        QVERIFY(Paused(cb, u));
        QVERIFY(cb.post(api::ChangePass(u.login, "other", u.password, FreshToken())).text().contains("paused"));
    }

    // The same money request (same fields, same session token) reaching two
    // instances, one after the other and at the same moment, runs once.
    void repeatedRequestRunsOnceAcrossInstances()
    {
        REQUIRE_POSTGRES();
        Service a;
        Service b(Service::DefaultArgs(), &a);
        Client ca = a.client();
        const User u = NewUser(ca, "oncetwo");
        QCOMPARE(a.command({"credit", u.login, "usdt", "100"}).exitCode, 0);
        const qint64 before = Units(Account(ca, u), "wall_usdt");

        const FormFields first = api::SwapCoin("swap", "USDT", "DOGE", "10", u.login, u.digest(), FreshToken());
        const Response r1 = ca.post(first);
        QVERIFY2(r1.text().startsWith("Swap done"), r1.body.c_str());
        Client cb = b.client();
        QCOMPARE(cb.post(first).body, r1.body);
        QCOMPARE(Units(Account(ca, u), "wall_usdt"), before - 10 * Unit);

        // At once: 8 clients, half on each instance, one request.
        const FormFields same = api::SwapCoin("swap", "USDT", "DOGE", "7", u.login, u.digest(), FreshToken());
        std::latch go(8);
        std::vector<std::string> bodies(8);
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i)
            threads.emplace_back([&, i] {
                Client c = (i % 2 ? b : a).client();
                go.arrive_and_wait();
                bodies[i] = c.post(same).body;
            });
        for (auto& t : threads) t.join();
        QVERIFY2(QString::fromStdString(bodies[0]).startsWith("Swap done"), bodies[0].c_str());
        for (const std::string& body : bodies) QCOMPARE(body, bodies[0]);
        QCOMPARE(Units(Account(ca, u), "wall_usdt"), before - 17 * Unit);
        QVERIFY(a.verify());
    }

    // Two instances bringing one investment's earnings up to date at the same
    // time pay them once.
    void earningsPaidOnceAcrossInstances()
    {
        REQUIRE_POSTGRES();
        Service a;
        Service b(Service::DefaultArgs(), &a);
        Client ca = a.client();
        const User u = NewUser(ca, "accrue");
        QCOMPARE(a.command({"credit", u.login, "btc", "10"}).exitCode, 0);
        QVERIFY(ca.post(api::InvestCoin("3", "btc", "10", u.login, u.digest(), FreshToken()))
                    .text()
                    .startsWith("Investment accepted"));
        // The deposit bonus. Earnings of the first seconds may already be in the
        // wallet; they are in the counter too, so count them once.
        const QJsonObject start = Account(ca, u);
        const qint64 wallet = Units(start, "wall_btc") - Units(start, "earned_inv_btc");
        const int apr = QJsonDocument::fromJson(
                            QByteArray::fromStdString(ca.post(api::Settings("all_json_setting", FreshToken())).body))
                            .object()
                            .value("min_withdraw_coin")
                            .toObject()
                            .value("APR_btc")
                            .toString()
                            .toInt();
        QVERIFY(apr > 0);
        a.advance(30 * Day);
        b.advance(30 * Day);
        std::latch go(8);
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i)
            threads.emplace_back([&, i] {
                Client c = (i % 2 ? b : a).client();
                go.arrive_and_wait();
                Account(c, u);
            });
        for (auto& t : threads) t.join();
        // Both figures from one reply: a later reply may carry newer earnings.
        const QJsonObject after = Account(ca, u);
        const qint64 earned = Units(after, "earned_inv_btc");
        const qint64 thirtyDays = 10 * Unit * apr * 30 / (100 * 365);
        // At most a minute more than 30 days' worth (the instances' clocks differ by the test's own pace).
        QVERIFY2(earned >= thirtyDays && earned <= thirtyDays + 10 * Unit * apr * 120 / (100 * 365 * Day),
                 qPrintable(QString("earned %1, 30 days are %2").arg(earned).arg(thirtyDays)));
        QCOMPARE(Units(after, "wall_btc"), wallet + earned);
        QVERIFY(a.verify());
    }
};

QTEST_GUILESS_MAIN(ServiceStoreTest)
#include "tst_service_store.moc"
