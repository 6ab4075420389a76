#pragma once
// A Windows metafile read from untrusted bytes: an enhanced metafile (EMF),
// or a Windows metafile (WMF, with or without its placeable header), drawn
// onto any QPainter.

#include <QByteArray>
#include <QRectF>
#include <QSize>

#include <memory>

class QPainter;

enum class MetafileKind { Emf, Wmf };

class Metafile {
public:
    // Reads and checks the file. Throws EInvalidGraphic, with a message that
    // says what is wrong, when the bytes are not a metafile it can draw:
    // no EMF or WMF header, a header that cannot place the picture, or a
    // record chain that is broken (a record smaller than its header, of a
    // size that is not a multiple of 4 in an EMF, or reaching past the end).
    // A record that is sound as a link of the chain but broken inside is
    // not refused here: playing skips it and draws the rest.
    static std::shared_ptr<const Metafile> Load(const QByteArray& bytes);
    ~Metafile();

    MetafileKind Kind() const;
    // The picture's natural size in pixels at 96 pixels per inch, at least
    // 1 x 1; a picture larger than 32767 pixels on a side is scaled down to
    // that, keeping its proportions. A WMF whose units are unknown (no
    // placeable header, no fixed mapping mode) counts one unit as a pixel.
    QSize Size() const;
    // Draws the picture stretched over `target` (in the painter's current
    // coordinates; a negative width or height mirrors it) and clipped to
    // it; the painter's state is left as it was found. Never throws.
    //
    // One call costs at most about 0.5 s and 256 MB, whatever the file asks
    // for (the numbers are GdiPlayer.h's Budget). A file is refused by
    // Load only for what is wrong with it as a file (above); a file that
    // asks for more work than that is loaded, and drawn in part: every
    // drawing is charged before it is paid (points, clip and region
    // arithmetic by rectangles and crossing edges, painted area, glyphs
    // measured and drawn, bitmap pixels decoded, memory held by the object
    // table, saved states and bitmaps), and the first drawing that cannot
    // be paid for ends the play; what was drawn before stays. A clip too
    // costly to make exactly clips to its bounds; an object too large to
    // hold is kept as an empty placeholder; a bitmap drawn scaled down is
    // decoded at about the size it is drawn. A wall-clock limit of 0.5 s
    // ends a play that the charges misjudged. Load's measuring of a WMF
    // without a window is bounded the same way.
    void Play(QPainter& painter, const QRectF& target) const;

private:
    struct Data;
    explicit Metafile(std::unique_ptr<Data> data);
    std::unique_ptr<Data> d;
};
