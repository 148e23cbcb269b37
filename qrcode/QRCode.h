// QR Code model 2 encoder (error-correction level L, one segment in numeric,
// alphanumeric or byte mode) and the module-grid component the deposit screen
// draws from. Standard library only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How the caller wants the text turned into data. The values are part of the
// component's surface; note that qrUTF8NoBOM is the one that writes the
// byte-order mark and qrUTF8BOM the one that does not.
enum TQRCodeEncoding : int {
    qrAuto = 0,
    qrNumeric = 1,
    qrAlphanumeric = 2,
    qrISO88591 = 3,
    qrUTF8NoBOM = 4,
    qrUTF8BOM = 5
};

enum TMode : int {
    qmTerminator,
    qmNumeric,
    qmAlphanumeric,
    qmStructuredAppend,
    qmByte,
    qmECI,
    qmKanji,
    qmFNC1FirstPosition,
    qmFNC1SecondPosition,
    qmHanzi
};

class TVersion;

// 4-bit mode indicator.
int GetModeBits(TMode mode);
// Length of the character count indicator for the given version number
// (0 for modes that carry no count).
int GetCharacterCountBits(TMode mode, int versionNumber);
int GetCharacterCountBits(TMode mode, const TVersion& version);

// Value of a character in the alphanumeric table, or -1 if it has none.
int GetAlphanumericCode(char16_t c);

class TErrorCorrectionLevel {
public:
    constexpr explicit TErrorCorrectionLevel(int bits = 1) : FBits(bits) {}
    constexpr int Bits() const { return FBits; }
    // Index into the L, M, Q, H order of the version table.
    constexpr int Ordinal() const
    {
        switch (FBits) {
        case 1:
            return 0;
        case 0:
            return 1;
        case 3:
            return 2;
        case 2:
            return 3;
        default:
            return 0;
        }
    }

private:
    int FBits;
};

class TECB {
public:
    constexpr TECB(int count = 0, int dataCodewords = 0) : FCount(count), FDataCodewords(dataCodewords) {}
    constexpr int GetCount() const { return FCount; }
    constexpr int GetDataCodewords() const { return FDataCodewords; }

private:
    int FCount;
    int FDataCodewords;
};

class TECBlocks {
public:
    constexpr TECBlocks() = default;
    constexpr TECBlocks(int ecCodewordsPerBlock, TECB first, TECB second = TECB())
        : FECCodewordsPerBlock(ecCodewordsPerBlock), FGroups{first, second}, FGroupCount(second.GetCount() > 0 ? 2 : 1)
    {
    }
    constexpr int GetECCodewordsPerBlock() const { return FECCodewordsPerBlock; }
    constexpr int GetNumBlocks() const
    {
        int total = 0;
        for (int i = 0; i < FGroupCount; ++i) total += FGroups[i].GetCount();
        return total;
    }
    constexpr int GetTotalECCodewords() const { return FECCodewordsPerBlock * GetNumBlocks(); }
    constexpr int GetGroupCount() const { return FGroupCount; }
    constexpr const TECB& GetECB(int group) const { return FGroups[group]; }

private:
    int FECCodewordsPerBlock = 0;
    std::array<TECB, 2> FGroups{};
    int FGroupCount = 0;
};

class TVersion {
public:
    static std::optional<TVersion> GetVersionForNumber(int versionNumber);
    // Smallest version whose data capacity holds ceil(bitCount / 8) codewords.
    static std::optional<TVersion> ChooseVersion(long long bitCount, const TErrorCorrectionLevel& ecLevel);

    int GetVersionNumber() const { return FVersionNumber; }
    int GetTotalCodewords() const { return FTotalCodewords; }
    int GetDimensionForVersion() const { return 17 + 4 * FVersionNumber; }
    const TECBlocks& GetECBlocksForLevel(const TErrorCorrectionLevel& ecLevel) const
    {
        return FECBlocks[static_cast<std::size_t>(ecLevel.Ordinal())];
    }
    int GetDataCodewords(const TErrorCorrectionLevel& ecLevel) const
    {
        return FTotalCodewords - GetECBlocksForLevel(ecLevel).GetTotalECCodewords();
    }
    const std::vector<int>& GetAlignmentPatternCenters() const { return FAlignmentPatternCenters; }

private:
    TVersion() = default;

    int FVersionNumber = 0;
    std::array<TECBlocks, 4> FECBlocks{};
    int FTotalCodewords = 0;
    std::vector<int> FAlignmentPatternCenters;
};

// Growable bit sequence, most significant bit first.
class TBitArray {
public:
    int GetSize() const { return FSize; }
    int GetSizeInBytes() const { return (FSize + 7) / 8; }
    bool Get(int i) const { return ((FWords[static_cast<std::size_t>(i) >> 5] >> (31 - (i & 31))) & 1u) != 0; }
    void AppendBit(bool bit);
    // Appends the low numBits (0..32) bits of value, most significant first.
    void AppendBits(std::uint32_t value, int numBits);
    void AppendBitArray(const TBitArray& other);
    // Packs numBytes bytes read from bitOffset on into array[offset...].
    void ToBytes(int bitOffset, std::vector<std::uint8_t>& array, int offset, int numBytes) const;
    // XORs an equally long sequence into this one; returns false (and does
    // nothing) if the lengths differ.
    bool XorOperation(const TBitArray& other);

private:
    std::vector<std::uint32_t> FWords;
    int FSize = 0;
};

class TBlockPair {
public:
    TBlockPair(std::vector<std::uint8_t> data, std::vector<std::uint8_t> errorCorrection)
        : FDataBytes(std::move(data)), FErrorCorrectionBytes(std::move(errorCorrection))
    {
    }
    const std::vector<std::uint8_t>& GetDataBytes() const { return FDataBytes; }
    const std::vector<std::uint8_t>& GetErrorCorrectionBytes() const { return FErrorCorrectionBytes; }

private:
    std::vector<std::uint8_t> FDataBytes;
    std::vector<std::uint8_t> FErrorCorrectionBytes;
};

class TGenericGFPoly;

// GF(2^8). Its exp/log tables are compile-time constants shared by every
// instance, so creating a field is free.
class TGenericGF {
public:
    static TGenericGF CreateQRCodeField256() { return TGenericGF(0x011D, 256, 0); }

    int GetPrimitive() const { return FPrimitive; }
    int GetSize() const { return FSize; }
    int GetGeneratorBase() const { return FGeneratorBase; }

    static int AddOrSubtract(int a, int b) { return a ^ b; }
    int Exp(int a) const;
    // Undefined for 0; returns 0 there.
    int Log(int a) const;
    // Undefined for 0; returns 0 there.
    int Inverse(int a) const;
    int Multiply(int a, int b) const;

    TGenericGFPoly GetZero() const;
    TGenericGFPoly GetOne() const;
    TGenericGFPoly BuildMonomial(int degree, int coefficient) const;

private:
    TGenericGF(int primitive, int size, int generatorBase)
        : FPrimitive(primitive), FSize(size), FGeneratorBase(generatorBase)
    {
    }

    int FPrimitive;
    int FSize;
    int FGeneratorBase;
};

class TGenericGFPoly {
public:
    // Coefficients from the highest degree down; leading zeros are dropped.
    TGenericGFPoly(const TGenericGF& field, std::vector<int> coefficients);

    const std::vector<int>& GetCoefficients() const { return FCoefficients; }
    int GetDegree() const { return static_cast<int>(FCoefficients.size()) - 1; }
    bool IsZero() const { return FCoefficients[0] == 0; }
    int GetCoefficient(int degree) const;

    TGenericGFPoly AddOrSubtract(const TGenericGFPoly& other) const;
    TGenericGFPoly Multiply(const TGenericGFPoly& other) const;
    TGenericGFPoly Multiply(int scalar) const;
    TGenericGFPoly MultiplyByMonomial(int degree, int coefficient) const;
    // Quotient and remainder. Dividing by the zero polynomial yields two zero
    // polynomials.
    std::pair<TGenericGFPoly, TGenericGFPoly> Divide(const TGenericGFPoly& other) const;

private:
    TGenericGF FField;
    std::vector<int> FCoefficients;
};

class TReedSolomonEncoder {
public:
    explicit TReedSolomonEncoder(const TGenericGF& field);
    // Generator of degree `degree`, extending the cached list as needed.
    const TGenericGFPoly& BuildGenerator(int degree);
    // toEncode holds the data codewords followed by ecBytes slots; the slots
    // receive the error-correction codewords. Returns false on bad arguments.
    bool Encode(std::vector<int>& toEncode, int ecBytes);

private:
    TGenericGF FField;
    std::vector<TGenericGFPoly> FCachedGenerators;
};

// Module matrix under construction: 0 light, 1 dark, 255 empty.
class TByteMatrix {
public:
    static constexpr std::uint8_t Empty = 255;

    TByteMatrix(int width, int height)
        : FWidth(width), FHeight(height), FBytes(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0)
    {
    }

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    // 0, 1, or -1 for an empty module.
    int Get(int x, int y) const
    {
        std::uint8_t v =
            FBytes[static_cast<std::size_t>(y) * static_cast<std::size_t>(FWidth) + static_cast<std::size_t>(x)];
        return v == Empty ? -1 : v;
    }
    void SetBoolean(int x, int y, bool value) { At(x, y) = value ? 1 : 0; }
    // -1 stores an empty module.
    void SetInteger(int x, int y, int value) { At(x, y) = value < 0 ? Empty : static_cast<std::uint8_t>(value); }
    void Clear(std::uint8_t value);
    const std::vector<std::uint8_t>& GetArray() const { return FBytes; }
    std::uint8_t* Row(int y) { return FBytes.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(FWidth); }
    const std::uint8_t* Row(int y) const
    {
        return FBytes.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(FWidth);
    }
    bool operator==(const TByteMatrix& other) const = default;

private:
    std::uint8_t& At(int x, int y)
    {
        return FBytes[static_cast<std::size_t>(y) * static_cast<std::size_t>(FWidth) + static_cast<std::size_t>(x)];
    }

    int FWidth;
    int FHeight;
    std::vector<std::uint8_t> FBytes;
};

class TMaskUtil {
public:
    // True where mask `maskPattern` (0..7) inverts the data module at column x,
    // row y. False for any other mask number.
    static bool GetDataMaskBit(int maskPattern, int x, int y);

    // Runs of five or more same-coloured modules in rows and columns.
    static int ApplyMaskPenaltyRule1(const TByteMatrix& matrix);
    // 2x2 blocks of one colour.
    static int ApplyMaskPenaltyRule2(const TByteMatrix& matrix);
    // 1:1:3:1:1 finder-like sequences with four light modules on one side.
    static int ApplyMaskPenaltyRule3(const TByteMatrix& matrix);
    // Deviation of the dark share from one half.
    static int ApplyMaskPenaltyRule4(const TByteMatrix& matrix);
    static int CalculateMaskPenalty(const TByteMatrix& matrix);
};

class TMatrixUtil {
public:
    // Fills `matrix` (which must be dimension x dimension of the version)
    // completely: function patterns, format and version information, and the
    // codeword bits under `maskPattern`.
    void BuildMatrix(const TBitArray& dataBits, const TErrorCorrectionLevel& ecLevel, TByteMatrix& matrix,
                     int maskPattern, const TVersion& version);

    static void ClearMatrix(TByteMatrix& matrix) { matrix.Clear(TByteMatrix::Empty); }
    void EmbedBasicPatterns(const TVersion& version, TByteMatrix& matrix);
    void EmbedTypeInfo(const TErrorCorrectionLevel& ecLevel, int maskPattern, TByteMatrix& matrix);
    void MaybeEmbedVersionInfo(const TVersion& version, TByteMatrix& matrix);
    // maskPattern -1 places the bits unmasked. If dataModules is given it
    // receives 1 for every module that took a data (or remainder) bit.
    void EmbedDataBits(const TBitArray& dataBits, int maskPattern, TByteMatrix& matrix,
                       std::vector<std::uint8_t>* dataModules = nullptr);

    // The 15-bit format word (level and mask, BCH, XOR 0x5412).
    static int TypeInfoBits(const TErrorCorrectionLevel& ecLevel, int maskPattern);
    // The 18-bit version word (version number and BCH).
    static int VersionInfoBits(int versionNumber);
    static int CalculateBCHCode(int value, int poly);

    // The mask search builds one full matrix per candidate. Everything except
    // the mask and the format word is the same in all of them, so it is laid
    // out once here (unmasked) and each candidate is derived from it.
    void BuildUnmaskedTemplate(const TBitArray& dataBits, const TErrorCorrectionLevel& ecLevel, const TVersion& version,
                               TByteMatrix& templ, std::vector<std::uint8_t>& dataModules);
    // Writes into `matrix` the same matrix BuildMatrix would give for `maskPattern`.
    void BuildFromTemplate(const TByteMatrix& templ, const std::vector<std::uint8_t>& dataModules,
                           const TErrorCorrectionLevel& ecLevel, int maskPattern, TByteMatrix& matrix);

    bool HasError() const { return FError; }

private:
    void EmbedPositionDetectionPattern(int xStart, int yStart, TByteMatrix& matrix);
    void EmbedPositionAdjustmentPattern(int xStart, int yStart, TByteMatrix& matrix);
    void EmbedHorizontalSeparator(int xStart, int yStart, TByteMatrix& matrix);
    void EmbedVerticalSeparator(int xStart, int yStart, TByteMatrix& matrix);

    bool FError = false;
};

class TQRCode {
public:
    TMode GetMode() const { return FMode; }
    void SetMode(TMode mode) { FMode = mode; }
    const std::optional<TErrorCorrectionLevel>& GetECLevel() const { return FECLevel; }
    void SetECLevel(const TErrorCorrectionLevel& level) { FECLevel = level; }
    const std::optional<TVersion>& GetVersion() const { return FVersion; }
    void SetVersion(const TVersion& version) { FVersion = version; }
    int GetMaskPattern() const { return FMaskPattern; }
    void SetMaskPattern(int mask) { FMaskPattern = mask; }
    const std::optional<TByteMatrix>& GetMatrix() const { return FMatrix; }
    void SetMatrix(TByteMatrix matrix) { FMatrix = std::move(matrix); }

private:
    TMode FMode = qmTerminator;
    std::optional<TErrorCorrectionLevel> FECLevel;
    std::optional<TVersion> FVersion;
    int FMaskPattern = -1;
    std::optional<TByteMatrix> FMatrix;
};

class TEncoder {
public:
    // Full encoding: mode, version, codewords, mask choice and matrix into
    // qrCode. Returns false when the text fits no version (or the encoding
    // value is unknown); qrCode then has no matrix.
    bool Encode(const std::u16string& content, TQRCodeEncoding encoding, const TErrorCorrectionLevel& ecLevel,
                TQRCode& qrCode);

    // Everything up to the final interleaved codeword sequence; fills mode,
    // level and version of qrCode.
    bool EncodeCodewords(const std::u16string& content, TQRCodeEncoding encoding, const TErrorCorrectionLevel& ecLevel,
                         TQRCode& qrCode, TBitArray& finalBits);

    // Mode for the text; for qrAuto, `encoding` is replaced by the byte
    // flavour chosen (qrISO88591 or qrUTF8NoBOM).
    static TMode ChooseMode(const std::u16string& content, TQRCodeEncoding& encoding);
    // Drops the characters the mode cannot hold.
    static std::u16string FilterContent(const std::u16string& content, TMode mode, TQRCodeEncoding encoding);
    // Bytes written in byte mode for an already filtered text.
    static std::vector<std::uint8_t> ByteModeBytes(const std::u16string& content, TQRCodeEncoding encoding);
    static void AppendNumericBytes(const std::u16string& content, TBitArray& bits);
    static void AppendAlphanumericBytes(const std::u16string& content, TBitArray& bits);
    static void Append8BitBytes(const std::vector<std::uint8_t>& bytes, TBitArray& bits);

    // Terminator and pad codewords up to numDataBytes.
    void TerminateBits(int numDataBytes, TBitArray& bits);
    static void GetNumDataBytesAndNumECBytesForBlockID(int numTotalBytes, int numDataBytes, int numRSBlocks,
                                                       int blockID, int& numDataBytesInBlock, int& numECBytesInBlock);
    TBitArray InterleaveWithECBytes(const TBitArray& bits, int numTotalBytes, int numDataBytes, int numRSBlocks);
    static std::vector<std::uint8_t> GenerateECBytes(const std::vector<std::uint8_t>& dataBytes, int numECBytesInBlock);

    // Scores the eight masks on full candidate matrices; lowest score wins,
    // ties go to the lower mask. Scores are written to `scores` if given.
    static int ChooseMaskPattern(const TBitArray& bits, const TErrorCorrectionLevel& ecLevel, const TVersion& version,
                                 std::array<int, 8>* scores = nullptr);

    bool HasError() const { return FError; }

private:
    bool FError = false;
};

// The component: a text in, a grid of dark and light modules framed by a
// light quiet zone out.
class TQRCodeGrid {
public:
    TQRCodeGrid() = default;
    virtual ~TQRCodeGrid() = default;

    const std::u16string& Data() const { return FData; }
    TQRCodeEncoding Encoding() const { return FEncoding; }
    int QuietZone() const { return FQuietZone; }
    int Rows() const { return FRows; }
    int Columns() const { return FColumns; }

    void SetData(const std::u16string& data) noexcept;
    void SetEncoding(TQRCodeEncoding encoding) noexcept;
    // Values outside 0..100 are ignored.
    void SetQuietZone(int quietZone) noexcept;

    // Whether the module at grid row `row`, column `column` (quiet zone
    // included) is dark; false for every index outside the symbol.
    bool IsBlack(int row, int column) const noexcept;

protected:
    // Runs the encoder on the current data and settings.
    virtual void Update() noexcept;
    // Encodes data into qrCode; false when the encoder or the matrix builder
    // reported a failure, whatever qrCode holds then.
    virtual bool EncodeSymbol(const std::u16string& data, TQRCodeEncoding encoding, TQRCode& qrCode) const;

private:
    std::u16string FData;
    TQRCodeEncoding FEncoding = qrAuto;
    int FQuietZone = 4;
    int FRows = 0;
    int FColumns = 0;
    int FSymbolSize = 0;
    // The symbol's modules row by row, 1 = dark.
    std::vector<std::uint8_t> FElements;
};
