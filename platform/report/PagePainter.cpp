#include "platform/report/PagePainter.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QHash>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace txl::report {

namespace {

// A family the system lacks but substitutes (Arial by Liberation Sans) is
// found only when asked for alone; in a list of families it would be
// skipped for the next, so the list starts with what it resolves to.
QString installedFamily(const QString &family)
{
    static QHash<QString, QString> resolved;
    auto it = resolved.find(family);
    if (it == resolved.end())
        it = resolved.insert(family, QFontInfo(QFont(family)).family());
    return *it;
}

QStringList familiesFor(const FontSpec &wanted)
{
    QStringList families { installedFamily(wanted.family) };
    if (wanted.charset == Charset::Gb2312)
        families << QStringLiteral("WenQuanYi Micro Hei") << QStringLiteral("Noto Sans CJK SC")
                 << QStringLiteral("AR PL UMing CN");
    return families;
}

// Device positions are kept inside this range, so that no conversion to int
// and no width taken between two of them can overflow, whatever a page says.
constexpr double kPixelLimit = 1 << 24;
// Point sizes past this draw nothing more useful and only cost memory.
constexpr double kMaxDevicePointSize = 10000;
// A page image larger than this is not made (512 MiB of pixels).
constexpr qint64 kMaxImagePixels = qint64(1) << 27;
constexpr double kMaxImageSide = 32767;

bool within(double value, double low, double high)
{
    return std::isfinite(value) && value >= low && value <= high;
}

int toPixel(double v)
{
    if (!std::isfinite(v))
        return 0;
    return static_cast<int>(std::lround(std::clamp(v, -kPixelLimit, kPixelLimit)));
}

// Millimetres to whole device pixels; edges that meet in millimetres meet on
// the same pixel, which is what keeps a shared cell border one line.
struct Mapper {
    QPointF origin;
    double scale; // pixels per mm

    int x(double mm) const { return toPixel(origin.x() + mm * scale); }
    int y(double mm) const { return toPixel(origin.y() + mm * scale); }
};

} // namespace

QFont fontFor(const FontSpec &wanted, double pixelsPerMm, const QPaintDevice *device)
{
    QFont font;
    font.setFamilies(familiesFor(wanted));
    const int dpi = device && device->logicalDpiY() > 0 ? device->logicalDpiY() : 96;
    // Point size on this device that gives the font's real size at this
    // scale: pt / 72 in = pt * 25.4 / 72 mm = that many mm * scale pixels.
    const double size = wanted.pointSize * pixelsPerMm * 25.4 / dpi;
    font.setPointSizeF(std::isfinite(size) ? std::clamp(size, 0.5, kMaxDevicePointSize) : 0.5);
    return font;
}

void paintPage(QPainter &painter, const PreparedReport &doc, int page, const QRectF &paper)
{
    if (page < 0 || page >= doc.pageCount() || !(doc.page().pageWidth() > 0))
        return;
    const Mapper m { paper.topLeft(), paper.width() / doc.page().pageWidth() };
    if (!std::isfinite(m.scale) || !std::isfinite(m.origin.x()) || !std::isfinite(m.origin.y()) || m.scale <= 0)
        return;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setBrush(Qt::NoBrush);
    QPen outline(Qt::black, 0); // cosmetic: one device pixel at any scale
    outline.setCosmetic(true);

    std::vector<QFont> fonts;
    std::vector<QFontMetricsF> metrics;
    for (const FontSpec &wanted : doc.fonts()) {
        fonts.push_back(fontFor(wanted, m.scale, painter.device()));
        metrics.emplace_back(fonts.back(), painter.device());
    }

    doc.forEachOp(page, [&](const DrawOp &op) {
        const int x1 = m.x(op.rect.left());
        const int y1 = m.y(op.rect.top());
        const int x2 = m.x(op.rect.right());
        const int y2 = m.y(op.rect.bottom());
        switch (op.kind) {
        case DrawOp::Kind::Fill:
            painter.fillRect(QRect(x1, y1, x2 - x1, y2 - y1), Qt::white);
            break;
        case DrawOp::Kind::Rectangle:
            // The outline's pixels are x1..x2 and y1..y2; the fill takes the
            // same pixels so that a later cell covers an earlier one's edge.
            painter.fillRect(QRect(x1, y1, x2 - x1 + 1, y2 - y1 + 1), Qt::white);
            painter.setPen(outline);
            painter.drawRect(QRect(x1, y1, x2 - x1, y2 - y1));
            break;
        case DrawOp::Kind::Text: {
            if (op.text.isEmpty() || op.font < 0 || op.font >= static_cast<int>(fonts.size()))
                break;
            const QString text = op.text.toString();
            const QFontMetricsF &fm = metrics[static_cast<size_t>(op.font)];
            // The box widens to hold the whole text; nothing clips it.
            const double width = fm.horizontalAdvance(text);
            const int right = toPixel(std::ceil(m.origin.x() + op.rect.left() * m.scale + width));
            painter.fillRect(QRect(x1, y1, std::max(1, right - x1), y2 - y1), Qt::white);
            painter.setFont(fonts[static_cast<size_t>(op.font)]);
            painter.setPen(Qt::black);
            painter.drawText(
                QPointF(m.origin.x() + op.rect.left() * m.scale, m.origin.y() + op.rect.top() * m.scale + fm.ascent()),
                text);
            break;
        }
        case DrawOp::Kind::Bar:
            painter.fillRect(QRect(x1, y1, std::max(1, x2 - x1), std::max(1, y2 - y1)), Qt::black);
            break;
        }
    });
    painter.restore();
}

QImage renderPage(const PreparedReport &doc, int page, double dpi)
{
    const double pxPerMm = dpi / 25.4;
    const QSizeF size(doc.page().pageWidth() * pxPerMm, doc.page().pageHeight() * pxPerMm);
    if (!within(size.width(), 1, kMaxImageSide) || !within(size.height(), 1, kMaxImageSide)
        || std::ceil(size.width()) * std::ceil(size.height()) > double(kMaxImagePixels))
        return QImage();
    QImage image(
        static_cast<int>(std::ceil(size.width())), static_cast<int>(std::ceil(size.height())), QImage::Format_RGB32);
    const int dpm = static_cast<int>(std::lround(dpi / 0.0254));
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
    image.fill(Qt::white);
    QPainter painter(&image);
    paintPage(painter, doc, page, QRectF(QPointF(0, 0), size));
    return image;
}

void preparePrinter(QPrinter &printer, const PageSetup &page)
{
    printer.setFullPage(true);
    const QPageSize paper(QSizeF(page.paperWidth, page.paperHeight), QPageSize::Millimeter);
    printer.setPageLayout(
        QPageLayout(paper, page.orientation == Orientation::Portrait ? QPageLayout::Portrait : QPageLayout::Landscape,
            QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
}

bool printPages(QPrinter &printer, const PreparedReport &doc, int fromPage, int toPage,
    const std::function<bool(int, int)> &progress)
{
    fromPage = std::max(0, fromPage);
    toPage = std::min(doc.pageCount() - 1, toPage);
    if (toPage < fromPage)
        return true;
    preparePrinter(printer, doc.page());
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    const bool collate = printer.collateCopies();
    const int perCopy = toPage - fromPage + 1;
    const int total = perCopy * copies;

    QPainter painter;
    if (!painter.begin(&printer))
        throw std::runtime_error("The printer could not be started.");
    const QRectF paper(QPointF(0, 0), printer.pageLayout().fullRectPixels(printer.resolution()).size());
    for (int i = 0; i < total; ++i) {
        const int page = fromPage + (collate ? i % perCopy : i / copies);
        if (i > 0 && !printer.newPage())
            throw std::runtime_error("The printer stopped accepting pages.");
        paintPage(painter, doc, page, paper);
        if (progress && !progress(i + 1, total)) {
            printer.abort();
            painter.end();
            return false;
        }
    }
    if (!painter.end())
        throw std::runtime_error("The printer could not finish the job.");
    return true;
}

} // namespace txl::report
