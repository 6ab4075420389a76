#include "Metafile.h"

#include "ByteReader.h"
#include "EmfPlayer.h"
#include "EmfRecords.h"
#include "Exceptions.h"
#include "GdiPlayer.h"
#include "WmfPlayer.h"
#include "WmfRecords.h"

#include <QPainter>

#include <cmath>

using namespace metafile;

namespace {

// The natural size is capped so that a caller drawing the picture at its
// own size never allocates more than a large poster would need.
constexpr double kMaxNaturalSide = 32767;

QSize NaturalSize(double w, double h)
{
    w = std::abs(w), h = std::abs(h);
    const double over = std::max(w, h) / kMaxNaturalSide;
    if (over > 1)
        w /= over, h /= over;
    return QSize(std::max(1, int(std::lround(w))), std::max(1, int(std::lround(h))));
}

QTransform RectToRect(const QRectF& from, const QRectF& to)
{
    const double sx = to.width() / from.width(), sy = to.height() / from.height();
    return QTransform(sx, 0, 0, sy, to.left() - from.left() * sx, to.top() - from.top() * sy);
}

} // namespace

struct Metafile::Data {
    MetafileKind kind = MetafileKind::Emf;
    QByteArray bytes;
    EmfHeader emf;
    WmfHeader wmf;
    QSize size;
};

Metafile::Metafile(std::unique_ptr<Data> data) : d(std::move(data)) {}
Metafile::~Metafile() = default;

std::shared_ptr<const Metafile> Metafile::Load(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        throw EInvalidGraphic(QStringLiteral("メタファイルを読み込めません: ファイルが空です"));
    const ByteReader f(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::uint64_t(bytes.size()));
    auto data = std::make_unique<Data>();
    data->bytes = bytes;
    if (f.U32(0) == emf::EMR_HEADER && f.Has(40, 4) && f.U32(40) == emf::kEmfSignature) {
        data->kind = MetafileKind::Emf;
        data->emf = ReadEmfHeader(bytes);
        const QRectF frame = data->emf.frame;
        data->size = NaturalSize(frame.width() * 96 / 2540, frame.height() * 96 / 2540);
    } else if (f.U32(0) == wmf::kPlaceableKey || ((f.U16(0) == 1 || f.U16(0) == 2) && f.U16(2) == 9)) {
        data->kind = MetafileKind::Wmf;
        WmfHeader& h = data->wmf;
        h = ReadWmfHeader(bytes);
        if (h.window.isNull()) {
            // No placeable box and no window: the extent is what the
            // records draw, measured in their logical units.
            GdiPlayer::Setup s;
            s.wmf = true;
            s.measure = true;
            s.wmfWindow = s.wmfViewport = QRectF(0, 0, 1, 1);
            s.target = QRectF(-1e7, -1e7, 2e7, 2e7);
            s.universe = s.target;
            QPainter idle;
            GdiPlayer measure(idle, s);
            measure.GetBudget().area = 1e300; // nothing is painted, so no area is spent
            PlayWmf(bytes, h, measure);
            h.window = measure.Measured();
            if (!(h.window.width() > 0 && h.window.height() > 0))
                h.window = QRectF(0, 0, 1, 1); // nothing drawn: an empty picture
        }
        const double perPixel = h.unitsPerInch > 0 ? h.unitsPerInch / 96 : 1.0;
        data->size = NaturalSize(h.window.width() / perPixel, h.window.height() / perPixel);
    } else {
        throw EInvalidGraphic(QStringLiteral(
            "メタファイルを読み込めません: EMF の見出しも WMF の見出しもありません"));
    }
    return std::shared_ptr<const Metafile>(new Metafile(std::move(data)));
}

MetafileKind Metafile::Kind() const { return d->kind; }
QSize Metafile::Size() const { return d->size; }

void Metafile::Play(QPainter& painter, const QRectF& target) const
{
    if (!painter.isActive() || !(std::abs(target.width()) > 0) || !(std::abs(target.height()) > 0) ||
        !std::isfinite(target.width()) || !std::isfinite(target.height()))
        return;
    const QTransform original = painter.worldTransform();
    // The outer level keeps the caller's state and adds the target clip;
    // the inner level is the player's, reset whenever its clip changes.
    painter.save();
    painter.setClipRect(target.normalized(), Qt::IntersectClip);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    painter.save();

    GdiPlayer::Setup s;
    s.target = original.mapRect(target.normalized());
    QRectF picture;
    if (d->kind == MetafileKind::Emf) {
        picture = d->emf.FrameInPixels();
        s.devicePixels = d->emf.devicePixels;
        s.deviceMm = d->emf.deviceMm;
    } else {
        picture = d->wmf.window;
        s.wmf = true;
        s.wmfWindow = s.wmfViewport = picture;
    }
    s.base = RectToRect(picture, target) * original;
    const QRectF n = picture.normalized();
    s.universe = n.adjusted(-n.width() - 1, -n.height() - 1, n.width() + 1, n.height() + 1);
    {
        GdiPlayer player(painter, s);
        if (d->kind == MetafileKind::Emf)
            PlayEmf(d->bytes, d->emf, player);
        else
            PlayWmf(d->bytes, d->wmf, player);
    }
    painter.restore();
    painter.restore();
}
