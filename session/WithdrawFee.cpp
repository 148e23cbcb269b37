#include "WithdrawFee.h"
#include "NumberText.h"

#include "Figures.h"

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
    const qint64 amount = numtext::ParseUnits(amountField);
    const qint64 fixedPart = numtext::ParseUnitsTruncated(fixedFee);
    const money::WithdrawalSplit split = money::SplitWithdrawal(amount, withdrawPercent, fixedPart);
    NetAmount result;
    result.totalText = numtext::FixedUnits(split.net);
    result.canWithdraw = split.net > 0;
    return result;
}

} // namespace withdraw
