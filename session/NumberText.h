#pragma once
// Number texts of the client. The process-wide format is fixed: "," is the
// decimal separator and there is no group separator, whatever the OS locale.
#include <QString>
#include <QtGlobal>
#include <stdexcept>

namespace numtext {

// Thrown when a text is not a number; what() carries the user-facing message.
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const QString& message);
    QString message() const { return QString::fromUtf8(what()); }
};

// Parses a text in the process-wide format ("1,5", "-2", "3E-4"); surrounding
// blanks are allowed, group separators are not.
double ParseNumber(const QString& text);

// Server amounts use "." as decimal point: every "." becomes "," first.
double ParseAmount(const QString& text);

// Whole numbers (APR, withdrawal percentage): "015" is 15, "12.5" fails.
int ParseWhole(const QString& text);

// Exactly eight digits after ",", rounded to nearest: 0,50000000. At most 18
// significant digits: from 10^10 up the digits beyond the 18th are zeros
// (1000000000000000,25 gives 1000000000000000,25000000), and from 10^18 up,
// where no fixed-point text fits in 18 digits, the general format's
// scientific notation is used (1E308, -2,5E20).
QString Fixed8(double value);

// At most eight digits after ",", the rest cut off (rounded toward zero, as the
// service takes amounts), trailing zeros dropped, never in exponent form:
// 0,40000000000001 gives 0,4 and 1,23456789999 gives 1,23456789. The value is
// first taken to 15 significant digits, so that 0,1 × 3 reads 0,3, not 0,29999999.
QString Truncated8(double value);

// Amounts as the service keeps them: whole units of 10^-8 (qint64).
//
// An amount as typed: blanks around and a leading sign allowed, then digits
// with at most one "." or ",", at most eight decimals and ten whole digits, as
// the service takes it (no exponent, no group separator). Throws
// ConversionError otherwise.
qint64 ParseUnits(const QString& text);

// A number text in the process-wide format, exponent form included ("5E-6",
// "0,00005"), as units: digits past the eighth decimal are cut off (toward
// zero), as the service cuts them. Throws ConversionError when the text is not
// such a number (a "." included) or is negative.
qint64 ParseUnitsTruncated(const QString& text);

// Units as fixed-8 text with ",": 10000000 gives 0,10000000, -2 gives -0,00000002.
QString FixedUnits(qint64 units);

// A server amount ("." or ",") as fixed-8 text: exact when it is an amount of
// at most eight decimals and ten whole digits, as the service writes them;
// otherwise as Fixed8(ParseAmount(text)). Throws ConversionError when the text
// is not a number.
QString AmountText(const QString& text);

// Shortest text with at most 15 significant digits; exponent form below
// 0.00001 and from 10^15 up, written like 5E-6 or 1,5E15.
QString General(double value);

} // namespace numtext
