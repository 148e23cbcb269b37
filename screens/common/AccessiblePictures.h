#pragma once
// Pictures that stay sharp under a magnifier setting: the forms' SVG icons are
// loaded at the SVG's own size and at 1x, then stretched to their labels (and
// to 1.5x or 2x on a scaled desktop). Drawn again here from the SVG at the
// label's size in the screen's own pixels.
class QWidget;

namespace accessible {

// Redraws every stretched SVG picture under root at its label's size and the
// device pixel ratio it is shown at. Pictures already drawn at that size and
// ratio are left alone (so nothing is read when nothing needs it).
void DrawPicturesAtScale(QWidget* root);

} // namespace accessible
