#include "platform/ui/RadioGroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

namespace txl::ui {

RadioGroup::RadioGroup(QWidget *parent)
    : QGroupBox(parent)
    , m_group(new QButtonGroup(this))
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(6, 0, 4, 0);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(0);
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (!checked)
            return;
        setFocusProxy(m_buttons.value(id));
        emit itemIndexChanged(id);
    });
}

void RadioGroup::setItems(const QStringList &items)
{
    m_items = items;
    rebuild();
}

void RadioGroup::setColumns(int columns)
{
    m_columns = qMax(1, columns);
    rebuild();
}

void RadioGroup::rebuild()
{
    const int checked = itemIndex();
    setFocusProxy(nullptr);
    qDeleteAll(m_buttons);
    m_buttons.clear();
    auto *grid = static_cast<QGridLayout *>(layout());
    const int rows = (int(m_items.size()) + m_columns - 1) / m_columns;
    for (int i = 0; i < m_items.size(); ++i) {
        auto *b = new QRadioButton(m_items.at(i), this);
        b->setObjectName(objectName() + QStringLiteral("_%1").arg(i));
        m_group->addButton(b, i);
        // Items fill the columns top to bottom, as the platform's group does.
        grid->addWidget(b, i % qMax(1, rows), i / qMax(1, rows));
        m_buttons << b;
    }
    setItemIndex(checked);
}

int RadioGroup::itemIndex() const
{
    return m_group->checkedId();
}

void RadioGroup::setItemIndex(int index)
{
    if (QRadioButton *b = button(index)) {
        b->setChecked(true);
        setFocusProxy(b);
    } else if (QAbstractButton *current = m_group->checkedButton()) {
        m_group->setExclusive(false);
        current->setChecked(false);
        m_group->setExclusive(true);
    }
}

QRadioButton *RadioGroup::button(int index) const
{
    return index >= 0 && index < m_buttons.size() ? m_buttons.at(index) : nullptr;
}

} // namespace txl::ui
