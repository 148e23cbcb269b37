// The deposit-address reply and what the deposit screen makes of it: the
// elided label text and the QR picture. Input: the first byte is the
// picture's side in pixels, the rest is the reply.
#include "DepositReply.h"
#include "DisplayText.h"
#include "FuzzSupport.h"
#include "QRCode.h"
#include "QrCode.Tools.h"

#include <QColor>
#include <cmath>

namespace {

using fuzz::Check;

void CheckShown(const QString& address)
{
    const QString shown = display::Elide(address);
    Check(shown.size() <= display::MaxLabelChars, "the label holds at most the limit");
    if (address.size() <= display::MaxLabelChars) {
        Check(shown == address, "a short address is shown whole");
        return;
    }
    Check(shown.endsWith(QChar(0x2026)), "a long address ends in an ellipsis");
    const QString kept = shown.chopped(1);
    Check(address.startsWith(kept), "the label shows the address's beginning");
    Check(kept.isEmpty() || !kept.back().isHighSurrogate(), "no surrogate pair is split");
}

// Every module of the grid is drawn where the picture has room for it.
void CheckPicture(const QString& address, int side)
{
    const QImage image = TQrCodeTools::Render(address, side);
    Check(image.width() == std::max(side, 1) && image.height() == image.width(), "a square of the asked size");

    TQRCodeGrid grid;
    grid.SetData(std::u16string(reinterpret_cast<const char16_t*>(address.utf16()), size_t(address.size())));
    grid.SetEncoding(qrAuto);
    const int rows = grid.Rows();
    const int module = rows > 0 ? int(std::nearbyint(double(side) / rows)) : 0;
    if (side <= 0 || rows <= 0 || module <= 0) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) Check(image.pixel(x, y) == 0xFFFFFFFF, "nothing to draw: white");
        return;
    }
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < grid.Columns(); ++c) {
            const int x = c * module + module / 2;
            const int y = r * module + module / 2;
            if (x >= side || y >= side) continue;
            const QRgb expected = grid.IsBlack(r, c) ? 0xFF000000 : 0xFFFFFFFF;
            Check(image.pixel(x, y) == expected, "the picture shows the grid");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const int side = data[0];
    const QString body = fuzz::Text(data + 1, size - 1);

    const std::optional<QString> address = deposit::ReadAddress(body);
    Check(address.has_value() == !body.isEmpty(), "only an empty body is a failure");
    if (!address) return 0;
    Check(*address == body, "the address is the whole body");

    CheckShown(*address);
    // Labels elide only far beyond what fuzzing inputs reach: a repeated body gets there.
    if (!address->isEmpty()) CheckShown(address->repeated(display::MaxLabelChars / address->size() + 1));
    CheckPicture(*address, side);
    return 0;
}
