#pragma once
// The chart document: one chart with a title, a subtitle, a bottom and a left
// axis, a back wall, a border, a shadow and its series. Every setter that
// changes what is drawn tells the chart, which emits Changed() so that views
// repaint without being asked. Nothing here depends on widgets.

#include "Colors.h"

#include <QFlags>
#include <QImage>
#include <QList>
#include <QObject>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

class Metafile;
class QColor;
class QPainter;
class TChartModel;

enum TPenStyle { psSolid = 0, psDash = 1, psDot = 2, psDashDot = 3, psDashDotDot = 4 };
enum TSeriesPointerStyle { psRectangle = 0, psCircle = 1, psTriangle = 2, psDiamond = 7 };
enum TAlignment { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };
enum TFontStyle { fsBold = 0x1, fsItalic = 0x2, fsUnderline = 0x4, fsStrikeOut = 0x8 };
Q_DECLARE_FLAGS(TFontStyles, TFontStyle)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFontStyles)
enum TChartValueOrder { loNone = 0, loAscending = 1, loDescending = 2 };

// Something owned by the chart that reports its changes to it.
class TChartPart {
public:
    explicit TChartPart(TChartModel* owner) : m_owner(owner) {}
    TChartPart(const TChartPart&) = delete;
    TChartPart& operator=(const TChartPart&) = delete;

protected:
    void Changed() const;
    TChartModel* m_owner;
};

// A font as the chart's texts use it: face, size in points, colour, styles.
class TChartFont : public TChartPart {
public:
    TChartFont(TChartModel* owner, QString name, int size, TColor color, TFontStyles style = {});
    QString Name() const { return m_name; }
    void SetName(const QString& v);
    int Size() const { return m_size; }
    void SetSize(int v);
    TColor Color() const { return m_color; }
    void SetColor(TColor v);
    TFontStyles Style() const { return m_style; }
    void SetStyle(TFontStyles v);
    // The font to draw with, at the given device resolution.
    QFont ToQFont() const;

private:
    QString m_name;
    int m_size;
    TColor m_color;
    TFontStyles m_style;
};

// The lines of a title: cleared and added one by one, drawn one under another.
class TChartStrings : public TChartPart {
public:
    using TChartPart::TChartPart;
    void Clear();
    void Add(const QString& line);
    int Count() const { return int(m_lines.size()); }
    QString Strings(int i) const { return m_lines.at(i); }
    const QStringList& Lines() const { return m_lines; }
    // All lines joined with line feeds.
    QString Text() const { return m_lines.join(u'\n'); }

private:
    QStringList m_lines;
};

class TChartTitle : public TChartPart {
public:
    TChartTitle(TChartModel* owner, const QString& firstLine, int fontSize);
    TChartStrings& Text() { return m_text; }
    const TChartStrings& Text() const { return m_text; }
    TChartFont& Font() { return m_font; }
    const TChartFont& Font() const { return m_font; }
    TAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TAlignment v);
    bool Visible() const { return m_visible; }
    void SetVisible(bool v);

private:
    TChartStrings m_text;
    TChartFont m_font;
    TAlignment m_alignment = taCenter;
    bool m_visible = true;
};

class TChartAxisTitle : public TChartPart {
public:
    explicit TChartAxisTitle(TChartModel* owner);
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& v);
    TChartFont& Font() { return m_font; }
    const TChartFont& Font() const { return m_font; }

private:
    QString m_caption;
    TChartFont m_font;
};

class TChartAxis : public TChartPart {
public:
    TChartAxis(TChartModel* owner, bool horizontal);

    bool Horizontal() const { return m_horizontal; }

    // True: the range follows the data of every series at each redraw and is
    // stored in Minimum/Maximum. False: Minimum/Maximum are shown as they are.
    bool Automatic() const { return m_automatic; }
    void SetAutomatic(bool v);
    bool AutomaticMinimum() const { return m_automaticMinimum; }
    bool AutomaticMaximum() const { return m_automaticMaximum; }

    double Minimum() const;
    double Maximum() const;
    // Refused with AxisException when the bound crosses the other one.
    void SetMinimum(double v);
    void SetMaximum(double v);
    // Manual range, both bounds in one step; never refused.
    void SetMinMax(double min, double max);

    // Step between labels; 0 lets the axis choose. Negative is refused.
    double Increment() const { return m_increment; }
    void SetIncrement(double v);

    TChartAxisTitle& Title() { return m_title; }
    const TChartAxisTitle& Title() const { return m_title; }
    TChartFont& LabelsFont() { return m_labelsFont; }
    const TChartFont& LabelsFont() const { return m_labelsFont; }
    QString AxisValuesFormat() const { return m_valuesFormat; }

    // Brings an automatic axis up to date with the data. `lengthPx` is the
    // axis length on the device, used to leave room for markers at the ends.
    void UpdateAutomaticRange(int lengthPx) const;

private:
    bool m_horizontal;
    bool m_automatic = true;
    bool m_automaticMinimum = true;
    bool m_automaticMaximum = true;
    mutable double m_minimum = 0.0;
    mutable double m_maximum = 0.0;
    mutable int m_lastLengthPx = 0;
    double m_increment = 0.0;
    TChartAxisTitle m_title;
    TChartFont m_labelsFont;
    QString m_valuesFormat = QStringLiteral("#,##0.###");
};

class TSeriesPointer : public TChartPart {
public:
    TSeriesPointer(TChartModel* owner, bool visible, TSeriesPointerStyle style);
    bool Visible() const { return m_visible; }
    void SetVisible(bool v);
    TSeriesPointerStyle Style() const { return m_style; }
    void SetStyle(TSeriesPointerStyle v);
    // Half extents in pixels: a marker covers 2 * size + 1 pixels.
    int HorizSize() const { return m_horizSize; }
    int VertSize() const { return m_vertSize; }
    void SetHorizSize(int v);
    void SetVertSize(int v);
    // Both extents at once; values below 1 are taken as 1.
    void SetSize(int v);
    bool InflateMargins() const { return m_inflateMargins; }
    void SetInflateMargins(bool v);

private:
    bool m_visible;
    TSeriesPointerStyle m_style;
    int m_horizSize = 4;
    int m_vertSize = 4;
    bool m_inflateMargins = true;
};

class TChartPen : public TChartPart {
public:
    using TChartPart::TChartPart;
    TPenStyle Style() const { return m_style; }
    void SetStyle(TPenStyle v);
    int Width() const { return m_width; }
    // A negative width is ignored.
    void SetWidth(int v);
    bool Visible() const { return m_visible; }
    void SetVisible(bool v);

private:
    TPenStyle m_style = psSolid;
    int m_width = 1;
    bool m_visible = true;
};

// The name and order of one of a series' value lists.
struct TChartValueList {
    QString Name;
    TChartValueOrder Order;
};

// A series keeps its points ordered by X (equal X in the order added). The
// values live in two shared arrays in the order they were added, plus an
// order index when that differs from X order, so a bulk add of a large table
// shares the caller's arrays instead of copying them. A bulk add leaves the
// index to be worked out when something first asks for a point by its
// place in X order (XValue, a single AddXY, drawing a line or points of
// their own colours); drawing plain markers needs no order, so plotting a
// large table never sorts it. Once worked out, the order is kept until the
// points change.
class TChartSeries : public TChartPart {
public:
    TChartSeries(TChartModel* owner, QString name);
    virtual ~TChartSeries() = default;

    QString Name() const { return m_name; }

    void Clear();
    // Adds one point so that X stays ascending; returns its index.
    int AddXY(double x, double y, const QString& label = QString(), TColor color = clSeriesColor);
    // The same as AddXY for every pair in turn, with the series' colour and no
    // label, but shares the arrays and sorts once.
    void AddXYs(const QList<double>& xs, const QList<double>& ys);
    // The same, for a caller that has taken the range of xs and ys already
    // (smallest and largest in order, the first of equal values kept, as
    // XRange and YRange find them); an empty series keeps it instead of
    // reading the arrays once more.
    struct KnownRange {
        double xMin, xMax, yMin, yMax;
    };
    void AddXYs(const QList<double>& xs, const QList<double>& ys, const KnownRange& range);

    qsizetype Count() const { return qsizetype(m_x.size()); }
    double XValue(qsizetype i) const { return m_x[Slot(i)]; }
    double YValue(qsizetype i) const { return m_y[Slot(i)]; }
    QString Label(qsizetype i) const;
    // The colour of point i as stored (clSeriesColor unless one was given).
    TColor ValueColor(qsizetype i) const;

    bool Active() const { return m_active; }
    void SetActive(bool v);
    TColor SeriesColor() const { return m_color; }
    void SetSeriesColor(TColor v);
    bool HasColor() const { return m_hasColor; }

    TSeriesPointer& Pointer() { return m_pointer; }
    const TSeriesPointer& Pointer() const { return m_pointer; }
    TChartPen& LinePen() { return m_linePen; }
    const TChartPen& LinePen() const { return m_linePen; }
    bool DrawsLine() const { return m_drawsLine; }
    bool ShowInLegend() const { return false; }
    const TChartValueList& XValues() const { return m_xValues; }
    const TChartValueList& YValues() const { return m_yValues; }

    // The data range, cached between changes. False when empty.
    bool XRange(double& min, double& max) const;
    bool YRange(double& min, double& max) const;

    // Raw access for drawing: values in the order they were added, and the
    // X order over them (empty when the two coincide).
    const QList<double>& RawX() const { return m_x; }
    const QList<double>& RawY() const { return m_y; }
    const std::vector<std::uint32_t>& XOrder() const
    {
        EnsureOrder();
        return m_order;
    }
    // Whether the X order has been worked out (true for an empty series).
    bool OrderKnown() const { return m_orderKnown; }
    bool HasPointColors() const { return !m_colors.empty(); }

    // What a renderer works out from the points and may keep until they
    // change (the distinct marker positions of the last layout drawn). Any
    // change to the points drops it.
    struct RenderCache {
        virtual ~RenderCache() = default;
    };
    RenderCache* Cache() const { return m_cache.get(); }
    void SetCache(std::unique_ptr<RenderCache> cache) const { m_cache = std::move(cache); }

protected:
    void SetDrawsLine(bool v) { m_drawsLine = v; }

private:
    friend class TChartModel;
    qsizetype Slot(qsizetype i) const
    {
        EnsureOrder();
        return m_order.empty() ? i : qsizetype(m_order[size_t(i)]);
    }
    void EnsureOrder() const
    {
        if (!m_orderKnown)
            ComputeOrder();
    }
    void ComputeOrder() const;
    // Turns shared storage into sorted storage of our own, so single points
    // can be inserted in place.
    void MakeSortedOwn();
    void Invalidate();

    QString m_name;
    QList<double> m_x, m_y;
    // X order over m_x / m_y; empty when they are in X order already.
    mutable std::vector<std::uint32_t> m_order;
    mutable bool m_orderKnown = true;
    std::vector<QString> m_labels; // empty unless a label was given
    std::vector<TColor> m_colors;  // empty unless a colour was given
    bool m_active = true;
    TColor m_color = clBlack;
    bool m_hasColor = false;
    bool m_drawsLine = false;
    TSeriesPointer m_pointer;
    TChartPen m_linePen;
    TChartValueList m_xValues{QStringLiteral("X"), loAscending};
    TChartValueList m_yValues{QStringLiteral("Y"), loNone};
    mutable bool m_rangeValid = false;
    mutable double m_xmin = 0, m_xmax = 0, m_ymin = 0, m_ymax = 0;
    mutable std::unique_ptr<RenderCache> m_cache;
};

class TPointSeries : public TChartSeries {
public:
    TPointSeries(TChartModel* owner, QString name);
};

class TLineSeries : public TChartSeries {
public:
    TLineSeries(TChartModel* owner, QString name);
};

// The background picture of the plot area: none, a bitmap or a metafile,
// drawn stretched over the area.
class TChartPicture : public TChartPart {
public:
    using TChartPart::TChartPart;
    bool Empty() const { return m_image.isNull() && !m_vector; }
    void Clear();
    void SetImage(const QImage& image);
    void SetVector(std::shared_ptr<const Metafile> picture);
    // Loads a picture file; the decoder comes from the loader set on the
    // chart (see TChartModel::SetPictureLoader).
    void LoadFromFile(const QString& path);
    const QImage& Image() const { return m_image; }
    const Metafile* Vector() const { return m_vector.get(); }

    // Plays the metafile stretched over `target`, over ground of the opaque
    // colour `beneath`. On a raster device (the screen, an image) the
    // played pixels are kept per target place and size in device pixels,
    // device pixel ratio and colour beneath, the last two kept: a repaint,
    // an expose, an export at the same size or a restyle that leaves the
    // plot area alone draws them without playing the file again, pixel for
    // pixel as played. Any other device (a metafile export), a rotated
    // target, a colour that is not opaque or more than 64 MB of pixels gets
    // the file played onto it each time. Drawing happens on one thread.
    void PlayVector(QPainter& painter, const QRectF& target, const QColor& beneath) const;
    // How many times metafile pictures were played, all of them together
    // (for tests).
    static quint64 Plays();

private:
    struct Played {
        QRectF device; // where the target lands, in device pixels
        qreal ratio = 0;
        QRgb beneath = 0;
        QImage image;
    };
    void ForgetPlayed();

    QImage m_image;
    std::shared_ptr<const Metafile> m_vector;
    mutable Played m_played[2]; // the latest first
};

class TChartWall : public TChartPart {
public:
    explicit TChartWall(TChartModel* owner);
    TColor Color() const { return m_color; }
    void SetColor(TColor v);
    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool v);
    TChartPicture& Picture() { return m_picture; }
    const TChartPicture& Picture() const { return m_picture; }

private:
    TColor m_color = clSilver;
    bool m_transparent = true;
    TChartPicture m_picture;
};

class TChartWalls {
public:
    explicit TChartWalls(TChartModel* owner) : m_back(owner) {}
    TChartWall& Back() { return m_back; }
    const TChartWall& Back() const { return m_back; }

private:
    TChartWall m_back;
};

class TChartBorder : public TChartPart {
public:
    using TChartPart::TChartPart;
    bool Visible() const { return m_visible; }
    void SetVisible(bool v);

private:
    bool m_visible = false;
};

class TChartShadow : public TChartPart {
public:
    using TChartPart::TChartPart;
    bool Visible() const { return m_visible; }
    void SetVisible(bool v);
    int HorizSize() const { return m_horizSize; }
    void SetHorizSize(int v);
    int VertSize() const { return m_vertSize; }
    void SetVertSize(int v);
    TColor Color() const { return m_color; }
    // Percent of transparency.
    int Transparency() const { return m_transparency; }

private:
    bool m_visible = false;
    int m_horizSize = 10;
    int m_vertSize = 10;
    TColor m_color = clSilver;
    int m_transparency = 50;
};

class TChartModel : public QObject {
    Q_OBJECT
public:
    // Decodes a picture file into the back wall's picture, or throws.
    using PictureLoader = void (*)(const QString& path, TChartPicture& into);

    explicit TChartModel(QObject* parent = nullptr);
    ~TChartModel() override;

    TChartTitle& Title() { return m_title; }
    const TChartTitle& Title() const { return m_title; }
    TChartTitle& SubTitle() { return m_subTitle; }
    const TChartTitle& SubTitle() const { return m_subTitle; }
    TChartAxis& LeftAxis() { return m_leftAxis; }
    const TChartAxis& LeftAxis() const { return m_leftAxis; }
    TChartAxis& BottomAxis() { return m_bottomAxis; }
    const TChartAxis& BottomAxis() const { return m_bottomAxis; }
    TChartWalls& Walls() { return m_walls; }
    const TChartWalls& Walls() const { return m_walls; }
    TChartBorder& Border() { return m_border; }
    const TChartBorder& Border() const { return m_border; }
    TChartShadow& Shadow() { return m_shadow; }
    const TChartShadow& Shadow() const { return m_shadow; }

    TColor Color() const { return m_color; }
    void SetColor(TColor v);
    // How much larger than their point sizes the chart's texts are drawn:
    // the window's zoom, so the chart reads as large as the controls beside
    // it. Not a setting of the chart itself; at least a hundredth.
    double TextScale() const { return m_textScale; }
    void SetTextScale(double v);
    bool View3D() const { return false; }
    int ColorPaletteIndex() const { return 13; }
    static const std::vector<TColor>& Palette();

    // Adds a series that the chart owns; a series without a colour of its
    // own takes the first free palette colour.
    template <class S>
    S* AddSeries(const QString& name)
    {
        auto* s = new S(this, name);
        Adopt(s);
        return s;
    }
    int SeriesCount() const { return int(m_series.size()); }
    TChartSeries* Series(int i) const { return m_series.at(size_t(i)).get(); }

    static void SetPictureLoader(PictureLoader loader);
    static PictureLoader GetPictureLoader();

    // Called by every part after a change.
    void NotifyChanged();

signals:
    void Changed();

private:
    void Adopt(TChartSeries* s);
    TColor FreePaletteColor() const;

    TColor m_color = clBtnFace;
    double m_textScale = 1.0;
    TChartTitle m_title;
    TChartTitle m_subTitle;
    TChartAxis m_leftAxis;
    TChartAxis m_bottomAxis;
    TChartWalls m_walls;
    TChartBorder m_border;
    TChartShadow m_shadow;
    std::vector<std::unique_ptr<TChartSeries>> m_series;
};
