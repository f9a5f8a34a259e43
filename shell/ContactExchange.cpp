#include "shell/ContactExchange.h"

#include "exchange/Exchange.h"
#include "platform/ui/Dialogs.h"
#include "store/Backups.h"
#include "store/ContactTable.h"
#include "store/Unit_Dm.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QStandardPaths>
#include <memory>

namespace ContactExchange {

namespace {

// Past this many records the import shows its progress and can be cancelled.
constexpr int progressFrom = 2000;
// A notice box lists this many skipped records; the rest are counted.
constexpr int listedSkips = 20;

QString startFolder()
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(docs).exists() ? docs : QDir::homePath();
}

FileChooser &chooserForTests()
{
    static FileChooser chooser;
    return chooser;
}

// The file dialog, or the tests' answer to it. Returns the chosen path, empty
// when cancelled.
QString chooseFile(QFileDialog &dialog, const QStringList &filters, QString *chosenFilter)
{
    if (chooserForTests())
        return chooserForTests()(dialog.windowTitle(), filters, chosenFilter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    *chosenFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().constFirst();
}

} // namespace

void setFileChooserForTests(FileChooser chooser)
{
    chooserForTests() = std::move(chooser);
}

void importContacts(QWidget *parent)
{
    const QStringList filters { QStringLiteral("联系人文件 (*.vcf *.vcard *.csv *.txt)"),
        QStringLiteral("vCard 文件 (*.vcf *.vcard)"), QStringLiteral("CSV 文件 (*.csv *.txt)"),
        QStringLiteral("所有文件 (*)") };
    QFileDialog dialog(parent, QStringLiteral("导入联系人"), startFolder(), filters.join(QStringLiteral(";;")));
    dialog.setObjectName(QStringLiteral("ImportFileDialog"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    QString chosenFilter;
    const QString path = chooseFile(dialog, filters, &chosenFilter);
    if (path.isEmpty())
        return;

    exchange::ContactRecords records;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        records = exchange::readContactsFile(path);
        QApplication::restoreOverrideCursor();
    } catch (const exchange::ExchangeError &e) {
        QApplication::restoreOverrideCursor();
        txl::ui::showNotice(e.message() + QStringLiteral("\n没有导入任何联系人。"), QStringLiteral("导入联系人"),
            txl::ui::Icon::Warning);
        return;
    }

    const int count = static_cast<int>(records.size());
    std::unique_ptr<QProgressDialog> progress;
    if (count >= progressFrom) {
        progress = std::make_unique<QProgressDialog>(
            QStringLiteral("正在导入联系人…"), QStringLiteral("取消"), 0, count, parent);
        progress->setObjectName(QStringLiteral("ImportProgress"));
        progress->setWindowTitle(QStringLiteral("导入联系人"));
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(300);
        progress->setValue(0);
    }
    const exchange::Progress report = [&](int done, int total) {
        if (!progress)
            return true;
        progress->setMaximum(total);
        progress->setValue(done);
        return !progress->wasCanceled();
    };

    exchange::ImportSummary summary;
    try {
        store::Backups::beforeChange(*Dm->scon);
    } catch (const std::exception &e) {
        progress.reset();
        txl::ui::showNotice(
            QStringLiteral("无法先备份通讯录文件：%1\n没有导入任何联系人。").arg(QString::fromUtf8(e.what())),
            QStringLiteral("导入联系人"), txl::ui::Icon::Warning);
        return;
    }
    try {
        store::ContactTable table = Dm->contactTable();
        summary = exchange::importContacts(table, std::move(records), false, report);
    } catch (const exchange::ExchangeError &e) {
        progress.reset();
        txl::ui::showNotice(e.message(), QStringLiteral("导入联系人"), txl::ui::Icon::Warning);
        return;
    }
    progress.reset();
    Dm->reloadAll();

    QStringList lines { summary.summaryLine() };
    const QStringList skipped = summary.skippedLines();
    if (!skipped.isEmpty()) {
        lines.append(QString());
        lines.append(QStringLiteral("跳过的记录："));
        lines.append(skipped.mid(0, listedSkips));
        if (skipped.size() > listedSkips)
            lines.append(QStringLiteral("……另有 %1 条").arg(skipped.size() - listedSkips));
    }
    txl::ui::showNotice(lines.join(QLatin1Char('\n')), QStringLiteral("导入联系人"));
}

void exportContacts(QWidget *parent)
{
    const QString vcard = QStringLiteral("vCard 文件 (*.vcf)");
    const QString csvUtf8 = QStringLiteral("CSV 文件，UTF-8 (*.csv)");
    const QString csvGbk = QStringLiteral("CSV 文件，GBK (*.csv)");
    txl::Query *list = Dm->addquery;
    // Reading the rows of a closed list reports it, before any dialog.
    const int count = list->recordCount();

    const QStringList filters { vcard, csvUtf8, csvGbk };
    QFileDialog dialog(parent, QStringLiteral("导出联系人"), QDir(startFolder()).filePath(QStringLiteral("通讯录.vcf")),
        filters.join(QStringLiteral(";;")));
    dialog.setObjectName(QStringLiteral("ExportFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("vcf"));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString &filter) {
        dialog.setDefaultSuffix(filter == vcard ? QStringLiteral("vcf") : QStringLiteral("csv"));
    });
    QString filter = vcard;
    QString path = chooseFile(dialog, filters, &filter);
    if (path.isEmpty())
        return;
    // The dialog adds the suffix of the chosen kind to a bare name; so do we
    // for a name that came without one.
    if (QFileInfo(path).suffix().isEmpty())
        path += filter == vcard ? QStringLiteral(".vcf") : QStringLiteral(".csv");
    // A name typed with a suffix we know says the format, whichever kind is
    // chosen in the list: "联系人.csv" is never written as a vCard.
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (filter == vcard && (suffix == u"csv" || suffix == u"txt"))
        filter = csvUtf8;
    else if (filter != vcard && (suffix == u"vcf" || suffix == u"vcard"))
        filter = vcard;
    const exchange::FileFormat format = filter == vcard ? exchange::FileFormat::VCard : exchange::FileFormat::Csv;
    const exchange::CsvEncoding encoding = filter == csvGbk ? exchange::CsvEncoding::Gbk : exchange::CsvEncoding::Utf8;

    const exchange::ContactRecords records = exchange::recordsOf(store::ContactTable::rowsOf(*list));
    try {
        exchange::exportFile(path, records, format, encoding);
    } catch (const exchange::ExchangeError &e) {
        txl::ui::showNotice(
            e.message() + QStringLiteral("\n没有写出文件。"), QStringLiteral("导出联系人"), txl::ui::Icon::Warning);
        return;
    }
    txl::ui::showNotice(QStringLiteral("已导出 %1 条联系人到“%2”。").arg(count).arg(QDir::toNativeSeparators(path)),
        QStringLiteral("导出联系人"));
}

} // namespace ContactExchange
