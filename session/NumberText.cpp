#include "NumberText.h"

#include "Money.h"

#include <QRegularExpression>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace numtext {

ConversionError::ConversionError(const QString& message) : std::runtime_error(message.toStdString()) {}

double ParseNumber(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^\s*[+-]?(\d+(,\d*)?|,\d+)([eE][+-]?\d+)?\s*$)"));
    if (!pattern.match(text).hasMatch())
        throw ConversionError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    std::string c = text.trimmed().toStdString();
    for (char& ch : c)
        if (ch == ',') ch = '.';
    // from_chars, not strtod: strtod follows LC_NUMERIC, which QCoreApplication
    // takes from the desktop, and would stop at "." in a decimal-comma language.
    const char* first = c.data();
    const char* last = c.data() + c.size();
    if (first != last && *first == '+') ++first; // from_chars takes no plus sign
    double v = 0;
    const auto [end, ec] = std::from_chars(first, last, v);
    if (ec != std::errc() || end != last || !std::isfinite(v))
        throw ConversionError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return v;
}

double ParseAmount(const QString& text)
{
    QString t = text;
    t.replace(QLatin1Char('.'), QLatin1Char(','));
    return ParseNumber(t);
}

int ParseWhole(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^\s*[+-]?\d+\s*$)"));
    bool ok = false;
    int v = 0;
    if (pattern.match(text).hasMatch()) v = text.trimmed().toInt(&ok, 10);
    if (!ok) throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return v;
}

QString Fixed8(double value)
{
    if (!std::isfinite(value)) return General(value);
    if (std::fabs(value) < 5e-9) value = 0.0; // no "-0,00000000"
    // Rounded to 18 significant digits first; the exponent decides the layout.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17e", std::fabs(value));
    const std::string s(buf);
    const auto ePos = s.find('e');
    const int exponent = std::atoi(s.c_str() + ePos + 1);
    if (exponent < 10) {
        // At most 10 digits before the separator: eight after it stay within 18.
        QString text = QString::number(value, 'f', 8);
        text.replace(QLatin1Char('.'), QLatin1Char(','));
        return text;
    }
    if (exponent >= 18) return General(value); // no fixed-point text within 18 digits: 1E308, -2,5E20
    // 11 to 18 digits before the separator: the rest of the 18 after it, then zeros.
    const std::string digits = s.substr(0, 1) + s.substr(2, ePos - 2); // 18 digits
    const size_t intLen = size_t(exponent) + 1;
    std::string fraction = digits.substr(intLen);
    fraction.resize(8, '0');
    return QString::fromStdString((value < 0 ? "-" : "") + digits.substr(0, intLen) + "," + fraction);
}

QString Truncated8(double value)
{
    if (!std::isfinite(value)) return General(value);
    if (value == 0) return QStringLiteral("0");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    const std::string s(buf);
    const auto ePos = s.find('e');
    const std::string digits = s.substr(0, 1) + s.substr(2, ePos - 2); // 15 digits
    const int exponent = std::atoi(s.c_str() + ePos + 1);
    std::string whole, fraction;
    if (exponent < 0) {
        whole = "0";
        fraction = std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else if (static_cast<size_t>(exponent) + 1 >= digits.size()) {
        whole = digits + std::string(static_cast<size_t>(exponent) + 1 - digits.size(), '0');
    } else {
        whole = digits.substr(0, static_cast<size_t>(exponent) + 1);
        fraction = digits.substr(static_cast<size_t>(exponent) + 1);
    }
    if (fraction.size() > 8) fraction.resize(8);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (whole == "0" && fraction.empty()) return QStringLiteral("0");
    std::string out = value < 0 ? "-" : "";
    out += whole;
    if (!fraction.empty()) out += "," + fraction;
    return QString::fromStdString(out);
}

qint64 ParseUnits(const QString& text)
{
    const QString t = text.trimmed();
    const bool negative = t.startsWith(QLatin1Char('-'));
    const QString digits = negative || t.startsWith(QLatin1Char('+')) ? t.mid(1) : t;
    // Only ASCII reaches the parser: a non-ASCII digit must not pass as a byte.
    bool ascii = true;
    for (QChar ch : digits) ascii = ascii && ch.unicode() < 0x80;
    const std::string bytes = digits.toStdString();
    const auto units = ascii ? money::Parse(bytes) : std::nullopt;
    if (!units) throw ConversionError(QStringLiteral("'%1' is not a valid amount").arg(text));
    return negative ? -*units : *units;
}

qint64 ParseUnitsTruncated(const QString& text)
{
    const QString t = text.trimmed();
    bool ok = !t.contains(QLatin1Char('.'));
    for (QChar ch : t) ok = ok && ch.unicode() < 0x80;
    const auto units = ok ? money::ParseTruncated(t.toStdString()) : std::nullopt;
    if (!units) throw ConversionError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return *units;
}

QString FixedUnits(qint64 units)
{
    return QString::fromStdString(money::Format(units, ','));
}

QString AmountText(const QString& text)
{
    try {
        return FixedUnits(ParseUnits(text));
    } catch (const ConversionError&) {
    }
    return Fixed8(ParseAmount(text));
}

QString General(double value)
{
    if (value == 0) return QStringLiteral("0");
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");

    // 15 significant digits, then decide the layout from the rounded exponent.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    std::string s(buf);
    const auto ePos = s.find('e');
    std::string digits = s.substr(0, 1) + s.substr(2, ePos - 2);
    const int exponent = std::atoi(s.c_str() + ePos + 1);
    // Rounding up may step past the largest double, and the text would then
    // not read back as a number: keep to the largest 15 digits that do.
    if (exponent == 308 && digits > "179769313486231") digits = "179769313486231";
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out = value < 0 ? "-" : "";
    if (exponent < -5 || exponent >= 15) {
        out += digits[0];
        if (digits.size() > 1) out += "," + digits.substr(1);
        out += "E" + std::to_string(exponent);
    } else if (exponent < 0) {
        out += "0," + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else {
        const size_t intLen = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= intLen) {
            out += digits + std::string(intLen - digits.size(), '0');
        } else {
            out += digits.substr(0, intLen) + "," + digits.substr(intLen);
        }
    }
    return QString::fromStdString(out);
}

} // namespace numtext
