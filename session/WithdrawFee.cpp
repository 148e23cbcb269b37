#include "WithdrawFee.h"
#include "MoneyInput.h"
#include "NumberText.h"

namespace withdraw {

const QStringList& Networks()
{
    static const QStringList items{
        QStringLiteral("Main"),          QStringLiteral("BEP-20 (Binance)"), QStringLiteral("ERC-20 (Ethereum)"),
        QStringLiteral("TRC-20 (Tron)"), QStringLiteral("SOL (Solana)"),     QStringLiteral("PRC-20 (Polygon)")};
    return items;
}

NetAmount NetAfterFee(const QString& amountField, const QString& fixedFee, int withdrawPercent)
{
    const double amount = numtext::ParseNumber(money::WorkingCopy(amountField));
    const double fixedPart = numtext::ParseNumber(fixedFee);
    const double fee = amount / 100 * withdrawPercent + fixedPart;
    const double net = amount - fee;
    NetAmount result;
    result.totalText = numtext::Fixed8(net);
    // The button follows what the user sees: a net that rounds to 0,00000000 is nothing to send.
    result.canWithdraw = numtext::ParseNumber(result.totalText) > 0;
    return result;
}

} // namespace withdraw
