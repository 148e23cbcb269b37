// Number texts: every amount, percentage and figure from the server passes
// through these parsers, and every figure shown through the two formats.
#include "FuzzSupport.h"
#include "NumberText.h"

#include <QRegularExpression>
#include <cstring>

namespace {

using fuzz::Check;

// What Fixed8 and General write must read back as (nearly) the same number.
void CheckFormats(double v)
{
    if (!std::isfinite(v)) return;

    const QString fixed = numtext::Fixed8(v);
    Check(!fixed.contains(QLatin1Char('.')), "Fixed8 writes no '.'");
    Check(fixed != QLatin1String("-0,00000000"), "Fixed8 writes no negative zero");
    double back = 0;
    try {
        back = numtext::ParseNumber(fixed);
    } catch (const numtext::ConversionError&) {
        Check(false, "Fixed8 text reads back");
    }
    Check(fuzz::Near(back, v, 1e-14, 5e-9), "Fixed8 text reads back as the value");
    if (std::fabs(v) < 9e17) {
        static const QRegularExpression eight(QStringLiteral("^-?[0-9]+,[0-9]{8}$"));
        Check(eight.match(fixed).hasMatch(), "Fixed8 has eight decimals below 10^18");
    }

    const QString general = numtext::General(v);
    Check(!general.contains(QLatin1Char('.')), "General writes no '.'");
    try {
        back = numtext::ParseNumber(general);
    } catch (const numtext::ConversionError&) {
        Check(false, "General text reads back");
    }
    Check(fuzz::Near(back, v, 1e-14, 1e-323), "General text reads back as the value");
    // Shortest form: no trailing zero after the separator.
    const qsizetype e = general.indexOf(QLatin1Char('E'));
    const QString mantissa = e < 0 ? general : general.left(e);
    if (mantissa.contains(QLatin1Char(',')))
        Check(!mantissa.endsWith(QLatin1Char('0')) && !mantissa.endsWith(QLatin1Char(',')),
              "General has no trailing zeros");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first eight bytes are also taken as a double, to reach the formats
    // with values no text would produce (subnormals, extremes).
    if (size >= 8) {
        double raw = 0;
        std::memcpy(&raw, data, sizeof raw);
        CheckFormats(raw);
    }

    const QString text = fuzz::Text(data, size);
    bool isNumber = false;
    double number = 0;
    try {
        number = numtext::ParseNumber(text);
        isNumber = true;
        Check(std::isfinite(number), "ParseNumber gives finite numbers");
        Check(!text.contains(QLatin1Char('.')), "ParseNumber takes no '.'");
        CheckFormats(number);
    } catch (const numtext::ConversionError& e) {
        Check(!e.message().isEmpty(), "a conversion error says what failed");
    }

    try {
        const double amount = numtext::ParseAmount(text);
        Check(std::isfinite(amount), "ParseAmount gives finite numbers");
        if (isNumber) Check(amount == number, "ParseAmount agrees with ParseNumber without '.'");
        CheckFormats(amount);
    } catch (const numtext::ConversionError&) {
        Check(!isNumber, "ParseAmount takes what ParseNumber takes");
    }

    try {
        const int whole = numtext::ParseWhole(text);
        // A whole number is a number too, and the same one.
        Check(isNumber && number == whole, "ParseWhole agrees with ParseNumber");
    } catch (const numtext::ConversionError&) {
    }

    // Amounts in units: what is taken is written back and read back as the same units.
    try {
        const qint64 units = numtext::ParseUnits(text);
        const QString written = numtext::FixedUnits(units);
        Check(numtext::ParseUnits(written) == units, "an amount in units reads back");
    } catch (const numtext::ConversionError&) {
    }
    try {
        const qint64 units = numtext::ParseUnitsTruncated(text);
        Check(units >= 0, "ParseUnitsTruncated gives no amount below zero");
    } catch (const numtext::ConversionError&) {
    }
    return 0;
}
