// Deriving the per-coin display texts (BalanceJson) from an account reply.
#include "AccountSnapshot.h"
#include "Json.h"
#include "NumberText.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

namespace {

constexpr int kJson = 0;
constexpr int kConversion = 1;
constexpr int kEither = 2;

const QStringList kPrefixes{"wall_", "inv_", "dep_val_", "earned_inv_", "earned_ref_"};

// An account reply where every amount of every coin is the given value.
QJsonObject accountWithAll(const QStringList& coins, const QJsonValue& amount)
{
    QJsonObject account;
    for (const QString& coin : coins)
        for (const QString& prefix : kPrefixes) account.insert(prefix + coin, amount);
    return account;
}

QStringList membersOf(const QJsonObject& o)
{
    QStringList keys = o.keys();
    keys.sort();
    return keys;
}

QStringList expectedMembers(const QStringList& coins)
{
    QStringList keys;
    for (const QString& coin : coins)
        for (const QString& prefix : kPrefixes) keys << prefix + coin;
    keys.sort();
    return keys;
}

} // namespace

class WalletSnapshotTest : public QObject {
    Q_OBJECT
private slots:
    void prefixesInOrder();
    void amountTexts_data();
    void amountTexts();
    void eachMemberGoesToItsOwnKey();
    void failureKeepsEarlierCoinsOnly_data();
    void failureKeepsEarlierCoinsOnly();
    void emptyCatalogueAddsNothing();
};

void WalletSnapshotTest::prefixesInOrder()
{
    QCOMPARE(snapshot::AmountPrefixes(), kPrefixes);
}

void WalletSnapshotTest::amountTexts_data()
{
    QTest::addColumn<QJsonValue>("amount");
    QTest::addColumn<QString>("expected");
    QTest::newRow("text 0.5") << QJsonValue("0.5") << "0,50000000";
    QTest::newRow("number 0.5") << QJsonValue(0.5) << "0,50000000";
    QTest::newRow("text nine decimals rounds up") << QJsonValue("0.123456789") << "0,12345679";
    QTest::newRow("number nine decimals rounds up") << QJsonValue(0.123456789) << "0,12345679";
    QTest::newRow("text nine decimals rounds down") << QJsonValue("0.123456784") << "0,12345678";
    QTest::newRow("text whole 12") << QJsonValue("12") << "12,00000000";
    QTest::newRow("number whole 12") << QJsonValue(12) << "12,00000000";
    QTest::newRow("text with comma") << QJsonValue("1,5") << "1,50000000";
    QTest::newRow("zero") << QJsonValue("0") << "0,00000000";
    QTest::newRow("tiny number in exponent form") << QJsonValue(1e-9) << "0,00000000";
    QTest::newRow("smallest shown unit") << QJsonValue("0.00000001") << "0,00000001";
    QTest::newRow("large amount") << QJsonValue("123456789.12345678") << "123456789,12345678";
    // Eighteen digits are more than a double holds: taken as the service wrote them.
    QTest::newRow("ten whole digits and eight decimals") << QJsonValue("9999999999.99999999")
                                                          << "9999999999,99999999";
    QTest::newRow("negative text") << QJsonValue("-0.5") << "-0,50000000";
    QTest::newRow("negative number") << QJsonValue(-12) << "-12,00000000";
    QTest::newRow("negative below a unit shows no minus zero") << QJsonValue("-0.000000001") << "0,00000000";
    QTest::newRow("negative zero") << QJsonValue("-0") << "0,00000000";
}

void WalletSnapshotTest::amountTexts()
{
    QFETCH(QJsonValue, amount);
    QFETCH(QString, expected);
    const QStringList coins{"btc"};
    QJsonObject balance;
    snapshot::DeriveBalance(accountWithAll(coins, amount), QJsonArray::fromStringList(coins), balance);
    QCOMPARE(membersOf(balance), expectedMembers(coins));
    for (const QString& prefix : kPrefixes) {
        QVERIFY2(balance.value(prefix + "btc").isString(), qPrintable(prefix));
        QCOMPARE(balance.value(prefix + "btc").toString(), expected);
    }
}

void WalletSnapshotTest::eachMemberGoesToItsOwnKey()
{
    // Distinct values per member and coin, so a swapped prefix or coin shows.
    const QStringList coins{"btc", "ltc", "doge"};
    QJsonObject account;
    for (int c = 0; c < coins.size(); ++c)
        for (int p = 0; p < kPrefixes.size(); ++p)
            account.insert(kPrefixes[p] + coins[c], QStringLiteral("%1.%2").arg(c + 1).arg(p + 1));
    account.insert("unrelated", "not a number");
    account.insert("wall_eth", "7"); // not in the catalogue

    QJsonObject balance;
    snapshot::DeriveBalance(account, QJsonArray::fromStringList(coins), balance);
    QCOMPARE(membersOf(balance), expectedMembers(coins));
    for (int c = 0; c < coins.size(); ++c)
        for (int p = 0; p < kPrefixes.size(); ++p)
            QCOMPARE(balance.value(kPrefixes[p] + coins[c]).toString(),
                     QString::number(c + 1) + "," + QString::number(p + 1) + "0000000");
}

void WalletSnapshotTest::failureKeepsEarlierCoinsOnly_data()
{
    QTest::addColumn<QString>("brokenMember");
    QTest::addColumn<QJsonValue>("brokenValue"); // Undefined: the member is missing
    QTest::addColumn<int>("thrown");             // kJson, kConversion, or kEither for values of the wrong JSON type
    QTest::addColumn<int>("goodCoins");

    const QJsonValue missing(QJsonValue::Undefined);
    QTest::newRow("earned_ref_doge missing") << "earned_ref_doge" << missing << kJson << 4;
    QTest::newRow("wall_btc missing") << "wall_btc" << missing << kJson << 0;
    QTest::newRow("earned_ref_btc missing") << "earned_ref_btc" << missing << kJson << 0;
    QTest::newRow("inv_eth words") << "inv_eth" << QJsonValue("abc") << kConversion << 3;
    QTest::newRow("dep_val_ltc empty") << "dep_val_ltc" << QJsonValue("") << kConversion << 1;
    QTest::newRow("earned_inv_bnb with group separators")
        << "earned_inv_bnb" << QJsonValue("1.000.000,5") << kConversion << 2;
    QTest::newRow("earned_ref_doge null") << "earned_ref_doge" << QJsonValue(QJsonValue::Null) << kEither << 4;
    QTest::newRow("wall_doge boolean") << "wall_doge" << QJsonValue(true) << kEither << 4;
    QTest::newRow("earned_ref_eth with currency") << "earned_ref_eth" << QJsonValue("0.5 ETH") << kConversion << 3;
    QTest::newRow("wall_eth array") << "wall_eth" << QJsonValue(QJsonArray{1, 2}) << kConversion << 3;
    QTest::newRow("inv_btc object") << "inv_btc" << QJsonValue(QJsonObject{{"v", 1}}) << kConversion << 0;
    QTest::newRow("wall_ltc NaN text") << "wall_ltc" << QJsonValue("NaN") << kConversion << 1;
    QTest::newRow("wall_ltc Infinity text") << "wall_ltc" << QJsonValue("Infinity") << kConversion << 1;
    QTest::newRow("wall_ltc beyond double") << "wall_ltc" << QJsonValue("1e400") << kConversion << 1;
}

void WalletSnapshotTest::failureKeepsEarlierCoinsOnly()
{
    QFETCH(QString, brokenMember);
    QFETCH(QJsonValue, brokenValue);
    QFETCH(int, thrown);
    QFETCH(int, goodCoins);

    const QStringList coins{"btc", "ltc", "bnb", "eth", "doge"};
    QJsonObject account = accountWithAll(coins, "0.25");
    if (brokenValue.isUndefined())
        account.remove(brokenMember);
    else
        account.insert(brokenMember, brokenValue);

    QJsonObject balance;
    int caught = -1;
    QString message;
    try {
        snapshot::DeriveBalance(account, QJsonArray::fromStringList(coins), balance);
    } catch (const json::JsonError& e) {
        caught = kJson;
        message = QString::fromUtf8(e.what());
    } catch (const numtext::ConversionError& e) {
        caught = kConversion;
        message = e.message();
    }
    QVERIFY2(caught != -1, "no exception");
    if (thrown != kEither) QCOMPARE(caught, thrown);
    // The description names the member and says what is wrong with it.
    QVERIFY2(message.contains(QLatin1Char('"') + brokenMember + QLatin1Char('"')), qPrintable(message));
    QVERIFY2(message.contains(brokenValue.isUndefined() ? QLatin1String("not found") : QLatin1String("not an amount")),
             qPrintable(message));

    // Whole coins before the broken one, nothing of the broken coin or later ones.
    const QStringList kept = coins.mid(0, goodCoins);
    QCOMPARE(balance.size(), 5 * goodCoins);
    QCOMPARE(membersOf(balance), expectedMembers(kept));
    for (const QString& key : balance.keys()) QCOMPARE(balance.value(key).toString(), QStringLiteral("0,25000000"));
}

void WalletSnapshotTest::emptyCatalogueAddsNothing()
{
    QJsonObject balance;
    snapshot::DeriveBalance(accountWithAll({"btc"}, "1"), QJsonArray(), balance);
    QVERIFY(balance.isEmpty());
}

QTEST_GUILESS_MAIN(WalletSnapshotTest)
#include "tst_wallet_snapshot.moc"
