#include "Money.h"

namespace money {

std::optional<std::int64_t> Parse(std::string_view text)
{
    std::int64_t whole = 0, frac = 0;
    int intDigits = 0, fracDigits = 0;
    bool separator = false;
    for (char c : text) {
        if (c == '.' || c == ',') {
            if (separator || intDigits == 0) return std::nullopt;
            separator = true;
        } else if (c >= '0' && c <= '9') {
            if (!separator) {
                if (++intDigits > MaxIntegerDigits && whole > 0) return std::nullopt;
                whole = whole * 10 + (c - '0');
            } else {
                if (++fracDigits > 8) return std::nullopt;
                frac = frac * 10 + (c - '0');
            }
        } else {
            return std::nullopt;
        }
    }
    if (intDigits == 0 || (separator && fracDigits == 0)) return std::nullopt;
    if (whole >= static_cast<std::int64_t>(1e10)) return std::nullopt;
    for (int i = fracDigits; i < 8; ++i) frac *= 10;
    return whole * Unit + frac;
}

std::string Format(std::int64_t units, char separator)
{
    const bool negative = units < 0;
    const unsigned long long v = negative ? 0ULL - static_cast<unsigned long long>(units) : units;
    std::string frac = std::to_string(v % Unit);
    frac.insert(0, 8 - frac.size(), '0');
    return (negative ? "-" : "") + std::to_string(v / Unit) + separator + frac;
}

std::string FormatShort(std::int64_t units, char separator)
{
    std::string s = Format(units, separator);
    while (s.back() == '0') s.pop_back();
    if (s.back() == separator) s.pop_back();
    return s;
}

std::optional<std::int64_t> ParseTruncated(std::string_view text)
{
    // Mantissa digits and the position of the separator, then the exponent
    // moves that position; no floating point on the way.
    std::string digits;
    int pointAt = -1;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (digits.size() > 64) return std::nullopt;
            digits += c;
        } else if ((c == '.' || c == ',') && pointAt < 0) {
            pointAt = static_cast<int>(digits.size());
        } else {
            break;
        }
    }
    if (digits.empty()) return std::nullopt;
    if (pointAt < 0) pointAt = static_cast<int>(digits.size());
    if (i < text.size()) {
        if (text[i] != 'e' && text[i] != 'E') return std::nullopt;
        ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
        if (i == text.size()) return std::nullopt;
        int exponent = 0;
        for (; i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9' || exponent > 1000) return std::nullopt;
            exponent = exponent * 10 + (text[i] - '0');
        }
        pointAt += negative ? -exponent : exponent;
    }
    // Whole part: the digits before pointAt (zeros past the end of the mantissa);
    // fraction: the eight after it (zeros before its start).
    std::int64_t whole = 0, frac = 0;
    int intDigits = 0;
    for (int k = 0; k < pointAt; ++k) {
        const int d = k < static_cast<int>(digits.size()) ? digits[static_cast<std::size_t>(k)] - '0' : 0;
        if (whole == 0 && d == 0) continue;
        if (++intDigits > MaxIntegerDigits) return std::nullopt;
        whole = whole * 10 + d;
    }
    for (int k = pointAt; k < pointAt + 8; ++k) {
        const int d = k >= 0 && k < static_cast<int>(digits.size()) ? digits[static_cast<std::size_t>(k)] - '0' : 0;
        frac = frac * 10 + d;
    }
    return whole * Unit + frac;
}

std::string FormatMillionths(std::int64_t units)
{
    // The sign once, then the magnitude: the remainder of a negative number is negative too.
    const bool negative = units < 0;
    const unsigned long long v = negative ? 0ULL - static_cast<unsigned long long>(units) : units;
    std::string cents = std::to_string(v % 100);
    if (cents.size() < 2) cents.insert(0, 1, '0');
    return (negative ? "-" : "") + std::to_string(v / 100) + "." + cents;
}

std::optional<std::int64_t> CheckedMulDiv(std::int64_t a, std::int64_t b, std::int64_t c)
{
    if (c <= 0) return std::nullopt;
    const __int128 r = static_cast<__int128>(a) * b / c; // |a * b| < 2^126: no overflow in 128 bits
    if (r > INT64_MAX || r < INT64_MIN) return std::nullopt;
    return static_cast<std::int64_t>(r);
}

std::int64_t MulDiv(std::int64_t a, std::int64_t b, std::int64_t c)
{
    auto r = CheckedMulDiv(a, b, c);
    if (!r) throw Overflow("amount out of range: " + std::to_string(a) + " x " + std::to_string(b) + " / " +
                           std::to_string(c));
    return *r;
}

std::int64_t Add(std::int64_t a, std::int64_t b)
{
    std::int64_t r;
    if (__builtin_add_overflow(a, b, &r))
        throw Overflow("amount out of range: " + std::to_string(a) + " + " + std::to_string(b));
    return r;
}

} // namespace money
