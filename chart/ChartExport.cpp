#include "ChartExport.h"

#include "ChartRenderer.h"
#include "EmfDevice.h"
#include "Exceptions.h"

#include <QBuffer>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace {

QString SystemMessage(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

[[noreturn]] void RaiseCreateError(const QString& path, const QString& reason)
{
    throw EFCreateError(QStringLiteral("ファイル \"%1\" を作成できません。%2").arg(path, reason));
}

QSize AtLeastOnePixel(QSize size)
{
    return size.expandedTo(QSize(1, 1));
}

// Brightness on a 0-255 scale, as a monochrome screen would judge it.
int Brightness(QRgb c)
{
    return (299 * qRed(c) + 587 * qGreen(c) + 114 * qBlue(c)) / 1000;
}

int Distance2(QRgb a, QRgb b)
{
    const int dr = qRed(a) - qRed(b);
    const int dg = qGreen(a) - qGreen(b);
    const int db = qBlue(a) - qBlue(b);
    return dr * dr + dg * dg + db * db;
}

// `rgb` (RGB32) with at most 2^bits colours. One bit is black and white by
// brightness; otherwise the palette holds the colours the picture shows
// most (so the panel, the walls, the series and the text keep their exact
// colours) and every pixel takes the nearest entry.
QImage ToPaletted(const QImage& rgb, int bits)
{
    const int w = rgb.width();
    const int h = rgb.height();
    QImage out(rgb.size(), QImage::Format_Indexed8);
    if (out.isNull())
        throw std::bad_alloc();

    if (bits == 1) {
        out.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        for (int y = 0; y < h; ++y) {
            const QRgb* src = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            uchar* dst = out.scanLine(y);
            for (int x = 0; x < w; ++x)
                dst[x] = Brightness(src[x]) >= 128 ? 1 : 0;
        }
        return out;
    }

    // The distinct colours with their pixel counts.
    std::vector<QRgb> pixels;
    pixels.reserve(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < w; ++x)
            pixels.push_back(src[x] | 0xFF000000u);
    }
    std::sort(pixels.begin(), pixels.end());
    std::vector<QRgb> colours;
    std::vector<std::pair<qsizetype, QRgb>> counts; // (count, colour)
    for (size_t i = 0; i < pixels.size();) {
        size_t j = i;
        while (j < pixels.size() && pixels[j] == pixels[i])
            ++j;
        colours.push_back(pixels[i]);
        counts.emplace_back(qsizetype(j - i), pixels[i]);
        i = j;
    }
    std::vector<QRgb>().swap(pixels);

    const size_t entries = std::min(colours.size(), size_t(1) << bits);
    // Most frequent first; equal counts by colour, so the result is stable.
    std::partial_sort(counts.begin(), counts.begin() + qsizetype(entries), counts.end(),
                      [](const auto& a, const auto& b) { return a.first != b.first ? a.first > b.first : a.second < b.second; });
    QList<QRgb> table;
    table.reserve(qsizetype(entries));
    for (size_t i = 0; i < entries; ++i)
        table.append(counts[i].second);
    out.setColorTable(table);

    // Each distinct colour's entry, then each pixel's through a lookup.
    std::vector<uchar> entryOf(colours.size());
    for (size_t i = 0; i < colours.size(); ++i) {
        int best = 0;
        int bestDistance = std::numeric_limits<int>::max();
        for (qsizetype k = 0; k < table.size() && bestDistance > 0; ++k) {
            const int d = Distance2(colours[i], table[k]);
            if (d < bestDistance) {
                bestDistance = d;
                best = int(k);
            }
        }
        entryOf[i] = uchar(best);
    }
    for (int y = 0; y < h; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uchar* dst = out.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const auto it = std::lower_bound(colours.begin(), colours.end(), src[x] | 0xFF000000u);
            dst[x] = entryOf[size_t(it - colours.begin())];
        }
    }
    return out;
}

void Put16(char*& p, quint16 v)
{
    *p++ = char(v & 0xFF);
    *p++ = char(v >> 8);
}

void Put32(char*& p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        *p++ = char((v >> (8 * i)) & 0xFF);
}

// The device pixels of `size` logical ones at `ratio`, at least 1 x 1.
QSize DevicePixels(QSize size, double ratio)
{
    return QSize(int(std::ceil(size.width() * ratio)), int(std::ceil(size.height() * ratio))).expandedTo(QSize(1, 1));
}

// A canvas of `size` logical pixels at one device pixel each.
ChartCanvas PlainCanvas(QSize size, int dpi)
{
    ChartCanvas canvas;
    canvas.size = size;
    canvas.dpi = dpi;
    return canvas;
}

RenderHints CanvasHints(const ChartCanvas& canvas)
{
    RenderHints hints;
    hints.backdrop = canvas.backdrop;
    return hints;
}

// The chart over `background` at the canvas's device pixels (RGB32), its
// fonts sized for the canvas's resolution as on the screen.
QImage RenderCanvas(const TChartModel& chart, const ChartCanvas& canvas, const QColor& background)
{
    const QSize logical = AtLeastOnePixel(canvas.size);
    const double ratio = canvas.pixelRatio > 0 ? canvas.pixelRatio : 1.0;
    QImage image(DevicePixels(logical, ratio), QImage::Format_RGB32);
    if (image.isNull())
        throw std::bad_alloc();
    image.setDevicePixelRatio(ratio);
    const int dpm = int(std::lround(std::clamp(canvas.dpi, 1, 100000) / 0.0254));
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
    image.fill(background.isValid() ? QColor(background.rgb()) : QColor(Qt::white));
    QPainter p(&image);
    RenderChart(chart, p, QRect(QPoint(0, 0), logical), CanvasHints(canvas));
    return image;
}

} // namespace

QStringList EmfMimeTypes()
{
    return {QStringLiteral("image/x-emf"), QStringLiteral("image/emf"),
            QStringLiteral("application/x-openoffice-emf;windows_formatname=\"Image EMF\"")};
}

int BitmapBitsForDepth(int screenDepth)
{
    if (screenDepth > 24)
        return 32;
    if (screenDepth > 16)
        return 24;
    if (screenDepth > 8)
        return 16;
    if (screenDepth > 4)
        return 8;
    if (screenDepth > 1)
        return 4;
    return 1;
}

QImage ChartBitmap(const TChartModel& chart, QSize size, const QColor& background, int bitsPerPixel)
{
    return ChartBitmap(chart, PlainCanvas(size, 96), background, bitsPerPixel);
}

QImage ChartBitmap(const TChartModel& chart, const ChartCanvas& canvas, const QColor& background, int bitsPerPixel)
{
    const QImage image = RenderCanvas(chart, canvas, background);
    QImage out;
    switch (bitsPerPixel) {
    case 32:
        return image;
    case 24:
        out = image.convertToFormat(QImage::Format_RGB888);
        break;
    case 16:
        out = image.convertToFormat(QImage::Format_RGB16);
        break;
    default:
        out = ToPaletted(image, bitsPerPixel >= 8 ? 8 : bitsPerPixel >= 4 ? 4 : 1);
        break;
    }
    if (out.isNull())
        throw std::bad_alloc();
    return out;
}

QByteArray EncodeBmp(const QImage& image, int bitsPerPixel, int dpi, const QString& path)
{
    const qint64 w = image.width();
    const qint64 h = image.height();
    const qint64 stride = (w * bitsPerPixel + 31) / 32 * 4;
    const qint64 paletteEntries = bitsPerPixel <= 8 ? std::min<qint64>(image.colorCount(), qint64(1) << bitsPerPixel) : 0;
    const qint64 masksBytes = bitsPerPixel == 16 ? 12 : 0;
    const qint64 offBits = 14 + 40 + masksBytes + paletteEntries * 4;
    const qint64 imageBytes = stride * h;
    const qint64 total = offBits + imageBytes;
    // The header's sizes are 32-bit; a byte array holds less than 2 GiB.
    if (total > std::numeric_limits<qint32>::max() - 64)
        RaiseCreateError(path, SystemMessage(EFBIG));

    QByteArray bytes(total, '\0');
    char* p = bytes.data();
    *p++ = 'B';
    *p++ = 'M';
    Put32(p, quint32(total));
    Put32(p, 0); // two reserved words
    Put32(p, quint32(offBits));

    const quint32 perMetre = quint32(std::lround(std::max(1, dpi) / 0.0254));
    Put32(p, 40);
    Put32(p, quint32(w));
    Put32(p, quint32(h)); // positive: the rows are stored bottom-up
    Put16(p, 1);
    Put16(p, quint16(bitsPerPixel));
    Put32(p, bitsPerPixel == 16 ? 3 : 0); // BI_BITFIELDS for 5-6-5, else BI_RGB
    Put32(p, quint32(imageBytes));
    Put32(p, perMetre);
    Put32(p, perMetre);
    Put32(p, quint32(paletteEntries));
    Put32(p, 0);
    if (bitsPerPixel == 16) {
        Put32(p, 0xF800);
        Put32(p, 0x07E0);
        Put32(p, 0x001F);
    }
    for (qint64 i = 0; i < paletteEntries; ++i) {
        const QRgb c = image.color(int(i));
        *p++ = char(qBlue(c));
        *p++ = char(qGreen(c));
        *p++ = char(qRed(c));
        *p++ = 0;
    }

    for (qint64 y = 0; y < h; ++y) {
        char* row = bytes.data() + offBits + (h - 1 - y) * stride;
        const uchar* src = image.constScanLine(int(y));
        switch (bitsPerPixel) {
        case 32: {
            // The fourth byte is unused by the format; it is written opaque so
            // that readers which take it for alpha show the picture too.
            const QRgb* s = reinterpret_cast<const QRgb*>(src);
            for (qint64 x = 0; x < w; ++x) {
                *row++ = char(qBlue(s[x]));
                *row++ = char(qGreen(s[x]));
                *row++ = char(qRed(s[x]));
                *row++ = char(0xFF);
            }
            break;
        }
        case 24:
            // RGB888 keeps red first; the file keeps blue first.
            for (qint64 x = 0; x < w; ++x) {
                *row++ = char(src[3 * x + 2]);
                *row++ = char(src[3 * x + 1]);
                *row++ = char(src[3 * x]);
            }
            break;
        case 16: {
            const quint16* s = reinterpret_cast<const quint16*>(src);
            for (qint64 x = 0; x < w; ++x)
                Put16(row, s[x]);
            break;
        }
        case 8:
            std::memcpy(row, src, size_t(w));
            break;
        default: {
            // 4 and 1 bits: the leftmost pixel in the byte's highest bits.
            const int perByte = 8 / bitsPerPixel;
            for (qint64 x = 0; x < w; ++x) {
                const int shift = 8 - bitsPerPixel * int(x % perByte + 1);
                row[x / perByte] = char(uchar(row[x / perByte]) | uchar(src[x] << shift));
            }
            break;
        }
        }
    }
    return bytes;
}

QByteArray ChartMetafile(const TChartModel& chart, QSize size, int dpi)
{
    return ChartMetafile(chart, PlainCanvas(size, dpi));
}

QByteArray ChartMetafile(const TChartModel& chart, const ChartCanvas& canvas)
{
    const QSize size = AtLeastOnePixel(canvas.size);
    EmfDevice emf(size, canvas.dpi);
    {
        QPainter p(&emf);
        RenderChart(chart, p, QRect(QPoint(0, 0), size), CanvasHints(canvas));
    }
    return emf.Data();
}

QByteArray EncodePng(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        throw std::bad_alloc(); // the encoder fails only for want of memory
    return bytes;
}

QByteArray ChartPng(const TChartModel& chart, const ChartCanvas& canvas)
{
    return EncodePng(RenderCanvas(chart, canvas, canvas.backdrop));
}

QByteArray ChartSvg(const TChartModel& chart, const ChartCanvas& canvas)
{
    const QSize size = AtLeastOnePixel(canvas.size);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setResolution(std::clamp(canvas.dpi, 1, 100000));
    svg.setTitle(QStringLiteral("Plotmere"));
    svg.setDescription(QStringLiteral("Plotmere chart"));
    {
        QPainter p(&svg);
        RenderChart(chart, p, QRect(QPoint(0, 0), size), CanvasHints(canvas));
    }
    return bytes;
}

QByteArray ChartPdf(const TChartModel& chart, const ChartCanvas& canvas)
{
    const QSize size = AtLeastOnePixel(canvas.size);
    const int dpi = std::clamp(canvas.dpi, 1, 100000);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setCreator(QStringLiteral("Plotmere"));
        pdf.setResolution(dpi);
        // The page is the chart at its size on the screen, in points.
        pdf.setPageSize(QPageSize(QSizeF(size.width() * 72.0 / dpi, size.height() * 72.0 / dpi), QPageSize::Point,
                                  QString(), QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p(&pdf);
        RenderChart(chart, p, QRect(QPoint(0, 0), size), CanvasHints(canvas));
    }
    return bytes;
}
