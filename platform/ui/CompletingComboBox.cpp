#include "platform/ui/CompletingComboBox.h"

#include "platform/ui/TypeAheadComboBox.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace txl::ui {

namespace {
// Splits typed text into characters, keeping surrogate pairs whole.
QStringList characters(const QString &text)
{
    QStringList out;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out.append(text.mid(i, 2));
            ++i;
        } else {
            out.append(text.mid(i, 1));
        }
    }
    return out;
}
} // namespace

CompletingComboBox::CompletingComboBox(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(true);
    // Qt's own inline completer and its insert-on-Enter would fight the
    // completion done here.
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
}

void CompletingComboBox::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Backspace:
        eraseBack();
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->ignore();
        return;
    default:
        break;
    }
    const bool command = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!command && isTypedText(event->text())) {
        for (const QString &c : characters(event->text()))
            typeCharacter(c);
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void CompletingComboBox::inputMethodEvent(QInputMethodEvent *event)
{
    if (event->commitString().isEmpty() || event->replacementLength() != 0) {
        QComboBox::inputMethodEvent(event);
        return;
    }
    // The composition ends; its committed characters complete like keys.
    QInputMethodEvent rest(event->preeditString(), event->attributes());
    QComboBox::inputMethodEvent(&rest);
    for (const QString &c : characters(event->commitString()))
        typeCharacter(c);
    event->accept();
}

void CompletingComboBox::focusOutEvent(QFocusEvent *event)
{
    // QComboBox selects an item whose text equals the typed text when editing
    // finishes; the selection here changes only through typing, Backspace and
    // the list itself.
    const int index = currentIndex();
    QComboBox::focusOutEvent(event);
    if (lineEdit() && currentIndex() != index) {
        const QString text = lineEdit()->text();
        const int cursor = lineEdit()->cursorPosition();
        setCurrentIndex(index);
        lineEdit()->setText(text);
        lineEdit()->setCursorPosition(cursor);
    }
}

void CompletingComboBox::typeCharacter(const QString &character)
{
    QLineEdit *edit = lineEdit();
    const QString text = edit->text();
    const QString wanted = (edit->hasSelectedText() ? text.left(edit->selectionStart()) : text) + character;
    for (int i = 0; i < count(); ++i) {
        const QString item = itemText(i);
        if (!item.startsWith(wanted, Qt::CaseInsensitive))
            continue;
        setCurrentIndex(i);
        edit->setText(item); // also when the item was selected already
        if (item.size() > wanted.size())
            edit->setSelection(int(wanted.size()), int(item.size() - wanted.size()));
        else
            edit->setCursorPosition(int(item.size()));
        return;
    }
    edit->insert(character);
    selectNoItemKeeping(edit->text(), edit->cursorPosition());
}

void CompletingComboBox::eraseBack()
{
    QLineEdit *edit = lineEdit();
    QString text = edit->text();
    int cursor = edit->cursorPosition();
    if (edit->hasSelectedText()) {
        cursor = edit->selectionStart();
        text.remove(cursor, edit->selectedText().size());
    } else if (cursor > 0) {
        int from = cursor - 1;
        if (from > 0 && text.at(from).isLowSurrogate() && text.at(from - 1).isHighSurrogate())
            --from;
        text.remove(from, cursor - from);
        cursor = from;
    }
    selectNoItemKeeping(text, cursor);
}

void CompletingComboBox::selectNoItemKeeping(const QString &text, int cursor)
{
    // Leaving the selection empties the editor; the text stays what was typed.
    setCurrentIndex(-1);
    lineEdit()->setText(text);
    lineEdit()->setCursorPosition(cursor);
}

} // namespace txl::ui
