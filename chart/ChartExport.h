#pragma once
// The chart as pictures for other programs: a bitmap at the screen's colour
// depth (and its Windows BMP file), an enhanced metafile, files written so
// that a failure never leaves half a file behind, and the clipboard formats
// the pictures travel under.

#include <QByteArray>
#include <QColor>
#include <QSize>
#include <QStringList>

class QImage;
class TChartModel;

// Where the chart's copy operations put their picture. Each call empties
// the clipboard and leaves exactly that one picture on it; a clipboard that
// cannot be opened throws EClipboardException.
class TChartClipboard {
public:
    virtual ~TChartClipboard() = default;
    virtual void SetImage(const QImage& image) = 0;
    // The same bytes offered under each of `mimeTypes`.
    virtual void SetData(const QStringList& mimeTypes, const QByteArray& data) = 0;
};

// The types an enhanced metafile is offered under: the two that image
// editors and office programs on Linux look for, and the one the office
// suites that exchange pictures with Windows read when pasting.
QStringList EmfMimeTypes();

// Bits per pixel of a bitmap for a screen of `screenDepth` bits: 32, 24 and
// 16 keep their depth (16 as red 5, green 6, blue 5), deeper screens get 32,
// depths from 17 to 23 get 24, from 9 to 15 get 16; 8 and less are paletted:
// 8 bits for 5 to 8, 4 bits for 2 to 4, 1 bit (black and white) below.
int BitmapBitsForDepth(int screenDepth);

// The chart drawn over `background` into a bitmap of `size` (at least 1 x 1)
// at `bitsPerPixel` (1, 4, 8, 16, 24 or 32; see BitmapBitsForDepth). The
// image's format: RGB32 for 32, RGB888 for 24, RGB16 for 16 and Indexed8
// with at most 2^bits colours for the paletted depths. A paletted bitmap
// takes the colours the picture shows most, each pixel the nearest of them;
// one bit is black and white by brightness.
QImage ChartBitmap(const TChartModel& chart, QSize size, const QColor& background, int bitsPerPixel);

// `image` (as ChartBitmap makes it) as a Windows BMP file: file header,
// 40-byte bitmap header, colour masks (16 bits) or palette (8 bits and
// less), then the rows bottom-up, each padded to four bytes. `dpi` goes into
// the header's pixels per metre. Throws EFCreateError (naming `path`) when
// the picture is too large for the format.
QByteArray EncodeBmp(const QImage& image, int bitsPerPixel, int dpi, const QString& path = QString());

// The chart drawn into an enhanced metafile of `size` (at least 1 x 1) for
// a screen of `dpi`: the complete file.
QByteArray ChartMetafile(const TChartModel& chart, QSize size, int dpi);

// Creates or replaces the file at `path` with `bytes`: written to a
// temporary file beside it and renamed over it only when complete, so a
// failure leaves neither a partial file nor a damaged old one. Throws
// EFCreateError "ファイル "path" を作成できません。reason", the reason being
// the system's description of the cause.
void WriteWholeFile(const QString& path, const QByteArray& bytes);
