// Kept apart from the accessibility interfaces so the web view links without the screens' widgets.
#include "Accessible.h"

#include <QAccessible>
#include <QStringList>

namespace accessible {

QString WithRendererAccessibility(const QString& flags)
{
    const QString flag = QStringLiteral("--force-renderer-accessibility");
    if (flags.split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(flag)) return flags;
    return flags.isEmpty() ? flag : flags + QLatin1Char(' ') + flag;
}

void PrepareWebEngine()
{
    if (!QAccessible::isActive()) return;
    const QString flags = qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", WithRendererAccessibility(flags).toLocal8Bit());
}

} // namespace accessible
