#pragma once

#include <QComboBox>

namespace txl::ui {

// A drop-down list that also accepts typing, with completion: on each typed
// character, the text (or, while part of it is highlighted, the text before
// the highlighted part) followed by that character is looked up as the
// beginning of an item. When an item begins with it, that item is selected,
// the rest of its text is filled in and highlighted, and the character is not
// inserted by itself; otherwise the character is inserted and no item stays
// selected, so the selection never names an item the text no longer shows.
// Backspace removes the highlighted part, or else the character before the
// caret, and always leaves no item selected. Enter does nothing here (it never
// adds an item) and the text is never matched to an item behind the user's
// back, for instance when the box loses the focus.
class CompletingComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit CompletingComboBox(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void typeCharacter(const QString &character);
    void eraseBack();
    void selectNoItemKeeping(const QString &text, int cursor);
};

} // namespace txl::ui
