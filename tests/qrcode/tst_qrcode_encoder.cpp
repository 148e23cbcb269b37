// Data encoding and error correction: modes, version table, bit stream,
// Reed-Solomon and interleaving.
#include "QRCode.h"
#include "QRTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

const TErrorCorrectionLevel kLevelL(1);

std::vector<std::uint8_t> ToByteVector(const TBitArray& bits)
{
    std::vector<std::uint8_t> out;
    bits.ToBytes(0, out, 0, bits.GetSizeInBytes());
    return out;
}

struct TCodewords {
    TQRCode code;
    TBitArray bits;
    std::vector<std::uint8_t> bytes;
    bool ok = false;
    bool error = false;
};

TCodewords Codewords(const std::u16string& text, TQRCodeEncoding encoding = qrAuto)
{
    TCodewords r;
    TEncoder encoder;
    r.ok = encoder.EncodeCodewords(text, encoding, kLevelL, r.code, r.bits);
    r.error = encoder.HasError();
    r.bytes = ToByteVector(r.bits);
    return r;
}

// Reads the segment header and data back from the data codewords of a
// single-block symbol, independently of the encoder.
struct TSegment {
    int modeIndicator = -1;
    int count = -1;
    std::vector<int> values; // 8-bit bytes, or 11/6-bit or 10/7/4-bit groups
};

class TBitReader {
public:
    explicit TBitReader(const std::vector<std::uint8_t>& bytes) : FBytes(bytes) {}
    int Read(int n)
    {
        int v = 0;
        for (int i = 0; i < n; ++i, ++FPos)
            v = (v << 1) | ((FBytes[static_cast<std::size_t>(FPos / 8)] >> (7 - FPos % 8)) & 1);
        return v;
    }

private:
    const std::vector<std::uint8_t>& FBytes;
    int FPos = 0;
};

TSegment ParseSingleBlock(const std::vector<std::uint8_t>& codewords, int countBits)
{
    TBitReader reader(codewords);
    TSegment s;
    s.modeIndicator = reader.Read(4);
    s.count = reader.Read(countBits);
    if (s.modeIndicator == 4) {
        for (int i = 0; i < s.count; ++i) s.values.push_back(reader.Read(8));
    } else if (s.modeIndicator == 2) {
        for (int i = 0; i + 1 < s.count; i += 2) s.values.push_back(reader.Read(11));
        if (s.count % 2) s.values.push_back(reader.Read(6));
    } else if (s.modeIndicator == 1) {
        int left = s.count;
        while (left >= 3) {
            s.values.push_back(reader.Read(10));
            left -= 3;
        }
        if (left == 2) s.values.push_back(reader.Read(7));
        if (left == 1) s.values.push_back(reader.Read(4));
    }
    return s;
}

std::vector<std::uint8_t> Hex(std::initializer_list<int> values)
{
    return std::vector<std::uint8_t>(values.begin(), values.end());
}

} // namespace

// ---------------------------------------------------------------------------
// Final codewords of the worked examples

struct TCodewordCase {
    const char* name;
    std::u16string text;
    TMode mode;
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> ec;
};

class CodewordVectors : public ::testing::TestWithParam<TCodewordCase> {};

TEST_P(CodewordVectors, DataAndErrorCorrectionCodewords)
{
    const TCodewordCase& c = GetParam();
    TCodewords r = Codewords(c.text);
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(r.error);
    EXPECT_EQ(r.code.GetMode(), c.mode);
    EXPECT_EQ(r.code.GetVersion()->GetVersionNumber(), 1);
    ASSERT_EQ(r.bytes.size(), 26u);
    std::vector<std::uint8_t> data(r.bytes.begin(), r.bytes.begin() + 19);
    std::vector<std::uint8_t> ec(r.bytes.begin() + 19, r.bytes.end());
    EXPECT_EQ(data, c.data);
    EXPECT_EQ(ec, c.ec);
}

INSTANTIATE_TEST_SUITE_P(
    Version1, CodewordVectors,
    ::testing::Values(TCodewordCase{"Digits", u"01234567", qmNumeric,
                                    Hex({0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC,
                                         0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC}),
                                    Hex({0x53, 0x55, 0x97, 0x67, 0x10, 0x05, 0x84})},
                      TCodewordCase{"HelloWorld", u"HELLO WORLD", qmAlphanumeric,
                                    Hex({0x20, 0x5B, 0x0B, 0x78, 0xD1, 0x72, 0xDC, 0x4D, 0x43, 0x40, 0xEC, 0x11, 0xEC,
                                         0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC}),
                                    Hex({0xD1, 0xEF, 0xC4, 0xCF, 0x4E, 0xC3, 0x6D})}),
    [](const ::testing::TestParamInfo<TCodewordCase>& info) { return std::string(info.param.name); });

TEST(ReedSolomon, StandardWorkedExampleAtLevelM)
{
    std::vector<std::uint8_t> data =
        Hex({0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11, 0xEC, 0x11});
    EXPECT_EQ(TEncoder::GenerateECBytes(data, 10), Hex({0xA5, 0x24, 0xD4, 0xC1, 0xED, 0x36, 0xC7, 0x87, 0x2C, 0x55}));
}

TEST(ReedSolomon, GeneratorOfDegreeSevenMatchesTheStandardsTable)
{
    // x^7 + a^87 x^6 + a^229 x^5 + a^146 x^4 + a^149 x^3 + a^238 x^2 + a^102 x + a^21
    TGenericGF field = TGenericGF::CreateQRCodeField256();
    TReedSolomonEncoder encoder(field);
    const TGenericGFPoly& g = encoder.BuildGenerator(7);
    ASSERT_EQ(g.GetDegree(), 7);
    const int exponents[] = {0, 87, 229, 146, 149, 238, 102, 21};
    for (int i = 0; i <= 7; ++i) EXPECT_EQ(g.GetCoefficient(7 - i), field.Exp(exponents[i])) << "degree " << 7 - i;
}

TEST(ReedSolomon, RemainderLeavesACodewordDivisibleByTheGenerator)
{
    // data * x^n + remainder must be a multiple of the generator, for every
    // block shape the version table uses.
    TGenericGF field = TGenericGF::CreateQRCodeField256();
    std::mt19937 rng(7);
    for (int ec : {7, 10, 15, 18, 20, 22, 24, 26, 28, 30}) {
        for (int trial = 0; trial < 5; ++trial) {
            std::vector<std::uint8_t> data(static_cast<std::size_t>(1 + rng() % 123));
            for (auto& b : data) b = static_cast<std::uint8_t>(rng());
            std::vector<std::uint8_t> ecBytes = TEncoder::GenerateECBytes(data, ec);
            ASSERT_EQ(ecBytes.size(), static_cast<std::size_t>(ec));
            std::vector<int> all(data.begin(), data.end());
            all.insert(all.end(), ecBytes.begin(), ecBytes.end());
            TReedSolomonEncoder encoder(field);
            TGenericGFPoly codeword(field, all);
            auto [quotient, remainder] = codeword.Divide(encoder.BuildGenerator(ec));
            EXPECT_TRUE(remainder.IsZero()) << "ec " << ec;
        }
    }
}

// ---------------------------------------------------------------------------
// Field and polynomials

TEST(GenericGF, TablesFollowThePrimitivePolynomial)
{
    TGenericGF field = TGenericGF::CreateQRCodeField256();
    EXPECT_EQ(field.GetPrimitive(), 285);
    EXPECT_EQ(field.GetSize(), 256);
    EXPECT_EQ(field.GetGeneratorBase(), 0);
    int x = 1;
    for (int i = 0; i < 255; ++i) {
        EXPECT_EQ(field.Exp(i), x) << i;
        EXPECT_EQ(field.Log(x), i) << x;
        x <<= 1;
        if (x >= 256) x ^= 0x11D;
    }
    EXPECT_EQ(field.Exp(8), 0x1D);
}

TEST(GenericGF, ArithmeticIdentities)
{
    TGenericGF field = TGenericGF::CreateQRCodeField256();
    for (int a = 0; a < 256; ++a) {
        EXPECT_EQ(field.Multiply(a, 0), 0);
        EXPECT_EQ(field.Multiply(a, 1), a);
        EXPECT_EQ(TGenericGF::AddOrSubtract(a, a), 0);
        if (a != 0) {
            EXPECT_EQ(field.Multiply(a, field.Inverse(a)), 1) << a;
        }
    }
    // Multiplication agrees with carry-less multiplication reduced by 0x11D.
    for (int a = 0; a < 256; a += 7) {
        for (int b = 0; b < 256; b += 5) {
            int p = 0;
            for (int i = 0; i < 8; ++i)
                if ((b >> i) & 1) p ^= a << i;
            for (int bit = 15; bit >= 8; --bit)
                if ((p >> bit) & 1) p ^= 0x11D << (bit - 8);
            EXPECT_EQ(field.Multiply(a, b), p) << a << " * " << b;
        }
    }
}

TEST(GenericGFPoly, LeadingZerosAreDroppedAndZeroIsOneCoefficient)
{
    TGenericGF field = TGenericGF::CreateQRCodeField256();
    TGenericGFPoly p(field, {0, 0, 5, 3});
    EXPECT_EQ(p.GetDegree(), 1);
    EXPECT_EQ(p.GetCoefficient(1), 5);
    EXPECT_EQ(p.GetCoefficient(0), 3);
    TGenericGFPoly z(field, {0, 0, 0});
    EXPECT_TRUE(z.IsZero());
    EXPECT_EQ(z.GetDegree(), 0);
    EXPECT_EQ(z.GetCoefficients(), std::vector<int>{0});
    EXPECT_TRUE(field.BuildMonomial(3, 0).IsZero());
    TGenericGFPoly m = field.BuildMonomial(3, 9);
    EXPECT_EQ(m.GetDegree(), 3);
    EXPECT_EQ(m.GetCoefficient(3), 9);
    EXPECT_EQ(m.GetCoefficient(0), 0);
}

TEST(GenericGFPoly, DivisionReassemblesTheDividend)
{
    TGenericGF field = TGenericGF::CreateQRCodeField256();
    std::mt19937 rng(11);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<int> a(1 + rng() % 40), b(1 + rng() % 12);
        for (int& v : a) v = static_cast<int>(rng() % 256);
        for (int& v : b) v = static_cast<int>(rng() % 256);
        b[0] = 1 + static_cast<int>(rng() % 255);
        TGenericGFPoly pa(field, a), pb(field, b);
        auto [q, r] = pa.Divide(pb);
        EXPECT_TRUE(r.IsZero() || r.GetDegree() < pb.GetDegree());
        TGenericGFPoly back = q.Multiply(pb).AddOrSubtract(r);
        EXPECT_EQ(back.GetCoefficients(), pa.GetCoefficients()) << "trial " << trial;
    }
}

TEST(GenericGFPoly, MultiplyByMonomialShiftsAndScales)
{
    TGenericGF field = TGenericGF::CreateQRCodeField256();
    TGenericGFPoly p(field, {1, 2, 3});
    TGenericGFPoly m = p.MultiplyByMonomial(2, 2);
    EXPECT_EQ(m.GetCoefficients(), (std::vector<int>{2, 4, 6, 0, 0}));
    EXPECT_EQ(p.Multiply(field.BuildMonomial(2, 2)).GetCoefficients(), m.GetCoefficients());
    EXPECT_TRUE(p.MultiplyByMonomial(4, 0).IsZero());
}

// ---------------------------------------------------------------------------
// Bit array

TEST(BitArray, AppendsMostSignificantFirstAndPacksBytes)
{
    TBitArray bits;
    bits.AppendBits(0x5, 3);         // 101
    bits.AppendBit(true);            // 1
    bits.AppendBits(0xFFFFFFF0u, 4); // only the low 4 bits: 0000
    bits.AppendBits(0xABCDEF01u, 32);
    bits.AppendBits(0x3, 2);
    EXPECT_EQ(bits.GetSize(), 42);
    EXPECT_EQ(bits.GetSizeInBytes(), 6);
    EXPECT_TRUE(bits.Get(0));
    EXPECT_FALSE(bits.Get(1));
    EXPECT_TRUE(bits.Get(2));
    EXPECT_TRUE(bits.Get(3));
    EXPECT_FALSE(bits.Get(4));
    std::vector<std::uint8_t> bytes;
    bits.ToBytes(0, bytes, 0, 6);
    EXPECT_EQ(bytes, Hex({0xB0, 0xAB, 0xCD, 0xEF, 0x01, 0xC0}));
    // From an unaligned position.
    std::vector<std::uint8_t> shifted(3, 0x77);
    bits.ToBytes(4, shifted, 1, 2);
    EXPECT_EQ(shifted, Hex({0x77, 0x0A, 0xBC}));
}

TEST(BitArray, AppendBitArrayAndXor)
{
    std::mt19937 rng(3);
    TBitArray a, b;
    std::vector<bool> expected;
    for (int i = 0; i < 100; ++i) {
        int n = 1 + static_cast<int>(rng() % 32);
        std::uint32_t v = rng();
        (i % 2 ? a : b).AppendBits(v, n);
    }
    TBitArray joined;
    joined.AppendBitArray(a);
    joined.AppendBitArray(b);
    ASSERT_EQ(joined.GetSize(), a.GetSize() + b.GetSize());
    for (int i = 0; i < a.GetSize(); ++i) ASSERT_EQ(joined.Get(i), a.Get(i));
    for (int i = 0; i < b.GetSize(); ++i) ASSERT_EQ(joined.Get(a.GetSize() + i), b.Get(i));

    TBitArray x = joined;
    EXPECT_TRUE(x.XorOperation(joined));
    for (int i = 0; i < x.GetSize(); ++i) ASSERT_FALSE(x.Get(i));
    TBitArray shorter;
    shorter.AppendBits(1, 1);
    EXPECT_FALSE(x.XorOperation(shorter));
}

// ---------------------------------------------------------------------------
// Modes, filter and segment contents

TEST(ModeTable, IndicatorsAndCountLengths)
{
    struct Row {
        TMode mode;
        int indicator;
        int counts[3];
    };
    const Row rows[] = {
        {qmTerminator, 0x0, {0, 0, 0}},
        {qmNumeric, 0x1, {10, 12, 14}},
        {qmAlphanumeric, 0x2, {9, 11, 13}},
        {qmStructuredAppend, 0x3, {0, 0, 0}},
        {qmByte, 0x4, {8, 16, 16}},
        {qmECI, 0x7, {0, 0, 0}},
        {qmKanji, 0x8, {8, 10, 12}},
        {qmFNC1FirstPosition, 0x5, {0, 0, 0}},
        {qmFNC1SecondPosition, 0x9, {0, 0, 0}},
        {qmHanzi, 0xD, {8, 10, 12}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(GetModeBits(r.mode), r.indicator) << r.mode;
        for (int v : {1, 9}) EXPECT_EQ(GetCharacterCountBits(r.mode, v), r.counts[0]) << r.mode << " v" << v;
        for (int v : {10, 26}) EXPECT_EQ(GetCharacterCountBits(r.mode, v), r.counts[1]) << r.mode << " v" << v;
        for (int v : {27, 40}) EXPECT_EQ(GetCharacterCountBits(r.mode, v), r.counts[2]) << r.mode << " v" << v;
    }
}

TEST(ModeTable, AlphanumericValues)
{
    const std::u16string table = u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
    for (std::size_t i = 0; i < table.size(); ++i) EXPECT_EQ(GetAlphanumericCode(table[i]), static_cast<int>(i));
    for (char16_t c : std::u16string(u"abcz_#@!?,;=\u00C4\u0416")) EXPECT_EQ(GetAlphanumericCode(c), -1) << int(c);
}

struct TModeCase {
    const char* name;
    std::u16string text;
    TQRCodeEncoding setting;
    TMode mode;
    TQRCodeEncoding effective;
};

class ModeChoice : public ::testing::TestWithParam<TModeCase> {};

TEST_P(ModeChoice, ChoosesModeAndByteFlavour)
{
    const TModeCase& c = GetParam();
    TQRCodeEncoding e = c.setting;
    EXPECT_EQ(TEncoder::ChooseMode(c.text, e), c.mode);
    EXPECT_EQ(e, c.effective);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ModeChoice,
    ::testing::Values(TModeCase{"AutoDigits", u"0123", qrAuto, qmNumeric, qrAuto},
                      TModeCase{"AutoUpperCase", u"AB0C", qrAuto, qmAlphanumeric, qrAuto},
                      TModeCase{"AutoLowerCase", u"hello world", qrAuto, qmByte, qrISO88591},
                      TModeCase{"AutoLatin1", u"caf\u00E9 \u00FF", qrAuto, qmByte, qrISO88591},
                      TModeCase{"AutoCyrillic", u"\u043F\u0440\u0438\u0432\u0435\u0442", qrAuto, qmByte, qrUTF8NoBOM},
                      TModeCase{"AutoEmpty", u"", qrAuto, qmByte, qrUTF8NoBOM},
                      TModeCase{"NumericSettingOnLetters", u"abc", qrNumeric, qmNumeric, qrNumeric},
                      TModeCase{"AlphanumericSetting", u"123", qrAlphanumeric, qmAlphanumeric, qrAlphanumeric},
                      TModeCase{"Latin1Setting", u"123", qrISO88591, qmByte, qrISO88591},
                      TModeCase{"WithMarkSetting", u"123", qrUTF8NoBOM, qmByte, qrUTF8NoBOM},
                      TModeCase{"WithoutMarkSetting", u"123", qrUTF8BOM, qmByte, qrUTF8BOM}),
    [](const ::testing::TestParamInfo<TModeCase>& info) { return std::string(info.param.name); });

TEST(CharacterFilter, DropsWhatTheModeCannotHold)
{
    EXPECT_EQ(TEncoder::FilterContent(u"a1b2-3 4", qmNumeric, qrNumeric), u"1234");
    EXPECT_EQ(TEncoder::FilterContent(u"Ab:c d$", qmAlphanumeric, qrAlphanumeric), u"A: $");
    EXPECT_EQ(TEncoder::FilterContent(u"a\u00E9\u0416b\u20AC", qmByte, qrISO88591), u"a\u00E9b");
    EXPECT_EQ(TEncoder::FilterContent(u"a\u00E9\u0416b\u20AC", qmByte, qrUTF8NoBOM), u"a\u00E9\u0416b\u20AC");
    EXPECT_EQ(TEncoder::FilterContent(u"a\u00E9\u0416b\u20AC", qmByte, qrUTF8BOM), u"a\u00E9\u0416b\u20AC");
}

TEST(ByteModeBytes, FlavoursWriteTheirBytes)
{
    const std::u16string text = u"A\u00E9\u20AC\U0001F600";
    std::vector<std::uint8_t> utf8 = qrtest::Utf8Of(text);
    std::vector<std::uint8_t> withMark = Hex({0xEF, 0xBB, 0xBF});
    withMark.insert(withMark.end(), utf8.begin(), utf8.end());
    EXPECT_EQ(TEncoder::ByteModeBytes(text, qrUTF8NoBOM), withMark);
    EXPECT_EQ(TEncoder::ByteModeBytes(text, qrUTF8BOM), utf8);
    EXPECT_EQ(TEncoder::ByteModeBytes(u"A\u00E9\u00FF", qrISO88591), Hex({0x41, 0xE9, 0xFF}));
    // An unpaired surrogate has no UTF-8 form and becomes U+FFFD.
    EXPECT_EQ(TEncoder::ByteModeBytes(std::u16string(1, char16_t(0xD800)) + u"x", qrUTF8BOM),
              Hex({0xEF, 0xBF, 0xBD, 0x78}));
}

struct TSegmentCase {
    const char* name;
    std::u16string text;
    TQRCodeEncoding setting;
    int modeIndicator;
    int countBits;
    int count;
    std::vector<int> values;
};

class SegmentContents : public ::testing::TestWithParam<TSegmentCase> {};

TEST_P(SegmentContents, HeaderCountAndData)
{
    const TSegmentCase& c = GetParam();
    TCodewords r = Codewords(c.text, c.setting);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.code.GetVersion()->GetECBlocksForLevel(kLevelL).GetNumBlocks(), 1);
    TSegment s = ParseSingleBlock(r.bytes, c.countBits);
    EXPECT_EQ(s.modeIndicator, c.modeIndicator);
    EXPECT_EQ(s.count, c.count);
    EXPECT_EQ(s.values, c.values);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SegmentContents,
    ::testing::Values(TSegmentCase{"HelloWorldLowerCase",
                                   u"hello world",
                                   qrAuto,
                                   4,
                                   8,
                                   11,
                                   {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}},
                      TSegmentCase{"AB0C", u"AB0C", qrAuto, 2, 9, 4, {461, 12}},
                      TSegmentCase{
                          "CyrillicWord",
                          u"\u043F\u0440\u0438\u0432\u0435\u0442",
                          qrAuto,
                          4,
                          8,
                          15,
                          {0xEF, 0xBB, 0xBF, 0xD0, 0xBF, 0xD1, 0x80, 0xD0, 0xB8, 0xD0, 0xB2, 0xD0, 0xB5, 0xD1, 0x82}},
                      TSegmentCase{"EmptyText", u"", qrAuto, 4, 8, 3, {0xEF, 0xBB, 0xBF}},
                      TSegmentCase{"DigitGroups", u"12345", qrAuto, 1, 10, 5, {123, 45}},
                      TSegmentCase{"DigitSingleTail", u"1234", qrAuto, 1, 10, 4, {123, 4}},
                      TSegmentCase{"NumericSettingFilters", u"1a2b3c4", qrNumeric, 1, 10, 4, {123, 4}},
                      TSegmentCase{"AlphanumericSettingFilters", u"ab1-C", qrAlphanumeric, 2, 9, 3, {1 * 45 + 41, 12}},
                      TSegmentCase{"Latin1SettingFilters", u"\u00E9\u0416!", qrISO88591, 4, 8, 2, {0xE9, '!'}},
                      TSegmentCase{"WithoutMarkSetting", u"\u00E9", qrUTF8BOM, 4, 8, 2, {0xC3, 0xA9}},
                      TSegmentCase{"NumericSettingOnNoDigits", u"abc", qrNumeric, 1, 10, 0, {}}),
    [](const ::testing::TestParamInfo<TSegmentCase>& info) { return std::string(info.param.name); });

TEST(TerminatorAndPadding, FillsTheDataCodewords)
{
    // "01234567" leaves 41 of 152 bits: 4 terminator bits, 3 to the byte, 13 pad bytes.
    TCodewords r = Codewords(u"01234567");
    ASSERT_GE(r.bytes.size(), 19u);
    EXPECT_EQ(r.bytes[5], 0x80); // last data bits 1, terminator and alignment zeros
    for (int i = 6; i < 19; ++i) EXPECT_EQ(r.bytes[static_cast<std::size_t>(i)], (i - 6) % 2 == 0 ? 0xEC : 0x11) << i;

    // A stream one bit short of the capacity takes a single terminator bit.
    TEncoder encoder;
    TBitArray bits;
    for (int i = 0; i < 151; ++i) bits.AppendBit(true);
    encoder.TerminateBits(19, bits);
    EXPECT_EQ(bits.GetSize(), 152);
    EXPECT_FALSE(bits.Get(151));
    EXPECT_FALSE(encoder.HasError());

    // A stream longer than the capacity gets nothing and raises the flag.
    TEncoder over;
    TBitArray tooLong;
    for (int i = 0; i < 20; ++i) tooLong.AppendBits(0xAA, 8);
    over.TerminateBits(19, tooLong);
    EXPECT_EQ(tooLong.GetSize(), 160);
    EXPECT_TRUE(over.HasError());
}

// ---------------------------------------------------------------------------
// Version table and choice

TEST(VersionTable, RowsGivenForChecking)
{
    struct Row {
        int version, total, blocks, ecPerBlock, dataCodewords;
        std::vector<std::pair<int, int>> groups;
    };
    const Row rows[] = {
        {1, 26, 1, 7, 19, {{1, 19}}},
        {5, 134, 1, 26, 108, {{1, 108}}},
        {10, 346, 4, 18, 274, {{2, 68}, {2, 69}}},
        {40, 3706, 25, 30, 2956, {{19, 118}, {6, 119}}},
    };
    for (const Row& r : rows) {
        std::optional<TVersion> v = TVersion::GetVersionForNumber(r.version);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->GetVersionNumber(), r.version);
        EXPECT_EQ(v->GetTotalCodewords(), r.total);
        EXPECT_EQ(v->GetDimensionForVersion(), 17 + 4 * r.version);
        const TECBlocks& ecb = v->GetECBlocksForLevel(kLevelL);
        EXPECT_EQ(ecb.GetNumBlocks(), r.blocks);
        EXPECT_EQ(ecb.GetECCodewordsPerBlock(), r.ecPerBlock);
        EXPECT_EQ(ecb.GetTotalECCodewords(), r.blocks * r.ecPerBlock);
        EXPECT_EQ(v->GetDataCodewords(kLevelL), r.dataCodewords);
        ASSERT_EQ(ecb.GetGroupCount(), static_cast<int>(r.groups.size()));
        for (std::size_t g = 0; g < r.groups.size(); ++g) {
            EXPECT_EQ(ecb.GetECB(static_cast<int>(g)).GetCount(), r.groups[g].first);
            EXPECT_EQ(ecb.GetECB(static_cast<int>(g)).GetDataCodewords(), r.groups[g].second);
        }
    }
    EXPECT_FALSE(TVersion::GetVersionForNumber(0));
    EXPECT_FALSE(TVersion::GetVersionForNumber(41));
}

TEST(VersionTable, EveryLevelAddsUpToTheVersionsCodewords)
{
    // Codeword totals of the standard for versions 1 to 40.
    const int totals[40] = {26,   44,   70,   100,  134,  172,  196,  242,  292,  346,  404,  466,  532,  581,
                            655,  733,  815,  901,  991,  1085, 1156, 1258, 1364, 1474, 1588, 1706, 1828, 1921,
                            2051, 2185, 2323, 2465, 2611, 2761, 2876, 3034, 3196, 3362, 3532, 3706};
    for (int n = 1; n <= 40; ++n) {
        std::optional<TVersion> v = TVersion::GetVersionForNumber(n);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->GetTotalCodewords(), totals[n - 1]) << "version " << n;
        for (int bits : {1, 0, 3, 2}) {
            const TECBlocks& ecb = v->GetECBlocksForLevel(TErrorCorrectionLevel(bits));
            int sum = 0;
            for (int g = 0; g < ecb.GetGroupCount(); ++g)
                sum += ecb.GetECB(g).GetCount() * (ecb.GetECB(g).GetDataCodewords() + ecb.GetECCodewordsPerBlock());
            EXPECT_EQ(sum, totals[n - 1]) << "version " << n << " level bits " << bits;
            if (ecb.GetGroupCount() == 2) {
                EXPECT_EQ(ecb.GetECB(1).GetDataCodewords(), ecb.GetECB(0).GetDataCodewords() + 1) << "version " << n;
            }
        }
    }
}

TEST(VersionTable, AlignmentCentres)
{
    EXPECT_TRUE(TVersion::GetVersionForNumber(1)->GetAlignmentPatternCenters().empty());
    EXPECT_EQ(TVersion::GetVersionForNumber(2)->GetAlignmentPatternCenters(), (std::vector<int>{6, 18}));
    EXPECT_EQ(TVersion::GetVersionForNumber(7)->GetAlignmentPatternCenters(), (std::vector<int>{6, 22, 38}));
    EXPECT_EQ(TVersion::GetVersionForNumber(40)->GetAlignmentPatternCenters(),
              (std::vector<int>{6, 30, 58, 86, 114, 142, 170}));
    for (int n = 2; n <= 40; ++n) {
        const TVersion v = *TVersion::GetVersionForNumber(n);
        const std::vector<int>& c = v.GetAlignmentPatternCenters();
        ASSERT_EQ(static_cast<int>(c.size()), n / 7 + 2) << "version " << n;
        EXPECT_EQ(c.front(), 6);
        EXPECT_EQ(c.back(), 17 + 4 * n - 7) << "version " << n;
        for (std::size_t i = 2; i < c.size(); ++i)
            EXPECT_EQ(c[i] - c[i - 1], c.back() - c[c.size() - 2]) << "version " << n;
    }
}

TEST(VersionChoice, SmallestVersionHoldingTheCodewords)
{
    EXPECT_EQ(TVersion::ChooseVersion(1, kLevelL)->GetVersionNumber(), 1);
    EXPECT_EQ(TVersion::ChooseVersion(19 * 8, kLevelL)->GetVersionNumber(), 1);
    EXPECT_EQ(TVersion::ChooseVersion(19 * 8 + 1, kLevelL)->GetVersionNumber(), 2);
    // 348 bits need 44 codewords: version 2 has 34, version 3 has 55.
    EXPECT_EQ(TVersion::ChooseVersion(348, kLevelL)->GetVersionNumber(), 3);
    EXPECT_EQ(TVersion::ChooseVersion(2956 * 8, kLevelL)->GetVersionNumber(), 40);
    EXPECT_FALSE(TVersion::ChooseVersion(2956 * 8 + 1, kLevelL));
}

// Byte-mode capacities at level L from the standard's capacity table.
constexpr int kByteCapacity[40] = {17,   32,   53,   78,   106,  134,  154,  192,  230,  271,  321,  367,  425,  458,
                                   520,  586,  644,  718,  792,  858,  929,  1003, 1091, 1171, 1273, 1367, 1465, 1528,
                                   1628, 1732, 1840, 1952, 2068, 2188, 2303, 2431, 2563, 2699, 2809, 2953};

TEST(VersionChoice, ByteCapacityOfEveryVersion)
{
    for (int n = 1; n <= 40; ++n) {
        TCodewords full = Codewords(std::u16string(static_cast<std::size_t>(kByteCapacity[n - 1]), u'a'));
        ASSERT_TRUE(full.ok) << "version " << n;
        EXPECT_EQ(full.code.GetVersion()->GetVersionNumber(), n);
        EXPECT_FALSE(full.error);
        TCodewords over = Codewords(std::u16string(static_cast<std::size_t>(kByteCapacity[n - 1]) + 1, u'a'));
        if (n < 40) {
            ASSERT_TRUE(over.ok);
            EXPECT_EQ(over.code.GetVersion()->GetVersionNumber(), n + 1);
        } else {
            EXPECT_FALSE(over.ok);
        }
    }
}

struct TCapacityCase {
    const char* name;
    std::u16string text;
    bool fits;
    int version;
    TMode mode;
};

class CapacityLimits : public ::testing::TestWithParam<TCapacityCase> {};

TEST_P(CapacityLimits, FitsOrNot)
{
    const TCapacityCase& c = GetParam();
    TCodewords r = Codewords(c.text);
    ASSERT_EQ(r.ok, c.fits);
    if (!c.fits) return;
    EXPECT_EQ(r.code.GetVersion()->GetVersionNumber(), c.version);
    EXPECT_EQ(r.code.GetMode(), c.mode);
    EXPECT_EQ(r.bits.GetSize(), r.code.GetVersion()->GetTotalCodewords() * 8);
    EXPECT_FALSE(r.error);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CapacityLimits,
    ::testing::Values(TCapacityCase{"HexAddress", u"0x" + std::u16string(40, u'a'), true, 3, qmByte},
                      TCapacityCase{"Bytes2953", std::u16string(2953, u'a'), true, 40, qmByte},
                      TCapacityCase{"Bytes2954", std::u16string(2954, u'a'), false, 0, qmByte},
                      TCapacityCase{"Alphanumeric4296", std::u16string(4296, u'A'), true, 40, qmAlphanumeric},
                      TCapacityCase{"Alphanumeric4297", std::u16string(4297, u'A'), false, 0, qmAlphanumeric},
                      TCapacityCase{"Digits7089", std::u16string(7089, u'7'), true, 40, qmNumeric},
                      TCapacityCase{"Digits7090", std::u16string(7090, u'7'), false, 0, qmNumeric},
                      TCapacityCase{"Utf8WithMark2953Bytes", u"\u0416" + std::u16string(2948, u'a'), true, 40, qmByte},
                      TCapacityCase{"Utf8WithMark2954Bytes", u"\u0416" + std::u16string(2949, u'a'), false, 0, qmByte}),
    [](const ::testing::TestParamInfo<TCapacityCase>& info) { return std::string(info.param.name); });

TEST(VersionChoice, HugeTextsFitNothingAndFilteredTextsMayFit)
{
    TCodewords huge = Codewords(std::u16string(1000000, u'x'));
    EXPECT_FALSE(huge.ok);
    // A million letters under the numeric setting filter down to nothing.
    TCodewords filtered = Codewords(std::u16string(1000000, u'x'), qrNumeric);
    ASSERT_TRUE(filtered.ok);
    EXPECT_EQ(filtered.code.GetVersion()->GetVersionNumber(), 1);
}

TEST(VersionChoice, UnknownEncodingValueGivesNoSymbol)
{
    TCodewords r = Codewords(u"123", static_cast<TQRCodeEncoding>(6));
    EXPECT_FALSE(r.ok);
    TCodewords n = Codewords(u"123", static_cast<TQRCodeEncoding>(-1));
    EXPECT_FALSE(n.ok);
}

// ---------------------------------------------------------------------------
// Blocks and interleaving

TEST(Blocks, ShortBlocksComeFirst)
{
    struct Row {
        int version;
        std::vector<int> dataPerBlock;
        int ec;
    };
    const Row rows[] = {
        {1, {19}, 7},
        {10, {68, 68, 69, 69}, 18},
        {40,
         [] {
             std::vector<int> v(19, 118);
             v.insert(v.end(), 6, 119);
             return v;
         }(),
         30},
    };
    for (const Row& r : rows) {
        TVersion v = *TVersion::GetVersionForNumber(r.version);
        int total = v.GetTotalCodewords();
        int data = v.GetDataCodewords(kLevelL);
        int blocks = v.GetECBlocksForLevel(kLevelL).GetNumBlocks();
        ASSERT_EQ(blocks, static_cast<int>(r.dataPerBlock.size()));
        for (int i = 0; i < blocks; ++i) {
            int d = 0, e = 0;
            TEncoder::GetNumDataBytesAndNumECBytesForBlockID(total, data, blocks, i, d, e);
            EXPECT_EQ(d, r.dataPerBlock[static_cast<std::size_t>(i)]) << "version " << r.version << " block " << i;
            EXPECT_EQ(e, r.ec);
        }
    }
}

TEST(Blocks, InterleavingTakesCodewordIOfEveryBlockInTurn)
{
    // Version 10: blocks of 68, 68, 69, 69 data codewords and 18 EC each.
    std::mt19937 rng(5);
    TBitArray stream;
    std::vector<std::uint8_t> data(274);
    for (auto& b : data) {
        b = static_cast<std::uint8_t>(rng());
        stream.AppendBits(b, 8);
    }
    TEncoder encoder;
    TBitArray result = encoder.InterleaveWithECBytes(stream, 346, 274, 4);
    EXPECT_FALSE(encoder.HasError());
    std::vector<std::uint8_t> out = ToByteVector(result);
    ASSERT_EQ(out.size(), 346u);

    const int starts[4] = {0, 68, 136, 205};
    const int lengths[4] = {68, 68, 69, 69};
    std::vector<std::uint8_t> expected;
    for (int i = 0; i < 69; ++i)
        for (int b = 0; b < 4; ++b)
            if (i < lengths[b]) expected.push_back(data[static_cast<std::size_t>(starts[b] + i)]);
    std::vector<std::vector<std::uint8_t>> ec;
    for (int b = 0; b < 4; ++b)
        ec.push_back(TEncoder::GenerateECBytes(
            std::vector<std::uint8_t>(data.begin() + starts[b], data.begin() + starts[b] + lengths[b]), 18));
    for (int i = 0; i < 18; ++i)
        for (int b = 0; b < 4; ++b) expected.push_back(ec[static_cast<std::size_t>(b)][static_cast<std::size_t>(i)]);
    EXPECT_EQ(out, expected);
}

TEST(Blocks, WrongDataLengthRaisesTheFlag)
{
    TBitArray stream;
    for (int i = 0; i < 18; ++i) stream.AppendBits(0x11, 8);
    TEncoder encoder;
    TBitArray result = encoder.InterleaveWithECBytes(stream, 26, 19, 1);
    EXPECT_TRUE(encoder.HasError());
}
