#pragma once
// The font dialog as the font buttons use it: face, size, style with
// underline and strike-out, and the text colour, confirmed together.

#include "FormServices.h"

#include <QDialog>

class QFontDialog;
class QPushButton;

class TFontColorDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFontColorDialog(QWidget* parent = nullptr);

    void SetChoice(const FontChoice& font);
    // What the dialog shows now. The colour is the value it opened with
    // until the user picks another one, so a system colour stays one.
    FontChoice Choice() const;

    TColor Color() const { return m_color; }
    void SetColor(TColor color);
    QFontDialog* FontPanel() const { return m_font; }
    QPushButton* ColorButton() const { return m_colorButton; }

private:
    void ChooseColor();
    void ShowColor();

    QFontDialog* m_font;
    QPushButton* m_colorButton;
    TColor m_color = clWindowText;
};
