#pragma once
// Windows metafiles (WMF), with or without the placeable header: the headers
// and the record chain are checked when the file is loaded; the records are
// replayed into a GdiPlayer.

#include <QByteArray>
#include <QRectF>
#include <QSize>

#include <cstdint>

namespace metafile {

class GdiPlayer;

struct WmfHeader {
    bool placeable = false;
    std::uint64_t recordsAt = 0; // the first record
    std::uint64_t end = 0;       // past the last record
    // The logical rectangle the picture occupies: the placeable header's
    // box, else the window the records set up first. Empty when neither
    // exists: the caller then measures what is drawn.
    QRectF window;
    // Logical units per inch when known (placeable header, fixed mapping
    // mode); 0 when the units are unknown and taken as pixels at 96 ppi.
    double unitsPerInch = 0;
};

// Checks the headers and walks the record chain. Throws EInvalidGraphic,
// saying what is broken, when the file cannot be read:
//  - neither a placeable nor a standard WMF header, or a header of the
//    wrong size or type;
//  - a record smaller than its own 6-byte header or reaching past the end
//    of the file (a truncated or corrupt chain).
// What lies inside a record is checked only while playing: a record too
// short for its parameters, or naming a missing object, is skipped.
WmfHeader ReadWmfHeader(const QByteArray& bytes);

void PlayWmf(const QByteArray& bytes, const WmfHeader& header, GdiPlayer& player);

} // namespace metafile
