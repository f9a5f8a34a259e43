#include "platform/ui/TypeAheadComboBox.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

namespace txl::ui {

bool isTypedText(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c.unicode() < 32 || c.unicode() == 127)
            return false;
    }
    return true;
}

TypeAheadComboBox::TypeAheadComboBox(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(false);
    // Chinese is typed through an input method; its commits select like keys.
    setAttribute(Qt::WA_InputMethodEnabled, true);
}

void TypeAheadComboBox::keyPressEvent(QKeyEvent *event)
{
    const bool command = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!command && isTypedText(event->text())) {
        typeText(event->text());
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void TypeAheadComboBox::inputMethodEvent(QInputMethodEvent *event)
{
    if (!event->commitString().isEmpty())
        typeText(event->commitString());
    event->accept();
}

QVariant TypeAheadComboBox::inputMethodQuery(Qt::InputMethodQuery query) const
{
    if (query == Qt::ImEnabled)
        return true;
    return QComboBox::inputMethodQuery(query);
}

void TypeAheadComboBox::typeText(const QString &text)
{
    if (!m_sinceLastKey.isValid() || m_sinceLastKey.elapsed() >= restartAfterMs)
        m_prefix.clear();
    m_sinceLastKey.start();
    m_prefix += text;
    for (int i = 0; i < count(); ++i) {
        if (itemText(i).startsWith(m_prefix, Qt::CaseInsensitive)) {
            if (i != currentIndex()) {
                setCurrentIndex(i);
                emit activated(i);
                emit textActivated(itemText(i));
            }
            return;
        }
    }
    // No item begins with the prefix: the selection stays.
}

} // namespace txl::ui
