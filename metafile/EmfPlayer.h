#pragma once
// Enhanced metafiles (EMF): the header and record chain are checked when
// the file is loaded; the records are replayed into a GdiPlayer.

#include <QByteArray>
#include <QRectF>
#include <QSizeF>

#include <cstdint>

namespace metafile {

class GdiPlayer;

struct EmfHeader {
    QRectF frame;        // 0.01 mm, as the header gives it (inclusive corners)
    QSizeF devicePixels; // the reference device
    QSizeF deviceMm;
    std::uint64_t end = 0; // where the records end (the EOF record or the file's end)
    std::uint32_t recordCount = 0;
    // The frame in the reference device's pixels.
    QRectF FrameInPixels() const;
};

// Checks the header and walks the record chain. Throws EInvalidGraphic,
// saying which record is broken, when the file cannot be read:
//  - not an EMF header, or a header too short for its fields;
//  - a reference device or a picture frame without area (the picture
//    could not be placed);
//  - a record whose size is smaller than its own 8-byte header, not a
//    multiple of 4, or reaching past the end of the file (a truncated or
//    corrupt chain: nothing after it could be found).
// Everything inside a record is checked only while playing: a record whose
// fields do not fit it, whose counts or offsets point outside it, or that
// names a missing object is skipped, and the rest of the picture is drawn.
EmfHeader ReadEmfHeader(const QByteArray& bytes);

void PlayEmf(const QByteArray& bytes, const EmfHeader& header, GdiPlayer& player);

} // namespace metafile
