#include "InvestCalc.h"
#include "NumberText.h"

#include "Figures.h"

#include <array>
#include <stdexcept>

namespace invest {

namespace {
constexpr std::array<int, 5> FeePercents{0, 35, 25, 15, 10};
}

Earnings EarningsFor(qint64 amountUnits, int apr)
{
    const money::Projection p = money::ProjectEarnings(amountUnits, apr);
    return Earnings{p.year, p.halfYear, p.quarter, p.month, p.week, p.day};
}

std::optional<qint64> EarningAmount(const QString& fieldText)
{
    if (fieldText.isEmpty()) return std::nullopt;
    const qint64 amount = numtext::ParseUnits(fieldText);
    if (amount < 0) return std::nullopt;
    return amount;
}

QString FigureText(qint64 units, const QString& coinUpper)
{
    return numtext::FixedUnits(units) + QLatin1Char(' ') + coinUpper;
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
    const qint64 amount = numtext::ParseUnits(fieldText);
    return QLatin1Char('+') + FigureText(money::RentalReturn(amount, RentalFeePercent(rentalIndex)), coinUpper);
}

} // namespace invest
