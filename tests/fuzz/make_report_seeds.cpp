// Saves a few small reports with the real saver into the folder given:
// each as its payload (what the fuzzer mutates) and one whole file.
#include "platform/report/PreparedReport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

using namespace txl::report;

namespace {

ReportDefinition definition(Orientation orientation, double frame)
{
    const FontSpec cell { QStringLiteral("Arial"), 9, Charset::Gb2312 };
    const FontSpec title { QStringLiteral("Arial"), 10, Charset::Default };
    ReportDefinition def;
    def.page.orientation = orientation;
    def.page.frameWidthPt = frame;
    Band t;
    t.type = BandType::Title;
    t.height = 11.38;
    t.items.push_back(ReportItem::label(QStringLiteral("Title"), QStringLiteral("通讯录"), 80, 3, title));
    Band h;
    h.type = BandType::ColumnHeader;
    h.height = 10.58;
    h.items.push_back(ReportItem::rectangle(QStringLiteral("H1"), 0, 0, 40, 10.58));
    h.items.push_back(ReportItem::label(QStringLiteral("L1"), QStringLiteral("姓名"), 2, 3, cell));
    Band d;
    d.type = BandType::Detail;
    d.height = 8;
    d.items.push_back(ReportItem::rectangle(QStringLiteral("C1"), 0, 0, 40, 8));
    d.items.push_back(ReportItem::field(QStringLiteral("F1"), QStringLiteral("姓名"), 2, 2, cell));
    d.items.push_back(ReportItem::field(QStringLiteral("F2"), QStringLiteral("电话"), 42, 2, cell));
    def.bands = { t, h, d };
    return def;
}

QByteArray saved(const ReportDefinition &def, int pages, int rowsPerPage)
{
    PreparedReport doc(def);
    for (int p = 0; p < pages; ++p) {
        doc.beginPage();
        double top = 10;
        if (p == 0) {
            doc.placeBand(0, top, nullptr);
            top += 11.38;
        }
        doc.placeBand(1, top, nullptr);
        top += 10.58;
        for (int r = 0; r < rowsPerPage; ++r, top += 8) {
            const QString texts[2]
                = { QStringLiteral("联系人%1").arg(p * rowsPerPage + r), QStringLiteral("1390000%1").arg(r) };
            doc.placeBand(2, top, texts);
        }
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    doc.save(&buffer);
    return buffer.data();
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_report_seeds FOLDER\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const QByteArray files[] = {
        saved(definition(Orientation::Portrait, 1), 1, 0),
        saved(definition(Orientation::Portrait, 1), 1, 3),
        saved(definition(Orientation::Landscape, 0), 2, 2),
        saved(definition(Orientation::Portrait, 2.5), 3, 1),
    };
    bool ok = true;
    int n = 0;
    for (const QByteArray &file : files)
        ok = write(dir.filePath(QStringLiteral("payload-%1").arg(++n)), file.mid(52)) && ok;
    ok = write(dir.filePath(QStringLiteral("whole-file.txr")), files[1]) && ok;
    return ok ? 0 : 1;
}
