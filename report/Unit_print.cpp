#include "report/Unit_print.h"

#include "store/Unit_Dm.h"

Tfrm_print *frm_print = nullptr;

namespace {

using txl::report::Band;
using txl::report::BandType;
using txl::report::Charset;
using txl::report::FontSpec;
using txl::report::ReportItem;

constexpr double kBandWidth = 189.71;

const FontSpec kCellFont { QStringLiteral("Arial"), 9, Charset::Gb2312 };
const FontSpec kTitleFont { QStringLiteral("Arial"), 10, Charset::Gb2312 };

// One column of the table: its cell and where its heading and its field sit.
struct Column {
    const char *key;
    double left, width;
    const char *heading;
    double headingLeft, headingTop;
    const char *field;
    double fieldLeft, fieldTop;
};

// Left to right; the group column is not printed.
const Column kColumns[] = {
    { "Name", 0.00, 25.66, "姓名", 1.85, 3.70, "姓名", 1.32, 3.44 },
    { "Sex", 25.40, 17.20, "性别", 26.99, 3.44, "性别", 26.99, 3.44 },
    { "Mobile", 42.33, 34.13, "手机号码", 44.19, 3.70, "手机号码", 43.92, 3.70 },
    { "QQ", 76.20, 32.01, "QQ", 77.79, 3.44, "QQ号码", 77.79, 3.44 },
    { "Mail", 107.95, 29.90, "电子邮件", 109.54, 3.44, "电子邮件", 109.54, 3.18 },
    { "Address", 137.58, 52.12, "家庭住址", 139.17, 3.44, "家庭住址", 139.44, 3.44 },
};
enum { Name, Sex, Mobile, QQ, Mail, Address };

ReportItem headingCell(int c)
{
    const Column &col = kColumns[c];
    return ReportItem::rectangle(
        QStringLiteral("Heading%1Shape").arg(QLatin1String(col.key)), col.left, 0, col.width, 10.58);
}

ReportItem heading(int c)
{
    const Column &col = kColumns[c];
    return ReportItem::label(QStringLiteral("Heading%1Label").arg(QLatin1String(col.key)),
        QString::fromUtf8(col.heading), col.headingLeft, col.headingTop, kCellFont);
}

Band titleBand()
{
    Band band;
    band.name = QStringLiteral("TitleBand1");
    band.type = BandType::Title;
    band.height = 11.38;
    band.width = kBandWidth;
    // 0.26 mm taller than the band: the next band covers it, so the title
    // box shares its lower edge with the row below.
    band.items << ReportItem::rectangle(QStringLiteral("TitleShape"), 0, 0, kBandWidth, 11.64)
               << ReportItem::label(QStringLiteral("TitleLabel"), QStringLiteral("同学录"), 86.78, 4.23, kTitleFont);
    return band;
}

Band columnHeaderBand()
{
    Band band;
    band.name = QStringLiteral("ColumnHeaderBand1");
    band.type = BandType::ColumnHeader;
    band.height = 10.58;
    band.width = kBandWidth;
    // Later items paint over earlier ones; this order leaves one line at
    // each shared edge.
    band.items << headingCell(Sex) << headingCell(Mobile) << headingCell(Name) << headingCell(QQ) << heading(Name)
               << heading(Sex) << heading(Mobile) << heading(QQ) << headingCell(Mail) << heading(Mail)
               << headingCell(Address) << heading(Address);
    return band;
}

Band detailBand()
{
    Band band;
    band.name = QStringLiteral("DetailBand1");
    band.type = BandType::Detail;
    band.height = 10.58;
    band.width = kBandWidth;
    for (const Column &col : kColumns)
        band.items << ReportItem::rectangle(
            QStringLiteral("Field%1Shape").arg(QLatin1String(col.key)), col.left, -0.26, col.width, 10.58);
    for (const Column &col : kColumns)
        band.items << ReportItem::field(QStringLiteral("Field%1Text").arg(QLatin1String(col.key)),
            QString::fromUtf8(col.field), col.fieldLeft, col.fieldTop, kCellFont);
    return band;
}

} // namespace

Tfrm_print::Tfrm_print(QWidget *parent)
    : QWidget(parent)
    , QuickRep1(new txl::report::Report(this))
{
    setObjectName(QStringLiteral("frm_print"));
    QuickRep1->setObjectName(QStringLiteral("QuickRep1"));

    txl::report::ReportDefinition &def = QuickRep1->definition();
    def.page = txl::report::PageSetup(); // A4 portrait, 10 mm margins, 1 pt frame
    def.bands << titleBand() << columnHeaderBand() << detailBand();
    QuickRep1->setDataSet(Dm ? Dm->addquery : nullptr);
}

Tfrm_print::~Tfrm_print()
{
    if (frm_print == this)
        frm_print = nullptr;
}
