// The lottery's players and winners files turned into the screen's texts.
#include "AppState.h"
#include "Json.h"
#include "Lottery.h"
#include "NumberText.h"

#include <QElapsedTimer>
#include <QtTest>

class LotteryTest : public QObject {
    Q_OBJECT
private slots:
    void playersFigures_data();
    void playersFigures();
    void playersFiguresRejectMalformedFiles_data();
    void playersFiguresRejectMalformedFiles();
    void playersFiguresOfManyPlayers();
    void zeroFigures();
    void winnerItems_data();
    void winnerItems();
    void winnersFollowTheFilesMemberOrder();
    void winnerItemsRejectMalformedFiles_data();
    void winnerItemsRejectMalformedFiles();
    void winnerItemsOfAHugeFile();
    void urls();
    void lowerAscii();
    void publicName_data();
    void publicName();
    void texts();
};

void LotteryTest::playersFigures_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("prize");
    QTest::addColumn<QString>("deposit");
    QTest::addColumn<QString>("players");

    QTest::newRow("empty pot") << "[]"
                               << "bob"
                               << "0,00000000"
                               << "0,00000000(0,00%) TRX"
                               << "0";
    QTest::newRow("two players, the user first")
        << R"([{"nickname":"bob","value":1500000},{"nickname":"eve","value":4500000}])"
        << "bob"
        << "5,82000000"
        << "1,50000000(25,00%) TRX"
        << "2";
    QTest::newRow("stakes as texts with a point")
        << R"([{"nickname":"eve","value":"4500000.5"},{"nickname":"bob","value":"1500000.5"}])"
        << "bob"
        << "5,82000097"
        << "1,50000050(25,00%) TRX"
        << "2";
    QTest::newRow("the user plays twice")
        << R"([{"nickname":"bob","value":1},{"nickname":"bob","value":1},{"nickname":"al","value":2}])"
        << "bob"
        << "0,00000388"
        << "0,00000200(50,00%) TRX"
        << "3";
    QTest::newRow("not among the players") << R"([{"nickname":"eve","value":3000000}])"
                                           << "bob"
                                           << "2,91000000"
                                           << "0,00000000(0,00%) TRX"
                                           << "1";
    QTest::newRow("other members are ignored") << R"([{"id":7,"value":"2000000","nickname":"bob","extra":{"x":[1,2]}}])"
                                               << "bob"
                                               << "1,94000000"
                                               << "2,00000000(100,00%) TRX"
                                               << "1";
    // The login arrives lower-cased; a nickname counts only when it is written exactly so.
    QTest::newRow("nickname in capitals is someone else")
        << R"([{"nickname":"Bob","value":1000000},{"nickname":"bob","value":3000000}])"
        << "bob"
        << "3,88000000"
        << "3,00000000(75,00%) TRX"
        << "2";
    QTest::newRow("html in a nickname is only compared") << R"([{"nickname":"<b>bob</b>","value":1000000}])"
                                                         << "bob"
                                                         << "0,97000000"
                                                         << "0,00000000(0,00%) TRX"
                                                         << "1";
    // The players file shows an e-mail login masked: the user's own stake is found under its masked form.
    QTest::newRow("own e-mail login, masked") << R"([{"nickname":"ali***","value":1000000},{"nickname":"eve","value":3000000}])"
                                              << "alice@example.org"
                                              << "3,88000000"
                                              << "1,00000000(25,00%) TRX"
                                              << "2";
    QTest::newRow("short e-mail login, masked") << R"([{"nickname":"al***","value":2000000}])"
                                                << "al@example.org"
                                                << "1,94000000"
                                                << "2,00000000(100,00%) TRX"
                                                << "1";
    QTest::newRow("another e-mail login's mask") << R"([{"nickname":"bob***","value":2000000}])"
                                                 << "alice@example.org"
                                                 << "1,94000000"
                                                 << "0,00000000(0,00%) TRX"
                                                 << "1";
    // Stakes that cancel out would divide by zero: the share shows 0.
    QTest::newRow("stakes cancelling out") << R"([{"nickname":"bob","value":5},{"nickname":"x","value":-5}])"
                                           << "bob"
                                           << "0,00000000"
                                           << "0,00000500(0,00%) TRX"
                                           << "2";
}

void LotteryTest::playersFigures()
{
    QFETCH(QString, body);
    QFETCH(QString, login);
    const lotto::DrawFigures f = lotto::PlayersFigures(body, login, QStringLiteral("TRX"));
    QTEST(f.prize, "prize");
    QTEST(f.deposit, "deposit");
    QTEST(f.players, "players");
}

void LotteryTest::playersFiguresRejectMalformedFiles_data()
{
    QTest::addColumn<QString>("body");
    QTest::newRow("empty body") << "";
    QTest::newRow("error page") << "<html><body>404 Not Found</body></html>";
    QTest::newRow("object instead of array") << R"({"nickname":"bob","value":1})";
    QTest::newRow("element not an object") << R"([["bob",1]])";
    QTest::newRow("missing value") << R"([{"nickname":"bob"}])";
    QTest::newRow("missing nickname") << R"([{"value":1}])";
    QTest::newRow("value is a word") << R"([{"nickname":"bob","value":"lots"}])";
    QTest::newRow("value with two points") << R"([{"nickname":"bob","value":"1.5.5"}])";
    QTest::newRow("value with a group blank") << R"([{"nickname":"bob","value":"1 000"}])";
    QTest::newRow("value is null") << R"([{"nickname":"bob","value":null}])";
    QTest::newRow("value is true") << R"([{"nickname":"bob","value":true}])";
    QTest::newRow("sum overflows") << R"([{"nickname":"a","value":1e308},{"nickname":"b","value":1e308}])";
    QTest::newRow("truncated") << R"([{"nickname":"bob","value":1})";
}

void LotteryTest::playersFiguresRejectMalformedFiles()
{
    QFETCH(QString, body);
    bool threw = false;
    try {
        lotto::PlayersFigures(body, QStringLiteral("bob"), QStringLiteral("TRX"));
    } catch (const json::JsonError&) {
        threw = true;
    } catch (const numtext::ConversionError&) {
        threw = true;
    }
    QVERIFY(threw);
}

void LotteryTest::playersFiguresOfManyPlayers()
{
    QString body = QStringLiteral("[");
    for (int i = 0; i < 100000; ++i) {
        if (i) body += QLatin1Char(',');
        body += QStringLiteral(R"({"nickname":"p%1","value":"10"})").arg(i);
    }
    body += QLatin1Char(']');
    const lotto::DrawFigures f = lotto::PlayersFigures(body, QStringLiteral("p0"), QStringLiteral("BTC"));
    QCOMPARE(f.players, QStringLiteral("100000"));
    QCOMPARE(f.prize, QStringLiteral("0,97000000"));              // 1 000 000 less 3 %, in coins
    QCOMPARE(f.deposit, QStringLiteral("0,00001000(0,00%) BTC")); // a hundred-thousandth of the pot
}

void LotteryTest::zeroFigures()
{
    const lotto::DrawFigures f = lotto::ZeroFigures();
    QCOMPARE(f.prize, QStringLiteral("0"));
    QCOMPARE(f.deposit, QStringLiteral("0"));
    QCOMPARE(f.players, QStringLiteral("0"));
}

namespace {
QString Winners(int count)
{
    QStringList elements;
    for (int i = 0; i < count; ++i)
        elements << QStringLiteral(R"({"name":"w%1","value":"%1.5","date":"2024-01-%2"})").arg(i).arg(i % 28 + 1);
    return QLatin1Char('[') + elements.join(QLatin1Char(',')) + QLatin1Char(']');
}

QStringList ExpectedWinners(int from, int downTo)
{
    QStringList items;
    for (int i = from; i >= downTo; --i)
        items << QStringLiteral("w%1").arg(i) << QStringLiteral("+%1,50000000").arg(i)
              << QStringLiteral("2024-01-%1").arg(i % 28 + 1);
    return items;
}
} // namespace

void LotteryTest::winnerItems_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("empty") << "[]" << QStringList();
    QTest::newRow("three, the last first") << Winners(3) << ExpectedWinners(2, 0);
    QTest::newRow("ten") << Winners(10) << ExpectedWinners(9, 0);
    QTest::newRow("25: elements 24 down to 15") << Winners(25) << ExpectedWinners(24, 15);
    QTest::newRow("amount as a number, no division")
        << R"([{"u":"ann","v":1500000,"d":"today"}])" << QStringList{"ann", "+1500000,00000000", "today"};
    QTest::newRow("html in a name stays text")
        << R"([{"u":"<b>x</b>","v":"0.1","d":"<i>d</i>"}])" << QStringList{"<b>x</b>", "+0,10000000", "<i>d</i>"};
    QTest::newRow("further members ignored") << R"([{"u":"ann","v":"2","d":"now","e":"more","f":[1,{"g":"}"}]}])"
                                             << QStringList{"ann", "+2,00000000", "now"};
    QTest::newRow("blanks and escapes") << "[ {\n \"u\" : \"a\\\"b,}]\" , \"v\" : 3 ,\r\n \"d\" : \"x\\\\\" } ]"
                                        << QStringList{"a\"b,}]", "+3,00000000", "x\\"};
}

void LotteryTest::winnerItems()
{
    QFETCH(QString, body);
    QTEST(lotto::WinnerItems(body), "items");
}

// Read by position: a file whose names sort differently keeps its own order.
void LotteryTest::winnersFollowTheFilesMemberOrder()
{
    const QString body = QStringLiteral(R"([{"zname":"ann","amount":"0.5","date":"d1"}])");
    QCOMPARE(lotto::WinnerItems(body), (QStringList{"ann", "+0,50000000", "d1"}));
}

void LotteryTest::winnerItemsRejectMalformedFiles_data()
{
    QTest::addColumn<QString>("body");
    QTest::newRow("error page") << "<html>502</html>";
    QTest::newRow("object instead of array") << R"({"u":"a","v":1,"d":"x"})";
    QTest::newRow("two members") << R"([{"u":"ann","v":1}])";
    QTest::newRow("last one short") << R"([{"u":"a","v":1,"d":"x"},{"u":"b","v":2}])";
    QTest::newRow("amount is a word") << R"([{"u":"a","v":"much","d":"x"}])";
    QTest::newRow("amount is an object") << R"([{"u":"a","v":{"n":1},"d":"x"}])";
    QTest::newRow("element is an array") << R"([["a",1,"x"]])";
    QTest::newRow("element is a string") << R"(["a"])";
    QTest::newRow("truncated") << R"([{"u":"a","v":1,"d":"x"})";
}

void LotteryTest::winnerItemsRejectMalformedFiles()
{
    QFETCH(QString, body);
    bool threw = false;
    try {
        lotto::WinnerItems(body);
    } catch (const json::JsonError&) {
        threw = true;
    } catch (const numtext::ConversionError&) {
        threw = true;
    }
    QVERIFY(threw);
}

// A file of 100 000 winners shows the last ten; only those are read in detail.
void LotteryTest::winnerItemsOfAHugeFile()
{
    const QString body = Winners(100000);
    QCOMPARE(lotto::WinnerItems(body), ExpectedWinners(99999, 99990));
}

void LotteryTest::urls()
{
    AppState state;
    state.ServerAddress = QStringLiteral("://127.0.0.1:9/");
    QCOMPARE(lotto::PlayersUrl(state, "trx").toString(), QStringLiteral("https://127.0.0.1:9/lotto/trx.json"));
    QCOMPARE(lotto::WinnersUrl(state, "trx").toString(), QStringLiteral("https://127.0.0.1:9/lotto/winner_trx.json"));
    state.ServerScheme = QStringLiteral("http");
    QCOMPARE(lotto::PlayersUrl(state, "doge").toString(), QStringLiteral("http://127.0.0.1:9/lotto/doge.json"));
    // A code from the server cannot leave the lotto folder or add a query.
    const QUrl odd = lotto::PlayersUrl(state, "../x?y#z");
    QCOMPARE(odd.host(), QStringLiteral("127.0.0.1"));
    QCOMPARE(odd.query(), QString());
    QCOMPARE(odd.fragment(), QString());
    QVERIFY(odd.path(QUrl::FullyEncoded).startsWith("/lotto/"));
    QVERIFY(!odd.path(QUrl::FullyEncoded).contains("/x"));
}

void LotteryTest::publicName_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("published");
    QTest::newRow("plain login") << "bob" << "bob";
    QTest::newRow("e-mail") << "alice@example.org" << "ali***";
    QTest::newRow("short local part") << "al@example.org" << "al***";
    QTest::newRow("empty local part") << "@example.org" << "***";
    QTest::newRow("two at signs") << "a@b@c" << "a***";
    QTest::newRow("accented letters") << QString::fromUtf8("\xc3\xa9l\xc3\xa8" "ve@x.fr") << QString::fromUtf8("\xc3\xa9l\xc3\xa8" "***");
    QTest::newRow("outside the BMP counts once") << QString::fromUtf8("\xf0\x9f\x98\x80" "ab@x") << QString::fromUtf8("\xf0\x9f\x98\x80" "ab***");
}

void LotteryTest::publicName()
{
    QFETCH(QString, login);
    QTEST(lotto::PublicName(login), "published");
}

void LotteryTest::lowerAscii()
{
    QCOMPARE(lotto::LowerAscii("BoB_Z9"), QStringLiteral("bob_z9"));
    // Only A-Z change: a capital with an accent stays as it is.
    QCOMPARE(lotto::LowerAscii(QString::fromUtf8("ÉMILE")), QString::fromUtf8("Émile"));
}

void LotteryTest::texts()
{
    QCOMPARE(lotto::ConfirmText("5", "TRX"), QStringLiteral("Send 5 TRX to Lotto?"));
    QCOMPARE(lotto::RulesText(),
             QStringLiteral("L0ttery is a lottery that pays out to the one who made the most of the deposit. The more "
                            "you deposit, the higher the winning percentage. The draw takes place every 24h at 00:00, "
                            "when 20 Users are recruited, they buy a ticket."));
    QCOMPARE(lotto::Fixed2(25), QStringLiteral("25,00"));
    QCOMPARE(lotto::Fixed2(33.333333), QStringLiteral("33,33"));
    QCOMPARE(lotto::Fixed2(-0.001), QStringLiteral("0,00"));
}

QTEST_GUILESS_MAIN(LotteryTest)
#include "tst_community_lottery.moc"
