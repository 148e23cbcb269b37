// Random UTF-16 texts and settings through TQRCodeGrid. Besides the
// sanitizers, the grid's own invariants are checked and any breach aborts.
#include "QRCode.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

std::int32_t ReadInt(const std::uint8_t*& data, std::size_t& size)
{
    std::int32_t v = 0;
    if (size >= 4) {
        std::memcpy(&v, data, 4);
        data += 4;
        size -= 4;
    }
    return v;
}

void CheckGrid(const TQRCodeGrid& grid, std::int32_t probeRow, std::int32_t probeColumn)
{
    const int q = grid.QuietZone();
    Check(q >= 0 && q <= 100);
    Check(grid.Rows() == grid.Columns());
    if (grid.Rows() == 0) {
        // Never encoded (or no symbol and no quiet zone): nothing is dark.
        Check(!grid.IsBlack(0, 0) && !grid.IsBlack(q, q) && !grid.IsBlack(probeRow, probeColumn));
        return;
    }
    const int side = grid.Rows() - 2 * q;
    Check(side == 0 || (side >= 21 && side <= 177 && (side - 17) % 4 == 0));
    if (side > 0) {
        // Finder corners and the dark module.
        Check(grid.IsBlack(q, q));
        Check(grid.IsBlack(q, q + side - 1));
        Check(grid.IsBlack(q + side - 1, q));
        Check(grid.IsBlack(q + side - 8, q + 8));
    }
    for (int i = -2; i < grid.Rows() + 2; ++i) {
        Check(!grid.IsBlack(q - 1, i) && !grid.IsBlack(i, q - 1));
        Check(!grid.IsBlack(q + side, i) && !grid.IsBlack(i, q + side));
    }
    bool inside = probeRow >= q && probeColumn >= q && probeRow < q + side && probeColumn < q + side;
    if (!inside) Check(!grid.IsBlack(probeRow, probeColumn));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    // Header: encoding (any int, mostly 0..5), quiet zone, a probe position.
    const std::uint8_t encodingByte = data[0];
    const std::uint8_t flags = data[1];
    data += 2;
    size -= 2;
    const int encoding = (flags & 0x80) ? static_cast<std::int8_t>(encodingByte) : encodingByte % 6;
    std::int32_t quietZone = (flags & 0x40) ? ReadInt(data, size) : static_cast<std::int32_t>(flags & 0x3F) * 2 - 8;
    const std::int32_t probeRow = ReadInt(data, size);
    const std::int32_t probeColumn = ReadInt(data, size);

    std::u16string text(size / 2, u'\0');
    std::memcpy(text.data(), data, (size / 2) * 2);

    TQRCodeGrid grid;
    grid.SetQuietZone(quietZone);
    grid.SetEncoding(static_cast<TQRCodeEncoding>(encoding));
    grid.SetData(text);
    CheckGrid(grid, probeRow, probeColumn);

    // The grid agrees with the encoder on whether a symbol exists (a grid
    // that was never encoded has no rows at the default quiet zone).
    const bool neverEncoded = grid.Rows() == 0 && grid.QuietZone() > 0;
    TEncoder encoder;
    TQRCode code;
    bool encoded = encoder.Encode(text, static_cast<TQRCodeEncoding>(encoding), TErrorCorrectionLevel(1), code);
    if (!neverEncoded) Check(encoded == (grid.Rows() > 2 * grid.QuietZone()));
    if (encoded && !neverEncoded) {
        Check(!encoder.HasError());
        const TByteMatrix& m = *code.GetMatrix();
        Check(m.Width() == grid.Rows() - 2 * grid.QuietZone());
        const int q = grid.QuietZone();
        for (int y = 0; y < m.Height(); ++y)
            for (int x = 0; x < m.Width(); ++x) Check(grid.IsBlack(y + q, x + q) == (m.Get(x, y) == 1));
    }

    // Setting what is already held changes nothing; another setting re-encodes.
    const int rowsBefore = grid.Rows();
    grid.SetData(text);
    grid.SetQuietZone(grid.QuietZone());
    Check(grid.Rows() == rowsBefore);
    grid.SetEncoding(static_cast<TQRCodeEncoding>((encoding + 1) % 6));
    grid.SetQuietZone(probeRow);
    CheckGrid(grid, probeColumn, probeRow);
    return 0;
}
