#pragma once

#include <QLineEdit>

namespace txl::ui {

// A text box whose limit counts code-page-936 bytes (a Chinese character is
// two), the way the program's stored texts are measured. The limit restrains
// what the user types, pastes, drops or composes: an insertion that would pass
// it keeps only the part that fits. Text set by the program is shown in full,
// and text already over the limit can still be shortened.
class ByteLimitedEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(int maxBytes READ maxBytes WRITE setMaxBytes)
public:
    explicit ByteLimitedEdit(QWidget *parent = nullptr);

    int maxBytes() const { return m_maxBytes; }
    void setMaxBytes(int bytes); // 0 or less: no limit

    // Hides QLineEdit::setText on purpose: the program's own text is not cut.
    void setText(const QString &text);

private:
    class Limit;

    int m_maxBytes = 0;
    bool m_settingText = false;
    QString m_accepted; // the text before the change being validated
};

} // namespace txl::ui
