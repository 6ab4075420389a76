#include "Accessibility.h"

#include "Chart.h"
#include "ComboBox.h"
#include "Controls.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QFrame>

#include <algorithm>
#include <utility>

namespace {

// A widget Qt knows only as a plain widget. Two kinds need more: a top-level
// window of ours is a window named by its title (Qt's own dialogs and
// message boxes answer for themselves), and a page of the side tabs is a
// pane named by its tab's caption, whose parent is that tab. Both are
// decided when asked: a page is made (a window for a moment) before it
// joins its page control.
class PlainWidgetAccessible : public QAccessibleWidget {
public:
    explicit PlainWidgetAccessible(QWidget* w) : QAccessibleWidget(w) {}

    QAccessible::Role role() const override
    {
        if (TPageControl::OwnerOfPage(widget()))
            return QAccessible::Pane;
        if (widget()->isWindow())
            return QAccessible::Window;
        return QAccessibleWidget::role();
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            if (TPageControl* owner = TPageControl::OwnerOfPage(widget()))
                return owner->TabCaption(owner->IndexOfPage(widget()));
        return QAccessibleWidget::text(t);
    }
    QAccessibleInterface* parent() const override
    {
        if (TPageControl* owner = TPageControl::OwnerOfPage(widget()))
            return QAccessible::queryAccessibleInterface(owner->Tab(owner->IndexOfPage(widget())));
        return QAccessibleWidget::parent();
    }
};

// The side tabs as a page tab list: its children are the tabs, each tab's
// one child is the page it shows.
class PageControlAccessible : public QAccessibleWidget {
public:
    explicit PageControlAccessible(TPageControl* w) : QAccessibleWidget(w, QAccessible::PageTabList) {}

    int childCount() const override { return Control()->PageCount(); }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= Control()->PageCount())
            return nullptr;
        return QAccessible::queryAccessibleInterface(Control()->Tab(index));
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child ? Control()->IndexOfTab(child->object()) : -1;
    }

private:
    TPageControl* Control() const { return static_cast<TPageControl*>(widget()); }
};

// One side tab: named by its caption, selected while its page shows, and
// pressed to show that page.
class PageTabAccessible : public QAccessibleWidget {
public:
    explicit PageTabAccessible(QAbstractButton* w) : QAccessibleWidget(w, QAccessible::PageTab) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const QString name = widget()->accessibleName();
            return name.isEmpty() ? Button()->text() : name;
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.selectable = true;
        s.selected = Button()->isChecked();
        // The tab is a choice, not a check box: no checked state of its own.
        s.checkable = false;
        s.checked = false;
        return s;
    }
    int childCount() const override { return Page() ? 1 : 0; }
    QAccessibleInterface* child(int index) const override
    {
        return index == 0 && Page() ? QAccessible::queryAccessibleInterface(Page()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child && Page() && child->object() == Page() ? 0 : -1;
    }
    QStringList actionNames() const override
    {
        return QStringList{pressAction()} << QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override
    {
        if (name == pressAction())
            Button()->click();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    QAbstractButton* Button() const { return static_cast<QAbstractButton*>(widget()); }
    QWidget* Page() const
    {
        const auto* owner = qobject_cast<const TPageControl*>(widget()->parentWidget());
        const int i = owner ? owner->IndexOfTab(widget()) : -1;
        return i >= 0 ? owner->Page(i) : nullptr;
    }
};

// A widget whose children include some it keeps hidden for good (Qt's font
// panel embedded without its buttons keeps its OK and Cancel buttons): only
// the children not hidden are offered, so no tool reads a button that
// cannot be seen or pressed beside the visible ones. A child named
// `unoffered` is never offered.
class ShownChildrenAccessible : public QAccessibleWidget {
public:
    ShownChildrenAccessible(QWidget* w, QAccessible::Role role, QString unoffered = QString())
        : QAccessibleWidget(w, role), m_unoffered(std::move(unoffered))
    {
    }

    int childCount() const override { return int(Shown().size()); }
    QAccessibleInterface* child(int i) const override
    {
        const QList<QWidget*> shown = Shown();
        return i >= 0 && i < shown.size() ? QAccessible::queryAccessibleInterface(shown[i]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* c) const override
    {
        return c ? int(Shown().indexOf(qobject_cast<QWidget*>(c->object()))) : -1;
    }

private:
    QList<QWidget*> Shown() const
    {
        QList<QWidget*> out;
        for (QWidget* c : widget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (!c->isWindow() && !c->isHidden() && (m_unoffered.isEmpty() || c->objectName() != m_unoffered))
                out << c;
        return out;
    }

    QString m_unoffered;
};

// The status bar reads as its one text: its name is the text, and the text
// is offered whole through the text interface. The label that paints it
// is not shown separately; the notices shown beside it are its children.
class StatusBarAccessible : public ShownChildrenAccessible, public QAccessibleTextInterface {
public:
    explicit StatusBarAccessible(TStatusBar* w)
        : ShownChildrenAccessible(w, QAccessible::StatusBar, QStringLiteral("SimpleText"))
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name || t == QAccessible::Value)
            return Text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return ShownChildrenAccessible::interface_cast(t);
    }

    // Read-only text: no selection, the cursor at the start.
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override
    {
        const QString s = Text();
        startOffset = std::clamp(startOffset, 0, int(s.size()));
        endOffset = std::clamp(endOffset, startOffset, int(s.size()));
        return s.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(Text().size()); }
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return QString();
    }

private:
    QString Text() const { return static_cast<TStatusBar*>(widget())->SimpleText(); }
};

// The chart is a picture: its name is the title, its description the
// subtitle lines and the axis names (the control keeps both current).
class ChartAccessible : public QAccessibleWidget, public QAccessibleImageInterface {
public:
    explicit ChartAccessible(TChart* w) : QAccessibleWidget(w, QAccessible::Graphic) {}

    QString text(QAccessible::Text t) const override
    {
        // A chart without a title still says what it is.
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return QStringLiteral("グラフ");
        return QAccessibleWidget::text(t);
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::ImageInterface)
            return static_cast<QAccessibleImageInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString imageDescription() const override { return widget()->accessibleDescription(); }
    QSize imageSize() const override { return widget()->size(); }
    QPoint imagePosition() const override { return widget()->mapToGlobal(QPoint(0, 0)); }
};

// An editable drop-down list named by what it is for (its accessible name,
// else the label whose buddy it is); its value is the text it shows. Qt's
// own interface on Linux gives the shown text as the name, so "100%" would
// be read where "拡大縮小" is meant. Its one child is its text field.
class ComboBoxAccessible : public QAccessibleWidget {
public:
    explicit ComboBoxAccessible(TComboBox* w) : QAccessibleWidget(w, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return Box()->currentText();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = Box()->view() && Box()->view()->isVisible();
        s.editable = Box()->isEditable();
        return s;
    }
    QStringList actionNames() const override
    {
        return QStringList{showMenuAction(), pressAction()} << QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override
    {
        if (name == showMenuAction() || name == pressAction())
            Box()->showPopup();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    TComboBox* Box() const { return static_cast<TComboBox*>(widget()); }
};

QAccessibleInterface* PlotmereAccessibleFactory(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* w = static_cast<QWidget*>(object);
    if (className == QLatin1String("TPageControl"))
        return new PageControlAccessible(static_cast<TPageControl*>(w));
    if (className == QLatin1String("TTabButton"))
        return new PageTabAccessible(static_cast<QAbstractButton*>(w));
    if (className == QLatin1String("TStatusBar"))
        return new StatusBarAccessible(static_cast<TStatusBar*>(w));
    if (className == QLatin1String("TChart"))
        return new ChartAccessible(static_cast<TChart*>(w));
    if (className == QLatin1String("TComboBox"))
        return new ComboBoxAccessible(static_cast<TComboBox*>(w));
    if (className == QLatin1String("QFontDialog") && !w->isWindow())
        // The font panel inside our font dialog: a group of its controls.
        return new ShownChildrenAccessible(w, QAccessible::Grouping);
    if (className == QLatin1String("TToolBar"))
        return new QAccessibleWidget(w, QAccessible::ToolBar);
    if (className == QLatin1String("QFrame")) {
        // A line drawn between groups of controls separates them, and a
        // panel holding controls is a pane; neither is a frame, which to
        // assistive tools means a top-level window.
        const auto* frame = static_cast<QFrame*>(w);
        if (frame->frameShape() == QFrame::VLine || frame->frameShape() == QFrame::HLine)
            return new QAccessibleWidget(w, QAccessible::Separator);
        return new QAccessibleWidget(w, w->isWindow() ? QAccessible::Window : QAccessible::Pane);
    }
    if (className == QLatin1String("QSplitterHandle"))
        // The bar dragged between the chart and the side tabs.
        return new QAccessibleWidget(w, QAccessible::Separator);
    // Other plain widgets (a scroll area's viewport...) keep Qt's answer.
    if (className == QLatin1String("QWidget") && (w->isWindow() || TPageControl::OwnerOfPage(w)))
        return new PlainWidgetAccessible(w);
    return nullptr;
}

} // namespace

void InstallAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(&PlotmereAccessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
