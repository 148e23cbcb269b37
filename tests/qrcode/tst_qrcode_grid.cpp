// The module-grid component: size, quiet zone, settings and indexing.
#include "QRCode.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

// Counts how often the component encodes.
class TCountingGrid : public TQRCodeGrid {
public:
    int encodings = 0;

protected:
    void Update() noexcept override
    {
        ++encodings;
        TQRCodeGrid::Update();
    }
};

const std::u16string kAddress = u"0x" + std::u16string(u"52908400098527886e0f7030069857d2e4169ee7");

bool AnyDark(const TQRCodeGrid& grid, int margin)
{
    for (int r = -margin; r < grid.Rows() + margin; ++r)
        for (int c = -margin; c < grid.Columns() + margin; ++c)
            if (grid.IsBlack(r, c)) return true;
    return false;
}

} // namespace

TEST(QRCodeGrid, NewComponentHasNoGridAndEncodesNothing)
{
    TCountingGrid grid;
    EXPECT_EQ(grid.Rows(), 0);
    EXPECT_EQ(grid.Columns(), 0);
    EXPECT_EQ(grid.QuietZone(), 4);
    EXPECT_EQ(grid.Encoding(), qrAuto);
    EXPECT_TRUE(grid.Data().empty());
    EXPECT_FALSE(grid.IsBlack(0, 0));
    EXPECT_FALSE(grid.IsBlack(4, 4));
    EXPECT_EQ(grid.encodings, 0);
}

TEST(QRCodeGrid, HexAddressIsVersion3WithDefaultQuietZone)
{
    ASSERT_EQ(kAddress.size(), 42u);
    TQRCodeGrid grid;
    grid.SetData(kAddress);
    EXPECT_EQ(grid.Data(), kAddress);
    EXPECT_EQ(grid.Rows(), 37);
    EXPECT_EQ(grid.Columns(), 37);
}

TEST(QRCodeGrid, FinderCornersDarkModuleAndQuietZone)
{
    TQRCodeGrid grid;
    grid.SetData(u"01234567");
    ASSERT_EQ(grid.Rows(), 29);
    const int last = grid.Rows() - 1;
    // Outer corners of the three finder patterns, and one light module of each ring.
    EXPECT_TRUE(grid.IsBlack(4, 4));
    EXPECT_TRUE(grid.IsBlack(4, last - 4));
    EXPECT_TRUE(grid.IsBlack(last - 4, 4));
    EXPECT_FALSE(grid.IsBlack(5, 5));
    EXPECT_TRUE(grid.IsBlack(7, 7));
    EXPECT_FALSE(grid.IsBlack(last - 4, last - 4)); // no finder bottom right
    // Version 1 dark module at symbol (8, 13).
    EXPECT_TRUE(grid.IsBlack(17, 12));
    EXPECT_EQ(grid.Rows() - 12, 17);
    // The quiet zone is light all round.
    for (int i = 0; i < grid.Rows(); ++i) {
        for (int q = 0; q < 4; ++q) {
            EXPECT_FALSE(grid.IsBlack(q, i));
            EXPECT_FALSE(grid.IsBlack(i, q));
            EXPECT_FALSE(grid.IsBlack(last - q, i));
            EXPECT_FALSE(grid.IsBlack(i, last - q));
        }
    }
}

TEST(QRCodeGrid, ModulesAreTheEncodersMatrixInsideTheQuietZone)
{
    TEncoder encoder;
    TQRCode code;
    ASSERT_TRUE(encoder.Encode(kAddress, qrAuto, TErrorCorrectionLevel(1), code));
    const TByteMatrix& m = *code.GetMatrix();
    for (int q : {0, 1, 4, 9}) {
        TQRCodeGrid grid;
        grid.SetQuietZone(q);
        grid.SetData(kAddress);
        ASSERT_EQ(grid.Rows(), m.Height() + 2 * q);
        ASSERT_EQ(grid.Columns(), m.Width() + 2 * q);
        for (int y = 0; y < m.Height(); ++y)
            for (int x = 0; x < m.Width(); ++x)
                ASSERT_EQ(grid.IsBlack(y + q, x + q), m.Get(x, y) == 1) << x << "," << y;
    }
}

TEST(QRCodeGrid, QuietZoneChanges)
{
    TCountingGrid grid;
    grid.SetData(u"HELLO WORLD");
    ASSERT_EQ(grid.Rows(), 29);
    ASSERT_EQ(grid.encodings, 1);

    grid.SetQuietZone(0);
    EXPECT_EQ(grid.QuietZone(), 0);
    EXPECT_EQ(grid.Rows(), 21);
    EXPECT_EQ(grid.Columns(), 21);
    EXPECT_TRUE(grid.IsBlack(0, 0));
    EXPECT_EQ(grid.encodings, 2);

    for (int ignored : {101, -1, INT_MIN, INT_MAX, 0}) {
        grid.SetQuietZone(ignored);
        EXPECT_EQ(grid.QuietZone(), 0) << ignored;
        EXPECT_EQ(grid.Rows(), 21) << ignored;
    }
    EXPECT_EQ(grid.encodings, 2);

    grid.SetQuietZone(100);
    EXPECT_EQ(grid.Rows(), 221);
    EXPECT_FALSE(grid.IsBlack(99, 99));
    EXPECT_TRUE(grid.IsBlack(100, 100));
    EXPECT_EQ(grid.encodings, 3);
}

TEST(QRCodeGrid, SameValuesDoNotEncodeAgain)
{
    TCountingGrid grid;
    grid.SetData(u"abc");
    grid.SetData(u"abc");
    EXPECT_EQ(grid.encodings, 1);
    grid.SetEncoding(qrAuto);
    grid.SetQuietZone(4);
    EXPECT_EQ(grid.encodings, 1);
    grid.SetEncoding(qrUTF8BOM);
    EXPECT_EQ(grid.Encoding(), qrUTF8BOM);
    grid.SetEncoding(qrUTF8BOM);
    EXPECT_EQ(grid.encodings, 2);
    grid.SetData(u"abd");
    EXPECT_EQ(grid.encodings, 3);
}

TEST(QRCodeGrid, SettingsBeforeDataEncodeTheEmptyText)
{
    // The empty text in automatic mode is a version 1 symbol of the mark bytes.
    TCountingGrid grid;
    grid.SetQuietZone(2);
    EXPECT_EQ(grid.encodings, 1);
    EXPECT_EQ(grid.Rows(), 25);
    EXPECT_TRUE(grid.IsBlack(2, 2));
}

TEST(QRCodeGrid, TextFittingNoVersionGivesAnAllLightFrame)
{
    TQRCodeGrid grid;
    grid.SetData(u"01234567");
    ASSERT_TRUE(AnyDark(grid, 0));
    grid.SetData(std::u16string(2954, u'a'));
    EXPECT_EQ(grid.Rows(), 8);
    EXPECT_EQ(grid.Columns(), 8);
    EXPECT_FALSE(AnyDark(grid, 3));
    grid.SetQuietZone(0);
    EXPECT_EQ(grid.Rows(), 0);
    EXPECT_FALSE(AnyDark(grid, 3));
    // Back to a text that fits.
    grid.SetData(std::u16string(2953, u'a'));
    EXPECT_EQ(grid.Rows(), 177);
    EXPECT_TRUE(AnyDark(grid, 0));
}

TEST(QRCodeGrid, EncodingSettingDecidesTheSymbol)
{
    struct Row {
        TQRCodeEncoding encoding;
        int rows; // with quiet zone 0
    };
    // 20 digits: 81 bits in numeric and 123 in alphanumeric mode fit version 1
    // (19 codewords); 20 bytes (172 bits), or 23 with the mark, need version 2.
    const std::u16string digits = u"12345678901234567890";
    const Row rows[] = {{qrAuto, 21},     {qrNumeric, 21},   {qrAlphanumeric, 21},
                        {qrISO88591, 25}, {qrUTF8NoBOM, 25}, {qrUTF8BOM, 25}};
    for (const Row& r : rows) {
        TQRCodeGrid grid;
        grid.SetQuietZone(0);
        grid.SetEncoding(r.encoding);
        grid.SetData(digits);
        EXPECT_EQ(grid.Rows(), r.rows) << r.encoding;
    }
}

TEST(QRCodeGrid, UnknownEncodingValueGivesNoSymbol)
{
    TQRCodeGrid grid;
    grid.SetData(u"123");
    grid.SetEncoding(static_cast<TQRCodeEncoding>(42));
    EXPECT_EQ(grid.Encoding(), static_cast<TQRCodeEncoding>(42));
    EXPECT_EQ(grid.Rows(), 8);
    EXPECT_FALSE(AnyDark(grid, 2));
    grid.SetEncoding(qrAuto);
    EXPECT_EQ(grid.Rows(), 29);
}

TEST(QRCodeGrid, IndicesOutsideTheSymbolAreLight)
{
    TQRCodeGrid grid;
    grid.SetQuietZone(0);
    grid.SetData(u"HELLO WORLD");
    ASSERT_TRUE(grid.IsBlack(0, 0));
    const int probes[][2] = {{-1, 0},
                             {0, -1},
                             {21, 0},
                             {0, 21},
                             {21, 21},
                             {INT_MIN, 0},
                             {0, INT_MIN},
                             {INT_MAX, 0},
                             {0, INT_MAX},
                             {INT_MIN, INT_MIN},
                             {INT_MAX, INT_MAX},
                             {-21, -21},
                             {1, 1000000},
                             {1000000, 1}};
    for (const auto& p : probes) EXPECT_FALSE(grid.IsBlack(p[0], p[1])) << p[0] << "," << p[1];
    grid.SetQuietZone(100);
    for (const auto& p : probes) EXPECT_FALSE(grid.IsBlack(p[0], p[1])) << p[0] << "," << p[1];
}

namespace {
// An encoder run that builds a whole matrix but reports an internal failure.
class TFailingGrid : public TQRCodeGrid {
protected:
    bool EncodeSymbol(const std::u16string& data, TQRCodeEncoding encoding, TQRCode& qrCode) const override
    {
        TEncoder encoder;
        matrixBuilt = encoder.Encode(data, encoding, TErrorCorrectionLevel(1), qrCode) && qrCode.GetMatrix();
        return false;
    }

public:
    mutable bool matrixBuilt = false;
};
} // namespace

TEST(QRCodeGrid, ReportedEncoderFailureGivesAnEmptyGridNotTheMatrix)
{
    TFailingGrid grid;
    grid.SetData(kAddress);
    ASSERT_TRUE(grid.matrixBuilt); // a matrix was there to be drawn
    EXPECT_EQ(grid.Rows(), 8);     // the quiet zone alone
    EXPECT_EQ(grid.Columns(), 8);
    EXPECT_FALSE(AnyDark(grid, 3));
}

TEST(QRCodeGrid, EncoderLeavesNoMatrixAndNoErrorForATextThatFits)
{
    TEncoder encoder;
    TQRCode qrCode;
    ASSERT_TRUE(encoder.Encode(kAddress, qrAuto, TErrorCorrectionLevel(1), qrCode));
    EXPECT_FALSE(encoder.HasError());
    EXPECT_TRUE(qrCode.GetMatrix().has_value());
}
