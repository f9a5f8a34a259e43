#include "shell/ContactExchange.h"

#include "exchange/Exchange.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/FileDialogs.h"
#include "store/Backups.h"
#include "store/ContactTable.h"
#include "store/Unit_Dm.h"

#include "ui_ImportSummary.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>

namespace ContactExchange {

namespace {

// An import that takes longer than this shows its progress.
constexpr int progressAfterMs = 300;
// The summary lists this many records of each kind, each value cut to
// shownChars characters; the rest are counted.
constexpr int listedLines = 50;
constexpr int shownChars = 40;

QString startFolder()
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(docs).exists() ? docs : QDir::homePath();
}

SummaryViewer &summaryShownForTests()
{
    static SummaryViewer viewer;
    return viewer;
}

// The same words as the tool's for the same failure.
void showFailure(exchange::Transfer transfer, const std::exception &error)
{
    txl::ui::showNotice(exchange::describeFailure(transfer, error),
        transfer == exchange::Transfer::Import ? QStringLiteral("导入联系人") : QStringLiteral("导出联系人"),
        txl::ui::Icon::Warning);
}

} // namespace

void setSummaryViewerForTests(SummaryViewer viewer)
{
    summaryShownForTests() = std::move(viewer);
}

QStringList listed(const QString &title, const QStringList &lines)
{
    if (lines.isEmpty())
        return {};
    QStringList out { title };
    out.append(lines.mid(0, listedLines));
    if (lines.size() > listedLines)
        out.append(QStringLiteral("……另有 %1 条").arg(lines.size() - listedLines));
    out.append(QString());
    return out;
}

void showSummary(QWidget *parent, const QString &caption, const QString &summaryLine, QStringList details)
{
    if (details.isEmpty()) {
        txl::ui::showNotice(summaryLine, caption);
        return;
    }
    if (details.constLast().isEmpty())
        details.removeLast();
    QDialog box(parent);
    Ui::ImportSummary ui;
    ui.setupUi(&box);
    box.setWindowTitle(caption);
    ui.summaryLabel->setText(summaryLine);
    ui.detailsText->setPlainText(details.join(QLatin1Char('\n')));
    // The window speaks Chinese whatever the locale, as its message boxes do.
    ui.buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    QScreen *screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        QSize size = box.size().boundedTo(area.size() * 9 / 10);
        box.resize(size);
        box.setMaximumSize(area.size());
        box.move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    }
    if (summaryShownForTests()) {
        summaryShownForTests()(box);
        return;
    }
    box.exec();
}

namespace {

// The reading and checking of a file, done on a worker thread so the window
// stays alive and Cancel works from the first byte. The job is shared: a
// cancelled read may still be parsing when the window has moved on, and its
// result is then dropped. It touches nothing but itself.
struct ReadJob {
    QString path;
    std::atomic<bool> cancelled { false };
    std::atomic<qint64> done { 0 };
    std::atomic<qint64> total { 0 };
    std::atomic<bool> finished { false };
    // Written by the worker before finished is set.
    exchange::ContactRecords records;
    exchange::ImportSummary summary;
    QString error;
};

void readAndCheck(const std::shared_ptr<ReadJob> &job)
{
    try {
        job->records = exchange::readContactsFile(job->path, [&job](qint64 done, qint64 total) {
            job->done = done;
            job->total = total;
            return !job->cancelled;
        });
        if (!job->cancelled)
            job->summary = exchange::applyImportRules(job->records);
    } catch (const exchange::ExchangeError &e) {
        job->error = exchange::describeFailure(exchange::Transfer::Import, e);
    } catch (const std::exception &e) {
        job->error = exchange::describeFailure(exchange::Transfer::Import, e);
    }
    job->finished = true;
}

void showImportSummary(QWidget *parent, const exchange::ImportSummary &summary)
{
    showSummary(parent, QStringLiteral("导入联系人"), summary.summaryLine(),
        listed(QStringLiteral("跳过的记录："), summary.skippedLines(shownChars))
            + listed(QStringLiteral("导入时未带上的号码："), summary.leftOutLines(shownChars)));
}

} // namespace

void importContacts(QWidget *parent)
{
    // The window speaks Chinese whatever the locale, the summaries too.
    exchange::installChineseTexts();
    const QStringList filters { QStringLiteral("联系人文件 (*.vcf *.vcard *.csv *.txt)"),
        QStringLiteral("vCard 文件 (*.vcf *.vcard)"), QStringLiteral("CSV 文件 (*.csv *.txt)"),
        QStringLiteral("所有文件 (*)") };
    const QString path = txl::ui::chooseFile(parent,
        { txl::ui::FileRequest::Open, QStringLiteral("导入联系人"), startFolder(), filters, QString(),
            QStringLiteral("ImportFileDialog") })
                             .path;
    if (path.isEmpty())
        return;

    QProgressDialog progress(
        QStringLiteral("正在读取“%1”…").arg(QFileInfo(path).fileName()), QStringLiteral("取消"), 0, 0, parent);
    progress.setObjectName(QStringLiteral("ImportProgress"));
    progress.setWindowTitle(QStringLiteral("导入联系人"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setMinimumDuration(progressAfterMs);

    // Reading and checking: on the worker, the window waits in its own loop.
    auto job = std::make_shared<ReadJob>();
    job->path = path;
    {
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(30);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (job->finished || progress.wasCanceled()) {
                loop.quit();
                return;
            }
            const qint64 total = job->total;
            // Bytes as kilobytes, so a 64 MB file fits the dialog's int range.
            if (total > 0 && job->done < total) {
                progress.setMaximum(static_cast<int>(total / 1024) + 1);
                progress.setValue(static_cast<int>(job->done / 1024));
            } else {
                progress.setMaximum(0); // parsing: a busy bar
            }
        });
        QObject::connect(&progress, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
        QThreadPool::globalInstance()->start([job] { readAndCheck(job); });
        poll.start();
        if (!job->finished)
            loop.exec();
        if (!job->finished || progress.wasCanceled()) {
            job->cancelled = true;
            progress.close();
            showFailure(exchange::Transfer::Import,
                exchange::ExchangeError(QCoreApplication::translate("exchange", "The import was cancelled.")));
            return;
        }
    }
    if (!job->error.isEmpty()) {
        progress.close();
        txl::ui::showNotice(job->error, QStringLiteral("导入联系人"), txl::ui::Icon::Warning);
        return;
    }

    // Storing: on the window's own connection, in one transaction.
    const int count = static_cast<int>(job->records.size());
    progress.setLabelText(QStringLiteral("正在导入联系人…"));
    progress.setMaximum(std::max(count, 1));
    progress.setValue(0);
    const exchange::Progress report = [&](int done, int total) {
        progress.setMaximum(std::max(total, 1));
        progress.setValue(done);
        return !progress.wasCanceled();
    };
    exchange::ImportSummary summary = std::move(job->summary);
    try {
        store::Backups::beforeChange(*Dm->scon);
    } catch (const std::exception &e) {
        progress.close();
        txl::ui::showNotice(
            QStringLiteral("无法先备份通讯录文件：%1\n没有导入任何联系人。").arg(QString::fromUtf8(e.what())),
            QStringLiteral("导入联系人"), txl::ui::Icon::Warning);
        return;
    }
    try {
        store::ContactTable table = Dm->contactTable();
        exchange::storeImported(table, job->records, summary, false, report);
    } catch (const std::exception &e) {
        progress.close();
        showFailure(exchange::Transfer::Import, e);
        return;
    }
    progress.close();
    job.reset();
    Dm->reloadAll();
    showImportSummary(parent, summary);
}

void exportContacts(QWidget *parent)
{
    exchange::installChineseTexts();
    const QString vcard = QStringLiteral("vCard 文件 (*.vcf)");
    const QString csvUtf8 = QStringLiteral("CSV 文件，UTF-8 (*.csv)");
    const QString csvGbk = QStringLiteral("CSV 文件，GBK (*.csv)");
    txl::Query *list = Dm->addquery;
    // Reading the rows of a closed list reports it, before any dialog.
    const int count = list->recordCount();

    const QStringList filters { vcard, csvUtf8, csvGbk };
    const txl::ui::FileChoice choice = txl::ui::chooseFile(parent,
        { txl::ui::FileRequest::Save, QStringLiteral("导出联系人"),
            QDir(startFolder()).filePath(QStringLiteral("通讯录.vcf")), filters, vcard,
            QStringLiteral("ExportFileDialog") });
    QString path = choice.path;
    QString filter = choice.filter;
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
        exchange::exportFile(path, records, format, encoding, Dm->scon->databaseFile());
    } catch (const std::exception &e) {
        showFailure(exchange::Transfer::Export, e);
        return;
    }
    txl::ui::showNotice(QStringLiteral("已导出 %1 条联系人到“%2”。").arg(count).arg(QDir::toNativeSeparators(path)),
        QStringLiteral("导出联系人"));
}

} // namespace ContactExchange
