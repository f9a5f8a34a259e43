#include "platform/ui/StatusPanels.h"

#include <QHBoxLayout>
#include <QLabel>

namespace txl::ui {

StatusPanels::StatusPanels(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(2);
}

void StatusPanels::setPanelWidths(const QList<int> &widths)
{
    qDeleteAll(m_panels);
    m_panels.clear();
    m_widths = widths;
    auto *box = static_cast<QHBoxLayout *>(layout());
    for (int i = 0; i < widths.size(); ++i) {
        auto *label = new QLabel(this);
        label->setObjectName(QStringLiteral("Panel%1").arg(i));
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        label->setMargin(0);
        label->setIndent(2);
        label->setMinimumWidth(0);
        const bool last = i == widths.size() - 1;
        if (last) {
            label->setMinimumWidth(widths.at(i));
            label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        } else {
            // Text longer than the panel is cut off, not allowed to widen it.
            label->setFixedWidth(widths.at(i));
            label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        }
        box->addWidget(label, last ? 1 : 0);
        m_panels << label;
    }
}

QLabel *StatusPanels::panel(int index) const
{
    return index >= 0 && index < m_panels.size() ? m_panels.at(index) : nullptr;
}

QString StatusPanels::panelText(int index) const
{
    QLabel *p = panel(index);
    return p ? p->text() : QString();
}

void StatusPanels::setPanelText(int index, const QString &text)
{
    if (QLabel *p = panel(index))
        p->setText(text);
}

} // namespace txl::ui
