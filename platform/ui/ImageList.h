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
    // The picture at 1x plus its file's @2x and @3x variants, where they
    // exist, so the icon stays sharp on high-density screens.
    QIcon icon(int index) const;

private:
    QList<QPixmap> m_pixmaps;
    QStringList m_files;
    QSize m_size;
};

// The picture in file with its @2x and @3x variants beside it.
QIcon iconWithDensities(const QString &file);

} // namespace txl::ui
