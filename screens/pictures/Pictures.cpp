#include "Pictures.h"
#include "PictureData.h"

#include <QImage>

namespace pictures {
namespace {

QPixmap FromRaster(const data::Raster (&raster)[2], qreal devicePixelRatio)
{
    // The 2x drawing on any screen finer than 1x: scaling down stays sharp, scaling up would blur.
    const bool fine = devicePixelRatio > 1.0;
    const data::Raster& r = raster[fine ? 1 : 0];
    // The image reads the program's own constant data; fromImage copies it into the pixmap.
    const QImage image(reinterpret_cast<const uchar*>(r.pixels), r.width, r.height, r.width * 4,
                       r.opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(fine ? 2.0 : 1.0);
    return pixmap;
}

} // namespace

QPixmap LoginHeader(qreal devicePixelRatio)
{
    return FromRaster(data::LoginHeader, devicePixelRatio);
}

QPixmap InfoIcon(qreal devicePixelRatio)
{
    return FromRaster(data::InfoIcon, devicePixelRatio);
}

QPixmap Alien(qreal devicePixelRatio)
{
    return FromRaster(data::Alien, devicePixelRatio);
}

} // namespace pictures
