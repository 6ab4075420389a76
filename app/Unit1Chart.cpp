// The chart tab: title text and fonts, title position, axis names and their
// font, outer and inner colours, the background picture, border and shadow.

#include "Chart.h"
#include "Controls.h"
#include "Icons.h"
#include "Dialogs.h"
#include "Unit1.h"

#include <QCheckBox>
#include <QPushButton>
#include <QStringList>

namespace {

// The open-picture dialog's file types, first entry preselected. It offers
// more kinds than the loader reads; the loader refuses the others by name.
const char* const kPictureFilterEntries[][2] = {
    {"すべて (*.svg;*.wbmp;*.webp;*.svg;*.gif;*.jpg;*.jpeg;*.png;*.bmp;*.ico;*.emf;*.wmf;*.tif;*.tiff)",
     "*.svg;*.wbmp;*.webp;*.svg;*.gif;*.jpg;*.jpeg;*.png;*.bmp;*.ico;*.emf;*.wmf;*.tif;*.tiff"},
    {"Scalable Vector Graphics (*.svg)", "*.svg"},
    {"WBMP Images (*.wbmp)", "*.wbmp"},
    {"WebP Images (*.webp)", "*.webp"},
    {"Scalable Vector Graphics (*.svg)", "*.svg"},
    {"GIF 画像 (*.gif)", "*.gif"},
    {"JPEG イメージファイル (*.jpg)", "*.jpg"},
    {"JPEG イメージファイル (*.jpeg)", "*.jpeg"},
    {"Portable Network Graphics (*.png)", "*.png"},
    {"ビットマップ (*.bmp)", "*.bmp"},
    {"アイコン (*.ico)", "*.ico"},
    {"エンハンス メタファイル (*.emf)", "*.emf"},
    {"メタファイル (*.wmf)", "*.wmf"},
    {"TIFF 画像 (*.tif)", "*.tif"},
    {"TIFF 画像 (*.tiff)", "*.tiff"},
    {"PNG 画像(*.png)", "*.png"},
};

QString PictureFilter()
{
    QStringList parts;
    for (const auto& entry : kPictureFilterEntries)
        parts << QString::fromUtf8(entry[0]) << QString::fromUtf8(entry[1]);
    return parts.join(u'|');
}

// The shared font dialog opens on `color`; face, size and style stay as it
// last had them. A cancelled dialog keeps the preset colour.
bool ExecuteFontDialog(TFontDialog& dialog, TColor color)
{
    dialog.Font().color = color;
    return dialog.Execute();
}

void CopyFont(const FontChoice& from, TChartFont& to)
{
    to.SetName(from.name);
    to.SetSize(from.size);
    to.SetColor(from.color);
    to.SetStyle(from.style);
}

} // namespace

void TForm1::CreateChartTab()
{
    QWidget* page = TabSheet1;
    const QIcon checkMark = MakeCheckMarkIcon();
    auto makeEdit = [&](const char* name, const QString& hint) { return MakeEdit(page, name, hint, checkMark); };

    TitleEditBtn = makeEdit("TitleEditBtn", QStringLiteral("タイトル名"));
    PlaceControl(TitleEditBtn, 11, 16, 118, 21);
    Bind(TitleEditBtn, &TButtonedEdit::RightButtonClick, &TForm1::TitleEditBtnButtonClick);

    TitleFontBtn = MakeButton(page, "TitleFontBtn", QStringLiteral("タイトル　フォント"));
    PlaceControl(TitleFontBtn, 11, 43, 126, 25);
    Bind(TitleFontBtn, &QPushButton::clicked, &TForm1::TitleFontBtnClick);

    SuBTitleFontBtn = MakeButton(page, "SuBTitleFontBtn", QStringLiteral("サブタイトル　フォント"));
    PlaceControl(SuBTitleFontBtn, 14, 74, 123, 25);
    Bind(SuBTitleFontBtn, &QPushButton::clicked, &TForm1::SuBTitleFontBtnClick);

    ChartTitleAlignment = new TRadioGroup(page, QStringLiteral("タイトル位置"),
                                          {QStringLiteral("左寄席"), QStringLiteral("中央"), QStringLiteral("右寄せ")});
    ChartTitleAlignment->setObjectName(QStringLiteral("ChartTitleAlignment"));
    PlaceControl(ChartTitleAlignment, 11, 105, 126, 86);
    ChartTitleAlignment->SetItemIndex(1);
    Bind(ChartTitleAlignment, &TRadioGroup::Click, &TForm1::ChartTitleAlignmentClick);

    XAxisEdit = makeEdit("XAxisEdit", QStringLiteral("X軸名"));
    PlaceControl(XAxisEdit, 16, 197, 121, 21);
    Bind(XAxisEdit, &TButtonedEdit::RightButtonClick, &TForm1::XAxisEditButtonClick);

    YAxisEdit = makeEdit("YAxisEdit", QStringLiteral("Y軸名"));
    PlaceControl(YAxisEdit, 15, 226, 121, 21);
    Bind(YAxisEdit, &TButtonedEdit::RightButtonClick, &TForm1::YAxisEditButtonClick);

    AxisFont = MakeButton(page, "AxisFont", QStringLiteral("各軸　フォント　"));
    PlaceControl(AxisFont, 11, 253, 123, 25);
    Bind(AxisFont, &QPushButton::clicked, &TForm1::AxisFontClick);

    ChartColorBtn = MakeButton(page, "ChartColorBtn", QStringLiteral("外部色"));
    PlaceControl(ChartColorBtn, 15, 284, 58, 25);
    Bind(ChartColorBtn, &QPushButton::clicked, &TForm1::ChartColorBtnClick);

    WallColorBtn = MakeButton(page, "WallColorBtn", QStringLiteral("内部色"));
    PlaceControl(WallColorBtn, 79, 284, 57, 25);
    Bind(WallColorBtn, &QPushButton::clicked, &TForm1::WallColorBtnClick);

    WallPictureBtn = MakeButton(page, "WallPictureBtn", QStringLiteral("画像選択"));
    PlaceControl(WallPictureBtn, 15, 315, 114, 25);
    WallPictureBtn->setToolTip(QStringLiteral("バックに画像を貼り付ける"));
    WallPictureBtn->setAccessibleDescription(WallPictureBtn->toolTip());
    Bind(WallPictureBtn, &QPushButton::clicked, &TForm1::WallPictureBtnClick);

    BorderCheck = MakeCheckBox(page, "BorderCheck", QStringLiteral("ボーダーを付ける"));
    PlaceControl(BorderCheck, 16, 352, 105, 17);
    Bind(BorderCheck, &QCheckBox::clicked, &TForm1::BorderCheckClick);

    ChartShadow = MakeCheckBox(page, "ChartShadow", QStringLiteral("影を付ける"));
    PlaceControl(ChartShadow, 16, 375, 81, 17);
    Bind(ChartShadow, &QCheckBox::clicked, &TForm1::ChartShadowClick);

    OpenPictureDialog1->SetFilter(PictureFilter());
}

void TForm1::TitleEditBtnButtonClick(QObject*)
{
    Chart1->Title().Text().Clear();
    Chart1->Title().Text().Add(TitleEditBtn->Text());
}

void TForm1::TitleFontBtnClick(QObject*)
{
    if (!ExecuteFontDialog(*FontDialog1, Chart1->Title().Font().Color()))
        return;
    CopyFont(FontDialog1->Font(), Chart1->Title().Font());
}

void TForm1::SuBTitleFontBtnClick(QObject*)
{
    if (!ExecuteFontDialog(*FontDialog1, Chart1->SubTitle().Font().Color()))
        return;
    CopyFont(FontDialog1->Font(), Chart1->SubTitle().Font());
}

void TForm1::ChartTitleAlignmentClick(QObject*)
{
    switch (ChartTitleAlignment->ItemIndex()) {
    case 0: Chart1->Title().SetAlignment(taLeftJustify); break;
    case 1: Chart1->Title().SetAlignment(taCenter); break;
    case 2: Chart1->Title().SetAlignment(taRightJustify); break;
    default: break; // nothing selected: the title stays where it is
    }
}

// The fields name the bottom and the left axis whatever the XY swap shows;
// the next plot puts the stored column names back.
void TForm1::XAxisEditButtonClick(QObject*) { Chart1->BottomAxis().Title().SetCaption(XAxisEdit->Text()); }

void TForm1::YAxisEditButtonClick(QObject*) { Chart1->LeftAxis().Title().SetCaption(YAxisEdit->Text()); }

void TForm1::AxisFontClick(QObject*)
{
    if (!ExecuteFontDialog(*FontDialog1, Chart1->LeftAxis().Title().Font().Color()))
        return;
    CopyFont(FontDialog1->Font(), Chart1->LeftAxis().Title().Font());
    CopyFont(FontDialog1->Font(), Chart1->BottomAxis().Title().Font());
}

// The colour dialog opens on the colour last confirmed by any colour button.
void TForm1::ChartColorBtnClick(QObject*)
{
    if (ColorDialog1->Execute())
        Chart1->SetColor(ColorDialog1->Color());
}

void TForm1::WallColorBtnClick(QObject*)
{
    if (!ColorDialog1->Execute())
        return;
    TChartWall& wall = Chart1->Walls().Back();
    wall.Picture().Clear();
    wall.SetColor(ColorDialog1->Color());
    wall.SetTransparent(false);
}

// The wall turns transparent before the file is read, so a refused file
// leaves a transparent wall showing the previous picture, if any.
void TForm1::WallPictureBtnClick(QObject*)
{
    if (!OpenPictureDialog1->Execute())
        return;
    TChartWall& wall = Chart1->Walls().Back();
    wall.SetTransparent(true);
    wall.Picture().LoadFromFile(OpenPictureDialog1->FileName());
}

void TForm1::BorderCheckClick(QObject*) { Chart1->Border().SetVisible(BorderCheck->isChecked()); }

void TForm1::ChartShadowClick(QObject*) { Chart1->Shadow().SetVisible(ChartShadow->isChecked()); }
