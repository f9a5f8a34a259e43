#include "platform/ui/ByteLimitedEdit.h"

#include "platform/text/Cp936.h"

#include <QValidator>

namespace txl::ui {

// Every change of the text passes the validator, whatever brought it (keys,
// paste by key, menu or middle button, drop, input method), so the limit is
// enforced in one place.
class ByteLimitedEdit::Limit : public QValidator {
public:
    explicit Limit(ByteLimitedEdit *edit)
        : QValidator(edit)
        , m_edit(edit)
    {
    }

    State validate(QString &input, int &pos) const override
    {
        const int limit = m_edit->m_maxBytes;
        if (limit <= 0 || m_edit->m_settingText)
            return Acceptable;
        const QString &before = m_edit->m_accepted;
        const int bytes = text::byteLength(input);
        if (bytes <= limit || bytes <= text::byteLength(before))
            return Acceptable;

        // The inserted part lies between what the old and new texts share at
        // both ends; only that part is cut.
        int head = 0;
        const int shorter = int(qMin(before.size(), input.size()));
        while (head < shorter && head < pos && before.at(head) == input.at(head))
            ++head;
        int tail = 0;
        while (tail < shorter - head && before.at(before.size() - 1 - tail) == input.at(input.size() - 1 - tail))
            ++tail;
        // Never split a surrogate pair at either end.
        if (head > 0 && input.at(head - 1).isHighSurrogate())
            --head;
        if (tail > 0 && input.at(input.size() - tail).isLowSurrogate())
            --tail;

        const QString left = input.left(head);
        const QString right = input.right(tail);
        const QString inserted = input.mid(head, input.size() - head - tail);
        const int room = qMax(0, limit - text::byteLength(left) - text::byteLength(right));
        const QString kept = text::truncateToBytes(inserted, room);
        if (kept.isEmpty() && left + right == before)
            return Invalid; // nothing fits: refuse the key, keep the undo history
        input = left + kept + right;
        pos = int(left.size() + kept.size());
        return Acceptable;
    }

private:
    ByteLimitedEdit *m_edit;
};

ByteLimitedEdit::ByteLimitedEdit(QWidget *parent)
    : QLineEdit(parent)
{
    setValidator(new Limit(this));
    connect(this, &QLineEdit::textChanged, this, [this](const QString &now) { m_accepted = now; });
}

void ByteLimitedEdit::setMaxBytes(int bytes)
{
    m_maxBytes = bytes;
}

void ByteLimitedEdit::setText(const QString &text)
{
    m_settingText = true;
    QLineEdit::setText(text);
    m_settingText = false;
    m_accepted = QLineEdit::text();
}

} // namespace txl::ui
