// Data encoding and error correction: modes, the version table, bit stream,
// GF(256) arithmetic, Reed-Solomon blocks and interleaving.
#include "QRCode.h"

#include <algorithm>
#include <utility>

// ---------------------------------------------------------------------------
// Modes

int GetModeBits(TMode mode)
{
    switch (mode) {
    case qmTerminator:
        return 0x0;
    case qmNumeric:
        return 0x1;
    case qmAlphanumeric:
        return 0x2;
    case qmStructuredAppend:
        return 0x3;
    case qmByte:
        return 0x4;
    case qmECI:
        return 0x7;
    case qmKanji:
        return 0x8;
    case qmFNC1FirstPosition:
        return 0x5;
    case qmFNC1SecondPosition:
        return 0x9;
    case qmHanzi:
        return 0xD;
    }
    return 0;
}

int GetCharacterCountBits(TMode mode, int versionNumber)
{
    int range = versionNumber <= 9 ? 0 : (versionNumber <= 26 ? 1 : 2);
    static constexpr int numeric[] = {10, 12, 14};
    static constexpr int alphanumeric[] = {9, 11, 13};
    static constexpr int byte[] = {8, 16, 16};
    static constexpr int kanji[] = {8, 10, 12};
    switch (mode) {
    case qmNumeric:
        return numeric[range];
    case qmAlphanumeric:
        return alphanumeric[range];
    case qmByte:
        return byte[range];
    case qmKanji:
    case qmHanzi:
        return kanji[range];
    default:
        return 0;
    }
}

int GetCharacterCountBits(TMode mode, const TVersion& version)
{
    return GetCharacterCountBits(mode, version.GetVersionNumber());
}

int GetAlphanumericCode(char16_t c)
{
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
    switch (c) {
    case u' ':
        return 36;
    case u'$':
        return 37;
    case u'%':
        return 38;
    case u'*':
        return 39;
    case u'+':
        return 40;
    case u'-':
        return 41;
    case u'.':
        return 42;
    case u'/':
        return 43;
    case u':':
        return 44;
    default:
        return -1;
    }
}

// ---------------------------------------------------------------------------
// Version table: error-correction characteristics for levels L, M, Q, H and
// the alignment pattern centres.

namespace {

struct TLevelRow {
    int ecPerBlock, count1, data1, count2, data2;
};

struct TVersionRow {
    TLevelRow levels[4];
    int alignment[7];
};

constexpr TVersionRow kVersions[40] = {
    {{{7, 1, 19, 0, 0}, {10, 1, 16, 0, 0}, {13, 1, 13, 0, 0}, {17, 1, 9, 0, 0}}, {}},
    {{{10, 1, 34, 0, 0}, {16, 1, 28, 0, 0}, {22, 1, 22, 0, 0}, {28, 1, 16, 0, 0}}, {6, 18}},
    {{{15, 1, 55, 0, 0}, {26, 1, 44, 0, 0}, {18, 2, 17, 0, 0}, {22, 2, 13, 0, 0}}, {6, 22}},
    {{{20, 1, 80, 0, 0}, {18, 2, 32, 0, 0}, {26, 2, 24, 0, 0}, {16, 4, 9, 0, 0}}, {6, 26}},
    {{{26, 1, 108, 0, 0}, {24, 2, 43, 0, 0}, {18, 2, 15, 2, 16}, {22, 2, 11, 2, 12}}, {6, 30}},
    {{{18, 2, 68, 0, 0}, {16, 4, 27, 0, 0}, {24, 4, 19, 0, 0}, {28, 4, 15, 0, 0}}, {6, 34}},
    {{{20, 2, 78, 0, 0}, {18, 4, 31, 0, 0}, {18, 2, 14, 4, 15}, {26, 4, 13, 1, 14}}, {6, 22, 38}},
    {{{24, 2, 97, 0, 0}, {22, 2, 38, 2, 39}, {22, 4, 18, 2, 19}, {26, 4, 14, 2, 15}}, {6, 24, 42}},
    {{{30, 2, 116, 0, 0}, {22, 3, 36, 2, 37}, {20, 4, 16, 4, 17}, {24, 4, 12, 4, 13}}, {6, 26, 46}},
    {{{18, 2, 68, 2, 69}, {26, 4, 43, 1, 44}, {24, 6, 19, 2, 20}, {28, 6, 15, 2, 16}}, {6, 28, 50}},
    {{{20, 4, 81, 0, 0}, {30, 1, 50, 4, 51}, {28, 4, 22, 4, 23}, {24, 3, 12, 8, 13}}, {6, 30, 54}},
    {{{24, 2, 92, 2, 93}, {22, 6, 36, 2, 37}, {26, 4, 20, 6, 21}, {28, 7, 14, 4, 15}}, {6, 32, 58}},
    {{{26, 4, 107, 0, 0}, {22, 8, 37, 1, 38}, {24, 8, 20, 4, 21}, {22, 12, 11, 4, 12}}, {6, 34, 62}},
    {{{30, 3, 115, 1, 116}, {24, 4, 40, 5, 41}, {20, 11, 16, 5, 17}, {24, 11, 12, 5, 13}}, {6, 26, 46, 66}},
    {{{22, 5, 87, 1, 88}, {24, 5, 41, 5, 42}, {30, 5, 24, 7, 25}, {24, 11, 12, 7, 13}}, {6, 26, 48, 70}},
    {{{24, 5, 98, 1, 99}, {28, 7, 45, 3, 46}, {24, 15, 19, 2, 20}, {30, 3, 15, 13, 16}}, {6, 26, 50, 74}},
    {{{28, 1, 107, 5, 108}, {28, 10, 46, 1, 47}, {28, 1, 22, 15, 23}, {28, 2, 14, 17, 15}}, {6, 30, 54, 78}},
    {{{30, 5, 120, 1, 121}, {26, 9, 43, 4, 44}, {28, 17, 22, 1, 23}, {28, 2, 14, 19, 15}}, {6, 30, 56, 82}},
    {{{28, 3, 113, 4, 114}, {26, 3, 44, 11, 45}, {26, 17, 21, 4, 22}, {26, 9, 13, 16, 14}}, {6, 30, 58, 86}},
    {{{28, 3, 107, 5, 108}, {26, 3, 41, 13, 42}, {30, 15, 24, 5, 25}, {28, 15, 15, 10, 16}}, {6, 34, 62, 90}},
    {{{28, 4, 116, 4, 117}, {26, 17, 42, 0, 0}, {28, 17, 22, 6, 23}, {30, 19, 16, 6, 17}}, {6, 28, 50, 72, 94}},
    {{{28, 2, 111, 7, 112}, {28, 17, 46, 0, 0}, {30, 7, 24, 16, 25}, {24, 34, 13, 0, 0}}, {6, 26, 50, 74, 98}},
    {{{30, 4, 121, 5, 122}, {28, 4, 47, 14, 48}, {30, 11, 24, 14, 25}, {30, 16, 15, 14, 16}}, {6, 30, 54, 78, 102}},
    {{{30, 6, 117, 4, 118}, {28, 6, 45, 14, 46}, {30, 11, 24, 16, 25}, {30, 30, 16, 2, 17}}, {6, 28, 54, 80, 106}},
    {{{26, 8, 106, 4, 107}, {28, 8, 47, 13, 48}, {30, 7, 24, 22, 25}, {30, 22, 15, 13, 16}}, {6, 32, 58, 84, 110}},
    {{{28, 10, 114, 2, 115}, {28, 19, 46, 4, 47}, {28, 28, 22, 6, 23}, {30, 33, 16, 4, 17}}, {6, 30, 58, 86, 114}},
    {{{30, 8, 122, 4, 123}, {28, 22, 45, 3, 46}, {30, 8, 23, 26, 24}, {30, 12, 15, 28, 16}}, {6, 34, 62, 90, 118}},
    {{{30, 3, 117, 10, 118}, {28, 3, 45, 23, 46}, {30, 4, 24, 31, 25}, {30, 11, 15, 31, 16}}, {6, 26, 50, 74, 98, 122}},
    {{{30, 7, 116, 7, 117}, {28, 21, 45, 7, 46}, {30, 1, 23, 37, 24}, {30, 19, 15, 26, 16}}, {6, 30, 54, 78, 102, 126}},
    {{{30, 5, 115, 10, 116}, {28, 19, 47, 10, 48}, {30, 15, 24, 25, 25}, {30, 23, 15, 25, 16}},
     {6, 26, 52, 78, 104, 130}},
    {{{30, 13, 115, 3, 116}, {28, 2, 46, 29, 47}, {30, 42, 24, 1, 25}, {30, 23, 15, 28, 16}},
     {6, 30, 56, 82, 108, 134}},
    {{{30, 17, 115, 0, 0}, {28, 10, 46, 23, 47}, {30, 10, 24, 35, 25}, {30, 19, 15, 35, 16}},
     {6, 34, 60, 86, 112, 138}},
    {{{30, 17, 115, 1, 116}, {28, 14, 46, 21, 47}, {30, 29, 24, 19, 25}, {30, 11, 15, 46, 16}},
     {6, 30, 58, 86, 114, 142}},
    {{{30, 13, 115, 6, 116}, {28, 14, 46, 23, 47}, {30, 44, 24, 7, 25}, {30, 59, 16, 1, 17}},
     {6, 34, 62, 90, 118, 146}},
    {{{30, 12, 121, 7, 122}, {28, 12, 47, 26, 48}, {30, 39, 24, 14, 25}, {30, 22, 15, 41, 16}},
     {6, 30, 54, 78, 102, 126, 150}},
    {{{30, 6, 121, 14, 122}, {28, 6, 47, 34, 48}, {30, 46, 24, 10, 25}, {30, 2, 15, 64, 16}},
     {6, 24, 50, 76, 102, 128, 154}},
    {{{30, 17, 122, 4, 123}, {28, 29, 46, 14, 47}, {30, 49, 24, 10, 25}, {30, 24, 15, 46, 16}},
     {6, 28, 54, 80, 106, 132, 158}},
    {{{30, 4, 122, 18, 123}, {28, 13, 46, 32, 47}, {30, 48, 24, 14, 25}, {30, 42, 15, 32, 16}},
     {6, 32, 58, 84, 110, 136, 162}},
    {{{30, 20, 117, 4, 118}, {28, 40, 47, 7, 48}, {30, 43, 24, 22, 25}, {30, 10, 15, 67, 16}},
     {6, 26, 54, 82, 110, 138, 166}},
    {{{30, 19, 118, 6, 119}, {28, 18, 47, 31, 48}, {30, 34, 24, 34, 25}, {30, 20, 15, 61, 16}},
     {6, 30, 58, 86, 114, 142, 170}},
};

} // namespace

std::optional<TVersion> TVersion::GetVersionForNumber(int versionNumber)
{
    if (versionNumber < 1 || versionNumber > 40) return std::nullopt;
    const TVersionRow& row = kVersions[versionNumber - 1];
    TVersion v;
    v.FVersionNumber = versionNumber;
    for (int level = 0; level < 4; ++level) {
        const TLevelRow& l = row.levels[level];
        v.FECBlocks[static_cast<std::size_t>(level)] =
            TECBlocks(l.ecPerBlock, TECB(l.count1, l.data1), TECB(l.count2, l.data2));
    }
    // Total codewords follow from the level-L groups.
    const TECBlocks& ecbL = v.FECBlocks[0];
    int total = 0;
    for (int g = 0; g < ecbL.GetGroupCount(); ++g) {
        const TECB& ecb = ecbL.GetECB(g);
        total += ecb.GetCount() * (ecb.GetDataCodewords() + ecbL.GetECCodewordsPerBlock());
    }
    v.FTotalCodewords = total;
    for (int c : row.alignment) {
        if (c == 0) break;
        v.FAlignmentPatternCenters.push_back(c);
    }
    return v;
}

std::optional<TVersion> TVersion::ChooseVersion(long long bitCount, const TErrorCorrectionLevel& ecLevel)
{
    long long numBytes = (bitCount + 7) / 8;
    for (int n = 1; n <= 40; ++n) {
        std::optional<TVersion> version = GetVersionForNumber(n);
        if (version && version->GetDataCodewords(ecLevel) >= numBytes) return version;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// TBitArray

void TBitArray::AppendBit(bool bit)
{
    AppendBits(bit ? 1u : 0u, 1);
}

void TBitArray::AppendBits(std::uint32_t value, int numBits)
{
    if (numBits <= 0) return;
    if (numBits > 32) numBits = 32;
    if (numBits < 32) value &= (1u << numBits) - 1u;
    int used = FSize & 31;
    if (used == 0) FWords.push_back(0);
    int free = 32 - used;
    if (numBits <= free) {
        FWords.back() |= value << (free - numBits);
    } else {
        int rest = numBits - free;
        FWords.back() |= value >> rest;
        FWords.push_back(value << (32 - rest));
    }
    FSize += numBits;
}

void TBitArray::AppendBitArray(const TBitArray& other)
{
    int full = other.FSize / 32;
    for (int i = 0; i < full; ++i) AppendBits(other.FWords[static_cast<std::size_t>(i)], 32);
    int rest = other.FSize & 31;
    if (rest > 0) AppendBits(other.FWords[static_cast<std::size_t>(full)] >> (32 - rest), rest);
}

void TBitArray::ToBytes(int bitOffset, std::vector<std::uint8_t>& array, int offset, int numBytes) const
{
    if (numBytes <= 0) return;
    if (array.size() < static_cast<std::size_t>(offset + numBytes))
        array.resize(static_cast<std::size_t>(offset + numBytes));
    for (int i = 0; i < numBytes; ++i) {
        int start = bitOffset + 8 * i;
        std::uint32_t theByte = 0;
        if ((start & 7) == 0 && start + 8 <= FSize) {
            theByte = (FWords[static_cast<std::size_t>(start) >> 5] >> (24 - (start & 31))) & 0xFFu;
        } else {
            for (int j = 0; j < 8; ++j) {
                int bit = start + j;
                theByte <<= 1;
                if (bit >= 0 && bit < FSize && Get(bit)) theByte |= 1u;
            }
        }
        array[static_cast<std::size_t>(offset + i)] = static_cast<std::uint8_t>(theByte);
    }
}

bool TBitArray::XorOperation(const TBitArray& other)
{
    if (other.FSize != FSize) return false;
    for (std::size_t i = 0; i < FWords.size(); ++i) FWords[i] ^= other.FWords[i];
    return true;
}

// ---------------------------------------------------------------------------
// GF(256) with primitive polynomial 0x11D, generator base 0

namespace {

struct TFieldTables {
    // exp is doubled so that a sum of two logs indexes it without a modulo.
    std::array<std::uint8_t, 512> exp{};
    std::array<std::uint8_t, 256> log{};
};

constexpr TFieldTables MakeFieldTables()
{
    TFieldTables t;
    int x = 1;
    for (int i = 0; i < 255; ++i) {
        t.exp[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(x);
        x <<= 1;
        if (x >= 256) x ^= 0x11D;
    }
    for (int i = 255; i < 512; ++i) t.exp[static_cast<std::size_t>(i)] = t.exp[static_cast<std::size_t>(i - 255)];
    for (int i = 0; i < 255; ++i) t.log[t.exp[static_cast<std::size_t>(i)]] = static_cast<std::uint8_t>(i);
    return t;
}

constexpr TFieldTables kField = MakeFieldTables();

} // namespace

int TGenericGF::Exp(int a) const
{
    return kField.exp[static_cast<std::size_t>(((a % 255) + 255) % 255)];
}

int TGenericGF::Log(int a) const
{
    return (a <= 0 || a > 255) ? 0 : kField.log[static_cast<std::size_t>(a)];
}

int TGenericGF::Inverse(int a) const
{
    if (a <= 0 || a > 255) return 0;
    return kField.exp[static_cast<std::size_t>(255 - kField.log[static_cast<std::size_t>(a)])];
}

int TGenericGF::Multiply(int a, int b) const
{
    if (a == 0 || b == 0) return 0;
    return kField.exp[static_cast<std::size_t>(kField.log[static_cast<std::size_t>(a & 0xFF)]) +
                      kField.log[static_cast<std::size_t>(b & 0xFF)]];
}

TGenericGFPoly TGenericGF::GetZero() const
{
    return TGenericGFPoly(*this, {0});
}
TGenericGFPoly TGenericGF::GetOne() const
{
    return TGenericGFPoly(*this, {1});
}

TGenericGFPoly TGenericGF::BuildMonomial(int degree, int coefficient) const
{
    if (coefficient == 0 || degree < 0) return GetZero();
    std::vector<int> coefficients(static_cast<std::size_t>(degree) + 1, 0);
    coefficients[0] = coefficient;
    return TGenericGFPoly(*this, std::move(coefficients));
}

// ---------------------------------------------------------------------------
// TGenericGFPoly

TGenericGFPoly::TGenericGFPoly(const TGenericGF& field, std::vector<int> coefficients)
    : FField(field), FCoefficients(std::move(coefficients))
{
    if (FCoefficients.empty()) {
        FCoefficients.push_back(0);
        return;
    }
    if (FCoefficients.size() > 1 && FCoefficients[0] == 0) {
        auto firstNonZero = std::find_if(FCoefficients.begin(), FCoefficients.end(), [](int c) { return c != 0; });
        if (firstNonZero == FCoefficients.end()) {
            FCoefficients.assign(1, 0);
        } else {
            FCoefficients.erase(FCoefficients.begin(), firstNonZero);
        }
    }
}

int TGenericGFPoly::GetCoefficient(int degree) const
{
    if (degree < 0 || degree > GetDegree()) return 0;
    return FCoefficients[FCoefficients.size() - 1 - static_cast<std::size_t>(degree)];
}

TGenericGFPoly TGenericGFPoly::AddOrSubtract(const TGenericGFPoly& other) const
{
    if (IsZero()) return other;
    if (other.IsZero()) return *this;
    const std::vector<int>& smaller =
        FCoefficients.size() < other.FCoefficients.size() ? FCoefficients : other.FCoefficients;
    const std::vector<int>& larger =
        FCoefficients.size() < other.FCoefficients.size() ? other.FCoefficients : FCoefficients;
    std::vector<int> sum(larger);
    std::size_t diff = larger.size() - smaller.size();
    for (std::size_t i = 0; i < smaller.size(); ++i) sum[diff + i] ^= smaller[i];
    return TGenericGFPoly(FField, std::move(sum));
}

TGenericGFPoly TGenericGFPoly::Multiply(const TGenericGFPoly& other) const
{
    if (IsZero() || other.IsZero()) return FField.GetZero();
    std::vector<int> product(FCoefficients.size() + other.FCoefficients.size() - 1, 0);
    for (std::size_t i = 0; i < FCoefficients.size(); ++i) {
        int a = FCoefficients[i];
        for (std::size_t j = 0; j < other.FCoefficients.size(); ++j)
            product[i + j] ^= FField.Multiply(a, other.FCoefficients[j]);
    }
    return TGenericGFPoly(FField, std::move(product));
}

TGenericGFPoly TGenericGFPoly::Multiply(int scalar) const
{
    if (scalar == 0) return FField.GetZero();
    if (scalar == 1) return *this;
    std::vector<int> product(FCoefficients.size());
    for (std::size_t i = 0; i < FCoefficients.size(); ++i) product[i] = FField.Multiply(FCoefficients[i], scalar);
    return TGenericGFPoly(FField, std::move(product));
}

TGenericGFPoly TGenericGFPoly::MultiplyByMonomial(int degree, int coefficient) const
{
    if (coefficient == 0 || degree < 0) return FField.GetZero();
    std::vector<int> product(FCoefficients.size() + static_cast<std::size_t>(degree), 0);
    for (std::size_t i = 0; i < FCoefficients.size(); ++i) product[i] = FField.Multiply(FCoefficients[i], coefficient);
    return TGenericGFPoly(FField, std::move(product));
}

std::pair<TGenericGFPoly, TGenericGFPoly> TGenericGFPoly::Divide(const TGenericGFPoly& other) const
{
    if (other.IsZero()) return {FField.GetZero(), FField.GetZero()};
    int divisorDegree = other.GetDegree();
    if (GetDegree() < divisorDegree) return {FField.GetZero(), *this};

    // Synthetic long division in one buffer: the leading part turns into the
    // quotient, the tail into the remainder. The divisor's logs are taken once
    // since every step multiplies the whole divisor by one factor.
    std::vector<int> work(FCoefficients);
    std::vector<int> divisorLogs(static_cast<std::size_t>(divisorDegree) + 1);
    for (std::size_t i = 0; i < divisorLogs.size(); ++i)
        divisorLogs[i] = (other.FCoefficients[i] & 0xFF) == 0
                             ? -1
                             : kField.log[static_cast<std::size_t>(other.FCoefficients[i] & 0xFF)];
    int inverseLeadLog = (255 - divisorLogs[0]) % 255;

    std::size_t quotientLen = work.size() - static_cast<std::size_t>(divisorDegree);
    for (std::size_t i = 0; i < quotientLen; ++i) {
        int coef = work[i] & 0xFF;
        if (coef == 0) {
            work[i] = 0;
            continue;
        }
        int factorLog = (kField.log[static_cast<std::size_t>(coef)] + inverseLeadLog) % 255;
        work[i] = kField.exp[static_cast<std::size_t>(factorLog)];
        for (std::size_t j = 1; j < divisorLogs.size(); ++j) {
            int l = divisorLogs[j];
            if (l >= 0) work[i + j] ^= kField.exp[static_cast<std::size_t>(l + factorLog)];
        }
    }
    std::vector<int> quotient(work.begin(), work.begin() + static_cast<std::ptrdiff_t>(quotientLen));
    std::vector<int> remainder(work.begin() + static_cast<std::ptrdiff_t>(quotientLen), work.end());
    return {TGenericGFPoly(FField, std::move(quotient)), TGenericGFPoly(FField, std::move(remainder))};
}

// ---------------------------------------------------------------------------
// TReedSolomonEncoder

TReedSolomonEncoder::TReedSolomonEncoder(const TGenericGF& field) : FField(field)
{
    FCachedGenerators.push_back(field.GetOne());
}

const TGenericGFPoly& TReedSolomonEncoder::BuildGenerator(int degree)
{
    while (static_cast<int>(FCachedGenerators.size()) <= degree) {
        int d = static_cast<int>(FCachedGenerators.size());
        const TGenericGFPoly& last = FCachedGenerators.back();
        TGenericGFPoly factor(FField, {1, FField.Exp(d - 1 + FField.GetGeneratorBase())});
        TGenericGFPoly next = last.Multiply(factor);
        FCachedGenerators.push_back(std::move(next));
    }
    return FCachedGenerators[static_cast<std::size_t>(degree)];
}

bool TReedSolomonEncoder::Encode(std::vector<int>& toEncode, int ecBytes)
{
    if (ecBytes <= 0 || static_cast<std::size_t>(ecBytes) >= toEncode.size()) return false;
    int dataBytes = static_cast<int>(toEncode.size()) - ecBytes;
    const TGenericGFPoly generator = BuildGenerator(ecBytes);
    TGenericGFPoly info(FField, std::vector<int>(toEncode.begin(), toEncode.begin() + dataBytes));
    info = info.MultiplyByMonomial(ecBytes, 1);
    TGenericGFPoly remainder = info.Divide(generator).second;
    const std::vector<int>& coefficients = remainder.GetCoefficients();
    int numZeroCoefficients = ecBytes - static_cast<int>(coefficients.size());
    for (int i = 0; i < numZeroCoefficients; ++i) toEncode[static_cast<std::size_t>(dataBytes + i)] = 0;
    std::copy(coefficients.begin(), coefficients.end(), toEncode.begin() + dataBytes + numZeroCoefficients);
    return true;
}

// ---------------------------------------------------------------------------
// TEncoder

TMode TEncoder::ChooseMode(const std::u16string& content, TQRCodeEncoding& encoding)
{
    switch (encoding) {
    case qrNumeric:
        return qmNumeric;
    case qrAlphanumeric:
        return qmAlphanumeric;
    case qrISO88591:
    case qrUTF8NoBOM:
    case qrUTF8BOM:
        return qmByte;
    default:
        break;
    }
    if (!content.empty()) {
        if (std::all_of(content.begin(), content.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }))
            return qmNumeric;
        if (std::all_of(content.begin(), content.end(), [](char16_t c) { return GetAlphanumericCode(c) >= 0; }))
            return qmAlphanumeric;
        if (std::all_of(content.begin(), content.end(), [](char16_t c) { return c <= 0xFF; })) {
            encoding = qrISO88591;
            return qmByte;
        }
    }
    encoding = qrUTF8NoBOM;
    return qmByte;
}

std::u16string TEncoder::FilterContent(const std::u16string& content, TMode mode, TQRCodeEncoding encoding)
{
    std::u16string result;
    result.reserve(content.size());
    for (char16_t c : content) {
        bool keep = true;
        if (mode == qmNumeric) {
            keep = c >= u'0' && c <= u'9';
        } else if (mode == qmAlphanumeric) {
            keep = GetAlphanumericCode(c) >= 0;
        } else if (mode == qmByte && encoding == qrISO88591) {
            keep = c <= 0xFF;
        }
        if (keep) result.push_back(c);
    }
    return result;
}

namespace {

void AppendUtf8(std::vector<std::uint8_t>& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<std::uint8_t>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<std::uint8_t>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<std::uint8_t>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<std::uint8_t>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
    }
}

bool IsHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

} // namespace

std::vector<std::uint8_t> TEncoder::ByteModeBytes(const std::u16string& content, TQRCodeEncoding encoding)
{
    std::vector<std::uint8_t> bytes;
    if (encoding == qrISO88591) {
        bytes.reserve(content.size());
        for (char16_t c : content) bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        return bytes;
    }
    bytes.reserve(content.size() + 3);
    if (encoding == qrUTF8NoBOM) {
        bytes.push_back(0xEF);
        bytes.push_back(0xBB);
        bytes.push_back(0xBF);
    }
    for (std::size_t i = 0; i < content.size(); ++i) {
        char16_t c = content[i];
        if (IsHighSurrogate(c) && i + 1 < content.size() && IsLowSurrogate(content[i + 1])) {
            char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) +
                          (static_cast<char32_t>(content[i + 1]) - 0xDC00);
            AppendUtf8(bytes, cp);
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            // An unpaired surrogate has no UTF-8 form; it becomes U+FFFD.
            AppendUtf8(bytes, 0xFFFD);
        } else {
            AppendUtf8(bytes, c);
        }
    }
    return bytes;
}

void TEncoder::AppendNumericBytes(const std::u16string& content, TBitArray& bits)
{
    std::size_t length = content.size();
    std::size_t i = 0;
    while (i < length) {
        int num1 = content[i] - u'0';
        if (i + 2 < length) {
            int num2 = content[i + 1] - u'0';
            int num3 = content[i + 2] - u'0';
            bits.AppendBits(static_cast<std::uint32_t>(num1 * 100 + num2 * 10 + num3), 10);
            i += 3;
        } else if (i + 1 < length) {
            int num2 = content[i + 1] - u'0';
            bits.AppendBits(static_cast<std::uint32_t>(num1 * 10 + num2), 7);
            i += 2;
        } else {
            bits.AppendBits(static_cast<std::uint32_t>(num1), 4);
            i++;
        }
    }
}

void TEncoder::AppendAlphanumericBytes(const std::u16string& content, TBitArray& bits)
{
    std::size_t length = content.size();
    std::size_t i = 0;
    while (i < length) {
        int code1 = GetAlphanumericCode(content[i]);
        if (i + 1 < length) {
            int code2 = GetAlphanumericCode(content[i + 1]);
            bits.AppendBits(static_cast<std::uint32_t>(code1 * 45 + code2), 11);
            i += 2;
        } else {
            bits.AppendBits(static_cast<std::uint32_t>(code1), 6);
            i++;
        }
    }
}

void TEncoder::Append8BitBytes(const std::vector<std::uint8_t>& bytes, TBitArray& bits)
{
    for (std::uint8_t b : bytes) bits.AppendBits(b, 8);
}

void TEncoder::TerminateBits(int numDataBytes, TBitArray& bits)
{
    int capacity = numDataBytes * 8;
    if (bits.GetSize() > capacity) {
        FError = true;
        return;
    }
    for (int i = 0; i < 4 && bits.GetSize() < capacity; ++i) bits.AppendBit(false);
    int numBitsInLastByte = bits.GetSize() & 7;
    if (numBitsInLastByte > 0) bits.AppendBits(0, 8 - numBitsInLastByte);
    int numPaddingBytes = numDataBytes - bits.GetSizeInBytes();
    for (int i = 0; i < numPaddingBytes; ++i) bits.AppendBits((i & 1) == 0 ? 0xEC : 0x11, 8);
    if (bits.GetSize() != capacity) FError = true;
}

void TEncoder::GetNumDataBytesAndNumECBytesForBlockID(int numTotalBytes, int numDataBytes, int numRSBlocks, int blockID,
                                                      int& numDataBytesInBlock, int& numECBytesInBlock)
{
    numDataBytesInBlock = 0;
    numECBytesInBlock = 0;
    if (numRSBlocks <= 0 || blockID < 0 || blockID >= numRSBlocks) return;
    // The first (B - N mod B) blocks are the short ones.
    int numRsBlocksInGroup2 = numTotalBytes % numRSBlocks;
    int numRsBlocksInGroup1 = numRSBlocks - numRsBlocksInGroup2;
    int numTotalBytesInGroup1 = numTotalBytes / numRSBlocks;
    int numDataBytesInGroup1 = numDataBytes / numRSBlocks;
    int numDataBytesInGroup2 = numDataBytesInGroup1 + 1;
    int numEcBytesInGroup1 = numTotalBytesInGroup1 - numDataBytesInGroup1;
    if (blockID < numRsBlocksInGroup1) {
        numDataBytesInBlock = numDataBytesInGroup1;
    } else {
        numDataBytesInBlock = numDataBytesInGroup2;
    }
    numECBytesInBlock = numEcBytesInGroup1;
}

std::vector<std::uint8_t> TEncoder::GenerateECBytes(const std::vector<std::uint8_t>& dataBytes, int numECBytesInBlock)
{
    std::vector<int> toEncode(dataBytes.size() + static_cast<std::size_t>(numECBytesInBlock));
    std::copy(dataBytes.begin(), dataBytes.end(), toEncode.begin());
    // A fresh field and encoder per block, as the codewords of one block never
    // depend on another's.
    TReedSolomonEncoder encoder(TGenericGF::CreateQRCodeField256());
    encoder.Encode(toEncode, numECBytesInBlock);
    std::vector<std::uint8_t> ecBytes(static_cast<std::size_t>(numECBytesInBlock));
    for (int i = 0; i < numECBytesInBlock; ++i)
        ecBytes[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(toEncode[dataBytes.size() + static_cast<std::size_t>(i)]);
    return ecBytes;
}

TBitArray TEncoder::InterleaveWithECBytes(const TBitArray& bits, int numTotalBytes, int numDataBytes, int numRSBlocks)
{
    TBitArray result;
    if (bits.GetSizeInBytes() != numDataBytes) FError = true;

    int dataBytesOffset = 0;
    std::size_t maxNumDataBytes = 0;
    std::size_t maxNumEcBytes = 0;
    std::vector<TBlockPair> blocks;
    blocks.reserve(static_cast<std::size_t>(std::max(numRSBlocks, 0)));
    for (int i = 0; i < numRSBlocks; ++i) {
        int numDataBytesInBlock = 0;
        int numEcBytesInBlock = 0;
        GetNumDataBytesAndNumECBytesForBlockID(numTotalBytes, numDataBytes, numRSBlocks, i, numDataBytesInBlock,
                                               numEcBytesInBlock);
        std::vector<std::uint8_t> dataBytes(static_cast<std::size_t>(numDataBytesInBlock));
        bits.ToBytes(8 * dataBytesOffset, dataBytes, 0, numDataBytesInBlock);
        std::vector<std::uint8_t> ecBytes = GenerateECBytes(dataBytes, numEcBytesInBlock);
        maxNumDataBytes = std::max(maxNumDataBytes, dataBytes.size());
        maxNumEcBytes = std::max(maxNumEcBytes, ecBytes.size());
        blocks.emplace_back(std::move(dataBytes), std::move(ecBytes));
        dataBytesOffset += numDataBytesInBlock;
    }
    if (dataBytesOffset != numDataBytes) FError = true;

    for (std::size_t i = 0; i < maxNumDataBytes; ++i)
        for (const TBlockPair& block : blocks)
            if (i < block.GetDataBytes().size()) result.AppendBits(block.GetDataBytes()[i], 8);
    for (std::size_t i = 0; i < maxNumEcBytes; ++i)
        for (const TBlockPair& block : blocks)
            if (i < block.GetErrorCorrectionBytes().size()) result.AppendBits(block.GetErrorCorrectionBytes()[i], 8);

    if (result.GetSizeInBytes() != numTotalBytes) FError = true;
    return result;
}

bool TEncoder::EncodeCodewords(const std::u16string& content, TQRCodeEncoding encoding,
                               const TErrorCorrectionLevel& ecLevel, TQRCode& qrCode, TBitArray& finalBits)
{
    if (encoding < qrAuto || encoding > qrUTF8BOM) return false;

    TQRCodeEncoding effective = encoding;
    TMode mode = ChooseMode(content, effective);
    std::u16string filtered = FilterContent(content, mode, effective);

    // The data length is known before any bit is produced, so a text far
    // beyond any capacity costs no more than the filter.
    std::vector<std::uint8_t> bytes;
    long long count = 0;
    long long dataBitCount = 0;
    if (mode == qmByte) {
        bytes = ByteModeBytes(filtered, effective);
        count = static_cast<long long>(bytes.size());
        dataBitCount = 8 * count;
    } else if (mode == qmNumeric) {
        count = static_cast<long long>(filtered.size());
        dataBitCount = 10 * (count / 3) + (count % 3 == 2 ? 7 : (count % 3 == 1 ? 4 : 0));
    } else {
        count = static_cast<long long>(filtered.size());
        dataBitCount = 11 * (count / 2) + 6 * (count % 2);
    }

    std::optional<TVersion> provisional =
        TVersion::ChooseVersion(GetCharacterCountBits(mode, 1) + 4 + dataBitCount, ecLevel);
    if (!provisional) return false;
    std::optional<TVersion> version =
        TVersion::ChooseVersion(GetCharacterCountBits(mode, *provisional) + 4 + dataBitCount, ecLevel);
    if (!version) return false;

    TBitArray headerAndData;
    headerAndData.AppendBits(static_cast<std::uint32_t>(GetModeBits(mode)), 4);
    headerAndData.AppendBits(static_cast<std::uint32_t>(count), GetCharacterCountBits(mode, *version));
    switch (mode) {
    case qmNumeric:
        AppendNumericBytes(filtered, headerAndData);
        break;
    case qmAlphanumeric:
        AppendAlphanumericBytes(filtered, headerAndData);
        break;
    default:
        Append8BitBytes(bytes, headerAndData);
        break;
    }

    const TECBlocks& ecBlocks = version->GetECBlocksForLevel(ecLevel);
    int numTotalBytes = version->GetTotalCodewords();
    int numDataBytes = numTotalBytes - ecBlocks.GetTotalECCodewords();
    TerminateBits(numDataBytes, headerAndData);
    finalBits = InterleaveWithECBytes(headerAndData, numTotalBytes, numDataBytes, ecBlocks.GetNumBlocks());

    qrCode.SetMode(mode);
    qrCode.SetECLevel(ecLevel);
    qrCode.SetVersion(*version);
    return true;
}

namespace {

// Scores the eight candidates, each a full matrix of its own.
int BestMaskFromTemplate(TMatrixUtil& util, const TByteMatrix& templ, const std::vector<std::uint8_t>& dataModules,
                         const TErrorCorrectionLevel& ecLevel, std::array<int, 8>* scores)
{
    int minPenalty = 0;
    int bestMaskPattern = -1;
    for (int maskPattern = 0; maskPattern < 8; ++maskPattern) {
        TByteMatrix candidate(templ.Width(), templ.Height());
        util.BuildFromTemplate(templ, dataModules, ecLevel, maskPattern, candidate);
        int penalty = TMaskUtil::CalculateMaskPenalty(candidate);
        if (scores) (*scores)[static_cast<std::size_t>(maskPattern)] = penalty;
        // A later mask replaces the best so far only with a strictly lower score.
        if (bestMaskPattern < 0 || penalty < minPenalty) {
            minPenalty = penalty;
            bestMaskPattern = maskPattern;
        }
    }
    return bestMaskPattern;
}

} // namespace

int TEncoder::ChooseMaskPattern(const TBitArray& bits, const TErrorCorrectionLevel& ecLevel, const TVersion& version,
                                std::array<int, 8>* scores)
{
    int dimension = version.GetDimensionForVersion();
    TMatrixUtil util;
    TByteMatrix templ(dimension, dimension);
    std::vector<std::uint8_t> dataModules;
    util.BuildUnmaskedTemplate(bits, ecLevel, version, templ, dataModules);
    return BestMaskFromTemplate(util, templ, dataModules, ecLevel, scores);
}

bool TEncoder::Encode(const std::u16string& content, TQRCodeEncoding encoding, const TErrorCorrectionLevel& ecLevel,
                      TQRCode& qrCode)
{
    FError = false;
    TBitArray finalBits;
    if (!EncodeCodewords(content, encoding, ecLevel, qrCode, finalBits) || FError) return false;
    const TVersion& version = *qrCode.GetVersion();

    int dimension = version.GetDimensionForVersion();
    TMatrixUtil util;
    TByteMatrix templ(dimension, dimension);
    std::vector<std::uint8_t> dataModules;
    util.BuildUnmaskedTemplate(finalBits, ecLevel, version, templ, dataModules);
    int bestMaskPattern = BestMaskFromTemplate(util, templ, dataModules, ecLevel, nullptr);
    qrCode.SetMaskPattern(bestMaskPattern);

    // The winner is built once more into a fresh matrix.
    TByteMatrix matrix(dimension, dimension);
    util.BuildFromTemplate(templ, dataModules, ecLevel, bestMaskPattern, matrix);
    // An inconsistency inside the matrix builder means the modules are wrong.
    if (util.HasError()) {
        FError = true;
        return false;
    }
    qrCode.SetMatrix(std::move(matrix));
    return true;
}
