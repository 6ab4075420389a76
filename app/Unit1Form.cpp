// The usage tab: the visual style and zoom of the window, the version line
// and the usage notes.

#include "ComboBox.h"
#include "Controls.h"
#include "FormScaler.h"
#include "Icons.h"
#include "StyleManager.h"
#include "Unit1.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace {

// The zoom list's entries, in the order of ZoomEntryPPI's positions.
const std::array<const char*, 5> kZoomEntries{"100%", "125%", "150%", "175%", "200%"};

const QString kVersionLine = QStringLiteral("Ver 2.0    © Plotmere");

// The usage notes, line by line; blanks at either end belong to the lines.
QString UsageNotes()
{
    const QStringList lines{
        QStringLiteral("1. データフォーマット"),
        QStringLiteral("タブか半角カンマで区切られた"),
        QStringLiteral("テキストが対象です。"),
        QStringLiteral(" X軸データ,Y軸データ"),
        QStringLiteral("   [ データ例 ]"),
        QStringLiteral("    X1,Y1 "),
        QStringLiteral("    100,101"),
        QStringLiteral("    101,102"),
        QStringLiteral("    103,103"),
        QString(),
        QStringLiteral("1行目に文字があるとXY軸名に"),
        QStringLiteral("適用されますが無くても後から"),
        QStringLiteral("設定できます。"),
        QStringLiteral("例ではX軸名がX1、Y軸名がY1"),
        QStringLiteral("となります。"),
        QStringLiteral("データはファイルから入力の他に"),
        QStringLiteral("、表計算ソフトなどからデータ領"),
        QStringLiteral("域をコピーして表示できます。"),
        QString(),
        QStringLiteral("2.スケール"),
        QStringLiteral("\u3000データに応じて見やすいように"),
        QStringLiteral("自動で倍率を設定し、適用さ"),
        QStringLiteral("れた倍率はステータスバーに表"),
        QStringLiteral("示されます。"),
        QStringLiteral("\u3000マニュアルで設定する場合は"),
        QStringLiteral("スケール項目から、AutoSizeの"),
        QStringLiteral("チェックボックスを外して設定でき"),
        QStringLiteral("ます。"),
    };
    return lines.join(u'\n');
}

TComboBox* List(QComboBox* box)
{
    return static_cast<TComboBox*>(box);
}

// A label as wide and high as its text at design size, with a little room
// for the text to grow unevenly when zoomed.
void PlaceLabel(QLabel* label, int left, int top)
{
    const QSize hint = label->sizeHint();
    PlaceControl(label, left, top, hint.width() + 4, hint.height());
}

// The tool bar's pictures are drawn in the colour of the style in force.
void PaintToolIcons(TForm1& form)
{
    const std::array<std::pair<QToolButton*, ToolIcon>, 6> buttons{{
        {form.OpenBtn, ToolIcon::OpenFolder},
        {form.PasteBtn, ToolIcon::Paste},
        {form.CopyEMFBtn, ToolIcon::Copy},
        {form.SaveEMFBtn, ToolIcon::Save},
        {form.CopyBmpBtn, ToolIcon::Copy},
        {form.SaveBmpBtn, ToolIcon::Save},
    }};
    for (const auto& [button, icon] : buttons) {
        button->ensurePolished();
        button->setIcon(MakeToolIcon(icon, button->palette().color(QPalette::ButtonText)));
    }
}

} // namespace

void TForm1::CreateFormTab()
{
    m_scaler = new TFormScaler(*this);

    Panel1 = new QFrame(TabSheet5);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setFixedHeight(145);

    auto* styles = new TComboBox(Panel1);
    StyleSelecter = styles;
    StyleSelecter->setObjectName(QStringLiteral("StyleSelecter"));
    // Named for what it chooses, as is its text field, not by the entry it
    // shows.
    StyleSelecter->setAccessibleName(QStringLiteral("スタイル"));
    StyleSelecter->lineEdit()->setAccessibleName(StyleSelecter->accessibleName());
    styles->SetText(QStringLiteral("StyleSelecter"));
    PlaceControl(StyleSelecter, 16, 19, 121, 21);

    Label3 = new QLabel(QStringLiteral("拡大縮小"), Panel1);
    Label3->setObjectName(QStringLiteral("Label3"));
    PlaceLabel(Label3, 16, 48);

    auto* zoom = new TComboBox(Panel1);
    ScaleComboBox = zoom;
    ScaleComboBox->setObjectName(QStringLiteral("ScaleComboBox"));
    for (const char* entry : kZoomEntries)
        ScaleComboBox->addItem(QString::fromLatin1(entry));
    zoom->SetText(QStringLiteral("100%"));
    ScaleComboBox->setAccessibleName(Label3->text());
    ScaleComboBox->lineEdit()->setAccessibleName(Label3->text());
    Label3->setBuddy(ScaleComboBox);
    PlaceControl(ScaleComboBox, 16, 72, 121, 21);

    Label2 = new QLabel(kVersionLine, Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    PlaceLabel(Label2, 48, 113);

    Memo2 = new QPlainTextEdit(TabSheet5);
    Memo2->setObjectName(QStringLiteral("Memo2"));
    Memo2->setAccessibleName(QStringLiteral("使用例"));
    Memo2->setPlainText(UsageNotes());
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The notes are broken into lines by hand; a line that does not fit
    // scrolls sideways instead of being broken again where the width ends.
    Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo2->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    // The panel sits on top at its own height; the notes fill the rest.
    auto* layout = new QVBoxLayout(TabSheet5);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(Memo2, 1);

    // In keyboard order the zoom list comes before the style list.
    setTabOrder(ScaleComboBox, StyleSelecter);

    Bind(styles, &TComboBox::Change, &TForm1::StyleSelecterChange);
    Bind(zoom, &TComboBox::Change, &TForm1::ScaleComboBoxChange);

    TStyleManager::SetDialogReporter(m_services.messages.get(), this);
    // Whoever changes the style, the tool bar's pictures take its colours,
    // the zoom's fonts stay and the style list shows the style in force.
    connect(&TStyleManager::Instance(), &TStyleManager::StyleChanged, this, [this](const QString& name) {
        m_scaler->ApplyStyleZoom();
        m_scaler->ReapplyFonts();
        // The controls take the new sheet's paddings as the events the
        // change posted reach them; the captions are measured after that.
        QMetaObject::invokeMethod(m_scaler, [this] { m_scaler->FitCaptions(); }, Qt::QueuedConnection);
        PaintToolIcons(*this);
        TComboBox* list = List(StyleSelecter);
        const int index = list->findText(name, Qt::MatchFixedString);
        if (index != list->ItemIndex())
            list->SetItemIndex(index);
    });
}

void TForm1::FillStyleList()
{
    TComboBox* list = List(StyleSelecter);
    list->setUpdatesEnabled(false);
    const auto unlock = qScopeGuard([list] { list->setUpdatesEnabled(true); });
    const QSignalBlocker block(list);
    list->clear();
    QStringList names = TStyleManager::StyleNames();
    std::stable_sort(names.begin(), names.end(),
                     [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    list->addItems(names);
    list->SetItemIndex(list->findText(TStyleManager::ActiveStyle().Name(), Qt::MatchFixedString));
}

void TForm1::StyleSelecterChange(QObject*)
{
    const TComboBox* list = List(StyleSelecter);
    const int index = list->ItemIndex();
    const QString name = index >= 0 ? list->itemText(index) : QString();
    TStyleManager::TrySetStyle(name, true);
}

void TForm1::ScaleComboBoxChange(QObject*)
{
    if (const int ppi = ZoomEntryPPI(List(ScaleComboBox)->ItemIndex()))
        ScaleForPPI(ppi);
}

int TForm1::PixelsPerInch() const
{
    return m_scaler->PixelsPerInch();
}

void TForm1::ScaleForPPI(int NewPPI)
{
    m_scaler->Scale(NewPPI);
}
