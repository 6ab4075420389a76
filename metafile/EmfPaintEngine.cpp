#include "EmfPaintEngine_p.h"

#include "EmfDevice.h"
#include "EmfRecords.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPixmap>
#include <QTextItem>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

using namespace emf;

namespace {

// Coordinates are kept where every reader's integer arithmetic is safe.
constexpr double kCoordLimit = double(1 << 27);
// A marker is a small shape: at most this many device pixels across.
constexpr double kMarkerExtent = 64.0;
// A bitmap record never holds more than this many bytes of pixels.
constexpr qint64 kMaxBitmapBytes = qint64(256) << 20;

enum ObjectKind { kPen = 0, kBrush = 1, kFont = 2 };

std::uint32_t ColorRef(QRgb c) { return std::uint32_t(qRed(c)) | std::uint32_t(qGreen(c)) << 8 | std::uint32_t(qBlue(c)) << 16; }

std::int32_t ClampCoord(double v)
{
    if (!(v == v))
        return 0;
    return std::int32_t(std::llround(std::clamp(v, -kCoordLimit, kCoordLimit)));
}

bool Opaque(const QColor& c) { return c.alpha() == 255; }

bool PenExpressible(const QPen& pen)
{
    return pen.style() == Qt::NoPen || (pen.brush().style() == Qt::SolidPattern && Opaque(pen.color()));
}

bool IsHatch(Qt::BrushStyle s) { return s >= Qt::HorPattern && s <= Qt::DiagCrossPattern; }

bool BrushExpressible(const QBrush& brush)
{
    const Qt::BrushStyle s = brush.style();
    if (s == Qt::NoBrush)
        return true;
    if (s != Qt::SolidPattern && !IsHatch(s))
        return false;
    return Opaque(brush.color()) && brush.transform().isIdentity();
}

std::uint32_t HatchCode(Qt::BrushStyle s)
{
    switch (s) {
    case Qt::HorPattern: return HS_HORIZONTAL;
    case Qt::VerPattern: return HS_VERTICAL;
    case Qt::CrossPattern: return HS_CROSS;
    case Qt::BDiagPattern: return HS_BDIAGONAL;
    case Qt::FDiagPattern: return HS_FDIAGONAL;
    default: return HS_DIAGCROSS;
    }
}

std::uint64_t Mix(std::uint64_t h, std::uint64_t v)
{
    h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    return h ^ (h >> 29);
}

// The rectangle QPainterPath::addRect() makes: a move and four lines back.
bool IsRectPath(const QPainterPath& path, QRectF& rect)
{
    if (path.elementCount() != 5 || !path.elementAt(0).isMoveTo())
        return false;
    QPointF p[5];
    for (int i = 0; i < 5; ++i) {
        const QPainterPath::Element& e = path.elementAt(i);
        if (i > 0 && !e.isLineTo())
            return false;
        p[i] = e;
    }
    if (p[4] != p[0])
        return false;
    const bool hFirst = p[0].y() == p[1].y() && p[1].x() == p[2].x() && p[2].y() == p[3].y() && p[3].x() == p[0].x();
    const bool vFirst = p[0].x() == p[1].x() && p[1].y() == p[2].y() && p[2].x() == p[3].x() && p[3].y() == p[0].y();
    if (!hFirst && !vFirst)
        return false;
    rect = QRectF(p[0], p[2]).normalized();
    return true;
}

// The ellipse QPainterPath::addEllipse() makes for its bounding box.
bool IsEllipsePath(const QPainterPath& path, QRectF& rect)
{
    if (path.elementCount() != 13 || !path.elementAt(0).isMoveTo())
        return false;
    // Markers repeat one ellipse at many places: compare with the last one
    // found, moved to this path's start, before building a new reference.
    static thread_local QPointF lastShape[13];
    static thread_local QRectF lastBox;
    static thread_local bool haveLast = false;
    const QPointF origin = path.elementAt(0);
    if (haveLast) {
        const double tol = 1e-9 * std::max({1.0, lastBox.width(), lastBox.height(), std::fabs(origin.x()),
                                            std::fabs(origin.y())});
        bool same = true;
        for (int i = 1; i < 13 && same; ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            const QPointF d = QPointF(e) - origin - lastShape[i];
            same = e.type == (i % 3 == 1 ? QPainterPath::CurveToElement : QPainterPath::CurveToDataElement) &&
                   std::fabs(d.x()) <= tol && std::fabs(d.y()) <= tol;
        }
        if (same) {
            rect = lastBox.translated(origin);
            return true;
        }
    }
    const QRectF box = path.controlPointRect();
    QPainterPath ref;
    ref.addEllipse(box);
    if (ref.elementCount() != 13)
        return false;
    const double tol = 1e-9 * std::max({1.0, box.width(), box.height(), std::fabs(box.x()), std::fabs(box.y())});
    for (int i = 0; i < 13; ++i) {
        const QPainterPath::Element a = path.elementAt(i), b = ref.elementAt(i);
        if (a.type != b.type || std::fabs(a.x - b.x) > tol || std::fabs(a.y - b.y) > tol)
            return false;
    }
    rect = box;
    for (int i = 0; i < 13; ++i)
        lastShape[i] = QPointF(path.elementAt(i)) - origin;
    lastBox = box.translated(-origin);
    haveLast = true;
    return true;
}

bool HasTranslucentPixels(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return false;
    const QImage a = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            if (qAlpha(row[x]) != 255)
                return true;
    }
    return false;
}

void WriteBitmapInfo(RecordWriter& w, int width, int height, int bits, std::uint32_t imageBytes, int dpi)
{
    const auto ppm = std::uint32_t(std::lround(dpi / 0.0254));
    w.U32(kBitmapInfoHeaderSize);
    w.I32(width);
    w.I32(height); // positive: rows from the bottom up
    w.U16(1);
    w.U16(std::uint16_t(bits));
    w.U32(BI_RGB);
    w.U32(imageBytes);
    w.U32(ppm);
    w.U32(ppm);
    w.U32(0);
    w.U32(0);
}

// Appends the pixels bottom-up: 24-bit BGR, or 32-bit premultiplied BGRA.
void WriteBitmapBits(RecordWriter& w, const QImage& image, int bits)
{
    const int width = image.width();
    if (bits == 32) {
        const QImage a = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        for (int y = a.height() - 1; y >= 0; --y) {
            const QRgb* row = reinterpret_cast<const QRgb*>(a.constScanLine(y));
            for (int x = 0; x < width; ++x)
                w.U32(row[x]);
        }
        return;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int stride = (width * 3 + 3) & ~3;
    QByteArray line(stride, '\0');
    for (int y = rgb.height() - 1; y >= 0; --y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        char* out = line.data();
        for (int x = 0; x < width; ++x) {
            *out++ = char(qBlue(row[x]));
            *out++ = char(qGreen(row[x]));
            *out++ = char(qRed(row[x]));
        }
        w.Raw(line.constData(), stride);
    }
}

void PutUtf16(QByteArray& key, const QString& s)
{
    key.append(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
    key.append(2, '\0');
}

} // namespace

// One primitive as the painter handed it over, in user coordinates.
struct EmfPaintEngine::Shape {
    ShapeKind kind = ShapeKind::Path;
    QRectF rect;                 // Rect, Ellipse
    std::vector<QPointF> points; // Polygon, Polyline; Lines: pairs of ends
    QPainterPath path;           // Path
    Qt::FillRule fillRule = Qt::OddEvenFill;
    bool markerCandidate = false;

    QRectF Bounds() const
    {
        switch (kind) {
        case ShapeKind::Rect:
        case ShapeKind::Ellipse: return rect.normalized();
        case ShapeKind::Path: return path.controlPointRect();
        default: break;
        }
        if (points.empty())
            return {};
        double x0 = points[0].x(), x1 = x0, y0 = points[0].y(), y1 = y0;
        for (const QPointF& p : points) {
            x0 = std::min(x0, p.x());
            x1 = std::max(x1, p.x());
            y0 = std::min(y0, p.y());
            y1 = std::max(y1, p.y());
        }
        return QRectF(QPointF(x0, y0), QPointF(x1, y1));
    }

    void Replay(QPainter& p) const
    {
        switch (kind) {
        case ShapeKind::Rect: p.drawRect(rect); break;
        case ShapeKind::Ellipse: p.drawEllipse(rect); break;
        case ShapeKind::Polygon: p.drawPolygon(points.data(), int(points.size()), fillRule); break;
        case ShapeKind::Polyline: p.drawPolyline(points.data(), int(points.size())); break;
        case ShapeKind::Lines:
            for (size_t i = 0; i + 1 < points.size(); i += 2)
                p.drawLine(points[i], points[i + 1]);
            break;
        case ShapeKind::Path: p.drawPath(path); break;
        }
    }
};

bool EmfPaintEngine::MarkerSet::Insert(const MarkerKey& key)
{
    if ((m_count + 1) * 2 > m_keys.size())
        Grow();
    const size_t mask = m_keys.size() - 1;
    size_t i = size_t(Mix(Mix(key.shape, std::uint32_t(key.x)), std::uint32_t(key.y))) & mask;
    while (m_used[i]) {
        if (m_keys[i] == key)
            return false;
        i = (i + 1) & mask;
    }
    m_used[i] = 1;
    m_keys[i] = key;
    ++m_count;
    return true;
}

void EmfPaintEngine::MarkerSet::Grow()
{
    std::vector<MarkerKey> keys = std::move(m_keys);
    std::vector<std::uint8_t> used = std::move(m_used);
    const size_t capacity = std::max<size_t>(1024, keys.size() * 2);
    m_keys.assign(capacity, MarkerKey{});
    m_used.assign(capacity, 0);
    m_count = 0;
    for (size_t i = 0; i < keys.size(); ++i)
        if (used[i])
            Insert(keys[i]);
}

void EmfPaintEngine::MarkerSet::Clear()
{
    if (m_count == 0)
        return;
    // A large table is given back rather than wiped.
    if (m_keys.size() > 4096) {
        m_keys = {};
        m_used = {};
    } else {
        std::fill(m_used.begin(), m_used.end(), 0);
    }
    m_count = 0;
}

EmfPaintEngine::EmfPaintEngine(const EmfDevice& device)
    : QPaintEngine(QPaintEngine::AllFeatures), m_device(device)
{
}

EmfPaintEngine::~EmfPaintEngine() = default;

EmfPaintEngine::Mapping EmfPaintEngine::IdentityMapping() { return Mapping(); }

const EmfPaintEngine::Mapping& EmfPaintEngine::CurrentMapping()
{
    if (!m_file->mappingDirty)
        return m_file->mapping;
    m_file->mappingDirty = false;
    Mapping m;
    const QTransform& t = m_file->transform;
    m.t = t;
    const double det = t.m11() * t.m22() - t.m12() * t.m21();
    m.scale = std::sqrt(std::fabs(det));
    m.valid = t.isAffine() && std::isfinite(m.scale) && m.scale > 1e-12 && std::isfinite(t.dx()) && std::isfinite(t.dy());
    m.axisAligned = t.m12() == 0.0 && t.m21() == 0.0;
    if (m.valid) {
        // A power of two near the scale keeps sixteenth-pixel precision
        // without making the world transform's numbers awkward.
        const int e = std::clamp(int(std::lround(std::log2(m.scale))), -24, 24);
        m.k = std::ldexp(double(kUnitsPerPixel), e);
        const double f = kUnitsPerPixel / m.k;
        m.world = QTransform(f * t.m11(), f * t.m12(), f * t.m21(), f * t.m22(), kUnitsPerPixel * t.dx(),
                             kUnitsPerPixel * t.dy());
    }
    m_file->mapping = m;
    return m_file->mapping;
}

QPoint EmfPaintEngine::Logical(const QPointF& user, const Mapping& m) const
{
    return QPoint(ClampCoord(user.x() * m.k), ClampCoord(user.y() * m.k));
}

bool EmfPaintEngine::begin(QPaintDevice*)
{
    m_file = std::make_unique<FileState>();
    const QSize size = m_device.Size().expandedTo(QSize(1, 1));
    m_file->deviceRect = QRectF(0, 0, size.width(), size.height());

    WriteHeader(m_file->writer, 0, 0, 0); // the real values are known at the end
    RecordWriter& w = m_file->writer;
    w.Begin(EMR_SETMAPMODE);
    w.U32(MM_ANISOTROPIC);
    w.End();
    w.Begin(EMR_SETWINDOWEXTEX);
    w.I32(size.width() * kUnitsPerPixel);
    w.I32(size.height() * kUnitsPerPixel);
    w.End();
    w.Begin(EMR_SETVIEWPORTEXTEX);
    w.I32(size.width());
    w.I32(size.height());
    w.End();
    w.Begin(EMR_SETBKMODE);
    w.U32(m_file->fileBkMode);
    w.End();
    w.Begin(EMR_SETTEXTALIGN);
    w.U32(TA_BASELINE);
    w.End();
    setActive(true);
    return true;
}

bool EmfPaintEngine::end()
{
    if (!m_file)
        return false;
    RecordWriter& w = m_file->writer;
    // Put the stock objects back and free every object the file created.
    const std::uint32_t stock[3] = {BLACK_PEN, WHITE_BRUSH, SYSTEM_FONT};
    for (int kind = 0; kind < 3; ++kind) {
        Selected& s = m_file->selected[kind];
        if (s.valid && s.handle != 0) {
            w.Begin(EMR_SELECTOBJECT);
            w.U32(kStockObject | stock[kind]);
            w.End();
            w.Begin(EMR_DELETEOBJECT);
            w.U32(s.handle);
            w.End();
            w.FreeHandle(s.handle);
        }
        s = Selected();
    }
    w.Begin(EMR_EOF);
    w.U32(0);  // no palette entries
    w.U32(16); // where they would start
    w.U32(kEofSize);
    w.End();

    RecordWriter header;
    WriteHeader(header, std::uint32_t(w.Size()), w.Records(), w.HandleTableSize());
    QByteArray bytes = std::move(w.Bytes());
    std::memcpy(bytes.data(), header.Bytes().constData(), size_t(header.Size()));
    m_data = std::move(bytes);
    m_file.reset();
    setActive(false);
    return true;
}

void EmfPaintEngine::WriteHeader(RecordWriter& w, std::uint32_t bytes, std::uint32_t records,
                                 std::uint16_t handles) const
{
    const int dpi = std::clamp(m_device.Dpi(), 1, 100000);
    const QSize size = m_device.Size().expandedTo(QSize(1, 1));
    // The reference device: a whole number of 127 mm squares, which at any
    // resolution is a whole number of pixels, so pixels per millimetre
    // come out exact for readers that work from these sizes.
    const int unitPx = 5 * dpi; // pixels in 127 mm
    const int a = std::max(1, (size.width() + unitPx - 1) / unitPx);
    const int b = std::max(1, (size.height() + unitPx - 1) / unitPx);
    const QString description = QStringLiteral("Plotmere") + QChar(0) + QStringLiteral("Chart") + QChar(0) + QChar(0);

    w.Begin(EMR_HEADER);
    RectL bounds;
    if (!m_file->bounds.isEmpty())
        bounds = DeviceRectL(m_file->bounds);
    w.Rect(bounds);
    // The frame in hundredths of a millimetre, inclusive, at least 1 x 1.
    RectL frame;
    frame.left = frame.top = 0;
    frame.right = std::max<std::int32_t>(0, std::int32_t(std::llround(size.width() * 2540.0 / dpi)) - 1);
    frame.bottom = std::max<std::int32_t>(0, std::int32_t(std::llround(size.height() * 2540.0 / dpi)) - 1);
    w.Rect(frame);
    w.U32(kEmfSignature);
    w.U32(0x10000);
    w.U32(bytes);
    w.U32(records);
    w.U16(handles);
    w.U16(0);
    w.U32(std::uint32_t(description.size()));
    w.U32(kHeaderSize);
    w.U32(0); // palette entries
    w.I32(a * unitPx);
    w.I32(b * unitPx);
    w.I32(a * 127);
    w.I32(b * 127);
    w.U32(0); // no pixel format
    w.U32(0);
    w.U32(0); // no OpenGL records
    w.I32(a * 127000);
    w.I32(b * 127000);
    Q_ASSERT(w.RecordOffset() == kHeaderSize);
    w.Raw(reinterpret_cast<const char*>(description.utf16()), description.size() * 2);
    w.End();
}

void EmfPaintEngine::updateState(const QPaintEngineState& state)
{
    const DirtyFlags f = state.state();
    bool newRun = false;
    if (f & DirtyTransform) {
        const QTransform t = state.transform();
        // A change of translation alone keeps the markers' run: their
        // shape on the device is the same.
        if (t.m11() != m_file->transform.m11() || t.m12() != m_file->transform.m12() || t.m21() != m_file->transform.m21() ||
            t.m22() != m_file->transform.m22() || !t.isAffine() || !m_file->transform.isAffine())
            newRun = true;
        m_file->transform = t;
        m_file->mappingDirty = true;
    }
    if (f & DirtyClipEnabled) {
        m_file->clipEnabled = state.isClipEnabled();
        m_file->clipBoundsDirty = true;
        newRun = true;
    }
    auto applyClip = [&](ClipPiece piece, Qt::ClipOperation op) {
        newRun = true;
        m_file->clipBoundsDirty = true;
        if (op == Qt::NoClip) {
            m_file->clip.clear();
            return;
        }
        m_file->clipEnabled = true;
        if (op == Qt::ReplaceClip)
            m_file->clip.clear();
        m_file->clip.push_back(std::move(piece));
    };
    if (f & DirtyClipRegion) {
        const QRegion region = state.clipRegion();
        ClipPiece piece;
        if (state.clipOperation() != Qt::NoClip) {
            if (region.rectCount() == 1 && m_file->transform.type() <= QTransform::TxScale) {
                piece.rect = m_file->transform.mapRect(QRectF(region.boundingRect()));
            } else {
                QPainterPath p;
                p.addRegion(region);
                piece.isRect = false;
                piece.path = m_file->transform.map(p);
            }
        }
        applyClip(piece, state.clipOperation());
    }
    if (f & DirtyClipPath) {
        ClipPiece piece;
        if (state.clipOperation() != Qt::NoClip) {
            const QPainterPath dev = m_file->transform.map(state.clipPath());
            QRectF r;
            if (IsRectPath(dev, r)) {
                piece.rect = r;
            } else {
                piece.isRect = false;
                piece.path = dev;
            }
        }
        applyClip(piece, state.clipOperation());
    }
    if (f & DirtyPen) {
        m_file->pen = state.pen();
        newRun = true;
    }
    if (f & DirtyBrush) {
        m_file->brush = state.brush();
        newRun = true;
    }
    if (f & DirtyBrushOrigin)
        m_file->brushOrigin = state.brushOrigin();
    if (f & DirtyBackground)
        m_file->bgBrush = state.backgroundBrush();
    if (f & DirtyBackgroundMode) {
        m_file->bgMode = state.backgroundMode();
        newRun = true;
    }
    if (f & DirtyOpacity) {
        m_file->opacity = state.opacity();
        newRun = true;
    }
    if (f & DirtyHints)
        m_file->hints = state.renderHints();
    if (newRun)
        ResetMarkers();
}

// ---------------------------------------------------------------------------
// Bounds and clip

QRectF EmfPaintEngine::ClipBounds() const
{
    if (m_file->clipBoundsDirty) {
        QRectF r = m_file->deviceRect;
        if (m_file->clipEnabled)
            for (const ClipPiece& p : m_file->clip)
                r = r.intersected(p.isRect ? p.rect : p.path.boundingRect());
        m_file->clipBounds = r;
        m_file->clipBoundsDirty = false;
    }
    return m_file->clipBounds;
}

QPainterPath EmfPaintEngine::ClipPathDevice() const
{
    QPainterPath clip;
    clip.addRect(m_file->deviceRect);
    if (!m_file->clipEnabled)
        return clip;
    for (const ClipPiece& p : m_file->clip) {
        QPainterPath piece;
        if (p.isRect)
            piece.addRect(p.rect);
        else
            piece = p.path;
        clip = clip.intersected(piece);
    }
    return clip;
}

QRectF EmfPaintEngine::DeviceBounds(const Mapping& m, const QRectF& bounds, const QPen& pen) const
{
    QRectF dev = m.t.mapRect(bounds);
    if (pen.style() != Qt::NoPen) {
        double half = pen.isCosmetic() ? std::max(1.0, pen.widthF()) / 2 : pen.widthF() * m.scale / 2;
        half *= pen.joinStyle() == Qt::MiterJoin || pen.joinStyle() == Qt::SvgMiterJoin
                    ? std::max(1.5, pen.miterLimit())
                    : 1.5;
        dev.adjust(-half, -half, half, half);
    }
    if (!std::isfinite(dev.left()) || !std::isfinite(dev.top()) || !std::isfinite(dev.right()) ||
        !std::isfinite(dev.bottom()))
        return ClipBounds(); // a perspective reaching infinity: as far as the clip
    return dev.intersected(ClipBounds());
}

RectL EmfPaintEngine::DeviceRectL(const QRectF& dev) const
{
    RectL r;
    r.left = ClampCoord(std::floor(dev.left()));
    r.top = ClampCoord(std::floor(dev.top()));
    r.right = std::max(r.left, ClampCoord(std::ceil(dev.right())) - 1);
    r.bottom = std::max(r.top, ClampCoord(std::ceil(dev.bottom())) - 1);
    return r;
}

void EmfPaintEngine::AddBounds(const QRectF& dev) { m_file->bounds = m_file->bounds.isEmpty() ? dev : m_file->bounds.united(dev); }

void EmfPaintEngine::SyncClip()
{
    static const std::vector<ClipPiece> none;
    const std::vector<ClipPiece>& want = m_file->clipEnabled ? m_file->clip : none;
    if (want == m_file->fileClip)
        return;
    RecordWriter& w = m_file->writer;
    // Pieces can only be added to a clip; anything else starts anew.
    size_t from = 0;
    const bool extends = m_file->fileClip.size() < want.size() && std::equal(m_file->fileClip.begin(), m_file->fileClip.end(), want.begin());
    if (extends) {
        from = m_file->fileClip.size();
    } else if (!m_file->fileClip.empty()) {
        w.Begin(EMR_EXTSELECTCLIPRGN);
        w.U32(0); // no region: back to the default clip
        w.U32(RGN_COPY);
        w.End();
    }
    if (from < want.size())
        SyncWorld(IdentityMapping()); // the pieces are in device pixels
    for (size_t i = from; i < want.size(); ++i) {
        const ClipPiece& p = want[i];
        if (p.isRect) {
            w.Begin(EMR_INTERSECTCLIPRECT);
            w.I32(ClampCoord(p.rect.left() * kUnitsPerPixel));
            w.I32(ClampCoord(p.rect.top() * kUnitsPerPixel));
            w.I32(ClampCoord(p.rect.right() * kUnitsPerPixel));
            w.I32(ClampCoord(p.rect.bottom() * kUnitsPerPixel));
            w.End();
            continue;
        }
        SyncFillMode(p.path.fillRule());
        w.Begin(EMR_BEGINPATH);
        w.End();
        WritePathBody(p.path, IdentityMapping(), DeviceRectL(p.path.boundingRect().intersected(m_file->deviceRect)));
        w.Begin(EMR_ENDPATH);
        w.End();
        w.Begin(EMR_SELECTCLIPPATH);
        w.U32(i == 0 ? RGN_COPY : RGN_AND);
        w.End();
    }
    m_file->fileClip = want;
}

// ---------------------------------------------------------------------------
// Device context state and objects

void EmfPaintEngine::SyncWorld(const Mapping& m)
{
    if (m.world == m_file->fileWorld)
        return;
    RecordWriter& w = m_file->writer;
    const QTransform& x = m.world;
    if (x.isIdentity()) {
        w.Begin(EMR_MODIFYWORLDTRANSFORM);
        for (float v : {1.f, 0.f, 0.f, 1.f, 0.f, 0.f})
            w.F32(v);
        w.U32(MWT_IDENTITY);
    } else {
        w.Begin(EMR_SETWORLDTRANSFORM);
        for (double v : {x.m11(), x.m12(), x.m21(), x.m22(), x.dx(), x.dy()})
            w.F32(float(v));
    }
    w.End();
    m_file->fileWorld = x;
}

void EmfPaintEngine::SelectObject(int kind, std::uint32_t handleOrStock, bool owned)
{
    RecordWriter& w = m_file->writer;
    Selected& s = m_file->selected[kind];
    w.Begin(EMR_SELECTOBJECT);
    w.U32(owned ? handleOrStock : (kStockObject | handleOrStock));
    w.End();
    if (s.valid && s.handle != 0) {
        w.Begin(EMR_DELETEOBJECT);
        w.U32(s.handle);
        w.End();
        w.FreeHandle(s.handle);
    }
    s.handle = owned ? handleOrStock : 0;
    s.valid = true;
}

bool EmfPaintEngine::IsThin(const QPen& pen, const Mapping& m)
{
    return pen.isCosmetic() ? pen.widthF() <= 1.0 : pen.widthF() * m.scale <= 1.0;
}

EmfPaintEngine::Mapping EmfPaintEngine::PixelMapping(const Mapping& m)
{
    Mapping px = m;
    px.k = m.k / kUnitsPerPixel;
    px.world = QTransform::fromScale(kUnitsPerPixel, kUnitsPerPixel) * m.world;
    return px;
}

void EmfPaintEngine::SyncPen(const QPen& pen, const Mapping& m)
{
    // Dashes are written as pieces of line (WriteDashed), so every pen in
    // the file is solid.
    RecordWriter& w = m_file->writer;
    Selected& s = m_file->selected[kPen];
    // The same pen at the same scale as last time: nothing to compare.
    if (s.valid && m_file->lastPenScale == m.scale && m_file->lastPenK == m.k && pen == m_file->lastPen)
        return;
    m_file->lastPen = pen;
    m_file->lastPenScale = m.scale;
    m_file->lastPenK = m.k;
    if (pen.style() == Qt::NoPen) {
        const QByteArray key("stock-null");
        if (!s.valid || s.key != key) {
            SelectObject(kPen, NULL_PEN, false);
            s.key = key;
        }
        return;
    }
    const std::uint32_t color = ColorRef(pen.color().rgb());
    // A pen of at most one device pixel is the plain pen of width 0: one
    // device pixel whatever the transform, and a line of its own that
    // readers keep as one (they cut wider pens into a polygon per piece).
    const bool thin = IsThin(pen, m);
    std::uint32_t flags = 0;
    std::int32_t width = 0;
    if (!thin) {
        const double userWidth = pen.isCosmetic() ? pen.widthF() / m.scale : pen.widthF();
        width = std::max<std::int32_t>(1, ClampCoord(userWidth * m.k));
        switch (pen.capStyle()) {
        case Qt::FlatCap: flags |= PS_ENDCAP_FLAT; break;
        case Qt::SquareCap: flags |= PS_ENDCAP_SQUARE; break;
        default: flags |= PS_ENDCAP_ROUND; break;
        }
        switch (pen.joinStyle()) {
        case Qt::MiterJoin:
        case Qt::SvgMiterJoin: flags |= PS_JOIN_MITER; break;
        case Qt::BevelJoin: flags |= PS_JOIN_BEVEL; break;
        default: flags |= PS_JOIN_ROUND; break;
        }
        flags |= PS_GEOMETRIC | PS_SOLID;
    }
    QByteArray key;
    key.append(thin ? 'h' : 'g');
    for (std::uint32_t v : {color, flags, std::uint32_t(width)})
        key.append(reinterpret_cast<const char*>(&v), 4);
    if (s.valid && s.key == key)
        return;
    const std::uint32_t handle = w.AllocateHandle();
    if (thin) {
        w.Begin(EMR_CREATEPEN);
        w.U32(handle);
        w.U32(PS_SOLID);
        w.I32(0);
        w.I32(0);
        w.U32(color);
    } else {
        w.Begin(EMR_EXTCREATEPEN);
        w.U32(handle);
        w.U32(0); // no bitmap brush
        w.U32(0);
        w.U32(0);
        w.U32(0);
        w.U32(flags);
        w.U32(std::uint32_t(width));
        w.U32(BS_SOLID);
        w.U32(color);
        w.U32(0);
        w.U32(0); // no style entries
    }
    w.End();
    SelectObject(kPen, handle, true);
    s.key = key;
}

void EmfPaintEngine::SyncBrush(const QBrush& brush)
{
    RecordWriter& w = m_file->writer;
    Selected& s = m_file->selected[kBrush];
    if (brush.style() == Qt::NoBrush) {
        const QByteArray key("stock-null");
        if (!s.valid || s.key != key) {
            SelectObject(kBrush, NULL_BRUSH, false);
            s.key = key;
        }
        return;
    }
    const std::uint32_t style = brush.style() == Qt::SolidPattern ? BS_SOLID : BS_HATCHED;
    const std::uint32_t hatch = style == BS_HATCHED ? HatchCode(brush.style()) : 0;
    const std::uint32_t color = ColorRef(brush.color().rgb());
    QByteArray key;
    for (std::uint32_t v : {style, color, hatch})
        key.append(reinterpret_cast<const char*>(&v), 4);
    if (s.valid && s.key == key)
        return;
    const std::uint32_t handle = w.AllocateHandle();
    w.Begin(EMR_CREATEBRUSHINDIRECT);
    w.U32(handle);
    w.U32(style);
    w.U32(color);
    w.U32(hatch);
    w.End();
    SelectObject(kBrush, handle, true);
    s.key = key;
}

void EmfPaintEngine::SyncBkMode(std::uint32_t mode, QRgb color)
{
    RecordWriter& w = m_file->writer;
    if (mode != m_file->fileBkMode) {
        w.Begin(EMR_SETBKMODE);
        w.U32(mode);
        w.End();
        m_file->fileBkMode = mode;
    }
    if (mode == OPAQUE && (!m_file->fileBkColorKnown || m_file->fileBkColor != color)) {
        w.Begin(EMR_SETBKCOLOR);
        w.U32(ColorRef(color));
        w.End();
        m_file->fileBkColor = color;
        m_file->fileBkColorKnown = true;
    }
}

void EmfPaintEngine::SyncFillMode(Qt::FillRule rule)
{
    const std::uint32_t mode = rule == Qt::WindingFill ? WINDING : ALTERNATE;
    if (mode == m_file->fileFillMode)
        return;
    m_file->writer.Begin(EMR_SETPOLYFILLMODE);
    m_file->writer.U32(mode);
    m_file->writer.End();
    m_file->fileFillMode = mode;
}

// ---------------------------------------------------------------------------
// Geometry records

bool EmfPaintEngine::FitsIn16Bits(const std::vector<QPoint>& pts)
{
    return std::all_of(pts.begin(), pts.end(), [](const QPoint& p) {
        return p.x() >= -32768 && p.x() <= 32767 && p.y() >= -32768 && p.y() <= 32767;
    });
}

void EmfPaintEngine::WritePoints(const std::vector<QPoint>& pts, bool small)
{
    RecordWriter& w = m_file->writer;
    for (const QPoint& p : pts) {
        if (small) {
            w.I16(std::int16_t(p.x()));
            w.I16(std::int16_t(p.y()));
        } else {
            w.I32(p.x());
            w.I32(p.y());
        }
    }
}

void EmfPaintEngine::WritePoly(std::uint32_t type16, std::uint32_t type32, const std::vector<QPoint>& pts,
                               const RectL& bounds)
{
    RecordWriter& w = m_file->writer;
    const bool small = FitsIn16Bits(pts);
    w.Begin(small ? type16 : type32);
    w.Rect(bounds);
    w.U32(std::uint32_t(pts.size()));
    WritePoints(pts, small);
    w.End();
}

void EmfPaintEngine::WritePathBody(const QPainterPath& path, const Mapping& m, const RectL& bounds)
{
    RecordWriter& w = m_file->writer;
    std::vector<QPoint> run;
    int runKind = 0; // 1 lines, 2 curves
    auto flush = [&] {
        if (!run.empty())
            WritePoly(runKind == 1 ? EMR_POLYLINETO16 : EMR_POLYBEZIERTO16,
                      runKind == 1 ? EMR_POLYLINETO : EMR_POLYBEZIERTO, run, bounds);
        run.clear();
        runKind = 0;
    };
    const int n = path.elementCount();
    QPointF start;
    int i = 0;
    while (i < n) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo() || i == 0) {
            start = e;
            const QPoint p = Logical(e, m);
            w.Begin(EMR_MOVETOEX);
            w.I32(p.x());
            w.I32(p.y());
            w.End();
            ++i;
        }
        // One subpath: up to the next move.
        int end = i;
        while (end < n && !path.elementAt(end).isMoveTo())
            ++end;
        bool closed = false;
        while (i < end) {
            const QPainterPath::Element el = path.elementAt(i);
            if (el.isLineTo()) {
                if (i == end - 1 && QPointF(el) == start && end - 1 > 0) {
                    closed = true; // the closing line is the figure's own
                    ++i;
                    continue;
                }
                if (runKind != 1)
                    flush();
                runKind = 1;
                run.push_back(Logical(el, m));
                ++i;
            } else if (el.isCurveTo() && i + 2 < end) {
                if (runKind != 2)
                    flush();
                runKind = 2;
                run.push_back(Logical(el, m));
                run.push_back(Logical(path.elementAt(i + 1), m));
                run.push_back(Logical(path.elementAt(i + 2), m));
                if (i + 2 == end - 1 && QPointF(path.elementAt(i + 2)) == start)
                    closed = true;
                i += 3;
            } else {
                ++i; // stray curve data
            }
        }
        flush();
        if (closed) {
            w.Begin(EMR_CLOSEFIGURE);
            w.End();
        }
    }
}

// ---------------------------------------------------------------------------
// Drawing

void EmfPaintEngine::ResetMarkers()
{
    m_file->markers.Clear();
}

bool EmfPaintEngine::IsMarkerRepeat(const Shape& s, const QRectF&)
{
    const QTransform& t = m_file->mapping.t;
    std::uint64_t h = Mix(0, std::uint64_t(s.kind) + 1);
    QPointF anchor;
    auto add = [&](const QPointF& user) {
        const QPointF d = t.map(user) - t.map(anchor);
        h = Mix(h, std::uint64_t(std::llround(d.x() * 64.0)));
        h = Mix(h, std::uint64_t(std::llround(d.y() * 64.0)));
    };
    switch (s.kind) {
    case ShapeKind::Rect:
    case ShapeKind::Ellipse:
        anchor = s.rect.topLeft();
        add(s.rect.bottomRight());
        add(s.rect.topRight());
        break;
    case ShapeKind::Path:
        anchor = s.path.elementAt(0);
        h = Mix(h, std::uint64_t(s.path.fillRule()));
        for (int i = 1; i < s.path.elementCount(); ++i) {
            const QPainterPath::Element e = s.path.elementAt(i);
            h = Mix(h, std::uint64_t(e.type));
            add(e);
        }
        break;
    default:
        if (s.points.empty())
            return false;
        anchor = s.points[0];
        h = Mix(h, std::uint64_t(s.fillRule));
        for (size_t i = 1; i < s.points.size(); ++i)
            add(s.points[i]);
        break;
    }
    const QPointF a = t.map(anchor);
    const MarkerKey key{h, ClampCoord(std::floor(a.x() + 0.5)), ClampCoord(std::floor(a.y() + 0.5))};
    return !m_file->markers.Insert(key);
}

void EmfPaintEngine::DrawShape(const Shape& s, const QPen& penIn, const QBrush& brushIn)
{
    const bool stroke = penIn.style() != Qt::NoPen;
    const bool fill = brushIn.style() != Qt::NoBrush && s.kind != ShapeKind::Polyline && s.kind != ShapeKind::Lines;
    m_file->decoration.remaining = 0;
    if (!stroke && !fill)
        return;
    const QPen pen = stroke ? penIn : QPen(Qt::NoPen);
    const QBrush brush = fill ? brushIn : QBrush(Qt::NoBrush);
    const Mapping& m = CurrentMapping();
    if (!m.valid && m.t.isAffine())
        return; // a singular transform leaves nothing to see
    const QRectF dev = DeviceBounds(m, s.Bounds(), pen);
    if (dev.isEmpty())
        return;
    if (s.markerCandidate && m.valid && dev.width() <= kMarkerExtent && dev.height() <= kMarkerExtent) {
        if (IsMarkerRepeat(s, dev))
            return;
    } else {
        ResetMarkers();
    }
    const bool expressible = m.valid && m_file->opacity >= 1.0 && PenExpressible(pen) && BrushExpressible(brush);
    if (!expressible) {
        if (!stroke && EmitTranslucentRect(s, brush, dev))
            return;
        Rasterize(dev, pen, brush, [&s](QPainter& p) { s.Replay(p); });
        return;
    }
    WriteShape(s, pen, brush, dev);
    AddBounds(dev);
}

void EmfPaintEngine::WriteShape(const Shape& s, const QPen& pen, const QBrush& brush, const QRectF& dev)
{
    // A shape outlined with a pen of one device pixel is written in whole
    // device pixels, one logical unit each, as the screen draws it: readers
    // that take the width-0 pen as one logical unit then draw one pixel,
    // not a sixteenth of one.
    const bool stroke = pen.style() != Qt::NoPen;
    const Mapping m = stroke && IsThin(pen, m_file->mapping) ? PixelMapping(m_file->mapping) : m_file->mapping;
    if (stroke && pen.style() != Qt::SolidLine) {
        WriteDashed(s, pen, brush, m, dev);
        return;
    }
    SyncClip();
    SyncWorld(m);
    switch (s.kind) {
    case ShapeKind::Rect:
    case ShapeKind::Ellipse: WriteBox(s, pen, brush, m, dev); return;
    case ShapeKind::Polygon: WritePolygon(s.points, s.fillRule, pen, brush, m, DeviceRectL(dev)); return;
    case ShapeKind::Polyline: WritePolyline(s.points, pen, m, DeviceRectL(dev)); return;
    case ShapeKind::Lines: WriteLines(s.points, pen, m, DeviceRectL(dev)); return;
    case ShapeKind::Path: WritePath(s.path, pen, brush, m, DeviceRectL(dev)); return;
    }
}

std::vector<QPoint> EmfPaintEngine::LogicalPoints(const std::vector<QPointF>& pts, const Mapping& m) const
{
    std::vector<QPoint> out;
    out.reserve(pts.size());
    for (const QPointF& p : pts)
        out.push_back(Logical(p, m));
    return out;
}

void EmfPaintEngine::SyncStyledBackground(bool styled)
{
    // A hatch's background is filled only in opaque background mode.
    if (styled)
        SyncBkMode(m_file->bgMode == Qt::OpaqueMode ? OPAQUE : TRANSPARENT, m_file->bgBrush.color().rgb());
}

void EmfPaintEngine::SyncPenAndBrush(const QPen& pen, const QBrush& brush, const Mapping& m)
{
    SyncPen(pen, m);
    SyncBrush(brush);
    SyncStyledBackground(IsHatch(brush.style()));
}

void EmfPaintEngine::WriteBox(const Shape& s, const QPen& pen, const QBrush& brush, const Mapping& m,
                              const QRectF& dev)
{
    if (!m.axisAligned) {
        // Turned by the world transform: the rectangle's corners or the
        // ellipse's curves.
        if (s.kind == ShapeKind::Rect) {
            const QRectF& r = s.rect;
            WritePolygon({r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()}, Qt::OddEvenFill, pen, brush, m,
                         DeviceRectL(dev));
        } else {
            QPainterPath path;
            path.addEllipse(s.rect);
            WritePath(path, pen, brush, m, DeviceRectL(dev));
        }
        return;
    }
    SyncPenAndBrush(pen, brush, m);
    const QRectF r = s.rect.normalized();
    const QPoint a = Logical(r.topLeft(), m), b = Logical(r.bottomRight(), m);
    RecordWriter& w = m_file->writer;
    w.Begin(s.kind == ShapeKind::Rect ? EMR_RECTANGLE : EMR_ELLIPSE);
    w.I32(std::min(a.x(), b.x()));
    w.I32(std::min(a.y(), b.y()));
    w.I32(std::max(a.x(), b.x()));
    w.I32(std::max(a.y(), b.y()));
    w.End();
}

void EmfPaintEngine::WritePolygon(const std::vector<QPointF>& points, Qt::FillRule rule, const QPen& pen,
                                  const QBrush& brush, const Mapping& m, const RectL& bounds)
{
    SyncPenAndBrush(pen, brush, m);
    SyncFillMode(rule);
    WritePoly(EMR_POLYGON16, EMR_POLYGON, LogicalPoints(points, m), bounds);
}

void EmfPaintEngine::WritePolyline(const std::vector<QPointF>& points, const QPen& pen, const Mapping& m,
                                   const RectL& bounds)
{
    SyncPen(pen, m);
    WritePoly(EMR_POLYLINE16, EMR_POLYLINE, LogicalPoints(points, m), bounds);
}

void EmfPaintEngine::WriteLines(const std::vector<QPointF>& ends, const QPen& pen, const Mapping& m,
                                const RectL& bounds)
{
    SyncPen(pen, m);
    // Many lines: one record of two-point polylines.
    WritePolyPolyline(LogicalPoints(ends, m), std::vector<std::uint32_t>(ends.size() / 2, 2), bounds);
}

void EmfPaintEngine::WritePath(const QPainterPath& path, const QPen& pen, const QBrush& brush, const Mapping& m,
                               const RectL& bounds)
{
    // Figures between BEGINPATH and ENDPATH, then filled and stroked.
    // Stroking and filling in one record would close open figures, so a
    // path with an open figure is written twice instead.
    RecordWriter& w = m_file->writer;
    const bool stroke = pen.style() != Qt::NoPen;
    const bool fill = brush.style() != Qt::NoBrush;
    bool open = false;
    const int n = path.elementCount();
    for (int i = 1, start = 0; i <= n; ++i) {
        if (i == n || path.elementAt(i).isMoveTo()) {
            if (i - start > 1 && QPointF(path.elementAt(i - 1)) != QPointF(path.elementAt(start)))
                open = true;
            start = i;
        }
    }
    auto writeFigures = [&] {
        w.Begin(EMR_BEGINPATH);
        w.End();
        WritePathBody(path, m, bounds);
        w.Begin(EMR_ENDPATH);
        w.End();
    };
    if (fill) {
        SyncBrush(brush);
        SyncFillMode(path.fillRule());
        SyncStyledBackground(IsHatch(brush.style()));
    }
    if (stroke)
        SyncPen(pen, m);
    auto finish = [&](std::uint32_t type) {
        w.Begin(type);
        w.Rect(bounds);
        w.End();
    };
    if (fill && stroke && open) {
        writeFigures();
        finish(EMR_FILLPATH);
        writeFigures();
        finish(EMR_STROKEPATH);
    } else {
        writeFigures();
        finish(fill && stroke ? EMR_STROKEANDFILLPATH : fill ? EMR_FILLPATH : EMR_STROKEPATH);
    }
}

std::vector<std::vector<QPointF>> EmfPaintEngine::StrokeLines(const Shape& s) const
{
    std::vector<std::vector<QPointF>> lines;
    switch (s.kind) {
    case ShapeKind::Lines:
        for (size_t i = 0; i + 1 < s.points.size(); i += 2)
            lines.push_back({s.points[i], s.points[i + 1]});
        break;
    case ShapeKind::Polyline: lines.push_back(s.points); break;
    case ShapeKind::Polygon:
        lines.push_back(s.points);
        if (!s.points.empty())
            lines.back().push_back(s.points.front());
        break;
    case ShapeKind::Rect: {
        const QRectF& r = s.rect;
        lines.push_back({r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft(), r.topLeft()});
        break;
    }
    case ShapeKind::Ellipse:
    case ShapeKind::Path: {
        QPainterPath path = s.path;
        if (s.kind == ShapeKind::Ellipse) {
            path = QPainterPath();
            path.addEllipse(s.rect);
        }
        // Curves flattened as finely as the device shows them.
        const QTransform& t = m_file->mapping.t;
        const QTransform back = t.inverted();
        for (const QPolygonF& poly : path.toSubpathPolygons(t)) {
            std::vector<QPointF> line;
            line.reserve(size_t(poly.size()));
            for (const QPointF& p : poly)
                line.push_back(back.map(p));
            lines.push_back(std::move(line));
        }
        break;
    }
    }
    return lines;
}

namespace {

// At most this many points of dashes per shape; a shape with more (a dotted
// line of millions of pixels) is drawn solid rather than make the file huge.
constexpr size_t kMaxDashPoints = size_t(1) << 20;

// Cuts `lines` into the dashes of `pattern` (dash, gap, dash...; lengths in
// `unit` user units, started `offset` units in), the pattern starting anew
// on each line as the screen does. Only what lies within `clip` (device
// pixels, through `t`) is kept; the pattern runs on across the rest. False
// when the dashes would pass kMaxDashPoints.
bool Dash(const std::vector<std::vector<QPointF>>& lines, const QList<qreal>& pattern, double offset, double unit,
          const QTransform& t, const QRectF& clip, std::vector<std::vector<QPointF>>& dashes)
{
    std::vector<double> lengths;
    double period = 0;
    for (qsizetype i = 0; i + 1 < pattern.size(); i += 2)
        for (qreal v : {pattern[i], pattern[i + 1]}) {
            lengths.push_back(std::max(0.0, double(v)) * unit);
            period += lengths.back();
        }
    if (lengths.empty() || !(period > 0) || !std::isfinite(period)) {
        dashes = lines;
        return true;
    }
    size_t points = 0;
    for (const std::vector<QPointF>& line : lines) {
        size_t entry = 0;           // even: a dash, odd: a gap
        double left = lengths[0];   // of the current entry
        std::vector<QPointF> piece; // the dash being drawn
        auto flush = [&] {
            if (piece.size() >= 2) {
                points += piece.size();
                dashes.push_back(std::move(piece));
            }
            piece.clear();
        };
        // Moves along the pattern by `d` without drawing.
        auto skip = [&](double d) {
            flush();
            d = std::fmod(d, period);
            while (d >= left) {
                d -= left;
                entry = (entry + 1) % lengths.size();
                left = lengths[entry];
            }
            left -= d;
        };
        skip(std::fmod(std::max(0.0, offset * unit), period));
        for (size_t i = 0; i + 1 < line.size(); ++i) {
            const QPointF a = line[i], b = line[i + 1];
            const double len = std::hypot(b.x() - a.x(), b.y() - a.y());
            if (!(len > 0) || !std::isfinite(len))
                continue;
            // The part of the segment within the clip, as fractions of it.
            const QPointF da = t.map(a), db = t.map(b);
            double t0 = 0, t1 = 1;
            const double d[2] = {db.x() - da.x(), db.y() - da.y()};
            const double lo[2] = {clip.left() - da.x(), clip.top() - da.y()};
            const double hi[2] = {clip.right() - da.x(), clip.bottom() - da.y()};
            for (int k = 0; k < 2 && t0 <= t1; ++k) {
                if (d[k] == 0) {
                    if (lo[k] > 0 || hi[k] < 0)
                        t1 = -1;
                    continue;
                }
                double u = lo[k] / d[k], v = hi[k] / d[k];
                if (u > v)
                    std::swap(u, v);
                t0 = std::max(t0, u);
                t1 = std::min(t1, v);
            }
            if (t0 > t1) {
                skip(len);
                continue;
            }
            if (t0 > 0)
                skip(t0 * len);
            double at = t0 * len;
            const double end = t1 * len;
            auto point = [&](double s) { return a + (b - a) * (s / len); };
            while (at < end) {
                const double step = std::min(left, end - at);
                if (entry % 2 == 0) {
                    if (piece.empty()) {
                        if (points > kMaxDashPoints) // dashes far finer than a pixel
                            return false;
                        piece.push_back(point(at));
                    }
                    piece.push_back(point(at + step));
                }
                at += step;
                left -= step;
                while (left <= 0) {
                    entry = (entry + 1) % lengths.size();
                    left = lengths[entry];
                    if (entry % 2 == 1)
                        flush();
                }
            }
            if (t1 < 1)
                skip((1 - t1) * len);
        }
        flush();
        if (points > kMaxDashPoints)
            return false;
    }
    return true;
}

} // namespace

void EmfPaintEngine::WriteDashed(const Shape& s, const QPen& pen, const QBrush& brush, const Mapping& m,
                                 const QRectF& dev)
{
    // Readers disagree on the format's own dash styles (one draws a dotted
    // line solid, another at lengths of its own, and custom lengths are
    // dropped), so dashes are written as the pieces of line they are, with
    // the solid pen: every reader shows the pattern the screen shows.
    if (brush.style() != Qt::NoBrush)
        WriteShape(s, QPen(Qt::NoPen), brush, dev);
    const std::vector<std::vector<QPointF>> lines = StrokeLines(s);
    QPen solid = pen;
    solid.setStyle(Qt::SolidLine);
    SyncClip();
    SyncWorld(m);
    const RectL bounds = DeviceRectL(dev);
    if (m_file->bgMode == Qt::OpaqueMode) {
        // The gaps show the background colour: the whole line in it first.
        QPen gaps = solid;
        QColor c = m_file->bgBrush.color();
        c.setAlpha(255);
        gaps.setColor(c);
        SyncPen(gaps, m);
        WritePolyPolyline(lines, m, bounds);
    }
    // A cosmetic pen's pattern is in device pixels, a geometric one's in
    // pen widths.
    const double unit = pen.isCosmetic() ? std::max(1.0, pen.widthF()) / m.scale : pen.widthF();
    const double pad = pen.isCosmetic() ? std::max(1.0, pen.widthF()) : pen.widthF() * m.scale;
    std::vector<std::vector<QPointF>> dashes;
    if (!Dash(lines, pen.dashPattern(), pen.dashOffset(), unit, m.t, ClipBounds().adjusted(-pad, -pad, pad, pad),
              dashes))
        dashes = lines;
    SyncPen(solid, m);
    WritePolyPolyline(dashes, m, bounds);
}

void EmfPaintEngine::WritePolyPolyline(const std::vector<std::vector<QPointF>>& lines, const Mapping& m,
                                       const RectL& bounds)
{
    std::vector<QPoint> pts;
    std::vector<std::uint32_t> counts;
    for (const std::vector<QPointF>& line : lines) {
        if (line.size() < 2)
            continue;
        for (const QPointF& p : line)
            pts.push_back(Logical(p, m));
        counts.push_back(std::uint32_t(line.size()));
    }
    WritePolyPolyline(pts, counts, bounds);
}

void EmfPaintEngine::WritePolyPolyline(const std::vector<QPoint>& pts, const std::vector<std::uint32_t>& counts,
                                       const RectL& bounds)
{
    if (counts.empty())
        return;
    if (counts.size() == 1) {
        WritePoly(EMR_POLYLINE16, EMR_POLYLINE, pts, bounds);
        return;
    }
    RecordWriter& w = m_file->writer;
    const bool small = FitsIn16Bits(pts);
    w.Begin(small ? EMR_POLYPOLYLINE16 : EMR_POLYPOLYLINE);
    w.Rect(bounds);
    w.U32(std::uint32_t(counts.size()));
    w.U32(std::uint32_t(pts.size()));
    for (std::uint32_t c : counts)
        w.U32(c);
    WritePoints(pts, small);
    w.End();
}

bool EmfPaintEngine::EmitTranslucentRect(const Shape& s, const QBrush& brush, const QRectF&)
{
    // A rectangle in one translucent colour: one opaque pixel of that
    // colour stretched over the rectangle and blended with a constant
    // alpha, which readers agree on whether or not they take bitmaps as
    // premultiplied.
    const Mapping& m = m_file->mapping;
    if (s.kind != ShapeKind::Rect || !m.valid || !m.axisAligned || brush.style() != Qt::SolidPattern)
        return false;
    const double alpha = brush.color().alphaF() * std::clamp(m_file->opacity, 0.0, 1.0);
    if (std::lround(alpha * 255) <= 0)
        return true; // nothing to see
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.setPixel(0, 0, brush.color().rgb() | 0xFF000000u);
    EmitImage(s.rect.normalized(), pixel, m, alpha);
    return true;
}

void EmfPaintEngine::Rasterize(const QRectF& dev, const QPen& pen, const QBrush& brush,
                               const std::function<void(QPainter&)>& draw)
{
    // Draws just this primitive into a bitmap of its device area, with the
    // painter's state, and writes that bitmap instead.
    const QRect area = dev.toAlignedRect().intersected(m_file->deviceRect.toAlignedRect());
    if (area.isEmpty() || qint64(area.width()) * area.height() * 4 > kMaxBitmapBytes)
        return;
    QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return;
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.translate(-area.x(), -area.y());
        if (m_file->clipEnabled && !m_file->clip.empty())
            p.setClipPath(ClipPathDevice());
        p.setTransform(m_file->transform * QTransform::fromTranslate(-area.x(), -area.y()));
        p.setRenderHints(m_file->hints);
        p.setOpacity(m_file->opacity);
        p.setPen(pen);
        p.setBrush(brush);
        p.setBrushOrigin(m_file->brushOrigin);
        p.setBackground(m_file->bgBrush);
        p.setBackgroundMode(m_file->bgMode);
        draw(p);
    }
    ResetMarkers();
    EmitImage(QRectF(area), image, IdentityMapping(), 1.0);
}

void EmfPaintEngine::EmitImage(const QRectF& dest, const QImage& source, const Mapping& m, double opacity)
{
    if (source.isNull() || dest.isEmpty())
        return;
    const QRectF dev = DeviceBounds(m, dest, QPen(Qt::NoPen));
    if (dev.isEmpty())
        return;
    // Never more pixels than the destination covers on the device: the
    // file stays bounded by its area whatever the picture's size.
    QImage image = source;
    const QRectF full = m.t.mapRect(dest);
    const int maxW = std::max(1, int(std::ceil(full.width() - 1e-6)));
    const int maxH = std::max(1, int(std::ceil(full.height() - 1e-6)));
    if (image.width() > maxW || image.height() > maxH)
        image = image.scaled(std::min(image.width(), maxW), std::min(image.height(), maxH), Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
    while (qint64(image.width()) * image.height() * 4 > kMaxBitmapBytes)
        image = image.scaled(std::max(1, image.width() / 2), std::max(1, image.height() / 2), Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
    if (image.isNull())
        return;

    const bool alphaPixels = HasTranslucentPixels(image);
    const bool blend = alphaPixels || opacity < 1.0;
    const int bits = blend ? 32 : 24;
    const int stride = bits == 32 ? image.width() * 4 : ((image.width() * 3 + 3) & ~3);
    const auto imageBytes = std::uint32_t(qint64(stride) * image.height());
    const int dpi = std::clamp(m_device.Dpi(), 1, 100000);

    SyncClip();
    SyncWorld(m);
    RecordWriter& w = m_file->writer;
    const QPoint a = Logical(dest.topLeft(), m), b = Logical(dest.bottomRight(), m);
    const RectL bounds = DeviceRectL(dev);
    if (blend) {
        const int constantAlpha = std::clamp(int(std::lround(opacity * 255)), 0, 255);
        w.Begin(EMR_ALPHABLEND);
        w.Rect(bounds);
        w.I32(a.x());
        w.I32(a.y());
        w.I32(b.x() - a.x());
        w.I32(b.y() - a.y());
        w.U8(AC_SRC_OVER);
        w.U8(0);
        w.U8(std::uint8_t(constantAlpha));
        w.U8(alphaPixels ? AC_SRC_ALPHA : 0);
        w.I32(0); // source origin
        w.I32(0);
        for (float v : {1.f, 0.f, 0.f, 1.f, 0.f, 0.f})
            w.F32(v);
        w.U32(0); // background colour of the source
        w.U32(DIB_RGB_COLORS);
        w.U32(kAlphaBlendHeadSize);
        w.U32(kBitmapInfoHeaderSize);
        w.U32(kAlphaBlendHeadSize + kBitmapInfoHeaderSize);
        w.U32(imageBytes);
        w.I32(image.width());
        w.I32(image.height());
    } else {
        const std::uint32_t mode = (m_file->hints & QPainter::SmoothPixmapTransform) ? HALFTONE : COLORONCOLOR;
        w.Begin(EMR_SETSTRETCHBLTMODE);
        w.U32(mode);
        w.End();
        w.Begin(EMR_STRETCHDIBITS);
        w.Rect(bounds);
        w.I32(a.x());
        w.I32(a.y());
        w.I32(0); // source origin
        w.I32(0);
        w.I32(image.width());
        w.I32(image.height());
        w.U32(kStretchDiBitsHeadSize);
        w.U32(kBitmapInfoHeaderSize);
        w.U32(kStretchDiBitsHeadSize + kBitmapInfoHeaderSize);
        w.U32(imageBytes);
        w.U32(DIB_RGB_COLORS);
        w.U32(SRCCOPY);
        w.I32(b.x() - a.x());
        w.I32(b.y() - a.y());
    }
    WriteBitmapInfo(w, image.width(), image.height(), bits, imageBytes, dpi);
    WriteBitmapBits(w, image, bits);
    w.End();
    AddBounds(dev);
}

void EmfPaintEngine::drawPath(const QPainterPath& path)
{
    if (path.isEmpty())
        return;
    Shape s;
    s.markerCandidate = true;
    QRectF r;
    if (IsRectPath(path, r)) {
        s.kind = ShapeKind::Rect;
        s.rect = r;
    } else if (IsEllipsePath(path, r)) {
        s.kind = ShapeKind::Ellipse;
        s.rect = r;
    } else {
        // One figure of straight lines is a polygon or a polyline.
        const int n = path.elementCount();
        bool lines = n >= 2 && path.elementAt(0).isMoveTo();
        for (int i = 1; i < n && lines; ++i)
            lines = path.elementAt(i).isLineTo();
        const bool closed = lines && QPointF(path.elementAt(n - 1)) == QPointF(path.elementAt(0));
        if (lines && closed && n >= 4) {
            s.kind = ShapeKind::Polygon;
            for (int i = 0; i < n - 1; ++i)
                s.points.push_back(path.elementAt(i));
            s.fillRule = path.fillRule();
        } else if (lines && !closed && m_file->brush.style() == Qt::NoBrush) {
            s.kind = ShapeKind::Polyline;
            for (int i = 0; i < n; ++i)
                s.points.push_back(path.elementAt(i));
        } else {
            s.kind = ShapeKind::Path;
            s.path = path;
        }
    }
    DrawShape(s, m_file->pen, m_file->brush);
}

void EmfPaintEngine::drawPolygon(const QPointF* points, int count, PolygonDrawMode mode)
{
    if (count < 2)
        return;
    Shape s;
    s.markerCandidate = true;
    s.kind = mode == PolylineMode ? ShapeKind::Polyline : ShapeKind::Polygon;
    s.fillRule = mode == OddEvenMode ? Qt::OddEvenFill : Qt::WindingFill;
    s.points.assign(points, points + count);
    DrawShape(s, m_file->pen, mode == PolylineMode ? QBrush(Qt::NoBrush) : m_file->brush);
}

void EmfPaintEngine::drawLines(const QLineF* lines, int count)
{
    if (count <= 0)
        return;
    if (m_file->decoration.remaining > 0 && count == 1) {
        // Qt draws the underline and strike-out of a text item as lines of
        // their own; the font record already carries them.
        const QLineF& l = lines[0];
        const Decoration& d = m_file->decoration;
        if (l.y1() == l.y2() && l.y1() >= d.y0 && l.y1() <= d.y1 && std::fabs(std::min(l.x1(), l.x2()) - d.x0) <= 1.0 &&
            m_file->transform == d.t) {
            --m_file->decoration.remaining;
            return;
        }
    }
    Shape s;
    s.kind = ShapeKind::Lines;
    s.points.reserve(size_t(count) * 2);
    for (int i = 0; i < count; ++i) {
        s.points.push_back(lines[i].p1());
        s.points.push_back(lines[i].p2());
    }
    DrawShape(s, m_file->pen, QBrush(Qt::NoBrush));
}

void EmfPaintEngine::drawRects(const QRectF* rects, int count)
{
    for (int i = 0; i < count; ++i) {
        Shape s;
        s.kind = ShapeKind::Rect;
        s.rect = rects[i];
        s.markerCandidate = true;
        DrawShape(s, m_file->pen, m_file->brush);
    }
}

void EmfPaintEngine::drawEllipse(const QRectF& rect)
{
    Shape s;
    s.kind = ShapeKind::Ellipse;
    s.rect = rect;
    s.markerCandidate = true;
    DrawShape(s, m_file->pen, m_file->brush);
}

void EmfPaintEngine::drawPoints(const QPointF* points, int count)
{
    // A point is a dot of the pen's width in the pen's colour.
    if (m_file->pen.style() == Qt::NoPen || count <= 0)
        return;
    const Mapping& m = CurrentMapping();
    if (!m.valid && m.t.isAffine())
        return;
    const double size = m_file->pen.isCosmetic() ? std::max(1.0, m_file->pen.widthF()) / (m.valid ? m.scale : 1.0) : m_file->pen.widthF();
    const bool round = m_file->pen.capStyle() == Qt::RoundCap;
    for (int i = 0; i < count; ++i) {
        Shape s;
        s.kind = round ? ShapeKind::Ellipse : ShapeKind::Rect;
        s.rect = QRectF(points[i].x() - size / 2, points[i].y() - size / 2, size, size);
        s.markerCandidate = true;
        DrawShape(s, QPen(Qt::NoPen), m_file->pen.brush());
    }
}

void EmfPaintEngine::drawTextItem(const QPointF& p, const QTextItem& ti)
{
    m_file->decoration.remaining = 0;
    const QString text = ti.text();
    if (text.isEmpty() || m_file->pen.style() == Qt::NoPen)
        return;
    ResetMarkers();
    const QFont font = ti.font();
    const Mapping m = CurrentMapping();
    if (!m.valid && m.t.isAffine())
        return;
    QPaintDevice* device = const_cast<EmfDevice*>(&m_device);
    const QFontMetricsF fm(font, device);
    const double advance = fm.horizontalAdvance(text);
    const double width = ti.width() > 0 ? ti.width() : advance;
    const QRectF box(p.x(), p.y() - ti.ascent(), width, ti.ascent() + ti.descent());
    const QRectF dev = DeviceBounds(m, box, QPen(Qt::NoPen));
    if (dev.isEmpty())
        return;
    if (!m.valid || m_file->opacity < 1.0 || !PenExpressible(m_file->pen)) {
        const QBrush brush = m_file->pen.brush();
        Rasterize(dev, QPen(Qt::NoPen), brush, [&](QPainter& q) {
            QPainterPath path;
            path.addText(p, font, text);
            q.fillPath(path, brush);
        });
        return;
    }

    SyncClip();
    SyncWorld(m);
    SyncFont(font, m);
    SyncTextColor(m_file->pen.color().rgb());
    SyncBkMode(TRANSPARENT, 0);
    WriteText(text, p, TextPositions(text, fm, width), m, dev);
    AddBounds(dev);

    if (ti.renderFlags() & (QTextItem::Underline | QTextItem::StrikeOut)) {
        Decoration& d = m_file->decoration;
        d.remaining = (font.underline() ? 1 : 0) + (font.strikeOut() ? 1 : 0);
        d.x0 = std::floor(p.x());
        d.y0 = p.y() - ti.ascent();
        d.y1 = p.y() + ti.descent() + 1.0;
        d.t = m_file->transform;
    }
}

void EmfPaintEngine::SyncFont(const QFont& font, const Mapping& m)
{
    // Face, em height in logical units, weight and styles.
    const double px = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * m_device.Dpi() / 72.0;
    const std::int32_t height = -std::max<std::int32_t>(1, ClampCoord(px * m.k));
    const QString face = font.family().left(LF_FACESIZE - 1);
    const auto weight = std::uint32_t(std::clamp(int(font.weight()), 1, 1000));
    const std::uint8_t italic = font.italic() ? 1 : 0;
    const std::uint8_t underline = font.underline() ? 1 : 0;
    const std::uint8_t strikeOut = font.strikeOut() ? 1 : 0;
    const std::uint8_t quality = (m_file->hints & QPainter::TextAntialiasing) ? ANTIALIASED_QUALITY : 0;
    QByteArray key;
    for (std::uint32_t v : {std::uint32_t(height), weight, std::uint32_t(italic), std::uint32_t(underline),
                            std::uint32_t(strikeOut), std::uint32_t(quality)})
        key.append(reinterpret_cast<const char*>(&v), 4);
    PutUtf16(key, face);
    Selected& sel = m_file->selected[kFont];
    if (sel.valid && sel.key == key)
        return;
    RecordWriter& w = m_file->writer;
    const std::uint32_t handle = w.AllocateHandle();
    w.Begin(EMR_EXTCREATEFONTINDIRECTW);
    w.U32(handle);
    w.I32(height);
    w.I32(0); // width: the face's own
    w.I32(0); // escapement and orientation: rotation is the world's
    w.I32(0);
    w.U32(weight);
    w.U8(italic);
    w.U8(underline);
    w.U8(strikeOut);
    w.U8(DEFAULT_CHARSET);
    w.U8(0); // out precision
    w.U8(0); // clip precision
    w.U8(quality);
    w.U8(0); // pitch and family
    auto writeName = [&](const QString& name, int chars) {
        const QString t = name.left(chars - 1);
        w.Raw(reinterpret_cast<const char*>(t.utf16()), t.size() * 2);
        w.Zeros((chars - t.size()) * 2);
    };
    writeName(face, LF_FACESIZE);
    writeName(face, LF_FULLFACESIZE); // full name
    writeName(QString(), LF_FACESIZE); // style
    w.Zeros(kLogFontPanoseSize - kLogFontWSize - 2 * LF_FULLFACESIZE - 2 * LF_FACESIZE);
    w.End();
    SelectObject(kFont, handle, true);
    sel.key = key;
}

void EmfPaintEngine::SyncTextColor(QRgb color)
{
    if (m_file->fileTextColorKnown && m_file->fileTextColor == color)
        return;
    RecordWriter& w = m_file->writer;
    w.Begin(EMR_SETTEXTCOLOR);
    w.U32(ColorRef(color));
    w.End();
    m_file->fileTextColor = color;
    m_file->fileTextColorKnown = true;
}

std::vector<double> EmfPaintEngine::TextPositions(const QString& text, const QFontMetricsF& fm, double width)
{
    // Where each UTF-16 unit ends, scaled to the width Qt laid out; the
    // second unit of a surrogate pair advances by nothing. A short text is
    // measured by its prefixes (kerning included), a long one unit by unit.
    const qsizetype n = text.size();
    std::vector<double> pos(size_t(n) + 1, 0.0);
    if (n <= 256) {
        for (qsizetype i = 1; i <= n; ++i) {
            const bool inPair = i < n && text.at(i - 1).isHighSurrogate() && text.at(i).isLowSurrogate();
            pos[size_t(i)] = inPair ? -1.0 : fm.horizontalAdvance(text.left(i));
        }
        for (qsizetype i = n - 1; i >= 1; --i)
            if (pos[size_t(i)] < 0)
                pos[size_t(i)] = pos[size_t(i) + 1];
    } else {
        for (qsizetype i = 0; i < n; ++i) {
            const bool pair = i + 1 < n && text.at(i).isHighSurrogate() && text.at(i + 1).isLowSurrogate();
            const double adv = pair ? fm.horizontalAdvance(text.mid(i, 2)) : fm.horizontalAdvance(text.at(i));
            pos[size_t(i) + 1] = pos[size_t(i)] + adv;
            if (pair) {
                ++i;
                pos[size_t(i) + 1] = pos[size_t(i)];
            }
        }
    }
    const double fit = pos[size_t(n)] > 0 ? width / pos[size_t(n)] : 1.0;
    for (double& x : pos)
        x *= fit;
    return pos;
}

void EmfPaintEngine::WriteText(const QString& text, const QPointF& origin, const std::vector<double>& pos,
                               const Mapping& m, const QRectF& dev)
{
    RecordWriter& w = m_file->writer;
    const qsizetype n = text.size();
    const QPoint ref = Logical(origin, m);
    const std::uint32_t stringBytes = std::uint32_t(n) * 2;
    const std::uint32_t offString = kExtTextOutWHeadSize;
    const std::uint32_t offDx = offString + ((stringBytes + 3) & ~3u);
    w.Begin(EMR_EXTTEXTOUTW);
    w.Rect(DeviceRectL(dev));
    w.U32(GM_ADVANCED);
    w.F32(0.f); // scales: used only in the compatible graphics mode
    w.F32(0.f);
    w.I32(ref.x());
    w.I32(ref.y());
    w.U32(std::uint32_t(n));
    w.U32(offString);
    w.U32(0); // options
    w.Rect(RectL{0, 0, -1, -1});
    w.U32(offDx);
    w.Raw(reinterpret_cast<const char*>(text.utf16()), qsizetype(stringBytes));
    w.Zeros(qsizetype(offDx - offString - stringBytes));
    // Advances in whole logical units that add up to the rounded positions.
    std::int32_t done = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const std::int32_t next = ClampCoord(pos[size_t(i) + 1] * m.k);
        w.I32(next - done);
        done = next;
    }
    w.End();
}

void EmfPaintEngine::drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr)
{
    drawImage(r, pm.toImage(), sr, Qt::AutoColor);
}

void EmfPaintEngine::drawImage(const QRectF& r, const QImage& image, const QRectF& sr, Qt::ImageConversionFlags)
{
    m_file->decoration.remaining = 0;
    ResetMarkers();
    if (image.isNull() || r.isEmpty())
        return;
    const Mapping m = CurrentMapping();
    if (!m.valid) {
        if (m.t.isAffine())
            return;
        // A perspective: only a bitmap of the result can show it.
        Rasterize(m.t.mapRect(r).intersected(ClipBounds()), QPen(Qt::NoPen), QBrush(Qt::NoBrush),
                  [&](QPainter& p) { p.drawImage(r, image, sr); });
        return;
    }
    const QRect src = sr.toAlignedRect().intersected(image.rect());
    if (src.isEmpty() || !(sr.width() > 0) || !(sr.height() > 0))
        return;
    // Whole source pixels: the destination follows the rounding of the source.
    const double sx = r.width() / sr.width(), sy = r.height() / sr.height();
    const QRectF dest(r.x() + (src.x() - sr.x()) * sx, r.y() + (src.y() - sr.y()) * sy, src.width() * sx,
                      src.height() * sy);
    EmitImage(dest, src == image.rect() ? image : image.copy(src), m, m_file->opacity);
}
