#pragma once
// Small controls of the main window that Qt has no exact match for: a page
// control whose tab captions wrap to further rows and whose pages scroll
// when they are smaller than their controls need, an on/off switch, a
// status bar with one simple text and a tool bar with fixed button places.

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QStatusBar>
#include <QWidget>

class QLabel;
class QScrollArea;
class QStackedWidget;
class QButtonGroup;

class TTabButton : public QAbstractButton {
    Q_OBJECT
public:
    TTabButton(const QString& caption, QWidget* parent);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TPageControl : public QWidget {
    Q_OBJECT
public:
    explicit TPageControl(QWidget* parent = nullptr);
    // Adds a page with its tab; the page is the returned widget. The page
    // is shown in a frameless scroll area that stretches it to the room
    // there is and scrolls it where its minimum size is larger, and that
    // brings a control taking the focus into view.
    QWidget* AddPage(const QString& objectName, const QString& caption);
    int PageCount() const;
    QWidget* Page(int i) const;
    // The scroll area page i is shown in.
    QScrollArea* PageScroller(int i) const;
    QString TabCaption(int i) const;
    int TabIndex() const;
    // Shows page i; out-of-range values show none.
    void SetTabIndex(int i);
    // Rows the tab captions take at the current width.
    int TabRows() const { return m_rows; }
    // The tab that shows page i, and a tab's or a page's position (-1 for
    // a widget that is neither).
    QAbstractButton* Tab(int i) const;
    int IndexOfTab(const QObject* tab) const;
    int IndexOfPage(const QWidget* page) const;
    // The page control a page belongs to, null for any other widget.
    static TPageControl* OwnerOfPage(const QWidget* page);
    QSize minimumSizeHint() const override;

signals:
    void TabChanged(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;
    // A tab whose size changes (a new font or style) asks for a new layout.
    bool event(QEvent* event) override;
    // The tabs are one stop in the keyboard order, on the selected tab; the
    // arrow keys, Home and End select another one, and Ctrl+Tab (with Shift
    // backwards) does so from anywhere on the pages.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void LayoutTabs();
    // Selects tab i as a click on it does.
    void SelectByUser(int i);

    QList<TTabButton*> m_tabs;
    QList<QScrollArea*> m_scrollers;
    QStackedWidget* m_stack;
    QButtonGroup* m_group;
    int m_rows = 1;
    int m_tabsHeight = 0;
};

enum TToggleSwitchState { tssOff = 0, tssOn = 1 };

class TToggleSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit TToggleSwitch(QWidget* parent = nullptr);
    TToggleSwitchState State() const { return isChecked() ? tssOn : tssOff; }
    // Setting the state from code does not count as a click.
    void SetState(TToggleSwitchState s);
    QString StateCaption() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* parent = nullptr);
    QString SimpleText() const { return m_text; }
    void SetSimpleText(const QString& text);

private:
    QString m_text;
    QLabel* m_label;
};

class QAction;
class QToolButton;
class QRadioButton;

// A row of tool buttons that is one stop in the keyboard order: Tab enters
// it on the button used last, the arrow keys, Home and End move between the
// buttons, Space and Enter press the button that has the focus. A click with
// the mouse leaves the focus where it was.
class TToolBar : public QWidget {
    Q_OBJECT
public:
    explicit TToolBar(QWidget* parent = nullptr);
    // Adds a button (a child of the bar) at the end of the keyboard row.
    void AddButton(QAbstractButton* button);
    int ButtonCount() const { return int(m_buttons.size()); }
    QAbstractButton* Button(int i) const { return m_buttons.at(i); }
    // The button Tab enters the bar on.
    QAbstractButton* CurrentButton() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The focus shown around the focused button, which draws none itself.
    void paintEvent(QPaintEvent* event) override;

private:
    void MakeCurrent(int index);

    QList<QAbstractButton*> m_buttons;
    int m_current = 0;
};

// Places a control at its design geometry (pixels at 96 pixels per inch,
// relative to its parent). The design rectangle is kept with the control,
// so a zoom can recompute the geometry from it without drift.
void PlaceControl(QWidget* control, int left, int top, int width, int height);
// The design rectangle PlaceControl recorded; invalid when none was.
QRect DesignGeometry(const QWidget* control);

// An entry field with one button inside its right end showing `rightImage`.
// The text hint shows in grey while the field is empty; only a click on the
// button reports (RightButtonClick), typing, Enter and leaving do not. The
// button and its picture grow with the window's zoom.
class TButtonedEdit : public QLineEdit {
    Q_OBJECT
public:
    TButtonedEdit(QWidget* parent, const QString& textHint, const QIcon& rightImage);
    QString Text() const { return text(); }
    void SetText(const QString& v) { setText(v); }
    QString TextHint() const { return placeholderText(); }
    QAction* RightButton() const { return m_button; }
    // The button showing RightButton(): a stop in the keyboard order right
    // after the field, pressed with Space.
    QAbstractButton* RightButtonWidget() const;

signals:
    void RightButtonClick();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QAction* m_button;
    QToolButton* m_buttonWidget;
};

// A captioned box of radio buttons, one under another, sharing its height
// evenly. ItemIndex is the selected item's position, -1 when none is.
// Selecting from code does not report; a user's click does (Click).
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(QWidget* parent, const QString& caption, const QStringList& items);
    int ItemIndex() const;
    void SetItemIndex(int index);
    int Count() const { return int(m_buttons.size()); }
    QString Item(int index) const;
    QRadioButton* Button(int index) const { return m_buttons.at(index); }

signals:
    void Click();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayoutItems();

    QList<QRadioButton*> m_buttons;
};

// A whole-number field with up and down buttons, as the line tab's width and
// size fields use it. Every change of the text reports (Change), typed,
// pasted or stepped. Value() reads the text as a whole number; any text that
// is not one ("1.5", letters, nothing) reads as MinValue(). Typed text is not
// clamped; the buttons and the arrow keys step within MinValue()..MaxValue(),
// and the focus moving to another control replaces a value outside that
// range by the nearest bound, which reports again (the window going inactive
// leaves the focus in the field and clamps nothing).
class TSpinEdit : public QAbstractSpinBox {
    Q_OBJECT
    // Read by the accessibility layer's value interface.
    Q_PROPERTY(int value READ Value WRITE SetValue)
    Q_PROPERTY(int minimum READ MinValue)
    Q_PROPERTY(int maximum READ MaxValue)
public:
    explicit TSpinEdit(QWidget* parent = nullptr);
    int Value() const;
    // Writes the value, brought into the range, as the field's text.
    void SetValue(int v);
    int MinValue() const { return m_min; }
    int MaxValue() const { return m_max; }
    void SetMinValue(int v);
    void SetMaxValue(int v);
    QString Text() const;
    void SetText(const QString& v);

    void stepBy(int steps) override;
    // Any text is accepted; only a whole number is complete.
    QValidator::State validate(QString& input, int& pos) const override;

signals:
    void Change();

protected:
    StepEnabled stepEnabled() const override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int Clamp(long long v) const;

    int m_min = 0;
    int m_max = 100;
};

// The side tabs' controls are made by these, named (objectName) and
// captioned, then placed with PlaceControl.
class QCheckBox;
class QPushButton;
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption);
QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption);
// An entry field showing `textHint` while empty, with `rightImage` on its
// button.
TButtonedEdit* MakeEdit(QWidget* parent, const char* name, const QString& textHint, const QIcon& rightImage);
