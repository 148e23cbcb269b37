#include "AccountSnapshot.h"
#include "Json.h"
#include "NumberText.h"

namespace snapshot {

const QStringList& AmountPrefixes()
{
    static const QStringList prefixes{"wall_", "inv_", "dep_val_", "earned_inv_", "earned_ref_"};
    return prefixes;
}

void DeriveBalance(const QJsonObject& account, const QJsonArray& coinNames, QJsonObject& balance)
{
    const QStringList& prefixes = AmountPrefixes();
    QString texts[5];
    for (const QJsonValue& coinValue : coinNames) {
        const QString coin = json::Text(coinValue);
        for (int i = 0; i < 5; ++i) {
            const QString member = prefixes[i] + coin;
            const QJsonValue value = json::Member(account, member);
            try {
                texts[i] = numtext::AmountText(json::Text(value));
            } catch (const numtext::ConversionError& e) {
                // Name the member: a later step would only find it missing from the balances.
                throw numtext::ConversionError(
                    QStringLiteral("JSON member \"%1\" is not an amount: %2").arg(member, e.message()));
            }
        }
        for (int i = 0; i < 5; ++i) balance.insert(prefixes[i] + coin, texts[i]);
    }
}

} // namespace snapshot
