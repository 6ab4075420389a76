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
    // it; the painter's state is left as it was found. The work one call
    // may do is bounded: a picture that would paint its target's area more
    // than 128 times over, or draw more than 16 million points, is cut
    // short there.
    void Play(QPainter& painter, const QRectF& target) const;

private:
    struct Data;
    explicit Metafile(std::unique_ptr<Data> data);
    std::unique_ptr<Data> d;
};
