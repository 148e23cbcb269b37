#pragma once
// Shared by the fuzz targets: an abort on a broken expectation (libFuzzer
// keeps the input that caused it), and splitting one input into texts.
#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace fuzz {

inline void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "broken expectation: %s\n", what);
        std::abort();
    }
}

// The input as UTF-8 text, the way the HTTP client hands a body on.
inline QString Text(const std::uint8_t* data, std::size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// The text before the first line break, and the rest after it (all of it is
// the second part when there is no line break).
inline std::pair<QString, QString> SplitFirstLine(const QString& text)
{
    const qsizetype at = text.indexOf(QLatin1Char('\n'));
    if (at < 0) return {QString(), text};
    return {text.left(at), text.mid(at + 1)};
}

// a and b differ by at most 'absolute' (a rounding step of a format) plus
// 'relative' of their size (the digits a format keeps, a double's precision).
inline bool Near(double a, double b, double relative, double absolute = 0)
{
    return std::fabs(a - b) <= absolute + relative * std::fmax(std::fabs(a), std::fabs(b));
}

} // namespace fuzz
