#include "ComboBox.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr); // completion is done here, where it can select
    lineEdit()->installEventFilter(this);
    connect(this, &QComboBox::activated, this, [this] { emit Change(); });
    connect(lineEdit(), &QLineEdit::textEdited, this, &TComboBox::Typed);
}

void TComboBox::SetItemIndex(int index)
{
    const QSignalBlocker block(this);
    setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

void TComboBox::SetText(const QString& text)
{
    const QSignalBlocker block(this);
    setCurrentIndex(-1);
    lineEdit()->setText(text);
}

bool TComboBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lineEdit() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        m_deleting = key == Qt::Key_Backspace || key == Qt::Key_Delete;
    }
    return QComboBox::eventFilter(watched, event);
}

void TComboBox::Typed(const QString& text)
{
    QLineEdit* edit = lineEdit();
    int index = -1;
    const bool atEnd = edit->cursorPosition() == text.size();
    if (!text.isEmpty() && !m_deleting && atEnd) {
        for (int i = 0; i < count(); ++i) {
            if (itemText(i).startsWith(text, Qt::CaseInsensitive)) {
                index = i;
                break;
            }
        }
    }
    if (index >= 0) {
        // The text becomes the entry's, the part beyond what was typed
        // marked.
        const QString entry = itemText(index);
        {
            const QSignalBlocker block(this);
            setCurrentIndex(index);
        }
        const QSignalBlocker blockEdit(edit);
        edit->setText(entry);
        edit->setSelection(int(entry.size()), int(text.size() - entry.size()));
    } else {
        index = findText(text, Qt::MatchFixedString); // whole text, letter case aside
        const int cursor = edit->cursorPosition();
        {
            const QSignalBlocker block(this);
            setCurrentIndex(index);
        }
        const QSignalBlocker blockEdit(edit);
        if (edit->text() != text)
            edit->setText(text);
        edit->setCursorPosition(cursor);
    }
    m_deleting = false;
    emit Change();
}
