// The saved-report loader and, for what it accepts, the page painter. An
// input not starting as a saved report is taken as a payload with a right
// header (see ReportInput.h), so the contents are tried, not the hash.
#include "fuzz/ReportInput.h"
#include "platform/report/PagePainter.h"

#include <QBuffer>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    // Font lookup fills its caches once; done here, it is not taken for a
    // leak of the first input that draws text.
    QImage warm(10, 10, QImage::Format_RGB32);
    QPainter painter(&warm);
    painter.setFont(QFont(QStringLiteral("Arial"), 9));
    painter.drawText(QPointF(0, 8), QStringLiteral("通讯录"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = asSavedReport(QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QString error;
    const auto doc = txl::report::PreparedReport::load(&buffer, &error);
    if (!doc) {
        if (error.isEmpty())
            std::abort(); // a refusal must say why
        return 0;
    }
    // A few pages are enough to reach every kind of drawing.
    for (int p = 0; p < std::min(doc->pageCount(), 4); ++p) {
        QImage image(60, 85, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            txl::report::paintPage(painter, *doc, p, QRectF(0, 0, 60, 85));
        }
        txl::report::renderPage(*doc, p, 3);
    }
    return 0;
}
