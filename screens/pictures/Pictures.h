#pragma once
// The login window's pictures, drawn from screens/icons/*.svg at build time at
// the size the window shows them, at 1x and 2x: the first window paints without
// an image reader, the SVG plugin or the fonts of the drawing's lettering.
#include <QPixmap>

namespace pictures {

// The header across the top of the login window (576 x 110 at 1x).
QPixmap LoginHeader(qreal devicePixelRatio);
// The information button's icon (32 x 32 at 1x).
QPixmap InfoIcon(qreal devicePixelRatio);
// The alien drawn after "Telegram" on the community button (16 x 16 at 1x),
// in place of a colour emoji that would need an emoji font at start.
QPixmap Alien(qreal devicePixelRatio);

} // namespace pictures
