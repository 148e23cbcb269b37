#pragma once
// Amounts are whole numbers of the smallest unit, 10^-8 of a coin: no
// floating point anywhere near a balance.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace money {

inline constexpr std::int64_t Unit = 100'000'000;
// Ten digits before the separator keep every product of two amounts inside 128 bits
// and every sum of balances far from the int64 limit.
inline constexpr int MaxIntegerDigits = 10;

// "0.5", "0,5", "12", "0,12345678": digits, at most one "." or ",", at most
// eight decimals. Anything else (signs, exponents, spaces, NaN) is no amount.
std::optional<std::int64_t> Parse(std::string_view text);

// 12345678 -> "0.12345678"; always eight decimals, "." as separator (the
// wire's) unless told otherwise (the client shows ",": "0,12345678").
std::string Format(std::int64_t units, char separator = '.');

// The same without trailing zeros ("0.0005", "20"), for the settings.
std::string FormatShort(std::int64_t units, char separator = '.');

// A number text in the general form the client writes for small fees
// ("5E-6", "1,5E-8", "0,00005", "2") as whole units, digits past the eighth
// decimal cut off (toward zero), as the service cuts a tenth of a minimum.
// Signs, blanks and anything not a decimal number give nullopt, as does a
// value outside MaxIntegerDigits.
std::optional<std::int64_t> ParseTruncated(std::string_view text);

// Millionths of a coin as a decimal text, for the lottery's players file
// (-150 -> "-1.50").
std::string FormatMillionths(std::int64_t units);

// A result outside the 64-bit range: the movement it belongs to is refused whole.
struct Overflow : std::overflow_error {
    using std::overflow_error::overflow_error;
};

// a * b / c rounded toward zero, computed in 128 bits; nullopt when c is not
// above zero or the result does not fit 64 bits.
std::optional<std::int64_t> CheckedMulDiv(std::int64_t a, std::int64_t b, std::int64_t c);
// The same, throwing Overflow instead of wrapping.
std::int64_t MulDiv(std::int64_t a, std::int64_t b, std::int64_t c);
// a + b, throwing Overflow when the sum leaves the 64-bit range.
std::int64_t Add(std::int64_t a, std::int64_t b);

} // namespace money
