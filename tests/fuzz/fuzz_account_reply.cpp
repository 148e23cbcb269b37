// The account reply, read the way the login screen reads it, the balance
// texts derived from it, and the figures the screens compute from those.
// An input starting with "[" carries its own coin catalogue on the first
// line; any other input is read against the service's fifteen coins.
#include "AccountSnapshot.h"
#include "Community.h"
#include "FuzzSupport.h"
#include "Json.h"
#include "MoneyInput.h"
#include "NumberText.h"
#include "PlatformSettings.h"
#include "WalletFigures.h"

#include <QJsonDocument>

namespace {

using fuzz::Check;

QJsonArray DefaultCatalogue()
{
    return QJsonArray{"btc",  "ltc", "bnb", "eth",  "doge", "trx", "usdt", "bch",
                      "dash", "xmr", "etc", "shib", "zec",  "sol", "matic"};
}

// What the dashboard, the invest and withdraw screens and the information
// screen compute from one coin's balance texts.
void CheckCoin(const QJsonObject& account, const QJsonObject& balance, const QString& coin)
{
    const QString wall = json::MemberText(balance, QStringLiteral("wall_") + coin);
    // "MAX" reads the same member of the reply the balance was derived from.
    Check(money::WalletMaxText(account, coin) == wall, "MAX shows the wallet balance");

    const double invested = numtext::ParseNumber(json::MemberText(balance, QStringLiteral("inv_") + coin));
    Check(std::isfinite(invested), "a finite invested amount");
    try {
        const QString projection = figures::EarningsProjection(invested, 12, settings::UpperAscii(coin));
        Check(projection.count(QStringLiteral("\r\n")) == 4, "five projection lines");
    } catch (const numtext::ConversionError&) {
        // Beyond ten whole digits no balance exists: the dashboard says so instead of a projection.
    }

    const QString total = community::TotalEarned(json::MemberText(balance, QStringLiteral("earned_inv_") + coin),
                                                 json::MemberText(balance, QStringLiteral("earned_ref_") + coin));
    Check(!total.contains(QLatin1Char('.')), "the total is in the client's format");
    const double earned = numtext::ParseNumber(json::MemberText(balance, QStringLiteral("earned_inv_") + coin)) +
                          numtext::ParseNumber(json::MemberText(balance, QStringLiteral("earned_ref_") + coin));
    if (std::isfinite(earned))
        Check(fuzz::Near(numtext::ParseNumber(total), earned, 1e-14, 1e-300), "the total adds up");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QString body = fuzz::Text(data, size);
    QJsonArray coins = DefaultCatalogue();
    if (body.startsWith(QLatin1Char('['))) {
        const auto [first, rest] = fuzz::SplitFirstLine(body);
        const QJsonDocument doc = QJsonDocument::fromJson(first.toUtf8());
        if (!doc.isArray()) return 0;
        coins = doc.array();
        body = rest;
    }
    // Only a body starting with "{" is an account snapshot; others are messages.
    if (!body.startsWith(QLatin1Char('{'))) return 0;

    QJsonObject account;
    try {
        account = json::ParseObject(body);
    } catch (const json::JsonError&) {
        return 0;
    }

    QJsonObject balance;
    bool complete = false;
    try {
        snapshot::DeriveBalance(account, coins, balance);
        complete = true;
    } catch (const json::JsonError&) {
    } catch (const numtext::ConversionError&) {
    }

    // Coins are added whole, in catalogue order: the balance holds all five
    // texts of each coin before the failing one, and nothing else.
    const QStringList& prefixes = snapshot::AmountPrefixes();
    QStringList done;
    for (const QJsonValue& c : coins) {
        const QString coin = json::Text(c);
        bool present = true;
        for (const QString& p : prefixes) present = present && balance.contains(p + coin);
        if (!present) break;
        if (!done.contains(coin)) done << coin;
    }
    if (complete) {
        QStringList all;
        for (const QJsonValue& c : coins)
            if (!all.contains(json::Text(c))) all << json::Text(c);
        Check(done == all, "a complete derivation covers every coin");
    }
    // No prefix begins another, so every coin has five keys of its own.
    Check(balance.size() == done.size() * prefixes.size(), "no partial coin in the balance");

    for (const QString& coin : done) {
        for (const QString& p : prefixes) {
            const QJsonValue v = balance.value(p + coin);
            Check(v.isString(), "balance texts are strings");
            try {
                const double back = numtext::ParseNumber(v.toString());
                const double original = numtext::ParseAmount(json::MemberText(account, p + coin));
                Check(fuzz::Near(back, original, 1e-14, 5e-9), "the text shows the reply's amount");
            } catch (const numtext::ConversionError&) {
                Check(false, "balance texts read back");
            }
        }
        CheckCoin(account, balance, coin);
    }
    return 0;
}
