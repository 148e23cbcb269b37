#pragma once
// Limits on server texts shown in labels: replies are a few kilobytes, and a
// label laying out megabytes of text would hold the GUI for seconds.
#include <QString>

namespace display {

// Far beyond any address or message of this service (and more than a QR code
// holds, so whatever can be drawn as one is shown whole), small enough to lay
// out at once.
constexpr qsizetype MaxLabelChars = 4000;

// The text itself when it has at most maxChars characters; otherwise its
// beginning and "…", maxChars characters in all (a surrogate pair is never split).
QString Elide(const QString& text, qsizetype maxChars = MaxLabelChars);

} // namespace display
