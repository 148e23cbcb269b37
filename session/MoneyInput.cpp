#include "MoneyInput.h"
#include "Json.h"
#include "NumberText.h"

namespace money {

QString WorkingCopy(const QString& fieldText)
{
    QString t = fieldText;
    t.replace(QLatin1Char('.'), QLatin1Char(','));
    return t;
}

QString WalletMaxText(const std::optional<QJsonObject>& account, const QString& coin)
{
    if (!account) throw json::JsonError(QStringLiteral("no account snapshot loaded"));
    // Taken exactly, as the dashboard shows it: MAX is never more than the wallet holds.
    return numtext::AmountText(json::MemberText(*account, QStringLiteral("wall_") + coin));
}

} // namespace money
