#include "WalletFigures.h"
#include "NumberText.h"

namespace figures {

QString EarningsProjection(double investedAmount, int apr, const QString& coinUpper)
{
    const double year = investedAmount / 100 * apr;
    const double halfYear = year / 2;
    const double quarter = halfYear / 2;
    const double month = quarter / 3;
    const double week = month / 4;
    const double day = week / 7;
    const auto line = [&](const char* caption, double value) {
        return QLatin1String(caption) + numtext::Fixed8(value) + coinUpper;
    };
    return line("Year: ", year) + QStringLiteral("\r\n") + line("6 Month: ", halfYear) + QStringLiteral("\r\n") +
           line("3 Month: ", quarter) + QStringLiteral("\r\n") + line("1 Week: ", week) + QStringLiteral("\r\n") +
           line("1 Day: ", day);
}

QString AprExplanation()
{
    return QStringLiteral("ℹAPR - this is the percentage of return per year on investments.\r\n"
                          "For example APR = 10, Invest BTC = 0.01 means Income = 0.001BTC/year\r\n"
                          "Formula: INVEST/100*APR = Income/year");
}

QString WithdrawFixedFee(const QString& minimumWithComma)
{
    return numtext::General(numtext::ParseNumber(minimumWithComma) / 10);
}

QString WithdrawFeeText(const QString& fixedFee, int withdrawPercent)
{
    return fixedFee + QLatin1Char('+') + QString::number(withdrawPercent) + QLatin1Char('%');
}

} // namespace figures
