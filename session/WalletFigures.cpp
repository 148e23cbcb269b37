#include "WalletFigures.h"
#include "InvestCalc.h"
#include "NumberText.h"

#include "Figures.h"

namespace figures {

QString EarningsProjection(qint64 investedUnits, int apr, const QString& coinUpper)
{
    const invest::Earnings e = invest::EarningsFor(investedUnits, apr);
    const auto line = [&](const char* caption, qint64 units) {
        return QLatin1String(caption) + numtext::FixedUnits(units) + coinUpper;
    };
    return line("Year: ", e.year) + QStringLiteral("\r\n") + line("6 Month: ", e.halfYear) + QStringLiteral("\r\n") +
           line("3 Month: ", e.quarter) + QStringLiteral("\r\n") + line("1 Week: ", e.week) +
           QStringLiteral("\r\n") + line("1 Day: ", e.day);
}

QString EarningsProjection(double investedAmount, int apr, const QString& coinUpper)
{
    // The dashboard reads the amount back from its fixed-8 text: that text, not
    // the double's last bits, is the amount.
    return EarningsProjection(numtext::ParseUnits(numtext::Fixed8(investedAmount)), apr, coinUpper);
}

QString AprExplanation()
{
    return QStringLiteral("ℹAPR - this is the percentage of return per year on investments.\r\n"
                          "For example APR = 10, Invest BTC = 0.01 means Income = 0.001BTC/year\r\n"
                          "Formula: INVEST/100*APR = Income/year");
}

QString WithdrawFixedFee(const QString& minimumWithComma)
{
    const qint64 fixedFee = money::WithdrawFixedFee(numtext::ParseUnitsTruncated(minimumWithComma));
    return numtext::General(static_cast<double>(fixedFee) / money::Unit);
}

QString WithdrawFeeText(const QString& fixedFee, int withdrawPercent)
{
    return fixedFee + QLatin1Char('+') + QString::number(withdrawPercent) + QLatin1Char('%');
}

} // namespace figures
