#pragma once
// Device-independent bitmaps (DIBs) as metafiles embed them: a bitmap
// information header with its colour table, and the pixel bits, read from
// untrusted bytes into a QImage.

#include "ByteReader.h"

#include <QImage>

#include <cstdint>

namespace metafile {

// How the colour table's entries are given (the records' usage field).
enum class DibColors { Rgb = 0, PaletteIndexes = 1 };

struct DibOptions {
    DibColors colors = DibColors::Rgb;
    // Keep the alpha byte of 32-bit pixels (alpha blending); otherwise the
    // fourth byte is padding, as the blit records treat it.
    bool keepAlpha = false;
    // The largest bitmap decoded, in pixels; a larger one is refused before
    // anything is allocated.
    std::uint64_t maxPixels = 0;
    // Keep only every stepX-th column and every stepY-th row: a bitmap drawn
    // scaled down needs no more, and a small file may declare a huge one.
    // The limit above counts the pixels kept.
    std::uint32_t stepX = 1, stepY = 1;
    // When > 0, only this many scan lines are present in the bits (a partial
    // SetDIBitsToDevice), counted from the bitmap's first stored line.
    std::uint32_t scanLines = 0;
};

struct Dib {
    QImage image;          // top-down, as the picture is seen
    bool bottomUp = true;  // stored bottom line first (source origin at the bottom)
    int width = 0;         // as declared
    int height = 0;
    double stepX = 1, stepY = 1; // declared pixels per pixel of `image`
    // A rectangle in declared pixels, in the pixels of `image`.
    QRectF InImage(const QRectF& declared) const
    {
        return QRectF(declared.x() / stepX, declared.y() / stepY, declared.width() / stepX, declared.height() / stepY);
    }
};

// Decodes a bitmap whose header and colour table are `info` and whose pixels
// are `bits`. On failure the image is null and `error` (if given) says why.
Dib DecodeDib(const ByteReader& info, const ByteReader& bits, const DibOptions& options,
              const char** error = nullptr);

// A packed DIB (header, colour table and bits one after the other, as WMF
// records and pattern brushes store them).
Dib DecodePackedDib(const ByteReader& packed, const DibOptions& options, const char** error = nullptr);

} // namespace metafile
