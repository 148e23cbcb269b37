#include "QrCode.Tools.h"

#include "QRCode.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <cmath>

QImage TQrCodeTools::Render(const QString& aText, int size)
{
    QImage image(std::max(size, 1), std::max(size, 1), QImage::Format_ARGB32);
    image.fill(0xFFFFFFFF);
    if (size <= 0) return image;

    TQRCodeGrid grid;
    grid.SetData(std::u16string(reinterpret_cast<const char16_t*>(aText.utf16()), size_t(aText.size())));
    grid.SetEncoding(qrAuto);
    const int rows = grid.Rows();
    const int columns = grid.Columns();
    if (rows <= 0) return image;
    const int module = int(std::nearbyint(double(size) / rows)); // half to even
    if (module <= 0) return image;

    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgba(0xFF000000));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            if (grid.IsBlack(r, c)) painter.drawRect(c * module, r * module, module, module);
    return image;
}

void TQrCodeTools::Generate(const QString& aText, QLabel* aImage)
{
    // Drawn in the screen's own pixels, so that every module edge falls on a
    // pixel edge at 1.5x and 2x too instead of being scaled up from 1x.
    const qreal ratio = aImage->devicePixelRatioF();
    const int size = int(std::floor(std::min(aImage->width(), aImage->height()) * ratio));
    aImage->setScaledContents(false);
    aImage->setAlignment(Qt::AlignCenter);
    QImage image = Render(aText, size);
    image.setDevicePixelRatio(ratio);
    aImage->setPixmap(QPixmap::fromImage(image));
}
