#pragma once

#include "platform/report/PreparedReport.h"

#include <QFont>
#include <QImage>
#include <QList>
#include <functional>

class QPainter;
class QPaintDevice;
class QPrinter;

// The one routine that draws prepared pages: the preview at any zoom, a
// printer, a PDF file and an image all go through paintPage, so the preview
// shows what prints.
namespace txl::report {

// Paints one page so that the paper fills `paper` (device pixels of the
// painter's device).
void paintPage(QPainter &painter, const PreparedReport &doc, int page, const QRectF &paper);

// The page as an image of the given resolution (dots per inch); a null image
// when that would be wider or taller than 32767 pixels or hold more than
// 2^27 of them.
QImage renderPage(const PreparedReport &doc, int page, double dpi);

// The font of a text item at a scale of pixelsPerMm on that device; the
// character set adds the family that holds its glyphs.
QFont fontFor(const FontSpec &font, double pixelsPerMm, const QPaintDevice *device);

// Sends pages [fromPage, toPage] (0-based, clamped) to a printer, PDF
// printers included, each copy in turn when the printer cannot make copies
// itself. The printer's paper becomes the report's page. `progress` is told
// after each page (pages sent, pages to send) and returns false to cancel,
// which aborts the job. Returns false when cancelled; throws
// std::runtime_error when the printer cannot be started.
bool printPages(QPrinter &printer, const PreparedReport &doc, int fromPage, int toPage,
    const std::function<bool(int, int)> &progress = {});

// Gives the printer the report's paper and orientation, without margins
// (the report's margins are its own).
void preparePrinter(QPrinter &printer, const PageSetup &page);

} // namespace txl::report
