// Applying the platform settings reply to the process state.
#include "Json.h"
#include "NumberText.h"
#include "PlatformSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

const QStringList kCodes{"btc", "ltc", "bnb", "eth", "doge", "trx", "usdt"};
const QStringList kFullNames{"Bitcoin", "Litecoin", "BNB", "Ethereum", "Dogecoin", "Tron", "Tether"};

QJsonObject minWithdraw()
{
    return QJsonObject{
        {"perc_withdraw", "5"}, {"btc", "0.0005"}, {"APR_btc", "12"}, {"Mindep_btc", "0.0005"}, {"bonus_deposit", "3"}};
}

QJsonObject catalogueReply()
{
    return QJsonObject{{"arr_name_coin", QJsonArray::fromStringList(kCodes)},
                       {"arr_fullname_coin", QJsonArray::fromStringList(kFullNames)},
                       {"min_withdraw_coin", minWithdraw()}};
}

// Values a previous settings reply left, so a test can tell "kept" from "replaced".
const QJsonObject kOldMinWithdraw{{"old", "1"}};
const QJsonArray kOldNames{"old"};
const QJsonArray kOldFullNames{"Old coin"};
constexpr int kOldPercent = 9;

settings::Platform stateWithOldValues()
{
    settings::Platform s;
    s.MinWithdrawJson = kOldMinWithdraw;
    s.WithdrawPercent = kOldPercent;
    s.CoinNames = kOldNames;
    s.CoinFullNames = kOldFullNames;
    return s;
}

struct Recorder {
    int calls = 0;
    QStringList codes;
    bool fullNamesSetAtCall = false;
    bool namesSetAtCall = false;
};

std::function<void(const QStringList&)> recordInto(Recorder& r, const settings::Platform& state, const QJsonArray& oldFull)
{
    return [&r, &state, oldFull](const QStringList& codes) {
        ++r.calls;
        r.codes = codes;
        r.namesSetAtCall = state.CoinNames.has_value() && state.CoinNames->size() == codes.size();
        // Full names must still be whatever they were before this reply.
        r.fullNamesSetAtCall = state.CoinFullNames.has_value() && *state.CoinFullNames != oldFull;
    };
}

enum class Thrown { Nothing, Json, Conversion, Other };

template <typename F>
Thrown thrownBy(F&& f)
{
    try {
        f();
    } catch (const json::JsonError&) {
        return Thrown::Json;
    } catch (const numtext::ConversionError&) {
        return Thrown::Conversion;
    } catch (...) {
        return Thrown::Other;
    }
    return Thrown::Nothing;
}

} // namespace

Q_DECLARE_METATYPE(Thrown)

class WalletSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void catalogueFillsEverything();
    void withdrawPercentForms_data();
    void withdrawPercentForms();
    void failingStepKeepsEarlierSteps_data();
    void failingStepKeepsEarlierSteps();
    void codesAreUpperCasedAsciiOnly_data();
    void codesAreUpperCasedAsciiOnly();
    void catalogueSizes_data();
    void catalogueSizes();
    void missingCallbackIsAllowed();
};

void WalletSettingsTest::catalogueFillsEverything()
{
    settings::Platform state;
    Recorder rec;
    settings::ApplyReply(catalogueReply(), state, recordInto(rec, state, QJsonArray()));

    QVERIFY(state.MinWithdrawJson.has_value());
    QCOMPARE(*state.MinWithdrawJson, minWithdraw());
    QCOMPARE(state.WithdrawPercent, 5);
    QVERIFY(state.CoinNames.has_value());
    QCOMPARE(*state.CoinNames, QJsonArray::fromStringList(kCodes));
    QVERIFY(state.CoinFullNames.has_value());
    QCOMPARE(*state.CoinFullNames, QJsonArray::fromStringList(kFullNames));

    QCOMPARE(rec.calls, 1);
    QCOMPARE(rec.codes, (QStringList{"BTC", "LTC", "BNB", "ETH", "DOGE", "TRX", "USDT"}));
    QCOMPARE(rec.codes.at(4), QStringLiteral("DOGE"));
    QCOMPARE(rec.codes.at(6), QStringLiteral("USDT"));
    // The lists are filled from the catalogue before the full names arrive.
    QVERIFY(rec.namesSetAtCall);
    QVERIFY(!rec.fullNamesSetAtCall);
}

void WalletSettingsTest::withdrawPercentForms_data()
{
    QTest::addColumn<QJsonValue>("percent");
    QTest::addColumn<int>("expected");
    QTest::newRow("JSON number 5") << QJsonValue(5) << 5;
    QTest::newRow("JSON number 5.0") << QJsonValue(5.0) << 5;
    QTest::newRow("text 5") << QJsonValue("5") << 5;
    QTest::newRow("text with leading zero") << QJsonValue("015") << 15;
    QTest::newRow("zero") << QJsonValue(0) << 0;
    QTest::newRow("text 100") << QJsonValue("100") << 100;
}

void WalletSettingsTest::withdrawPercentForms()
{
    QFETCH(QJsonValue, percent);
    QFETCH(int, expected);
    QJsonObject reply = catalogueReply();
    QJsonObject limits = minWithdraw();
    limits.insert("perc_withdraw", percent);
    reply.insert("min_withdraw_coin", limits);

    settings::Platform state = stateWithOldValues();
    settings::ApplyReply(reply, state, {});
    QCOMPARE(state.WithdrawPercent, expected);
    QCOMPARE(*state.MinWithdrawJson, limits);
}

// stagesDone: 0 nothing replaced, 1 MinWithdrawJson, 2 + WithdrawPercent,
// 3 + CoinNames and the callback. CoinFullNames is never replaced here.
void WalletSettingsTest::failingStepKeepsEarlierSteps_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<Thrown>("thrown");
    QTest::addColumn<int>("stagesDone");

    const auto withPercent = [](const QJsonValue& v) {
        QJsonObject r = catalogueReply();
        QJsonObject limits = minWithdraw();
        if (v.isUndefined())
            limits.remove("perc_withdraw");
        else
            limits.insert("perc_withdraw", v);
        r.insert("min_withdraw_coin", limits);
        return r;
    };
    const auto withMember = [](const QString& name, const QJsonValue& v) {
        QJsonObject r = catalogueReply();
        if (v.isUndefined())
            r.remove(name);
        else
            r.insert(name, v);
        return r;
    };
    const QString limitsAsText = QString::fromUtf8(QJsonDocument(minWithdraw()).toJson(QJsonDocument::Compact));
    const QString codesAsText =
        QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(kCodes)).toJson(QJsonDocument::Compact));
    const QString namesAsText =
        QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(kFullNames)).toJson(QJsonDocument::Compact));

    QTest::newRow("min_withdraw_coin is a string holding JSON")
        << withMember("min_withdraw_coin", limitsAsText) << Thrown::Json << 0;
    QTest::newRow("min_withdraw_coin is an array")
        << withMember("min_withdraw_coin", QJsonArray{minWithdraw()}) << Thrown::Json << 0;
    QTest::newRow("min_withdraw_coin missing")
        << withMember("min_withdraw_coin", QJsonValue(QJsonValue::Undefined)) << Thrown::Json << 0;

    QTest::newRow("perc_withdraw text 5.5") << withPercent("5.5") << Thrown::Conversion << 1;
    QTest::newRow("perc_withdraw number 5.5") << withPercent(5.5) << Thrown::Conversion << 1;
    QTest::newRow("perc_withdraw with comma") << withPercent("5,5") << Thrown::Conversion << 1;
    QTest::newRow("perc_withdraw empty") << withPercent("") << Thrown::Conversion << 1;
    QTest::newRow("perc_withdraw words") << withPercent("five") << Thrown::Conversion << 1;
    QTest::newRow("perc_withdraw boolean") << withPercent(true) << Thrown::Conversion << 1;
    QTest::newRow("perc_withdraw null") << withPercent(QJsonValue::Null) << Thrown::Conversion << 1;
    QTest::newRow("perc_withdraw beyond int") << withPercent("99999999999") << Thrown::Conversion << 1;
    QTest::newRow("perc_withdraw missing") << withPercent(QJsonValue(QJsonValue::Undefined)) << Thrown::Json << 1;

    QTest::newRow("arr_name_coin missing")
        << withMember("arr_name_coin", QJsonValue(QJsonValue::Undefined)) << Thrown::Json << 2;
    QTest::newRow("arr_name_coin is a string holding JSON")
        << withMember("arr_name_coin", codesAsText) << Thrown::Json << 2;
    QTest::newRow("arr_name_coin is an object")
        << withMember("arr_name_coin", QJsonObject{{"0", "btc"}}) << Thrown::Json << 2;

    QTest::newRow("arr_fullname_coin missing")
        << withMember("arr_fullname_coin", QJsonValue(QJsonValue::Undefined)) << Thrown::Json << 3;
    QTest::newRow("arr_fullname_coin is a string holding JSON")
        << withMember("arr_fullname_coin", namesAsText) << Thrown::Json << 3;
    QTest::newRow("arr_fullname_coin is a number") << withMember("arr_fullname_coin", 7) << Thrown::Json << 3;
    // Index for index with the codes: a shorter list would leave coins without a name, silently.
    QTest::newRow("arr_fullname_coin one name short")
        << withMember("arr_fullname_coin", QJsonArray::fromStringList(kFullNames.mid(1))) << Thrown::Json << 3;
    QTest::newRow("arr_fullname_coin one name too many")
        << withMember("arr_fullname_coin", QJsonArray::fromStringList(kFullNames + QStringList{"Extra"}))
        << Thrown::Json << 3;
    QTest::newRow("arr_fullname_coin empty") << withMember("arr_fullname_coin", QJsonArray()) << Thrown::Json << 3;
}

void WalletSettingsTest::failingStepKeepsEarlierSteps()
{
    QFETCH(QJsonObject, reply);
    QFETCH(Thrown, thrown);
    QFETCH(int, stagesDone);

    settings::Platform state = stateWithOldValues();
    Recorder rec;
    QCOMPARE(thrownBy([&] { settings::ApplyReply(reply, state, recordInto(rec, state, kOldFullNames)); }), thrown);

    QVERIFY(state.MinWithdrawJson.has_value());
    if (stagesDone >= 1) {
        QCOMPARE(*state.MinWithdrawJson, reply.value("min_withdraw_coin").toObject());
        QVERIFY(!state.MinWithdrawJson->contains("old"));
    } else {
        QCOMPARE(*state.MinWithdrawJson, kOldMinWithdraw);
    }
    QCOMPARE(state.WithdrawPercent, stagesDone >= 2 ? 5 : kOldPercent);
    QVERIFY(state.CoinNames.has_value());
    if (stagesDone >= 3) {
        QCOMPARE(*state.CoinNames, QJsonArray::fromStringList(kCodes));
        QCOMPARE(rec.calls, 1);
        QCOMPARE(rec.codes, (QStringList{"BTC", "LTC", "BNB", "ETH", "DOGE", "TRX", "USDT"}));
    } else {
        QCOMPARE(*state.CoinNames, kOldNames);
        QCOMPARE(rec.calls, 0);
    }
    QVERIFY(state.CoinFullNames.has_value());
    QCOMPARE(*state.CoinFullNames, kOldFullNames);
}

void WalletSettingsTest::codesAreUpperCasedAsciiOnly_data()
{
    QTest::addColumn<QStringList>("catalogue");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("lower case") << QStringList{"btc", "doge"} << QStringList{"BTC", "DOGE"};
    QTest::newRow("already upper and mixed") << QStringList{"USDT", "Eth"} << QStringList{"USDT", "ETH"};
    QTest::newRow("digits and punctuation")
        << QStringList{"usdt_trc20", "bep-20", "1inch"} << QStringList{"USDT_TRC20", "BEP-20", "1INCH"};
    // "i" must not become a dotted capital whatever the locale; non-ASCII letters stay.
    QTest::newRow("i and non-ASCII") << QStringList{"icx", "éth", "straße"} << QStringList{"ICX", "éTH", "STRAßE"};
}

void WalletSettingsTest::codesAreUpperCasedAsciiOnly()
{
    QFETCH(QStringList, catalogue);
    QFETCH(QStringList, expected);
    QJsonObject reply = catalogueReply();
    reply.insert("arr_name_coin", QJsonArray::fromStringList(catalogue));
    reply.insert("arr_fullname_coin", QJsonArray::fromStringList(catalogue));

    settings::Platform state;
    Recorder rec;
    settings::ApplyReply(reply, state, recordInto(rec, state, QJsonArray()));
    QCOMPARE(rec.calls, 1);
    QCOMPARE(rec.codes, expected);
    // The stored catalogue keeps the server's spelling; only the shown codes change.
    QCOMPARE(*state.CoinNames, QJsonArray::fromStringList(catalogue));
    for (int i = 0; i < catalogue.size(); ++i) QCOMPARE(settings::UpperAscii(catalogue.at(i)), expected.at(i));
}

void WalletSettingsTest::catalogueSizes_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("empty") << 0;
    QTest::newRow("one coin") << 1;
    QTest::newRow("huge") << 50000;
}

void WalletSettingsTest::catalogueSizes()
{
    QFETCH(int, size);
    QStringList codes;
    QStringList names;
    QStringList upper;
    for (int i = 0; i < size; ++i) {
        codes << QStringLiteral("coin%1x").arg(i);
        names << QStringLiteral("Coin number %1").arg(i);
        upper << QStringLiteral("COIN%1X").arg(i);
    }
    QJsonObject reply = catalogueReply();
    reply.insert("arr_name_coin", QJsonArray::fromStringList(codes));
    reply.insert("arr_fullname_coin", QJsonArray::fromStringList(names));

    settings::Platform state = stateWithOldValues();
    Recorder rec;
    settings::ApplyReply(reply, state, recordInto(rec, state, kOldFullNames));
    QCOMPARE(rec.calls, 1);
    QCOMPARE(rec.codes, upper);
    QCOMPARE(state.CoinNames->size(), size);
    QCOMPARE(*state.CoinNames, QJsonArray::fromStringList(codes));
    QCOMPARE(*state.CoinFullNames, QJsonArray::fromStringList(names));
    QCOMPARE(state.WithdrawPercent, 5);
}

void WalletSettingsTest::missingCallbackIsAllowed()
{
    settings::Platform state;
    settings::ApplyReply(catalogueReply(), state, {});
    QCOMPARE(*state.CoinNames, QJsonArray::fromStringList(kCodes));
    QCOMPARE(*state.CoinFullNames, QJsonArray::fromStringList(kFullNames));
}

QTEST_GUILESS_MAIN(WalletSettingsTest)
#include "tst_wallet_settings.moc"
