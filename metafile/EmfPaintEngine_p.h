#pragma once
// The paint engine behind EmfDevice; private to metafile/ (only EmfDevice.cpp
// includes it). It turns what a
// QPainter draws into enhanced metafile records: shapes as vector records,
// text as text records, pictures as bitmap records, and whatever the format
// cannot express (gradients, textures, perspective, translucent strokes) as
// a bitmap of just that primitive, so nothing is lost.
//
// Coordinates: the file maps 16 logical units to one device pixel, so
// geometry keeps sixteenth-pixel precision. The painter's transform becomes
// the file's world transform; the units written per user unit follow the
// transform's scale, so a tiny or huge scale keeps that precision too.
//
// Pens: one device pixel wide or less is the width-0 pen, with the shape it
// outlines written in whole pixels (one logical unit each), so readers that
// draw width 0 as one logical unit show a pixel too; wider pens are
// geometric pens in logical units. Dash patterns are written as the pieces
// of line they make, with the solid pen, since readers draw the format's
// dash styles each their own way.

#include "EmfRecordWriter.h"
#include "EmfRecords.h"

#include <QBrush>
#include <QFontMetricsF>
#include <QByteArray>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRectF>
#include <QTransform>

#include <functional>
#include <memory>
#include <vector>

class EmfDevice;

class EmfPaintEngine : public QPaintEngine {
public:
    // Logical units per device pixel.
    static constexpr int kUnitsPerPixel = 16;

    explicit EmfPaintEngine(const EmfDevice& device);
    ~EmfPaintEngine() override;

    bool begin(QPaintDevice* device) override;
    bool end() override;
    Type type() const override { return User; }
    void updateState(const QPaintEngineState& state) override;

    void drawPath(const QPainterPath& path) override;
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override;
    void drawLines(const QLineF* lines, int count) override;
    void drawRects(const QRectF* rects, int count) override;
    void drawEllipse(const QRectF& rect) override;
    void drawPoints(const QPointF* points, int count) override;
    void drawTextItem(const QPointF& p, const QTextItem& textItem) override;
    void drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr) override;
    void drawImage(const QRectF& r, const QImage& image, const QRectF& sr, Qt::ImageConversionFlags flags) override;

    // The last finished file (empty until end() has run once).
    const QByteArray& Data() const { return m_data; }

    // How the user space of the current transform is written to the file.
    struct Mapping {
        QTransform t;       // user units -> device pixels
        QTransform world;   // written units -> page units (16 per pixel)
        double k = kUnitsPerPixel; // written units per user unit
        double scale = 1.0;        // the transform's area scale, sqrt|det|
        bool valid = true;         // affine and invertible
        bool axisAligned = true;   // no rotation or shear
    };

    // One piece of the clip, in device pixels; the clip is their intersection.
    struct ClipPiece {
        bool isRect = true;
        QRectF rect;
        QPainterPath path;
        bool operator==(const ClipPiece& o) const
        {
            return isRect == o.isRect && (isRect ? rect == o.rect : path == o.path);
        }
    };

    // A marker already written at one device pixel of the current run.
    struct MarkerKey {
        std::uint64_t shape;
        std::int32_t x, y;
        bool operator==(const MarkerKey& o) const { return shape == o.shape && x == o.x && y == o.y; }
    };
    // The markers of one run: an open-addressing set, since a run can hold
    // one key for every pixel of the picture.
    class MarkerSet {
    public:
        // False when the key was already there.
        bool Insert(const MarkerKey& key);
        void Clear();
        bool Empty() const { return m_count == 0; }

    private:
        void Grow();
        std::vector<MarkerKey> m_keys;
        std::vector<std::uint8_t> m_used;
        size_t m_count = 0;
    };

private:
    enum class ShapeKind { Rect, Ellipse, Polygon, Polyline, Lines, Path };
    struct Shape;

    void DrawShape(const Shape& shape, const QPen& pen, const QBrush& brush);
    // One record (or path) per shape kind, with the objects it needs, in
    // the written units of `m`.
    void WriteShape(const Shape& shape, const QPen& pen, const QBrush& brush, const QRectF& dev);
    void WriteBox(const Shape& shape, const QPen& pen, const QBrush& brush, const Mapping& m, const QRectF& dev);
    void WritePolygon(const std::vector<QPointF>& points, Qt::FillRule rule, const QPen& pen, const QBrush& brush,
                      const Mapping& m, const emf::RectL& bounds);
    void WritePolyline(const std::vector<QPointF>& points, const QPen& pen, const Mapping& m,
                       const emf::RectL& bounds);
    void WriteLines(const std::vector<QPointF>& ends, const QPen& pen, const Mapping& m, const emf::RectL& bounds);
    void WritePath(const QPainterPath& path, const QPen& pen, const QBrush& brush, const Mapping& m,
                   const emf::RectL& bounds);
    // A shape with a dashed pen: its fill, then its outline's dashes as
    // lines of their own, drawn with the solid pen.
    void WriteDashed(const Shape& shape, const QPen& pen, const QBrush& brush, const Mapping& m, const QRectF& dev);
    // The lines a pen follows along the shape, in user units.
    std::vector<std::vector<QPointF>> StrokeLines(const Shape& shape) const;
    void WritePolyPolyline(const std::vector<std::vector<QPointF>>& lines, const Mapping& m,
                           const emf::RectL& bounds);
    // Polylines of `counts` points each, one after another in `pts`.
    void WritePolyPolyline(const std::vector<QPoint>& pts, const std::vector<std::uint32_t>& counts,
                           const emf::RectL& bounds);
    // Whether `pen` is at most one device pixel wide.
    static bool IsThin(const QPen& pen, const Mapping& m);
    // `m` written in whole device pixels: one logical unit per pixel.
    static Mapping PixelMapping(const Mapping& m);
    bool IsMarkerRepeat(const Shape& shape, const QRectF& dev);
    void ResetMarkers();
    void Rasterize(const QRectF& dev, const QPen& pen, const QBrush& brush, const std::function<void(QPainter&)>& draw);
    void EmitImage(const QRectF& dest, const QImage& image, const Mapping& m, double opacity);
    bool EmitTranslucentRect(const Shape& shape, const QBrush& brush, const QRectF& dev);

    // Device bounds of user-space `bounds` drawn with `pen`, clipped.
    QRectF DeviceBounds(const Mapping& m, const QRectF& bounds, const QPen& pen) const;
    QRectF ClipBounds() const;
    QPainterPath ClipPathDevice() const;
    void AddBounds(const QRectF& dev);
    emf::RectL DeviceRectL(const QRectF& dev) const;

    // Bring the file's state in line with what the next record needs.
    void SyncClip();
    void SyncWorld(const Mapping& m);
    void SyncPen(const QPen& pen, const Mapping& m);
    void SyncBrush(const QBrush& brush);
    void SyncBkMode(std::uint32_t mode, QRgb color);
    void SyncFillMode(Qt::FillRule rule);
    void SyncFont(const QFont& font, const Mapping& m);
    void SyncTextColor(QRgb color);
    void SyncStyledBackground(bool styled);
    void SyncPenAndBrush(const QPen& pen, const QBrush& brush, const Mapping& m);
    void SelectObject(int kind, std::uint32_t handleOrStock, bool owned);

    void WritePathBody(const QPainterPath& path, const Mapping& m, const emf::RectL& bounds);
    // Where each UTF-16 unit of `text` ends, in user units, so the whole
    // text spans `width`.
    static std::vector<double> TextPositions(const QString& text, const QFontMetricsF& fm, double width);
    void WriteText(const QString& text, const QPointF& origin, const std::vector<double>& pos, const Mapping& m,
                   const QRectF& dev);
    static bool FitsIn16Bits(const std::vector<QPoint>& pts);
    void WritePoints(const std::vector<QPoint>& pts, bool small);
    std::vector<QPoint> LogicalPoints(const std::vector<QPointF>& pts, const Mapping& m) const;
    void WritePoly(std::uint32_t type16, std::uint32_t type32, const std::vector<QPoint>& pts, const emf::RectL& bounds);
    void WriteHeader(emf::RecordWriter& w, std::uint32_t bytes, std::uint32_t records, std::uint16_t handles) const;
    QPoint Logical(const QPointF& user, const Mapping& m) const;
    const Mapping& CurrentMapping();
    static Mapping IdentityMapping();

    const EmfDevice& m_device;
    QByteArray m_data;

    struct Selected {
        QByteArray key;          // what the object is, to compare with
        std::uint32_t handle = 0; // owned handle, 0 for a stock object
        bool valid = false;
    };
    // Underline and strike-out lines that Qt draws after a text item whose
    // font record already carries them.
    struct Decoration {
        int remaining = 0;
        double x0 = 0, y0 = 0, y1 = 0;
        QTransform t;
    };

    // Everything one file builds up while a painter is active. begin() makes
    // it afresh, so nothing of one file reaches the next.
    struct FileState {
        emf::RecordWriter writer;
        QRectF deviceRect;
        QRectF bounds;

        // What the painter asks for.
        QPen pen;
        QBrush brush;
        QBrush bgBrush{Qt::white};
        Qt::BGMode bgMode = Qt::TransparentMode;
        QPointF brushOrigin;
        double opacity = 1.0;
        QPainter::RenderHints hints;
        QTransform transform;
        Mapping mapping;
        bool mappingDirty = true;
        bool clipEnabled = false;
        std::vector<ClipPiece> clip;
        QRectF clipBounds;
        bool clipBoundsDirty = true;

        // What the file holds.
        std::vector<ClipPiece> fileClip;
        QTransform fileWorld;
        Selected selected[3]; // pen, brush, font
        QPen lastPen;         // what SyncPen last made the selected pen from
        double lastPenScale = 0, lastPenK = 0;
        std::uint32_t fileBkMode = emf::TRANSPARENT; // begin() writes it
        QRgb fileBkColor = 0;
        bool fileBkColorKnown = false;
        std::uint32_t fileFillMode = emf::ALTERNATE; // the device context's own start value
        QRgb fileTextColor = 0;
        bool fileTextColorKnown = false;

        // Markers of the current run, drawn at most once per device pixel.
        MarkerSet markers;
        Decoration decoration;
    };
    std::unique_ptr<FileState> m_file; // null while no painter is active
};
