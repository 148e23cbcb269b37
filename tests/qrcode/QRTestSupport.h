// Helpers shared by the QR tests: reading grids back as images through an
// independent decoder, and text conversions that do not go through the
// encoder's own code.
#pragma once

#include "QRCode.h"

#include <ZXing/ReadBarcode.h>
#include <ZXing/TextUtfEncoding.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qrtest {

// 8-bit grayscale picture of the whole grid (quiet zone included), `scale`
// pixels per module.
inline std::vector<std::uint8_t> Render(const TQRCodeGrid& grid, int scale)
{
    const int w = grid.Columns() * scale;
    const int h = grid.Rows() * scale;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 255);
    for (int r = 0; r < grid.Rows(); ++r)
        for (int c = 0; c < grid.Columns(); ++c)
            if (grid.IsBlack(r, c))
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx)
                        pixels[static_cast<std::size_t>(r * scale + dy) * static_cast<std::size_t>(w) +
                               static_cast<std::size_t>(c * scale + dx)] = 0;
    return pixels;
}

inline ZXing::Result Decode(const TQRCodeGrid& grid, int scale = 3)
{
    std::vector<std::uint8_t> pixels = Render(grid, scale);
    ZXing::ImageView image(pixels.data(), grid.Columns() * scale, grid.Rows() * scale, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    hints.setTryRotate(false);
    return ZXing::ReadBarcode(image, hints);
}

inline std::vector<std::uint8_t> Bytes(const ZXing::Result& result)
{
    const ZXing::ByteArray& b = result.bytes();
    return std::vector<std::uint8_t>(b.begin(), b.end());
}

inline std::vector<std::uint8_t> Bytes(const std::string& s)
{
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

// UTF-16 to code points, pairing surrogates.
inline std::u32string ToCodePoints(const std::u16string& text)
{
    std::u32string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            out.push_back(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) +
                          (static_cast<char32_t>(text[i + 1]) - 0xDC00));
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// UTF-8 of a text, through the decoder library's converter.
inline std::vector<std::uint8_t> Utf8Of(const std::u16string& text)
{
    std::u32string cps = ToCodePoints(text);
    std::wstring wide(cps.begin(), cps.end());
    return Bytes(ZXing::TextUtfEncoding::ToUtf8(wide));
}

// Code points of UTF-8 bytes, through the decoder library's converter.
inline std::u32string CodePointsOfUtf8(const std::vector<std::uint8_t>& bytes)
{
    std::wstring wide = ZXing::TextUtfEncoding::FromUtf8(std::string(bytes.begin(), bytes.end()));
    return std::u32string(wide.begin(), wide.end());
}

inline std::u16string Ascii(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

} // namespace qrtest
