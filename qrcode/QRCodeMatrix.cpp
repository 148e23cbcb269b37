// Module matrix: function patterns, format and version information, data
// placement, the eight masks and their penalty scores.
#include "QRCode.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

void TByteMatrix::Clear(std::uint8_t value)
{
    std::fill(FBytes.begin(), FBytes.end(), value);
}

// ---------------------------------------------------------------------------
// TMaskUtil

bool TMaskUtil::GetDataMaskBit(int maskPattern, int x, int y)
{
    switch (maskPattern) {
    case 0:
        return ((x + y) & 1) == 0;
    case 1:
        return (y & 1) == 0;
    case 2:
        return x % 3 == 0;
    case 3:
        return (x + y) % 3 == 0;
    case 4:
        return ((y / 2 + x / 3) & 1) == 0;
    case 5: {
        int t = x * y;
        return (t & 1) + t % 3 == 0;
    }
    case 6: {
        int t = x * y;
        return (((t & 1) + t % 3) & 1) == 0;
    }
    case 7:
        return ((x * y % 3 + ((x + y) & 1)) & 1) == 0;
    default:
        return false;
    }
}

// Scoring eight full matrices is most of an encoding's work, so the rules run
// on the rows packed into bits (bit x of a row = module x): one word
// operation then checks 64 positions of a row at once, and the column rules
// combine whole rows, so no transposed copy is needed.

namespace {

int PopCount(std::uint64_t v)
{
    v = v - ((v >> 1) & 0x5555555555555555ULL);
    v = (v & 0x3333333333333333ULL) + ((v >> 2) & 0x3333333333333333ULL);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return static_cast<int>((v * 0x0101010101010101ULL) >> 56);
}

// A row of up to 64 * W - 8 modules: room for 4 padding bits on each side.
// W is 1 up to version 9, 2 up to version 25 and 3 up to version 40.
template <int W>
using TBits = std::array<std::uint64_t, W>;

// Bit x of the result is bit x + k of a (0 < k < 64).
template <int W>
TBits<W> ShiftDown(const TBits<W>& a, int k)
{
    TBits<W> r;
    for (int i = 0; i < W - 1; ++i) r[i] = (a[i] >> k) | (a[i + 1] << (64 - k));
    r[W - 1] = a[W - 1] >> k;
    return r;
}

// Bit x of the result is bit x - k of a (0 < k < 64).
template <int W>
TBits<W> ShiftUp(const TBits<W>& a, int k)
{
    TBits<W> r;
    r[0] = a[0] << k;
    for (int i = 1; i < W; ++i) r[i] = (a[i] << k) | (a[i - 1] >> (64 - k));
    return r;
}

// Bits first..last set (inclusive); empty if last < first.
template <int W>
TBits<W> Range(int first, int last)
{
    TBits<W> r{};
    for (int i = 0; i < W; ++i) {
        int lo = std::max(first, 64 * i);
        int hi = std::min(last, 64 * i + 63);
        if (lo > hi) continue;
        int count = hi - lo + 1;
        std::uint64_t ones = count == 64 ? ~0ULL : ((1ULL << count) - 1);
        r[i] = ones << (lo - 64 * i);
    }
    return r;
}

template <int W>
struct TPackedMatrix {
    int width = 0;
    int height = 0;
    std::vector<TBits<W>> rows;

    explicit TPackedMatrix(const TByteMatrix& m) : width(m.Width()), height(m.Height())
    {
        rows.resize(static_cast<std::size_t>(height));
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* src = m.Row(y);
            TBits<W> bits{};
            int x = 0;
            for (; x + 8 <= width; x += 8) {
                std::uint64_t eight;
                std::memcpy(&eight, src + x, 8);
                // Gathers the low bit of each byte, first byte lowest.
                eight &= 0x0101010101010101ULL;
                std::uint64_t packed = (eight * 0x0102040810204080ULL) >> 56;
                bits[static_cast<std::size_t>(x >> 6)] |= packed << (x & 63);
            }
            for (; x < width; ++x)
                bits[static_cast<std::size_t>(x >> 6)] |= static_cast<std::uint64_t>(src[x] & 1u) << (x & 63);
            rows[static_cast<std::size_t>(y)] = bits;
        }
    }

    const TBits<W>& Row(int y) const { return rows[static_cast<std::size_t>(y)]; }
};

template <int W>
int Rule1(const TPackedMatrix<W>& m)
{
    // A run of k >= 5 scores k - 2: one point for each of its k - 4 windows of
    // five equal modules, plus two for the window where the run starts.
    const int w = m.width;
    const int h = m.height;
    int total = 0;
    if (w >= 5) {
        const TBits<W> valid = Range<W>(0, w - 5);
        for (int y = 0; y < h; ++y) {
            const TBits<W>& r = m.Row(y);
            TBits<W> e = ShiftDown<W>(r, 1);
            for (int i = 0; i < W; ++i) e[i] = ~(r[i] ^ e[i]); // module x equals x + 1
            TBits<W> e1 = ShiftDown<W>(e, 1), e2 = ShiftDown<W>(e, 2), e3 = ShiftDown<W>(e, 3),
                     before = ShiftUp<W>(e, 1);
            for (int i = 0; i < W; ++i) {
                std::uint64_t same = e[i] & e1[i] & e2[i] & e3[i] & valid[i];
                total += PopCount(same) + 2 * PopCount(same & ~before[i]);
            }
        }
    }
    const TBits<W> valid = Range<W>(0, w - 1);
    for (int y = 0; y + 4 < h; ++y) {
        const TBits<W>&a = m.Row(y), &b = m.Row(y + 1), &c = m.Row(y + 2), &d = m.Row(y + 3), &e = m.Row(y + 4);
        for (int i = 0; i < W; ++i) {
            std::uint64_t same = ((a[i] & b[i] & c[i] & d[i] & e[i]) | ~(a[i] | b[i] | c[i] | d[i] | e[i])) & valid[i];
            std::uint64_t start = y == 0 ? ~0ULL : (m.Row(y - 1)[i] ^ a[i]);
            total += PopCount(same) + 2 * PopCount(same & start);
        }
    }
    return total;
}

template <int W>
int Rule2(const TPackedMatrix<W>& m)
{
    const int w = m.width;
    const int h = m.height;
    if (w < 2) return 0;
    const TBits<W> valid = Range<W>(0, w - 2);
    int blocks = 0;
    for (int y = 0; y + 1 < h; ++y) {
        const TBits<W>& a = m.Row(y);
        const TBits<W>& b = m.Row(y + 1);
        TBits<W> vertical;
        for (int i = 0; i < W; ++i) vertical[i] = ~(a[i] ^ b[i]);
        TBits<W> right = ShiftDown<W>(a, 1), verticalRight = ShiftDown<W>(vertical, 1);
        for (int i = 0; i < W; ++i) blocks += PopCount(~(a[i] ^ right[i]) & vertical[i] & verticalRight[i] & valid[i]);
    }
    return 3 * blocks;
}

template <int W>
int Rule3(const TPackedMatrix<W>& m)
{
    // Modules outside the symbol never count as light: rows get four dark
    // padding modules on each side, and missing rows read as all dark.
    const int w = m.width;
    const int h = m.height;
    int found = 0;
    if (w >= 7) {
        TBits<W> padding = Range<W>(0, 3);
        const TBits<W> tail = Range<W>(w + 4, w + 7);
        for (int i = 0; i < W; ++i) padding[i] |= tail[i];
        const TBits<W> valid = Range<W>(4, w - 3); // pattern starts, in padded positions
        for (int y = 0; y < h; ++y) {
            TBits<W> q = ShiftUp<W>(m.Row(y), 4);
            for (int i = 0; i < W; ++i) q[i] |= padding[i];
            TBits<W> q1 = ShiftDown<W>(q, 1), q2 = ShiftDown<W>(q, 2), q3 = ShiftDown<W>(q, 3), q4 = ShiftDown<W>(q, 4),
                     q5 = ShiftDown<W>(q, 5), q6 = ShiftDown<W>(q, 6), q7 = ShiftDown<W>(q, 7), q8 = ShiftDown<W>(q, 8),
                     q9 = ShiftDown<W>(q, 9), q10 = ShiftDown<W>(q, 10);
            TBits<W> p1 = ShiftUp<W>(q, 1), p2 = ShiftUp<W>(q, 2), p3 = ShiftUp<W>(q, 3), p4 = ShiftUp<W>(q, 4);
            for (int i = 0; i < W; ++i) {
                std::uint64_t pattern = q[i] & ~q1[i] & q2[i] & q3[i] & q4[i] & ~q5[i] & q6[i] & valid[i];
                if (pattern == 0) continue;
                std::uint64_t after = ~(q7[i] | q8[i] | q9[i] | q10[i]);
                std::uint64_t before = ~(p1[i] | p2[i] | p3[i] | p4[i]);
                found += PopCount(pattern & (after | before));
            }
        }
    }
    if (h >= 7) {
        const TBits<W> valid = Range<W>(0, w - 1);
        TBits<W> dark;
        dark.fill(~0ULL);
        auto row = [&](int y) -> const TBits<W>& { return (y >= 0 && y < h) ? m.Row(y) : dark; };
        for (int s = 0; s + 6 < h; ++s) {
            const TBits<W>&r0 = row(s), &r1 = row(s + 1), &r2 = row(s + 2), &r3 = row(s + 3), &r4 = row(s + 4),
                  &r5 = row(s + 5), &r6 = row(s + 6);
            for (int i = 0; i < W; ++i) {
                std::uint64_t pattern = r0[i] & ~r1[i] & r2[i] & r3[i] & r4[i] & ~r5[i] & r6[i] & valid[i];
                if (pattern == 0) continue;
                std::uint64_t after = ~(row(s + 7)[i] | row(s + 8)[i] | row(s + 9)[i] | row(s + 10)[i]);
                std::uint64_t before = ~(row(s - 1)[i] | row(s - 2)[i] | row(s - 3)[i] | row(s - 4)[i]);
                found += PopCount(pattern & (after | before));
            }
        }
    }
    return 40 * found;
}

template <int W>
int Rule4(const TPackedMatrix<W>& m)
{
    long long total = static_cast<long long>(m.width) * m.height;
    if (total == 0) return 0;
    long long dark = 0;
    for (int y = 0; y < m.height; ++y)
        for (int i = 0; i < W; ++i) dark += PopCount(m.Row(y)[i]);
    long long fivePercentVariances = std::llabs(2 * dark - total) * 10 / total;
    return static_cast<int>(10 * fivePercentVariances);
}

// Matrices wider than any symbol (only possible when the rules are applied
// to arbitrary matrices) are scored module by module.
struct TPlainMatrix {
    const TByteMatrix& m;
};

int LineModule(const TByteMatrix& m, bool rows, int line, int i)
{
    return (rows ? m.Get(i, line) : m.Get(line, i)) == 1 ? 1 : 0;
}

int Rule1(const TPlainMatrix& p)
{
    int total = 0;
    for (bool rows : {true, false}) {
        const int lines = rows ? p.m.Height() : p.m.Width();
        const int length = rows ? p.m.Width() : p.m.Height();
        for (int line = 0; line < lines; ++line) {
            int run = 0;
            for (int i = 0; i <= length; ++i) {
                if (i < length && (run == 0 || LineModule(p.m, rows, line, i) == LineModule(p.m, rows, line, i - 1))) {
                    ++run;
                    continue;
                }
                if (run >= 5) total += 3 + (run - 5);
                run = 1;
            }
        }
    }
    return total;
}

int Rule2(const TPlainMatrix& p)
{
    int blocks = 0;
    for (int y = 0; y + 1 < p.m.Height(); ++y)
        for (int x = 0; x + 1 < p.m.Width(); ++x) {
            int v = LineModule(p.m, true, y, x);
            blocks += v == LineModule(p.m, true, y, x + 1) && v == LineModule(p.m, true, y + 1, x) &&
                      v == LineModule(p.m, true, y + 1, x + 1);
        }
    return 3 * blocks;
}

int Rule3(const TPlainMatrix& p)
{
    static constexpr int kPattern[7] = {1, 0, 1, 1, 1, 0, 1};
    int found = 0;
    for (bool rows : {true, false}) {
        const int lines = rows ? p.m.Height() : p.m.Width();
        const int length = rows ? p.m.Width() : p.m.Height();
        auto light4 = [&](int line, int from) {
            if (from < 0 || from + 4 > length) return false;
            for (int k = 0; k < 4; ++k)
                if (LineModule(p.m, rows, line, from + k) != 0) return false;
            return true;
        };
        for (int line = 0; line < lines; ++line)
            for (int s = 0; s + 7 <= length; ++s) {
                bool match = true;
                for (int k = 0; k < 7 && match; ++k) match = LineModule(p.m, rows, line, s + k) == kPattern[k];
                if (match && (light4(line, s + 7) || light4(line, s - 4))) ++found;
            }
    }
    return 40 * found;
}

int Rule4(const TPlainMatrix& p)
{
    long long total = static_cast<long long>(p.m.Width()) * p.m.Height();
    if (total == 0) return 0;
    long long dark = 0;
    for (std::uint8_t b : p.m.GetArray()) dark += b == 1;
    return static_cast<int>(10 * (std::llabs(2 * dark - total) * 10 / total));
}

// Runs `score` on the packed form of the matrix, in as few words per row as
// it needs.
template <typename TScore>
int WithPacked(const TByteMatrix& matrix, TScore score)
{
    const int w = matrix.Width();
    if (w + 8 <= 64) return score(TPackedMatrix<1>(matrix));
    if (w + 8 <= 128) return score(TPackedMatrix<2>(matrix));
    if (w + 8 <= 192) return score(TPackedMatrix<3>(matrix));
    return score(TPlainMatrix{matrix});
}

} // namespace

int TMaskUtil::ApplyMaskPenaltyRule1(const TByteMatrix& matrix)
{
    return WithPacked(matrix, [](const auto& m) { return Rule1(m); });
}
int TMaskUtil::ApplyMaskPenaltyRule2(const TByteMatrix& matrix)
{
    return WithPacked(matrix, [](const auto& m) { return Rule2(m); });
}
int TMaskUtil::ApplyMaskPenaltyRule3(const TByteMatrix& matrix)
{
    return WithPacked(matrix, [](const auto& m) { return Rule3(m); });
}
int TMaskUtil::ApplyMaskPenaltyRule4(const TByteMatrix& matrix)
{
    return WithPacked(matrix, [](const auto& m) { return Rule4(m); });
}

int TMaskUtil::CalculateMaskPenalty(const TByteMatrix& matrix)
{
    return WithPacked(matrix, [](const auto& m) { return Rule1(m) + Rule2(m) + Rule3(m) + Rule4(m); });
}

// ---------------------------------------------------------------------------
// TMatrixUtil

namespace {

// Module k of the format word around the top-left finder, k = 0 the least
// significant bit.
constexpr int kTypeInfoCoordinates[15][2] = {
    {8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
    {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8},
};

constexpr int kTypeInfoPoly = 0x537;
constexpr int kTypeInfoMaskPattern = 0x5412;
constexpr int kVersionInfoPoly = 0x1F25;

int FindMSBSet(unsigned value)
{
    int n = 0;
    while (value != 0) {
        value >>= 1;
        ++n;
    }
    return n;
}

} // namespace

int TMatrixUtil::CalculateBCHCode(int value, int poly)
{
    unsigned v = static_cast<unsigned>(value);
    unsigned p = static_cast<unsigned>(poly);
    int msbSetInPoly = FindMSBSet(p);
    if (msbSetInPoly == 0) return 0;
    v <<= msbSetInPoly - 1;
    while (FindMSBSet(v) >= msbSetInPoly) v ^= p << (FindMSBSet(v) - msbSetInPoly);
    return static_cast<int>(v);
}

int TMatrixUtil::TypeInfoBits(const TErrorCorrectionLevel& ecLevel, int maskPattern)
{
    int typeInfo = ((ecLevel.Bits() & 3) << 3) | (maskPattern & 7);
    int word = (typeInfo << 10) | CalculateBCHCode(typeInfo, kTypeInfoPoly);
    return word ^ kTypeInfoMaskPattern;
}

int TMatrixUtil::VersionInfoBits(int versionNumber)
{
    int v = versionNumber & 0x3F;
    return (v << 12) | CalculateBCHCode(v, kVersionInfoPoly);
}

void TMatrixUtil::EmbedPositionDetectionPattern(int xStart, int yStart, TByteMatrix& matrix)
{
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x)
            if (matrix.Get(xStart + x, yStart + y) != -1) {
                FError = true;
                return;
            }
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 7; ++x) {
            bool ring = x == 0 || x == 6 || y == 0 || y == 6;
            bool centre = x >= 2 && x <= 4 && y >= 2 && y <= 4;
            matrix.SetBoolean(xStart + x, yStart + y, ring || centre);
        }
    }
}

void TMatrixUtil::EmbedPositionAdjustmentPattern(int xStart, int yStart, TByteMatrix& matrix)
{
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            if (matrix.Get(xStart + x, yStart + y) != -1) {
                FError = true;
                return;
            }
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            bool ring = x == 0 || x == 4 || y == 0 || y == 4;
            bool centre = x == 2 && y == 2;
            matrix.SetBoolean(xStart + x, yStart + y, ring || centre);
        }
    }
}

void TMatrixUtil::EmbedHorizontalSeparator(int xStart, int yStart, TByteMatrix& matrix)
{
    for (int x = 0; x < 8; ++x) {
        if (matrix.Get(xStart + x, yStart) != -1) {
            FError = true;
            return;
        }
        matrix.SetBoolean(xStart + x, yStart, false);
    }
}

void TMatrixUtil::EmbedVerticalSeparator(int xStart, int yStart, TByteMatrix& matrix)
{
    for (int y = 0; y < 7; ++y) {
        if (matrix.Get(xStart, yStart + y) != -1) {
            FError = true;
            return;
        }
        matrix.SetBoolean(xStart, yStart + y, false);
    }
}

void TMatrixUtil::EmbedBasicPatterns(const TVersion& version, TByteMatrix& matrix)
{
    const int n = matrix.Width();

    EmbedPositionDetectionPattern(0, 0, matrix);
    EmbedPositionDetectionPattern(n - 7, 0, matrix);
    EmbedPositionDetectionPattern(0, n - 7, matrix);

    EmbedHorizontalSeparator(0, 7, matrix);
    EmbedHorizontalSeparator(n - 8, 7, matrix);
    EmbedHorizontalSeparator(0, n - 8, matrix);
    EmbedVerticalSeparator(7, 0, matrix);
    EmbedVerticalSeparator(n - 8, 0, matrix);
    EmbedVerticalSeparator(7, n - 7, matrix);

    if (matrix.Get(8, n - 8) == 0) FError = true;
    matrix.SetBoolean(8, n - 8, true);

    if (version.GetVersionNumber() >= 2) {
        // Centres on the finder patterns are already taken and skipped.
        const std::vector<int>& centres = version.GetAlignmentPatternCenters();
        for (int y : centres)
            for (int x : centres)
                if (matrix.Get(x, y) == -1) EmbedPositionAdjustmentPattern(x - 2, y - 2, matrix);
    }

    for (int i = 8; i < n - 8; ++i) {
        bool dark = (i & 1) == 0;
        if (matrix.Get(i, 6) == -1) matrix.SetBoolean(i, 6, dark);
        if (matrix.Get(6, i) == -1) matrix.SetBoolean(6, i, dark);
    }
}

void TMatrixUtil::EmbedTypeInfo(const TErrorCorrectionLevel& ecLevel, int maskPattern, TByteMatrix& matrix)
{
    const int n = matrix.Width();
    int word = TypeInfoBits(ecLevel, maskPattern);
    for (int k = 0; k < 15; ++k) {
        bool bit = ((word >> k) & 1) != 0;
        matrix.SetBoolean(kTypeInfoCoordinates[k][0], kTypeInfoCoordinates[k][1], bit);
        if (k < 8) {
            matrix.SetBoolean(n - 1 - k, 8, bit);
        } else {
            matrix.SetBoolean(8, n - 15 + k, bit);
        }
    }
}

void TMatrixUtil::MaybeEmbedVersionInfo(const TVersion& version, TByteMatrix& matrix)
{
    if (version.GetVersionNumber() < 7) return;
    const int n = matrix.Width();
    int word = VersionInfoBits(version.GetVersionNumber());
    for (int k = 0; k < 18; ++k) {
        bool bit = ((word >> k) & 1) != 0;
        int a = k / 3;
        int b = n - 11 + k % 3;
        matrix.SetBoolean(a, b, bit);
        matrix.SetBoolean(b, a, bit);
    }
}

void TMatrixUtil::EmbedDataBits(const TBitArray& dataBits, int maskPattern, TByteMatrix& matrix,
                                std::vector<std::uint8_t>* dataModules)
{
    const int n = matrix.Width();
    if (dataModules) dataModules->assign(static_cast<std::size_t>(n) * static_cast<std::size_t>(n), 0);
    const int size = dataBits.GetSize();
    int bitIndex = 0;
    int direction = -1;
    int x = n - 1;
    int y = n - 1;
    while (x > 0) {
        // The vertical timing pattern takes column 6 entirely.
        if (x == 6) x -= 1;
        while (y >= 0 && y < n) {
            for (int i = 0; i < 2; ++i) {
                int xx = x - i;
                if (matrix.Get(xx, y) != -1) continue;
                bool bit = false;
                if (bitIndex < size) bit = dataBits.Get(bitIndex++);
                // Remainder bits (after the codewords run out) are masked like data.
                if (maskPattern >= 0 && TMaskUtil::GetDataMaskBit(maskPattern, xx, y)) bit = !bit;
                matrix.SetBoolean(xx, y, bit);
                if (dataModules)
                    (*dataModules)[static_cast<std::size_t>(y) * static_cast<std::size_t>(n) +
                                   static_cast<std::size_t>(xx)] = 1;
            }
            y += direction;
        }
        direction = -direction;
        y += direction;
        x -= 2;
    }
    if (bitIndex != size) FError = true;
}

void TMatrixUtil::BuildMatrix(const TBitArray& dataBits, const TErrorCorrectionLevel& ecLevel, TByteMatrix& matrix,
                              int maskPattern, const TVersion& version)
{
    ClearMatrix(matrix);
    EmbedBasicPatterns(version, matrix);
    EmbedTypeInfo(ecLevel, maskPattern, matrix);
    MaybeEmbedVersionInfo(version, matrix);
    EmbedDataBits(dataBits, maskPattern, matrix);
}

void TMatrixUtil::BuildUnmaskedTemplate(const TBitArray& dataBits, const TErrorCorrectionLevel& ecLevel,
                                        const TVersion& version, TByteMatrix& templ,
                                        std::vector<std::uint8_t>& dataModules)
{
    ClearMatrix(templ);
    EmbedBasicPatterns(version, templ);
    // Reserves the format modules; each candidate overwrites them.
    EmbedTypeInfo(ecLevel, 0, templ);
    MaybeEmbedVersionInfo(version, templ);
    EmbedDataBits(dataBits, -1, templ, &dataModules);
}

namespace {

// dst = src, with the mask applied to data modules. The rows never overlap;
// saying so spares the vectorised loop its run-time overlap checks.
void XorMaskedRow(std::uint8_t* __restrict dst, const std::uint8_t* __restrict src, const std::uint8_t* __restrict data,
                  const std::uint8_t* __restrict pattern, int n)
{
    for (int x = 0; x < n; ++x) dst[x] = static_cast<std::uint8_t>(src[x] ^ (data[x] & pattern[x]));
}

} // namespace

void TMatrixUtil::BuildFromTemplate(const TByteMatrix& templ, const std::vector<std::uint8_t>& dataModules,
                                    const TErrorCorrectionLevel& ecLevel, int maskPattern, TByteMatrix& matrix)
{
    const int n = templ.Width();
    if (matrix.Width() != n || matrix.Height() != templ.Height()) matrix = TByteMatrix(n, templ.Height());
    // Every mask repeats every 6 columns and 12 rows.
    constexpr int kPeriodRows = 12;
    constexpr int kPeriodColumns = 6;
    std::vector<std::uint8_t> pattern(static_cast<std::size_t>(kPeriodRows) * static_cast<std::size_t>(n));
    for (int r = 0; r < kPeriodRows; ++r) {
        std::uint8_t tile[kPeriodColumns];
        for (int c = 0; c < kPeriodColumns; ++c) tile[c] = TMaskUtil::GetDataMaskBit(maskPattern, c, r) ? 1 : 0;
        std::uint8_t* out = pattern.data() + static_cast<std::size_t>(r * n);
        for (int x = 0; x < n; x += kPeriodColumns)
            for (int c = 0; c < kPeriodColumns && x + c < n; ++c) out[x + c] = tile[c];
    }

    for (int y = 0; y < templ.Height(); ++y) {
        XorMaskedRow(matrix.Row(y), templ.Row(y),
                     dataModules.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(n),
                     pattern.data() + static_cast<std::size_t>((y % kPeriodRows) * n), n);
    }
    EmbedTypeInfo(ecLevel, maskPattern, matrix);
}
