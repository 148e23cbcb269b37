// The history of a wallet: every movement once, as it moved the wallet, summing to the balance; pages that hold
// still while new items arrive; only one's own lines; the operator's word on a withdrawal (sent, or failed and
// refunded through the ledger); the rentals and the prices a client values its coins at.
#include "ServiceHarness.h"

#include <QMap>
#include <QRegularExpression>

#include <optional>

using namespace svc;

namespace {

constexpr qint64 Day = 86400;

// Valid withdrawal addresses (published examples).
const QString UsdtAddress = "0x5aaeb6053f3e94c9b9a09f33669435e7ef1beaed";
const QString UsdtNetwork = "ERC-20 (Ethereum)";

struct Item {
    qint64 id = 0;
    QString time, kind, coin;
    qint64 amount = 0, fee = 0;
    QString status, detail;
};

struct Page {
    Response raw;
    QList<Item> items;
    std::optional<qint64> next;
    bool wellFormed = false;
};

// "-0.50000000" in units, exactly.
qint64 Signed(const QString& s)
{
    return s.startsWith('-') ? -UnitsOf(s.mid(1)) : UnitsOf(s);
}

// One request of "history"; wellFormed when the answer has the promised shape in every member.
Page History(Client& c, const User& u, const FormFields& extra = {})
{
    FormFields f{{"a", "history"}, {"s", u.login}, {"pass", u.digest()}};
    f += extra;
    f.append({"session", FreshToken()});
    Page p;
    p.raw = c.post(f);
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(p.raw.body));
    if (!doc.isObject()) return p;
    const QJsonObject o = doc.object();
    static const QRegularExpression amount("^-?[0-9]+\\.[0-9]{8}$");
    static const QRegularExpression time("^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$");
    static const QStringList kinds{"deposit", "withdraw",  "invest",   "earning",       "return",     "swap_out",
                                   "swap_in", "faucet",    "referral", "lottery_stake", "lottery_win"};
    static const QStringList statuses{"done", "pending", "sent", "failed"};
    bool ok = o.value("items").isArray() && (o.value("next").isNull() || o.value("next").isDouble());
    for (const QJsonValue& v : o.value("items").toArray()) {
        const QJsonObject i = v.toObject();
        Item it{i.value("id").toInteger(),
                i.value("time").toString(),
                i.value("kind").toString(),
                i.value("coin").toString(),
                Signed(i.value("amount").toString()),
                Signed(i.value("fee").toString()),
                i.value("status").toString(),
                i.value("detail").toString()};
        ok = ok && i.value("id").isDouble() && it.id > 0 && time.match(it.time).hasMatch() && kinds.contains(it.kind) &&
             Coins().contains(it.coin) && amount.match(i.value("amount").toString()).hasMatch() &&
             amount.match(i.value("fee").toString()).hasMatch() && statuses.contains(it.status) &&
             i.value("detail").isString();
        p.items.append(it);
    }
    if (o.value("next").isDouble()) p.next = o.value("next").toInteger();
    p.wellFormed = ok;
    return p;
}

// Every item, page by page (newest first); false when a page is malformed or the ids do not fall.
bool All(Client& c, const User& u, QList<Item>* out, const QString& coin = {}, int limit = 200)
{
    out->clear();
    std::optional<qint64> before;
    for (int pages = 0; pages < 10000; ++pages) {
        FormFields extra{{"limit", QString::number(limit)}};
        if (!coin.isEmpty()) extra.append({"coin", coin});
        if (before) extra.append({"before", QString::number(*before)});
        const Page p = History(c, u, extra);
        if (!p.wellFormed) {
            qWarning("malformed page: %s", p.raw.body.c_str());
            return false;
        }
        for (const Item& i : p.items) {
            if (!out->isEmpty() && i.id >= out->last().id) return false;
            out->append(i);
        }
        if (!p.next) return true;
        if (*p.next != p.items.last().id) return false;
        before = p.next;
    }
    return false;
}

QMap<QString, qint64> Sums(const QList<Item>& items)
{
    QMap<QString, qint64> sums;
    for (const Item& i : items) sums[i.coin] += i.amount;
    return sums;
}

// The items of every coin sum to the wallet of that coin.
void CompareWithWallets(const QList<Item>& items, const QJsonObject& account)
{
    const QMap<QString, qint64> sums = Sums(items);
    for (const QString& coin : Coins())
        QVERIFY2(sums.value(coin) == Units(account, "wall_" + coin),
                 qPrintable(QString("%1: items sum to %2, wallet holds %3")
                                .arg(coin, Decimal(sums.value(coin)), account.value("wall_" + coin).toString())));
}

QMap<QString, qint64> Wallets(const QJsonObject& account)
{
    QMap<QString, qint64> w;
    for (const QString& coin : Coins()) w[coin] = Units(account, "wall_" + coin);
    return w;
}

QString KindsOf(const QList<Item>& items)
{
    QStringList k;
    for (const Item& i : items) k << i.kind + " " + i.coin;
    k.sort();
    return k.join(", ");
}

// Withdrawal ids of the outbox listing, in its order.
QList<qint64> OutboxIds(const QString& listing)
{
    QList<qint64> ids;
    for (const QString& line : listing.split('\n', Qt::SkipEmptyParts).mid(1)) ids << line.section('\t', 0, 0).toLongLong();
    return ids;
}

// Answered as a refusal: status 200 and exactly this text.
bool Refused(const Response& r, const QString& text)
{
    return r.ok && r.status == 200 && r.text() == text;
}

FormFields Investments(const User& u)
{
    return {{"a", "investments"}, {"s", u.login}, {"pass", u.digest()}, {"session", FreshToken()}};
}

} // namespace

class ServiceHistoryTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Service> m_shared;
    User m_hostile;

private slots:
    void initTestCase() { SVC_REQUIRE_STORE(); }
    void cleanupTestCase() { m_shared.reset(); }

    // Each money action, one at a time: the items it added are exactly the lines it should make, and their sums
    // per coin (with what the day's earnings and referral lines grew by) are what the wallet moved.
    void everyMoneyActionAppearsOnceAsItMovedTheWallet()
    {
        Service service;
        Client c = service.client();
        const User referrer = NewUser(c, "referrer");
        const QString code = Account(c, referrer).value("refcode").toString();
        const User u = NewUser(c, "actor", code);

        QMap<qint64, Item> seen;
        QMap<QString, qint64> wallets; // all zero before the registration
        qint64 withdrawalFee = 0;
        struct Step {
            const char* name;
            std::function<void()> act;
            QString kinds; // the new lines besides earnings, sorted as KindsOf writes them
        };
        const std::vector<Step> steps{
            {"registration with an invite code", [] {}, "referral doge"},
            {"deposit", [&] { QCOMPARE(service.command({"credit", u.login, "btc", "1"}).exitCode, 0); },
             "deposit btc"},
            {"second deposit", [&] { QCOMPARE(service.command({"credit", u.login, "usdt", "100"}).exitCode, 0); },
             "deposit usdt"},
            {"invest",
             [&] {
                 const Response r = c.post(api::InvestCoin("1", "btc", "0.5", u.login, u.digest(), FreshToken()));
                 QVERIFY2(r.text().startsWith("Investment accepted"), r.body.c_str());
             },
             "invest btc"},
            {"withdraw",
             [&] {
                 const Response r =
                     c.post(api::Withdraw("usdt", UsdtAddress, UsdtNetwork, "10", u.login, u.digest(), FreshToken()));
                 const auto m = QRegularExpression("after a fee of ([0-9.]+) USDT").match(r.text());
                 QVERIFY2(m.hasMatch(), r.body.c_str());
                 withdrawalFee = UnitsOf(m.captured(1));
             },
             "withdraw usdt"},
            {"swap",
             [&] {
                 const Response r = c.post(api::SwapCoin("swap", "btc", "eth", "0.1", u.login, u.digest(), FreshToken()));
                 QVERIFY2(r.text().startsWith("Swap done"), r.body.c_str());
             },
             "swap_in eth, swap_out btc"},
            {"faucet",
             [&] {
                 const Response r = c.post(api::FreeCoin(u.login, u.digest(), FreshToken()));
                 QVERIFY2(r.text().startsWith("You received"), r.body.c_str());
             },
             "faucet usdt"},
            {"lottery stake",
             [&] {
                 const Response r = c.post(api::BuyLotto(u.login, u.digest(), "doge", "5", FreshToken()));
                 QVERIFY2(r.text().startsWith("Your stake"), r.body.c_str());
             },
             "lottery_stake doge"},
            {"a day later: the draw and a day of earnings",
             [&] {
                 service.advance(Day);
                 QVERIFY(c.get("/lotto/doge.json").ok); // the due draw takes place
             },
             "lottery_win doge"},
            {"another day of earnings", [&] { service.advance(Day); }, ""},
            {"the rental ends", [&] { service.advance(90 * Day); }, "return btc"},
            {"the withdrawal fails",
             [&] {
                 const QList<qint64> ids = OutboxIds(service.command({"withdrawals"}).out);
                 QCOMPARE(ids.size(), 1);
                 const auto r = service.command({"mark-failed", QString::number(ids[0]), "rejected by the network"});
                 QVERIFY2(r.exitCode == 0, qPrintable(r.err));
             },
             "withdraw usdt"},
        };
        QSet<QString> earningDays;
        for (const Step& step : steps) {
            step.act();
            if (QTest::currentTestFailed()) QFAIL(step.name);
            const QJsonObject account = Account(c, u); // also brings the earnings up to date
            QList<Item> all;
            QVERIFY2(All(c, u, &all), step.name);
            QList<Item> added, others;
            QMap<QString, qint64> moved;
            for (const Item& i : all) {
                auto old = seen.constFind(i.id);
                if (old == seen.constEnd()) {
                    moved[i.coin] += i.amount;
                    (i.kind == "earning" ? others : added).append(i);
                    continue;
                }
                // A line already seen may only grow, if it is the day's earnings, or change its status.
                if (old->amount != i.amount) {
                    QVERIFY2(i.kind == "earning" && old->time.left(10) == i.time.left(10), step.name);
                    moved[i.coin] += i.amount - old->amount;
                }
            }
            QCOMPARE(all.size(), seen.size() + added.size() + others.size()); // nothing went away
            QVERIFY2(KindsOf(added) == step.kinds, qPrintable(QString(step.name) + ": " + KindsOf(added)));
            const QMap<QString, qint64> now = Wallets(account);
            for (const QString& coin : Coins())
                QVERIFY2(moved.value(coin) == now.value(coin) - wallets.value(coin),
                         qPrintable(QString("%1: %2 items moved %3, the wallet %4")
                                        .arg(step.name, coin, Decimal(moved.value(coin)),
                                             Decimal(now.value(coin) - wallets.value(coin)))));
            CompareWithWallets(all, account);
            if (QTest::currentTestFailed()) QFAIL(step.name);
            for (const Item& i : added) {
                if (i.kind == "withdraw" && i.amount < 0) {
                    QCOMPARE(i.amount, -10 * Unit);
                    QCOMPARE(i.fee, withdrawalFee);
                    QCOMPARE(i.status, QString("pending"));
                    QVERIFY2(i.detail.contains(UsdtAddress), qPrintable(i.detail));
                }
                if (i.kind == "withdraw" && i.amount > 0) { // the refund: amount and fee return
                    QCOMPARE(i.amount, 10 * Unit);
                    QCOMPARE(i.fee, -withdrawalFee);
                    QCOMPARE(i.status, QString("failed"));
                    QCOMPARE(i.detail, QString("rejected by the network"));
                }
                if (i.kind == "return") QCOMPARE(i.amount + i.fee, Unit / 2); // the principal, less the fee kept
                if (i.kind == "lottery_win") QCOMPARE(i.amount + i.fee, 5 * Unit); // the pot, less the fee kept
                if (i.kind != "withdraw") QCOMPARE(i.status, QString("done"));
            }
            for (const Item& i : all)
                if (i.kind == "earning") earningDays.insert(i.coin + " " + i.time.left(10));
            int earningLines = 0;
            for (const Item& i : all) earningLines += i.kind == "earning";
            QCOMPARE(earningLines, earningDays.size()); // one line per coin and UTC day
            for (const Item& i : all) seen[i.id] = i;
            wallets = now;
        }
        // The original withdrawal line shows the outcome.
        int failed = 0;
        for (const Item& i : seen)
            if (i.kind == "withdraw" && i.amount < 0) failed += i.status == "failed" && i.detail == "rejected by the network";
        QCOMPARE(failed, 1);
        QVERIFY2(earningDays.size() >= 3, qPrintable(QStringList(earningDays.values()).join(", ")));
        qint64 earned = 0;
        for (const Item& i : seen) earned += i.kind == "earning" ? i.amount : 0;
        QCOMPARE(earned, Units(Account(c, u), "earned_inv_btc"));

        // The referrer's shares: its own lines, one per coin and day, summing to its wallet.
        QList<Item> theirs;
        QVERIFY(All(c, referrer, &theirs));
        QVERIFY(!theirs.isEmpty());
        QSet<QString> days;
        for (const Item& i : theirs) {
            QCOMPARE(i.kind, QString("referral"));
            QVERIFY(!seen.contains(i.id));
            days.insert(i.coin + " " + i.time.left(10));
        }
        QCOMPARE(days.size(), theirs.size());
        const QJsonObject referrerAccount = Account(c, referrer);
        CompareWithWallets(theirs, referrerAccount);
        QVERIFY(Units(referrerAccount, "earned_ref_btc") > 0);
        QVERIFY(service.verify());
    }

    // Page 1, then new movements (and the day's earnings line growing), then the following pages with "before":
    // together exactly the items there were when page 1 was read, none twice; with and without a coin.
    void pagesHoldStillWhileNewItemsArrive_data()
    {
        QTest::addColumn<QString>("coin");
        QTest::newRow("every coin") << QString();
        QTest::newRow("one coin") << QString("usdt");
    }
    void pagesHoldStillWhileNewItemsArrive()
    {
        QFETCH(QString, coin);
        Service service;
        Client c = service.client();
        const User u = NewUser(c, "pager");
        QCOMPARE(service.command({"credit", u.login, "usdt", "1000"}).exitCode, 0);
        QCOMPARE(service.command({"credit", u.login, "btc", "1"}).exitCode, 0);
        QVERIFY(c.post(api::InvestCoin("4", "btc", "1", u.login, u.digest(), FreshToken())).text().startsWith("Investment"));
        service.advance(600);
        Account(c, u); // the day's earnings line
        auto swap = [&](const QString& from, const QString& to, int n) {
            const Response r = c.post(api::SwapCoin("swap", from, to, QString("1.%1").arg(n, 8, 10, QChar('0')), u.login,
                                                    u.digest(), FreshToken()));
            QVERIFY2(r.text().startsWith("Swap done"), r.body.c_str());
        };
        for (int i = 1; i <= 12; ++i) swap("usdt", i % 2 ? "doge" : "trx", i);

        QList<Item> before;
        QVERIFY(All(c, u, &before, coin));
        QVERIFY(before.size() >= 13);
        const int limit = 5;
        FormFields first{{"limit", QString::number(limit)}};
        if (!coin.isEmpty()) first.append({"coin", coin});
        const Page page1 = History(c, u, first);
        QVERIFY2(page1.wellFormed, page1.raw.body.c_str());
        QCOMPARE(page1.items.size(), limit);
        QVERIFY(page1.next);

        // New items arrive at the top, and the earnings line lower down grows.
        for (int i = 1; i <= 4; ++i) swap("usdt", "doge", 100 + i);
        QCOMPARE(service.command({"credit", u.login, "usdt", "3"}).exitCode, 0);
        service.advance(600);
        Account(c, u);

        QList<Item> paged = page1.items;
        std::optional<qint64> next = page1.next;
        for (int pages = 0; next && pages < 100; ++pages) {
            FormFields f{{"limit", QString::number(limit)}, {"before", QString::number(*next)}};
            if (!coin.isEmpty()) f.append({"coin", coin});
            const Page p = History(c, u, f);
            QVERIFY2(p.wellFormed, p.raw.body.c_str());
            QVERIFY(!p.items.isEmpty());
            QVERIFY(p.items.first().id < paged.last().id);
            paged += p.items;
            next = p.next;
        }
        QVERIFY(!next);
        QCOMPARE(paged.size(), before.size());
        for (int i = 0; i < paged.size(); ++i) {
            QCOMPARE(paged[i].id, before[i].id);
            QCOMPARE(paged[i].kind, before[i].kind);
            if (paged[i].kind != "earning") QCOMPARE(paged[i].amount, before[i].amount);
            if (!coin.isEmpty()) QCOMPARE(paged[i].coin, coin);
        }
        // And the whole history now: the new items on top (4 swaps and a deposit; an earnings line of a new
        // UTC day may come with them), the earlier ones as they were.
        QList<Item> after;
        QVERIFY(All(c, u, &after, coin, 3));
        int added = 0, kept = 0;
        for (const Item& i : after) {
            if (i.id > before.first().id)
                added += i.kind != "earning";
            else
                QCOMPARE(i.id, before[kept++].id);
        }
        QCOMPARE(added, coin.isEmpty() ? 9 : 5);
        QCOMPARE(kept, before.size());
        QVERIFY(All(c, u, &after));
        CompareWithWallets(after, Account(c, u));
    }

    // Two accounts acting in turn (one invited by the other): each sees exactly its own movements, whatever
    // "before" it sends, and the password of one opens nothing of the other.
    void onlyTheCallersOwnItems()
    {
        Service service;
        Client c = service.client();
        const User a = NewUser(c, "alpha");
        const User b = NewUser(c, "beta", Account(c, a).value("refcode").toString());
        QCOMPARE(service.command({"credit", a.login, "usdt", "500"}).exitCode, 0);
        QCOMPARE(service.command({"credit", b.login, "usdt", "500"}).exitCode, 0);
        QMap<QString, int> expectA{{"deposit usdt", 1}}, expectB{{"deposit usdt", 1}, {"referral doge", 1}};
        for (int round = 0; round < 6; ++round) {
            for (const User* u : {&a, &b}) {
                const QString val = QString("%1.%2").arg(u == &a ? 1 : 2).arg(round, 8, 10, QChar('0'));
                const Response r = c.post(api::SwapCoin("swap", "usdt", "doge", val, u->login, u->digest(), FreshToken()));
                QVERIFY2(r.text().startsWith("Swap done"), r.body.c_str());
                auto& expect = u == &a ? expectA : expectB;
                expect["swap_out usdt " + val] += 1;
            }
        }
        QVERIFY(c.post(api::FreeCoin(b.login, b.digest(), FreshToken())).text().startsWith("You received"));
        expectB["faucet usdt"] += 1;
        expectA["referral usdt"] += 1; // the inviter's share of the claim is the inviter's line

        QList<Item> itemsA, itemsB;
        QVERIFY(All(c, a, &itemsA, {}, 4));
        QVERIFY(All(c, b, &itemsB, {}, 4));
        auto tally = [](const QList<Item>& items) {
            QMap<QString, int> t;
            for (const Item& i : items) {
                if (i.kind == "swap_in") continue; // its amount follows the price
                QString key = i.kind + " " + i.coin;
                if (i.kind == "swap_out") key += " " + Decimal(-i.amount);
                t[key] += 1;
            }
            return t;
        };
        QCOMPARE(tally(itemsA), expectA);
        QCOMPARE(tally(itemsB), expectB);
        QSet<qint64> idsA;
        for (const Item& i : itemsA) idsA.insert(i.id);
        for (const Item& i : itemsB) QVERIFY(!idsA.contains(i.id));
        CompareWithWallets(itemsA, Account(c, a));
        CompareWithWallets(itemsB, Account(c, b));
        // One coin at a time: exactly one's own lines of that coin.
        for (const QString& coin : {QString("usdt"), QString("doge")}) {
            for (const auto& [user, items] : {std::pair{&a, &itemsA}, std::pair{&b, &itemsB}}) {
                QList<Item> ofCoin, expected;
                QVERIFY(All(c, *user, &ofCoin, coin, 3));
                for (const Item& i : *items)
                    if (i.coin == coin) expected.append(i);
                QCOMPARE(ofCoin.size(), expected.size());
                for (int k = 0; k < ofCoin.size(); ++k) QCOMPARE(ofCoin[k].id, expected[k].id);
            }
        }

        // "before" just above each of the other's ids: still only one's own items below it.
        for (const Item& other : itemsB) {
            const Page p = History(c, a, {{"before", QString::number(other.id + 1)}, {"limit", "200"}});
            QVERIFY2(p.wellFormed, p.raw.body.c_str());
            for (const Item& i : p.items) QVERIFY(idsA.contains(i.id) && i.id <= other.id);
        }
        // Another's password, or none that matches, gets the login refusal and no items.
        const Response crossed = c.post({{"a", "history"}, {"s", a.login}, {"pass", b.digest()}, {"session", FreshToken()}});
        QVERIFY2(Refused(crossed, "Wrong login or password."), crossed.body.c_str());
        const Response noPass = c.post({{"a", "history"}, {"s", a.login}, {"session", FreshToken()}});
        QVERIFY2(Refused(noPass, "Refused: the request lacks a field."), noPass.body.c_str());
    }

    // mark-failed returns amount and fee through the ledger, mark-sent records the transaction; each once,
    // and only for a pending withdrawal that exists; every refusal leaves everything as it was.
    void withdrawalStatusFromTheOperator()
    {
        Service service;
        Client c = service.client();
        const User u = NewUser(c, "sender");
        QCOMPARE(service.command({"credit", u.login, "usdt", "100"}).exitCode, 0);
        for (const char* val : {"10", "20"}) {
            const Response r =
                c.post(api::Withdraw("usdt", UsdtAddress, UsdtNetwork, val, u.login, u.digest(), FreshToken()));
            QVERIFY2(r.text().startsWith("Withdrawal accepted"), r.body.c_str());
        }
        const QList<qint64> ids = OutboxIds(service.command({"withdrawals"}).out);
        QCOMPARE(ids.size(), 2);
        const QString first = QString::number(ids[0]), second = QString::number(ids[1]);
        const qint64 afterWithdrawals = Units(Account(c, u), "wall_usdt");
        QCOMPARE(afterWithdrawals, 103 * Unit - 30 * Unit);

        auto line = [&](qint64 amount) -> std::optional<Item> { // the withdrawal's own line (negative amount)
            QList<Item> all;
            if (!All(c, u, &all)) return std::nullopt;
            for (const Item& i : all)
                if (i.kind == "withdraw" && i.amount == amount) return i;
            return std::nullopt;
        };
        const auto pending = line(-20 * Unit);
        QVERIFY(pending);
        QCOMPARE(pending->status, QString("pending"));
        const auto r1 = service.command({"mark-failed", first, "address rejected"});
        QVERIFY2(r1.exitCode == 0, qPrintable(r1.err));
        QCOMPARE(Units(Account(c, u), "wall_usdt"), afterWithdrawals + 10 * Unit);
        const auto failed = line(-10 * Unit), refund = line(10 * Unit);
        QVERIFY(failed && refund);
        QCOMPARE(failed->status, QString("failed"));
        QCOMPARE(failed->detail, QString("address rejected"));
        QCOMPARE(refund->status, QString("failed"));
        QCOMPARE(refund->amount + refund->fee + failed->amount + failed->fee, 0); // amount and fee both returned
        QVERIFY(service.verify());

        const auto r2 = service.command({"mark-sent", second, "9f2c1a"});
        QVERIFY2(r2.exitCode == 0, qPrintable(r2.err));
        const auto sent = line(-20 * Unit);
        QVERIFY(sent);
        QCOMPARE(sent->status, QString("sent"));
        QCOMPARE(sent->detail, QString("9f2c1a"));
        QVERIFY(OutboxIds(service.command({"withdrawals"}).out).isEmpty());
        // Nothing waits to be sent: the outbox holds nothing.
        QCOMPARE(service.sql("SELECT COALESCE(SUM(amount), 0) FROM balances WHERE account_id = 4").out, QString("0"));
        QVERIFY(service.verify());

        // A third one stays pending through the refusals below: the outbox holds money, so only the status
        // check, not an empty outbox, can stop a second settlement.
        const Response third =
            c.post(api::Withdraw("usdt", UsdtAddress, UsdtNetwork, "30", u.login, u.digest(), FreshToken()));
        QVERIFY2(third.text().startsWith("Withdrawal accepted"), third.body.c_str());
        const QList<qint64> waiting = OutboxIds(service.command({"withdrawals"}).out);
        QCOMPARE(waiting.size(), 1);
        const qint64 beforeRefusals = Units(Account(c, u), "wall_usdt");
        const QList<QStringList> refused{
            {"mark-failed", first, "again"},          {"mark-sent", first, "abc"},
            {"mark-sent", second, "def"},             {"mark-failed", second, "too late"},
            {"mark-sent", "999999", "abc"},           {"mark-failed", "999999", "none"},
            {"mark-sent", "0", "abc"},                {"mark-sent", "-1", "abc"},
            {"mark-sent", "abc", "abc"},              {"mark-failed", "99999999999999999999", "x"},
            {"mark-sent", second},                    {"mark-failed", first, "two\nlines"},
            {"mark-sent", second, "has space"},       {"mark-sent", second, ""},
            {"mark-sent", second, QString(129, QChar('a'))}, {"mark-failed", first, QString(201, QChar('a'))},
        };
        const QList<Item> untouched = [&] {
            QList<Item> all;
            All(c, u, &all);
            return all;
        }();
        for (const QStringList& args : refused) {
            const auto r = service.command(args);
            QVERIFY2(r.exitCode != 0, qPrintable(args.join(' ')));
            QVERIFY2(!r.err.trimmed().isEmpty(), qPrintable(args.join(' ')));
        }
        QList<Item> now;
        QVERIFY(All(c, u, &now));
        QCOMPARE(now.size(), untouched.size());
        for (int i = 0; i < now.size(); ++i) {
            QCOMPARE(now[i].status, untouched[i].status);
            QCOMPARE(now[i].detail, untouched[i].detail);
        }
        QCOMPARE(Units(Account(c, u), "wall_usdt"), beforeRefusals);
        QCOMPARE(OutboxIds(service.command({"withdrawals"}).out), waiting);
        CompareWithWallets(now, Account(c, u));
        QVERIFY(service.verify());
    }

    // verify holds the history to the wallets: a line changed or made behind the service's back is named.
    void verifyNamesAHistoryThatDisagreesWithTheWallet_data()
    {
        QTest::addColumn<QString>("tamper");
        QTest::addColumn<QString>("undo");
        QTest::newRow("a line's amount") << "UPDATE history SET amount = amount + 1 WHERE kind = 'deposit'"
                                         << "UPDATE history SET amount = amount - 1 WHERE kind = 'deposit'";
        QTest::newRow("a line of a coin the wallet never held")
            << "INSERT INTO history(account_id, coin, kind, at, amount) SELECT account_id, 'zec', 'deposit', at, 5 "
               "FROM history WHERE kind = 'deposit'"
            << "DELETE FROM history WHERE coin = 'zec'";
        QTest::newRow("a line gone") << "DELETE FROM history WHERE kind = 'swap_in'"
                                     << "";
    }
    void verifyNamesAHistoryThatDisagreesWithTheWallet()
    {
        QFETCH(QString, tamper);
        QFETCH(QString, undo);
        Service service;
        Client c = service.client();
        const User u = NewUser(c, "audited");
        QCOMPARE(service.command({"credit", u.login, "usdt", "10"}).exitCode, 0);
        QVERIFY(c.post(api::SwapCoin("swap", "usdt", "doge", "1", u.login, u.digest(), FreshToken())).text().startsWith("Swap"));
        QVERIFY(service.verify());
        const PsqlResult t = service.sql(tamper);
        QVERIFY2(t.exitCode == 0, qPrintable(t.err));
        const auto r = service.command({"verify"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.contains("history differs from the wallet"), qPrintable(r.out));
        if (undo.isEmpty()) return;
        QCOMPARE(service.sql(undo).exitCode, 0);
        QVERIFY(service.verify());
    }

    // Hostile or malformed fields are refused with a text (never a 500, never items); the bounds themselves pass.
    void badFieldsAreRefused_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        const QString limit = "Refused: \"limit\" must be a whole number from 1 to 200.";
        const QString before = "Refused: \"before\" must be the id of an item of the history.";
        QTest::newRow("limit 0") << "limit" << "0" << limit;
        QTest::newRow("limit 201") << "limit" << "201" << limit;
        QTest::newRow("limit text") << "limit" << "ten" << limit;
        QTest::newRow("limit negative") << "limit" << "-5" << limit;
        QTest::newRow("limit exponent") << "limit" << "1e2" << limit;
        QTest::newRow("limit blank") << "limit" << " 5" << limit;
        QTest::newRow("limit empty") << "limit" << "" << limit;
        QTest::newRow("limit huge") << "limit" << "99999999999999999999999" << limit;
        QTest::newRow("before huge") << "before" << "99999999999999999999" << before;
        QTest::newRow("before past int64") << "before" << "9223372036854775808" << before;
        QTest::newRow("before 0") << "before" << "0" << before;
        QTest::newRow("before negative") << "before" << "-1" << before;
        QTest::newRow("before text") << "before" << "abc" << before;
        QTest::newRow("before decimal") << "before" << "5.5" << before;
        QTest::newRow("before empty") << "before" << "" << before;
        QTest::newRow("coin unknown") << "coin" << "zzz" << "Unknown coin.";
        QTest::newRow("coin markup") << "coin" << "<b>btc</b>" << "Unknown coin.";
        QTest::newRow("limit 1") << "limit" << "1" << QString();
        QTest::newRow("limit 200") << "limit" << "200" << QString();
        QTest::newRow("before largest") << "before" << "9223372036854775807" << QString();
        QTest::newRow("coin upper case") << "coin" << "USDT" << QString();
    }
    void badFieldsAreRefused()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, refusal);
        if (!m_shared) { // one service for the table
            m_shared = std::make_unique<Service>();
            Client c = m_shared->client();
            m_hostile = NewUser(c, "hostile");
            QCOMPARE(m_shared->command({"credit", m_hostile.login, "usdt", "10"}).exitCode, 0);
            QCOMPARE(m_shared->command({"credit", m_hostile.login, "usdt", "20"}).exitCode, 0);
        }
        const User& u = m_hostile;
        Client c = m_shared->client();
        const Page p = History(c, u, {{field, value}});
        if (refusal.isEmpty()) {
            QVERIFY2(p.wellFormed, p.raw.body.c_str());
            QCOMPARE(p.items.size(), field == "limit" && value == "1" ? 1 : 2);
            QCOMPARE(p.next.has_value(), field == "limit" && value == "1");
        } else {
            QVERIFY2(Refused(p.raw, refusal), p.raw.body.c_str());
        }
    }

    // The rentals, open and ended, with what they earned, what the rules pay by the end and what returns; the
    // ended one's figures are the lines of its history.
    void investmentsOpenAndEnded()
    {
        Service service;
        Client c = service.client();
        const User u = NewUser(c, "renter");
        QCOMPARE(service.command({"credit", u.login, "btc", "2"}).exitCode, 0);
        QCOMPARE(service.command({"credit", u.login, "eth", "2"}).exitCode, 0);
        QVERIFY(c.post(api::InvestCoin("1", "btc", "1", u.login, u.digest(), FreshToken())).text().startsWith("Investment"));
        QVERIFY(c.post(api::InvestCoin("4", "eth", "0.7", u.login, u.digest(), FreshToken())).text().startsWith("Investment"));
        service.advance(10 * Day + 123);

        auto read = [&] {
            const Response r = c.post(Investments(u));
            return QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object().value("investments").toArray();
        };
        // The rules: principal x APR % x seconds / 365 days, rounded down; the fee kept at the end is rounded down.
        auto accrued = [](qint64 principal, int apr, qint64 seconds) {
            return static_cast<qint64>(static_cast<__int128>(principal) * apr * seconds / (100 * 365 * Day));
        };
        QJsonArray list = read();
        QCOMPARE(list.size(), 2);
        const QJsonObject eth = list.at(0).toObject(), btc = list.at(1).toObject(); // newest first
        QCOMPARE(btc.value("coin").toString(), QString("btc"));
        QCOMPARE(eth.value("coin").toString(), QString("eth"));
        const QJsonObject account = Account(c, u);
        const struct {
            QJsonObject rental;
            qint64 principal;
            int code, days, feePercent;
        } expected[] = {{btc, Unit, 1, 90, 35}, {eth, 7 * Unit / 10, 4, 730, 10}};
        for (const auto& e : expected) {
            const QString coin = e.rental.value("coin").toString();
            const int apr = e.rental.value("apr").toInt();
            QVERIFY(apr > 0);
            QCOMPARE(e.rental.value("status").toString(), QString("open"));
            QCOMPARE(e.rental.value("rental_code").toInt(), e.code);
            QCOMPARE(e.rental.value("days").toInt(), e.days);
            QCOMPARE(UnitsOf(e.rental.value("principal").toString()), e.principal);
            const QDateTime start = QDateTime::fromString(e.rental.value("start").toString(), "yyyy-MM-dd HH:mm:ss");
            const QDateTime end = QDateTime::fromString(e.rental.value("end").toString(), "yyyy-MM-dd HH:mm:ss");
            QVERIFY(start.isValid() && end.isValid());
            QCOMPARE(start.secsTo(end), e.days * Day);
            QCOMPARE(UnitsOf(e.rental.value("earned").toString()), Units(account, "earned_inv_" + coin));
            QVERIFY(UnitsOf(e.rental.value("earned").toString()) >= accrued(e.principal, apr, 10 * Day));
            QCOMPARE(UnitsOf(e.rental.value("total_earnings").toString()), accrued(e.principal, apr, e.days * Day));
            const qint64 fee = e.principal * e.feePercent / 100;
            QCOMPARE(UnitsOf(e.rental.value("fee").toString()), fee);
            QCOMPARE(UnitsOf(e.rental.value("returns").toString()), e.principal - fee);
        }

        service.advance(80 * Day);
        list = read();
        const QJsonObject ended = list.at(1).toObject();
        QCOMPARE(ended.value("status").toString(), QString("ended"));
        QCOMPARE(list.at(0).toObject().value("status").toString(), QString("open"));
        QCOMPARE(ended.value("earned").toString(), ended.value("total_earnings").toString());
        QList<Item> all;
        QVERIFY(All(c, u, &all, "btc"));
        qint64 earnedLines = 0;
        int returns = 0;
        for (const Item& i : all) {
            if (i.kind == "earning") earnedLines += i.amount;
            if (i.kind == "return") {
                ++returns;
                QCOMPARE(i.amount, UnitsOf(ended.value("returns").toString()));
                QCOMPARE(i.fee, UnitsOf(ended.value("fee").toString()));
            }
        }
        QCOMPARE(returns, 1);
        QCOMPARE(earnedLines, UnitsOf(ended.value("total_earnings").toString()));
        const Response wrong = c.post({{"a", "investments"}, {"s", u.login}, {"pass", Digest("no")}, {"session", FreshToken()}});
        QVERIFY2(Refused(wrong, "Wrong login or password."), wrong.body.c_str());
        QVERIFY(service.verify());
    }

    // The prices need no login and are the swap's: every quote follows from them (less the spread, rounded down).
    void pricesAreTheSwapsPrices()
    {
        Service service;
        Client c = service.client();
        const Response r = c.post({{"a", "prices"}, {"session", FreshToken()}});
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object();
        const QJsonObject usd = o.value("usd").toObject();
        QVERIFY(QDateTime::fromString(o.value("time").toString(), "yyyy-MM-dd HH:mm:ss").isValid());
        QCOMPARE(usd.keys().size(), Coins().size());
        static const QRegularExpression price("^[0-9]+\\.[0-9]{2,9}$");
        // In billionths of a dollar, exactly.
        auto nano = [&](const QString& coin) {
            const QString t = usd.value(coin).toString();
            const int dot = t.indexOf('.');
            return t.left(dot).toLongLong() * 1000000000 + t.mid(dot + 1).leftJustified(9, '0').toLongLong();
        };
        for (const QString& coin : Coins()) {
            QVERIFY2(price.match(usd.value(coin).toString()).hasMatch(), qPrintable(coin));
            QVERIFY(nano(coin) > 0);
        }
        const User u = NewUser(c, "pricer");
        const QStringList pairs{"btc usdt", "usdt btc", "doge shib", "eth bnb", "sol matic"};
        for (const QString& pair : pairs) {
            const QString from = pair.section(' ', 0, 0), to = pair.section(' ', 1, 1);
            const Response q = c.post(api::SwapCoin("get", from, to, "3", u.login, u.digest(), FreshToken()));
            const __int128 value = static_cast<__int128>(3 * Unit) * nano(from) * (10000 - 50);
            const qint64 expect = static_cast<qint64>(value / (static_cast<__int128>(nano(to)) * 10000));
            QVERIFY2(UnitsOf(q.text()) == expect, qPrintable(pair + ": " + q.text() + " against " + Decimal(expect)));
        }
    }
};

QTEST_GUILESS_MAIN(ServiceHistoryTest)
#include "tst_service_history.moc"
