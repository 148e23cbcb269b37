#pragma once
// Texts the dashboard derives from the selected coin's figures.
#include <QString>

namespace figures {

// Year, half-year, quarter, week (a 48th of the year) and day (a 336th), one
// per line: "Year: 0,30000000DOGE" ...
QString EarningsProjection(double investedAmount, int apr, const QString& coinUpper);

QString AprExplanation();

// A tenth of the minimum withdrawal ("0,0005" gives "0,00005").
QString WithdrawFixedFee(const QString& minimumWithComma);

// "0,00005+3%"
QString WithdrawFeeText(const QString& fixedFee, int withdrawPercent);

} // namespace figures
