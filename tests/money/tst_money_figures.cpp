// One money library for both sides: the client's figure functions against the
// arithmetic the service books with, and the amount texts both read and write.
// The service's rules are restated here with 128-bit integers (the reference),
// so a slip in the shared library shows even where both sides would agree.
#include "Figures.h"
#include "InvestCalc.h"
#include "Money.h"
#include "NumberText.h"
#include "WalletFigures.h"
#include "WithdrawFee.h"

#include <QRandomGenerator>
#include <QtTest>

#include <climits>

namespace {

// The service's catalogue figures the client receives in its settings.
struct CoinRules {
    const char* code;
    const char* minWithdraw; // as the settings carry it
    int apr;
};
constexpr CoinRules Doge{"DOGE", "20", 15};
constexpr CoinRules Btc{"BTC", "0.0005", 8};
constexpr CoinRules Shib{"SHIB", "500000", 18};
constexpr int WithdrawPercent = 2;

// amount x percent / 100 + a tenth of the minimum, every step toward zero.
qint64 ReferenceNet(qint64 amount, int percent, qint64 minWithdraw)
{
    const __int128 fee = static_cast<__int128>(amount) * percent / 100 + minWithdraw / 10;
    return static_cast<qint64>(amount - fee);
}

// principal x APR x seconds / (100 x 365 x 86400), toward zero.
qint64 ReferenceAccrued(qint64 principal, int apr, qint64 seconds)
{
    return static_cast<qint64>(static_cast<__int128>(principal) * apr * seconds / (__int128(100) * 365 * 86400));
}

qint64 Units(const char* text)
{
    return *money::Parse(text);
}

// What the withdraw screen shows for a typed amount with the coin's settings,
// the fixed fee passing through the dashboard's text as on screen.
QString ClientNet(const QString& typed, const CoinRules& coin)
{
    QString minimum = QString::fromLatin1(coin.minWithdraw);
    minimum.replace(QLatin1Char('.'), QLatin1Char(','));
    return withdraw::NetAfterFee(typed, figures::WithdrawFixedFee(minimum), WithdrawPercent).totalText;
}

// What the service queues for the amount (its own call into the library).
QString ServiceNet(const QString& typed, const CoinRules& coin)
{
    const auto amount = money::Parse(typed.toStdString());
    const auto split = money::SplitWithdrawal(*amount, WithdrawPercent, money::WithdrawFixedFee(Units(coin.minWithdraw)));
    return QString::fromStdString(money::Format(split.net, ','));
}

// A random amount of up to ten whole digits and eight decimals, as the user
// could type it: sometimes short, sometimes with a point.
QString RandomAmountText(QRandomGenerator& rng, qint64* units)
{
    const int wholeDigits = rng.bounded(1, 11);
    qint64 whole = 0;
    for (int i = 0; i < wholeDigits; ++i) whole = whole * 10 + rng.bounded(10);
    const int decimals = rng.bounded(0, 9);
    qint64 frac = 0;
    for (int i = 0; i < decimals; ++i) frac = frac * 10 + rng.bounded(10);
    qint64 scale = 1;
    for (int i = decimals; i < 8; ++i) scale *= 10;
    *units = whole * money::Unit + frac * scale;
    QString text = QString::number(whole);
    if (decimals > 0)
        text += QLatin1Char(rng.bounded(2) ? ',' : '.') +
                QStringLiteral("%1").arg(frac, decimals, 10, QLatin1Char('0'));
    return text;
}

} // namespace

class MoneyFiguresTest : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void formatReadsBack_data();
    void formatReadsBack();
    void truncatedGeneralForm_data();
    void truncatedGeneralForm();
    void withdrawNet_data();
    void withdrawNet();
    void withdrawNetOverRandomAmounts();
    void projection_data();
    void projection();
    void projectedDayAndWeekAreAccrual();
    void rentalReturn_data();
    void rentalReturn();
    void swapQuote_data();
    void swapQuote();
    void percentsAndBonus();
    void overflowIsRefused();
};

// Typed amounts: the library (the service reads the same) and the client's
// field reading agree on what is an amount and on its value.
void MoneyFiguresTest::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("amount");
    QTest::addColumn<qint64>("units");
    QTest::newRow("smallest with comma") << "0,00000001" << true << qint64(1);
    QTest::newRow("smallest with point") << "0.00000001" << true << qint64(1);
    QTest::newRow("eight decimals") << "250,12345679" << true << qint64(25'012'345'679);
    QTest::newRow("one decimal") << "1.5" << true << qint64(150'000'000);
    QTest::newRow("whole") << "5000" << true << qint64(500'000'000'000);
    QTest::newRow("ten whole digits and eight decimals")
        << "9999999999,99999999" << true << qint64(999'999'999'999'999'999);
    QTest::newRow("leading zeros do not count as digits") << "000000000001,5" << true << qint64(150'000'000);
    QTest::newRow("zero") << "0" << true << qint64(0);
    QTest::newRow("nine decimals") << "0,000000001" << false << qint64(0);
    QTest::newRow("nine decimals ending in zero") << "0,100000000" << false << qint64(0);
    QTest::newRow("eleven whole digits") << "10000000000" << false << qint64(0);
    QTest::newRow("past 64 bits") << "99999999999999999999" << false << qint64(0);
    QTest::newRow("exponent") << "1E-3" << false << qint64(0);
    QTest::newRow("two separators") << "1,2.3" << false << qint64(0);
    QTest::newRow("separator without decimals") << "5," << false << qint64(0);
    QTest::newRow("separator first") << ",5" << false << qint64(0);
    QTest::newRow("group separator") << "1 000" << false << qint64(0);
    QTest::newRow("empty") << "" << false << qint64(0);
    QTest::newRow("letters") << "abc" << false << qint64(0);
    QTest::newRow("non-ASCII digit") << QString::fromUtf8("\xd9\xa3") << false << qint64(0); // ARABIC-INDIC THREE
}

void MoneyFiguresTest::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, amount);
    QFETCH(qint64, units);
    const auto library = money::Parse(text.toStdString());
    QCOMPARE(library.has_value(), amount);
    if (amount) {
        QCOMPARE(*library, units);
        QCOMPARE(numtext::ParseUnits(text), units);
        // The field may carry blanks and a sign; the value is the same.
        QCOMPARE(numtext::ParseUnits(QStringLiteral(" ") + text + QStringLiteral(" ")), units);
        QCOMPARE(numtext::ParseUnits(QStringLiteral("-") + text), -units);
    } else {
        QVERIFY_THROWS_EXCEPTION(numtext::ConversionError, numtext::ParseUnits(text));
    }
}

void MoneyFiguresTest::formatReadsBack_data()
{
    QTest::addColumn<qint64>("units");
    QTest::addColumn<QString>("comma");
    QTest::addColumn<QString>("point");
    QTest::newRow("one unit") << qint64(1) << "0,00000001" << "0.00000001";
    QTest::newRow("a tenth") << qint64(10'000'000) << "0,10000000" << "0.10000000";
    QTest::newRow("negative net") << qint64(-200) << "-0,00000200" << "-0.00000200";
    QTest::newRow("largest amount") << qint64(999'999'999'999'999'999) << "9999999999,99999999"
                                    << "9999999999.99999999";
}

void MoneyFiguresTest::formatReadsBack()
{
    QFETCH(qint64, units);
    QFETCH(QString, comma);
    QFETCH(QString, point);
    QCOMPARE(numtext::FixedUnits(units), comma);
    QCOMPARE(QString::fromStdString(money::Format(units, ',')), comma);
    QCOMPARE(QString::fromStdString(money::Format(units)), point);
    QCOMPARE(numtext::ParseUnits(comma), units);
    QCOMPARE(numtext::ParseUnits(point), units);
}

// Fee texts in the general form the dashboard writes, cut as the service cuts.
void MoneyFiguresTest::truncatedGeneralForm_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("number");
    QTest::addColumn<qint64>("units");
    QTest::newRow("exponent form") << "5E-6" << true << qint64(500);
    QTest::newRow("exponent with decimals, cut") << "1,5E-8" << true << qint64(1);
    QTest::newRow("below one unit") << "1E-9" << true << qint64(0);
    QTest::newRow("positive exponent") << "2,5E3" << true << qint64(250'000'000'000);
    QTest::newRow("plain decimals") << "0,00005" << true << qint64(5'000);
    QTest::newRow("past eight decimals, cut") << "0,123456789" << true << qint64(12'345'678);
    QTest::newRow("whole") << "2" << true << qint64(200'000'000);
    QTest::newRow("eleven whole digits") << "1E10" << false << qint64(0);
    QTest::newRow("point") << "0.0001" << false << qint64(0);
    QTest::newRow("negative") << "-1" << false << qint64(0);
    QTest::newRow("bare exponent") << "1E" << false << qint64(0);
    QTest::newRow("empty") << "" << false << qint64(0);
}

void MoneyFiguresTest::truncatedGeneralForm()
{
    QFETCH(QString, text);
    QFETCH(bool, number);
    QFETCH(qint64, units);
    if (number)
        QCOMPARE(numtext::ParseUnitsTruncated(text), units);
    else
        QVERIFY_THROWS_EXCEPTION(numtext::ConversionError, numtext::ParseUnitsTruncated(text));
}

// The net the withdraw screen shows is the net the service queues.
void MoneyFiguresTest::withdrawNet_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("coin"); // 0 DOGE, 1 BTC, 2 SHIB
    QTest::addColumn<QString>("net");
    QTest::newRow("999,99999999 DOGE") << "999,99999999" << 0 << "978,00000000";
    QTest::newRow("250,12345679 DOGE") << "250,12345679" << 0 << "243,12098766";
    QTest::newRow("250.12345679 DOGE typed with a point") << "250.12345679" << 0 << "243,12098766";
    QTest::newRow("the minimum of DOGE") << "20" << 0 << "17,60000000";
    QTest::newRow("below the BTC fee: a negative net") << "0,00000049" << 1 << "-0,00004951";
    QTest::newRow("0.5 BTC") << "0.5" << 1 << "0,48995000";
    QTest::newRow("ten whole digits of SHIB") << "9999999999,99999999" << 2 << "9799950000,00000000";
}

void MoneyFiguresTest::withdrawNet()
{
    QFETCH(QString, typed);
    QFETCH(int, coin);
    QFETCH(QString, net);
    const CoinRules& rules = coin == 0 ? Doge : coin == 1 ? Btc : Shib;
    QCOMPARE(ClientNet(typed, rules), net);
    QCOMPARE(ServiceNet(typed, rules), net);
    const qint64 reference =
        ReferenceNet(*money::Parse(typed.toStdString()), WithdrawPercent, Units(rules.minWithdraw));
    QCOMPARE(QString::fromStdString(money::Format(reference, ',')), net);
}

void MoneyFiguresTest::withdrawNetOverRandomAmounts()
{
    QRandomGenerator rng(20261211);
    int differ = 0;
    QString first;
    for (int i = 0; i < 20000; ++i) {
        const CoinRules& rules = i % 3 == 0 ? Doge : i % 3 == 1 ? Btc : Shib;
        qint64 units = 0;
        const QString typed = RandomAmountText(rng, &units);
        const QString client = ClientNet(typed, rules);
        const QString reference = QString::fromStdString(
            money::Format(ReferenceNet(units, WithdrawPercent, Units(rules.minWithdraw)), ','));
        if (client != reference || ServiceNet(typed, rules) != reference) {
            if (!differ++) first = typed + " " + rules.code + ": " + client + " vs " + reference;
        }
    }
    QVERIFY2(differ == 0, qPrintable(QStringLiteral("%1 of 20000 differ, first %2").arg(differ).arg(first)));
}

void MoneyFiguresTest::projection_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("apr");
    QTest::addColumn<QStringList>("expected"); // year, half, quarter, month, week, day
    QTest::newRow("5000 DOGE at 15") << "5000" << 15
                                     << QStringList{"750,00000000", "375,00000000", "187,50000000",
                                                    "62,50000000",  "14,38356164",  "2,05479452"};
    QTest::newRow("365 at 100: a day is a 365th")
        << "365" << 100
        << QStringList{"365,00000000", "182,50000000", "91,25000000", "30,41666666", "7,00000000", "1,00000000"};
    QTest::newRow("1 at 10") << "1" << 10
                             << QStringList{"0,10000000", "0,05000000", "0,02500000",
                                            "0,00833333", "0,00191780", "0,00027397"};
    QTest::newRow("smallest amount") << "0,00000001" << 15
                                     << QStringList{"0,00000000", "0,00000000", "0,00000000",
                                                    "0,00000000", "0,00000000", "0,00000000"};
    QTest::newRow("ten whole digits")
        << "9999999999,99999999" << 15
        << QStringList{"1499999999,99999999", "749999999,99999999", "374999999,99999999",
                       "124999999,99999999",  "28767123,28767123",  "4109589,04109589"};
}

void MoneyFiguresTest::projection()
{
    QFETCH(QString, typed);
    QFETCH(int, apr);
    QFETCH(QStringList, expected);
    const auto amount = invest::EarningAmount(typed);
    QVERIFY(amount.has_value());
    const invest::Earnings e = invest::EarningsFor(*amount, apr);
    const QString doge = QStringLiteral("DOGE");
    const QStringList shown{invest::FigureText(e.year, doge),    invest::FigureText(e.halfYear, doge),
                            invest::FigureText(e.quarter, doge), invest::FigureText(e.month, doge),
                            invest::FigureText(e.week, doge),    invest::FigureText(e.day, doge)};
    QStringList withCoin;
    for (const QString& figure : expected) withCoin << figure + QStringLiteral(" DOGE");
    QCOMPARE(shown, withCoin);
    // The dashboard's projection shows the same year, halves, week and day.
    const QString dashboard = figures::EarningsProjection(*amount, apr, doge);
    QCOMPARE(dashboard, QStringLiteral("Year: %1DOGE\r\n6 Month: %2DOGE\r\n3 Month: %3DOGE\r\n1 Week: %4DOGE\r\n"
                                       "1 Day: %5DOGE")
                            .arg(expected[0], expected[1], expected[2], expected[4], expected[5]));
}

// Over random principals and APRs the projected day and week are what one
// and seven days of accrual pay, and the year is what a year pays.
void MoneyFiguresTest::projectedDayAndWeekAreAccrual()
{
    QRandomGenerator rng(1211);
    for (int i = 0; i < 20000; ++i) {
        qint64 principal = 0;
        RandomAmountText(rng, &principal);
        const int apr = rng.bounded(0, 101);
        const invest::Earnings e = invest::EarningsFor(principal, apr);
        QCOMPARE(e.day, ReferenceAccrued(principal, apr, 86400));
        QCOMPARE(e.week, ReferenceAccrued(principal, apr, 7 * 86400));
        QCOMPARE(e.year, ReferenceAccrued(principal, apr, 365 * 86400));
        QCOMPARE(money::Accrued(principal, apr, 86400), e.day);
    }
}

void MoneyFiguresTest::rentalReturn_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("shown");
    QTest::newRow("a year keeps 15 %") << "1" << 3 << "+0,85000000 BTC";
    QTest::newRow("eight decimals, the fee rounded down") << "0,12345679" << 1 << "+0,08024692 BTC";
    QTest::newRow("ten whole digits for two years") << "9999999999,99999999" << 4 << "+9000000000,00000000 BTC";
}

void MoneyFiguresTest::rentalReturn()
{
    QFETCH(QString, typed);
    QFETCH(int, index);
    QFETCH(QString, shown);
    QCOMPARE(invest::EndingRentalText(typed, index, QStringLiteral("BTC")), shown);
    const qint64 principal = *money::Parse(typed.toStdString());
    const int fee = invest::RentalFeePercent(index);
    QCOMPARE(QLatin1Char('+') + numtext::FixedUnits(money::RentalReturn(principal, fee)) + QStringLiteral(" BTC"),
             shown);
    QCOMPARE(money::RentalReturn(principal, fee) + money::RentalFee(principal, fee), principal);
}

void MoneyFiguresTest::swapQuote_data()
{
    QTest::addColumn<qint64>("amount");
    QTest::addColumn<qint64>("priceFrom"); // nano-USD
    QTest::addColumn<qint64>("priceTo");
    QTest::addColumn<bool>("quoted");
    QTest::addColumn<QString>("out");
    const qint64 eth = 3'000'000'000'000, usdt = 1'000'000'000, btc = 60'000'000'000'000, shib = 20'000;
    QTest::newRow("2 ETH for USDT less 0,5 %") << qint64(200'000'000) << eth << usdt << true << "5970.00000000";
    QTest::newRow("1 USDT for BTC, rounded down") << qint64(100'000'000) << usdt << btc << true << "0.00001658";
    QTest::newRow("smallest amount gives nothing") << qint64(1) << usdt << btc << true << "0.00000000";
    QTest::newRow("more SHIB than the house holds") << qint64(999'999'999'999'999'999) << btc << shib << false << "";
    QTest::newRow("a price of zero") << qint64(100'000'000) << usdt << qint64(0) << false << "";
}

void MoneyFiguresTest::swapQuote()
{
    QFETCH(qint64, amount);
    QFETCH(qint64, priceFrom);
    QFETCH(qint64, priceTo);
    QFETCH(bool, quoted);
    QFETCH(QString, out);
    const auto q = money::SwapQuote(amount, priceFrom, priceTo, 50);
    QCOMPARE(q.has_value(), quoted);
    if (quoted) QCOMPARE(QString::fromStdString(money::Format(*q)), out);
}

void MoneyFiguresTest::percentsAndBonus()
{
    // The lottery keeps 3 % of a pot, rounded down; the rest is the prize.
    QCOMPARE(money::PercentOf(1'000'000'033, 3), qint64(30'000'000));
    QCOMPARE(money::PercentOf(33, 3), qint64(0));
    // The deposit bonus only from the coin's minimum deposit.
    QCOMPARE(money::DepositBonus(999'999'999, 1'000'000'000, 3), qint64(0));
    QCOMPARE(money::DepositBonus(1'000'000'000, 1'000'000'000, 3), qint64(30'000'000));
    QCOMPARE(money::DepositBonus(1'000'000'033, 1'000'000'000, 3), qint64(30'000'000));
    QCOMPARE(money::WithdrawFixedFee(15), qint64(1));
}

void MoneyFiguresTest::overflowIsRefused()
{
    QVERIFY_THROWS_EXCEPTION(money::Overflow, money::SplitWithdrawal(LLONG_MAX, 200, 0));
    QVERIFY_THROWS_EXCEPTION(money::Overflow, money::ProjectEarnings(LLONG_MAX, 200));
    QVERIFY_THROWS_EXCEPTION(money::Overflow, money::SplitWithdrawal(LLONG_MIN + 1, 0, 2));
    QVERIFY(!money::SwapQuote(LLONG_MAX, LLONG_MAX, 1, 0).has_value());
}

QTEST_GUILESS_MAIN(MoneyFiguresTest)
#include "tst_money_figures.moc"
