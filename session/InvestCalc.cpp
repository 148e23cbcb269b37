#include "InvestCalc.h"
#include "MoneyInput.h"
#include "NumberText.h"

#include <array>
#include <stdexcept>

namespace invest {

namespace {
constexpr std::array<int, 5> FeePercents{0, 35, 25, 15, 10};
}

Earnings EarningsFor(double amount, int apr)
{
    Earnings e;
    e.year = amount / 100 * apr;
    e.halfYear = e.year / 2;
    e.quarter = e.halfYear / 2;
    e.month = e.quarter / 3;
    e.week = e.month / 4;
    e.day = e.week / 7;
    return e;
}

std::optional<double> EarningAmount(const QString& fieldText)
{
    const QString text = money::WorkingCopy(fieldText);
    if (text.isEmpty()) return std::nullopt;
    const double amount = numtext::ParseNumber(text);
    if (amount < 0) return std::nullopt;
    return amount;
}

QString FigureText(double value, const QString& coinUpper)
{
    return numtext::Fixed8(value) + QLatin1Char(' ') + coinUpper;
}

const QStringList& RentalPeriods()
{
    static const QStringList items{QStringLiteral("--The rental period--"), QStringLiteral("3 months (35% fee)"),
                                   QStringLiteral("6 Months (25% fee)"), QStringLiteral("1 Year (15% fee)"),
                                   QStringLiteral("2 Years (10% fee)")};
    return items;
}

int RentalFeePercent(int index)
{
    if (index < 0 || index >= static_cast<int>(FeePercents.size()))
        throw std::out_of_range("no rental period at index " + std::to_string(index));
    return FeePercents[static_cast<size_t>(index)];
}

QString EndingRentalText(const QString& fieldText, int rentalIndex, const QString& coinUpper)
{
    const double amount = numtext::ParseNumber(money::WorkingCopy(fieldText));
    const double returned = amount - amount / 100 * RentalFeePercent(rentalIndex);
    return QLatin1Char('+') + FigureText(returned, coinUpper);
}

} // namespace invest
