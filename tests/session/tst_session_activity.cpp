// Dollar values, rentals, earnings per day and which lines raise a notice.
#include "History.h"
#include "Notices.h"
#include "Prices.h"
#include "Rentals.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

QJsonObject RentalJson()
{
    return {{"id", 3},
            {"coin", "doge"},
            {"principal", "5000.00000000"},
            {"rental_code", "d30"},
            {"days", 30},
            {"apr", 15},
            {"fee_percent", 2},
            {"start", "2026-12-01 10:00:00"},
            {"end", "2026-12-31 10:00:00"},
            {"status", "open"},
            {"earned", "20.54794520"},
            {"due_by_now", "20.54794520"},
            {"total_earnings", "61.64383561"},
            {"returns", "4900.00000000"},
            {"fee", "100.00000000"}};
}

QString RentalsReply(const QJsonObject& rental)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonObject{{"investments", QJsonArray{rental}}, {"time", "2026-12-11 10:00:00"}}).toJson());
}

history::Item Line(qint64 id, const QString& kind, const QString& status, qint64 amount, const QString& coin = "btc",
                   const QString& time = "2026-12-11 07:00:00")
{
    history::Item it;
    it.id = id;
    it.kind = kind;
    it.status = status;
    it.amount = amount;
    it.coin = coin;
    it.time = time;
    return it;
}

} // namespace

class ActivityTest : public QObject {
    Q_OBJECT
private slots:
    void priceTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("nano"); // -1: refused
        QTest::newRow("whole dollars") << "60000.00" << qint64(60'000'000'000'000);
        QTest::newRow("nine decimals") << "0.000012345" << qint64(12'345);
        QTest::newRow("no decimals") << "7" << qint64(7'000'000'000);
        QTest::newRow("ten decimals") << "0.0000000001" << qint64(-1);
        QTest::newRow("ten whole digits") << "1234567890.00" << qint64(-1);
        QTest::newRow("negative") << "-1.00" << qint64(-1);
        QTest::newRow("comma") << "1,00" << qint64(-1);
        QTest::newRow("exponent") << "1e3" << qint64(-1);
        QTest::newRow("blank") << " 1.00" << qint64(-1);
    }
    void priceTexts()
    {
        QFETCH(QString, text);
        QFETCH(qint64, nano);
        const std::optional<prices::NanoUsd> p = prices::ParsePrice(text);
        if (nano < 0)
            QVERIFY(!p);
        else
            QCOMPARE(p, std::optional<prices::NanoUsd>(nano));
    }

    void pricesReplyRefusedWhole_data()
    {
        QTest::addColumn<QString>("body");
        QTest::newRow("price a number") << R"({"usd":{"btc":60000},"time":"x"})";
        QTest::newRow("one bad among good") << R"({"usd":{"btc":"60000.00","eth":"<b>1</b>"}})";
        QTest::newRow("coin markup") << R"({"usd":{"<i>btc</i>":"1.00"}})";
        QTest::newRow("no usd") << R"({"eur":{"btc":"1.00"}})";
        QTest::newRow("usd array") << R"({"usd":["1.00"]})";
        QTest::newRow("html") << "<html>error</html>";
        QJsonObject many;
        for (int i = 0; i <= prices::MaxCoins; ++i) many.insert(QStringLiteral("c%1").arg(i), "1.00");
        QTest::newRow("too many") << QString::fromUtf8(QJsonDocument(QJsonObject{{"usd", many}}).toJson());
    }
    void pricesReplyRefusedWhole()
    {
        QFETCH(QString, body);
        QVERIFY_THROWS_EXCEPTION(prices::ReplyError, prices::Parse(body));
    }

    // Values in integers: no binary fraction creeps into a cent.
    void valuesCutToTheCent_data()
    {
        QTest::addColumn<qint64>("units");
        QTest::addColumn<QString>("price");
        QTest::addColumn<QString>("shown"); // empty: no figure
        QTest::newRow("half a bitcoin") << qint64(50'000'000) << "60000.00" << "30000,00 USD";
        QTest::newRow("one unit of bitcoin") << qint64(1) << "60000.00" << "0,00 USD";
        QTest::newRow("cut, not rounded") << qint64(99'999'999) << "1.00" << "0,99 USD";
        // 0.1 + 0.2 in binary floating point is 0.30000000000000004; here it is exact.
        QTest::newRow("0.3 of a dollar coin") << qint64(30'000'000) << "1.00" << "0,30 USD";
        QTest::newRow("tiny price") << qint64(100'000'000'000'000) << "0.000012345" << "12,34 USD";
        QTest::newRow("large holding") << qint64(999'999'999'999'999'999) << "999999999.999999999"
                                       << ""; // beyond 64 bits: no figure rather than a wrapped one
    }
    void valuesCutToTheCent()
    {
        QFETCH(qint64, units);
        QFETCH(QString, price);
        QFETCH(QString, shown);
        const std::optional<prices::NanoUsd> v = prices::Value(units, *prices::ParsePrice(price));
        if (shown.isEmpty()) {
            QVERIFY(!v);
            return;
        }
        QVERIFY(v);
        QCOMPARE(prices::UsdText(*v), shown);
    }

    void rentalCard()
    {
        const rentals::List list = rentals::Parse(RentalsReply(RentalJson()));
        QCOMPARE(list.rentals.size(), 1);
        const rentals::Rental& r = list.rentals[0];
        QVERIFY(r.open);
        QCOMPARE(r.principal, qint64(500'000'000'000));
        QCOMPARE(rentals::DaysLeft(r, list.time), 20);
        QCOMPARE(rentals::DaysLeft(r, list.time.addSecs(20 * 86400 - 1)), 1);
        QCOMPARE(rentals::DaysLeft(r, list.time.addSecs(20 * 86400)), 0);
        QCOMPARE(rentals::CardLines(r, list.time),
                 (QStringList{"5000,00000000 DOGE for 30 days", "20 days left",
                              "Earned 20,54794520 of 20,54794520 DOGE due by now", "Ends 2026-12-31 10:00 UTC",
                              "Returns 4900,00000000 DOGE"}));
    }

    void rentalsRefusedWhole_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QJsonValue>("value");
        QTest::newRow("principal number") << "principal" << QJsonValue(5000);
        QTest::newRow("earned negative") << "earned" << QJsonValue("-1.00000000");
        QTest::newRow("days text") << "days" << QJsonValue("30");
        QTest::newRow("end before start") << "end" << QJsonValue("2026-11-01 00:00:00");
        QTest::newRow("status markup") << "status" << QJsonValue("<b>open</b>");
        QTest::newRow("coin markup") << "coin" << QJsonValue("<img src=x>");
        QTest::newRow("no returns") << "returns" << QJsonValue(QJsonValue::Null);
    }
    void rentalsRefusedWhole()
    {
        QFETCH(QString, member);
        QFETCH(QJsonValue, value);
        QJsonObject r = RentalJson();
        r.insert(member, value);
        QVERIFY_THROWS_EXCEPTION(rentals::ReplyError, rentals::Parse(RentalsReply(r)));
    }

    void earningsPerDay()
    {
        const QList<history::Item> items{
            Line(9, "earning", "done", 300, "btc", "2026-12-11 23:59:00"),
            Line(8, "deposit", "done", 1'000'000, "btc", "2026-12-11 10:00:00"),
            Line(7, "earning", "done", 500, "eth", "2026-12-10 12:00:00"),
            Line(6, "earning", "done", 200, "btc", "2026-12-09 00:00:00"),
            Line(5, "earning", "done", 100, "btc", "2026-11-11 12:00:00"), // 31 days back: outside 30
        };
        const auto days = history::EarningsPerDay(items, "btc", QDate(2026, 12, 11), 30);
        QCOMPARE(days.size(), 30);
        QCOMPARE(days.first().first, QDate(2026, 11, 12));
        QCOMPARE(days.last(), (QPair<QDate, qint64>(QDate(2026, 12, 11), 300)));
        QCOMPARE(days[27], (QPair<QDate, qint64>(QDate(2026, 12, 9), 200)));
        QCOMPARE(days[28].second, qint64(0)); // the eth line is another coin's
        qint64 sum = 0;
        for (const auto& d : days) sum += d.second;
        QCOMPARE(sum, qint64(500));
        const auto ninety = history::EarningsPerDay(items, "btc", QDate(2026, 12, 11), 90);
        sum = 0;
        for (const auto& d : ninety) sum += d.second;
        QCOMPARE(sum, qint64(600));
    }

    void noticesPerLine_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("status");
        QTest::addColumn<qint64>("amount");
        QTest::addColumn<QString>("notice"); // empty: none
        QTest::newRow("deposit") << "deposit" << "done" << qint64(150'000'000) << "Deposit credited: 1,50000000 BTC";
        QTest::newRow("withdraw pending") << "withdraw" << "pending" << qint64(-50'000'000) << "";
        QTest::newRow("withdraw sent") << "withdraw" << "sent" << qint64(-50'000'000)
                                       << "Withdrawal sent: 0,50000000 BTC";
        QTest::newRow("withdraw failed, own line") << "withdraw" << "failed" << qint64(-50'000'000) << "";
        QTest::newRow("withdraw failed, refund") << "withdraw" << "failed" << qint64(50'000'000)
                                                 << "Withdrawal failed, returned: 0,50000000 BTC";
        QTest::newRow("rental return") << "return" << "done" << qint64(49'000'000)
                                       << "Rental ended, returned: 0,49000000 BTC";
        QTest::newRow("lottery win") << "lottery_win" << "done" << qint64(7) << "Lottery won: 0,00000007 BTC";
        QTest::newRow("earning") << "earning" << "done" << qint64(7) << "";
        QTest::newRow("swap") << "swap_in" << "done" << qint64(7) << "";
        QTest::newRow("stake") << "lottery_stake" << "done" << qint64(-7) << "";
    }
    void noticesPerLine()
    {
        QFETCH(QString, kind);
        QFETCH(QString, status);
        QFETCH(qint64, amount);
        QFETCH(QString, notice);
        QCOMPARE(notices::For(Line(1, kind, status, amount)).value_or(QString()), notice);
    }
};

QTEST_GUILESS_MAIN(ActivityTest)
#include "tst_session_activity.moc"
