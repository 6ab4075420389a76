#pragma once
// A drop-down list with an editable text field. ItemIndex is the position
// of the selected entry, -1 when none is. Only the user's actions report a
// change (Change): picking an entry, stepping with the arrow keys or the
// wheel, typing. Selecting from code stays silent.
//
// Typing completes the text to the first entry it begins (letter case
// aside) and selects that entry, the completed part marked so the next key
// replaces it; deleting does not complete. Text that is no entry selects
// none and stays as typed.

#include <QComboBox>

class TComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TComboBox(QWidget* parent = nullptr);
    int ItemIndex() const { return currentIndex(); }
    // Silent. A position outside the list selects no entry and empties the
    // text.
    void SetItemIndex(int index);
    QString Text() const { return currentText(); }
    // Silent; selects no entry.
    void SetText(const QString& text);

signals:
    void Change();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Typed(const QString& text);

    bool m_deleting = false;
};
