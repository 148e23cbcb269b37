// The account model: settings and snapshots in, typed figures out, and what
// it tells the screens about each change.

#include "AccountModel.h"
#include "Json.h"
#include "NumberText.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

using Amount = AccountModel::Amount;

QJsonObject Settings(const QStringList& codes = {"btc", "doge"})
{
    QJsonArray names, fullNames;
    QJsonObject limits{{"perc_withdraw", "3"}, {"bonus_deposit", "5"}};
    for (const QString& c : codes) {
        names.append(c);
        fullNames.append(c == "btc" ? "Bitcoin" : c == "doge" ? "Dogecoin" : c.toUpper() + " coin");
        limits.insert(c, c == "btc" ? "0.0005" : "25");
        limits.insert("APR_" + c, c == "btc" ? "12" : "015");
        limits.insert("Mindep_" + c, c == "btc" ? "0.001" : "50");
    }
    return {{"min_withdraw_coin", limits}, {"arr_name_coin", names}, {"arr_fullname_coin", fullNames}};
}

// Every coin's five amounts, the rental days and the referral data, as the service writes them.
QJsonObject Snapshot(const QString& wallBtc = "1.5")
{
    return {{"refcode", "R7"},           {"refcol", "4"},
            {"wall_btc", wallBtc},       {"inv_btc", "0.25"},
            {"dep_val_btc", "2"},        {"earned_inv_btc", "0.00000001"},
            {"earned_ref_btc", "0"},     {"rental_days_btc", "29"},
            {"wall_doge", "1000.123"},   {"inv_doge", "5000"},
            {"dep_val_doge", "0.5"},     {"earned_inv_doge", "12.12345678"},
            {"earned_ref_doge", "3"},    {"rental_days_doge", "0"}};
}

} // namespace

class AccountModelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<AccountModel> model;

private slots:
    void init() { model = std::make_unique<AccountModel>(); }
    void cleanup() { model.reset(); }

    void settingsGiveTypedFigures()
    {
        QSignalSpy catalogue(model.get(), &AccountModel::CatalogueChanged);
        model->ApplySettings(Settings());
        QCOMPARE(catalogue.count(), 1);
        QCOMPARE(catalogue.at(0).at(0).toStringList(), QStringList({"BTC", "DOGE"}));
        QCOMPARE(model->Codes(), QStringList({"btc", "doge"}));
        QCOMPARE(model->FullName("doge"), QStringLiteral("Dogecoin"));
        QCOMPARE(model->FullName("eth"), QString());
        QCOMPARE(model->WithdrawPercent(), 3);
        QCOMPARE(model->Apr("btc"), 12);
        QCOMPARE(model->Apr("doge"), 15); // a whole number, leading zero and all
        QCOMPARE(model->MinWithdrawText("btc"), QStringLiteral("0,0005"));
        QCOMPARE(model->MinDepositText("btc"), QStringLiteral("0,00100000"));
        QCOMPARE(model->MinDepositText("doge"), QStringLiteral("50,00000000"));
        QCOMPARE(model->DepositBonusText(), QStringLiteral("5"));
        QVERIFY(model->CoinMatchesSearch("DOGE", "dogec"));
        QVERIFY(model->CoinMatchesSearch("BTC", "  bit "));
        QVERIFY(!model->CoinMatchesSearch("BTC", "doge"));
        // Asked for a coin the settings do not know, the figure is refused, not made up.
        QVERIFY_THROWS_EXCEPTION(json::JsonError, model->Apr("eth"));
        QVERIFY_THROWS_EXCEPTION(json::JsonError, model->MinWithdrawText("eth"));
    }

    void figuresBeforeSettingsAreRefused()
    {
        QVERIFY(!model->HasSettings());
        QVERIFY(model->Codes().isEmpty());
        QVERIFY_THROWS_EXCEPTION(json::JsonError, model->Apr("btc"));
        QVERIFY_THROWS_EXCEPTION(json::JsonError, model->MinDepositText("btc"));
        // Without a catalogue there is nothing to derive a snapshot against.
        QSignalSpy changed(model.get(), &AccountModel::AccountChanged);
        QVERIFY_THROWS_EXCEPTION(json::JsonError, model->TakeSnapshot(Snapshot()));
        QCOMPARE(changed.count(), 0);
        QVERIFY(!model->HasSnapshot());
    }

    void snapshotGivesTypedFigures_data()
    {
        QTest::addColumn<int>("amount");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("btc wallet") << int(Amount::Wallet) << "btc" << "1,50000000";
        QTest::newRow("btc invested") << int(Amount::Invested) << "btc" << "0,25000000";
        QTest::newRow("btc deposited") << int(Amount::Deposited) << "btc" << "2,00000000";
        QTest::newRow("btc earned on investments") << int(Amount::EarnedOnInvestments) << "btc" << "0,00000001";
        QTest::newRow("btc earned on referrals") << int(Amount::EarnedOnReferrals) << "btc" << "0,00000000";
        QTest::newRow("doge wallet") << int(Amount::Wallet) << "doge" << "1000,12300000";
        QTest::newRow("doge invested") << int(Amount::Invested) << "doge" << "5000,00000000";
        QTest::newRow("doge deposited") << int(Amount::Deposited) << "doge" << "0,50000000";
        QTest::newRow("doge earned on investments") << int(Amount::EarnedOnInvestments) << "doge" << "12,12345678";
        QTest::newRow("doge earned on referrals") << int(Amount::EarnedOnReferrals) << "doge" << "3,00000000";
    }

    void snapshotGivesTypedFigures()
    {
        QFETCH(int, amount);
        QFETCH(QString, code);
        QFETCH(QString, text);
        model->ApplySettings(Settings());
        model->TakeSnapshot(Snapshot());
        QCOMPARE(model->AmountText(Amount(amount), code), text);
        QCOMPARE(model->FindAmountText(Amount(amount), code), std::optional<QString>(text));
        // The label named after the amount stands for the same figure.
        const auto named = AccountModel::AmountNamed(AccountModel::AmountPrefix(Amount(amount)) + code);
        QVERIFY(named);
        QCOMPARE(int(named->first), amount);
        QCOMPARE(named->second, code);
    }

    void snapshotGivesAccountData()
    {
        model->ApplySettings(Settings());
        QVERIFY_THROWS_EXCEPTION(json::JsonError, model->ReferralCode());
        QVERIFY_THROWS_EXCEPTION(json::JsonError, model->AmountText(Amount::Wallet, "btc"));
        QVERIFY(!model->FindAmountText(Amount::Wallet, "btc"));
        model->TakeSnapshot(Snapshot("123456789.12345678"));
        QVERIFY(model->HasSnapshot());
        QCOMPARE(model->ReferralCode(), QStringLiteral("R7"));
        QCOMPARE(model->ReferralCountText(), QStringLiteral("4"));
        QCOMPARE(model->RentalDaysText("btc"), QStringLiteral("29"));
        QCOMPARE(model->RentalDaysText("doge"), QStringLiteral("0"));
        // MAX is the wallet to the last unit, beyond what a double holds.
        QCOMPARE(model->WalletMaxText("btc"), QStringLiteral("123456789,12345678"));
        QCOMPARE(model->WalletMaxText("doge"), QStringLiteral("1000,12300000"));
        // A coin outside the catalogue has no figures.
        QVERIFY_THROWS_EXCEPTION(json::JsonError, model->AmountText(Amount::Wallet, "eth"));
        QVERIFY(!model->FindAmountText(Amount::Wallet, "eth"));
        QVERIFY(!AccountModel::AmountNamed("lab_wall_coin"));
    }

    void malformedSnapshotKeepsTheLastGoodFiguresSilently_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QJsonValue>("value"); // undefined: the member is left out
        QTest::newRow("first coin's wallet missing") << "wall_btc" << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("last coin's last amount missing") << "earned_ref_doge" << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("amount not a number") << "inv_doge" << QJsonValue("12a");
        QTest::newRow("amount an array") << "dep_val_btc" << QJsonValue(QJsonArray{1, 2});
        QTest::newRow("amount a boolean") << "wall_doge" << QJsonValue(true);
    }

    void malformedSnapshotKeepsTheLastGoodFiguresSilently()
    {
        QFETCH(QString, member);
        QFETCH(QJsonValue, value);
        model->ApplySettings(Settings());
        model->TakeSnapshot(Snapshot("1.5"));
        QSignalSpy changed(model.get(), &AccountModel::AccountChanged);

        // Otherwise a good snapshot with other figures: none of them may leak in.
        QJsonObject bad = Snapshot("7");
        bad["refcode"] = "R8";
        bad["rental_days_btc"] = "3";
        if (value.isUndefined())
            bad.remove(member);
        else
            bad[member] = value;
        bool threw = false;
        try {
            model->TakeSnapshot(bad);
        } catch (const json::JsonError&) {
            threw = true;
        } catch (const numtext::ConversionError&) {
            threw = true;
        }
        QVERIFY(threw);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(model->AmountText(Amount::Wallet, "btc"), QStringLiteral("1,50000000"));
        QCOMPARE(model->AmountText(Amount::EarnedOnReferrals, "doge"), QStringLiteral("3,00000000"));
        QCOMPARE(model->WalletMaxText("btc"), QStringLiteral("1,50000000"));
        QCOMPARE(model->ReferralCode(), QStringLiteral("R7"));
        QCOMPARE(model->RentalDaysText("btc"), QStringLiteral("29"));

        // The next good one is taken as usual.
        model->TakeSnapshot(Snapshot("7"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(model->AmountText(Amount::Wallet, "btc"), QStringLiteral("7,00000000"));
    }

    void everySnapshotSignalsOnce()
    {
        model->ApplySettings(Settings());
        QSignalSpy changed(model.get(), &AccountModel::AccountChanged);
        model->TakeSnapshot(Snapshot("1"));
        QCOMPARE(changed.count(), 1);
        // The same figures again are shown again (a refresh the screens redraw from).
        model->TakeSnapshot(Snapshot("1"));
        QCOMPARE(changed.count(), 2);
        model->TakeSnapshot(Snapshot("2"));
        QCOMPARE(changed.count(), 3);
        QCOMPARE(model->AmountText(Amount::Wallet, "btc"), QStringLiteral("2,00000000"));
    }

    void shownCoinOutsideTheCatalogueFailsAfterShowingTheOthers()
    {
        model->ApplySettings(Settings());
        model->SetShownCoins({"btc", "eth", "doge"});
        QSignalSpy changed(model.get(), &AccountModel::AccountChanged);
        try {
            model->TakeSnapshot(Snapshot("4"));
            QFAIL("a shown coin without figures went unreported");
        } catch (const json::JsonError& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("JSON member \"wall_eth\" not found"));
        }
        QCOMPARE(changed.count(), 1);
        QCOMPARE(model->AmountText(Amount::Wallet, "btc"), QStringLiteral("4,00000000"));
        QCOMPARE(model->AmountText(Amount::Wallet, "doge"), QStringLiteral("1000,12300000"));
    }

    void currentCoinSignalsOnlyWhenItChanges()
    {
        QCOMPARE(model->CurrentCoin(), QStringLiteral("btc"));
        QCOMPARE(model->CurrentNetwork(), QStringLiteral("Main"));
        QSignalSpy changed(model.get(), &AccountModel::CurrentCoinChanged);
        model->SetCurrentCoin("btc", "Bitcoin"); // the name is new
        QCOMPARE(changed.count(), 1);
        model->SetCurrentCoin("btc", "Bitcoin");
        QCOMPARE(changed.count(), 1);
        model->SetCurrentCoin("doge", "Dogecoin");
        QCOMPARE(changed.count(), 2);
        QCOMPARE(model->CurrentCoin(), QStringLiteral("doge"));
        QCOMPARE(model->CurrentCoinName(), QStringLiteral("Dogecoin"));
    }

    void withdrawalFiguresFollowTheCurrentCoin()
    {
        model->ApplySettings(Settings());
        model->SetCurrentCoin("btc", "Bitcoin");
        model->PrepareWithdrawal();
        QCOMPARE(model->WithdrawMinimumText(), QStringLiteral("0,0005"));
        QCOMPARE(model->WithdrawFixedFee(), QStringLiteral("0,00005"));
        model->SetCurrentCoin("doge", "Dogecoin");
        model->PrepareWithdrawal();
        QCOMPARE(model->WithdrawMinimumText(), QStringLiteral("25"));
        QCOMPARE(model->WithdrawFixedFee(), QStringLiteral("2,5"));
        // A coin without a minimum keeps the last figures: the withdraw screen is not opened for it.
        model->SetCurrentCoin("eth", "Ether");
        QVERIFY_THROWS_EXCEPTION(json::JsonError, model->PrepareWithdrawal());
        QCOMPARE(model->WithdrawMinimumText(), QStringLiteral("25"));
        QCOMPARE(model->WithdrawFixedFee(), QStringLiteral("2,5"));
    }

    void oneModelIsTheInstance()
    {
        QCOMPARE(AccountModel::Instance(), model.get());
        QCOMPARE(&Account(), model.get());
        model.reset();
        QCOMPARE(AccountModel::Instance(), nullptr);
    }
};

QTEST_GUILESS_MAIN(AccountModelTest)
#include "tst_session_account_model.moc"
