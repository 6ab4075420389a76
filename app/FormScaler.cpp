#include "FormScaler.h"

#include "Chart.h"
#include "Controls.h"
#include "StyleManager.h"
#include "ZoomStyle.h"
#include "Unit1.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <utility>

namespace {

// What a control looked like at design size, kept with the control.
constexpr char kRecorded[] = "plotmereZoomRecorded";
constexpr char kDesignFont[] = "plotmereDesignFont";
constexpr char kDesignFixedWidth[] = "plotmereDesignFixedWidth";
constexpr char kDesignFixedHeight[] = "plotmereDesignFixedHeight";
constexpr char kDesignIconSize[] = "plotmereDesignIconSize";

constexpr int kDesignPPI = 96;
constexpr int kDesignSplitterHandle = 3;
// The side tabs' width as the window is laid out, and their pages' width.
constexpr int kDesignSideWidth = 184;
constexpr int kDesignPageWidth = 176;
// The gap kept between a page's controls and its right edge (widened
// captions keep it too), and below its lowest control.
constexpr int kDesignPageRightGap = 4;
constexpr int kDesignPageBottomGap = 8;

int Scaled(double v, double f)
{
    return int(std::lround(v * f));
}

// Edges are scaled, not sizes, so controls that touch at design size still
// touch.
QRect ScaledRect(const QRect& r, double f)
{
    const int left = Scaled(r.left(), f);
    const int top = Scaled(r.top(), f);
    const int right = Scaled(r.left() + r.width(), f);
    const int bottom = Scaled(r.top() + r.height(), f);
    return QRect(left, top, right - left, bottom - top);
}

// The controls of a window, parents before their children; other windows
// (pop-up lists, dialogs) and what they hold are theirs to lay out.
void Walk(QWidget* w, const std::function<void(QWidget*)>& visit)
{
    visit(w);
    for (QObject* child : w->children()) {
        auto* cw = qobject_cast<QWidget*>(child);
        if (cw && !cw->isWindow())
            Walk(cw, visit);
    }
}

// The room the control's style leaves for its caption, and the caption;
// none for a control of another kind.
std::optional<std::pair<QRect, QString>> CaptionRoom(QWidget* w)
{
    if (auto* b = qobject_cast<QPushButton*>(w); b && !b->text().isEmpty()) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        return std::pair{b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b), b->text()};
    }
    if (auto* c = qobject_cast<QCheckBox*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(c);
        opt.text = c->text();
        return std::pair{c->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, c), c->text()};
    }
    if (auto* l = qobject_cast<QLabel*>(w); l && !l->text().isEmpty())
        return std::pair{l->contentsRect(), l->text()};
    return std::nullopt;
}

} // namespace

int ZoomEntryPPI(int position)
{
    constexpr int kEntries[] = {96, 120, 144, 168, 192};
    return position >= 0 && position < int(std::size(kEntries)) ? kEntries[position] : 0;
}

int ZoomEntryFor(int ppi)
{
    for (int i = 0; ZoomEntryPPI(i); ++i)
        if (ZoomEntryPPI(i) == ppi)
            return i;
    return 0;
}

TFormScaler::TFormScaler(TForm1& form) : QObject(&form), m_form(form)
{
    setObjectName(QStringLiteral("FormScaler"));
    m_designSide = kDesignSideWidth;
    // A width the user drags the side tabs to counts from then on as their
    // design width times the zoom in force.
    connect(form.Splitter1, &QSplitter::splitterMoved, this, [this] {
        const QList<int> sizes = m_form.Splitter1->sizes();
        if (sizes.size() == 2 && sizes[1] > 0)
            m_designSide = sizes[1] / m_factor;
    });
}

int TFormScaler::ScreenPPI() const
{
    const double dpr = m_form.devicePixelRatioF();
    return int(std::lround(kDesignPPI * (dpr > 0 ? dpr : 1.0)));
}

int TFormScaler::PixelsPerInch() const
{
    return m_scaled ? m_ppi : ScreenPPI();
}

void TFormScaler::Record(QWidget* w)
{
    // A control met for the first time shows its design values: at the
    // first zoom every control is still at design size, and one created
    // later was placed from design values (its inherited font aside, below).
    if (w->property(kRecorded).toBool())
        return;
    w->setProperty(kRecorded, true);
    // Every control gets its font set, not only those with a font of their
    // own: under a style sheet Qt fixes each control's inherited size when it
    // polishes it, so a changed window font would no longer reach it. An
    // inherited font met while zoomed is the zoomed design font.
    QFont font = w->font();
    if (!w->testAttribute(Qt::WA_SetFont) && m_factor != 1.0) {
        if (font.pointSizeF() > 0)
            font.setPointSizeF(font.pointSizeF() / m_factor);
        else if (font.pixelSize() > 0)
            font.setPixelSize(std::max(1, Scaled(font.pixelSize(), 1.0 / m_factor)));
    }
    w->setProperty(kDesignFont, font);
    if (w != &m_form) {
        if (w->minimumWidth() == w->maximumWidth())
            w->setProperty(kDesignFixedWidth, w->minimumWidth());
        if (w->minimumHeight() == w->maximumHeight())
            w->setProperty(kDesignFixedHeight, w->minimumHeight());
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        w->setProperty(kDesignIconSize, b->iconSize());
}

void TFormScaler::ApplyFonts(QWidget* w)
{
    const QVariant design = w->property(kDesignFont);
    if (!design.isValid())
        return;
    const QFont d = design.value<QFont>();
    QFont f = d;
    if (d.pointSizeF() > 0)
        f.setPointSizeF(d.pointSizeF() * m_factor);
    else if (d.pixelSize() > 0)
        f.setPixelSize(std::max(1, Scaled(d.pixelSize(), m_factor)));
    w->setFont(f);
}

void TFormScaler::ApplyGeometry(QWidget* w)
{
    if (const QVariant v = w->property(kDesignFixedWidth); v.isValid())
        w->setFixedWidth(Scaled(v.toInt(), m_factor));
    if (const QVariant v = w->property(kDesignFixedHeight); v.isValid())
        w->setFixedHeight(Scaled(v.toInt(), m_factor));
    if (const QVariant v = w->property(kDesignIconSize); v.isValid()) {
        const QSize s = v.toSize();
        static_cast<QAbstractButton*>(w)->setIconSize(QSize(Scaled(s.width(), m_factor), Scaled(s.height(), m_factor)));
    }
    const QRect design = DesignGeometry(w);
    if (design.isValid())
        w->setGeometry(ScaledRect(design, m_factor));
}

void TFormScaler::ReapplyFonts()
{
    if (!m_scaled)
        return;
    Walk(&m_form, [this](QWidget* w) {
        Record(w);
        ApplyFonts(w);
    });
}

void TFormScaler::ApplyStyleZoom()
{
    TZoomStyle::SetZoomFactor(&m_form, m_factor);
    QString sheet;
    if (m_factor != 1.0)
        if (const std::optional<TStyleFile> style = TStyleManager::Style(TStyleManager::ActiveStyle().Name()))
            sheet = TStyleManager::ZoomedStyleSheet(style->styleSheet, m_factor);
    if (m_form.styleSheet() != sheet)
        m_form.setStyleSheet(sheet);
    // What the style draws at the factor is measured and drawn anew.
    Walk(&m_form, [](QWidget* w) {
        w->updateGeometry();
        w->update();
    });
}

void TFormScaler::FitCaptions()
{
    // The gap kept to the parent's right edge.
    const int margin = Scaled(kDesignPageRightGap, m_factor);
    Walk(&m_form, [&](QWidget* w) {
        const QRect design = DesignGeometry(w);
        if (!design.isValid() || !w->parentWidget())
            return;
        if (!CaptionRoom(w))
            return;
        const QRect zoomed = ScaledRect(design, m_factor);
        if (w->geometry() != zoomed)
            w->setGeometry(zoomed);
        w->ensurePolished();
        const auto room = CaptionRoom(w);
        const int missing = w->fontMetrics().horizontalAdvance(room->second) - room->first.width();
        if (missing <= 0)
            return;
        // The page may not have its width yet (the window being made, the
        // splitter not yet told the new zoom): at least its design width.
        const int parentWidth = std::max(w->parentWidget()->width(), Scaled(kDesignPageWidth, m_factor));
        const int limit = parentWidth - margin - zoomed.left();
        w->resize(std::max(zoomed.width(), std::min(zoomed.width() + missing, limit)), zoomed.height());
    });
    FitPages();
}

void TFormScaler::FitPages()
{
    const int right = Scaled(kDesignPageRightGap, m_factor);
    const int below = Scaled(kDesignPageBottomGap, m_factor);
    const TPageControl* pages = m_form.PageControl1;
    for (int i = 0; i < pages->PageCount(); ++i) {
        QWidget* page = pages->Page(i);
        // What a page lays out itself (the usage notes under their panel)
        // needs its layout's minimum; what is placed, its extent.
        QSize need = page->layout() ? page->layout()->minimumSize() : QSize(0, 0);
        for (const QWidget* w : page->findChildren<QWidget*>()) {
            if (!DesignGeometry(w).isValid())
                continue;
            const QRect r(w->mapTo(page, QPoint(0, 0)), w->size());
            need = need.expandedTo(QSize(r.x() + r.width() + right, r.y() + r.height() + below));
        }
        page->setMinimumSize(need);
        // Qt tells a scroll area only when its page is shown; one not shown
        // fits its page to the new minimum now, as the shown one does.
        QEvent request(QEvent::LayoutRequest);
        QCoreApplication::sendEvent(pages->PageScroller(i), &request);
    }
}

QSize TFormScaler::FittedToScreen(QSize client) const
{
    const QScreen* screen = m_form.screen();
    if (!screen)
        return client;
    // A window not shown yet has no frame to count.
    const QSize frame = m_form.frameGeometry().size() - m_form.size();
    return client.boundedTo(screen->availableGeometry().size() - frame);
}

void TFormScaler::KeepOnScreen()
{
    const QScreen* screen = m_form.screen();
    if (!screen || !m_form.isVisible())
        return;
    const QRect room = screen->availableGeometry();
    const QRect outer = m_form.frameGeometry();
    // Right and bottom edges inside first, so a window larger than the room
    // keeps its top left corner on the screen.
    const int x = std::max(room.left(), std::min(outer.left(), room.left() + room.width() - outer.width()));
    const int y = std::max(room.top(), std::min(outer.top(), room.top() + room.height() - outer.height()));
    if (QPoint(x, y) != outer.topLeft())
        m_form.move(x, y);
}

void TFormScaler::Scale(int ppi, bool keepWindowSize)
{
    if (ppi == PixelsPerInch() || ppi <= 0)
        return;
    if (!m_scaled) {
        const double dpr = m_form.devicePixelRatioF();
        m_dpr = dpr > 0 ? dpr : 1.0;
    }
    const double oldFactor = m_factor;
    const double newFactor = ppi / (kDesignPPI * m_dpr);

    // The sizes the user may have changed since the last zoom are taken as
    // they are now; unchanged ones keep their exact design value (the last
    // zoom may have made the window smaller than that to fit the screen).
    const QSize client = m_form.size();
    if (!m_scaled || client != m_appliedClient)
        m_designClient = QSizeF(client) / oldFactor;
    m_scaled = true;

    Walk(&m_form, [this](QWidget* w) { Record(w); });
    m_ppi = ppi;
    m_factor = newFactor;

    ApplyStyleZoom();
    // Fonts first: some controls lay their insides out from their font.
    Walk(&m_form, [this](QWidget* w) { ApplyFonts(w); });
    Walk(&m_form, [this](QWidget* w) { ApplyGeometry(w); });
    FitCaptions();
    m_form.Splitter1->setHandleWidth(std::max(1, Scaled(kDesignSplitterHandle, m_factor)));
    // The chart's texts grow with the controls around it.
    m_form.Chart1->Model().SetTextScale(m_factor);

    const Qt::WindowStates fills = Qt::WindowMaximized | Qt::WindowFullScreen;
    if (keepWindowSize || (m_form.windowState() & fills)) {
        m_designClient = QSizeF(m_form.size()) / m_factor;
        m_appliedClient = m_form.size();
    } else {
        // Up to the screen's density the window takes its own size, as it
        // does at start; a zoom past it grows the window only as far as the
        // screen has room, the side tabs' pages scrolling what no longer
        // fits.
        const QSize zoomed(Scaled(m_designClient.width(), m_factor), Scaled(m_designClient.height(), m_factor));
        const bool grows = m_factor > 1.0;
        m_appliedClient = grows ? FittedToScreen(zoomed) : zoomed;
        m_form.resize(m_appliedClient);
        if (grows)
            KeepOnScreen();
    }
    if (QLayout* layout = m_form.layout())
        layout->activate();

    // The side tabs keep their scaled width and the chart takes the rest.
    {
        const int total = std::max(0, m_form.Splitter1->width() - m_form.Splitter1->handleWidth());
        const int newSide = std::min(total, Scaled(m_designSide, m_factor));
        m_form.Splitter1->setSizes({total - newSide, newSide});
    }
}
