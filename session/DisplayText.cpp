#include "DisplayText.h"

namespace display {

QString Elide(const QString& text, qsizetype maxChars)
{
    if (text.size() <= maxChars || maxChars < 1) return text;
    qsizetype keep = maxChars - 1;
    if (keep > 0 && text.at(keep - 1).isHighSurrogate()) --keep;
    return text.left(keep) + QChar(0x2026);
}

} // namespace display
