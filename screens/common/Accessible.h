#pragma once
// What assistive technology (a screen reader over the desktop's accessibility
// bus) gets from the screens beyond Qt's own defaults: clickable labels and
// frames are buttons it can press, the message panel is an alert that is
// announced, screens are windows, confirmation panels are modal dialogs, combo
// boxes keep the names the forms give them, and password fields never send
// their characters. Installed once, when the application object is made.
#include <QString>

class QWidget;

namespace accessible {

// The interfaces and the event filter; the application object calls it at its
// construction (the ones linked with the screens), calling it again does nothing.
void Install();

// The panel is read as a modal dialog while it is open.
void MarkModalPanel(QWidget* panel);

// The list's items are cells of rows columns wide; it is read as those rows,
// one item per row, each named by its cells in order.
void ReadAsRows(QWidget* list, int columns);

// Before the web engine starts: when assistive technology is active, the
// engine's renderers expose their pages (they do not by themselves).
void PrepareWebEngine();

// The engine's command-line flags with the renderers' accessibility forced on.
QString WithRendererAccessibility(const QString& flags);

} // namespace accessible
