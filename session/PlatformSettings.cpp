#include "PlatformSettings.h"
#include "Json.h"
#include "NumberText.h"

namespace settings {

QString UpperAscii(const QString& text)
{
    QString out = text;
    for (QChar& c : out)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 32);
    return out;
}

void ApplyReply(const QJsonObject& reply, Platform& state,
                const std::function<void(const QStringList& upperCodes)>& fillCoinLists)
{
    state.MinWithdrawJson =
        json::AsObject(json::Member(reply, QStringLiteral("min_withdraw_coin")), QStringLiteral("min_withdraw_coin"));
    state.WithdrawPercent =
        numtext::ParseWhole(json::MemberText(*state.MinWithdrawJson, QStringLiteral("perc_withdraw")));

    state.CoinNames =
        json::AsArray(json::Member(reply, QStringLiteral("arr_name_coin")), QStringLiteral("arr_name_coin"));
    QStringList codes;
    for (const QJsonValue& v : *state.CoinNames) codes << UpperAscii(json::Text(v));
    if (fillCoinLists) fillCoinLists(codes);

    const QJsonArray fullNames =
        json::AsArray(json::Member(reply, QStringLiteral("arr_fullname_coin")), QStringLiteral("arr_fullname_coin"));
    if (fullNames.size() != state.CoinNames->size())
        throw json::JsonError(QStringLiteral("JSON member \"arr_fullname_coin\" has %1 names for %2 coins")
                                  .arg(fullNames.size())
                                  .arg(state.CoinNames->size()));
    state.CoinFullNames = fullNames;
}

} // namespace settings
