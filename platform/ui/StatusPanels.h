#pragma once

#include <QList>
#include <QWidget>

class QLabel;

namespace txl::ui {

// A status bar of panels with fixed widths, as the desktop platform draws
// them: sunken boxes side by side, the last one stretching to the right edge.
// Panel labels are named "Panel0", "Panel1"... .
class StatusPanels : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QList<int> panelWidths READ panelWidths WRITE setPanelWidths)
public:
    explicit StatusPanels(QWidget *parent = nullptr);

    void setPanelWidths(const QList<int> &widths);
    QList<int> panelWidths() const { return m_widths; }
    int panelCount() const { return int(m_panels.size()); }

    QString panelText(int index) const;
    void setPanelText(int index, const QString &text);
    QLabel *panel(int index) const;

private:
    QList<int> m_widths;
    QList<QLabel *> m_panels;
};

} // namespace txl::ui
