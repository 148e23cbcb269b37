#pragma once
// The pixels of the pictures drawn at build time (render-picture.cpp writes them).
#include <QtGlobal>

namespace pictures::data {

// Premultiplied ARGB, one quint32 a pixel, rows without padding.
struct Raster {
    const quint32* pixels;
    int width;
    int height;
    bool opaque; // every pixel has full alpha
};

// [0] drawn at 1x, [1] at 2x.
extern const Raster LoginHeader[2];
extern const Raster InfoIcon[2];
extern const Raster Alien[2];

} // namespace pictures::data
