#include "AccessiblePictures.h"

#include <QDirIterator>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QImageReader>
#include <QPixmap>
#include <cmath>

namespace {

// The icons as the forms load them (QPixmap of the file: the SVG's own size
// at 1x), by resource path; read once, when a stretched picture is first found.
const QHash<QString, QPixmap>& FormIcons()
{
    static const QHash<QString, QPixmap> icons = [] {
        QHash<QString, QPixmap> all;
        QDirIterator it(QStringLiteral(":/icons"), {QStringLiteral("*.svg")}, QDir::Files);
        while (it.hasNext()) {
            const QString path = it.next();
            all.insert(path, QPixmap(path));
        }
        return all;
    }();
    return icons;
}

// The SVG a form's picture was loaded from, or empty.
QString SourceOf(const QPixmap& shown)
{
    const QHash<QString, QPixmap>& icons = FormIcons();
    for (auto it = icons.cbegin(); it != icons.cend(); ++it)
        if (it.value().cacheKey() == shown.cacheKey()) return it.key();
    const QImage image = shown.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (auto it = icons.cbegin(); it != icons.cend(); ++it) {
        const QPixmap& icon = it.value();
        if (icon.size() == shown.size() &&
            icon.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied) == image)
            return it.key();
    }
    return {};
}

} // namespace

namespace accessible {

void DrawPicturesAtScale(QWidget* root)
{
    if (!root) return;
    const auto labels = root->findChildren<QLabel*>();
    for (QLabel* label : labels) {
        if (!label->hasScaledContents()) continue;
        const QPixmap shown = label->pixmap();
        if (shown.isNull() || label->size().isEmpty()) continue;
        const qreal ratio = label->devicePixelRatioF();
        const QSize wanted(int(std::ceil(label->width() * ratio)), int(std::ceil(label->height() * ratio)));
        if (shown.size() == wanted && qFuzzyCompare(shown.devicePixelRatio(), ratio)) continue;
        QString source = label->property("pictureSource").toString();
        if (source.isEmpty()) source = SourceOf(shown);
        if (source.isEmpty()) continue; // not one of our SVGs: left as the form has it
        // Through the image plugin, drawn stretched to the label as the form
        // stretches it: the program itself then does not link the SVG library,
        // which every start would load.
        QImageReader reader(source);
        reader.setScaledSize(wanted);
        QImage image = reader.read();
        if (image.isNull()) continue;
        image.setDevicePixelRatio(ratio);
        label->setProperty("pictureSource", source);
        label->setPixmap(QPixmap::fromImage(image));
    }
}

} // namespace accessible
