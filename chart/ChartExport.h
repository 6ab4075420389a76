#pragma once
// The chart as pictures for other programs: a bitmap at the screen's colour
// depth (and its Windows BMP file), an enhanced metafile, PNG, SVG and PDF,
// files written so that a failure never leaves half a file behind, and the
// clipboard formats the pictures travel under.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QSize>
#include <QStringList>

#include <utility>

#include "SafeWrite.h" // WriteWholeFile, for the exports

class TChartModel;

// One picture in the forms that other programs read: `image`, when not
// null, as the platform's bitmap, and each form's bytes under each of its
// MIME types.
struct ClipboardPicture {
    QImage image;
    QList<std::pair<QStringList, QByteArray>> forms;
};

// Where the chart's copy operations put their picture. Each call empties
// the clipboard and leaves exactly that one picture on it, in all of its
// forms; a clipboard that cannot be opened throws EClipboardException.
class TChartClipboard {
public:
    virtual ~TChartClipboard() = default;
    virtual void SetPicture(const ClipboardPicture& picture) = 0;
};

// What an export is drawn for, as the chart shows on its screen: its size
// in logical pixels, the device pixels per logical pixel, the resolution
// its fonts are sized for, and the colour around its panel (the window
// behind the corners that the shadow leaves free; invalid for none).
struct ChartCanvas {
    QSize size;
    double pixelRatio = 1.0;
    int dpi = 96;
    QColor backdrop;
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

// The chart drawn over `background` into a bitmap of the canvas's device
// pixels (its size times its pixel ratio, at least 1 x 1), with the
// backdrop around the panel.
QImage ChartBitmap(const TChartModel& chart, const ChartCanvas& canvas, const QColor& background, int bitsPerPixel);
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
QByteArray ChartMetafile(const TChartModel& chart, const ChartCanvas& canvas);

// `image` as a PNG file, its resolution in the file.
QByteArray EncodePng(const QImage& image);
// The chart as a PNG file of the canvas's device pixels (32-bit colour),
// its resolution in the file.
QByteArray ChartPng(const TChartModel& chart, const ChartCanvas& canvas);
// The chart as an SVG document of the canvas's logical size (its viewBox),
// texts as text elements, drawn by the same renderer as the screen.
QByteArray ChartSvg(const TChartModel& chart, const ChartCanvas& canvas);
// The chart as a one-page PDF document whose page is the chart at its size
// on the screen, drawn as vectors with the texts as text.
QByteArray ChartPdf(const TChartModel& chart, const ChartCanvas& canvas);

// The MIME types of the PNG and SVG forms.
inline constexpr char kPngMimeType[] = "image/png";
inline constexpr char kSvgMimeType[] = "image/svg+xml";
