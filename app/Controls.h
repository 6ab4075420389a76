#pragma once
// Small controls of the main window that Qt has no exact match for: a page
// control whose tab captions wrap to further rows, an on/off switch, a
// status bar with one simple text and a tool bar with fixed button places.

#include <QAbstractButton>
#include <QStatusBar>
#include <QWidget>

class QLabel;
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
    // Adds a page with its tab; the page is the returned widget.
    QWidget* AddPage(const QString& objectName, const QString& caption);
    int PageCount() const;
    QWidget* Page(int i) const;
    QString TabCaption(int i) const;
    int TabIndex() const;
    // Shows page i; out-of-range values show none.
    void SetTabIndex(int i);
    // Rows the tab captions take at the current width.
    int TabRows() const { return m_rows; }
    QSize minimumSizeHint() const override;

signals:
    void TabChanged(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayoutTabs();

    QList<TTabButton*> m_tabs;
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
