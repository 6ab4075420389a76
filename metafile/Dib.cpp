#include "Dib.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <array>

namespace metafile {
namespace {

enum Compression : std::uint32_t {
    BI_RGB = 0,
    BI_RLE8 = 1,
    BI_RLE4 = 2,
    BI_BITFIELDS = 3,
    BI_JPEG = 4,
    BI_PNG = 5,
    BI_ALPHABITFIELDS = 6,
};

// The 16 colours of the default palette; palette-index colour tables are
// resolved against it, since a metafile's own logical palettes are not
// realised here.
constexpr std::array<QRgb, 16> kDefaultPalette = {
    0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080, 0xFF008080, 0xFFC0C0C0,
    0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
};

struct Header {
    std::uint32_t size = 0;
    std::int64_t width = 0;
    std::int64_t height = 0; // negative: top-down
    unsigned bitCount = 0;
    std::uint32_t compression = BI_RGB;
    std::uint32_t colorsUsed = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0};
    bool core = false;
    std::uint64_t tableOffset = 0; // where the colour table starts
    std::uint64_t tableEntries = 0;
    unsigned entrySize = 4;
};

bool Fail(const char** error, const char* why)
{
    if (error)
        *error = why;
    return false;
}

bool ReadHeader(const ByteReader& r, const DibOptions& opt, Header& h, const char** error)
{
    h.size = r.U32(0);
    if (r.Overrun())
        return Fail(error, "bitmap header missing");
    if (h.size == 12) {
        if (!r.Has(0, 12))
            return Fail(error, "bitmap header truncated");
        h.core = true;
        h.width = r.U16(4);
        h.height = r.U16(6);
        h.bitCount = r.U16(10);
        h.entrySize = 3;
    } else if (h.size >= 40) {
        if (!r.Has(0, h.size))
            return Fail(error, "bitmap header truncated");
        h.width = r.I32(4);
        h.height = r.I32(8);
        h.bitCount = r.U16(14);
        h.compression = r.U32(16);
        h.colorsUsed = r.U32(32);
    } else {
        return Fail(error, "unknown bitmap header size");
    }
    if (h.width <= 0 || h.height == 0)
        return Fail(error, "empty bitmap");

    std::uint64_t pos = h.size;
    if (h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS) {
        if (h.bitCount != 16 && h.bitCount != 32)
            return Fail(error, "bit fields need 16 or 32 bits per pixel");
        const unsigned n = h.compression == BI_ALPHABITFIELDS ? 4 : 3;
        if (h.size >= 52) {
            for (unsigned i = 0; i < 4 && 40 + 4 * i + 4 <= h.size; ++i)
                h.masks[i] = r.U32(40 + 4 * i);
        } else {
            if (!r.Has(pos, 4 * n))
                return Fail(error, "bit field masks missing");
            for (unsigned i = 0; i < n; ++i)
                h.masks[i] = r.U32(pos + 4 * i);
            pos += 4 * n;
        }
    } else if (h.bitCount == 16) {
        h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
    } else if (h.bitCount == 32) {
        h.masks[0] = 0x00FF0000, h.masks[1] = 0x0000FF00, h.masks[2] = 0x000000FF, h.masks[3] = 0xFF000000;
    }
    if (h.compression == BI_RGB && h.bitCount == 32 && h.size >= 56 && r.U32(52) == 0)
        h.masks[3] = 0xFF000000; // a V4/V5 header without an alpha mask still carries one in the fourth byte

    switch (h.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    case 0:
        if (h.compression != BI_JPEG && h.compression != BI_PNG)
            return Fail(error, "unsupported bit count");
        break;
    default:
        return Fail(error, "unsupported bit count");
    }
    if (h.compression == BI_RLE8 && h.bitCount != 8)
        return Fail(error, "RLE8 needs 8 bits per pixel");
    if (h.compression == BI_RLE4 && h.bitCount != 4)
        return Fail(error, "RLE4 needs 4 bits per pixel");
    if (h.compression > BI_ALPHABITFIELDS)
        return Fail(error, "unsupported compression");

    if (opt.colors == DibColors::PaletteIndexes)
        h.entrySize = 2;
    h.tableOffset = pos;
    if (h.bitCount >= 1 && h.bitCount <= 8) {
        const std::uint64_t full = 1u << h.bitCount;
        h.tableEntries = (h.colorsUsed == 0 || h.core) ? full : std::min<std::uint64_t>(h.colorsUsed, full);
    } else if (!h.core) {
        // A table beside true-colour pixels only optimises palettes; it is
        // skipped over but not used. Its length is bounded by the header.
        h.tableEntries = std::min<std::uint64_t>(h.colorsUsed, 1u << 16);
    }

    std::uint64_t pixels = 0;
    const std::uint64_t height = std::uint64_t(h.height < 0 ? -h.height : h.height);
    const std::uint64_t keptW = (std::uint64_t(std::max<std::int64_t>(h.width, 0)) + opt.stepX - 1) / std::max(opt.stepX, 1u);
    const std::uint64_t keptH = (height + opt.stepY - 1) / std::max(opt.stepY, 1u);
    if (h.width > 0x7FFF || height > 0x7FFF || !MulWithin(keptW, keptH, opt.maxPixels, pixels))
        return Fail(error, "bitmap too large");
    return true;
}

std::vector<QRgb> ReadTable(const ByteReader& r, const Header& h, const DibOptions& opt)
{
    std::vector<QRgb> table;
    if (h.bitCount > 8 || h.bitCount == 0)
        return table;
    table.resize(std::size_t(1) << h.bitCount, qRgb(0, 0, 0));
    for (std::uint64_t i = 0; i < h.tableEntries; ++i) {
        const std::uint64_t off = h.tableOffset + i * h.entrySize;
        if (!r.Has(off, h.entrySize))
            break; // a short table leaves the rest black
        if (opt.colors == DibColors::PaletteIndexes) {
            const unsigned idx = r.U16(off);
            table[i] = idx < kDefaultPalette.size() ? kDefaultPalette[idx] : qRgb(idx & 0xFF, idx & 0xFF, idx & 0xFF);
        } else {
            table[i] = qRgb(r.U8(off + 2), r.U8(off + 1), r.U8(off));
        }
    }
    return table;
}

// One channel from a masked pixel value, scaled to 0..255.
struct Channel {
    std::uint32_t mask = 0;
    unsigned shift = 0;
    std::uint32_t max = 0;
    explicit Channel(std::uint32_t m) : mask(m)
    {
        if (!m)
            return;
        while (!((m >> shift) & 1))
            ++shift;
        max = m >> shift;
    }
    unsigned operator()(std::uint32_t v) const
    {
        if (!mask)
            return 0;
        return unsigned(((std::uint64_t(v & mask) >> shift) * 255 + max / 2) / max);
    }
};

Dib DecodeRle(const ByteReader& bits, const Header& h, const std::vector<QRgb>& table, Dib dib, const DibOptions& opt)
{
    const int w = dib.width, hgt = dib.height;
    const int sx = int(std::max(opt.stepX, 1u)), sy = int(std::max(opt.stepY, 1u));
    QImage& img = dib.image;
    img = QImage((w + sx - 1) / sx, (hgt + sy - 1) / sy, QImage::Format_ARGB32);
    if (img.isNull())
        return Dib{};
    dib.stepX = sx;
    dib.stepY = sy;
    img.fill(Qt::transparent); // pixels the codes skip stay transparent
    const bool rle4 = h.compression == BI_RLE4;
    std::int64_t x = 0, y = 0; // y counts stored lines from the first
    QRgb* line = nullptr;      // the kept row of stored line y, if it is kept
    auto findLine = [&] {
        const int row = y < hgt ? (dib.bottomUp ? hgt - 1 - int(y) : int(y)) : -1;
        line = (row >= 0 && row % sy == 0) ? reinterpret_cast<QRgb*>(img.scanLine(row / sy)) : nullptr;
    };
    findLine();
    auto put = [&](unsigned index) {
        if (line && x < w && x % sx == 0)
            line[x / sx] = table[index & (table.size() - 1)];
        ++x;
    };
    std::uint64_t p = 0;
    const std::uint64_t n = bits.Size();
    while (p + 2 <= n && y < hgt) {
        const unsigned count = bits.U8(p), value = bits.U8(p + 1);
        p += 2;
        if (count > 0) {
            const unsigned run = unsigned(std::min<std::int64_t>(count, std::max<std::int64_t>(0, w - x)));
            for (unsigned i = 0; i < run; ++i)
                put(rle4 ? ((i & 1) ? value & 0x0F : value >> 4) : value);
            x += count - run;
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
            findLine();
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            if (p + 2 > n)
                break;
            x += bits.U8(p);
            y += bits.U8(p + 1);
            findLine();
            p += 2;
        } else { // absolute run of `value` pixels, padded to a 16-bit boundary
            const std::uint64_t bytes = rle4 ? (value + 1) / 2 : value;
            if (!bits.Has(p, bytes))
                break;
            for (unsigned i = 0; i < value; ++i) {
                if (x >= w) {
                    x += value - i;
                    break;
                }
                const unsigned b = bits.U8(p + (rle4 ? i / 2 : i));
                put(rle4 ? ((i & 1) ? b & 0x0F : b >> 4) : b);
            }
            p += (bytes + 1) & ~std::uint64_t(1);
        }
    }
    return dib;
}

Dib DecodeEmbedded(const ByteReader& bits, const char* format, const DibOptions& opt, const char** error)
{
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bits.Data()), qsizetype(bits.Size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    // Only the reader the header names, whatever the bytes look like.
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    reader.setAllocationLimit(int(std::min<std::uint64_t>(opt.maxPixels * 4 / (1024 * 1024) + 1, 1024)));
    const QSize size = reader.size();
    std::uint64_t pixels = 0;
    if (!size.isValid() || size.width() > 0x7FFF || size.height() > 0x7FFF ||
        !MulWithin(std::uint64_t(size.width()), std::uint64_t(size.height()), opt.maxPixels, pixels)) {
        Fail(error, "embedded image unreadable or too large");
        return {};
    }
    const QSize kept((size.width() + int(opt.stepX) - 1) / int(std::max(opt.stepX, 1u)),
                     (size.height() + int(opt.stepY) - 1) / int(std::max(opt.stepY, 1u)));
    if (kept != size)
        reader.setScaledSize(kept);
    Dib dib;
    dib.image = reader.read();
    if (dib.image.isNull()) {
        Fail(error, "embedded image unreadable");
        return {};
    }
    dib.image = dib.image.convertToFormat(opt.keepAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    dib.width = size.width();
    dib.height = size.height();
    dib.stepX = double(size.width()) / dib.image.width();
    dib.stepY = double(size.height()) / dib.image.height();
    dib.bottomUp = false;
    return dib;
}

} // namespace

Dib DecodeDib(const ByteReader& info, const ByteReader& bits, const DibOptions& opt, const char** error)
{
    Header h;
    if (!ReadHeader(info, opt, h, error))
        return {};
    if (h.compression == BI_JPEG || h.compression == BI_PNG)
        return DecodeEmbedded(bits, h.compression == BI_PNG ? "png" : "jpeg", opt, error);

    Dib dib;
    dib.width = int(h.width);
    dib.bottomUp = h.height > 0;
    dib.height = int(h.height > 0 ? h.height : -h.height);
    if (opt.scanLines > 0 && opt.scanLines < std::uint32_t(dib.height))
        dib.height = int(opt.scanLines);
    const std::vector<QRgb> table = ReadTable(info, h, opt);

    if (h.compression == BI_RLE8 || h.compression == BI_RLE4) {
        Dib out = DecodeRle(bits, h, table, dib, opt);
        if (out.image.isNull())
            Fail(error, "bitmap too large");
        return out;
    }

    const std::uint64_t stride = ((std::uint64_t(dib.width) * h.bitCount + 31) / 32) * 4;
    std::uint64_t need = 0;
    if (!MulWithin(stride, std::uint64_t(dib.height), bits.Size(), need)) {
        Fail(error, "bitmap bits shorter than its size");
        return {};
    }
    const bool alpha = opt.keepAlpha && h.bitCount == 32 && h.masks[3] != 0;
    const int sx = int(std::max(opt.stepX, 1u)), sy = int(std::max(opt.stepY, 1u));
    QImage img((dib.width + sx - 1) / sx, (dib.height + sy - 1) / sy,
               alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (img.isNull()) {
        Fail(error, "bitmap too large");
        return {};
    }
    dib.stepX = sx;
    dib.stepY = sy;
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alphaCh(h.masks[3]);
    const std::uint8_t* base = bits.Data();
    for (int row = 0; row < img.height(); ++row) {
        const int topDown = row * sy;
        const int line = dib.bottomUp ? dib.height - 1 - topDown : topDown;
        const std::uint8_t* src = base + std::uint64_t(line) * stride;
        QRgb* dst = reinterpret_cast<QRgb*>(img.scanLine(row));
        for (int kept = 0; kept < img.width(); ++kept) {
            const int x = kept * sx;
            QRgb c;
            switch (h.bitCount) {
            case 1: c = table[(src[x >> 3] >> (7 - (x & 7))) & 1]; break;
            case 4: c = table[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F]; break;
            case 8: c = table[src[x]]; break;
            case 16: {
                const std::uint32_t v = std::uint32_t(src[2 * x] | (src[2 * x + 1] << 8));
                c = qRgb(int(red(v)), int(green(v)), int(blue(v)));
                break;
            }
            case 24: c = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]); break;
            default: {
                const std::uint8_t* q = src + 4 * x;
                const std::uint32_t v = std::uint32_t(q[0]) | (std::uint32_t(q[1]) << 8) |
                                        (std::uint32_t(q[2]) << 16) | (std::uint32_t(q[3]) << 24);
                if (alpha) {
                    // Alpha-blended pixels are premultiplied; a colour
                    // above its alpha is clamped so it stays valid.
                    const int a = int(alphaCh(v));
                    c = qRgba(std::min(int(red(v)), a), std::min(int(green(v)), a), std::min(int(blue(v)), a), a);
                } else {
                    c = qRgb(int(red(v)), int(green(v)), int(blue(v)));
                }
                break;
            }
            }
            dst[kept] = c;
        }
    }
    dib.image = img;
    return dib;
}

Dib DecodePackedDib(const ByteReader& packed, const DibOptions& opt, const char** error)
{
    Header h;
    if (!ReadHeader(packed, opt, h, error))
        return {};
    std::uint64_t tableBytes = 0;
    if (!MulWithin(h.tableEntries, h.entrySize, packed.Size(), tableBytes) ||
        !Fits(h.tableOffset, tableBytes, packed.Size())) {
        Fail(error, "colour table beyond the bitmap");
        return {};
    }
    const std::uint64_t bitsAt = h.tableOffset + tableBytes;
    return DecodeDib(packed.Sub(0, bitsAt), packed.Sub(bitsAt, packed.Size() - bitsAt), opt, error);
}

} // namespace metafile
