// Many clients at once, and a SIGKILL in the middle: the books stay whole and
// every answer a client got is in the data after a restart.
#include "ServiceHarness.h"

#include <QRegularExpression>

#include <atomic>
#include <mutex>
#include <random>

using namespace svc;

class ServiceLoadTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SVC_REQUIRE_STORE(); }
    void twoHundredConcurrentClients()
    {
        Service service;
        Client setup = service.client();
        QList<User> users;
        for (int i = 0; i < 4; ++i) {
            users << NewUser(setup, "load");
            for (const char* coin : {"btc", "usdt", "trx", "eth", "doge"})
                QCOMPARE(service.command({"credit", users.last().login, coin, "500"}).exitCode, 0);
        }
        const User victim = NewUser(setup, "victim");
        QCOMPARE(service.command({"credit", victim.login, "usdt", "100"}).exitCode, 0);
        const QString whole = Account(setup, victim).value("wall_usdt").toString();

        std::atomic<int> answered{0}, failed{0}, serverErrors{0}, loginReplies{0}, victimPaid{0};
        std::mutex textsMutex;
        QStringList badTexts;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(8);
        std::vector<std::thread> threads;
        for (int t = 0; t < 200; ++t) {
            threads.emplace_back([&, t] {
                std::mt19937 rng(t);
                Client c = service.client();
                // Two of the clients try to withdraw the victim's whole balance at the same moment.
                if (t < 2) {
                    const Response r = c.post(api::Withdraw("usdt", ValidAddress("usdt", "TRC-20 (Tron)"), "TRC-20 (Tron)", whole,
                                                            victim.login, victim.digest(), FreshToken()));
                    if (r.text().startsWith("Withdrawal accepted")) ++victimPaid;
                }
                const QStringList coins{"BTC", "USDT", "TRX", "ETH", "DOGE"};
                while (std::chrono::steady_clock::now() < until) {
                    const User& u = users[rng() % users.size()];
                    const QString coin = coins[rng() % coins.size()];
                    const QString other = coins[(coins.indexOf(coin) + 1 + rng() % 4) % coins.size()];
                    const QString amount = Decimal(1 + rng() % (3 * Unit));
                    const QString tok = FreshToken();
                    FormFields f;
                    switch (rng() % 6) {
                    case 0:
                        f = api::InvestCoin(QString::number(1 + rng() % 4), coin.toLower(), amount, u.login, u.digest(),
                                            tok);
                        break;
                    case 1:
                        f = api::Withdraw(coin.toLower(), ValidAddress(coin), "Main", amount, u.login, u.digest(), tok);
                        break;
                    case 2:
                        f = api::SwapCoin("swap", coin, other, amount, u.login, u.digest(), tok);
                        break;
                    case 3:
                        f = api::BuyLotto(u.login, u.digest(), coin, amount, tok);
                        break;
                    case 4:
                        f = api::FreeCoin(u.login, u.digest(), tok);
                        break;
                    default:
                        f = api::Account("useraccount", "", u.login, u.digest(), tok);
                        break;
                    }
                    const Response r = c.post(f);
                    if (!r.ok) {
                        ++failed;
                        continue;
                    }
                    ++answered;
                    if (r.status >= 500) ++serverErrors;
                    if (r.body.rfind("{", 0) == 0)
                        ++loginReplies;
                    else if (r.body.empty() || r.body[0] == 'T') {
                        std::lock_guard lock(textsMutex);
                        badTexts << r.text();
                    }
                }
            });
        }
        for (auto& t : threads) t.join();
        qInfo("%d answers from 200 clients in 8 s", answered.load());
        QCOMPARE(failed.load(), 0);
        QCOMPARE(serverErrors.load(), 0);
        QVERIFY2(badTexts.isEmpty(), qPrintable(badTexts.join(" | ")));
        QVERIFY(answered.load() >= 400);
        QVERIFY(loginReplies.load() > 0);
        QCOMPARE(victimPaid.load(), 1);
        QCOMPARE(Units(Account(setup, victim), "wall_usdt"), 0);
        const auto v = service.command({"verify"});
        QVERIFY2(v.exitCode == 0, qPrintable(v.out));
    }

    void sigkillMidLoadLosesNoAnsweredRequest()
    {
        Service service(QStringList{}); // default: every commit on disk before its answer
        Client setup = service.client();
        QList<User> users;
        for (int i = 0; i < 5; ++i) {
            users << NewUser(setup, "kill");
            QCOMPARE(service.command({"credit", users.last().login, "doge", "100000"}).exitCode, 0);
        }
        std::mutex m;
        QList<qint64> acknowledgedWithdrawals;
        QMap<QString, qint64> acknowledgedStakes;
        std::atomic<bool> stop{false};
        std::atomic<int> answered{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 40; ++t) {
            threads.emplace_back([&, t] {
                Client c = service.client();
                for (int i = 0; !stop; ++i) {
                    const User& u = users[(t + i) % users.size()];
                    // Unique amounts: each acknowledged request can be found again.
                    const qint64 amount = 20 * Unit + qint64(t) * 100000 + i;
                    const bool withdraw = i % 2 == 0;
                    const Response r =
                        withdraw ? c.post(api::Withdraw("doge", ValidAddress("doge"), "Main", Decimal(amount), u.login,
                                                        u.digest(), FreshToken()))
                                 : c.post(api::BuyLotto(u.login, u.digest(), "DOGE", Decimal(amount), FreshToken()));
                    if (!r.ok) {
                        if (stop) break;
                        continue;
                    }
                    ++answered;
                    std::lock_guard lock(m);
                    if (withdraw && r.text().startsWith("Withdrawal accepted")) acknowledgedWithdrawals << amount;
                    if (!withdraw && r.text().startsWith("Your stake")) acknowledgedStakes[u.login.toLower()] += amount;
                }
            });
        }
        while (answered < 150) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        service.kill(); // SIGKILL with requests under way
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
        for (auto& t : threads) t.join();
        QVERIFY(acknowledgedWithdrawals.size() > 20);

        service.start();
        const auto v = service.command({"verify"});
        QVERIFY2(v.exitCode == 0, qPrintable(v.out));
        QSet<qint64> listed;
        for (const QString& line : service.command({"withdrawals"}).out.split('\n').mid(1)) {
            const QStringList cols = line.split('\t');
            if (cols.size() >= 7) listed << UnitsOf(cols.at(6));
        }
        for (qint64 a : acknowledgedWithdrawals) QVERIFY2(listed.contains(a), qPrintable(Decimal(a)));
        Client after = service.client();
        const QJsonArray players =
            QJsonDocument::fromJson(QByteArray::fromStdString(after.get("/lotto/doge.json").body)).array();
        QMap<QString, qint64> inFile;
        for (const auto& p : players)
            inFile[p.toObject().value("nickname").toString()] +=
                qRound64(p.toObject().value("value").toString().toDouble() * 100);
        for (auto it = acknowledgedStakes.begin(); it != acknowledgedStakes.end(); ++it)
            QVERIFY2(inFile.value(it.key()) >= it.value(), qPrintable(it.key()));
    }
};

QTEST_GUILESS_MAIN(ServiceLoadTest)
#include "tst_service_load.moc"
