// The ledger and repeated money requests under attack: amounts past the
// 64-bit range, non-integer amounts, replayed and forged repeats, stale
// session tokens, and a retry after its instance was killed mid-request.
#include "ServiceHarness.h"

#include <QtTest>

#include <atomic>
#include <thread>

using namespace svc;

namespace {

const QString StaleSession = "Refused: the session token is not from the last few minutes. Please check that your "
                             "computer's date, time and time zone are right, and retry.";

qint64 Wallet(Client& c, const User& u, const QString& coin)
{
    return Units(Account(c, u), "wall_" + coin);
}

User CreditedUser(Service& s, Client& c, const QString& prefix, const QString& coin, const QString& amount)
{
    const User u = NewUser(c, prefix);
    const auto r = s.command({"credit", u.login, coin, amount});
    if (r.exitCode != 0) qWarning("credit failed: %s", qPrintable(r.err));
    return u;
}

} // namespace

class ServiceAttackLedgerTest : public QObject {
    Q_OBJECT
    std::unique_ptr<Service> m_service;

private slots:
    void initTestCase()
    {
        SVC_REQUIRE_STORE();
        m_service = std::make_unique<Service>();
    }
    void cleanupTestCase() { m_service.reset(); }

    // 11 deposits of 8e9 SHIB take the issuer's balance past the bottom of the 64-bit range: the 11th is
    // refused whole with a text, the ten before stay booked, and the books still agree.
    void depositsPastTheRangeAreRefusedWhole()
    {
        Client c = m_service->client();
        const User u = NewUser(c, "shib");
        const qint64 each = 8'000'000'000LL * Unit, bonus = each * 3 / 100;
        for (int i = 0; i < 10; ++i) {
            const auto r = m_service->command({"credit", u.login, "shib", "8000000000"});
            QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        }
        QCOMPARE(Wallet(c, u, "shib"), 10 * (each + bonus));
        const auto refused = m_service->command({"credit", u.login, "shib", "8000000000"});
        QVERIFY(refused.exitCode != 0);
        QVERIFY2(refused.err.contains("nothing was booked"), qPrintable(refused.err));
        QCOMPARE(Wallet(c, u, "shib"), 10 * (each + bonus));
        const auto v = m_service->command({"verify"});
        QVERIFY2(v.exitCode == 0, qPrintable(v.out + v.err));
        if (!OnPostgres()) {
            const auto reals = m_service->sql("SELECT COUNT(*) FROM balances WHERE typeof(amount) != 'integer'");
            QCOMPARE(reals.out, QString("0"));
        }
    }

    // A REAL amount that agrees with its ledger (half a unit on both legs of a movement, so every sum still
    // matches) is found by verify. PostgreSQL's BIGINT columns cannot hold one.
    void verifyFailsOnNonIntegerAmounts()
    {
        if (OnPostgres()) QSKIP("BIGINT columns hold integers only");
        Service s;
        Client c = s.client();
        const User u = CreditedUser(s, c, "half", "usdt", "100");
        QVERIFY(s.verify());
        const QString id = s.sql("SELECT id FROM accounts WHERE login_key = '" + u.login.toLower() + "'").out;
        const auto r = s.sql(
            "PRAGMA ignore_check_constraints = 1;"
            "UPDATE ledger SET delta = delta + 0.5 WHERE account_id = " + id + " AND coin = 'usdt';"
            "UPDATE ledger SET delta = delta - 0.5 WHERE account_id = 1 AND coin = 'usdt' AND txn = "
            "(SELECT txn FROM ledger WHERE account_id = " + id + " AND coin = 'usdt' LIMIT 1);"
            "UPDATE balances SET amount = amount + 0.5 WHERE account_id = " + id + " AND coin = 'usdt';"
            "UPDATE balances SET amount = amount - 0.5 WHERE account_id = 1 AND coin = 'usdt';");
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(s.sql("SELECT typeof(amount) FROM balances WHERE account_id = " + id + " AND coin = 'usdt'").out,
                 QString("real"));
        const auto v = s.command({"verify"});
        QVERIFY(v.exitCode != 0);
        QVERIFY2((v.out + v.err).contains("not an integer"), qPrintable(v.out + v.err));
    }

    // A captured money request replayed after two minutes, and after an hour, gets the first answer and is
    // not charged again.
    void replayIsAnsweredNotCharged()
    {
        Client c = m_service->client();
        const User u = CreditedUser(*m_service, c, "replay", "usdt", "1000");
        const qint64 before = Wallet(c, u, "usdt");
        const FormFields w = api::Withdraw("usdt", ValidAddress("usdt", "TRC-20 (Tron)"), "TRC-20 (Tron)", "50", u.login, u.digest(),
                                           FreshToken());
        const Response first = c.post(w);
        QVERIFY2(first.text().startsWith("Withdrawal accepted"), first.body.c_str());
        QCOMPARE(Wallet(c, u, "usdt"), before - 50 * Unit);
        for (qint64 later : {130, 3600}) {
            m_service->advance(later);
            const Response again = c.post(w);
            QCOMPARE(again.body, first.body);
            QCOMPARE(Wallet(c, u, "usdt"), before - 50 * Unit);
        }
        QVERIFY(m_service->verify());
    }

    // Requests whose fields, joined naively, read like a recorded one: a request with no login field (its
    // login hidden in another field's name) and one whose value carries the next field. Neither gets the
    // recorded answer, and nothing more is withdrawn.
    void answersGoOnlyToTheirOwnRequest_data()
    {
        QTest::addColumn<QString>("merged");
        QTest::addColumn<QString>("expected");
        QTest::newRow("login in a field name") << "s" << "Refused: the request lacks a field.";
        QTest::newRow("password in the login's value") << "s-value" << "Refused: the request lacks a field.";
    }
    void answersGoOnlyToTheirOwnRequest()
    {
        QFETCH(QString, merged);
        QFETCH(QString, expected);
        Client c = m_service->client();
        const User u = CreditedUser(*m_service, c, "forged", "usdt", "1000");
        const FormFields w = api::Withdraw("usdt", ValidAddress("usdt", "TRC-20 (Tron)"), "TRC-20 (Tron)", "40", u.login, u.digest(),
                                           FreshToken());
        const Response first = c.post(w);
        QVERIFY2(first.text().startsWith("Withdrawal accepted"), first.body.c_str());
        const qint64 after = Wallet(c, u, "usdt");
        FormFields forged;
        for (int i = 0; i < w.size(); ++i) {
            if (w[i].first == "s" && i + 1 < w.size() && w[i + 1].first == "pass") {
                if (merged == "s") // name "s=LOGIN&pass", value DIGEST: the same text "s=LOGIN&pass=DIGEST&"
                    forged.append({"s=" + w[i].second + "&pass", w[i + 1].second});
                else // "s" = "LOGIN&pass=DIGEST" with no pass field
                    forged.append({"s", w[i].second + "&pass=" + w[i + 1].second});
                ++i;
                continue;
            }
            forged.append(w[i]);
        }
        const Response r = c.post(forged);
        QVERIFY2(r.body != first.body, r.body.c_str());
        QCOMPARE(r.text(), expected);
        QCOMPARE(Wallet(c, u, "usdt"), after);
    }

    // Money actions take a session token only when the second it names is within a few minutes of the
    // service's clock in some UTC offset in use; the client's own token always passes.
    void staleSessionTokensAreRefused_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("accepted");
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        QTest::newRow("the client's own") << digest::Gen_New_Session() << true;
        QTest::newRow("UTC now") << TokenForSecond(now) << true;
        QTest::newRow("UTC+5:45, a minute fast") << TokenForSecond(now + 345 * 60 + 60) << true;
        QTest::newRow("UTC-9:30, a minute slow") << TokenForSecond(now - 570 * 60 - 60) << true;
        QTest::newRow("ten minutes old") << TokenForSecond(now - 600) << false;
        QTest::newRow("UTC+2 and ten minutes") << TokenForSecond(now + 7200 + 600) << false;
        QTest::newRow("a day old") << TokenForSecond(now - 86400) << false;
        QTest::newRow("thirteen hours behind UTC") << TokenForSecond(now - 13 * 3600) << false;
        QTest::newRow("random") << QString("0123456789ABCDEF0123456789ABCDEF") << false;
    }
    void staleSessionTokensAreRefused()
    {
        QFETCH(QString, token);
        QFETCH(bool, accepted);
        Client c = m_service->client();
        const User u = CreditedUser(*m_service, c, "token", "usdt", "100");
        const qint64 before = Wallet(c, u, "usdt");
        const Response r = c.post(api::SwapCoin("swap", "USDT", "DOGE", "1", u.login, u.digest(), token));
        if (accepted) {
            QVERIFY2(r.text().startsWith("Swap done"), r.body.c_str());
            QCOMPARE(Wallet(c, u, "usdt"), before - Unit);
        } else {
            QCOMPARE(r.text(), StaleSession);
            QCOMPARE(Wallet(c, u, "usdt"), before);
        }
    }

    // A withdrawal cut off by a SIGKILL of its instance (its money write held up by a row lock) is retried
    // after the restart: answered at once (nothing of the killed attempt stands in its way), and booked once.
    void retryAfterKillRunsOnceWithoutWaiting()
    {
        if (!OnPostgres()) QSKIP("holding a row lock while the claim is made needs PostgreSQL");
        Service s;
        Client c = s.client();
        const User u = CreditedUser(s, c, "killed", "usdt", "100");
        const qint64 before = Wallet(c, u, "usdt");
        const QString id = s.sql("SELECT id FROM accounts WHERE login_key = '" + u.login.toLower() + "'").out;
        QProcess locker;
        locker.start(PsqlProgram(), {"-X", "-q", "-d", PgUri(PgAdmin(), s.sql("SELECT current_database()").out),
                                     "-c", "BEGIN; SELECT amount FROM balances WHERE account_id = " + id +
                                               " AND coin = 'usdt' FOR UPDATE; SELECT pg_sleep(120); COMMIT;"});
        QVERIFY(locker.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(s.sql("SELECT COUNT(*) FROM pg_stat_activity WHERE query LIKE '%pg_sleep(120)%' "
                                       "AND state = 'active' AND pid != pg_backend_pid()")
                                         .out == "1",
                                 30000);
        const FormFields w = api::Withdraw("usdt", ValidAddress("usdt", "TRC-20 (Tron)"), "TRC-20 (Tron)", "30", u.login, u.digest(),
                                           FreshToken());
        std::atomic<bool> answered{false};
        std::thread cut([&] {
            Client k = s.client();
            answered = k.post(w).ok;
        });
        // The withdrawal's money transaction waits for the row lock.
        QTRY_VERIFY_WITH_TIMEOUT(s.sql("SELECT COUNT(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock' "
                                       "AND datname = current_database() AND pid != pg_backend_pid()")
                                         .out == "1",
                                 30000);
        s.kill();
        cut.join();
        QVERIFY(!answered);
        // The lock goes with its session (pg_sleep would not notice a killed psql).
        s.sql("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE query LIKE '%pg_sleep(120)%' "
              "AND pid != pg_backend_pid()");
        locker.waitForFinished(30000);
        s.start();
        const auto retried = std::chrono::steady_clock::now();
        Client again = s.client();
        const Response r = again.post(w);
        const auto waited = std::chrono::steady_clock::now() - retried;
        QVERIFY2(r.text().startsWith("Withdrawal accepted"), r.body.c_str());
        // Nothing of the killed attempt holds the retry back (a claim once did, for a minute).
        QVERIFY2(waited < std::chrono::seconds(40),
                 qPrintable(QString::number(std::chrono::duration_cast<std::chrono::seconds>(waited).count())));
        QCOMPARE(Wallet(again, u, "usdt"), before - 30 * Unit);
        QCOMPARE(again.post(w).body, r.body);
        QCOMPARE(Wallet(again, u, "usdt"), before - 30 * Unit);
        QVERIFY(s.verify());
    }
};

QTEST_GUILESS_MAIN(ServiceAttackLedgerTest)
#include "tst_service_attack_ledger.moc"
