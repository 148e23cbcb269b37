// The module-grid component.
#include "QRCode.h"

void TQRCodeGrid::SetData(const std::u16string& data) noexcept
{
    if (data == FData) return;
    try {
        FData = data;
    } catch (...) {
        // Out of memory for the copy: keep the previous text and grid.
        return;
    }
    Update();
}

void TQRCodeGrid::SetEncoding(TQRCodeEncoding encoding) noexcept
{
    if (encoding == FEncoding) return;
    FEncoding = encoding;
    Update();
}

void TQRCodeGrid::SetQuietZone(int quietZone) noexcept
{
    if (quietZone == FQuietZone || quietZone < 0 || quietZone > 100) return;
    FQuietZone = quietZone;
    Update();
}

void TQRCodeGrid::Update() noexcept
{
    FSymbolSize = 0;
    FElements.clear();
    try {
        TQRCode qrCode;
        // A symbol from a failed encoding would scan as something else, or not at all.
        if (EncodeSymbol(FData, FEncoding, qrCode) && qrCode.GetMatrix()) {
            // A finished matrix holds only 0 and 1, row by row: its bytes are the
            // modules as they are kept here.
            const TByteMatrix& matrix = *qrCode.GetMatrix();
            FElements = matrix.GetArray();
            FSymbolSize = matrix.Width();
        }
    } catch (...) {
        // No symbol: the grid is all light.
        FSymbolSize = 0;
        FElements.clear();
    }
    FRows = FSymbolSize + 2 * FQuietZone;
    FColumns = FSymbolSize + 2 * FQuietZone;
}

bool TQRCodeGrid::EncodeSymbol(const std::u16string& data, TQRCodeEncoding encoding, TQRCode& qrCode) const
{
    // Fresh encoder objects for every encoding.
    TEncoder encoder;
    return encoder.Encode(data, encoding, TErrorCorrectionLevel(1), qrCode) && !encoder.HasError();
}

bool TQRCodeGrid::IsBlack(int row, int column) const noexcept
{
    // 64-bit so that extreme indices cannot overflow.
    long long r = static_cast<long long>(row) - FQuietZone;
    long long c = static_cast<long long>(column) - FQuietZone;
    long long rows = static_cast<long long>(FRows) - 2LL * FQuietZone;
    long long columns = static_cast<long long>(FColumns) - 2LL * FQuietZone;
    if (r < 0 || c < 0 || r >= rows || c >= columns) return false;
    std::size_t index =
        static_cast<std::size_t>(r) * static_cast<std::size_t>(FSymbolSize) + static_cast<std::size_t>(c);
    return index < FElements.size() && FElements[index] == 1;
}
