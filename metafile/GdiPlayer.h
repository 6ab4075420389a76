#pragma once
// The drawing state machine both metafile kinds replay into: a device
// context with its object table, pens, brushes, fonts, mapping modes,
// transforms, paths, clipping and saved states, drawing onto a QPainter.
//
// Coordinates come in as the records give them (logical units). They pass
// the world transform, then the page transform (window to viewport), into
// the picture's device space; a base transform maps device space onto the
// caller's target rectangle. Paths and the clip region are kept in device
// space, as the format defines them.
//
// Everything that costs time or memory is charged to a budget (see Budget
// below) before it is paid. Once it is spent the rest of the picture is not
// drawn, so a small hostile file cannot keep the program busy for minutes.

#include "Dib.h"

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPolygonF>
#include <QRegion>
#include <QString>
#include <QTransform>

#include <chrono>
#include <cstdint>
#include <memory>
#include <set>
#include <variant>
#include <vector>

class QBrush;
class QFont;
class QPainter;
class QPen;

namespace metafile {

// GDI constants both formats share (values as the formats define them).
namespace gdi {
enum MapMode { MM_TEXT = 1, MM_LOMETRIC, MM_HIMETRIC, MM_LOENGLISH, MM_HIENGLISH, MM_TWIPS, MM_ISOTROPIC, MM_ANISOTROPIC };
enum BkMode { TRANSPARENT = 1, OPAQUE = 2 };
enum PolyFill { ALTERNATE = 1, WINDING = 2 };
enum TextAlign : std::uint32_t {
    TA_UPDATECP = 1, TA_RIGHT = 2, TA_CENTER = 6, TA_BOTTOM = 8, TA_BASELINE = 24, TA_RTLREADING = 256,
};
enum ExtTextOut : std::uint32_t {
    ETO_OPAQUE = 0x2, ETO_CLIPPED = 0x4, ETO_GLYPH_INDEX = 0x10, ETO_RTLREADING = 0x80,
    ETO_NO_RECT = 0x100, ETO_SMALL_CHARS = 0x200, ETO_PDY = 0x2000,
};
enum PenStyle : std::uint32_t {
    PS_SOLID = 0, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME, PS_USERSTYLE, PS_ALTERNATE,
    PS_STYLE_MASK = 0xF, PS_ENDCAP_SQUARE = 0x100, PS_ENDCAP_FLAT = 0x200, PS_ENDCAP_MASK = 0xF00,
    PS_JOIN_BEVEL = 0x1000, PS_JOIN_MITER = 0x2000, PS_JOIN_MASK = 0xF000, PS_GEOMETRIC = 0x10000,
};
enum BrushStyle : std::uint32_t { BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2, BS_PATTERN = 3, BS_DIBPATTERN = 5, BS_DIBPATTERNPT = 6 };
enum RegionMode { RGN_AND = 1, RGN_OR, RGN_XOR, RGN_DIFF, RGN_COPY };
enum ArcDirection { AD_COUNTERCLOCKWISE = 1, AD_CLOCKWISE = 2 };
enum Rop3 : std::uint32_t {
    SRCCOPY = 0x00CC0020, SRCPAINT = 0x00EE0086, SRCAND = 0x008800C6, SRCINVERT = 0x00660046,
    SRCERASE = 0x00440328, NOTSRCCOPY = 0x00330008, NOTSRCERASE = 0x001100A6, MERGECOPY = 0x00C000CA,
    MERGEPAINT = 0x00BB0226, PATCOPY = 0x00F00021, PATPAINT = 0x00FB0A09, PATINVERT = 0x005A0049,
    DSTINVERT = 0x00550009, BLACKNESS = 0x00000042, WHITENESS = 0x00FF0062,
};

// A COLORREF (0x00BBGGRR) as a colour.
inline QColor ColorRef(std::uint32_t c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// A number as the refusal messages show offsets and record types.
inline QString Hex(std::uint64_t v)
{
    return QStringLiteral("0x") + QString::number(v, 16).toUpper();
}
} // namespace gdi

struct Pen {
    std::uint32_t style = gdi::PS_SOLID; // the style word with its cap, join and type bits
    double width = 0;                    // logical units
    bool cosmetic = true;                // always one pixel wide
    QColor color = Qt::black;
    std::vector<double> dashes;          // user style entries, logical units
    bool Null() const { return (style & gdi::PS_STYLE_MASK) == gdi::PS_NULL; }
};

struct Brush {
    std::uint32_t style = gdi::BS_SOLID;
    QColor color = Qt::white;
    unsigned hatch = 0;
    QImage pattern; // BS_DIBPATTERN(PT)
};

struct Font {
    double height = 0; // < 0: character height, > 0: cell height, 0: default
    double width = 0;
    double escapement = 0; // tenths of a degree, counter-clockwise
    int weight = 0;
    bool italic = false, underline = false, strikeOut = false;
    unsigned charset = 1; // DEFAULT_CHARSET
    unsigned pitchAndFamily = 0;
    QString face;
};

// A region object of the WMF table, kept in logical units.
struct Region {
    QPainterPath path;
};
struct Placeholder {}; // an object of a kind that is not drawn (palettes, colour spaces)

using GdiObject = std::variant<std::monostate, Pen, Brush, Font, Region, Placeholder>;

// What one play may spend. A picture is a file from anywhere, played at
// every drawing of the chart: one play must stay within about 0.5 s and
// 256 MB on a current desktop machine (Release build), whatever the file
// asks for. The rule is "charge before you draw": every drawing works out
// what it will cost, in the units below, on its first line, and returns
// without drawing when the budget cannot pay; once anything was refused the
// rest of the picture is skipped and what was drawn so far stays. The
// numbers are named here and nowhere else.
struct Budget {
    // Work, in units of about 30 ns of this machine: a point read and
    // transformed costs one; clip arithmetic, rasterising crossing edges,
    // shaping glyphs and decoding bitmaps are charged in the same units by
    // the rules beside them. The whole is about a quarter of a second, so
    // a cost misjudged twice over still fits.
    static constexpr std::int64_t kWork = std::int64_t(1) << 23;
    // Memory held at one time, in bytes: the object table (pattern
    // bitmaps, regions), the states saved by SaveDC, the clip, and the one
    // bitmap being drawn. The rest of 256 MB is the painter's and Qt's.
    static constexpr std::int64_t kHeldBytes = std::int64_t(160) << 20;
    // Decoded bitmap pixels over the whole play (time, not memory: each is
    // written fresh, about 12 ns). Drawing a bitmap costs a work unit per
    // source pixel on top.
    static constexpr std::int64_t kPixels = std::int64_t(1) << 24;
    // Painted area, as a multiple of the target's area (at least 4 M pixels).
    static constexpr double kAreaTimes = 64;
    static constexpr double kMinArea = double(1 << 22);
    // The last guard: a play that is still running after this long stops
    // drawing, whatever the charges said.
    static constexpr double kDeadlineSeconds = 0.5;

    std::int64_t points = kWork;  // work left
    std::int64_t pixels = kPixels;
    std::int64_t held = 0;        // bytes held now
    double area = 0;              // painted target pixels left (set from the target's size)
    bool spent = false;
};

class GdiPlayer {
public:
    // `base` maps the picture's device space onto the painter's current
    // coordinates. The reference device's size in pixels and millimetres
    // serves the fixed mapping modes. `universe` is a device-space rectangle
    // that stands in for "everything" in clip arithmetic. For a WMF the
    // viewport is the player's: `wmfViewport` is the device rectangle the
    // window maps onto, and the viewport records are ignored.
    struct Setup {
        QTransform base;
        QRectF target;            // in painter coordinates, for the area budget and dash limits
        QSizeF devicePixels{1, 1};   // the reference device, for the fixed mapping modes
        QSizeF deviceMm{25.4 / 96, 25.4 / 96};
        QRectF universe;
        bool wmf = false;
        QRectF wmfViewport;
        QRectF wmfWindow;         // the initial window of a WMF
        // Measure instead of drawing: nothing is painted (the painter is
        // not touched) and Measured() collects the painted bounds.
        bool measure = false;
    };
    GdiPlayer(QPainter& painter, const Setup& setup);
    ~GdiPlayer();
    GdiPlayer(const GdiPlayer&) = delete;
    GdiPlayer& operator=(const GdiPlayer&) = delete;

    Budget& GetBudget() { return m_budget; }
    // In measuring mode: the union of everything drawn, in painter coordinates.
    QRectF Measured() const { return m_measured; }
    bool Spent() const { return m_budget.spent; }
    // Charges `points` geometry units; false (and the budget marked spent)
    // when it is exhausted.
    bool ChargePoints(std::int64_t points);
    bool ChargePixels(std::int64_t pixels);
    // Charges `work` when the budget can pay it; otherwise charges nothing
    // and leaves the budget unspent, for a caller that has a cheaper way.
    bool TryCharge(std::int64_t work);
    // Memory held from now on (object table, saved states) and given back.
    bool Hold(std::int64_t bytes);
    void Release(std::int64_t bytes);

    // --- object table
    static constexpr std::size_t kMaxObjects = 65536;
    // Stores an object at `index`; false when the index is beyond the cap.
    bool PutObject(std::size_t index, GdiObject object);
    void DeleteObject(std::size_t index);
    // Selects the object at `index`; false when there is none.
    bool SelectObject(std::size_t index);
    // The lowest free slot (WMF object numbering), or kMaxObjects.
    std::size_t FreeSlot() const;
    const GdiObject* Object(std::size_t index) const;
    void SelectPen(const Pen& pen);
    void SelectBrush(const Brush& brush);
    void SelectFont(const Font& font);
    void SelectStock(std::uint32_t stockIndex);
    const Brush& CurrentBrush() const;
    const Font& CurrentFont() const;

    // --- simple state
    void SetTextColor(QColor c);
    void SetBkColor(QColor c);
    void SetBkMode(int mode);
    void SetTextAlign(std::uint32_t align);
    void SetPolyFillMode(int mode);
    void SetRop2(int rop);
    void SetStretchMode(int mode);
    void SetArcDirection(int dir);
    void SetMiterLimit(double limit);
    void SetTextCharExtra(double extra);

    // --- mapping
    void SetMapMode(int mode);
    void SetWindowOrg(QPointF p);
    void SetWindowExt(QPointF e);
    void SetViewportOrg(QPointF p);
    void SetViewportExt(QPointF e);
    void OffsetWindowOrg(QPointF d);
    void OffsetViewportOrg(QPointF d);
    void ScaleWindowExt(double xNum, double xDen, double yNum, double yDen);
    void ScaleViewportExt(double xNum, double xDen, double yNum, double yDen);
    void SetWorldTransform(const QTransform& t);
    // mode: 1 identity, 2 left-multiply, 3 right-multiply, 4 set.
    void ModifyWorldTransform(const QTransform& t, int mode);
    // Logical to device space.
    QTransform LogicalToDevice() const;

    // --- saved states
    static constexpr int kMaxSaveDepth = 1024;
    void SaveDC();
    void RestoreDC(int which);

    // --- drawing, in logical units
    void MoveTo(QPointF p);
    void LineTo(QPointF p);
    void Polyline(const QPolygonF& pts);
    void PolylineTo(const QPolygonF& pts);
    void Polygon(const QPolygonF& pts);
    void PolyPolygon(const std::vector<QPolygonF>& polys);
    void PolyPolyline(const std::vector<QPolygonF>& polys);
    void PolyBezier(const QPolygonF& pts);
    void PolyBezierTo(const QPolygonF& pts);
    // types: 1 close figure flag, 2 line to, 4 bezier to, 6 move to.
    void PolyDraw(const QPolygonF& pts, const std::vector<std::uint8_t>& types);
    void Rectangle(const QRectF& r);
    void RoundRect(const QRectF& r, double cornerW, double cornerH);
    void Ellipse(const QRectF& r);
    enum class ArcKind { Arc, ArcTo, Chord, Pie };
    void Arc(const QRectF& box, QPointF start, QPointF end, ArcKind kind);
    void AngleArc(QPointF center, double radius, double startDeg, double sweepDeg);
    void SetPixel(QPointF p, QColor c);

    // --- paths
    void BeginPath();
    void EndPath();
    void AbortPath();
    void CloseFigure();
    void FillPath();
    void StrokePath();
    void StrokeAndFillPath();
    void SelectClipPath(int mode);
    void WidenPath();

    // --- clipping
    void IntersectClipRect(const QRectF& logical);
    void ExcludeClipRect(const QRectF& logical);
    // `deviceRegion` null: no clip (with RGN_COPY).
    void SelectClipRegion(const QPainterPath* deviceRegion, int mode);
    void OffsetClipRegion(QPointF logical);
    void FillRegion(const QPainterPath& deviceRegion, const Brush& brush);
    void FrameRegion(const QPainterPath& deviceRegion, const Brush& brush, double w, double h);

    // --- text
    struct Text {
        QPointF reference;          // logical
        QString text;
        std::vector<int> charBytes; // for ANSI text: how many dx entries each character spans
        std::vector<double> dx;     // logical advances, one per code unit or byte (may be empty)
        std::vector<double> dy;     // with ETO_PDY
        std::uint32_t options = 0;
        bool hasRect = false;
        QRectF rect;                // logical
    };
    void TextOut(const Text& t);

    // --- bitmaps
    // `src` is in image pixels (top-left origin), `dst` logical (width and
    // height may be negative to mirror).
    void DrawImage(const QImage& image, const QRectF& src, const QRectF& dst, std::uint32_t rop,
                   int constantAlpha = 255, QRgb transparent = 0, bool useTransparent = false);
    // A blit without a source: fills `dst` with the brush, black, white or
    // the inverse, as the raster operation says.
    void PatBlt(const QRectF& dst, std::uint32_t rop);
    // Fills `dst` (logical) with a horizontal or vertical gradient.
    void GradientRect(const QRectF& dst, QColor from, QColor to, bool vertical);
    void GradientTriangle(const QPolygonF& tri, QColor a, QColor b, QColor c);

    // Decoded bitmap pixels still allowed for one image.
    std::uint64_t MaxImagePixels() const;
    // Sets how many columns and rows of a bitmap whose `srcSize` pixels are
    // drawn onto `dst` (logical) one kept pixel stands for: drawn scaled
    // down, half the target's resolution more is all it needs.
    void SetImageSteps(const QRectF& dst, QSizeF srcSize, DibOptions& options) const;

private:
    struct State;
    struct Clip;
    QTransform PageTransform() const;
    QPen MakePen(const QTransform& toPainter, const QPainterPath& devicePath, bool deviceSpace) const;
    QBrush MakeBrush(const Brush& b, const QTransform& logicalToDevice) const;
    void DrawLogical(const QPainterPath& logical, bool fill, bool stroke);
    void DrawDevice(const QPainterPath& device, bool fill, bool stroke, const Brush* brush = nullptr);
    void DrawPath(bool fill, bool stroke);
    // Fills and strokes `path` (mapped by `toDevice`, then onto the painter).
    void Paint(const QPainterPath& path, const QTransform& toDevice, const QPen& pen, const QBrush& brush);
    void AppendToPath(const QPainterPath& logical);
    void Continue(const QPainterPath& logical);
    bool ChargeArea(const QRectF& painterRect);
    void SetUpClipGrid();
    void ApplyClip();
    static std::int64_t RowCost(const QPainterPath& path, const QTransform& toRows, int top, int bottom, double grow,
                                int edges, std::int64_t* crossings = nullptr);
    bool GridRegion(const QPainterPath& device, QRegion& out);
    void FillGridRegion(const QRegion& region, const Brush& brush);
    bool ClipToGridRegion(const QRegion& region);
    // Charges rasterising `path` (mapped by `toPainter`) filled, stroked
    // with a pen `penWidth` wide in painter pixels (< 0: a cosmetic pen),
    // or both.
    bool ChargeRaster(const QPainterPath& path, const QTransform& toPainter, bool fill, double penWidth);
    bool OverDeadline();
    void CombineClip(const QPainterPath& region, int mode);
    // Applies the clip before painting; false when nothing may be painted
    // (budget spent, or measuring: then `bounds` is collected instead).
    bool Prepare(const QRectF& bounds);
    QFont MakeFont(int pixelSize) const;
    struct TextLayout;
    void FillTextRect(const Text& t);
    bool LayOutText(const Text& t, const QTransform& logicalToDevice, TextLayout& out);
    bool ChooseFont(const Text& t, const QTransform& logicalToDevice, TextLayout& out) const;
    bool MeasureAdvances(const Text& t, const QTransform& logicalToDevice, TextLayout& out);
    bool PlaceText(TextLayout& out);
    bool ChargeGlyphs(TextLayout& layout, const QTransform& toPainter, std::int64_t perGlyph);
    QPainterPath GlyphOutlines(const TextLayout& layout) const;
    void DrawGlyphs(const TextLayout& layout);
    QPainterPath ArcPath(const QRectF& box, QPointF start, QPointF end, ArcKind kind, QPointF* arcStart,
                         QPointF* arcEnd) const;

    QPainter& m_painter;
    Setup m_setup;
    Budget m_budget;
    std::vector<GdiObject> m_objects;
    std::set<std::size_t> m_free; // empty slots below m_objects.size()
    std::unique_ptr<State> m_state;
    std::vector<State> m_saved;
    bool m_clipApplied = false;
    QTransform m_gridFromDevice, m_gridToPainter; // the clip grid (see GdiClip.cpp)
    QRect m_gridUniverse;
    std::chrono::steady_clock::time_point m_deadline;
    std::vector<std::int64_t> m_objectBytes; // held by each slot of the object table
    std::vector<std::int64_t> m_savedBytes;  // held by each saved state
    QRectF m_measured;
};

} // namespace metafile
