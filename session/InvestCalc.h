#pragma once
// The invest screen's figures: what an amount earns at the coin's APR, and
// what comes back when the rental ends.
#include <QString>
#include <QStringList>
#include <optional>

namespace invest {

// Year = amount / 100 * APR; each figure from the one before: half, half,
// a third (month), a fourth (week), a seventh (day). A day is a 336th of a year.
struct Earnings {
    double year = 0;
    double halfYear = 0;
    double quarter = 0;
    double month = 0;
    double week = 0;
    double day = 0;
};
Earnings EarningsFor(double amount, int apr);

// The amount the earnings are computed from, or nothing when the field is
// empty or negative (no figure changes then). Throws
// numtext::ConversionError when the text is not a number.
std::optional<double> EarningAmount(const QString& fieldText);

// "0,10000000 BTC": fixed-8 text, a space, the upper-case coin.
QString FigureText(double value, const QString& coinUpper);

// The rental list: its index is the rental code sent to the server.
const QStringList& RentalPeriods();
// Fee percent of a rental code; throws std::out_of_range outside the list.
int RentalFeePercent(int index);
inline constexpr int PlaceholderRentalIndex = 0;
inline constexpr int DefaultRentalIndex = 3; // "1 Year (15% fee)"

// "+0,85000000 BTC": the amount less the period's fee. Throws
// numtext::ConversionError when the field's text is not a number.
QString EndingRentalText(const QString& fieldText, int rentalIndex, const QString& coinUpper);

} // namespace invest
