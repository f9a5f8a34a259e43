#pragma once

#include <QComboBox>
#include <QElapsedTimer>

namespace txl::ui {

// A drop-down list without free text. Typed characters select the first item
// that begins with the characters typed so far; the typed prefix starts afresh
// when a key comes more than 499 ms after the one before. Space counts as a
// typed character; Alt+Down and F4 open the list.
class TypeAheadComboBox : public QComboBox {
    Q_OBJECT
public:
    static constexpr int restartAfterMs = 500;

    explicit TypeAheadComboBox(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

private:
    void typeText(const QString &text);

    QString m_prefix;
    QElapsedTimer m_sinceLastKey;
};

// True for the text of a key that types characters (not Tab, Enter, Backspace
// or other control codes).
bool isTypedText(const QString &text);

} // namespace txl::ui
