// The invest screen's figures: earnings, amount reading, end of rental, "MAX".
#include "InvestCalc.h"
#include "Json.h"
#include "MoneyInput.h"
#include "NumberText.h"

#include <QtTest>

class MoneyInvestTest : public QObject {
    Q_OBJECT
private slots:
    void earnings_data();
    void earnings();
    void earningAmount_data();
    void earningAmount();
    void earningAmountRejects_data();
    void earningAmountRejects();
    void rentalPeriods();
    void endingRental_data();
    void endingRental();
    void endingRentalRejects_data();
    void endingRentalRejects();
    void walletMax_data();
    void walletMax();
    void walletMaxFailures();
};

void MoneyInvestTest::earnings_data()
{
    QTest::addColumn<qint64>("amount"); // units of 10^-8
    QTest::addColumn<int>("apr");
    QTest::addColumn<QString>("coin");
    QTest::addColumn<QStringList>("expected"); // year, half, quarter, month, week, day
    QTest::newRow("1 at 10") << qint64(100'000'000) << 10 << "BTC"
                             << QStringList{"0,10000000 BTC", "0,05000000 BTC", "0,02500000 BTC",
                                            "0,00833333 BTC", "0,00191780 BTC", "0,00027397 BTC"};
    QTest::newRow("2,5 at 12") << qint64(250'000'000) << 12 << "BTC"
                               << QStringList{"0,30000000 BTC", "0,15000000 BTC", "0,07500000 BTC",
                                              "0,02500000 BTC", "0,00575342 BTC", "0,00082191 BTC"};
    QTest::newRow("365 at 100: a day is a 365th, a week seven days")
        << qint64(36'500'000'000) << 100 << "DOGE"
        << QStringList{"365,00000000 DOGE", "182,50000000 DOGE", "91,25000000 DOGE",
                       "30,41666666 DOGE",  "7,00000000 DOGE",   "1,00000000 DOGE"};
    QTest::newRow("nothing") << qint64(0) << 12 << "ETH"
                             << QStringList{"0,00000000 ETH", "0,00000000 ETH", "0,00000000 ETH",
                                            "0,00000000 ETH", "0,00000000 ETH", "0,00000000 ETH"};
}

void MoneyInvestTest::earnings()
{
    QFETCH(qint64, amount);
    QFETCH(int, apr);
    QFETCH(QString, coin);
    QFETCH(QStringList, expected);
    const invest::Earnings e = invest::EarningsFor(amount, apr);
    const QStringList shown{invest::FigureText(e.year, coin),    invest::FigureText(e.halfYear, coin),
                            invest::FigureText(e.quarter, coin), invest::FigureText(e.month, coin),
                            invest::FigureText(e.week, coin),    invest::FigureText(e.day, coin)};
    QCOMPARE(shown, expected);
}

void MoneyInvestTest::earningAmount_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("computes");
    QTest::addColumn<qint64>("amount"); // units of 10^-8
    QTest::newRow("empty: nothing") << "" << false << qint64(0);
    QTest::newRow("negative: nothing") << "-1" << false << qint64(0);
    QTest::newRow("negative with point: nothing") << "-0.5" << false << qint64(0);
    QTest::newRow("point read as comma") << "2.5" << true << qint64(250'000'000);
    QTest::newRow("comma") << "2,5" << true << qint64(250'000'000);
    QTest::newRow("blanks around") << " 5 " << true << qint64(500'000'000);
    QTest::newRow("minus zero is not below zero") << "-0" << true << qint64(0);
    QTest::newRow("eight decimals") << "0,00000001" << true << qint64(1);
    QTest::newRow("ten whole digits") << "9999999999,99999999" << true << qint64(999'999'999'999'999'999);
}

void MoneyInvestTest::earningAmount()
{
    QFETCH(QString, field);
    QFETCH(bool, computes);
    QFETCH(qint64, amount);
    const std::optional<qint64> got = invest::EarningAmount(field);
    QCOMPARE(got.has_value(), computes);
    if (computes) QCOMPARE(*got, amount);
}

void MoneyInvestTest::earningAmountRejects_data()
{
    QTest::addColumn<QString>("field");
    QTest::newRow("letters") << "abc";
    QTest::newRow("digits then letters") << "12abc";
    QTest::newRow("two commas") << "1,2,3";
    QTest::newRow("two points") << "1.2.3";
    QTest::newRow("point and comma") << "1.2,3";
    QTest::newRow("lone minus") << "-";
    QTest::newRow("lone separator") << ",";
    QTest::newRow("pasted with spaces") << "1 000,5";
    QTest::newRow("400 digits") << QString(400, QLatin1Char('9'));
    QTest::newRow("beyond double") << "1E400";
    // The service takes no exponent and at most eight decimals and ten whole digits.
    QTest::newRow("exponent") << "1E-3";
    QTest::newRow("nine decimals") << "0,000000001";
    QTest::newRow("eleven whole digits") << "10000000000";
    QTest::newRow("line break inside") << "1\n2";
}

void MoneyInvestTest::earningAmountRejects()
{
    QFETCH(QString, field);
    try {
        invest::EarningAmount(field);
        QFAIL("accepted a text that is not a number");
    } catch (const numtext::ConversionError& e) {
        QVERIFY(!e.message().isEmpty());
    }
}

void MoneyInvestTest::rentalPeriods()
{
    const QStringList expected{"--The rental period--", "3 months (35% fee)", "6 Months (25% fee)", "1 Year (15% fee)",
                               "2 Years (10% fee)"};
    QCOMPARE(invest::RentalPeriods(), expected);
    const QList<int> fees{0, 35, 25, 15, 10};
    for (int i = 0; i < fees.size(); ++i) QCOMPARE(invest::RentalFeePercent(i), fees.at(i));
    QCOMPARE(invest::RentalPeriods().at(invest::DefaultRentalIndex), QStringLiteral("1 Year (15% fee)"));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, invest::RentalFeePercent(5));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, invest::RentalFeePercent(-1));
}

void MoneyInvestTest::endingRental_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1 for a year") << "1" << 3 << "+0,85000000 BTC";
    QTest::newRow("1 for 3 months") << "1" << 1 << "+0,65000000 BTC";
    QTest::newRow("1 for 6 months") << "1" << 2 << "+0,75000000 BTC";
    QTest::newRow("1 for 2 years") << "1" << 4 << "+0,90000000 BTC";
    QTest::newRow("placeholder keeps all") << "1" << 0 << "+1,00000000 BTC";
    QTest::newRow("point read as comma") << "2.5" << 4 << "+2,25000000 BTC";
    // The service keeps the fee rounded down, so the amount back is rounded up.
    QTest::newRow("eight decimals") << "0,12345678" << 3 << "+0,10493827 BTC";
}

void MoneyInvestTest::endingRental()
{
    QFETCH(QString, field);
    QFETCH(int, index);
    QFETCH(QString, expected);
    QCOMPARE(invest::EndingRentalText(field, index, QStringLiteral("BTC")), expected);
}

void MoneyInvestTest::endingRentalRejects_data()
{
    QTest::addColumn<QString>("field");
    QTest::newRow("empty") << "";
    QTest::newRow("letters") << "abc";
    QTest::newRow("lone minus") << "-";
    QTest::newRow("nine decimals") << "0,123456789";
}

void MoneyInvestTest::endingRentalRejects()
{
    QFETCH(QString, field);
    QVERIFY_THROWS_EXCEPTION(numtext::ConversionError, invest::EndingRentalText(field, 3, QStringLiteral("BTC")));
}

void MoneyInvestTest::walletMax_data()
{
    QTest::addColumn<QJsonValue>("balance");
    QTest::addColumn<QString>("expected");
    QTest::newRow("text with point") << QJsonValue("0.12345678") << "0,12345678";
    QTest::newRow("JSON number") << QJsonValue(0.5) << "0,50000000";
    QTest::newRow("rounded to eight") << QJsonValue("1.123456789") << "1,12345679";
    QTest::newRow("zero") << QJsonValue("0") << "0,00000000";
    // Past fifteen digits a double would round up to more than the wallet holds.
    QTest::newRow("ten whole digits kept exact") << QJsonValue("9999999999.99999999") << "9999999999,99999999";
}

void MoneyInvestTest::walletMax()
{
    QFETCH(QJsonValue, balance);
    QFETCH(QString, expected);
    const std::optional<QJsonObject> account = QJsonObject{{"wall_btc", balance}};
    QCOMPARE(money::WalletMaxText(account, QStringLiteral("btc")), expected);
}

void MoneyInvestTest::walletMaxFailures()
{
    QVERIFY_THROWS_EXCEPTION(json::JsonError, money::WalletMaxText(std::nullopt, QStringLiteral("btc")));
    const std::optional<QJsonObject> account = QJsonObject{{"wall_btc", "0.5"}, {"wall_eth", "n/a"}};
    QVERIFY_THROWS_EXCEPTION(json::JsonError, money::WalletMaxText(account, QStringLiteral("doge")));
    QVERIFY_THROWS_EXCEPTION(numtext::ConversionError, money::WalletMaxText(account, QStringLiteral("eth")));
}

QTEST_GUILESS_MAIN(MoneyInvestTest)
#include "tst_money_invest.moc"
