#include "platform/ui/ImageList.h"

namespace txl::ui {

ImageList::ImageList(QObject *parent)
    : QObject(parent)
{
}

void ImageList::load(const QString &pattern, int count, QSize size)
{
    m_size = size;
    m_pixmaps.clear();
    for (int i = 0; i < count; ++i) {
        QPixmap p(pattern.arg(i, 2, 10, QLatin1Char('0')));
        if (!p.isNull() && p.size() != size)
            p = p.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_pixmaps << p;
    }
}

QPixmap ImageList::pixmap(int index) const
{
    return m_pixmaps.value(index);
}

QIcon ImageList::icon(int index) const
{
    const QPixmap p = pixmap(index);
    return p.isNull() ? QIcon() : QIcon(p);
}

} // namespace txl::ui
