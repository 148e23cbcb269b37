#pragma once
// Texts the dashboard derives from the selected coin's figures.
#include <QString>
#include <QtGlobal>

namespace figures {

// Year, half-year, quarter, week (seven days) and day (a 365th of the year),
// one per line: "Year: 0,30000000DOGE" ... The figures are the invest
// screen's, computed as the service's accrual pays them. The amount is the
// invested amount as the dashboard shows it (fixed-8, so exact in units).
QString EarningsProjection(qint64 investedUnits, int apr, const QString& coinUpper);
QString EarningsProjection(double investedAmount, int apr, const QString& coinUpper);

QString AprExplanation();

// A tenth of the minimum withdrawal ("0,0005" gives "0,00005"), cut to eight
// decimals as the service cuts it ("0,00000015" gives "1E-8").
QString WithdrawFixedFee(const QString& minimumWithComma);

// "0,00005+3%"
QString WithdrawFeeText(const QString& fixedFee, int withdrawPercent);

} // namespace figures
