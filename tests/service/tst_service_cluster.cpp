// Several service instances on one PostgreSQL database, as behind a load
// balancer: the money rules hold across them under 200 concurrent clients, a
// draw happens once whichever instance gets there first, and neither a killed
// instance nor a restarted database loses an answered operation.
#include "ClusterHarness.h"

#include <atomic>
#include <latch>
#include <mutex>
#include <QStandardPaths>

#include <random>

using namespace svc;

namespace {

QJsonArray JsonArray(const Response& r)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).array();
}

// The withdrawal outbox as login -> amounts.
QMultiMap<QString, qint64> Withdrawals(const Instance& instance)
{
    QMultiMap<QString, qint64> listed;
    for (const QString& line : instance.command({"withdrawals"}).out.split('\n').mid(1)) {
        const QStringList cols = line.split('\t');
        if (cols.size() >= 7) listed.insert(cols.at(2).toLower(), UnitsOf(cols.at(6)));
    }
    return listed;
}

// A login no other thread or run makes.
QString UniqueLogin(const char* prefix, int thread, int i)
{
    return QStringLiteral("%1_%2_%3_%4").arg(prefix).arg(thread).arg(i).arg(FreshToken().left(8).toLower());
}

bool Broken(const Response& r)
{
    // What a client must never see: no answer at all is counted apart.
    return r.ok && (r.status >= 500 || r.body.empty() || r.body[0] == 'T');
}

// Each operation the clients send, with the start of the text that says it was done.
enum class Op { Invest, Withdraw, Swap, Lottery, Faucet, Register, Account };

const char* SuccessText(Op op)
{
    switch (op) {
    case Op::Invest:
        return "Investment accepted";
    case Op::Withdraw:
        return "Withdrawal accepted";
    case Op::Swap:
        return "Swap done";
    case Op::Lottery:
        return "Your stake";
    case Op::Faucet:
        return "You received";
    case Op::Register:
    case Op::Account:
        return "{";
    }
    return "";
}

bool Succeeded(Op op, const Response& r)
{
    return r.ok && r.body.rfind(SuccessText(op), 0) == 0;
}

// The request of an operation that spends `amount` of USDT (the whole wallet in the double-spend cases).
FormFields Spend(Op op, const User& u, const QString& amount, const QString& token)
{
    switch (op) {
    case Op::Invest:
        return api::InvestCoin("1", "usdt", amount, u.login, u.digest(), token);
    case Op::Withdraw:
        return api::Withdraw("usdt", ValidAddress("usdt", "TRC-20 (Tron)"), "TRC-20 (Tron)", amount, u.login, u.digest(), token);
    case Op::Swap:
        return api::SwapCoin("swap", "USDT", "DOGE", amount, u.login, u.digest(), token);
    case Op::Lottery:
        return api::BuyLotto(u.login, u.digest(), "USDT", amount, token);
    default:
        return {};
    }
}

} // namespace

class ServiceClusterTest : public QObject {
    Q_OBJECT

    QString m_server;

private slots:
    void initTestCase()
    {
        m_server = PgAdmin();
        if (m_server.isEmpty())
            QSKIP("AMBERVALE_TEST_PG is not set (scripts/test.sh starts a throw-away PostgreSQL and sets it): "
                  "the instances have no database to share");
        QVERIFY2(Psql(m_server, "SELECT 1").has_value(), qPrintable("no PostgreSQL at " + m_server));
    }

    // Three instances, 200 clients spread over them, every kind of request at
    // once: the books agree, each account looks the same from every instance,
    // the faucet pays once per account, and every answered withdrawal and
    // registration is there afterwards.
    void mixedLoadOverThreeInstancesKeepsTheBooks()
    {
        InstanceGroup group(m_server, 3);
        QVERIFY2(group.ok(), qPrintable(group.error()));
        Client setup = group[0].client();
        QList<User> users;
        for (int i = 0; i < 6; ++i) {
            users << NewUser(setup, "mix");
            // Within the house's reserve, which pays the deposit bonus.
            for (const char* credit : {"btc 50", "usdt 100000", "trx 100000", "eth 500", "doge 1000000"}) {
                const QStringList coinAmount = QString(credit).split(' ');
                QCOMPARE(group[i % 3].command({"credit", users.last().login, coinAmount[0], coinAmount[1]}).exitCode,
                         0);
            }
        }

        std::atomic<int> answered{0}, failed{0}, busyRegistrations{0};
        std::mutex m;
        QStringList refusals;
        QMultiMap<QString, qint64> acknowledgedWithdrawals;
        QStringList registered;
        QMap<QString, int> faucetPaid;
        std::map<Op, int> done;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::vector<std::thread> threads;
        for (int t = 0; t < 200; ++t) {
            threads.emplace_back([&, t] {
                std::mt19937 rng(static_cast<unsigned>(t));
                Client c = group[t % 3].client();
                const QStringList coins{"BTC", "USDT", "TRX", "ETH", "DOGE"};
                for (int i = 0; std::chrono::steady_clock::now() < until; ++i) {
                    const User& u = users[static_cast<int>(rng() % static_cast<unsigned>(users.size()))];
                    const int k = static_cast<int>(rng() % 5);
                    const QString coin = coins[k];
                    const QString other = coins[(k + 1 + static_cast<int>(rng() % 4)) % 5];
                    const QString tok = FreshToken();
                    const Op op = static_cast<Op>(rng() % 7);
                    // Withdrawals of DOGE with an amount no other request uses, to be found again.
                    const qint64 unique = 20 * Unit + qint64(t) * 1000000 + i;
                    User fresh{UniqueLogin("reg", t, i), "pw"};
                    FormFields f;
                    switch (op) {
                    case Op::Invest:
                        f = api::InvestCoin(QString::number(1 + rng() % 4), coin.toLower(),
                                            Decimal(20 * Unit + rng() % Unit), u.login, u.digest(), tok);
                        break;
                    case Op::Withdraw:
                        f = api::Withdraw("doge", ValidAddress("doge"), "Main", Decimal(unique), u.login, u.digest(), tok);
                        break;
                    case Op::Swap:
                        f = api::SwapCoin("swap", coin, other, Decimal(1 + rng() % Unit), u.login, u.digest(), tok);
                        break;
                    case Op::Lottery:
                        f = api::BuyLotto(u.login, u.digest(), coin, Decimal(1 + rng() % Unit), tok);
                        break;
                    case Op::Faucet:
                        f = api::FreeCoin(u.login, u.digest(), tok);
                        break;
                    case Op::Register:
                        f = api::Account("tg_new_user", "", fresh.login, fresh.digest(), tok);
                        break;
                    case Op::Account:
                        f = api::Account("useraccount", "", u.login, u.digest(), tok);
                        break;
                    }
                    const Response r = c.post(f);
                    if (!r.ok) {
                        ++failed;
                        continue;
                    }
                    ++answered;
                    std::lock_guard lock(m);
                    // A registration turned away while the hashing queue is full did nothing and says
                    // so; its client may try again. Everything else must be answered.
                    const bool busy = op == Op::Register && r.status == 503 &&
                                      r.text() == QStringLiteral("Busy: please try again in a moment.");
                    if (busy) ++busyRegistrations;
                    else if (Broken(r)) refusals << QStringLiteral("%1 %2").arg(r.status).arg(r.text().left(80));
                    if (!Succeeded(op, r)) continue;
                    ++done[op];
                    if (op == Op::Withdraw) acknowledgedWithdrawals.insert(u.login.toLower(), unique);
                    if (op == Op::Register) registered << fresh.login;
                    if (op == Op::Faucet) ++faucetPaid[u.login];
                }
            });
        }
        for (auto& t : threads) t.join();
        qInfo("%d answers from 200 clients over 3 instances in 10 s; done: invest %d, withdraw %d, swap %d, "
              "lottery %d, faucet %d, register %d (%d busy), account %d",
              answered.load(), done[Op::Invest], done[Op::Withdraw], done[Op::Swap], done[Op::Lottery],
              done[Op::Faucet], done[Op::Register], busyRegistrations.load(), done[Op::Account]);
        QCOMPARE(failed.load(), 0);
        QVERIFY2(refusals.isEmpty(), qPrintable(refusals.mid(0, 10).join(" | ")));
        for (Op op : {Op::Invest, Op::Withdraw, Op::Swap, Op::Lottery, Op::Faucet, Op::Register, Op::Account})
            QVERIFY2(done[op] > 0, SuccessText(op));

        const auto v = group.verify();
        QVERIFY2(v.exitCode == 0, qPrintable(v.out));
        // The faucet period is kept in the database: once per account, whichever instance was asked.
        for (auto it = faucetPaid.begin(); it != faucetPaid.end(); ++it) QCOMPARE(it.value(), 1);
        const auto listed = Withdrawals(group[1]);
        for (auto it = acknowledgedWithdrawals.begin(); it != acknowledgedWithdrawals.end(); ++it)
            QVERIFY2(listed.contains(it.key(), it.value()), qPrintable(it.key() + " " + Decimal(it.value())));
        // Accounts made through one instance log in through another.
        Client other = group[2].client();
        for (const QString& login : registered) {
            const QJsonObject a = Account(other, User{login, "pw"});
            QVERIFY2(a.contains("wall_usdt"), qPrintable(login));
        }
        // No instance answers from a stale copy of an account. Earnings may land
        // between two reads, so a comparison counts only when the first
        // instance's answer is the same before and after the other two; a stale
        // copy would differ every time.
        for (const User& u : users) {
            Client c0 = group[0].client(), c1 = group[1].client(), c2 = group[2].client();
            const char* const members[] = {"wall_doge", "wall_usdt", "inv_btc", "inv_trx", "wall_eth"};
            QString mismatch = QStringLiteral("no steady read");
            for (int attempt = 0; attempt < 5 && !mismatch.isEmpty(); ++attempt) {
                const QJsonObject before = Account(c0, u);
                QVERIFY(before.contains("wall_doge"));
                const QJsonObject a1 = Account(c1, u), a2 = Account(c2, u), after = Account(c0, u);
                bool steady = true;
                for (const char* m : members) steady = steady && before.value(m) == after.value(m);
                if (!steady) continue;
                mismatch.clear();
                for (const char* m : members)
                    if (a1.value(m) != before.value(m) || a2.value(m) != before.value(m))
                        mismatch = QStringLiteral("%1 %2: %3 / %4 / %5")
                                       .arg(u.login, QLatin1String(m), before.value(m).toString(),
                                            a1.value(m).toString(), a2.value(m).toString());
            }
            QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        }
    }

    // The whole wallet spent twice at the same moment through two instances,
    // with two different request tokens: one succeeds, the other is refused.
    // The same request (same token) sent to two instances runs once.
    void doubleSpendAcrossInstancesSucceedsOnce()
    {
        InstanceGroup group(m_server, 3);
        QVERIFY2(group.ok(), qPrintable(group.error()));
        Client setup = group[0].client();
        struct Case {
            Op first, second;
            bool sameToken;
        };
        const QList<Case> cases{
            {Op::Withdraw, Op::Withdraw, false}, {Op::Withdraw, Op::Invest, false}, {Op::Swap, Op::Withdraw, false},
            {Op::Invest, Op::Lottery, false},    {Op::Lottery, Op::Swap, false},    {Op::Invest, Op::Invest, false},
            {Op::Withdraw, Op::Withdraw, true},  {Op::Invest, Op::Invest, true},
        };
        constexpr int Rounds = 3; // each case several times over, all pairs at once
        struct Pair {
            Case c;
            User user;
            qint64 wallet = 0;
            QString amount, tokenA, tokenB;
            int instanceA = 0, instanceB = 1;
            Response a, b;
        };
        std::vector<Pair> pairs;
        for (int r = 0; r < Rounds; ++r)
            for (const Case& c : cases) {
                Pair p{c, NewUser(setup, "spend"), 0, {}, FreshToken(), {}, 0, 0, {}, {}};
                p.tokenB = c.sameToken ? p.tokenA : FreshToken();
                p.instanceA = static_cast<int>(pairs.size()) % 3;
                p.instanceB = (p.instanceA + 1) % 3;
                // With the same token the wallet could pay twice: a double run would show.
                QCOMPARE(group[0].command({"credit", p.user.login, "usdt", c.sameToken ? "20" : "10"}).exitCode, 0);
                p.wallet = Units(Account(setup, p.user), "wall_usdt");
                QVERIFY(p.wallet > 0);
                p.amount = Decimal(c.sameToken ? p.wallet / 2 : p.wallet);
                pairs.push_back(p);
            }

        std::latch start(static_cast<std::ptrdiff_t>(2 * pairs.size()));
        std::vector<std::thread> threads;
        for (Pair& p : pairs)
            for (int side = 0; side < 2; ++side)
                threads.emplace_back([&, side] {
                    Client c = group[side ? p.instanceB : p.instanceA].client();
                    c.post(api::Settings("all_json_setting", FreshToken())); // connected before the race
                    const FormFields f =
                        Spend(side ? p.c.second : p.c.first, p.user, p.amount, side ? p.tokenB : p.tokenA);
                    start.arrive_and_wait();
                    (side ? p.b : p.a) = c.post(f);
                });
        for (auto& t : threads) t.join();

        for (const Pair& p : pairs) {
            const QString what = QStringLiteral("%1 / %2: [%3] [%4]")
                                     .arg(SuccessText(p.c.first), SuccessText(p.c.second), p.a.text(), p.b.text());
            QVERIFY2(p.a.ok && p.b.ok, qPrintable(what));
            QVERIFY2(!Broken(p.a) && !Broken(p.b), qPrintable(what));
            const QJsonObject after = Account(setup, p.user);
            if (p.c.sameToken) {
                // One run: both got its answer, and the wallet paid once.
                QVERIFY2(Succeeded(p.c.first, p.a) && p.a.body == p.b.body, qPrintable(what));
                const qint64 left = Units(after, "wall_usdt"), paidOnce = p.wallet - UnitsOf(p.amount);
                if (p.c.first == Op::Invest) {
                    QCOMPARE(Units(after, "inv_usdt"), UnitsOf(p.amount));
                    QVERIFY2(left >= paidOnce && left < paidOnce + Unit / 1000, qPrintable(what)); // with earnings
                } else {
                    QCOMPARE(left, paidOnce);
                }
            } else {
                QVERIFY2(Succeeded(p.c.first, p.a) != Succeeded(p.c.second, p.b), qPrintable(what));
                // An investment's earnings start at once: seconds of them may be in the wallet again.
                const bool invested = Succeeded(Op::Invest, Succeeded(p.c.first, p.a) ? p.a : p.b) &&
                                      (Succeeded(p.c.first, p.a) ? p.c.first : p.c.second) == Op::Invest;
                if (invested) {
                    QCOMPARE(Units(after, "inv_usdt"), p.wallet);
                    QVERIFY2(Units(after, "wall_usdt") < Unit / 1000, qPrintable(what));
                } else {
                    QCOMPARE(Units(after, "wall_usdt"), 0);
                }
            }
        }
        const auto v = group.verify();
        QVERIFY2(v.exitCode == 0, qPrintable(v.out));
        // Each withdrawal in the outbox once, as answered.
        const auto listed = Withdrawals(group[0]);
        for (const Pair& p : pairs) {
            const int expected = (p.c.first == Op::Withdraw && Succeeded(Op::Withdraw, p.a)) ||
                                         (p.c.second == Op::Withdraw && Succeeded(Op::Withdraw, p.b))
                                     ? 1
                                     : 0;
            QCOMPARE(static_cast<int>(listed.values(p.user.login.toLower()).size()), expected);
        }
    }

    // The draw of a full pot and the daily draw each happen once, however many
    // instances reach them at the same moment.
    void oneDrawPerPeriodAcrossInstances()
    {
        InstanceGroup group(m_server, 3);
        QVERIFY2(group.ok(), qPrintable(group.error()));
        Client setup = group[0].client();

        // 40 players join at once through three instances: two full draws of 20.
        QList<User> players;
        for (int i = 0; i < 40; ++i) {
            players << NewUser(setup, "draw");
            QCOMPARE(group[i % 3].command({"credit", players.last().login, "doge", "100"}).exitCode, 0);
            if (i < 5) QCOMPARE(group[i % 3].command({"credit", players.last().login, "trx", "100"}).exitCode, 0);
        }
        std::latch start(40);
        std::atomic<int> staked{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 40; ++i)
            threads.emplace_back([&, i] {
                Client c = group[i % 3].client();
                c.post(api::Settings("all_json_setting", FreshToken()));
                start.arrive_and_wait();
                if (Succeeded(Op::Lottery,
                              c.post(api::BuyLotto(players[i].login, players[i].digest(), "DOGE", "10", FreshToken()))))
                    ++staked;
            });
        for (auto& t : threads) t.join();
        threads.clear();
        QCOMPARE(staked.load(), 40);
        const QJsonArray full = JsonArray(setup.get("/lotto/winner_doge.json"));
        QCOMPARE(full.size(), 2);
        for (const auto& w : full) // 20 stakes of 10, less 3 %
            QCOMPARE(UnitsOf(w.toObject().value("amount").toString()), 194 * Unit);
        QCOMPARE(JsonArray(setup.get("/lotto/doge.json")).size(), 0);

        // The daily draw: three days, each with a few stakes, then every
        // instance asked for the draw files at once right after midnight.
        for (int day = 1; day <= 3; ++day) {
            for (int i = 0; i < 5; ++i) {
                Client c = group[i % 3].client();
                QVERIFY(Succeeded(Op::Lottery, c.post(api::BuyLotto(players[i].login, players[i].digest(), "TRX", "1",
                                                                    FreshToken()))));
            }
            QVERIFY(group.advanceAll(86400));
            std::latch ask(60);
            for (int t = 0; t < 60; ++t)
                threads.emplace_back([&, t] {
                    Client c = group[t % 3].client();
                    c.post(api::Settings("all_json_setting", FreshToken()));
                    ask.arrive_and_wait();
                    c.get(t % 2 ? "/lotto/winner_trx.json" : "/lotto/trx.json");
                });
            for (auto& t : threads) t.join();
            threads.clear();
            const QJsonArray winners = JsonArray(setup.get("/lotto/winner_trx.json"));
            QCOMPARE(winners.size(), day);
            // The newest first or last: either way each draw paid one pot of 5 stakes of 1, less 3 %.
            for (const auto& w : winners) QCOMPARE(UnitsOf(w.toObject().value("amount").toString()), 485 * Unit / 100);
            QCOMPARE(JsonArray(setup.get("/lotto/trx.json")).size(), 0);
        }
        const auto v = group.verify();
        QVERIFY2(v.exitCode == 0, qPrintable(v.out));
    }

    // SIGKILL to one instance under load: the others go on answering, and
    // every withdrawal and registration that was answered is there afterwards.
    void sigkillOfOneInstanceLosesNothing()
    {
        InstanceGroup group(m_server, 3);
        QVERIFY2(group.ok(), qPrintable(group.error()));
        Client setup = group[0].client();
        QList<User> users;
        for (int i = 0; i < 5; ++i) {
            users << NewUser(setup, "kill");
            QCOMPARE(group[0].command({"credit", users.last().login, "doge", "1000000"}).exitCode, 0);
        }
        std::mutex m;
        QMultiMap<QString, qint64> acknowledged;
        QStringList registered, refusals;
        std::atomic<bool> killed{false}, stop{false};
        std::atomic<int> answered{0}, answeredAfterKill{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 60; ++t) {
            threads.emplace_back([&, t] {
                int instance = t % 3;
                std::optional<Client> c;
                c.emplace(group[instance].port(), group[instance].caFile());
                for (int i = 0; !stop; ++i) {
                    const User& u = users[(t + i) % users.size()];
                    const qint64 amount = 20 * Unit + qint64(t) * 1000000 + i;
                    const bool reg = i % 4 == 3;
                    const User fresh{UniqueLogin("k", t, i), "pw"};
                    const Response r = reg ? Register(*c, fresh)
                                           : c->post(api::Withdraw("doge", ValidAddress("doge"), "Main", Decimal(amount),
                                                                   u.login, u.digest(), FreshToken()));
                    if (!r.ok) {
                        // As a load balancer would: the next instance.
                        if (killed && instance == 0) {
                            instance = 1 + t % 2;
                            c.emplace(group[instance].port(), group[instance].caFile());
                        }
                        continue;
                    }
                    ++answered;
                    if (killed && instance != 0) ++answeredAfterKill;
                    std::lock_guard lock(m);
                    // A registration turned away by the full hashing queue did nothing and says so: no refusal.
                    const bool busy = reg && r.status == 503 &&
                                      r.text() == QStringLiteral("Busy: please try again in a moment.");
                    if (Broken(r) && !busy) refusals << r.text().left(80);
                    if (!reg && Succeeded(Op::Withdraw, r)) acknowledged.insert(u.login.toLower(), amount);
                    if (reg && Succeeded(Op::Register, r)) registered << fresh.login;
                }
            });
        }
        auto waitFor = [](const std::atomic<int>& counter, int target) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
            while (counter < target && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return counter >= target;
        };
        const bool loaded = waitFor(answered, 200);
        killed = true;
        group[0].kill(); // with requests under way
        const bool goneOn = loaded && waitFor(answeredAfterKill, 300);
        stop = true;
        for (auto& t : threads) t.join();
        QVERIFY2(loaded, "no load before the kill");
        QVERIFY2(goneOn, qPrintable(QStringLiteral("the other instances answered only %1 requests after the kill")
                                        .arg(answeredAfterKill.load())));
        QVERIFY2(refusals.isEmpty(), qPrintable(refusals.mid(0, 10).join(" | ")));

        const auto v = group.verify();
        QVERIFY2(v.exitCode == 0, qPrintable(v.out));
        const auto listed = Withdrawals(group[1]);
        for (auto it = acknowledged.begin(); it != acknowledged.end(); ++it)
            QVERIFY2(listed.contains(it.key(), it.value()), qPrintable(it.key() + " " + Decimal(it.value())));
        Client other = group[2].client();
        for (const QString& login : registered)
            QVERIFY2(Account(other, User{login, "pw"}).contains("wall_usdt"), qPrintable(login));
        // The killed instance comes back on the same database.
        QString why;
        QVERIFY2(group[0].start(&why), qPrintable(why));
        Client back = group[0].client();
        QVERIFY(Account(back, users.first()).contains("wall_doge"));
    }

    // The database restarted under load: both instances answer money requests
    // again by themselves within seconds, and no answered withdrawal is lost.
    void databaseRestartMidLoad()
    {
        PgServerProcess pg; // its own server: restarting the shared one would disturb other tests
        QVERIFY2(!pg.conninfo().isEmpty(), "scripts/pg-cluster.sh start failed");
        InstanceGroup group(pg.conninfo(), 2);
        QVERIFY2(group.ok(), qPrintable(group.error()));
        Client setup = group[0].client();
        QList<User> users;
        for (int i = 0; i < 4; ++i) {
            users << NewUser(setup, "restart");
            QCOMPARE(group[0].command({"credit", users.last().login, "doge", "1000000"}).exitCode, 0);
        }
        std::mutex m;
        QMultiMap<QString, qint64> acknowledged;
        QStringList badTexts;
        std::atomic<bool> restarted{false}, stop{false};
        std::atomic<int> answered{0}, failedDuring{0};
        std::atomic<int> doneAfter[2] = {0, 0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 40; ++t) {
            threads.emplace_back([&, t] {
                Client c = group[t % 2].client();
                for (int i = 0; !stop; ++i) {
                    const User& u = users[(t + i) % users.size()];
                    const qint64 amount = 20 * Unit + qint64(t) * 1000000 + i;
                    const Response r = c.post(api::Withdraw("doge", ValidAddress("doge"), "Main", Decimal(amount), u.login,
                                                            u.digest(), FreshToken()));
                    if (!r.ok) continue;
                    ++answered;
                    std::lock_guard lock(m);
                    // While the database is down an error text is right; a reply that would
                    // send the client back to its login is not.
                    if (r.body.empty() || r.body[0] == 'T') badTexts << r.text();
                    if (Succeeded(Op::Withdraw, r)) {
                        acknowledged.insert(u.login.toLower(), amount);
                        if (restarted) ++doneAfter[t % 2];
                    } else if (!restarted) {
                        ++failedDuring;
                    }
                }
            });
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (answered < 150 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const bool loaded = answered >= 150;
        const bool back = pg.restart();
        const auto up = std::chrono::steady_clock::now();
        restarted = true;
        // Recovered: both instances have acknowledged withdrawals again.
        auto recovered = [&] { return doneAfter[0] >= 20 && doneAfter[1] >= 20; };
        while (!recovered() && std::chrono::steady_clock::now() < up + std::chrono::seconds(60))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - up).count();
        stop = true;
        for (auto& t : threads) t.join();
        qInfo("money requests answered again %.1f s after the database was back (%d refused meanwhile)", seconds,
              failedDuring.load());
        QVERIFY2(loaded, "no load before the restart");
        QVERIFY2(back, "scripts/pg-cluster.sh restart failed");
        QVERIFY2(recovered(), qPrintable(QStringLiteral("after 60 s: %1 and %2 withdrawals through the two instances")
                                             .arg(doneAfter[0].load())
                                             .arg(doneAfter[1].load())));
        QVERIFY2(badTexts.isEmpty(), qPrintable(badTexts.mid(0, 10).join(" | ")));

        const auto v = group.verify();
        QVERIFY2(v.exitCode == 0, qPrintable(v.out));
        const auto listed = Withdrawals(group[1]);
        for (auto it = acknowledged.begin(); it != acknowledged.end(); ++it)
            QVERIFY2(listed.contains(it.key(), it.value()), qPrintable(it.key() + " " + Decimal(it.value())));
    }

    // Two instances behind HAProxy (from the distribution, TLS to the clients and to the instances, checks on
    // /healthz): requests through it reach both; when PostgreSQL stops, each instance says it is not ready
    // and the balancer takes them out; when it returns, both are ready again and money requests pass.
    void throughHaproxyWithHealthChecks()
    {
        const QString haproxy = QStandardPaths::findExecutable("haproxy", {"/usr/sbin", "/usr/bin", "/sbin"});
        if (haproxy.isEmpty()) QSKIP("haproxy is not installed (scripts/install-deps.sh installs it)");
        PgServerProcess pg; // its own server: stopping the shared one would disturb other tests
        QVERIFY2(!pg.conninfo().isEmpty(), "scripts/pg-cluster.sh start failed");
        InstanceGroup group(pg.conninfo(), 2);
        QVERIFY2(group.ok(), qPrintable(group.error()));

        QTemporaryDir dir;
        QFile pem(dir.path() + "/front.pem"); // the first instance's certificate, trusted through its CA
        QVERIFY(pem.open(QIODevice::WriteOnly));
        for (const char* part : {"/server.pem", "/server.key"}) {
            QFile f(group[0].dataDir() + part);
            QVERIFY(f.open(QIODevice::ReadOnly));
            pem.write(f.readAll());
        }
        pem.close();
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const int front = probe.serverPort();
        probe.close();
        QString config = QStringLiteral("global\n  maxconn 2000\n"
                                        "defaults\n  mode http\n  timeout connect 5s\n  timeout client 60s\n"
                                        "  timeout server 60s\n  retries 0\n"
                                        "frontend front\n  bind 127.0.0.1:%1 ssl crt %2 alpn http/1.1\n"
                                        "  default_backend instances\n"
                                        "backend instances\n  balance roundrobin\n  option httpchk GET /healthz\n"
                                        "  http-check expect status 200\n"
                                        "  default-server check inter 300ms fall 2 rise 2 ssl verify required ca-file %3\n")
                             .arg(front)
                             .arg(pem.fileName(), group[0].caFile());
        // Every instance made its own CA: each server line names the one it trusts.
        for (int i = 0; i < group.size(); ++i)
            config += QStringLiteral("  server i%1 127.0.0.1:%2 ca-file %3\n").arg(i).arg(group[i].port()).arg(group[i].caFile());
        QFile cfg(dir.path() + "/haproxy.cfg");
        QVERIFY(cfg.open(QIODevice::WriteOnly));
        cfg.write(config.toUtf8());
        cfg.close();
        QProcess balancer;
        balancer.setProcessChannelMode(QProcess::ForwardedChannels);
        balancer.start(haproxy, {"-db", "-f", cfg.fileName()});
        QVERIFY(balancer.waitForStarted(10000));
        struct Stop {
            QProcess& p;
            ~Stop()
            {
                p.terminate();
                if (!p.waitForFinished(10000)) p.kill();
            }
        } stop{balancer};

        Client through(front, group[0].caFile());
        QTRY_VERIFY_WITH_TIMEOUT(through.get("/healthz").status == 200, 30000);
        const User u = NewUser(through, "balanced");
        QCOMPARE(group[0].command({"credit", u.login, "usdt", "100"}).exitCode, 0);
        int done = 0;
        for (int i = 0; i < 20; ++i) {
            Client c(front, group[0].caFile()); // a connection each: the balancer spreads connections
            QVERIFY(!Account(c, u).isEmpty());
            if (c.post(api::SwapCoin("swap", "USDT", "DOGE", "1", u.login, u.digest(), FreshToken())).text().startsWith("Swap done"))
                ++done;
        }
        QCOMPARE(done, 20);
        // Both instances served some of them (their access logs are flushed every second).
        const auto servedBy = [&](int i) {
            QFile f(group[i].dataDir() + "/access.log");
            if (!f.open(QIODevice::ReadOnly)) return 0;
            const QByteArray all = f.readAll();
            return int(all.count("\"action\":\"get_swap_coin\"") + all.count("\"action\":\"useraccount\""));
        };
        QTRY_COMPARE_WITH_TIMEOUT(servedBy(0) + servedBy(1), 40, 10000);
        QVERIFY2(servedBy(0) >= 5 && servedBy(1) >= 5,
                 qPrintable(QStringLiteral("%1 and %2 requests").arg(servedBy(0)).arg(servedBy(1))));

        QVERIFY(pg.pause());
        for (int i = 0; i < group.size(); ++i) {
            Client direct = group[i].client();
            QTRY_COMPARE_WITH_TIMEOUT(direct.get("/healthz").status, 503, 30000);
            QCOMPARE(direct.get("/healthz").text(), QString("not ready"));
        }
        QTRY_COMPARE_WITH_TIMEOUT(Client(front, group[0].caFile()).get("/healthz").status, 503, 30000);

        QVERIFY(pg.resume());
        for (int i = 0; i < group.size(); ++i) {
            Client direct = group[i].client();
            QTRY_COMPARE_WITH_TIMEOUT(direct.get("/healthz").text(), QString("ready"), 60000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(Client(front, group[0].caFile()).get("/healthz").status, 200, 30000);
        Client after(front, group[0].caFile());
        QVERIFY(after.post(api::SwapCoin("swap", "USDT", "DOGE", "1", u.login, u.digest(), FreshToken()))
                    .text()
                    .startsWith("Swap done"));
        const auto v = group.verify();
        QVERIFY2(v.exitCode == 0, qPrintable(v.out));
    }
};

QTEST_GUILESS_MAIN(ServiceClusterTest)
#include "tst_service_cluster.moc"
