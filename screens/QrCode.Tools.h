#pragma once
// Draws a text's QR code into an image control, one square per dark module.
#include <QImage>
#include <QString>

class QLabel;

class TQrCodeTools {
public:
    // A size x size white picture with the grid (quiet zone included) drawn
    // from the top-left corner in modules of round(size / rows) pixels.
    static QImage Render(const QString& aText, int size);
    // Renders at the control's current size and shows the picture unscaled, centred.
    static void Generate(const QString& aText, QLabel* aImage);
};
