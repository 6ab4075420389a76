// The real window in every style at every zoom, each side tab in turn: every
// control shows its whole text and lies wholly inside its parent, the usage
// notes keep their lines, and the tool bar's pictures stand out from the bar.
// A zoom the screen has no room for keeps the window on the screen, each side
// tab scrolling to any of its controls.

#include "Chart.h"
#include "ComboBox.h"
#include "Controls.h"
#include "FormScaler.h"
#include "StyleManager.h"
#include "WindowFixture.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionComboBox>
#include <QStyleOptionSpinBox>
#include <QStyleOption>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolButton>

#include <cmath>

namespace {

const QStringList kStyles{"Auric", "Glow", "Turquoise Gray", "Windows"};

QString Name(const QWidget* w)
{
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
}

// Where a control's text is drawn, and the text, when it has one.
struct TextRoom {
    QRect room;
    QString text;
};

std::optional<TextRoom> TextOf(QWidget* w)
{
    QStyle* style = w->style();
    if (auto* check = qobject_cast<QCheckBox*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(check);
        opt.text = check->text();
        return TextRoom{style->subElementRect(QStyle::SE_CheckBoxContents, &opt, check), check->text()};
    }
    if (auto* radio = qobject_cast<QRadioButton*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(radio);
        opt.text = radio->text();
        return TextRoom{style->subElementRect(QStyle::SE_RadioButtonContents, &opt, radio), radio->text()};
    }
    if (auto* push = qobject_cast<QPushButton*>(w); push && !push->text().isEmpty()) {
        QStyleOptionButton opt;
        opt.initFrom(push);
        opt.text = push->text();
        opt.features = QStyleOptionButton::None;
        return TextRoom{style->subElementRect(QStyle::SE_PushButtonContents, &opt, push), push->text()};
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        // Room for the widest entry.
        QString widest;
        for (int i = 0; i < combo->count(); ++i)
            if (combo->fontMetrics().horizontalAdvance(combo->itemText(i)) > combo->fontMetrics().horizontalAdvance(widest))
                widest = combo->itemText(i);
        return TextRoom{combo->lineEdit()->geometry(), widest};
    }
    if (auto* spin = qobject_cast<TSpinEdit*>(w)) {
        // Room for the largest value.
        const QLineEdit* edit = spin->findChild<QLineEdit*>();
        QRect room = edit->geometry();
        room.adjust(edit->textMargins().left(), 0, -edit->textMargins().right(), 0);
        return TextRoom{room, QString::number(spin->MaxValue())};
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w); edit && !qobject_cast<QComboBox*>(w->parentWidget())
                                                   && !qobject_cast<QAbstractSpinBox*>(w->parentWidget())) {
        // The hint shown while the field is empty, beside the field's button.
        const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
        QRect room = edit->contentsRect().adjusted(frame, frame, -frame, -frame);
        for (const QWidget* side : edit->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (side->isVisible() && side->geometry().center().x() > room.center().x())
                room.setRight(std::min(room.right(), side->geometry().left() - 1));
        return TextRoom{room, edit->text().isEmpty() ? edit->placeholderText() : edit->text()};
    }
    if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty())
        return TextRoom{label->contentsRect(), label->text()};
    return std::nullopt;
}

// Every fault of the shown controls: a text wider or taller than the room
// it is drawn in, a control cut off by its parent's edge, or a control
// smaller than it asks to be.
QStringList Clipped(TForm1& form)
{
    QStringList faults;
    for (QWidget* w : form.findChildren<QWidget*>()) {
        if (!w->isVisible() || w->window() != &form)
            continue;
        if (auto room = TextOf(w)) {
            const QFontMetrics fm = w->fontMetrics();
            // As wide as the text advances, as high as its ink.
            const int wide = fm.horizontalAdvance(room->text);
            const int high = fm.tightBoundingRect(room->text).height();
            if (wide > room->room.width() || high > room->room.height())
                faults << QStringLiteral("%1: \"%2\" needs %3x%4, has %5x%6")
                              .arg(Name(w), room->text)
                              .arg(wide)
                              .arg(high)
                              .arg(room->room.width())
                              .arg(room->room.height());
        }
        // Nothing reaches past its parent's edges, where it would be cut
        // off (what scrolls inside a scroll area's viewport may).
        if (QWidget* parent = w->parentWidget(); parent && !qobject_cast<QAbstractScrollArea*>(parent->parentWidget())
            && !parent->rect().contains(w->geometry()))
            faults << QStringLiteral("%1: at %2,%3 %4x%5 in %6 %7x%8 wide")
                          .arg(Name(w))
                          .arg(w->x())
                          .arg(w->y())
                          .arg(w->width())
                          .arg(w->height())
                          .arg(Name(parent))
                          .arg(parent->width())
                          .arg(parent->height());
        // Controls whose wish is exactly their text's room.
        const bool wishIsText = qobject_cast<TTabButton*>(w) || qobject_cast<TToggleSwitch*>(w)
            || qobject_cast<QGroupBox*>(w);
        if (wishIsText) {
            const QSize hint = qobject_cast<QGroupBox*>(w) ? w->minimumSizeHint() : w->sizeHint();
            if (hint.width() > w->width() || hint.height() > w->height())
                faults << QStringLiteral("%1: wants %2x%3, has %4x%5")
                              .arg(Name(w))
                              .arg(hint.width())
                              .arg(hint.height())
                              .arg(w->width())
                              .arg(w->height());
        }
    }
    return faults;
}

// Lines of the notes that the text field broke in two.
QStringList BrokenNoteLines(const QPlainTextEdit* notes)
{
    QStringList broken;
    for (QTextBlock b = notes->document()->begin(); b.isValid(); b = b.next())
        if (b.layout() && b.layout()->lineCount() > 1)
            broken << b.text();
    return broken;
}

double Luminance(QColor c)
{
    const auto lin = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
}

double Contrast(QColor a, QColor b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of a tool button's picture against the bar behind it: the
// picture's most contrasting pixel against the bar's colour there (an
// outline drawn in one ink shows as that ink in its middle).
double IconContrast(TForm1& form, QToolButton* button)
{
    // The window as the user sees it, not the bar alone, which a grab
    // would draw on a ground of its own.
    const QImage bar = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const qreal dpr = bar.devicePixelRatio();
    const QRect r = button->geometry().translated(form.ToolBar1->mapTo(&form, QPoint(0, 0)));
    // The bar's own colour in the button's middle row, right of the last
    // button, where nothing is drawn on it.
    const QRect last = form.SaveBmpBtn->geometry().translated(form.ToolBar1->mapTo(&form, QPoint(0, 0)));
    const QColor ground = bar.pixelColor(int((last.right() + 20) * dpr), int(r.center().y() * dpr));
    double best = 1.0;
    const QRect icon(r.center() - QPoint(button->iconSize().width() / 2, button->iconSize().height() / 2),
                     button->iconSize());
    for (int y = int(icon.top() * dpr); y < int(icon.bottom() * dpr); ++y)
        for (int x = int(icon.left() * dpr); x < int(icon.right() * dpr); ++x)
            best = std::max(best, Contrast(bar.pixelColor(x, y), ground));
    return best;
}

} // namespace

// The window in `style` at the zoom entry `zoom`, a table plotted with one
// line skipped, so the status bar shows its notice too.
struct StyledWindow : ShownWindow {
    StyledWindow(const QString& style, int zoom)
    {
        if (!TStyleManager::TrySetStyle(style, false))
            qFatal("no such style");
        Zoom(zoom);
        Paste(QStringLiteral("X1,Y1\n100,101\n101,102\n103,103\n1,\n"));
        QCoreApplication::processEvents();
    }
    // Picks the zoom list's entry `zoom`.
    void Zoom(int zoom)
    {
        static_cast<TComboBox*>(form->ScaleComboBox)->SetItemIndex(zoom);
        form->ScaleComboBoxChange(form->ScaleComboBox);
    }
};

void StylesAndZooms(int firstZoom = 0)
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<int>("zoom");
    for (const QString& style : kStyles)
        for (int zoom = firstZoom; zoom < 5; ++zoom)
            QTest::addRow("%s %d%%", qPrintable(style), ZoomEntryPPI(zoom) * 100 / 96) << style << zoom;
}

// The bounding box of what is drawn inside `area` of `w`: the pixels that
// `ink(colour, ground)` picks out, ground being the colour most pixels of
// the area have.
template <class Ink>
QSize InkSize(QWidget* w, const QRect& area, Ink&& ink)
{
    const QImage img = w->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            ++counts[img.pixel(x, y)];
    const auto most = std::max_element(counts.keyValueBegin(), counts.keyValueEnd(),
                                       [](auto a, auto b) { return a.second < b.second; });
    const QColor ground = most == counts.keyValueEnd() ? QColor() : QColor::fromRgb(most->first);
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (ink(img.pixelColor(x, y), ground))
                box |= QRect(x, y, 1, 1);
    return box.size() / img.devicePixelRatio();
}

// The sizes of what styles draw beside the texts: the indicators of a check
// box and a radio button, a spin field's up button and the arrow drawn in
// it, a list's drop-down button, an entry field's check-mark button and the
// mark drawn in it, the switch's height, and the text's own height to
// compare them with.
struct Marks {
    QSize check, radio, spinUp, spinArrow, dropDown, checkMark, checkMarkInk, toggle;
    int text = 0;
};

Marks Measure(TForm1& form)
{
    Marks m;
    {
        QStyleOptionButton opt;
        opt.initFrom(form.AutoSize);
        m.check = form.AutoSize->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, form.AutoSize).size();
        QRadioButton* radio = form.SeriesStyle->Button(0);
        opt.initFrom(radio);
        m.radio = radio->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &opt, radio).size();
    }
    {
        QStyleOptionSpinBox opt;
        opt.initFrom(form.SeriesSize);
        opt.frame = true;
        opt.subControls = QStyle::SC_All;
        const QRect up = form.SeriesSize->style()->subControlRect(QStyle::CC_SpinBox, &opt, QStyle::SC_SpinBoxUp,
                                                                   form.SeriesSize);
        m.spinUp = up.size();
        // The arrow stands out from the button's face; its frame does not.
        form.PageControl1->SetTabIndex(1);
        QCoreApplication::processEvents();
        m.spinArrow = InkSize(form.SeriesSize, up, [](QColor c, QColor ground) { return Contrast(c, ground) >= 3.0; });
        form.PageControl1->SetTabIndex(0);
        QCoreApplication::processEvents();
    }
    {
        QStyleOptionComboBox opt;
        opt.initFrom(form.ScaleComboBox);
        opt.editable = true;
        opt.frame = true;
        opt.subControls = QStyle::SC_All;
        m.dropDown = form.ScaleComboBox->style()
                         ->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxArrow, form.ScaleComboBox)
                         .size();
    }
    QAbstractButton* apply = form.TitleEditBtn->RightButtonWidget();
    m.checkMark = apply->size();
    // The mark is the only green in the field.
    m.checkMarkInk = InkSize(form.TitleEditBtn, apply->geometry(), [](QColor c, QColor) {
        return c.green() - std::max(c.red(), c.blue()) > 60;
    });
    m.toggle = form.ToggleSwitch1->size();
    m.text = form.AutoSize->fontMetrics().height();
    return m;
}

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QVERIFY(TStyleManager::TrySetStyle(TStyleManager::SystemStyleName(), false)); }

    void everyTextFits_data() { StylesAndZooms(); }
    void everyTextFits()
    {
        QFETCH(QString, style);
        QFETCH(int, zoom);
        StyledWindow w(style, zoom);
        QVERIFY(w.form->SkippedLinesNotice->isVisible());
        QStringList faults;
        for (int tab = 0; tab < w.form->PageControl1->PageCount(); ++tab) {
            w.form->PageControl1->SetTabIndex(tab);
            QCoreApplication::processEvents();
            for (const QString& fault : Clipped(*w.form))
                faults << w.form->PageControl1->TabCaption(tab) + QStringLiteral(": ") + fault;
        }
        if (!faults.isEmpty())
            qWarning().noquote() << faults.join(u'\n');
        QVERIFY2(faults.isEmpty(), qPrintable(QStringLiteral("%1 clipped").arg(faults.size())));
    }

    // At the zooms the test screen has no room for, the window stays on the
    // screen and every control of each side tab lies on its page, which
    // scrolls to show it whole.
    void zoomedTabsScrollToEveryControl_data() { StylesAndZooms(3); }
    void zoomedTabsScrollToEveryControl()
    {
        QFETCH(QString, style);
        QFETCH(int, zoom);
        StyledWindow w(style, zoom);
        QVERIFY(w.form->screen()->availableGeometry().contains(w.form->frameGeometry()));
        TPageControl* pages = w.form->PageControl1;
        QStringList faults;
        bool scrolled = false;
        for (int tab = 0; tab < pages->PageCount(); ++tab) {
            pages->SetTabIndex(tab);
            QCoreApplication::processEvents();
            QWidget* page = pages->Page(tab);
            QScrollArea* scroller = pages->PageScroller(tab);
            scrolled |= scroller->verticalScrollBar()->maximum() > 0;
            for (QWidget* c : page->findChildren<QWidget*>()) {
                if (!DesignGeometry(c).isValid())
                    continue;
                const QString where = pages->TabCaption(tab) + QStringLiteral(": ") + Name(c);
                if (!page->rect().contains(QRect(c->mapTo(page, QPoint(0, 0)), c->size())))
                    faults << where + QStringLiteral(" lies outside its page");
                scroller->ensureWidgetVisible(c, 0, 0);
                const QRect shown(c->mapTo(scroller->viewport(), QPoint(0, 0)), c->size());
                if (!scroller->viewport()->rect().contains(shown))
                    faults << where + QStringLiteral(" is not shown whole when scrolled to");
            }
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
        // The window really was too small for some page.
        QVERIFY(scrolled);
    }

    // The keyboard reaches a control scrolled out of view: it comes into
    // view as it takes the focus.
    void focusScrollsTheControlIntoView()
    {
        StyledWindow w(QStringLiteral("Windows"), 4);
        QVERIFY(w.Active());
        w.form->PageControl1->SetTabIndex(0);
        QScrollArea* scroller = w.form->PageControl1->PageScroller(0);
        QCoreApplication::processEvents();
        scroller->verticalScrollBar()->setValue(0);
        const auto shown = [&] {
            const QRect r(w.form->ChartShadow->mapTo(scroller->viewport(), QPoint(0, 0)), w.form->ChartShadow->size());
            return scroller->viewport()->rect().contains(r);
        };
        QVERIFY(!shown());
        w.form->ChartShadow->setFocus(Qt::TabFocusReason);
        QVERIFY(shown());
    }

    // The window's size after zooming through `zooms`: the design size times
    // the last zoom, as far as the screen has room for a window grown by the
    // zoom; a size the zoom cut to the screen is not taken for the user's.
    void zoomBackRestoresTheWindowsSize_data()
    {
        QTest::addColumn<QList<int>>("zooms");
        QTest::newRow("200%, back to 100%") << QList<int>{4, 0};
        QTest::newRow("200%, then 125%") << QList<int>{4, 1};
        QTest::newRow("150%, 200%, back to 100%") << QList<int>{2, 4, 0};
    }
    void zoomBackRestoresTheWindowsSize()
    {
        QFETCH(QList<int>, zooms);
        StyledWindow w(QStringLiteral("Windows"), 0);
        for (int zoom : zooms)
            w.Zoom(zoom);
        const double factor = ZoomEntryPPI(zooms.last()) / 96.0;
        const QSize zoomed(int(std::lround(936 * factor)), int(std::lround(593 * factor)));
        QCOMPARE(w.form->size(), factor > 1 ? zoomed.boundedTo(w.ScreenRoom()) : zoomed);
        if (factor == 1)
            QCOMPARE(w.form->size(), QSize(936, 593));
    }

    // The notes keep their 28 lines as written, scrolling where they are
    // wider than the tab.
    void notesKeepTheirLines_data() { StylesAndZooms(); }
    void notesKeepTheirLines()
    {
        QFETCH(QString, style);
        QFETCH(int, zoom);
        StyledWindow w(style, zoom);
        w.form->PageControl1->SetTabIndex(3);
        QCoreApplication::processEvents();
        QCOMPARE(w.form->Memo2->document()->blockCount(), 28);
        const QStringList broken = BrokenNoteLines(w.form->Memo2);
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join(u'\n')));
    }

    // What the styles draw beside the texts grows as the texts do, at every
    // zoom: measured against 100 %.
    void indicatorsGrowWithTheZoom_data() { StylesAndZooms(1); }
    void indicatorsGrowWithTheZoom()
    {
        QFETCH(QString, style);
        QFETCH(int, zoom);
        StyledWindow w(style, 0);
        const Marks small = Measure(*w.form);
        w.Zoom(zoom);
        QCoreApplication::processEvents();
        const Marks large = Measure(*w.form);
        const double textGrowth = double(large.text) / small.text;
        QVERIFY(textGrowth > 0.8 * ZoomEntryPPI(zoom) / 96.0);
        // Within a tenth of the size the text's growth predicts, and a pixel
        // and a half of rounding (small parts round coarsely).
        const auto grewLikeText = [&](const char* what, QSize before, QSize after) {
            const auto off = [&](int was, int is) {
                const double expected = was * textGrowth;
                return std::fabs(is - expected) > 0.1 * expected + 1.5;
            };
            if (before.isEmpty() || off(before.width(), after.width()) || off(before.height(), after.height()))
                return QStringLiteral("%1: %2x%3 became %4x%5 while the text grew %6 times")
                    .arg(QLatin1String(what))
                    .arg(before.width())
                    .arg(before.height())
                    .arg(after.width())
                    .arg(after.height())
                    .arg(textGrowth, 0, 'f', 2);
            return QString();
        };
        QStringList faults;
        for (const QString& fault :
             {grewLikeText("check box", small.check, large.check), grewLikeText("radio button", small.radio, large.radio),
              grewLikeText("spin button", small.spinUp, large.spinUp),
              grewLikeText("spin arrow", small.spinArrow, large.spinArrow),
              grewLikeText("drop-down button", small.dropDown, large.dropDown),
              grewLikeText("check-mark button", small.checkMark, large.checkMark),
              grewLikeText("check mark", small.checkMarkInk, large.checkMarkInk),
              grewLikeText("switch", small.toggle, large.toggle)})
            if (!fault.isEmpty())
                faults << fault;
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    }

    // A control that takes the focus, or the pointer, shows it: some of its
    // pixels change, by a contrast of at least 3:1 against what they were.
    void focusAndHoverShow_data()
    {
        QTest::addColumn<QString>("style");
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("hover");
        for (const QString& style : kStyles)
            for (const char* control : {"OpenBtn", "TitleFontBtn", "BorderCheck", "TitleEditBtn", "StyleSelecter"})
                for (bool hover : {false, true})
                    if (!hover || QByteArray(control).endsWith("FontBtn") || QByteArray(control) == "OpenBtn"
                        || QByteArray(control) == "TitleEditBtn")
                        QTest::addRow("%s, %s, %s", qPrintable(style), control, hover ? "pointer" : "focus")
                            << style << QString::fromLatin1(control) << hover;
    }
    void focusAndHoverShow()
    {
        QFETCH(QString, style);
        QFETCH(QString, control);
        QFETCH(bool, hover);
        StyledWindow w(style, 0);
        QVERIFY(w.Active());
        auto* c = w.form->findChild<QWidget*>(control);
        QVERIFY(c);
        w.form->PageControl1->SetTabIndex(c == w.form->StyleSelecter ? 3 : 0);
        w.form->Chart1->setFocus();
        QTest::mouseMove(w.form->Chart1);
        QCoreApplication::processEvents();
        const QRect around = QRect(c->mapTo(w.form.get(), QPoint(0, 0)), c->size()).adjusted(-3, -3, 3, 3);
        const QImage before = w.form->grab(around).toImage().convertToFormat(QImage::Format_RGB32);
        if (hover) {
            // An entry field shows the pointer on its button.
            auto* edit = qobject_cast<TButtonedEdit*>(c);
            QTest::mouseMove(edit ? edit->RightButtonWidget() : c);
        } else {
            // As the Tab key moves it, so the window shows where it is.
            w.form->setAttribute(Qt::WA_KeyboardFocusChange);
            c->setFocus(Qt::TabFocusReason);
        }
        QCoreApplication::processEvents();
        const QImage after = w.form->grab(around).toImage().convertToFormat(QImage::Format_RGB32);
        double best = 1.0;
        for (int y = 0; y < std::min(before.height(), after.height()); ++y)
            for (int x = 0; x < std::min(before.width(), after.width()); ++x)
                best = std::max(best, Contrast(before.pixelColor(x, y), after.pixelColor(x, y)));
        // The focus by the contrast a focus indicator needs; the pointer
        // only has to show.
        QVERIFY2(best >= (hover ? 1.05 : 3.0), qPrintable(QStringLiteral("strongest change %1:1").arg(best, 0, 'f', 2)));
    }

    void toolBarPicturesStandOut_data() { StylesAndZooms(); }
    void toolBarPicturesStandOut()
    {
        QFETCH(QString, style);
        QFETCH(int, zoom);
        StyledWindow w(style, zoom);
        for (QToolButton* b : {w.form->OpenBtn, w.form->PasteBtn, w.form->CopyEMFBtn, w.form->SaveEMFBtn,
                               w.form->CopyBmpBtn, w.form->SaveBmpBtn}) {
            const double contrast = IconContrast(*w.form, b);
            QVERIFY2(contrast >= 4.5, qPrintable(QStringLiteral("%1: %2:1").arg(Name(b)).arg(contrast, 0, 'f', 2)));
        }
    }
};

QTEST_MAIN(TestLayout)
#include "tst_Layout.moc"
