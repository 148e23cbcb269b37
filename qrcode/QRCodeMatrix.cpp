// Module matrix: function patterns, format and version information, data
// placement, the eight masks and their penalty scores.
#include "QRCode.h"

#include <algorithm>
#include <cstdlib>

void TByteMatrix::Clear(std::uint8_t value) { std::fill(FBytes.begin(), FBytes.end(), value); }

// ---------------------------------------------------------------------------
// TMaskUtil

bool TMaskUtil::GetDataMaskBit(int maskPattern, int x, int y) {
  switch (maskPattern) {
    case 0: return ((x + y) & 1) == 0;
    case 1: return (y & 1) == 0;
    case 2: return x % 3 == 0;
    case 3: return (x + y) % 3 == 0;
    case 4: return ((y / 2 + x / 3) & 1) == 0;
    case 5: {
      int t = x * y;
      return (t & 1) + t % 3 == 0;
    }
    case 6: {
      int t = x * y;
      return (((t & 1) + t % 3) & 1) == 0;
    }
    case 7: return ((x * y % 3 + ((x + y) & 1)) & 1) == 0;
    default: return false;
  }
}

// The scoring loops below are written as straight element-wise expressions
// over whole rows (modules are 0 or 1) so the compiler can vectorise them;
// scoring eight full matrices is most of an encoding's work.

int TMaskUtil::ApplyMaskPenaltyRule1(const TByteMatrix& matrix) {
  // A run of k >= 5 scores k - 2: one point for each of its k - 4 windows of
  // five equal modules, plus two for the window where the run starts.
  const int w = matrix.Width();
  const int h = matrix.Height();
  int total = 0;
  if (w >= 5) {
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* r = matrix.Row(y);
      int acc = 0;
      {
        unsigned a = r[0], b = r[1], c = r[2], d = r[3], e = r[4];
        unsigned same = ((a & b & c & d & e) | (1u ^ (a | b | c | d | e))) & 1u;
        acc += static_cast<int>(3 * same);
      }
      for (int x = 1; x + 4 < w; ++x) {
        unsigned a = r[x], b = r[x + 1], c = r[x + 2], d = r[x + 3], e = r[x + 4];
        unsigned same = ((a & b & c & d & e) | (1u ^ (a | b | c | d | e))) & 1u;
        unsigned start = (r[x - 1] ^ a) & 1u;
        acc += static_cast<int>(same + 2 * (same & start));
      }
      total += acc;
    }
  }
  for (int y = 0; y + 4 < h; ++y) {
    const std::uint8_t* r0 = matrix.Row(y);
    const std::uint8_t* r1 = matrix.Row(y + 1);
    const std::uint8_t* r2 = matrix.Row(y + 2);
    const std::uint8_t* r3 = matrix.Row(y + 3);
    const std::uint8_t* r4 = matrix.Row(y + 4);
    int acc = 0;
    if (y == 0) {
      for (int x = 0; x < w; ++x) {
        unsigned a = r0[x], b = r1[x], c = r2[x], d = r3[x], e = r4[x];
        unsigned same = ((a & b & c & d & e) | (1u ^ (a | b | c | d | e))) & 1u;
        acc += static_cast<int>(3 * same);
      }
    } else {
      const std::uint8_t* prev = matrix.Row(y - 1);
      for (int x = 0; x < w; ++x) {
        unsigned a = r0[x], b = r1[x], c = r2[x], d = r3[x], e = r4[x];
        unsigned same = ((a & b & c & d & e) | (1u ^ (a | b | c | d | e))) & 1u;
        unsigned start = (prev[x] ^ a) & 1u;
        acc += static_cast<int>(same + 2 * (same & start));
      }
    }
    total += acc;
  }
  return total;
}

int TMaskUtil::ApplyMaskPenaltyRule2(const TByteMatrix& matrix) {
  const int w = matrix.Width();
  const int h = matrix.Height();
  int blocks = 0;
  for (int y = 0; y + 1 < h; ++y) {
    const std::uint8_t* r0 = matrix.Row(y);
    const std::uint8_t* r1 = matrix.Row(y + 1);
    int acc = 0;
    for (int x = 0; x + 1 < w; ++x) {
      unsigned a = r0[x], b = r0[x + 1], c = r1[x], d = r1[x + 1];
      acc += static_cast<int>(((a & b & c & d) | (1u ^ (a | b | c | d))) & 1u);
    }
    blocks += acc;
  }
  return 3 * blocks;
}

int TMaskUtil::ApplyMaskPenaltyRule3(const TByteMatrix& matrix) {
  // Positions outside the symbol never count as light: they read as dark
  // from sentinel modules around each row and in place of missing rows.
  const int w = matrix.Width();
  const int h = matrix.Height();
  int found = 0;

  std::vector<std::uint8_t> padded(static_cast<std::size_t>(w) + 8, 1);
  for (int y = 0; y < h; ++y) {
    std::copy(matrix.Row(y), matrix.Row(y) + w, padded.begin() + 4);
    const std::uint8_t* q = padded.data() + 4;
    int acc = 0;
    for (int s = 0; s + 6 < w; ++s) {
      unsigned p = q[s] & (1u ^ q[s + 1]) & q[s + 2] & q[s + 3] & q[s + 4] & (1u ^ q[s + 5]) & q[s + 6];
      unsigned after = 1u ^ (q[s + 7] | q[s + 8] | q[s + 9] | q[s + 10]);
      unsigned before = 1u ^ (q[s - 1] | q[s - 2] | q[s - 3] | q[s - 4]);
      acc += static_cast<int>(p & (after | before) & 1u);
    }
    found += acc;
  }

  std::vector<std::uint8_t> outside(static_cast<std::size_t>(w), 1);
  auto rowOrOutside = [&](int y) { return (y >= 0 && y < h) ? matrix.Row(y) : outside.data(); };
  for (int s = 0; s + 6 < h; ++s) {
    const std::uint8_t* r0 = matrix.Row(s);
    const std::uint8_t* r1 = matrix.Row(s + 1);
    const std::uint8_t* r2 = matrix.Row(s + 2);
    const std::uint8_t* r3 = matrix.Row(s + 3);
    const std::uint8_t* r4 = matrix.Row(s + 4);
    const std::uint8_t* r5 = matrix.Row(s + 5);
    const std::uint8_t* r6 = matrix.Row(s + 6);
    const std::uint8_t* a0 = rowOrOutside(s + 7);
    const std::uint8_t* a1 = rowOrOutside(s + 8);
    const std::uint8_t* a2 = rowOrOutside(s + 9);
    const std::uint8_t* a3 = rowOrOutside(s + 10);
    const std::uint8_t* b0 = rowOrOutside(s - 1);
    const std::uint8_t* b1 = rowOrOutside(s - 2);
    const std::uint8_t* b2 = rowOrOutside(s - 3);
    const std::uint8_t* b3 = rowOrOutside(s - 4);
    int acc = 0;
    for (int x = 0; x < w; ++x) {
      unsigned p = r0[x] & (1u ^ r1[x]) & r2[x] & r3[x] & r4[x] & (1u ^ r5[x]) & r6[x];
      unsigned after = 1u ^ (a0[x] | a1[x] | a2[x] | a3[x]);
      unsigned before = 1u ^ (b0[x] | b1[x] | b2[x] | b3[x]);
      acc += static_cast<int>(p & (after | before) & 1u);
    }
    found += acc;
  }
  return 40 * found;
}

int TMaskUtil::ApplyMaskPenaltyRule4(const TByteMatrix& matrix) {
  const std::vector<std::uint8_t>& bytes = matrix.GetArray();
  long long total = static_cast<long long>(bytes.size());
  if (total == 0) return 0;
  long long dark = 0;
  for (std::uint8_t b : bytes) dark += b & 1u;
  long long fivePercentVariances = std::llabs(2 * dark - total) * 10 / total;
  return static_cast<int>(10 * fivePercentVariances);
}

int TMaskUtil::CalculateMaskPenalty(const TByteMatrix& matrix) {
  return ApplyMaskPenaltyRule1(matrix) + ApplyMaskPenaltyRule2(matrix) + ApplyMaskPenaltyRule3(matrix) +
         ApplyMaskPenaltyRule4(matrix);
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

int FindMSBSet(unsigned value) {
  int n = 0;
  while (value != 0) {
    value >>= 1;
    ++n;
  }
  return n;
}

}  // namespace

int TMatrixUtil::CalculateBCHCode(int value, int poly) {
  unsigned v = static_cast<unsigned>(value);
  unsigned p = static_cast<unsigned>(poly);
  int msbSetInPoly = FindMSBSet(p);
  if (msbSetInPoly == 0) return 0;
  v <<= msbSetInPoly - 1;
  while (FindMSBSet(v) >= msbSetInPoly) v ^= p << (FindMSBSet(v) - msbSetInPoly);
  return static_cast<int>(v);
}

int TMatrixUtil::TypeInfoBits(const TErrorCorrectionLevel& ecLevel, int maskPattern) {
  int typeInfo = ((ecLevel.Bits() & 3) << 3) | (maskPattern & 7);
  int word = (typeInfo << 10) | CalculateBCHCode(typeInfo, kTypeInfoPoly);
  return word ^ kTypeInfoMaskPattern;
}

int TMatrixUtil::VersionInfoBits(int versionNumber) {
  int v = versionNumber & 0x3F;
  return (v << 12) | CalculateBCHCode(v, kVersionInfoPoly);
}

void TMatrixUtil::EmbedPositionDetectionPattern(int xStart, int yStart, TByteMatrix& matrix) {
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

void TMatrixUtil::EmbedPositionAdjustmentPattern(int xStart, int yStart, TByteMatrix& matrix) {
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

void TMatrixUtil::EmbedHorizontalSeparator(int xStart, int yStart, TByteMatrix& matrix) {
  for (int x = 0; x < 8; ++x) {
    if (matrix.Get(xStart + x, yStart) != -1) {
      FError = true;
      return;
    }
    matrix.SetBoolean(xStart + x, yStart, false);
  }
}

void TMatrixUtil::EmbedVerticalSeparator(int xStart, int yStart, TByteMatrix& matrix) {
  for (int y = 0; y < 7; ++y) {
    if (matrix.Get(xStart, yStart + y) != -1) {
      FError = true;
      return;
    }
    matrix.SetBoolean(xStart, yStart + y, false);
  }
}

void TMatrixUtil::EmbedBasicPatterns(const TVersion& version, TByteMatrix& matrix) {
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

void TMatrixUtil::EmbedTypeInfo(const TErrorCorrectionLevel& ecLevel, int maskPattern, TByteMatrix& matrix) {
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

void TMatrixUtil::MaybeEmbedVersionInfo(const TVersion& version, TByteMatrix& matrix) {
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
                                std::vector<std::uint8_t>* dataModules) {
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
        if (dataModules) (*dataModules)[static_cast<std::size_t>(y) * static_cast<std::size_t>(n) + static_cast<std::size_t>(xx)] = 1;
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
                              int maskPattern, const TVersion& version) {
  ClearMatrix(matrix);
  EmbedBasicPatterns(version, matrix);
  EmbedTypeInfo(ecLevel, maskPattern, matrix);
  MaybeEmbedVersionInfo(version, matrix);
  EmbedDataBits(dataBits, maskPattern, matrix);
}

void TMatrixUtil::BuildUnmaskedTemplate(const TBitArray& dataBits, const TErrorCorrectionLevel& ecLevel,
                                        const TVersion& version, TByteMatrix& templ,
                                        std::vector<std::uint8_t>& dataModules) {
  ClearMatrix(templ);
  EmbedBasicPatterns(version, templ);
  // Reserves the format modules; each candidate overwrites them.
  EmbedTypeInfo(ecLevel, 0, templ);
  MaybeEmbedVersionInfo(version, templ);
  EmbedDataBits(dataBits, -1, templ, &dataModules);
}

void TMatrixUtil::BuildFromTemplate(const TByteMatrix& templ, const std::vector<std::uint8_t>& dataModules,
                                    const TErrorCorrectionLevel& ecLevel, int maskPattern, TByteMatrix& matrix) {
  const int n = templ.Width();
  if (matrix.Width() != n || matrix.Height() != templ.Height()) matrix = TByteMatrix(n, templ.Height());
  // Every mask repeats every 6 columns and 12 rows.
  constexpr int kPeriodRows = 12;
  std::vector<std::uint8_t> pattern(static_cast<std::size_t>(kPeriodRows) * static_cast<std::size_t>(n));
  for (int r = 0; r < kPeriodRows; ++r)
    for (int x = 0; x < n; ++x)
      pattern[static_cast<std::size_t>(r * n + x)] = TMaskUtil::GetDataMaskBit(maskPattern, x, r) ? 1 : 0;

  for (int y = 0; y < templ.Height(); ++y) {
    const std::uint8_t* src = templ.Row(y);
    const std::uint8_t* data = dataModules.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(n);
    const std::uint8_t* p = pattern.data() + static_cast<std::size_t>((y % kPeriodRows) * n);
    std::uint8_t* dst = matrix.Row(y);
    for (int x = 0; x < n; ++x) dst[x] = static_cast<std::uint8_t>(src[x] ^ (data[x] & p[x]));
  }
  EmbedTypeInfo(ecLevel, maskPattern, matrix);
}
