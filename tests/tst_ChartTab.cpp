// The chart tab driven as a user drives it: its controls, the title text,
// the shared font and colour dialogs, the title position, the axis names,
// the background picture and its refusals, border and shadow.

#include "Chart.h"
#include "ChartRenderer.h"
#include "Controls.h"
#include "Dialogs.h"
#include "ErrorReporting.h"
#include "WindowFixture.h"
#include "FontColorDialog.h"
#include "TestFiles.h"
#include "Unit1.h"

#include <QAccessible>
#include <QApplication>
#include <QInputMethodEvent>
#include <QBuffer>
#include <QCheckBox>
#include <QFontDialog>
#include <QImageWriter>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

constexpr TColor clRed = RGBColor(255, 0, 0);
constexpr TColor clGreen = RGBColor(0, 128, 0);

const QString kPictureFilter = QStringLiteral(
    "すべて (*.svg;*.wbmp;*.webp;*.svg;*.gif;*.jpg;*.jpeg;*.png;*.bmp;*.ico;*.emf;*.wmf;*.tif;*.tiff)|"
    "*.svg;*.wbmp;*.webp;*.svg;*.gif;*.jpg;*.jpeg;*.png;*.bmp;*.ico;*.emf;*.wmf;*.tif;*.tiff|"
    "Scalable Vector Graphics (*.svg)|*.svg|WBMP Images (*.wbmp)|*.wbmp|WebP Images (*.webp)|*.webp|"
    "Scalable Vector Graphics (*.svg)|*.svg|GIF 画像 (*.gif)|*.gif|JPEG イメージファイル (*.jpg)|*.jpg|"
    "JPEG イメージファイル (*.jpeg)|*.jpeg|Portable Network Graphics (*.png)|*.png|ビットマップ (*.bmp)|*.bmp|"
    "アイコン (*.ico)|*.ico|エンハンス メタファイル (*.emf)|*.emf|メタファイル (*.wmf)|*.wmf|"
    "TIFF 画像 (*.tif)|*.tif|TIFF 画像 (*.tiff)|*.tiff|PNG 画像(*.png)|*.png");

struct Window : ShownWindow {
    TChart& chart() { return *form->Chart1; }
    TChartWall& wall() { return chart().Walls().Back(); }

    QString WriteImage(const QString& name, QColor color, const char* format = "png")
    {
        QImage image(16, 12, QImage::Format_RGB32);
        image.fill(color);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, format).write(image);
        return WriteFile(name, bytes);
    }
    void ChoosePicture(const QString& path)
    {
        dialogs->pictureAnswers << path;
        QTest::mouseClick(form->WallPictureBtn, Qt::LeftButton);
    }
    void ChooseColor(QPushButton* button, std::optional<TColor> answer)
    {
        dialogs->colorAnswer = answer;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    void ChooseFont(QPushButton* button, std::optional<FontChoice> answer)
    {
        dialogs->fontAnswer = answer;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // A point of the plot area away from grid lines.
    QColor PlotPixel()
    {
        const QImage img = chart().RenderImage(Qt::white);
        const QRect plot = ComputeChartLayout(chart().Model(), img.rect()).plot;
        return img.pixelColor(plot.center() + QPoint(17, -23));
    }
};

// Clicks the check mark inside an entry field's right end.
void ClickCheckMark(TButtonedEdit* edit)
{
    QToolButton* button = nullptr;
    for (QToolButton* b : edit->findChildren<QToolButton*>())
        if (b->defaultAction() == edit->RightButton())
            button = b;
    QVERIFY2(button && button->isVisible(), "no visible check-mark button");
    QTest::mouseClick(button, Qt::LeftButton);
}

// Text as an input method hands it over, the way Japanese text is typed.
void Commit(QWidget* edit, const QString& text)
{
    edit->setFocus();
    QInputMethodEvent e;
    e.setCommitString(text);
    QApplication::sendEvent(edit, &e);
}

FontChoice Font(const QString& name, int size, TColor color, TFontStyles style)
{
    FontChoice f;
    f.name = name;
    f.size = size;
    f.color = color;
    f.style = style;
    return f;
}

void CompareFont(const TChartFont& actual, const FontChoice& expected)
{
    QCOMPARE(actual.Name(), expected.name);
    QCOMPARE(actual.Size(), expected.size);
    QCOMPARE(actual.Color(), expected.color);
    QCOMPARE(actual.Style(), expected.style);
}

bool Near(QColor a, QColor b, int tol = 12)
{
    return qAbs(a.red() - b.red()) <= tol && qAbs(a.green() - b.green()) <= tol && qAbs(a.blue() - b.blue()) <= tol;
}

} // namespace

class TestChartTab : public QObject {
    Q_OBJECT
private slots:
    void controlsAtTheirPlacesWithTheirTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("accessibleName");
        QTest::newRow("TitleEditBtn") << "TitleEditBtn" << QRect(11, 16, 118, 21) << "タイトル名";
        QTest::newRow("TitleFontBtn") << "TitleFontBtn" << QRect(11, 43, 126, 25) << "タイトル\u3000フォント";
        QTest::newRow("SuBTitleFontBtn") << "SuBTitleFontBtn" << QRect(14, 74, 123, 25) << "サブタイトル\u3000フォント";
        QTest::newRow("ChartTitleAlignment") << "ChartTitleAlignment" << QRect(11, 105, 126, 86) << "タイトル位置";
        QTest::newRow("XAxisEdit") << "XAxisEdit" << QRect(16, 197, 121, 21) << "X軸名";
        QTest::newRow("YAxisEdit") << "YAxisEdit" << QRect(15, 226, 121, 21) << "Y軸名";
        QTest::newRow("AxisFont") << "AxisFont" << QRect(11, 253, 123, 25) << "各軸\u3000フォント\u3000";
        QTest::newRow("ChartColorBtn") << "ChartColorBtn" << QRect(15, 284, 58, 25) << "外部色";
        QTest::newRow("WallColorBtn") << "WallColorBtn" << QRect(79, 284, 57, 25) << "内部色";
        QTest::newRow("WallPictureBtn") << "WallPictureBtn" << QRect(15, 315, 114, 25) << "画像選択";
        QTest::newRow("BorderCheck") << "BorderCheck" << QRect(16, 352, 105, 17) << "ボーダーを付ける";
        QTest::newRow("ChartShadow") << "ChartShadow" << QRect(16, 375, 81, 17) << "影を付ける";
    }
    void controlsAtTheirPlacesWithTheirTexts()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, accessibleName);
        Window w;
        auto* control = w.form->TabSheet1->findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(control->parentWidget(), w.form->TabSheet1);
        QCOMPARE(DesignGeometry(control), geometry);
        // A caption wider in this face than the design allowed widens its
        // control to the right; nothing else moves.
        QCOMPARE(control->pos(), geometry.topLeft());
        QCOMPARE(control->height(), geometry.height());
        if (control->width() != geometry.width()) {
            QVERIFY(control->width() > geometry.width());
            QVERIFY(control->geometry().right() < w.form->TabSheet1->width());
        }
        QVERIFY(control->isVisible());
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control);
        QVERIFY(a);
        QCOMPARE(a->text(QAccessible::Name), accessibleName);
        if (auto* edit = qobject_cast<TButtonedEdit*>(control)) {
            QVERIFY(edit->Text().isEmpty());
            QCOMPARE(edit->TextHint(), accessibleName);
            const QPixmap mark = w.form->ImageList1->Image(0);
            QCOMPARE(edit->RightButton()->icon().pixmap(QSize(16, 16), mark.devicePixelRatio()).toImage(),
                     mark.toImage());
        } else if (auto* button = qobject_cast<QPushButton*>(control)) {
            QCOMPARE(button->text(), accessibleName);
        } else if (auto* check = qobject_cast<QCheckBox*>(control)) {
            QCOMPARE(check->text(), accessibleName);
            QVERIFY(!check->isChecked());
        }
    }

    void startStates()
    {
        Window w;
        TRadioGroup& g = *w.form->ChartTitleAlignment;
        QCOMPARE(g.Count(), 3);
        QCOMPARE(g.Item(0), QStringLiteral("左寄席"));
        QCOMPARE(g.Item(1), QStringLiteral("中央"));
        QCOMPARE(g.Item(2), QStringLiteral("右寄せ"));
        QCOMPARE(g.ItemIndex(), 1);
        QCOMPARE(w.form->WallPictureBtn->toolTip(), QStringLiteral("バックに画像を貼り付ける"));
        QCOMPARE(QAccessible::queryAccessibleInterface(w.form->WallPictureBtn)->text(QAccessible::Description),
                 QStringLiteral("バックに画像を貼り付ける"));
        QCOMPARE(w.form->OpenPictureDialog1->Filter(), kPictureFilter);
        QCOMPARE(kPictureFilter.split(u'|').size(), 32);
        QCOMPARE(w.form->FontDialog1->Font().name, QStringLiteral("Tahoma"));
        QCOMPARE(w.form->FontDialog1->Font().size, 8);
        QCOMPARE(w.form->FontDialog1->Font().color, clWindowText);
        QCOMPARE(w.form->ColorDialog1->Color(), clBlack);
    }

    void pictureFilterInQtForm_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("qt");
        QTest::newRow("patterns in the description shown once")
            << "すべて (*.png;*.bmp)|*.png;*.bmp|PNG 画像(*.png)|*.png" << "すべて (*.png *.bmp);;PNG 画像 (*.png)";
        QTest::newRow("description without patterns") << "Bitmap|*.bmp" << "Bitmap (*.bmp)";
        QTest::newRow("other patterns in the description kept") << "Pictures (*.x)|*.png" << "Pictures (*.x) (*.png)";
    }
    void pictureFilterInQtForm()
    {
        QFETCH(QString, filter);
        QFETCH(QString, qt);
        QCOMPARE(ToQtFilter(filter), qt);
    }

    void titleText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("title");
        const QStringList start{QStringLiteral("Plotmere Graph")};
        QTest::newRow("check mark") << "Test" << "check" << QStringList{"Test"};
        QTest::newRow("spaces kept") << "  a  b " << "check" << QStringList{"  a  b "};
        QTest::newRow("empty field, blank title") << "" << "check" << QStringList{""};
        QTest::newRow("Enter changes nothing") << "Test" << "enter" << start;
        QTest::newRow("leaving changes nothing") << "Test" << "leave" << start;
        QTest::newRow("typing changes nothing") << "Test" << "none" << start;
    }
    void titleText()
    {
        QFETCH(QString, typed);
        QFETCH(QString, action);
        QFETCH(QStringList, title);
        Window w;
        TButtonedEdit* edit = w.form->TitleEditBtn;
        edit->setFocus();
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->Text(), typed);
        if (action == "check")
            ClickCheckMark(edit);
        else if (action == "enter")
            QTest::keyClick(edit, Qt::Key_Return);
        else if (action == "leave")
            w.form->TitleFontBtn->setFocus();
        QCOMPARE(w.chart().Title().Text().Lines(), title);
        QCOMPARE(edit->Text(), typed);
        QCOMPARE(w.messages->shown.size(), 0);
    }

    // Which font each button presets its colour from and copies to.
    void fontButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("title") << "TitleFontBtn";
        QTest::newRow("subtitle") << "SuBTitleFontBtn";
        QTest::newRow("axis names") << "AxisFont";
    }
    void fontButtons()
    {
        QFETCH(QString, button);
        Window w;
        TChart& c = w.chart();
        c.Title().Font().SetColor(RGBColor(1, 2, 3));
        c.SubTitle().Font().SetColor(RGBColor(4, 5, 6));
        c.LeftAxis().Title().Font().SetColor(RGBColor(7, 8, 9));
        c.BottomAxis().Title().Font().SetColor(RGBColor(10, 11, 12));
        TChartFont* const fonts[] = {&c.Title().Font(), &c.SubTitle().Font(), &c.LeftAxis().Title().Font(),
                                     &c.BottomAxis().Title().Font()};
        QList<FontChoice> before;
        for (TChartFont* f : fonts)
            before.append(Font(f->Name(), f->Size(), f->Color(), f->Style()));
        const FontChoice labelsBefore = Font(c.LeftAxis().LabelsFont().Name(), c.LeftAxis().LabelsFont().Size(),
                                             c.LeftAxis().LabelsFont().Color(), c.LeftAxis().LabelsFont().Style());

        QList<int> targets; // indexes into `fonts`
        TColor preset = 0;
        if (button == "TitleFontBtn") {
            targets = {0};
            preset = RGBColor(1, 2, 3);
        } else if (button == "SuBTitleFontBtn") {
            targets = {1};
            preset = RGBColor(4, 5, 6);
        } else {
            targets = {2, 3};
            preset = RGBColor(7, 8, 9); // the left axis's colour, for both axes
        }
        auto* b = w.form->TabSheet1->findChild<QPushButton*>(button);

        // Cancelled: nothing changes, but the dialog keeps the preset colour.
        w.ChooseFont(b, std::nullopt);
        QCOMPARE(w.dialogs->presetFont.color, preset);
        QCOMPARE(w.dialogs->presetFont.name, QStringLiteral("Tahoma"));
        QCOMPARE(w.dialogs->presetFont.size, 8);
        QCOMPARE(w.form->FontDialog1->Font().color, preset);
        for (int i = 0; i < 4; ++i)
            CompareFont(*fonts[i], before[i]);

        const FontChoice chosen = Font(QStringLiteral("Noto Sans"), 17, clRed, fsBold | fsUnderline | fsStrikeOut);
        w.ChooseFont(b, chosen);
        QCOMPARE(w.dialogs->presetFont.color, preset);
        for (int i = 0; i < 4; ++i)
            CompareFont(*fonts[i], targets.contains(i) ? chosen : before[i]);
        // The numbers along the axes keep their font.
        CompareFont(c.LeftAxis().LabelsFont(), labelsBefore);
        QCOMPARE(w.messages->shown.size(), 0);
    }

    void fontDialogCarriesFaceSizeAndStyleOver()
    {
        Window w;
        const TColor subtitleColour = w.chart().SubTitle().Font().Color();
        QCOMPARE(w.chart().Title().Font().Color(), clBlue);
        const FontChoice red = Font(QStringLiteral("DejaVu Serif"), 20, clRed, fsItalic);
        w.ChooseFont(w.form->TitleFontBtn, red);
        QCOMPARE(w.dialogs->presetFont.color, clBlue); // opened on the title's blue
        CompareFont(w.chart().Title().Font(), red);

        // The subtitle dialog shows the subtitle's colour with the title's face and size.
        w.ChooseFont(w.form->SuBTitleFontBtn, std::nullopt);
        QCOMPARE(w.dialogs->presetFont.name, QStringLiteral("DejaVu Serif"));
        QCOMPARE(w.dialogs->presetFont.size, 20);
        QCOMPARE(w.dialogs->presetFont.style, TFontStyles(fsItalic));
        QCOMPARE(w.dialogs->presetFont.color, subtitleColour);
        QCOMPARE(w.chart().SubTitle().Font().Color(), subtitleColour);
        QCOMPARE(w.chart().SubTitle().Font().Size(), 9);
    }

    void realFontDialogOffersColourUnderlineAndStrikeOut()
    {
        TFontColorDialog d;
        const FontChoice in = Font(QStringLiteral("DejaVu Sans"), 14, clWindowText, fsBold | fsUnderline | fsStrikeOut);
        d.SetChoice(in);
        FontChoice out = d.Choice();
        QCOMPARE(out.name, in.name);
        QCOMPARE(out.size, 14);
        QCOMPARE(out.style, in.style);
        QCOMPARE(out.color, clWindowText); // an untouched colour stays the system colour
        // The underline and strike-out boxes are offered and read back.
        const QList<QCheckBox*> effects = d.FontPanel()->findChildren<QCheckBox*>();
        QCOMPARE(effects.size(), 2);
        for (QCheckBox* box : effects) {
            QVERIFY(box->isVisibleTo(&d));
            QVERIFY(box->isChecked());
            box->click();
        }
        d.SetColor(clRed);
        out = d.Choice();
        QCOMPARE(out.style, TFontStyles(fsBold));
        QCOMPARE(out.color, clRed);
        QVERIFY(d.ColorButton()->isVisibleTo(&d));
        QCOMPARE(d.ColorButton()->text(), QStringLiteral("#FF0000"));
    }

    void titlePosition_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<int>("alignment");
        QTest::newRow("左寄席") << 0 << int(taLeftJustify);
        QTest::newRow("中央") << 1 << int(taCenter);
        QTest::newRow("右寄せ") << 2 << int(taRightJustify);
    }
    void titlePosition()
    {
        QFETCH(int, item);
        QFETCH(int, alignment);
        Window w;
        // From the opposite side first, so every row sees a change.
        w.chart().Title().SetAlignment(item == 0 ? taRightJustify : taLeftJustify);
        QRadioButton* button = w.form->ChartTitleAlignment->Button(item);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2)); // on the circle
        QCOMPARE(w.form->ChartTitleAlignment->ItemIndex(), item);
        QCOMPARE(int(w.chart().Title().Alignment()), alignment);
        QCOMPARE(w.chart().SubTitle().Alignment(), taCenter);
    }

    void titlePositionWithoutSelectionStays()
    {
        Window w;
        w.form->ChartTitleAlignment->SetItemIndex(-1);
        w.chart().Title().SetAlignment(taRightJustify);
        w.form->ChartTitleAlignmentClick(w.form->ChartTitleAlignment);
        QCOMPARE(w.chart().Title().Alignment(), taRightJustify);
    }

    void axisNames_data()
    {
        QTest::addColumn<bool>("swapped");
        QTest::newRow("columns as loaded") << false;
        QTest::newRow("XY swap on") << true;
    }
    void axisNames()
    {
        QFETCH(bool, swapped);
        Window w;
        w.dialogs->openAnswers << w.WriteFile("t.csv", "X1,Y1\n1,2\n2,3\n3,5\n");
        w.form->OpenBtn->click();
        if (swapped)
            w.form->ToggleSwitch1->click();
        QCOMPARE(w.chart().BottomAxis().Title().Caption(), swapped ? QStringLiteral("Y1") : QStringLiteral("X1"));

        // Typing alone names nothing; the check mark names the bottom and the left axis.
        Commit(w.form->XAxisEdit, QStringLiteral("時間 [s]"));
        Commit(w.form->YAxisEdit, QStringLiteral("電圧"));
        QTest::keyClick(w.form->YAxisEdit, Qt::Key_Return);
        QCOMPARE(w.chart().LeftAxis().Title().Caption(), swapped ? QStringLiteral("X1") : QStringLiteral("Y1"));
        ClickCheckMark(w.form->XAxisEdit);
        ClickCheckMark(w.form->YAxisEdit);
        QCOMPARE(w.chart().BottomAxis().Title().Caption(), QStringLiteral("時間 [s]"));
        QCOMPARE(w.chart().LeftAxis().Title().Caption(), QStringLiteral("電圧"));

        // The next plot puts the stored column names back.
        w.form->ToggleSwitch1->click();
        const bool nowSwapped = !swapped;
        QCOMPARE(w.chart().BottomAxis().Title().Caption(), nowSwapped ? QStringLiteral("Y1") : QStringLiteral("X1"));
        QCOMPARE(w.chart().LeftAxis().Title().Caption(), nowSwapped ? QStringLiteral("X1") : QStringLiteral("Y1"));
        QCOMPARE(w.form->XAxisEdit->Text(), QStringLiteral("時間 [s]"));

        // An empty field removes the name.
        w.form->XAxisEdit->clear();
        ClickCheckMark(w.form->XAxisEdit);
        QVERIFY(w.chart().BottomAxis().Title().Caption().isEmpty());
        QCOMPARE(w.messages->shown.size(), 0);
    }

    void colourDialogIsShared()
    {
        Window w;
        const TColor startColour = w.chart().Color();
        w.ChooseColor(w.form->ChartColorBtn, std::nullopt);
        QCOMPARE(w.dialogs->presetColor, clBlack);
        QCOMPARE(w.chart().Color(), startColour);

        w.ChooseColor(w.form->ChartColorBtn, clRed);
        QCOMPARE(w.chart().Color(), clRed);
        QVERIFY(w.wall().Transparent());

        // The inner colour opens on the outer colour just confirmed; cancelling changes nothing.
        w.ChooseColor(w.form->WallColorBtn, std::nullopt);
        QCOMPARE(w.dialogs->presetColor, clRed);
        QVERIFY(w.wall().Transparent());
        QCOMPARE(w.wall().Color(), clSilver);

        w.ChooseColor(w.form->WallColorBtn, clGreen);
        QCOMPARE(w.wall().Color(), clGreen);
        QVERIFY(!w.wall().Transparent());
        QVERIFY(Near(w.PlotPixel(), ToQColor(clGreen)));
        QCOMPARE(w.chart().Color(), clRed);

        // ...and the outer colour now opens on the green, not on the chart's red.
        w.ChooseColor(w.form->ChartColorBtn, std::nullopt);
        QCOMPARE(w.dialogs->presetColor, clGreen);
        QCOMPARE(w.chart().Color(), clRed);
    }

    void pictureThenColourThenPicture()
    {
        Window w;
        const QString cyan = w.WriteImage("cyan.png", QColor(0, 200, 200));
        const QString magenta = w.WriteImage("magenta.bmp", QColor(200, 0, 200), "bmp");
        w.ChoosePicture(cyan);
        QCOMPARE(w.dialogs->lastFilter, kPictureFilter);
        QVERIFY(w.wall().Transparent());
        QVERIFY(!w.wall().Picture().Empty());
        QVERIFY(Near(w.PlotPixel(), QColor(0, 200, 200)));

        w.ChooseColor(w.form->WallColorBtn, clRed);
        QVERIFY(w.wall().Picture().Empty());
        QVERIFY(!w.wall().Transparent());
        QVERIFY(Near(w.PlotPixel(), QColor(255, 0, 0)));

        w.ChoosePicture(magenta);
        QVERIFY(w.wall().Transparent());
        QVERIFY(Near(w.PlotPixel(), QColor(200, 0, 200)));
        QCOMPARE(w.form->OpenPictureDialog1->FileName(), magenta);
        QCOMPARE(w.messages->shown.size(), 0);

        // A cancelled picture dialog changes nothing.
        w.wall().SetTransparent(false);
        QTest::mouseClick(w.form->WallPictureBtn, Qt::LeftButton);
        QVERIFY(!w.wall().Transparent());
        QVERIFY(!w.wall().Picture().Empty());
    }

    void refusedPictureReachesTheDefaultErrorReporting_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message"); // empty: named by the path, broken content
        QTest::addColumn<bool>("pictureBefore");
        const QByteArray jpeg("\xff\xd8\xff\xe0\0\x10JFIF\0", 11);
        QTest::newRow("jpg after a picture") << "photo.jpg" << jpeg << "画像のファイル拡張子 (.jpg) が不明です." << true;
        QTest::newRow("jpg on a filled wall") << "photo.jpg" << jpeg << "画像のファイル拡張子 (.jpg) が不明です." << false;
        QTest::newRow("Gif as written") << "a.Gif" << QByteArray("GIF89a") << "画像のファイル拡張子 (.Gif) が不明です." << true;
        QTest::newRow("corrupt png") << "broken.png" << QByteArray("\x89PNG\r\n\x1a\nrubbish", 15) << "" << true;
        QTest::newRow("corrupt emf") << "broken.emf" << QByteArray("\x01\0\0\0\x58\0\0\0garbage", 15) << "" << true;
        QTest::newRow("corrupt emf, filled wall") << "broken.emf" << QByteArray(" EMF", 4) << "" << false;
    }
    void refusedPictureReachesTheDefaultErrorReporting()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QFETCH(bool, pictureBefore);
        Window w;
        if (pictureBefore)
            w.ChoosePicture(w.WriteImage("before.png", QColor(0, 200, 200)));
        else
            w.ChooseColor(w.form->WallColorBtn, clRed);
        const QImage previous = w.wall().Picture().Image();
        QCOMPARE(w.messages->shown.size(), 0);

        const QString path = w.WriteFile(fileName, bytes);
        w.ChoosePicture(path);
        QCOMPARE(w.messages->shown.size(), 1);
        const ShownMessage& m = w.messages->shown.first();
        QCOMPARE(m.caption, ApplicationTitle());
        QCOMPARE(m.icon, MessageIcon::Error);
        if (!message.isEmpty()) {
            QCOMPARE(m.text, message);
        } else {
            QVERIFY2(m.text.startsWith(QStringLiteral("画像ファイル \"%1\" を読み込めません。").arg(path)),
                     qPrintable(m.text));
            QVERIFY(m.text.endsWith(u'.'));
        }
        // The wall is transparent now and shows what it showed before, if anything.
        QVERIFY(w.wall().Transparent());
        QCOMPARE(w.wall().Picture().Image(), previous);
        if (pictureBefore)
            QVERIFY(Near(w.PlotPixel(), QColor(0, 200, 200)));
        else
            QVERIFY(Near(w.PlotPixel(), ToQColor(w.chart().Color()), 4)); // no fill: the panel shows

        // The program carries on: the next picture loads.
        w.ChoosePicture(w.WriteImage("after.png", QColor(200, 200, 0)));
        QCOMPARE(w.messages->shown.size(), 1);
        QVERIFY(Near(w.PlotPixel(), QColor(200, 200, 0)));
    }

    void borderIsAOnePixelBlackFrame()
    {
        Window w;
        const auto frameIsBlack = [](const QImage& img, int inset) {
            const int r = img.width() - 1 - inset, b = img.height() - 1 - inset;
            for (int x = inset; x <= r; x += 7)
                if (img.pixelColor(x, inset) != Qt::black || img.pixelColor(x, b) != Qt::black)
                    return false;
            for (int y = inset; y <= b; y += 7)
                if (img.pixelColor(inset, y) != Qt::black || img.pixelColor(r, y) != Qt::black)
                    return false;
            return true;
        };
        QVERIFY(!frameIsBlack(w.chart().RenderImage(Qt::white), 0));
        QTest::mouseClick(w.form->BorderCheck, Qt::LeftButton);
        QVERIFY(w.form->BorderCheck->isChecked());
        QVERIFY(w.chart().Border().Visible());
        QImage img = w.chart().RenderImage(Qt::white);
        QVERIFY(frameIsBlack(img, 0));
        // One pixel wide: the next ring in shows the panel.
        const QColor panel = ToQColor(w.chart().Color());
        QCOMPARE(img.pixelColor(1, img.height() / 2), panel);
        QCOMPARE(img.pixelColor(img.width() - 2, img.height() / 2), panel);
        QCOMPARE(img.pixelColor(img.width() / 2, 1), panel);
        QCOMPARE(img.pixelColor(img.width() / 2, img.height() - 2), panel);

        QTest::mouseClick(w.form->BorderCheck, Qt::LeftButton);
        QVERIFY(!w.chart().Border().Visible());
        QVERIFY(!frameIsBlack(w.chart().RenderImage(Qt::white), 0));
    }

    void shadow()
    {
        Window w;
        QImage img = w.chart().RenderImage(Qt::white);
        const QPoint rightStrip(img.width() - 4, img.height() / 2);
        const QPoint bottomStrip(img.width() / 2, img.height() - 4);
        QCOMPARE(img.pixelColor(rightStrip), ToQColor(w.chart().Color()));

        QTest::mouseClick(w.form->ChartShadow, Qt::LeftButton);
        QVERIFY(w.chart().Shadow().Visible());
        img = w.chart().RenderImage(Qt::white);
        // Half-transparent silver over white, 10 pixels right and down.
        QVERIFY2(Near(img.pixelColor(rightStrip), QColor(224, 224, 224), 6), qPrintable(img.pixelColor(rightStrip).name()));
        QVERIFY(Near(img.pixelColor(bottomStrip), QColor(224, 224, 224), 6));
        QCOMPARE(img.pixelColor(4, img.height() - 4), QColor(Qt::white));
        QCOMPARE(img.pixelColor(img.width() - 4, 4), QColor(Qt::white));

        QTest::mouseClick(w.form->ChartShadow, Qt::LeftButton);
        QVERIFY(!w.chart().Shadow().Visible());
        QCOMPARE(w.chart().RenderImage(Qt::white).pixelColor(rightStrip), ToQColor(w.chart().Color()));
    }
};

QTEST_MAIN(TestChartTab)
#include "tst_ChartTab.moc"
