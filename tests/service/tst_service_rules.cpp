// The service's rules as tables: referral rewards, investment returns at a
// shifted clock, withdrawal limits and fees, swaps at the quoted price,
// reset codes, the faucet period and the lottery draw.
#include "ServiceHarness.h"

#include <QDateTime>
#include <QRegularExpression>

#include <tuple>

using namespace svc;

namespace {

constexpr qint64 Day = 86400;

QJsonObject Limits(Client& c)
{
    const Response r = c.post(api::Settings("all_json_setting", FreshToken()));
    return QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object().value("min_withdraw_coin").toObject();
}

// Answered as a refusal: status 200 and one of these texts (each a whole text, or its start when it ends with a
// space), nothing else; an internal error or any other text is no refusal.
bool Refused(const Response& r, const QStringList& refusals)
{
    if (!r.ok || r.status != 200) return false;
    for (const QString& refusal : refusals)
        if (refusal.endsWith(' ') ? r.text().startsWith(refusal) : r.text() == refusal) return true;
    return false;
}

} // namespace

class ServiceRulesTest : public QObject {
    Q_OBJECT

    // One service for all rows of a table.
    std::unique_ptr<Service> m_shared;
    Service& shared()
    {
        if (!m_shared) m_shared = std::make_unique<Service>();
        return *m_shared;
    }

private slots:
    void initTestCase() { SVC_REQUIRE_STORE(); }
    void cleanupTestCase() { m_shared.reset(); }
    void referralRewards()
    {
        Service service;
        Client c = service.client();
        const User a = NewUser(c, "referrer");
        const QString code = Account(c, a).value("refcode").toString();

        const Response unknown = Register(c, User{"invited_bad", "pw"}, "NOSUCHCODE");
        QVERIFY2(Refused(unknown, {"Invite code not found. Check it or leave the field empty."}), unknown.body.c_str());
        QVERIFY(Register(c, User{"invited_bad", "pw"}).text().startsWith('{')); // nothing was half-made

        const User b = NewUser(c, "invited", code.toLower()); // the code as typed, any case
        QJsonObject ab = Account(c, b);
        QCOMPARE(Units(ab, "wall_doge"), 15 * Unit);
        QCOMPARE(Account(c, a).value("refcol").toInt(), 1);

        // 10 % of each faucet claim, paid on top.
        QVERIFY(c.post(api::FreeCoin(b.login, b.digest(), FreshToken())).text().startsWith("You received"));
        const qint64 reward = Units(Account(c, b), "wall_usdt");
        QVERIFY(reward > 0);
        QJsonObject aa = Account(c, a);
        QCOMPARE(Units(aa, "earned_ref_usdt"), reward / 10);
        QCOMPARE(Units(aa, "wall_usdt"), reward / 10);

        // 15 % of each investment's earnings.
        QCOMPARE(service.command({"credit", b.login, "btc", "1"}).exitCode, 0);
        QVERIFY(c.post(api::InvestCoin("3", "btc", "1", b.login, b.digest(), FreshToken()))
                    .text()
                    .startsWith("Investment accepted"));
        const int apr = Limits(c).value("APR_btc").toString().toInt();
        service.advance(30 * Day);
        const qint64 earned = Units(Account(c, b), "earned_inv_btc");
        const qint64 low = Unit * apr * 30 * Day / (100 * 365 * Day);
        QVERIFY2(earned >= low && earned <= low + Unit * apr * 60 / (100 * 365 * Day) + 1,
                 qPrintable(QString::number(earned)));
        aa = Account(c, a);
        QVERIFY(qAbs(Units(aa, "earned_ref_btc") - earned * 15 / 100) <= 2);
        QCOMPARE(Units(aa, "earned_inv_btc"), 0);
        QVERIFY(service.verify());
    }

    void investmentReturnsAtShiftedClock()
    {
        Service service;
        Client c = service.client();
        const QJsonObject limits = Limits(c);
        const int apr = limits.value("APR_ltc").toString().toInt();
        struct Row {
            QString code;
            int days, fee;
        };
        const QList<Row> rows{{"1", 90, 35}, {"2", 180, 25}, {"3", 365, 15}, {"4", 730, 10}};
        const qint64 principal = 2 * Unit;
        QList<User> users;
        for (const Row& row : rows) {
            const User u = NewUser(c, "inv" + row.code);
            QCOMPARE(service.command({"credit", u.login, "ltc", "10"}).exitCode, 0);
            const Response r = c.post(api::InvestCoin(row.code, "ltc", "2", u.login, u.digest(), FreshToken()));
            QVERIFY2(r.text().startsWith("Investment accepted"), r.body.c_str());
            const QJsonObject o = Account(c, u);
            QCOMPARE(Units(o, "inv_ltc"), principal);
            QCOMPARE(o.value("rental_days_ltc").toString().toInt(), row.days);
            users << u;
        }
        const qint64 wallet0 = Units(Account(c, users[0]), "wall_ltc");
        // Half way through the shortest period: earnings so far, principal still invested.
        service.advance(45 * Day);
        for (int i = 0; i < rows.size(); ++i) {
            const QJsonObject o = Account(c, users[i]);
            const qint64 expected = principal * apr * 45 / (100 * 365);
            QVERIFY(Units(o, "earned_inv_ltc") >= expected && Units(o, "earned_inv_ltc") <= expected + 200);
            QCOMPARE(Units(o, "wall_ltc"), wallet0 + Units(o, "earned_inv_ltc"));
            QCOMPARE(Units(o, "inv_ltc"), principal);
            QCOMPARE(o.value("rental_days_ltc").toString().toInt(), rows[i].days - 45);
        }
        // Past each period's end: the principal less the fee is back, the earnings are exact.
        qint64 advanced = 45;
        for (int i = 0; i < rows.size(); ++i) {
            service.advance((rows[i].days + 1 - advanced) * Day);
            advanced = rows[i].days + 1;
            const QJsonObject o = Account(c, users[i]);
            const qint64 earnings = principal * apr * rows[i].days / (100 * 365);
            QCOMPARE(Units(o, "inv_ltc"), 0);
            QCOMPARE(Units(o, "earned_inv_ltc"), earnings);
            QCOMPARE(Units(o, "wall_ltc"), wallet0 + principal - principal * rows[i].fee / 100 + earnings);
            QCOMPARE(o.value("rental_days_ltc").toString().toInt(), 0);
            if (i + 1 < rows.size()) QCOMPARE(Units(Account(c, users[i + 1]), "inv_ltc"), principal);
        }
        // Below the minimum, an unknown period, more than the wallet: refused.
        const User u = users[0];
        const qint64 before = Units(Account(c, u), "wall_ltc");
        for (const auto& [code, value, refusal] :
             QList<std::tuple<QString, QString, QString>>{{"3", "0.000001", "Notice: The minimum investment is "},
                                                          {"9", "1", "Please choose a rental period."},
                                                          {"1", "1000", "Not enough LTC in the wallet."}}) {
            const Response r = c.post(api::InvestCoin(code, "ltc", value, u.login, u.digest(), FreshToken()));
            QVERIFY2(Refused(r, {refusal}), r.body.c_str());
        }
        QCOMPARE(Units(Account(c, u), "wall_ltc"), before);
        QVERIFY(service.verify());
    }

    void withdrawLimitsAndFees_data()
    {
        QTest::addColumn<QString>("coin");
        QTest::addColumn<QString>("network");
        QTest::addColumn<QString>("addr");
        QTest::addColumn<QString>("val");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exactly the minimum") << "btc"
                                             << "Main" << ValidAddress("btc") << "MIN" << true;
        QTest::newRow("below the minimum") << "btc"
                                           << "Main" << ValidAddress("btc") << "BELOW" << false;
        QTest::newRow("comma amount") << "btc"
                                      << "Main" << ValidAddress("btc") << "0,5" << true;
        QTest::newRow("point amount") << "btc"
                                      << "Main" << ValidAddress("btc") << "0.12345678" << true;
        QTest::newRow("whole wallet") << "btc"
                                      << "Main" << ValidAddress("btc") << "2.06" << true;
        QTest::newRow("above the wallet") << "btc"
                                          << "Main" << ValidAddress("btc") << "2.06000001" << false;
        QTest::newRow("empty address") << "btc"
                                       << "Main"
                                       << ""
                                       << "0.5" << false;
        QTest::newRow("usdt on TRC-20") << "usdt"
                                        << "TRC-20 (Tron)" << ValidAddress("usdt", "TRC-20 (Tron)") << "10" << true;
        QTest::newRow("usdt on SOL") << "usdt"
                                     << "SOL (Solana)" << ValidAddress("usdt", "SOL (Solana)") << "10" << true;
        QTest::newRow("btc on TRC-20") << "btc"
                                       << "TRC-20 (Tron)" << ValidAddress("btc", "TRC-20 (Tron)") << "0.5" << true;
        QTest::newRow("unknown network") << "btc"
                                         << "OMNI" << ValidAddress("btc", "TRC-20 (Tron)") << "0.5" << false;
        QTest::newRow("short network code") << "usdt"
                                            << "trc20" << ValidAddress("btc", "TRC-20 (Tron)") << "10" << false;
    }
    void withdrawLimitsAndFees()
    {
        QFETCH(QString, coin);
        QFETCH(QString, network);
        QFETCH(QString, addr);
        QFETCH(QString, val);
        QFETCH(bool, accepted);
        Service& service = shared();
        Client c = service.client();
        const QJsonObject limits = Limits(c);
        const qint64 minimum = UnitsOf(limits.value(coin).toString());
        const int percent = limits.value("perc_withdraw").toString().toInt();
        if (val == "MIN") val = limits.value(coin).toString();
        if (val == "BELOW") val = QString::number(double(minimum - 1) / Unit, 'f', 8);
        const User u = NewUser(c, "wd");
        QCOMPARE(service.command({"credit", u.login, coin, coin == "btc" ? "2" : "20"}).exitCode,
                 0); // 2.06 BTC with the bonus
        const qint64 before = Units(Account(c, u), "wall_" + coin);
        const Response r = c.post(api::Withdraw(coin, addr, network, val, u.login, u.digest(), FreshToken()));
        QCOMPARE(r.text().startsWith("Withdrawal accepted"), accepted);
        QVERIFY(!r.text().startsWith('T'));
        const qint64 amount = UnitsOf(QString(val).replace(',', '.'));
        const qint64 after = Units(Account(c, u), "wall_" + coin);
        QCOMPARE(after, accepted ? before - amount : before);
        const QString outbox = service.command({"withdrawals"}).out;
        const QRegularExpression line(QString("\\t%1\\t%2\\t[a-z0-9]+\\t%3\\t([0-9.]+)\\t([0-9.]+)\\t([0-9.]+)")
                                          .arg(u.login, coin, QRegularExpression::escape(addr)));
        const auto m = line.match(outbox);
        QCOMPARE(m.hasMatch(), accepted);
        if (accepted) {
            const qint64 fee = amount * percent / 100 + minimum / 10;
            QCOMPARE(UnitsOf(m.captured(1)), amount);
            QCOMPARE(UnitsOf(m.captured(2)), fee);
            QCOMPARE(UnitsOf(m.captured(3)), amount - fee);
        }
        QVERIFY(service.verify());
    }

    // An address that does not check for its coin and network is refused with
    // what is wrong, before any money moves: the wallet keeps every unit and the
    // outbox gets no line.
    void withdrawAddressChecked_data()
    {
        QTest::addColumn<QString>("coin");
        QTest::addColumn<QString>("network");
        QTest::addColumn<QString>("addr");
        QTest::addColumn<QString>("why");
        const QString btc = ValidAddress("btc");
        QString typo = btc;
        typo[20] = typo[20] == 'q' ? 'p' : 'q'; // one mistyped character of the bech32 data
        const QString doge = ValidAddress("doge");
        QString dogeTypo = doge;
        dogeTypo[10] = dogeTypo[10] == 'a' ? 'b' : 'a';
        QString evmCase = ValidAddress("eth");
        evmCase[3] = evmCase[3].isUpper() ? evmCase[3].toLower() : evmCase[3].toUpper(); // breaks the EIP-55 casing
        QTest::newRow("bech32 checksum") << "btc"
                                         << "Main" << typo << "checksum";
        QTest::newRow("base58 checksum") << "doge"
                                         << "Main" << dogeTypo << "checksum";
        QTest::newRow("mixed-case checksum") << "eth"
                                             << "Main" << evmCase << "checksum";
        QTest::newRow("bitcoin address on TRC-20") << "usdt"
                                                   << "TRC-20 (Tron)" << btc << "not one for USDT on TRC-20";
        QTest::newRow("tron address on ERC-20")
            << "usdt"
            << "ERC-20 (Ethereum)" << ValidAddress("trx") << "not one for USDT on ERC-20";
        QTest::newRow("dogecoin address for bitcoin") << "btc"
                                                      << "Main" << doge << "Dogecoin";
        QTest::newRow("evm address cut short") << "eth"
                                               << "Main" << ValidAddress("eth").left(41) << "too short or too long";
        QTest::newRow("empty") << "btc"
                               << "Main" << QString() << "address";
        QTest::newRow("spaces and shell") << "btc"
                                          << "Main"
                                          << "bc1 q; rm -rf"
                                          << "characters";
        QTest::newRow("overlong") << "btc"
                                  << "Main" << QString(200, 'a') << "too long";
        QTest::newRow("made-up") << "doge"
                                 << "Main"
                                 << "DAddress1"
                                 << "address";
    }
    void withdrawAddressChecked()
    {
        QFETCH(QString, coin);
        QFETCH(QString, network);
        QFETCH(QString, addr);
        QFETCH(QString, why);
        Service& service = shared();
        Client c = service.client();
        const User u = NewUser(c, "addr");
        QCOMPARE(service.command({"credit", u.login, coin, coin == "btc" || coin == "eth" ? "2" : "200"}).exitCode, 0);
        const QJsonObject before = Account(c, u);
        const QString val = coin == "btc" || coin == "eth" ? "0.5" : "50";
        const Response r = c.post(api::Withdraw(coin, addr, network, val, u.login, u.digest(), FreshToken()));
        QVERIFY2(r.text().startsWith("Refused: "), qPrintable(r.text()));
        QVERIFY2(r.text().contains(why), qPrintable(r.text()));
        QCOMPARE(Account(c, u).value("wall_" + coin), before.value("wall_" + coin));
        QVERIFY(!service.command({"withdrawals"}).out.contains(u.login));
        // The same request with a good address goes through: the refusal was the address's.
        const Response ok =
            c.post(api::Withdraw(coin, ValidAddress(coin, network), network, val, u.login, u.digest(), FreshToken()));
        QVERIFY2(ok.text().startsWith("Withdrawal accepted"), qPrintable(ok.text()));
        QVERIFY(service.verify());
    }

    void doubleWithdrawalOfTheWholeBalanceSucceedsOnce()
    {
        Service service;
        Client c = service.client();
        const User u = NewUser(c, "double");
        QCOMPARE(service.command({"credit", u.login, "eth", "1"}).exitCode, 0);
        const QString all = Account(c, u).value("wall_eth").toString();
        std::vector<std::thread> threads;
        QAtomicInt accepted = 0;
        for (int i = 0; i < 8; ++i)
            threads.emplace_back([&] {
                Client own = service.client();
                const Response r =
                    own.post(api::Withdraw("eth", ValidAddress("eth"), "Main", all, u.login, u.digest(), FreshToken()));
                if (r.text().startsWith("Withdrawal accepted")) ++accepted;
            });
        for (auto& t : threads) t.join();
        QCOMPARE(accepted.loadRelaxed(), 1);
        QCOMPARE(Units(Account(c, u), "wall_eth"), 0);
        QVERIFY(service.verify());
    }

    void swapAtTheQuotedPrice_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("val");
        QTest::newRow("ETH to USDT") << "ETH"
                                     << "USDT"
                                     << "1.5";
        QTest::newRow("USDT to BTC") << "USDT"
                                     << "BTC"
                                     << "250,5";
        QTest::newRow("DOGE to SHIB") << "DOGE"
                                      << "SHIB"
                                      << "100";
        QTest::newRow("BTC to DOGE, smallest unit") << "BTC"
                                                    << "DOGE"
                                                    << "0.00000001";
    }
    void swapAtTheQuotedPrice()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, val);
        Service& service = shared();
        Client c = service.client();
        const User u = NewUser(c, "swap");
        QCOMPARE(service.command({"credit", u.login, from, "1000"}).exitCode, 0);
        const QJsonObject before = Account(c, u);
        const Response quote = c.post(api::SwapCoin("get", from, to, val, u.login, u.digest(), FreshToken()));
        QVERIFY2(QRegularExpression("^[0-9]+\\.[0-9]{8}$").match(quote.text()).hasMatch(), quote.body.c_str());
        const Response done = c.post(api::SwapCoin("swap", from, to, val, u.login, u.digest(), FreshToken()));
        QVERIFY2(done.text().startsWith("Swap done"), done.body.c_str());
        const QJsonObject after = Account(c, u);
        const QString f = "wall_" + from.toLower(), t = "wall_" + to.toLower();
        QCOMPARE(Units(after, f), Units(before, f) - UnitsOf(QString(val).replace(',', '.')));
        QCOMPARE(Units(after, t), Units(before, t) + UnitsOf(quote.text()));
        // More than the wallet holds: refused, nothing moves.
        const Response tooMuch = c.post(api::SwapCoin("swap", from, to, "100000", u.login, u.digest(), FreshToken()));
        QVERIFY2(Refused(tooMuch, {"Not enough " + from.toUpper() + " in the wallet.",
                                   "Swaps of this size are not available right now. Please try a smaller amount."}),
                 tooMuch.body.c_str());
        QCOMPARE(Account(c, u), after);
        QVERIFY(service.verify());
    }

    // A refused swap names who is short: the wallet, or the house when it cannot pay the other coin; when both
    // are, the wallet (the first short leg as the swap lists them, not the order balance rows are locked in).
    // Nothing moves, and the same request sent again once the wallet holds enough runs: a refusal records no
    // answer.
    void swapRefusalsNameWhoIsShort_data()
    {
        QTest::addColumn<QString>("credit"); // BTC in the wallet before
        QTest::addColumn<QString>("val");    // BTC swapped to USDT
        QTest::addColumn<QString>("refusal");
        const QString wallet = "Not enough BTC in the wallet.";
        const QString house = "Swaps of this size are not available right now. Please try a smaller amount.";
        QTest::newRow("wallet short") << "1"
                                      << "5" << wallet;
        // 2000 BTC are 120 million USDT, more than the house's reserve of 100 million.
        QTest::newRow("house short") << "5000"
                                     << "2000" << house;
        QTest::newRow("both short") << ""
                                    << "2000" << wallet;
    }
    void swapRefusalsNameWhoIsShort()
    {
        QFETCH(QString, credit);
        QFETCH(QString, val);
        QFETCH(QString, refusal);
        Service service; // its own house, with the whole reserve
        Client c = service.client();
        const User u = NewUser(c, "short");
        if (!credit.isEmpty()) QCOMPARE(service.command({"credit", u.login, "btc", credit}).exitCode, 0);
        const QJsonObject before = Account(c, u);
        const FormFields swap = api::SwapCoin("swap", "btc", "usdt", val, u.login, u.digest(), FreshToken());
        const Response refused = c.post(swap);
        QVERIFY2(Refused(refused, {refusal}), refused.body.c_str());
        QCOMPARE(Account(c, u), before);
        QVERIFY(service.verify());
        if (refusal.startsWith("Not enough")) {
            QCOMPARE(service.command({"credit", u.login, "btc", val}).exitCode, 0);
            const QJsonObject credited = Account(c, u);
            const Response done = c.post(swap);
            // Both legs of the house hold enough only where the wallet alone was short.
            const bool houseShortToo = credit.isEmpty();
            if (houseShortToo) {
                QVERIFY2(
                    Refused(done, {"Swaps of this size are not available right now. Please try a smaller amount."}),
                    done.body.c_str());
                QCOMPARE(Account(c, u), credited);
            } else {
                QVERIFY2(done.status == 200 && done.text().startsWith("Swap done: "), done.body.c_str());
                QCOMPARE(Units(Account(c, u), "wall_btc"), Units(credited, "wall_btc") - UnitsOf(val));
            }
        }
        QVERIFY(service.verify());
    }

    void resetCodesExpire()
    {
        Service service;
        Client c = service.client();
        User u = NewUser(c, "reset");
        auto latestCode = [&] {
            const QString out = service.command({"reset-codes"}).out;
            QString code;
            auto it = QRegularExpression(u.login + "\\t([0-9]{8})\\t").globalMatch(out);
            while (it.hasNext()) code = it.next().captured(1);
            return code;
        };
        const QString sent = c.post(api::ResetPass(u.login, FreshToken())).text();
        QCOMPARE(c.post(api::ResetPass("no_such_login", FreshToken())).text(), sent); // no login enumeration
        const QString code1 = latestCode();
        QCOMPARE(code1.size(), 8);
        service.advance(14 * 60);
        QVERIFY(c.post(api::ChangePass(u.login, "second", code1, FreshToken())).text().startsWith("Password changed"));
        QVERIFY(Account(c, u).isEmpty()); // the old password no longer logs in
        u.password = "second";
        QVERIFY(!Account(c, u).isEmpty());
        // Used once only.
        QVERIFY(Refused(c.post(api::ChangePass(u.login, "third", code1, FreshToken())),
                        {"Wrong old password or security code."}));
        // Expired after 15 minutes.
        c.post(api::ResetPass(u.login, FreshToken()));
        const QString code2 = latestCode();
        QCOMPARE(code2.size(), 8);
        service.advance(16 * 60);
        QVERIFY(Refused(c.post(api::ChangePass(u.login, "third", code2, FreshToken())),
                        {"Wrong old password or security code."}));
        QVERIFY(!Account(c, u).isEmpty());
        // The old password as typed is the other road.
        QVERIFY(
            c.post(api::ChangePass(u.login, "fourth", "second", FreshToken())).text().startsWith("Password changed"));
        u.password = "fourth";
        QVERIFY(!Account(c, u).isEmpty());
    }

    void faucetOncePerPeriod()
    {
        Service service;
        Client c = service.client();
        const User u = NewUser(c, "faucet");
        auto claim = [&] { return c.post(api::FreeCoin(u.login, u.digest(), FreshToken())); };
        QVERIFY(claim().text().startsWith("You received"));
        const qint64 reward = Units(Account(c, u), "wall_usdt");
        QVERIFY(reward > 0);
        const Response early = claim();
        QVERIFY2(Refused(early, {"You have already claimed. Please come back in "}), early.body.c_str());
        QVERIFY(early.text().contains("minute"));
        service.advance(3590);
        QVERIFY(Refused(claim(), {"You have already claimed. Please come back in "}));
        service.advance(11);
        QVERIFY(claim().text().startsWith("You received"));
        QCOMPARE(Units(Account(c, u), "wall_usdt"), 2 * reward);
        QVERIFY(service.verify());
    }

    void lotteryDrawWhenFullPaysThePotLessThreePercent()
    {
        Service service;
        Client c = service.client();
        QList<User> players;
        qint64 total = 0;
        qint64 walletsBefore = 0;
        for (int i = 0; i < 20; ++i) {
            User u = i == 0 ? User{"LottoMixedCase", "pw"} : NewUser(c, "lotto");
            if (i == 0) QVERIFY(Register(c, u).text().startsWith('{'));
            QCOMPARE(service.command({"credit", u.login, "trx", "100"}).exitCode, 0);
            walletsBefore += Units(Account(c, u), "wall_trx");
            players << u;
        }
        for (int i = 0; i < 19; ++i) {
            const User& u = players[i];
            // Two purchases of the first player count as one entry with the sum.
            const QStringList stakes = i == 0 ? QStringList{"1", "0,5"} : QStringList{QString::number(i + 1)};
            for (const QString& s : stakes) {
                const Response r = c.post(api::BuyLotto(u.login, u.digest(), "TRX", s, FreshToken()));
                QVERIFY2(r.text().startsWith("Your stake"), r.body.c_str());
                total += UnitsOf(QString(s).replace(',', '.'));
            }
        }
        const QJsonArray file =
            QJsonDocument::fromJson(QByteArray::fromStdString(c.get("/lotto/trx.json").body)).array();
        QCOMPARE(file.size(), 19);
        QCOMPARE(file.at(0).toObject().value("nickname").toString(), QString("lottomixedcase"));
        QCOMPARE(file.at(0).toObject().value("value").toString().toDouble(), 1.5e6); // millionths
        QCOMPARE(file.at(5).toObject().value("value").toString().toDouble(), 6e6);

        // The 20th player fills the draw.
        const User& last = players[19];
        QVERIFY(c.post(api::BuyLotto(last.login, last.digest(), "trx", "20", FreshToken())).text().contains("draw"));
        total += 20 * Unit;
        QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(c.get("/lotto/trx.json").body)).array().size(), 0);
        const QJsonArray winners =
            QJsonDocument::fromJson(QByteArray::fromStdString(c.get("/lotto/winner_trx.json").body)).array();
        QCOMPARE(winners.size(), 1);
        const QJsonObject w = winners.at(0).toObject();
        // The three fields the client reads, and what it takes to recompute the draw.
        const QStringList keys = w.keys();
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()),
                 QSet<QString>({"name", "amount", "date", "draw", "seed", "commitment", "players"}));
        const qint64 payout = total - total * 3 / 100;
        QCOMPARE(UnitsOf(w.value("amount").toString()), payout);
        QVERIFY(
            QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d$").match(w.value("date").toString()).hasMatch());
        qint64 walletsAfter = 0;
        bool winnerFound = false;
        for (const User& u : players) {
            walletsAfter += Units(Account(c, u), "wall_trx");
            winnerFound = winnerFound || u.login.toLower() == w.value("name").toString();
        }
        QVERIFY(winnerFound);
        QCOMPARE(walletsAfter, walletsBefore - total + payout);
        QVERIFY(service.verify());

        // A draw that is not full happens after 00:00 UTC.
        for (int i = 0; i < 2; ++i)
            QVERIFY(c.post(api::BuyLotto(players[i].login, players[i].digest(), "TRX", "1", FreshToken()))
                        .text()
                        .startsWith("Your stake"));
        QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(c.get("/lotto/trx.json").body)).array().size(), 2);
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        service.advance(Day - now % Day + 5);
        QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(c.get("/lotto/trx.json").body)).array().size(), 0);
        const QJsonArray after =
            QJsonDocument::fromJson(QByteArray::fromStdString(c.get("/lotto/winner_trx.json").body)).array();
        QCOMPARE(after.size(), 2);
        QCOMPARE(UnitsOf(after.at(1).toObject().value("amount").toString()), 2 * Unit - 2 * Unit * 3 / 100);
        QVERIFY(after.at(1).toObject().value("date").toString().endsWith("00:00"));
        QVERIFY(service.verify());
    }
};

QTEST_GUILESS_MAIN(ServiceRulesTest)
#include "tst_service_rules.moc"
