// Grids rendered to images and read back by an independent decoder.
#include "QRCode.h"
#include "QRTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using qrtest::Ascii;
using qrtest::Bytes;

const std::vector<std::uint8_t> kMark = {0xEF, 0xBB, 0xBF};

std::vector<std::uint8_t> LowBytes(const std::u16string& text)
{
    std::vector<std::uint8_t> out;
    for (char16_t c : text) out.push_back(static_cast<std::uint8_t>(c));
    return out;
}

std::vector<std::uint8_t> WithMark(const std::vector<std::uint8_t>& bytes)
{
    std::vector<std::uint8_t> out = kMark;
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

// Byte-mode capacities at level L, from the standard's capacity table.
constexpr int kByteCapacity[40] = {17,   32,   53,   78,   106,  134,  154,  192,  230,  271,  321,  367,  425,  458,
                                   520,  586,  644,  718,  792,  858,  929,  1003, 1091, 1171, 1273, 1367, 1465, 1528,
                                   1628, 1732, 1840, 1952, 2068, 2188, 2303, 2431, 2563, 2699, 2809, 2953};

std::u16string Latin1Text(std::size_t length, std::mt19937& rng)
{
    std::u16string s;
    for (std::size_t i = 0; i < length; ++i) s.push_back(static_cast<char16_t>(0x20 + rng() % (0x100 - 0x20)));
    return s;
}

struct TDecoded {
    bool valid = false;
    bool mirrored = false;
    std::string ecLevel;
    std::vector<std::uint8_t> bytes;
};

TDecoded DecodeGrid(const TQRCodeGrid& grid)
{
    ZXing::Result result = qrtest::Decode(grid);
    TDecoded d;
    d.valid = result.isValid();
    d.mirrored = result.isMirrored();
    d.ecLevel = result.ecLevel();
    d.bytes = Bytes(result);
    return d;
}

} // namespace

// ---------------------------------------------------------------------------
// Table of modes, byte flavours and versions

struct TRoundTripCase {
    std::string name;
    std::u16string text;
    TQRCodeEncoding encoding;
    int version;
    std::vector<std::uint8_t> bytes;
};

class RoundTrip : public ::testing::TestWithParam<TRoundTripCase> {};

TEST_P(RoundTrip, DecoderReadsTheBytesBack)
{
    const TRoundTripCase& c = GetParam();
    TQRCodeGrid grid;
    // A text different from the initial empty one, so that the empty text
    // case encodes too.
    grid.SetData(u"-");
    grid.SetEncoding(c.encoding);
    grid.SetData(c.text);
    ASSERT_EQ(grid.Rows(), 17 + 4 * c.version + 8) << "version";
    TDecoded d = DecodeGrid(grid);
    ASSERT_TRUE(d.valid);
    EXPECT_FALSE(d.mirrored);
    EXPECT_EQ(d.ecLevel, "L");
    EXPECT_EQ(d.bytes, c.bytes);
}

std::vector<TRoundTripCase> RoundTripCases()
{
    std::mt19937 rng(101);
    std::vector<TRoundTripCase> cases;
    const std::u16string cyrillic = u"\u043F\u0440\u0438\u0432\u0435\u0442";
    const std::u16string mixed = u"Gr\u00FC\u00DFe \u20AC \u65E5\u672C \U0001F600";
    const std::u16string address = u"0x52908400098527886e0f7030069857d2e4169ee7";

    cases.push_back({"Numeric", u"01234567", qrAuto, 1, Bytes("01234567")});
    cases.push_back({"Alphanumeric", u"HELLO WORLD", qrAuto, 1, Bytes("HELLO WORLD")});
    cases.push_back({"AlphanumericOddLength", u"AB0C $%*+-./:", qrAuto, 1, Bytes("AB0C $%*+-./:")});
    cases.push_back({"ByteLowerCase", u"hello world", qrAuto, 1, Bytes("hello world")});
    cases.push_back({"HexAddress", address, qrAuto, 3, LowBytes(address)});
    cases.push_back(
        {"Latin1", u"caf\u00E9 \u00A9 \u00FF\u00C4", qrAuto, 1, LowBytes(u"caf\u00E9 \u00A9 \u00FF\u00C4")});
    cases.push_back({"Latin1SettingDropsOthers", u"a\u0416b\u00E9", qrISO88591, 1, LowBytes(u"ab\u00E9")});
    cases.push_back({"AutoCyrillicWithMark", cyrillic, qrAuto, 1, WithMark(qrtest::Utf8Of(cyrillic))});
    cases.push_back({"Utf8WithMarkSetting", mixed, qrUTF8NoBOM, 2, WithMark(qrtest::Utf8Of(mixed))});
    cases.push_back({"Utf8WithoutMarkSetting", mixed, qrUTF8BOM, 2, qrtest::Utf8Of(mixed)});
    cases.push_back({"EmptyTextIsTheMark", u"", qrAuto, 1, kMark});
    cases.push_back({"NumericSettingFilters", u"tel: 0800-123 456", qrNumeric, 1, Bytes("0800123456")});
    cases.push_back({"AlphanumericSettingFilters", u"Hello, World!", qrAlphanumeric, 1, Bytes("H W")});

    // Versions at their byte capacity, and one byte past the previous one.
    for (int v : {1, 2, 6, 7, 10, 26, 27, 40}) {
        std::u16string full = Latin1Text(static_cast<std::size_t>(kByteCapacity[v - 1]), rng);
        cases.push_back({"Version" + std::to_string(v) + "Full", full, qrISO88591, v, LowBytes(full)});
        if (v > 1) {
            std::u16string least = Latin1Text(static_cast<std::size_t>(kByteCapacity[v - 2]) + 1, rng);
            cases.push_back({"Version" + std::to_string(v) + "Least", least, qrISO88591, v, LowBytes(least)});
        }
    }
    // Numeric and alphanumeric at the largest symbol (count indicators of 14 and 13 bits).
    std::string digits, alnum;
    const std::string alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
    for (int i = 0; i < 7089; ++i) digits.push_back(static_cast<char>('0' + rng() % 10));
    for (int i = 0; i < 4296; ++i) alnum.push_back(alphabet[rng() % alphabet.size()]);
    cases.push_back({"Version40Digits", Ascii(digits), qrAuto, 40, Bytes(digits)});
    cases.push_back({"Version40Alphanumeric", Ascii(alnum), qrAuto, 40, Bytes(alnum)});
    // One digit past versions 9 and 26 (1856 and 10960 data bits, less 4 + 10
    // and 4 + 12 header bits): count lengths of 12 and 14 bits.
    std::string d10(digits.begin(), digits.begin() + 553), d27(digits.begin(), digits.begin() + 3284);
    cases.push_back({"Version10Digits", Ascii(d10), qrAuto, 10, Bytes(d10)});
    cases.push_back({"Version27Digits", Ascii(d27), qrAuto, 27, Bytes(d27)});
    // UTF-8 with and without the mark in a multi-block version.
    // 56 x 23 bytes: 1288, or 1291 with the mark, between the capacities of
    // versions 25 (1273) and 26 (1367).
    std::u16string longMixed;
    for (int i = 0; i < 56; ++i) longMixed += mixed;
    EXPECT_EQ(qrtest::Utf8Of(longMixed).size(), 1288u);
    cases.push_back({"Utf8WithMarkLong", longMixed, qrUTF8NoBOM, 26, WithMark(qrtest::Utf8Of(longMixed))});
    cases.push_back({"Utf8WithoutMarkLong", longMixed, qrUTF8BOM, 26, qrtest::Utf8Of(longMixed)});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Table, RoundTrip, ::testing::ValuesIn(RoundTripCases()),
                         [](const ::testing::TestParamInfo<TRoundTripCase>& info) { return info.param.name; });

TEST(RoundTripVersions, EveryVersionAtFullByteCapacity)
{
    std::mt19937 rng(202);
    for (int v = 1; v <= 40; ++v) {
        std::u16string text = Latin1Text(static_cast<std::size_t>(kByteCapacity[v - 1]), rng);
        TQRCodeGrid grid;
        grid.SetData(text);
        ASSERT_EQ(grid.Rows(), 17 + 4 * v + 8);
        TDecoded d = DecodeGrid(grid);
        ASSERT_TRUE(d.valid) << "version " << v;
        EXPECT_FALSE(d.mirrored);
        EXPECT_EQ(d.bytes, LowBytes(text)) << "version " << v;
    }
}

// ---------------------------------------------------------------------------
// Seeded random texts of every mode and length

namespace {

enum class TKind {
    Digits,
    Alphanumeric,
    Latin1,
    Unicode,
    Utf8WithoutMark,
    Latin1Setting,
    NumericSetting,
    AlnumSetting
};

char16_t RandomUnicode(std::mt19937& rng)
{
    for (;;) {
        char16_t c;
        switch (rng() % 4) {
        case 0:
            c = static_cast<char16_t>(0x20 + rng() % 0x5F);
            break;
        case 1:
            c = static_cast<char16_t>(0xA0 + rng() % 0x700);
            break;
        case 2:
            c = static_cast<char16_t>(0x3000 + rng() % 0x6000);
            break;
        default:
            c = static_cast<char16_t>(0x800 + rng() % 0xF7FE);
            break;
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xFEFF) continue;
        return c;
    }
}

// Random text whose UTF-8 stays within `budget` bytes; about one character
// in eight outside the basic plane (a surrogate pair).
std::u16string RandomUnicodeText(std::size_t budget, std::mt19937& rng)
{
    std::u16string s;
    std::size_t bytes = 0;
    for (;;) {
        std::u16string piece;
        std::size_t len;
        if (rng() % 8 == 0) {
            char32_t cp = 0x10000 + rng() % 0xFFFF0;
            piece.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            piece.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
            len = 4;
        } else {
            char16_t c = RandomUnicode(rng);
            piece.push_back(c);
            len = c < 0x80 ? 1 : (c < 0x800 ? 2 : 3);
        }
        if (bytes + len > budget) return s;
        bytes += len;
        s += piece;
    }
}

std::size_t RandomLength(std::size_t max, std::mt19937& rng)
{
    // Mostly short texts, with a quarter spread over the whole range.
    if (rng() % 4 == 0) return rng() % (max + 1);
    return rng() % std::min<std::size_t>(max + 1, 120);
}

} // namespace

TEST(RoundTripProperty, RandomTextsDecodeToThemselves)
{
    std::mt19937 rng(20250611);
    const std::string alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
    int versionsSeen[41] = {};
    const int kTexts = 1200;
    for (int i = 0; i < kTexts; ++i) {
        TKind kind = static_cast<TKind>(i % 8);
        std::u16string text;
        std::u16string expectedText; // what the decoder must give back
        TQRCodeEncoding encoding = qrAuto;
        bool mark = false;
        bool utf8 = false;
        switch (kind) {
        case TKind::Digits:
            for (std::size_t n = RandomLength(7089, rng); n > 0; --n)
                text.push_back(static_cast<char16_t>(u'0' + rng() % 10));
            break;
        case TKind::Alphanumeric:
            for (std::size_t n = RandomLength(4296, rng); n > 0; --n) text.push_back(alphabet[rng() % alphabet.size()]);
            break;
        case TKind::Latin1:
            text = Latin1Text(RandomLength(2953, rng), rng);
            break;
        case TKind::Unicode:
            // Automatic choice writes the mark (3 bytes) for a text beyond Latin-1.
            text = RandomUnicodeText(RandomLength(2948, rng), rng);
            text.push_back(u'\u0416');
            break;
        case TKind::Utf8WithoutMark:
            encoding = rng() % 2 ? qrUTF8BOM : qrUTF8NoBOM;
            utf8 = true;
            mark = encoding == qrUTF8NoBOM;
            text = RandomUnicodeText(RandomLength(mark ? 2950 : 2953, rng), rng);
            break;
        case TKind::Latin1Setting:
            text = Latin1Text(RandomLength(2000, rng), rng);
            for (std::size_t k = 0; k < text.size(); k += 7) text[k] = RandomUnicode(rng);
            encoding = qrISO88591;
            break;
        case TKind::NumericSetting:
            for (std::size_t n = RandomLength(7000, rng); n > 0; --n)
                text.push_back(rng() % 3 ? static_cast<char16_t>(u'0' + rng() % 10) : RandomUnicode(rng));
            encoding = qrNumeric;
            break;
        case TKind::AlnumSetting:
            for (std::size_t n = RandomLength(4200, rng); n > 0; --n)
                text.push_back(rng() % 3 ? static_cast<char16_t>(alphabet[rng() % alphabet.size()])
                                         : RandomUnicode(rng));
            encoding = qrAlphanumeric;
            break;
        }
        if (encoding == qrAuto) {
            // Automatic choice falls back to UTF-8 with the mark for the empty text
            // and for anything beyond Latin-1.
            bool latin1 = !text.empty();
            for (char16_t c : text) latin1 = latin1 && c <= 0xFF;
            utf8 = mark = !latin1;
        }
        // What survives the character filter under an explicit setting.
        for (char16_t c : text) {
            bool keep = true;
            if (encoding == qrNumeric) keep = c >= u'0' && c <= u'9';
            if (encoding == qrAlphanumeric) keep = c < 0x80 && alphabet.find(static_cast<char>(c)) != std::string::npos;
            if (encoding == qrISO88591) keep = c <= 0xFF;
            if (keep) expectedText.push_back(c);
        }

        TQRCodeGrid grid;
        grid.SetData(u"-");
        grid.SetEncoding(encoding);
        grid.SetData(text);
        ASSERT_GT(grid.Rows(), 8) << "case " << i << " length " << text.size();
        int version = (grid.Rows() - 8 - 17) / 4;
        ++versionsSeen[version];
        TDecoded d = DecodeGrid(grid);
        ASSERT_TRUE(d.valid) << "case " << i << " version " << version;
        ASSERT_FALSE(d.mirrored) << "case " << i;

        if (utf8) {
            std::vector<std::uint8_t> payload = d.bytes;
            if (mark) {
                ASSERT_GE(payload.size(), 3u) << "case " << i;
                ASSERT_EQ(std::vector<std::uint8_t>(payload.begin(), payload.begin() + 3), kMark) << "case " << i;
                payload.erase(payload.begin(), payload.begin() + 3);
            } else if (payload.size() >= 3) {
                ASSERT_NE(std::vector<std::uint8_t>(payload.begin(), payload.begin() + 3), kMark) << "case " << i;
            }
            ASSERT_EQ(qrtest::CodePointsOfUtf8(payload), qrtest::ToCodePoints(expectedText)) << "case " << i;
        } else {
            std::u16string decoded;
            for (std::uint8_t b : d.bytes) decoded.push_back(b);
            ASSERT_EQ(decoded, expectedText) << "case " << i;
        }
    }
    // The spread of lengths reaches small and large symbols alike.
    int distinct = 0;
    for (int v = 1; v <= 40; ++v) distinct += versionsSeen[v] > 0;
    EXPECT_GE(distinct, 30);
    EXPECT_GT(versionsSeen[1], 0);
    EXPECT_GT(versionsSeen[40], 0);
}
