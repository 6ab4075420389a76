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
    // says what is wrong, when the bytes are not a metafile it can draw.
    static std::shared_ptr<const Metafile> Load(const QByteArray& bytes);
    ~Metafile();

    MetafileKind Kind() const;
    // The picture's natural size in pixels at 96 pixels per inch.
    QSize Size() const;
    // Draws the picture stretched over `target`; the painter's state is
    // left as it was found.
    void Play(QPainter& painter, const QRectF& target) const;

private:
    struct Data;
    explicit Metafile(std::unique_ptr<Data> data);
    std::unique_ptr<Data> d;
};
