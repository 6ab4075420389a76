#include "Controls.h"

#include "ZoomStyle.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QRadioButton>
#include <QScrollArea>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

namespace {
constexpr int kTabPadX = 8;
constexpr int kTabPadY = 4;
} // namespace

// --- TTabButton ---------------------------------------------------------

TTabButton::TTabButton(const QString& caption, QWidget* parent) : QAbstractButton(parent)
{
    setText(caption);
    setCheckable(true);
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(caption);
}

QSize TTabButton::sizeHint() const
{
    // As wide as the style draws a tab with this caption.
    const QFontMetrics fm(font());
    QStyleOptionTab opt;
    opt.initFrom(this);
    opt.text = text();
    opt.shape = QTabBar::RoundedNorth;
    const QSize content(fm.horizontalAdvance(text()) + 2 * kTabPadX, fm.height() + 2 * kTabPadY);
    return style()->sizeFromContents(QStyle::CT_TabBarTab, &opt, content, this).expandedTo(content);
}

void TTabButton::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionTab opt;
    opt.initFrom(this);
    opt.text = text();
    opt.shape = QTabBar::RoundedNorth;
    opt.position = QStyleOptionTab::Middle;
    if (isChecked())
        opt.state |= QStyle::State_Selected;
    if (hasFocus())
        opt.state |= QStyle::State_HasFocus;
    p.drawControl(QStyle::CE_TabBarTabShape, opt);
    p.drawItemText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, palette(), isEnabled(), text(),
                   QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -3, -3);
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

// --- TPageControl -------------------------------------------------------

TPageControl::TPageControl(QWidget* parent)
    : QWidget(parent), m_stack(new QStackedWidget(this)), m_group(new QButtonGroup(this))
{
    m_group->setExclusive(true);
    m_stack->setFrameShape(QFrame::StyledPanel);
    connect(m_group, &QButtonGroup::idClicked, this, [this](int id) {
        SetTabIndex(id);
        emit TabChanged(id);
    });
    // A control of a page that takes the focus (by the Tab key from the tab,
    // a click, a shortcut) is scrolled into view.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        for (QScrollArea* scroller : std::as_const(m_scrollers))
            if (now && scroller->widget() && scroller->widget()->isAncestorOf(now))
                scroller->ensureWidgetVisible(now);
    });
}

QWidget* TPageControl::AddPage(const QString& objectName, const QString& caption)
{
    auto* page = new QWidget;
    page->setObjectName(objectName);
    page->setAccessibleName(caption);
    // The scroll area is only the page's window onto its controls: no frame,
    // no stop of its own in the keyboard order, and neither its viewport
    // nor the page (which it would have filled) paints a ground, so the
    // page shows on the one the style gives the pages.
    auto* scroller = new QScrollArea;
    scroller->setObjectName(objectName + QStringLiteral("Scroller"));
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setFocusPolicy(Qt::NoFocus);
    scroller->setWidgetResizable(true);
    scroller->setWidget(page);
    scroller->viewport()->setAutoFillBackground(false);
    page->setAutoFillBackground(false);
    m_stack->addWidget(scroller);
    m_scrollers.append(scroller);
    auto* tab = new TTabButton(caption, this);
    tab->setObjectName(objectName + QStringLiteral("Tab"));
    m_group->addButton(tab, int(m_tabs.size()));
    m_tabs.append(tab);
    tab->installEventFilter(this);
    if (m_tabs.size() == 1)
        tab->setChecked(true);
    tab->setFocusPolicy(tab->isChecked() ? Qt::TabFocus : Qt::NoFocus);
    LayoutTabs();
    return page;
}

int TPageControl::PageCount() const { return int(m_tabs.size()); }
QWidget* TPageControl::Page(int i) const { return i >= 0 && i < m_scrollers.size() ? m_scrollers[i]->widget() : nullptr; }
QScrollArea* TPageControl::PageScroller(int i) const { return m_scrollers.value(i); }
QString TPageControl::TabCaption(int i) const { return m_tabs.at(i)->text(); }
int TPageControl::TabIndex() const { return m_group->checkedId(); }
QAbstractButton* TPageControl::Tab(int i) const { return m_tabs.at(i); }

int TPageControl::IndexOfTab(const QObject* tab) const
{
    for (int i = 0; i < m_tabs.size(); ++i)
        if (m_tabs[i] == tab)
            return i;
    return -1;
}

int TPageControl::IndexOfPage(const QWidget* page) const
{
    for (int i = 0; page && i < m_scrollers.size(); ++i)
        if (m_scrollers[i]->widget() == page)
            return i;
    return -1;
}

TPageControl* TPageControl::OwnerOfPage(const QWidget* page)
{
    // The page sits in its scroll area's viewport, in the page stack.
    QWidget* w = page ? page->parentWidget() : nullptr;
    while (w && !qobject_cast<TPageControl*>(w))
        w = w->parentWidget();
    auto* owner = static_cast<TPageControl*>(w);
    return owner && owner->IndexOfPage(page) >= 0 ? owner : nullptr;
}

void TPageControl::SetTabIndex(int i)
{
    if (i < 0 || i >= m_tabs.size())
        return;
    const int before = m_group->checkedId();
    m_tabs[i]->setChecked(true);
    for (int k = 0; k < m_tabs.size(); ++k)
        m_tabs[k]->setFocusPolicy(k == i ? Qt::TabFocus : Qt::NoFocus);
    m_stack->setCurrentIndex(i);
    LayoutTabs();
    // Assistive tools read the tabs as selected or not; tell them which
    // two changed.
    if (before != i && QAccessible::isActive()) {
        QAccessible::State selected;
        selected.selected = true;
        for (int k : {before, i}) {
            if (k < 0)
                continue;
            QAccessibleStateChangeEvent event(m_tabs[k], selected);
            QAccessible::updateAccessibility(&event);
        }
    }
}

QSize TPageControl::minimumSizeHint() const { return {40, m_tabsHeight + 40}; }

void TPageControl::resizeEvent(QResizeEvent*) { LayoutTabs(); }

bool TPageControl::event(QEvent* event)
{
    if (event->type() == QEvent::LayoutRequest)
        LayoutTabs();
    return QWidget::event(event);
}

void TPageControl::SelectByUser(int i)
{
    if (i < 0 || i >= m_tabs.size() || i == TabIndex())
        return;
    const bool tabHadFocus = m_tabs.contains(QApplication::focusWidget());
    m_tabs[i]->click(); // selects the page and reports it, as a click does
    if (tabHadFocus)
        m_tabs[i]->setFocus(Qt::TabFocusReason);
}

bool TPageControl::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !m_tabs.contains(watched))
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const int n = int(m_tabs.size());
    const int at = TabIndex();
    const bool reverse = layoutDirection() == Qt::RightToLeft;
    switch (key->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        SelectByUser((at + (reverse && key->key() == Qt::Key_Left ? 1 : n - 1)) % n);
        return true;
    case Qt::Key_Right:
    case Qt::Key_Down:
        SelectByUser((at + (reverse && key->key() == Qt::Key_Right ? n - 1 : 1)) % n);
        return true;
    case Qt::Key_Home:
        SelectByUser(0);
        return true;
    case Qt::Key_End:
        SelectByUser(n - 1);
        return true;
    default:
        return false;
    }
}

void TPageControl::keyPressEvent(QKeyEvent* event)
{
    const int n = int(m_tabs.size());
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (n > 0 && ctrl && (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)) {
        const bool back = event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
        SelectByUser((TabIndex() + (back ? n - 1 : 1)) % n);
        return;
    }
    QWidget::keyPressEvent(event);
}

void TPageControl::LayoutTabs()
{
    // Captions flow left to right and wrap to a new row when the next one
    // does not fit the control's width.
    const int width = std::max(1, this->width());
    QList<QList<int>> rows;
    int x = 0;
    for (int i = 0; i < m_tabs.size(); ++i) {
        const int w = m_tabs[i]->sizeHint().width();
        if (rows.isEmpty() || (x > 0 && x + w > width)) {
            rows.append(QList<int>());
            x = 0;
        }
        rows.last().append(i);
        x += w;
    }
    // As with the platform's multi-row tabs: once the captions wrap, every
    // row is stretched to the full width, and the row holding the selected
    // tab is the one next to the page, the other rows keeping their turn
    // above it.
    const int selected = m_group->checkedId();
    for (int r = 0; r < rows.size(); ++r) {
        if (rows[r].contains(selected)) {
            std::rotate(rows.begin(), rows.begin() + r + 1, rows.end());
            break;
        }
    }
    int y = 0;
    for (const QList<int>& row : rows) {
        int used = 0, rowHeight = 0;
        for (int i : row) {
            used += m_tabs[i]->sizeHint().width();
            rowHeight = std::max(rowHeight, m_tabs[i]->sizeHint().height());
        }
        const int spare = rows.size() > 1 ? std::max(0, width - used) : 0;
        x = 0;
        for (qsizetype k = 0; k < row.size(); ++k) {
            TTabButton* tab = m_tabs[row[k]];
            // The spare width shared out evenly, the last tab ending flush.
            const int extra = int(spare * (k + 1) / row.size()) - int(spare * k / row.size());
            const int w = std::min(tab->sizeHint().width() + extra, width - x);
            tab->setGeometry(x, y, std::max(1, w), rowHeight);
            x += w;
        }
        y += rowHeight;
    }
    m_rows = int(rows.size());
    m_tabsHeight = y;
    m_stack->setGeometry(0, m_tabsHeight, width, std::max(0, height() - m_tabsHeight));
}

// --- TToggleSwitch ------------------------------------------------------

// Makes assistive tools read every switch as a check box (further down).
static void InstallToggleSwitchAccessibility();

TToggleSwitch::TToggleSwitch(QWidget* parent) : QAbstractButton(parent)
{
    InstallToggleSwitchAccessibility();
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QAbstractButton::toggled, this, [this] { setAccessibleDescription(StateCaption()); });
    setAccessibleDescription(StateCaption());
}

void TToggleSwitch::SetState(TToggleSwitchState s)
{
    const QSignalBlocker block(this);
    setChecked(s == tssOn);
    setAccessibleDescription(StateCaption());
    update();
}

QString TToggleSwitch::StateCaption() const { return isChecked() ? QStringLiteral("オン") : QStringLiteral("オフ"); }

// The switch is drawn as high as it is placed; it asks for its design
// height at the window's zoom and for room for its longer caption.
QSize TToggleSwitch::sizeHint() const
{
    const int h = int(std::lround(20 * TZoomStyle::ZoomFactor(this)));
    const QFontMetrics fm = fontMetrics();
    const int text = std::max(fm.horizontalAdvance(QStringLiteral("オン")), fm.horizontalAdvance(QStringLiteral("オフ")));
    return {int(std::ceil(2.2 * h)) + 6 + text + 2, std::max(h, fm.height())};
}

void TToggleSwitch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPalette& pal = palette();
    const int h = height();
    const QRectF track(1.5, (height() - h) / 2.0 + 1.5, 2.2 * h - 3, h - 3);
    const bool on = isChecked();
    const QColor accent = pal.color(QPalette::Highlight);
    const QColor ink = pal.color(QPalette::WindowText);
    p.setPen(QPen(on ? accent : ink, 1.2));
    // Off shows an outlined track; a QColor here would fill it black.
    p.setBrush(on ? QBrush(accent) : QBrush(Qt::NoBrush));
    p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    const double d = track.height() - 6;
    const double kx = on ? track.right() - 3 - d : track.left() + 3;
    p.setPen(Qt::NoPen);
    p.setBrush(on ? pal.color(QPalette::HighlightedText) : ink);
    p.drawEllipse(QRectF(kx, track.top() + 3, d, d));
    p.setPen(ink);
    p.setFont(font());
    const QRectF textRect(track.right() + 6, 0, width() - track.right() - 6, height());
    p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, StateCaption());
    if (hasFocus()) {
        p.setPen(QPen(pal.color(QPalette::Highlight), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

// --- TStatusBar ---------------------------------------------------------

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent), m_label(new QLabel(this))
{
    setSizeGripEnabled(false);
    m_label->setObjectName(QStringLiteral("SimpleText"));
    addWidget(m_label, 1);
}

void TStatusBar::SetSimpleText(const QString& text)
{
    if (m_text == text)
        return;
    m_text = text;
    m_label->setText(text);
    // The bar's own name is its text (the label inside is not shown to
    // assistive tools).
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

// --- TToolBar --------------------------------------------------------------

TToolBar::TToolBar(QWidget* parent) : QWidget(parent)
{
    // A style's sheet gives the bar its own ground, which its pictures are
    // drawn to stand out from; a plain widget would not paint it.
    setAttribute(Qt::WA_StyledBackground, true);
}

void TToolBar::AddButton(QAbstractButton* button)
{
    button->installEventFilter(this);
    m_buttons.append(button);
    MakeCurrent(m_current);
}

QAbstractButton* TToolBar::CurrentButton() const
{
    return m_buttons.isEmpty() ? nullptr : m_buttons.at(m_current);
}

void TToolBar::MakeCurrent(int index)
{
    // Only the current button is a tab stop; the others are reached with
    // the arrow keys.
    m_current = index;
    for (int i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setFocusPolicy(i == m_current ? Qt::TabFocus : Qt::NoFocus);
}

bool TToolBar::eventFilter(QObject* watched, QEvent* event)
{
    const int index = int(m_buttons.indexOf(static_cast<QAbstractButton*>(watched)));
    if (index >= 0 && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        update(m_buttons[index]->geometry());
    if (index < 0 || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const bool reverse = layoutDirection() == Qt::RightToLeft;
    int step = 0, target = -1;
    switch (key->key()) {
    case Qt::Key_Left:
        step = reverse ? 1 : -1;
        break;
    case Qt::Key_Right:
        step = reverse ? -1 : 1;
        break;
    case Qt::Key_Up:
        step = -1;
        break;
    case Qt::Key_Down:
        step = 1;
        break;
    case Qt::Key_Home:
        target = 0, step = 1;
        break;
    case Qt::Key_End:
        target = int(m_buttons.size()) - 1, step = -1;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Space is the button's own; Enter presses it as well.
        if (!key->isAutoRepeat() && m_buttons[index]->isEnabled())
            m_buttons[index]->click();
        return true;
    default:
        return false;
    }
    // The next enabled, shown button in that direction, wrapping around.
    const int n = int(m_buttons.size());
    int i = target >= 0 ? target : (index + step + n) % n;
    for (int tries = 0; tries < n; ++tries, i = (i + step + n) % n) {
        QAbstractButton* b = m_buttons[i];
        if (b->isEnabled() && b->isVisibleTo(this)) {
            MakeCurrent(i);
            b->setFocus(Qt::TabFocusReason);
            break;
        }
    }
    return true;
}

void TToolBar::paintEvent(QPaintEvent*)
{
    for (QAbstractButton* b : m_buttons) {
        if (!b->hasFocus())
            continue;
        QPainter p(this);
        QStyleOptionFocusRect focus;
        focus.initFrom(b);
        focus.rect = b->geometry().adjusted(2, 2, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

// --- design geometry ------------------------------------------------------

namespace {
constexpr char kDesignGeometry[] = "plotmereDesignGeometry";
} // namespace

void PlaceControl(QWidget* control, int left, int top, int width, int height)
{
    const QRect design(left, top, width, height);
    control->setProperty(kDesignGeometry, design);
    control->setGeometry(design);
}

QRect DesignGeometry(const QWidget* control)
{
    return control->property(kDesignGeometry).toRect();
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption)
{
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

TButtonedEdit* MakeEdit(QWidget* parent, const char* name, const QString& textHint, const QIcon& rightImage)
{
    auto* e = new TButtonedEdit(parent, textHint, rightImage);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

// --- TButtonedEdit --------------------------------------------------------

namespace {

// The field's button: flat until the pointer is over it, and showing the
// keyboard focus as a line around it, which fits where the style's own
// focus frame inside it would cover the picture.
class TFieldButton : public QToolButton {
public:
    explicit TFieldButton(QWidget* parent) : QToolButton(parent)
    {
        setAutoRaise(true);
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::ArrowCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter p(this);
        QStyleOptionToolButton option;
        initStyleOption(&option);
        option.state &= ~QStyle::State_HasFocus;
        p.drawComplexControl(QStyle::CC_ToolButton, option);
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }
};

// The button's parts at design size: the picture, the room around it, and
// the gap to the field's right edge.
constexpr int kFieldIcon = 16, kFieldButtonWidth = 22, kFieldButtonHeight = 18, kFieldButtonGap = 4;

} // namespace

TButtonedEdit::TButtonedEdit(QWidget* parent, const QString& textHint, const QIcon& rightImage)
    : QLineEdit(parent), m_button(new QAction(rightImage, QStringLiteral("適用"), this)),
      m_buttonWidget(new TFieldButton(this))
{
    setPlaceholderText(textHint);
    setAccessibleName(textHint);
    m_button->setToolTip(textHint);
    // Keyboard users reach the button with Tab: typing and Enter in the
    // field apply nothing, so without it they could not apply the text.
    m_buttonWidget->setIconSize(QSize(kFieldIcon, kFieldIcon));
    m_buttonWidget->setDefaultAction(m_button);
    connect(m_button, &QAction::triggered, this, &TButtonedEdit::RightButtonClick);
}

QAbstractButton* TButtonedEdit::RightButtonWidget() const { return m_buttonWidget; }

void TButtonedEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    // The button sits at the right end, as large as the zoom makes the
    // text; the text keeps clear of it.
    const double f = TZoomStyle::ZoomFactor(this);
    const auto scaled = [f](int v) { return int(std::lround(v * f)); };
    const QSize size(scaled(kFieldButtonWidth), scaled(kFieldButtonHeight));
    const int gap = scaled(kFieldButtonGap);
    m_buttonWidget->setIconSize(QSize(scaled(kFieldIcon), scaled(kFieldIcon)));
    m_buttonWidget->setGeometry(width() - gap - size.width(), (height() - size.height()) / 2, size.width(),
                                size.height());
    setTextMargins(0, 0, size.width() + gap, 0);
}

// --- TRadioGroup ----------------------------------------------------------

TRadioGroup::TRadioGroup(QWidget* parent, const QString& caption, const QStringList& items)
    : QGroupBox(caption, parent)
{
    for (const QString& item : items) {
        auto* b = new QRadioButton(item, this);
        b->setObjectName(QString());
        connect(b, &QRadioButton::clicked, this, &TRadioGroup::Click);
        m_buttons.append(b);
    }
    LayoutItems();
}

int TRadioGroup::ItemIndex() const
{
    for (int i = 0; i < m_buttons.size(); ++i)
        if (m_buttons[i]->isChecked())
            return i;
    return -1;
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index >= 0 && index < m_buttons.size()) {
        m_buttons[index]->setChecked(true);
        return;
    }
    // No item: exclusive buttons cannot all be cleared while they exclude
    // each other.
    for (QRadioButton* b : m_buttons) {
        b->setAutoExclusive(false);
        b->setChecked(false);
        b->setAutoExclusive(true);
    }
}

QString TRadioGroup::Item(int index) const { return m_buttons.at(index)->text(); }

void TRadioGroup::resizeEvent(QResizeEvent* event)
{
    QGroupBox::resizeEvent(event);
    LayoutItems();
}

void TRadioGroup::LayoutItems()
{
    // The items share the height below the caption evenly.
    if (m_buttons.isEmpty())
        return;
    const int top = fontMetrics().height() + 2;
    const int avail = std::max(1, height() - top - 4);
    const int n = int(m_buttons.size());
    for (int i = 0; i < n; ++i) {
        const int y0 = top + avail * i / n;
        const int y1 = top + avail * (i + 1) / n;
        m_buttons[i]->setGeometry(8, y0, std::max(1, width() - 16), std::max(1, y1 - y0));
    }
}

// --- TSpinEdit --------------------------------------------------------------

namespace {
// An optional sign and decimal digits, within the range of an int.
std::optional<int> WholeNumber(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    if (i == text.size())
        return std::nullopt;
    long long v = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        v = v * 10 + (c - u'0');
        if (v > 1LL + std::numeric_limits<int>::max())
            return std::nullopt;
    }
    v = negative ? -v : v;
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(v);
}
} // namespace

TSpinEdit::TSpinEdit(QWidget* parent) : QAbstractSpinBox(parent)
{
    // The value is read from the text on demand; the base class keeps no
    // value of its own to track.
    setKeyboardTracking(false);
    setAccelerated(false);
    lineEdit()->setText(QStringLiteral("0"));
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] {
        update(); // the arrows' enabled state follows the value
        emit Change();
    });
}

int TSpinEdit::Value() const { return WholeNumber(lineEdit()->text()).value_or(m_min); }

int TSpinEdit::Clamp(long long v) const { return int(std::clamp<long long>(v, m_min, std::max(m_min, m_max))); }

void TSpinEdit::SetValue(int v) { lineEdit()->setText(QString::number(Clamp(v))); }

void TSpinEdit::SetMinValue(int v) { m_min = v; update(); }

void TSpinEdit::SetMaxValue(int v) { m_max = v; update(); }

QString TSpinEdit::Text() const { return lineEdit()->text(); }

void TSpinEdit::SetText(const QString& v) { lineEdit()->setText(v); }

void TSpinEdit::stepBy(int steps)
{
    if (isReadOnly())
        return;
    SetValue(Clamp(static_cast<long long>(Value()) + steps));
    selectAll();
}

QValidator::State TSpinEdit::validate(QString& input, int&) const
{
    // Every text is taken as typed or pasted, none is filtered: dropping
    // the characters that are no digits would turn "1.5" into 15. Text that
    // is no whole number is left for the user to finish; it reads as the
    // minimum meanwhile.
    return WholeNumber(input) ? QValidator::Acceptable : QValidator::Intermediate;
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const
{
    if (isReadOnly() || !isEnabled())
        return StepNone;
    // A step that would change nothing is not offered: at a bound, or with
    // the range collapsed to one value.
    const int v = Value();
    StepEnabled e = StepNone;
    if (Clamp(static_cast<long long>(v) + 1) != v)
        e |= StepUpEnabled;
    if (Clamp(static_cast<long long>(v) - 1) != v)
        e |= StepDownEnabled;
    return e;
}

void TSpinEdit::focusOutEvent(QFocusEvent* event)
{
    QAbstractSpinBox::focusOutEvent(event);
    // The window going inactive (another window, a dialog opened from the
    // tool bar) or a popup menu opening does not move the focus away from
    // the field: it is back there afterwards, so nothing is clamped yet.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    const int v = Value();
    if (Clamp(v) != v)
        SetValue(v);
}

// --- the switch as assistive tools see it -----------------------------------

namespace {
// A check box named by its label whose value is the state caption shown
// beside the knob.
class ToggleSwitchAccessible : public QAccessibleWidget {
public:
    explicit ToggleSwitchAccessible(TToggleSwitch* w) : QAccessibleWidget(w, QAccessible::CheckBox) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return Switch()->StateCaption();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = Switch()->isChecked();
        return s;
    }
    QStringList actionNames() const override
    {
        return QStringList{toggleAction()} << QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override
    {
        if (name == toggleAction() || name == pressAction())
            Switch()->click();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    TToggleSwitch* Switch() const { return static_cast<TToggleSwitch*>(widget()); }
};

QAccessibleInterface* ToggleSwitchAccessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("TToggleSwitch") && object)
        if (auto* w = qobject_cast<TToggleSwitch*>(object))
            return new ToggleSwitchAccessible(w);
    return nullptr;
}
} // namespace

static void InstallToggleSwitchAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(&ToggleSwitchAccessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
