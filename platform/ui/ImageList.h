#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QSize>

namespace txl::ui {

// Pictures of one size, addressed by index, shared by the toolbar and menus.
class ImageList : public QObject {
    Q_OBJECT
public:
    explicit ImageList(QObject *parent = nullptr);

    // Loads pattern.arg(i) for i in [0, count); a missing picture stays an
    // empty image so the indices keep their meaning.
    void load(const QString &pattern, int count, QSize size);

    int count() const { return int(m_pixmaps.size()); }
    QSize imageSize() const { return m_size; }
    QPixmap pixmap(int index) const;
    QIcon icon(int index) const;

private:
    QList<QPixmap> m_pixmaps;
    QSize m_size;
};

} // namespace txl::ui
