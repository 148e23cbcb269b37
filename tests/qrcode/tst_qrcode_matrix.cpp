// Matrix construction, masks and penalty scores.
#include "QRCode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

const TErrorCorrectionLevel kLevelL(1);

TBitArray FinalBits(const std::u16string& text, TQRCode& code)
{
    TEncoder encoder;
    TBitArray bits;
    EXPECT_TRUE(encoder.EncodeCodewords(text, qrAuto, kLevelL, code, bits));
    return bits;
}

TBitArray RandomBits(int count, std::mt19937& rng)
{
    TBitArray bits;
    for (int i = 0; i < count; ++i) bits.AppendBit((rng() & 1) != 0);
    return bits;
}

TByteMatrix FromRows(const std::vector<std::string>& rows)
{
    TByteMatrix m(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (std::size_t y = 0; y < rows.size(); ++y)
        for (std::size_t x = 0; x < rows[y].size(); ++x)
            m.SetBoolean(static_cast<int>(x), static_cast<int>(y), rows[y][x] == '1');
    return m;
}

TByteMatrix Transposed(const TByteMatrix& m)
{
    TByteMatrix t(m.Height(), m.Width());
    for (int y = 0; y < m.Height(); ++y)
        for (int x = 0; x < m.Width(); ++x) t.SetInteger(y, x, m.Get(x, y));
    return t;
}

// Reads 15 format bits (bit k from the k-th position) as a string, bit 14 first.
std::string FormatWordAt(const TByteMatrix& m, bool copy)
{
    const int n = m.Width();
    static const int primary[15][2] = {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
                                       {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
    std::string word(15, '?');
    for (int k = 0; k < 15; ++k) {
        int x = copy ? (k < 8 ? n - 1 - k : 8) : primary[k][0];
        int y = copy ? (k < 8 ? 8 : n - 15 + k) : primary[k][1];
        word[static_cast<std::size_t>(14 - k)] = m.Get(x, y) == 1 ? '1' : '0';
    }
    return word;
}

} // namespace

// ---------------------------------------------------------------------------
// Mask choice on the worked examples

TEST(MaskChoice, ScoresOfDigitsExample)
{
    TQRCode code;
    TBitArray bits = FinalBits(u"01234567", code);
    std::array<int, 8> scores{};
    int mask = TEncoder::ChooseMaskPattern(bits, kLevelL, *code.GetVersion(), &scores);
    EXPECT_EQ(scores, (std::array<int, 8>{390, 386, 390, 346, 411, 445, 352, 369}));
    EXPECT_EQ(mask, 3);
}

TEST(MaskChoice, HelloWorldChoosesMask7)
{
    TQRCode code;
    TBitArray bits = FinalBits(u"HELLO WORLD", code);
    std::array<int, 8> scores{};
    EXPECT_EQ(TEncoder::ChooseMaskPattern(bits, kLevelL, *code.GetVersion(), &scores), 7);
    EXPECT_EQ(scores[7], 310);
    EXPECT_EQ(scores[0], 349);
}

TEST(MaskChoice, EncodeStoresTheWinnerAndItsMatrix)
{
    for (const std::u16string& text : {std::u16string(u"01234567"), std::u16string(u"HELLO WORLD")}) {
        TEncoder encoder;
        TQRCode code;
        ASSERT_TRUE(encoder.Encode(text, qrAuto, kLevelL, code));
        EXPECT_FALSE(encoder.HasError());
        ASSERT_TRUE(code.GetMatrix());
        TQRCode again;
        TBitArray bits = FinalBits(text, again);
        int mask = TEncoder::ChooseMaskPattern(bits, kLevelL, *again.GetVersion());
        EXPECT_EQ(code.GetMaskPattern(), mask);
        TByteMatrix expected(21, 21);
        TMatrixUtil util;
        util.BuildMatrix(bits, kLevelL, expected, mask, *again.GetVersion());
        EXPECT_EQ(*code.GetMatrix(), expected);
    }
}

TEST(MaskChoice, TieGoesToTheLowerMask)
{
    // Scores are recomputed independently here from full BuildMatrix results
    // and the winner must be the first minimum, for a spread of texts.
    std::mt19937 rng(17);
    for (int trial = 0; trial < 40; ++trial) {
        std::u16string text;
        int len = 1 + static_cast<int>(rng() % 60);
        for (int i = 0; i < len; ++i) text.push_back(static_cast<char16_t>(u'0' + rng() % 3));
        TQRCode code;
        TBitArray bits = FinalBits(text, code);
        const TVersion& version = *code.GetVersion();
        int n = version.GetDimensionForVersion();
        int best = -1, bestScore = 0;
        for (int mask = 0; mask < 8; ++mask) {
            TByteMatrix m(n, n);
            TMatrixUtil util;
            util.BuildMatrix(bits, kLevelL, m, mask, version);
            int score = TMaskUtil::CalculateMaskPenalty(m);
            if (best < 0 || score < bestScore) {
                best = mask;
                bestScore = score;
            }
        }
        EXPECT_EQ(TEncoder::ChooseMaskPattern(bits, kLevelL, version), best) << "trial " << trial;
    }
}

// ---------------------------------------------------------------------------
// Format and version information

TEST(FormatInformation, DigitsExampleCarriesMask3Word)
{
    TEncoder encoder;
    TQRCode code;
    ASSERT_TRUE(encoder.Encode(u"01234567", qrAuto, kLevelL, code));
    ASSERT_EQ(code.GetMaskPattern(), 3);
    EXPECT_EQ(FormatWordAt(*code.GetMatrix(), false), "111100010011101");
    EXPECT_EQ(FormatWordAt(*code.GetMatrix(), true), "111100010011101");
}

TEST(FormatInformation, LevelLWordsOfTheStandard)
{
    const char* words[8] = {"111011111000100", "111001011110011", "111110110101010", "111100010011101",
                            "110011000101111", "110001100011000", "110110001000001", "110100101110110"};
    for (int mask = 0; mask < 8; ++mask) {
        int w = TMatrixUtil::TypeInfoBits(kLevelL, mask);
        std::string s;
        for (int k = 14; k >= 0; --k) s.push_back(((w >> k) & 1) ? '1' : '0');
        EXPECT_EQ(s, words[mask]) << "mask " << mask;

        TByteMatrix m(25, 25);
        TMatrixUtil util;
        TMatrixUtil::ClearMatrix(m);
        util.EmbedTypeInfo(kLevelL, mask, m);
        EXPECT_EQ(FormatWordAt(m, false), words[mask]);
        EXPECT_EQ(FormatWordAt(m, true), words[mask]);
    }
}

TEST(VersionInformation, WordsOfTheStandard)
{
    const int words[34] = {0x07C94, 0x085BC, 0x09A99, 0x0A4D3, 0x0BBF6, 0x0C762, 0x0D847, 0x0E60D, 0x0F928,
                           0x10B78, 0x1145D, 0x12A17, 0x13532, 0x149A6, 0x15683, 0x168C9, 0x177EC, 0x18EC4,
                           0x191E1, 0x1AFAB, 0x1B08E, 0x1CC1A, 0x1D33F, 0x1ED75, 0x1F250, 0x209D5, 0x216F0,
                           0x228BA, 0x2379F, 0x24B0B, 0x2542E, 0x26A64, 0x27541, 0x28C69};
    for (int v = 7; v <= 40; ++v) EXPECT_EQ(TMatrixUtil::VersionInfoBits(v), words[v - 7]) << "version " << v;
}

TEST(VersionInformation, Version7BlocksBesideTheFinders)
{
    const std::string expected = "000111110010010100"; // bit 17 first
    TVersion v7 = *TVersion::GetVersionForNumber(7);
    const int n = v7.GetDimensionForVersion();
    std::mt19937 rng(1);
    TBitArray bits = RandomBits(v7.GetTotalCodewords() * 8, rng);
    TByteMatrix m(n, n);
    TMatrixUtil util;
    util.BuildMatrix(bits, kLevelL, m, 2, v7);
    std::string bottomLeft(18, '?'), topRight(18, '?');
    for (int k = 0; k < 18; ++k) {
        int a = k / 3, b = n - 11 + k % 3;
        bottomLeft[static_cast<std::size_t>(17 - k)] = m.Get(a, b) == 1 ? '1' : '0';
        topRight[static_cast<std::size_t>(17 - k)] = m.Get(b, a) == 1 ? '1' : '0';
    }
    EXPECT_EQ(bottomLeft, expected);
    EXPECT_EQ(topRight, expected);
}

TEST(VersionInformation, AbsentBelowVersion7)
{
    for (int n = 1; n <= 7; ++n) {
        TVersion v = *TVersion::GetVersionForNumber(n);
        int d = v.GetDimensionForVersion();
        TByteMatrix m(d, d);
        TMatrixUtil util;
        TMatrixUtil::ClearMatrix(m);
        util.EmbedBasicPatterns(v, m);
        util.MaybeEmbedVersionInfo(v, m);
        int filled = 0;
        for (int k = 0; k < 18; ++k) {
            int a = k / 3, b = d - 11 + k % 3;
            filled += (m.Get(a, b) != -1) + (m.Get(b, a) != -1);
        }
        EXPECT_EQ(filled, n < 7 ? 0 : 36) << "version " << n;
    }
}

// ---------------------------------------------------------------------------
// Function patterns and data placement

TEST(FunctionPatterns, FindersSeparatorsTimingAndDarkModule)
{
    for (int version : {1, 2, 7, 40}) {
        TVersion v = *TVersion::GetVersionForNumber(version);
        const int n = v.GetDimensionForVersion();
        TByteMatrix m(n, n);
        TMatrixUtil util;
        TMatrixUtil::ClearMatrix(m);
        util.EmbedBasicPatterns(v, m);
        EXPECT_FALSE(util.HasError());
        const int corners[3][2] = {{0, 0}, {n - 7, 0}, {0, n - 7}};
        for (const auto& c : corners) {
            for (int y = 0; y < 7; ++y) {
                for (int x = 0; x < 7; ++x) {
                    int ring = std::max(std::abs(x - 3), std::abs(y - 3)); // 3 outer, 2 light, <=1 centre
                    EXPECT_EQ(m.Get(c[0] + x, c[1] + y), ring == 2 ? 0 : 1) << "version " << version;
                }
            }
        }
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(m.Get(i, 7), 0);
            EXPECT_EQ(m.Get(n - 1 - i, 7), 0);
            EXPECT_EQ(m.Get(i, n - 8), 0);
        }
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(m.Get(7, i), 0);
            EXPECT_EQ(m.Get(n - 8, i), 0);
            EXPECT_EQ(m.Get(7, n - 1 - i), 0);
        }
        EXPECT_EQ(m.Get(8, n - 8), 1);
        for (int i = 8; i < n - 8; ++i) {
            EXPECT_EQ(m.Get(i, 6), i % 2 == 0 ? 1 : 0) << i;
            EXPECT_EQ(m.Get(6, i), i % 2 == 0 ? 1 : 0) << i;
        }
    }
}

TEST(FunctionPatterns, AlignmentPatternsSkipTheFinders)
{
    TVersion v = *TVersion::GetVersionForNumber(7);
    const int n = v.GetDimensionForVersion();
    TByteMatrix m(n, n);
    TMatrixUtil util;
    TMatrixUtil::ClearMatrix(m);
    util.EmbedBasicPatterns(v, m);
    EXPECT_FALSE(util.HasError());
    // 3 x 3 centres minus the three on finders.
    int drawn = 0;
    for (int cy : {6, 22, 38}) {
        for (int cx : {6, 22, 38}) {
            bool onFinder = (cx == 6 && cy == 6) || (cx == 38 && cy == 6) || (cx == 6 && cy == 38);
            if (onFinder) continue;
            ++drawn;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx) {
                    int ring = std::max(std::abs(dx), std::abs(dy));
                    EXPECT_EQ(m.Get(cx + dx, cy + dy), ring == 1 ? 0 : 1) << cx << "," << cy;
                }
        }
    }
    EXPECT_EQ(drawn, 6);
}

TEST(DataPlacement, ModulesLeftForDataMatchCodewordsAndRemainderBits)
{
    // Remainder bits per version range, from the standard.
    auto remainder = [](int v) {
        if (v == 1) return 0;
        if (v <= 6) return 7;
        if (v <= 13) return 0;
        if (v <= 20) return 3;
        if (v <= 27) return 4;
        if (v <= 34) return 3;
        return 0;
    };
    for (int n = 1; n <= 40; ++n) {
        TVersion v = *TVersion::GetVersionForNumber(n);
        int d = v.GetDimensionForVersion();
        TByteMatrix m(d, d);
        TMatrixUtil util;
        TMatrixUtil::ClearMatrix(m);
        util.EmbedBasicPatterns(v, m);
        util.EmbedTypeInfo(kLevelL, 0, m);
        util.MaybeEmbedVersionInfo(v, m);
        EXPECT_FALSE(util.HasError());
        int empty = 0;
        for (std::uint8_t b : m.GetArray()) empty += b == TByteMatrix::Empty;
        EXPECT_EQ(empty, v.GetTotalCodewords() * 8 + remainder(n)) << "version " << n;
    }
}

TEST(DataPlacement, ZigzagOrderInVersion1)
{
    // Bit index -> (x, y) for a 21 x 21 symbol: up the two right columns, down
    // the next pair from row 9, and the last bit at (0, 12).
    const int probes[][3] = {{0, 20, 20}, {1, 19, 20}, {2, 20, 19}, {23, 19, 9},
                             {24, 18, 9}, {25, 17, 9}, {207, 0, 12}};
    TVersion v1 = *TVersion::GetVersionForNumber(1);
    for (const auto& p : probes) {
        TBitArray bits;
        for (int i = 0; i < 208; ++i) bits.AppendBit(i == p[0]);
        for (int mask : {0, 5}) {
            TByteMatrix m(21, 21);
            TMatrixUtil util;
            util.BuildMatrix(bits, kLevelL, m, mask, v1);
            EXPECT_FALSE(util.HasError());
            bool masked = TMaskUtil::GetDataMaskBit(mask, p[1], p[2]);
            EXPECT_EQ(m.Get(p[1], p[2]), masked ? 0 : 1) << "bit " << p[0] << " mask " << mask;
        }
    }
}

TEST(DataPlacement, RemainderModulesAreMaskedLikeData)
{
    // With every codeword bit 0, each data module (remainder bits included:
    // version 2 has 7, version 14 has 3) shows the mask itself.
    for (int version : {2, 14, 21}) {
        TVersion v = *TVersion::GetVersionForNumber(version);
        const int n = v.GetDimensionForVersion();
        TBitArray zeros;
        for (int i = 0; i < v.GetTotalCodewords() * 8; ++i) zeros.AppendBit(false);
        TMatrixUtil util;
        TByteMatrix templ(n, n);
        std::vector<std::uint8_t> dataModules;
        util.BuildUnmaskedTemplate(zeros, kLevelL, v, templ, dataModules);
        int count = 0;
        for (std::uint8_t d : dataModules) count += d;
        ASSERT_GT(count, v.GetTotalCodewords() * 8) << "version " << version;
        for (int mask = 0; mask < 8; ++mask) {
            TByteMatrix m(n, n);
            util.BuildMatrix(zeros, kLevelL, m, mask, v);
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x)
                    if (dataModules[static_cast<std::size_t>(y * n + x)]) {
                        ASSERT_EQ(m.Get(x, y), TMaskUtil::GetDataMaskBit(mask, x, y) ? 1 : 0)
                            << "version " << version << " mask " << mask << " at " << x << "," << y;
                    }
        }
    }
}

TEST(DataPlacement, MissingBitsRaiseTheFlag)
{
    TVersion v1 = *TVersion::GetVersionForNumber(1);
    TBitArray tooMany;
    for (int i = 0; i < 209; ++i) tooMany.AppendBit(false);
    TByteMatrix m(21, 21);
    TMatrixUtil util;
    util.BuildMatrix(tooMany, kLevelL, m, 0, v1);
    EXPECT_TRUE(util.HasError());
}

TEST(DataPlacement, CandidatesFromTheTemplateEqualFullBuilds)
{
    std::mt19937 rng(23);
    for (int n = 1; n <= 40; ++n) {
        TVersion v = *TVersion::GetVersionForNumber(n);
        int d = v.GetDimensionForVersion();
        TBitArray bits = RandomBits(v.GetTotalCodewords() * 8, rng);
        TMatrixUtil util;
        TByteMatrix templ(d, d);
        std::vector<std::uint8_t> dataModules;
        util.BuildUnmaskedTemplate(bits, kLevelL, v, templ, dataModules);
        for (int mask = 0; mask < 8; ++mask) {
            TByteMatrix full(d, d);
            util.BuildMatrix(bits, kLevelL, full, mask, v);
            TByteMatrix derived(d, d);
            util.BuildFromTemplate(templ, dataModules, kLevelL, mask, derived);
            ASSERT_EQ(derived, full) << "version " << n << " mask " << mask;
            for (std::uint8_t b : full.GetArray()) ASSERT_LE(b, 1);
        }
        EXPECT_FALSE(util.HasError()) << "version " << n;
    }
}

// ---------------------------------------------------------------------------
// Mask conditions and penalty rules

TEST(MaskConditions, ColumnAndRowRoles)
{
    // x is the column, y the row.
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(TMaskUtil::GetDataMaskBit(1, i, 0), true);
        EXPECT_EQ(TMaskUtil::GetDataMaskBit(1, i, 1), false);
        EXPECT_EQ(TMaskUtil::GetDataMaskBit(2, 0, i), true);
        EXPECT_EQ(TMaskUtil::GetDataMaskBit(2, 1, i), false);
        EXPECT_EQ(TMaskUtil::GetDataMaskBit(2, 3, i), true);
    }
    struct Probe {
        int mask, x, y;
        bool expected;
    };
    const Probe probes[] = {
        {0, 1, 1, true},  {0, 1, 2, false}, {3, 1, 2, true},  {3, 1, 1, false}, {4, 3, 0, false},
        {4, 2, 1, true},  {4, 0, 2, false}, {4, 3, 2, true},  {5, 2, 3, true},  {5, 1, 1, false},
        {5, 0, 5, true},  {6, 1, 1, true},  {6, 1, 3, false}, {6, 1, 2, true},  {6, 2, 2, false},
        {7, 1, 1, false}, {7, 0, 0, true},  {7, 1, 2, false}, {7, 2, 2, false}, {7, 1, 3, true},
    };
    for (const Probe& p : probes)
        EXPECT_EQ(TMaskUtil::GetDataMaskBit(p.mask, p.x, p.y), p.expected) << p.mask << " at " << p.x << "," << p.y;
    EXPECT_FALSE(TMaskUtil::GetDataMaskBit(8, 0, 0));
    EXPECT_FALSE(TMaskUtil::GetDataMaskBit(-1, 0, 0));
}

struct TRuleCase {
    const char* name;
    std::vector<std::string> rows;
    int rule1, rule2, rule3;
};

class PenaltyRules : public ::testing::TestWithParam<TRuleCase> {};

TEST_P(PenaltyRules, RowsAndColumnsScoreAlike)
{
    const TRuleCase& c = GetParam();
    TByteMatrix m = FromRows(c.rows);
    EXPECT_EQ(TMaskUtil::ApplyMaskPenaltyRule1(m), c.rule1);
    EXPECT_EQ(TMaskUtil::ApplyMaskPenaltyRule2(m), c.rule2);
    EXPECT_EQ(TMaskUtil::ApplyMaskPenaltyRule3(m), c.rule3);
    TByteMatrix t = Transposed(m);
    EXPECT_EQ(TMaskUtil::ApplyMaskPenaltyRule1(t), c.rule1);
    EXPECT_EQ(TMaskUtil::ApplyMaskPenaltyRule2(t), c.rule2);
    EXPECT_EQ(TMaskUtil::ApplyMaskPenaltyRule3(t), c.rule3);
}

INSTANTIATE_TEST_SUITE_P(Matrices, PenaltyRules,
                         ::testing::Values(
                             // Rule 1: 3 + (k - 5) per run, runs end at the edge.
                             TRuleCase{"RunsOfSevenAndFive", {"000000011111"}, 5 + 3, 0, 0},
                             TRuleCase{"RunOfFour", {"0000101"}, 0, 0, 0},
                             TRuleCase{"WholeRowRun", {"11111111111"}, 3 + 6, 0, 0},
                             TRuleCase{"TwoSeparateRuns", {"11111011111"}, 3 + 3, 0, 0},
                             // Rule 2: overlapping 2 x 2 squares, 3 each.
                             TRuleCase{"DarkSquare3x3", {"111", "111", "111"}, 0, 12, 0},
                             TRuleCase{"Checkerboard", {"0101", "1010", "0101"}, 0, 0, 0},
                             // Rule 3: four light modules inside the symbol on one side.
                             TRuleCase{"LightAfter", {"10111010000"}, 0, 0, 40},
                             TRuleCase{"LightBefore", {"00001011101"}, 0, 0, 40},
                             TRuleCase{"LightBothSidesCountsOnce", {"000010111010000"}, 0, 0, 40},
                             TRuleCase{"OnlyThreeLightBefore", {"0001011101"}, 0, 0, 0},
                             TRuleCase{"EdgeIsNotLight", {"1011101000"}, 0, 0, 0},
                             TRuleCase{"DarkInsideTheLightSide", {"10111010010"}, 0, 0, 0},
                             TRuleCase{"TwoPositions", {"10111010000101110100001011101"}, 0, 0, 120}),
                         [](const ::testing::TestParamInfo<TRuleCase>& info) { return std::string(info.param.name); });

TEST(PenaltyRules, Rule4InWholeFivePercentSteps)
{
    struct Row {
        int dark;
        int expected;
    };
    // 100 modules: |2d - 100| * 10 / 100, times 10.
    const Row rows[] = {{50, 0}, {54, 0}, {55, 10}, {45, 10}, {59, 10}, {60, 20}, {100, 100}, {0, 100}};
    for (const Row& r : rows) {
        TByteMatrix m(10, 10);
        for (int i = 0; i < r.dark; ++i) m.SetBoolean(i % 10, i / 10, true);
        EXPECT_EQ(TMaskUtil::ApplyMaskPenaltyRule4(m), r.expected) << r.dark << " dark";
    }
}

TEST(PenaltyRules, TotalIsTheSumOfTheFourRules)
{
    std::mt19937 rng(29);
    TByteMatrix m(29, 29);
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 29; ++x) m.SetBoolean(x, y, (rng() % 3) == 0);
    EXPECT_EQ(TMaskUtil::CalculateMaskPenalty(m),
              TMaskUtil::ApplyMaskPenaltyRule1(m) + TMaskUtil::ApplyMaskPenaltyRule2(m) +
                  TMaskUtil::ApplyMaskPenaltyRule3(m) + TMaskUtil::ApplyMaskPenaltyRule4(m));
}

TEST(PenaltyRules, AgreeWithAPlainCountOnRandomMatrices)
{
    // A direct run-by-run count of the rules, written for clarity rather than
    // speed, must agree with the scoring used for the mask choice.
    auto plain = [](const TByteMatrix& m) {
        const int w = m.Width(), h = m.Height();
        auto at = [&](bool rows, int line, int i) { return rows ? m.Get(i, line) : m.Get(line, i); };
        int r1 = 0, r3 = 0;
        for (bool rows : {true, false}) {
            int lines = rows ? h : w, len = rows ? w : h;
            for (int line = 0; line < lines; ++line) {
                int run = 1;
                for (int i = 1; i <= len; ++i) {
                    if (i < len && at(rows, line, i) == at(rows, line, i - 1)) {
                        ++run;
                    } else {
                        if (run >= 5) r1 += 3 + run - 5;
                        run = 1;
                    }
                }
                const int pattern[7] = {1, 0, 1, 1, 1, 0, 1};
                for (int s = 0; s + 7 <= len; ++s) {
                    bool match = true;
                    for (int k = 0; k < 7; ++k) match = match && at(rows, line, s + k) == pattern[k];
                    if (!match) continue;
                    bool after = s + 11 <= len, before = s >= 4;
                    for (int k = 0; k < 4; ++k) {
                        if (after) after = at(rows, line, s + 7 + k) == 0;
                        if (before) before = at(rows, line, s - 1 - k) == 0;
                    }
                    if (after || before) r3 += 40;
                }
            }
        }
        int r2 = 0;
        for (int y = 0; y + 1 < h; ++y)
            for (int x = 0; x + 1 < w; ++x) {
                int v = m.Get(x, y);
                if (m.Get(x + 1, y) == v && m.Get(x, y + 1) == v && m.Get(x + 1, y + 1) == v) r2 += 3;
            }
        return std::array<int, 3>{r1, r2, r3};
    };
    std::mt19937 rng(31);
    // Widths around the 64-bit word boundaries of the packed rows and beyond
    // the largest symbol, then random small shapes.
    const int widths[] = {21, 55, 56, 57, 119, 120, 121, 177, 183, 184, 185, 200};
    for (int trial = 0; trial < 72; ++trial) {
        int w = trial < 12 ? widths[trial] : 7 + static_cast<int>(rng() % 40);
        int h = trial < 12 ? 17 + trial : 7 + static_cast<int>(rng() % 40);
        TByteMatrix m(w, h);
        int density = 2 + static_cast<int>(rng() % 5);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                m.SetBoolean(x, y, static_cast<int>(rng() % static_cast<unsigned>(density)) == 0);
        // Plant finder-like runs so rule 3 has work to do.
        if (w >= 11) {
            int y = static_cast<int>(rng() % static_cast<unsigned>(h));
            const char* p = "00001011101";
            for (int k = 0; k < 11; ++k) m.SetBoolean(k, y, p[k] == '1');
        }
        std::array<int, 3> expected = plain(m);
        EXPECT_EQ(TMaskUtil::ApplyMaskPenaltyRule1(m), expected[0]) << "trial " << trial;
        EXPECT_EQ(TMaskUtil::ApplyMaskPenaltyRule2(m), expected[1]) << "trial " << trial;
        EXPECT_EQ(TMaskUtil::ApplyMaskPenaltyRule3(m), expected[2]) << "trial " << trial;
    }
}

TEST(ByteMatrix, EmptyModulesAndValues)
{
    TByteMatrix m(3, 2);
    EXPECT_EQ(m.Width(), 3);
    EXPECT_EQ(m.Height(), 2);
    m.Clear(TByteMatrix::Empty);
    EXPECT_EQ(m.Get(2, 1), -1);
    m.SetBoolean(2, 1, true);
    m.SetInteger(0, 0, 0);
    m.SetInteger(1, 0, -1);
    EXPECT_EQ(m.Get(2, 1), 1);
    EXPECT_EQ(m.Get(0, 0), 0);
    EXPECT_EQ(m.Get(1, 0), -1);
    EXPECT_EQ(m.GetArray()[5], 1); // row by row
}
