#pragma once
// The invest screen's figures: what an amount earns at the coin's APR, and
// what comes back when the rental ends. Amounts are units of 10^-8, computed
// as the service books them.
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

namespace invest {

// Year = amount x APR / 100; half-year, quarter and month (a twelfth) of it;
// a day is a 365th of the year and a week seven days, as the service's
// accrual pays them. Each figure is rounded down on its own.
struct Earnings {
    qint64 year = 0;
    qint64 halfYear = 0;
    qint64 quarter = 0;
    qint64 month = 0;
    qint64 week = 0;
    qint64 day = 0;
};
Earnings EarningsFor(qint64 amountUnits, int apr);

// The amount the earnings are computed from, in units, or nothing when the
// field is empty or negative (no figure changes then). Throws
// numtext::ConversionError when the text is not an amount the service takes
// (at most eight decimals).
std::optional<qint64> EarningAmount(const QString& fieldText);

// "0,10000000 BTC": fixed-8 text, a space, the upper-case coin.
QString FigureText(qint64 units, const QString& coinUpper);

// The rental list: its index is the rental code sent to the server.
const QStringList& RentalPeriods();
// Fee percent of a rental code; throws std::out_of_range outside the list.
int RentalFeePercent(int index);
inline constexpr int PlaceholderRentalIndex = 0;
inline constexpr int DefaultRentalIndex = 3; // "1 Year (15% fee)"

// "+0,85000000 BTC": the amount less the period's fee, as the service returns
// it when the rental ends. Throws numtext::ConversionError when the field's
// text is not an amount.
QString EndingRentalText(const QString& fieldText, int rentalIndex, const QString& coinUpper);

} // namespace invest
