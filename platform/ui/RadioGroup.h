#pragma once

#include <QGroupBox>
#include <QList>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

namespace txl::ui {

// A framed group of radio buttons chosen by index, laid out in columns. The
// checked button stands for the group in the keyboard order.
class RadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList items READ items WRITE setItems)
    Q_PROPERTY(int columns READ columns WRITE setColumns)
    Q_PROPERTY(int itemIndex READ itemIndex WRITE setItemIndex)
public:
    explicit RadioGroup(QWidget *parent = nullptr);

    QStringList items() const { return m_items; }
    void setItems(const QStringList &items);
    int columns() const { return m_columns; }
    void setColumns(int columns);
    int itemIndex() const; // -1 when none is checked
    void setItemIndex(int index);
    QRadioButton *button(int index) const;

signals:
    void itemIndexChanged(int index);

private:
    void rebuild();

    QStringList m_items;
    int m_columns = 1;
    QButtonGroup *m_group;
    QList<QRadioButton *> m_buttons;
};

} // namespace txl::ui
