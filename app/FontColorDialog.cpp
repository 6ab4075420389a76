#include "FontColorDialog.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

TFontColorDialog::TFontColorDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("フォント"));

    // Qt's font panel, embedded without its own buttons: it offers face,
    // style, size, underline and strike-out; the colour row is ours.
    m_font = new QFontDialog(this);
    m_font->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    m_font->setWindowFlags(Qt::Widget);
    m_font->setSizeGripEnabled(false);

    auto* colorLabel = new QLabel(QStringLiteral("色(&C):"), this);
    m_colorButton = new QPushButton(this);
    m_colorButton->setObjectName(QStringLiteral("ColorButton"));
    m_colorButton->setAccessibleName(QStringLiteral("色"));
    m_colorButton->setIconSize(QSize(32, 14));
    colorLabel->setBuddy(m_colorButton);
    connect(m_colorButton, &QPushButton::clicked, this, &TFontColorDialog::ChooseColor);

    auto* colorRow = new QHBoxLayout;
    colorRow->addWidget(colorLabel);
    colorRow->addWidget(m_colorButton);
    colorRow->addStretch(1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_font, 1);
    layout->addLayout(colorRow);
    layout->addWidget(buttons);
    m_font->setVisible(true);
    ShowColor();
}

void TFontColorDialog::SetChoice(const FontChoice& font)
{
    QFont initial(font.name);
    initial.setPointSize(std::max(1, font.size));
    initial.setBold(font.style.testFlag(fsBold));
    initial.setItalic(font.style.testFlag(fsItalic));
    initial.setUnderline(font.style.testFlag(fsUnderline));
    initial.setStrikeOut(font.style.testFlag(fsStrikeOut));
    m_font->setCurrentFont(initial);
    SetColor(font.color);
}

FontChoice TFontColorDialog::Choice() const
{
    const QFont chosen = m_font->currentFont();
    FontChoice font;
    font.name = chosen.family();
    font.size = chosen.pointSize() > 0 ? chosen.pointSize() : std::max(1, qRound(chosen.pointSizeF()));
    if (chosen.bold())
        font.style |= fsBold;
    if (chosen.italic())
        font.style |= fsItalic;
    if (chosen.underline())
        font.style |= fsUnderline;
    if (chosen.strikeOut())
        font.style |= fsStrikeOut;
    font.color = m_color;
    return font;
}

void TFontColorDialog::SetColor(TColor color)
{
    m_color = color;
    ShowColor();
}

void TFontColorDialog::ChooseColor()
{
    const QColor chosen = QColorDialog::getColor(ToQColor(m_color), this, QStringLiteral("色"));
    if (chosen.isValid())
        SetColor(FromQColor(chosen));
}

void TFontColorDialog::ShowColor()
{
    const QColor c = ToQColor(m_color);
    QPixmap swatch(m_colorButton->iconSize());
    swatch.fill(c);
    {
        QPainter p(&swatch);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    }
    m_colorButton->setIcon(QIcon(swatch));
    m_colorButton->setText(c.name(QColor::HexRgb).toUpper());
    // The font panel's sample text shows the colour too.
    if (auto* sample = m_font->findChild<QLineEdit*>(QStringLiteral("qt_fontDialog_sampleEdit"))) {
        QPalette pal = sample->palette();
        pal.setColor(QPalette::Text, c);
        sample->setPalette(pal);
    }
}
