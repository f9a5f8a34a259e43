#include "platform/ui/ImageList.h"

namespace txl::ui {

namespace {
// name.png -> name@2x.png, name@3x.png: the variants Qt's own loaders know.
void addDensityVariants(QIcon &icon, const QString &file, QSize size)
{
    const int dot = int(file.lastIndexOf(QLatin1Char('.')));
    if (dot < 0)
        return;
    for (int n : { 2, 3 }) {
        const QString variant = file.left(dot) + QStringLiteral("@%1x").arg(n) + file.mid(dot);
        const QPixmap p(variant);
        if (!p.isNull() && p.size() == size * n)
            icon.addPixmap(p);
    }
}
} // namespace

ImageList::ImageList(QObject *parent)
    : QObject(parent)
{
}

void ImageList::load(const QString &pattern, int count, QSize size)
{
    m_size = size;
    m_pixmaps.clear();
    m_files.clear();
    for (int i = 0; i < count; ++i) {
        m_files << pattern.arg(i, 2, 10, QLatin1Char('0'));
        QPixmap p(m_files.back());
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
    if (p.isNull())
        return QIcon();
    QIcon icon(p);
    addDensityVariants(icon, m_files.value(index), m_size);
    return icon;
}

QIcon iconWithDensities(const QString &file)
{
    const QPixmap p(file);
    if (p.isNull())
        return QIcon();
    QIcon icon(p);
    addDensityVariants(icon, file, p.size());
    return icon;
}

} // namespace txl::ui
