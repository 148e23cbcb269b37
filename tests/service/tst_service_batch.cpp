// Money actions arriving together share one transaction and one commit: each
// still gets its own outcome (a refused one is undone alone, the others stay),
// and none is answered before the commit that holds it, so a SIGKILL in the
// middle of the shared commits loses nothing that was answered.
#include "ServiceHarness.h"

#include <QtTest>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

using namespace svc;

namespace {

const QString NotEnoughUsdt = "Not enough USDT in the wallet.";

qint64 Wallet(Client& c, const User& u, const QString& coin)
{
    return Units(Account(c, u), "wall_" + coin);
}

// Commits that reach the disk, so requests arriving together really wait for one another's commit.
QStringList DurableArgs()
{
    return {"--test-clock", "--sync", "full"};
}

} // namespace

class ServiceBatchTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SVC_REQUIRE_STORE(); }

    // Twelve accounts each hold a little over 10 USDT; 16 swaps of 1 USDT per account arrive at once from 24
    // clients. Exactly ten per account are done and six refused, whichever commits they shared; every
    // refusal left nothing behind and every success stayed.
    void concurrentActionsKeepTheirOwnOutcome()
    {
        Service s(DurableArgs());
        Client setup = s.client();
        constexpr int Accounts = 12, PerAccount = 16, Threads = 24;
        std::vector<User> users;
        std::vector<qint64> start;
        for (int i = 0; i < Accounts; ++i) {
            users.push_back(NewUser(setup, "batch"));
            QCOMPARE(s.command({"credit", users.back().login, "usdt", "10"}).exitCode, 0);
            start.push_back(Wallet(setup, users.back(), "usdt"));
            QVERIFY2(start.back() >= 10 * Unit && start.back() < 11 * Unit, qPrintable(QString::number(start.back())));
        }
        const QString quote = setup.post(api::SwapCoin("get", "USDT", "DOGE", "1", "", "", FreshToken())).text();
        const qint64 dogeEach = Units(QJsonObject{{"v", quote}}, "v");
        QVERIFY(dogeEach > 0);
        const auto isDone = [&](const QString& text) {
            return text.startsWith("Swap done: 1.") && text.endsWith(" USDT for " + quote + " DOGE.");
        };

        std::mutex mutex;
        std::vector<int> doneBy(Accounts, 0), refusedBy(Accounts, 0);
        QStringList unexpected;
        std::atomic<int> next{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < Threads; ++t)
            threads.emplace_back([&] {
                Client c = s.client();
                for (int k; (k = next++) < Accounts * PerAccount;) {
                    const int a = k % Accounts;
                    const User& u = users[static_cast<size_t>(a)];
                    const Response r = c.post(api::SwapCoin("swap", "USDT", "DOGE", "1", u.login, u.digest(), FreshToken()));
                    std::lock_guard lock(mutex);
                    if (r.ok && r.status == 200 && isDone(r.text()))
                        ++doneBy[static_cast<size_t>(a)];
                    else if (r.ok && r.status == 200 && r.text() == NotEnoughUsdt)
                        ++refusedBy[static_cast<size_t>(a)];
                    else
                        unexpected << QStringLiteral("%1 %2 %3").arg(r.ok).arg(r.status).arg(r.text().left(80));
                }
            });
        for (auto& t : threads) t.join();
        QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join('\n')));
        for (int a = 0; a < Accounts; ++a) {
            const User& u = users[static_cast<size_t>(a)];
            const qint64 fits = start[static_cast<size_t>(a)] / Unit;
            QCOMPARE(doneBy[static_cast<size_t>(a)], int(fits));
            QCOMPARE(refusedBy[static_cast<size_t>(a)], PerAccount - int(fits));
            QCOMPARE(Wallet(setup, u, "usdt"), start[static_cast<size_t>(a)] - fits * Unit);
            QCOMPARE(Wallet(setup, u, "doge"), fits * dogeEach);
        }
        // A refused swap left no ledger entry behind.
        int total = 0;
        for (int n : doneBy) total += n;
        QCOMPARE(s.sql("SELECT COUNT(*) FROM txns WHERE kind = 'swap'").out, QString::number(total));
        QVERIFY(s.verify());
    }

    // Swaps keep arriving from 16 clients while the service is killed. Every swap that was answered as done
    // is in the books after the restart. Each request cut off without an answer, sent again, gets its own
    // full answer (never a stand-in text) and is booked exactly once, whether or not its first run committed.
    void sigkillLosesNothingAnswered()
    {
        Service s(DurableArgs());
        Client setup = s.client();
        constexpr int Accounts = 8, Threads = 16, MostPerThread = 400;
        std::vector<User> users;
        std::vector<qint64> start;
        for (int i = 0; i < Accounts; ++i) {
            users.push_back(NewUser(setup, "killed"));
            QCOMPARE(s.command({"credit", users.back().login, "usdt", "100"}).exitCode, 0);
            start.push_back(Wallet(setup, users.back(), "usdt"));
        }
        const qint64 amount = Unit / 100; // 0.01 USDT: no account runs dry in this test
        std::mutex mutex;
        std::vector<int> answeredDone(Accounts, 0), sent(Accounts, 0);
        std::vector<std::pair<int, FormFields>> cutOff;
        std::atomic<int> answeredTotal{0};
        std::atomic<bool> stop{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < Threads; ++t)
            threads.emplace_back([&, t] {
                Client c = s.client();
                for (int i = 0; i < MostPerThread && !stop; ++i) {
                    const int a = (t + i) % Accounts;
                    const User& u = users[static_cast<size_t>(a)];
                    {
                        std::lock_guard lock(mutex);
                        ++sent[static_cast<size_t>(a)];
                    }
                    const FormFields f = api::SwapCoin("swap", "USDT", "DOGE", "0.01", u.login, u.digest(), FreshToken());
                    const Response r = c.post(f);
                    if (!r.ok) { // the service is gone
                        std::lock_guard lock(mutex);
                        cutOff.emplace_back(a, f);
                        break;
                    }
                    if (r.status == 200 && r.text().startsWith("Swap done")) {
                        std::lock_guard lock(mutex);
                        ++answeredDone[static_cast<size_t>(a)];
                        ++answeredTotal;
                    }
                }
            });
        // Killed while the clients are still busy.
        QTRY_VERIFY_WITH_TIMEOUT(answeredTotal >= 150, 120000);
        s.kill();
        stop = true;
        for (auto& t : threads) t.join();
        QVERIFY2(answeredTotal < Threads * MostPerThread, "the clients ran out of requests before the kill");

        s.start();
        Client after = s.client();
        std::vector<int> resentDone(Accounts, 0);
        for (const auto& [a, f] : cutOff) {
            const Response r = after.post(f);
            QVERIFY2(r.status == 200 && r.text().startsWith("Swap done: 0.01000000 USDT for "), r.body.c_str());
            QCOMPARE(after.post(f).body, r.body); // and again: the same answer, nothing more booked
            ++resentDone[static_cast<size_t>(a)];
        }
        for (int a = 0; a < Accounts; ++a) {
            const qint64 spent = start[static_cast<size_t>(a)] - Wallet(after, users[static_cast<size_t>(a)], "usdt");
            QCOMPARE(spent % amount, 0);
            const qint64 booked = spent / amount;
            QVERIFY2(booked >= answeredDone[static_cast<size_t>(a)],
                     qPrintable(QStringLiteral("account %1: %2 swaps booked, %3 answered as done")
                                    .arg(a)
                                    .arg(booked)
                                    .arg(answeredDone[static_cast<size_t>(a)])));
            QVERIFY(booked <= sent[static_cast<size_t>(a)]);
            // All the others were answered before the kill, and this test's swaps are never refused.
            QCOMPARE(booked, qint64(answeredDone[static_cast<size_t>(a)] + resentDone[static_cast<size_t>(a)]));
        }
        QVERIFY(s.verify());
    }
};

QTEST_GUILESS_MAIN(ServiceBatchTest)
#include "tst_service_batch.moc"
