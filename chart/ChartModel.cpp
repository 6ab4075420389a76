#include "ChartModel.h"

#include "ChartFonts.h"
#include "Exceptions.h"
#include "Metafile.h"
#include "PictureLoader.h"
#include "StableOrder.h"

#include <QColor>
#include <QFont>
#include <QPaintEngine>
#include <QPainter>
#include <QRectF>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

namespace {

const QString kMinimumRefused = QStringLiteral("Axis Minimum Value must be <= Maximum");
const QString kMaximumRefused = QStringLiteral("Axis Maximum Value must be >= Minimum");
const QString kIncrementRefused = QStringLiteral("Axis increment must be >= 0");

TChartModel::PictureLoader g_pictureLoader = &LoadPictureFile;

template <class T>
bool Assign(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

// --- TChartPart ---------------------------------------------------------

void TChartPart::Changed() const
{
    if (m_owner)
        m_owner->NotifyChanged();
}

// --- TChartFont ---------------------------------------------------------

TChartFont::TChartFont(TChartModel* owner, QString name, int size, TColor color, TFontStyles style)
    : TChartPart(owner), m_name(std::move(name)), m_size(size), m_color(color), m_style(style)
{
}

void TChartFont::SetName(const QString& v)
{
    if (Assign(m_name, v))
        Changed();
}

void TChartFont::SetSize(int v)
{
    if (Assign(m_size, v))
        Changed();
}

void TChartFont::SetColor(TColor v)
{
    if (Assign(m_color, v))
        Changed();
}

void TChartFont::SetStyle(TFontStyles v)
{
    if (Assign(m_style, v))
        Changed();
}

QFont TChartFont::ToQFont() const
{
    QFont f = ChartFontFace(m_name);
    f.setPointSizeF(std::max(1, m_size));
    f.setBold(m_style.testFlag(fsBold));
    f.setItalic(m_style.testFlag(fsItalic));
    f.setUnderline(m_style.testFlag(fsUnderline));
    f.setStrikeOut(m_style.testFlag(fsStrikeOut));
    return f;
}

// --- TChartStrings / titles --------------------------------------------

void TChartStrings::Clear()
{
    if (m_lines.isEmpty())
        return;
    m_lines.clear();
    Changed();
}

void TChartStrings::Add(const QString& line)
{
    m_lines.append(line);
    Changed();
}

TChartTitle::TChartTitle(TChartModel* owner, const QString& firstLine, int fontSize)
    : TChartPart(owner), m_text(owner), m_font(owner, DefaultChartFontName(), fontSize, clBlue)
{
    m_text.Add(firstLine);
}

void TChartTitle::SetAlignment(TAlignment v)
{
    if (Assign(m_alignment, v))
        Changed();
}

void TChartTitle::SetVisible(bool v)
{
    if (Assign(m_visible, v))
        Changed();
}

TChartAxisTitle::TChartAxisTitle(TChartModel* owner)
    : TChartPart(owner), m_font(owner, DefaultChartFontName(), 9, clBlack)
{
}

void TChartAxisTitle::SetCaption(const QString& v)
{
    if (Assign(m_caption, v))
        Changed();
}

// --- TChartAxis ---------------------------------------------------------

TChartAxis::TChartAxis(TChartModel* owner, bool horizontal)
    : TChartPart(owner), m_horizontal(horizontal), m_title(owner),
      m_labelsFont(owner, DefaultChartFontName(), 8, clBlack)
{
}

void TChartAxis::SetAutomatic(bool v)
{
    if (!v && m_automatic)
        UpdateAutomaticRange(m_lastLengthPx); // keep the range shown last
    m_automaticMinimum = v;
    m_automaticMaximum = v;
    if (Assign(m_automatic, v))
        Changed();
}

double TChartAxis::Minimum() const
{
    if (m_automatic)
        UpdateAutomaticRange(m_lastLengthPx);
    return m_minimum;
}

double TChartAxis::Maximum() const
{
    if (m_automatic)
        UpdateAutomaticRange(m_lastLengthPx);
    return m_maximum;
}

void TChartAxis::SetMinimum(double v)
{
    const double max = Maximum();
    if (std::isnan(v) || v > max)
        throw AxisException(kMinimumRefused);
    m_automaticMinimum = false;
    if (Assign(m_minimum, v) || m_automatic)
        Changed();
}

void TChartAxis::SetMaximum(double v)
{
    const double min = Minimum();
    if (std::isnan(v) || std::isnan(min) || min > v)
        throw AxisException(kMaximumRefused);
    m_automaticMaximum = false;
    if (Assign(m_maximum, v) || m_automatic)
        Changed();
}

void TChartAxis::SetMinMax(double min, double max)
{
    m_automatic = false;
    m_automaticMinimum = false;
    m_automaticMaximum = false;
    m_minimum = min;
    m_maximum = max;
    Changed();
}

void TChartAxis::SetIncrement(double v)
{
    if (std::isnan(v) || v < 0.0)
        throw AxisException(kIncrementRefused);
    if (Assign(m_increment, v))
        Changed();
}

void TChartAxis::UpdateAutomaticRange(int lengthPx) const
{
    m_lastLengthPx = lengthPx;
    if (!m_automatic || !m_owner)
        return;
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    int inflatePx = 0;
    for (int i = 0; i < m_owner->SeriesCount(); ++i) {
        const TChartSeries* s = m_owner->Series(i);
        if (!s->Active())
            continue;
        double a, b;
        const bool has = m_horizontal ? s->XRange(a, b) : s->YRange(a, b);
        if (!has)
            continue;
        lo = std::min(lo, a);
        hi = std::max(hi, b);
        if (s->Pointer().Visible() && s->Pointer().InflateMargins()) {
            // Room beyond the axis length is never given, so a marker size
            // up to the largest int cannot overflow here.
            const long long half =
                static_cast<long long>(m_horizontal ? s->Pointer().HorizSize() : s->Pointer().VertSize()) + 1;
            inflatePx = std::max(inflatePx, int(std::min<long long>(half, std::max(lengthPx, 0))));
        }
    }
    if (lo > hi) // no data: an empty axis
        lo = hi = 0.0;
    // Leave room for half a marker at each end, so markers on the ends of
    // the range are drawn whole.
    if (inflatePx > 0 && hi > lo && lengthPx > 2 * inflatePx + 1) {
        // Data spanning more than the largest double is measured in halves;
        // the room stops at the largest double.
        const double span = hi - lo;
        const double px = double(lengthPx - 2 * inflatePx);
        const double perPx = std::isfinite(span) ? span / px : (hi * 0.5 - lo * 0.5) / px * 2.0;
        constexpr double kMax = std::numeric_limits<double>::max();
        lo = std::max(lo - perPx * inflatePx, -kMax);
        hi = std::min(hi + perPx * inflatePx, kMax);
    }
    if (m_automaticMinimum)
        m_minimum = lo;
    if (m_automaticMaximum)
        m_maximum = hi;
}

// --- TSeriesPointer / TChartPen ----------------------------------------

TSeriesPointer::TSeriesPointer(TChartModel* owner, bool visible, TSeriesPointerStyle style)
    : TChartPart(owner), m_visible(visible), m_style(style)
{
}

void TSeriesPointer::SetVisible(bool v)
{
    if (Assign(m_visible, v))
        Changed();
}

void TSeriesPointer::SetStyle(TSeriesPointerStyle v)
{
    if (Assign(m_style, v))
        Changed();
}

void TSeriesPointer::SetHorizSize(int v)
{
    if (Assign(m_horizSize, v))
        Changed();
}

void TSeriesPointer::SetVertSize(int v)
{
    if (Assign(m_vertSize, v))
        Changed();
}

void TSeriesPointer::SetSize(int v)
{
    v = std::max(1, v);
    if (m_horizSize == v && m_vertSize == v)
        return;
    m_horizSize = v;
    m_vertSize = v;
    Changed();
}

void TSeriesPointer::SetInflateMargins(bool v)
{
    if (Assign(m_inflateMargins, v))
        Changed();
}

void TChartPen::SetStyle(TPenStyle v)
{
    if (Assign(m_style, v))
        Changed();
}

void TChartPen::SetWidth(int v)
{
    if (v < 0)
        return;
    if (Assign(m_width, v))
        Changed();
}

void TChartPen::SetVisible(bool v)
{
    if (Assign(m_visible, v))
        Changed();
}

// --- TChartSeries -------------------------------------------------------

TChartSeries::TChartSeries(TChartModel* owner, QString name)
    : TChartPart(owner), m_name(std::move(name)), m_pointer(owner, true, psRectangle), m_linePen(owner)
{
}

void TChartSeries::Invalidate()
{
    m_rangeValid = false;
    m_cache.reset();
    Changed();
}

void TChartSeries::Clear()
{
    if (m_x.isEmpty())
        return;
    m_x = QList<double>();
    m_y = QList<double>();
    std::vector<std::uint32_t>().swap(m_order);
    m_orderKnown = true;
    m_labels.clear();
    m_colors.clear();
    Invalidate();
}

int TChartSeries::AddXY(double x, double y, const QString& label, TColor color)
{
    const qsizetype n = Count();
    qsizetype pos = n;
    if (n > 0 && x < XValue(n - 1)) {
        // After the last point whose X is less than or equal to x.
        qsizetype lo = 0, hi = n;
        while (lo < hi) {
            const qsizetype mid = lo + (hi - lo) / 2;
            if (XValue(mid) <= x)
                lo = mid + 1;
            else
                hi = mid;
        }
        pos = lo;
    }
    if (pos != n && m_order.empty()) {
        m_order.resize(size_t(n));
        for (qsizetype i = 0; i < n; ++i)
            m_order[size_t(i)] = std::uint32_t(i);
    }
    m_x.append(x);
    m_y.append(y);
    if (!m_order.empty())
        m_order.insert(m_order.begin() + pos, std::uint32_t(n));
    if (!label.isEmpty() || !m_labels.empty()) {
        m_labels.resize(size_t(n));
        m_labels.push_back(label);
    }
    if (color != clSeriesColor || !m_colors.empty()) {
        m_colors.resize(size_t(n), clSeriesColor);
        m_colors.push_back(color);
    }
    Invalidate();
    return int(pos);
}

void TChartSeries::AddXYs(const QList<double>& xs, const QList<double>& ys)
{
    const qsizetype add = std::min(xs.size(), ys.size());
    if (add == 0)
        return;
    if (Count() == 0 && xs.size() == ys.size()) {
        m_x = xs; // shared, not copied
        m_y = ys;
    } else {
        // Existing points first, in their X order, then the new ones: a
        // stable sort of that sequence is what adding them one by one gives.
        QList<double> nx, ny;
        nx.reserve(Count() + add);
        ny.reserve(Count() + add);
        for (qsizetype i = 0; i < Count(); ++i) {
            nx.append(XValue(i));
            ny.append(YValue(i));
        }
        if (!m_labels.empty() || !m_colors.empty()) {
            std::vector<QString> labels;
            std::vector<TColor> colors;
            for (qsizetype i = 0; i < Count(); ++i) {
                if (!m_labels.empty())
                    labels.push_back(m_labels[size_t(Slot(i))]);
                if (!m_colors.empty())
                    colors.push_back(m_colors[size_t(Slot(i))]);
            }
            m_labels.swap(labels);
            m_colors.swap(colors);
            if (!m_labels.empty())
                m_labels.resize(size_t(Count() + add));
            if (!m_colors.empty())
                m_colors.resize(size_t(Count() + add), clSeriesColor);
        }
        nx.append(xs.mid(0, add));
        ny.append(ys.mid(0, add));
        m_x = std::move(nx);
        m_y = std::move(ny);
    }
    std::vector<std::uint32_t>().swap(m_order);
    m_orderKnown = false;
    Invalidate();
}

void TChartSeries::ComputeOrder() const
{
    m_order = StableAscendingOrder(m_x.constData(), size_t(m_x.size()));
    m_orderKnown = true;
}

void TChartSeries::AddXYs(const QList<double>& xs, const QList<double>& ys, const KnownRange& range)
{
    const bool shared = Count() == 0 && xs.size() == ys.size() && !xs.isEmpty();
    AddXYs(xs, ys);
    if (shared) {
        m_xmin = range.xMin;
        m_xmax = range.xMax;
        m_ymin = range.yMin;
        m_ymax = range.yMax;
        m_rangeValid = true;
    }
}

QString TChartSeries::Label(qsizetype i) const
{
    return m_labels.empty() ? QString() : m_labels[size_t(Slot(i))];
}

TColor TChartSeries::ValueColor(qsizetype i) const
{
    return m_colors.empty() ? clSeriesColor : m_colors[size_t(Slot(i))];
}

void TChartSeries::SetActive(bool v)
{
    if (Assign(m_active, v))
        Invalidate();
}

void TChartSeries::SetSeriesColor(TColor v)
{
    m_hasColor = true;
    if (Assign(m_color, v))
        Changed();
}

namespace {
void MinMax(const QList<double>& v, double& lo, double& hi)
{
    const double* p = v.constData();
    const qsizetype n = v.size();
    double a = p[0], b = p[0];
    for (qsizetype i = 1; i < n; ++i) {
        a = std::min(a, p[i]);
        b = std::max(b, p[i]);
    }
    lo = a;
    hi = b;
}
} // namespace

bool TChartSeries::XRange(double& min, double& max) const
{
    if (m_x.isEmpty())
        return false;
    if (!m_rangeValid) {
        MinMax(m_x, m_xmin, m_xmax);
        MinMax(m_y, m_ymin, m_ymax);
        m_rangeValid = true;
    }
    min = m_xmin;
    max = m_xmax;
    return true;
}

bool TChartSeries::YRange(double& min, double& max) const
{
    double a, b;
    if (!XRange(a, b))
        return false;
    min = m_ymin;
    max = m_ymax;
    return true;
}

TPointSeries::TPointSeries(TChartModel* owner, QString name) : TChartSeries(owner, std::move(name))
{
    Pointer().SetStyle(psCircle);
    Pointer().SetVisible(true);
    SetDrawsLine(false);
}

TLineSeries::TLineSeries(TChartModel* owner, QString name) : TChartSeries(owner, std::move(name))
{
    Pointer().SetStyle(psRectangle);
    Pointer().SetVisible(false);
    SetDrawsLine(true);
}

// --- pictures, walls, border, shadow -----------------------------------

void TChartPicture::Clear()
{
    if (Empty())
        return;
    m_image = QImage();
    m_vector.reset();
    ForgetPlayed();
    Changed();
}

void TChartPicture::SetImage(const QImage& image)
{
    m_vector.reset();
    ForgetPlayed();
    m_image = image;
    Changed();
}

void TChartPicture::SetVector(std::shared_ptr<const Metafile> picture)
{
    m_image = QImage();
    m_vector = std::move(picture);
    ForgetPlayed();
    Changed();
}

void TChartPicture::ForgetPlayed()
{
    for (Played& p : m_played)
        p = Played{};
}

namespace {
std::atomic<quint64> g_picturePlays{0};
// Played pixels kept per picture at most, per target: 64 MB.
constexpr qint64 kMaxKeptPixels = qint64(16) << 20;
} // namespace

quint64 TChartPicture::Plays() { return g_picturePlays.load(); }

void TChartPicture::PlayVector(QPainter& p, const QRectF& target, const QColor& beneath) const
{
    if (!m_vector)
        return;
    // Where the target lands in device pixels (the device pixel ratio
    // included). The kept pixels are those of the device from its origin
    // to the target's far corner, so that patterns in the file line up with
    // the device's pixels exactly as when it is played there; only a scale
    // and a shift keep the target such a rectangle.
    const QTransform toDevice = p.deviceTransform();
    const QRectF device = toDevice.mapRect(target);
    const QSize span(int(std::ceil(device.right())), int(std::ceil(device.bottom())));
    const bool raster = p.paintEngine() && p.paintEngine()->type() == QPaintEngine::Raster;
    if (!raster || toDevice.type() > QTransform::TxScale || beneath.alpha() != 255 || device.isEmpty()
        || device.left() < 0 || device.top() < 0 || qint64(span.width()) * span.height() > kMaxKeptPixels) {
        ++g_picturePlays;
        m_vector->Play(p, target);
        return;
    }
    const qreal ratio = p.device()->devicePixelRatio();
    const QRgb under = beneath.rgba();
    const auto same = [&](const Played& k) { return k.device == device && k.ratio == ratio && k.beneath == under; };
    if (same(m_played[1])) {
        std::swap(m_played[0], m_played[1]);
    } else if (!same(m_played[0])) {
        // Played over the ground it lands on, as when played onto the
        // device itself: raster operations in the file combine with it.
        Played fresh{device, ratio, under, QImage(span, QImage::Format_ARGB32_Premultiplied)};
        fresh.image.fill(beneath);
        fresh.image.setDevicePixelRatio(ratio);
        {
            QPainter onto(&fresh.image);
            onto.setRenderHints(p.renderHints());
            ++g_picturePlays;
            m_vector->Play(onto, QRectF(device.topLeft() / ratio, device.size() / ratio));
        }
        m_played[1] = std::move(m_played[0]);
        m_played[0] = std::move(fresh);
    }
    // The whole device pixels the target covers, as a clip to it rounds
    // them, copied one to one.
    const QRect pixels(QPoint(qRound(device.left()), qRound(device.top())),
                       QPoint(qRound(device.right()) - 1, qRound(device.bottom()) - 1));
    p.drawImage(toDevice.inverted().mapRect(QRectF(pixels)), m_played[0].image, QRectF(pixels));
}

void TChartPicture::LoadFromFile(const QString& path)
{
    auto loader = TChartModel::GetPictureLoader();
    if (!loader)
        throw EInvalidGraphic(QStringLiteral("画像を読み込めません"));
    loader(path, *this);
}

TChartWall::TChartWall(TChartModel* owner) : TChartPart(owner), m_picture(owner) {}

void TChartWall::SetColor(TColor v)
{
    if (Assign(m_color, v))
        Changed();
}

void TChartWall::SetTransparent(bool v)
{
    if (Assign(m_transparent, v))
        Changed();
}

void TChartBorder::SetVisible(bool v)
{
    if (Assign(m_visible, v))
        Changed();
}

void TChartShadow::SetVisible(bool v)
{
    if (Assign(m_visible, v))
        Changed();
}

void TChartShadow::SetHorizSize(int v)
{
    if (Assign(m_horizSize, v))
        Changed();
}

void TChartShadow::SetVertSize(int v)
{
    if (Assign(m_vertSize, v))
        Changed();
}

// --- TChartModel --------------------------------------------------------

TChartModel::TChartModel(QObject* parent)
    : QObject(parent), m_title(this, QStringLiteral("Plotmere Graph"), 10),
      m_subTitle(this, QStringLiteral("Sub Title"), 9), m_leftAxis(this, false), m_bottomAxis(this, true),
      m_walls(this), m_border(this), m_shadow(this)
{
}

TChartModel::~TChartModel() = default;

const std::vector<TColor>& TChartModel::Palette()
{
    static const std::vector<TColor> palette = {
        RGBColor(68, 102, 163), RGBColor(243, 156, 53), RGBColor(241, 76, 20),  RGBColor(78, 151, 168),
        RGBColor(43, 64, 107),  RGBColor(29, 123, 99),  RGBColor(179, 8, 14),   RGBColor(242, 192, 93),
        RGBColor(93, 183, 158), RGBColor(112, 112, 112), RGBColor(243, 234, 141), RGBColor(180, 180, 180),
    };
    return palette;
}

void TChartModel::SetColor(TColor v)
{
    if (Assign(m_color, v))
        NotifyChanged();
}

void TChartModel::SetTextScale(double v)
{
    if (!(v >= 0.01) || !std::isfinite(v))
        v = std::isfinite(v) && v > 0 ? 0.01 : 1.0;
    if (Assign(m_textScale, v))
        NotifyChanged();
}

TColor TChartModel::FreePaletteColor() const
{
    for (TColor c : Palette()) {
        bool used = c == m_color || c == m_walls.Back().Color();
        for (const auto& s : m_series)
            used |= s->HasColor() && s->SeriesColor() == c;
        if (!used)
            return c;
    }
    return Palette().front();
}

void TChartModel::Adopt(TChartSeries* s)
{
    m_series.emplace_back(s);
    if (!s->HasColor())
        s->SetSeriesColor(FreePaletteColor());
    NotifyChanged();
}

void TChartModel::SetPictureLoader(PictureLoader loader) { g_pictureLoader = loader; }
TChartModel::PictureLoader TChartModel::GetPictureLoader() { return g_pictureLoader; }

void TChartModel::NotifyChanged() { emit Changed(); }
