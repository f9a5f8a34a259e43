#include "platform/report/PreviewWindow.h"

#include "platform/data/Query.h"
#include "platform/os/PrivateFiles.h"
#include "platform/report/PagePainter.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/FileDialogs.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <cmath>
#include <stdexcept>

namespace txl::report {

namespace {
constexpr int kGap = 16; // grey border around the paper, in pixels

QString captionText()
{
    return QStringLiteral("Print Preview");
}

void tell(const QString &text)
{
    ui::showNotice(text, captionText(), ui::Icon::Warning);
}

// The first file dialog starts in the user's documents (or home), as export
// does, not in the hidden data folder the program runs in; later ones where
// the last file was chosen.
QString &lastFolder()
{
    static QString folder;
    return folder;
}

QString startFolder()
{
    if (!lastFolder().isEmpty() && QFileInfo(lastFolder()).isDir())
        return lastFolder();
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(docs).isDir() ? docs : QDir::homePath();
}

ui::FileChoice chooseInStartFolder(QWidget *parent, ui::FileRequest request)
{
    if (request.start.isEmpty())
        request.start = startFolder();
    const ui::FileChoice choice = ui::chooseFile(parent, request);
    if (!choice.cancelled())
        lastFolder() = QFileInfo(choice.path).absolutePath();
    return choice;
}
} // namespace

void PreviewWindow::forgetLastFolder()
{
    lastFolder().clear();
}

// Shows one page of the preview's document at the preview's scale.
class PageView : public QWidget {
public:
    explicit PageView(PreviewWindow *preview)
        : QWidget(preview)
        , m_preview(preview)
    {
        setObjectName(QStringLiteral("PageView"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    QSizeF paperSize() const
    {
        const PreparedReport *doc = m_preview->document();
        const PageSetup page = doc ? doc->page() : PageSetup();
        return QSizeF(page.pageWidth(), page.pageHeight()) * m_preview->pixelsPerMm();
    }

    void fit()
    {
        const QSizeF paper = paperSize();
        resize(static_cast<int>(std::ceil(paper.width())) + 2 * kGap,
            static_cast<int>(std::ceil(paper.height())) + 2 * kGap);
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(0x80, 0x80, 0x80));
        const QRectF paper(QPointF(kGap, kGap), paperSize());
        painter.fillRect(paper.translated(3, 3), QColor(0x40, 0x40, 0x40));
        painter.fillRect(paper, Qt::white);
        const PreparedReport *doc = m_preview->document();
        // A page still being filled stays blank until it is complete.
        if (doc && m_preview->currentPage() < m_preview->pageCount())
            paintPage(painter, *doc, m_preview->currentPage(), paper);
    }

private:
    PreviewWindow *m_preview;
};

PreviewWindow::PreviewWindow(const ReportDefinition &definition, Query *query, QWidget *parent)
    : QMainWindow(parent, Qt::Window)
    , m_definition(definition)
    , m_query(query)
    , m_job(std::make_unique<LayoutJob>(definition, query))
    , m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(captionText());
    preparePrinter(*m_printer, definition.page);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("PageScroller"));
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn); // page width must not change with it
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_view = new PageView(this);
    m_scroll->setWidget(m_view);
    m_scroll->viewport()->installEventFilter(this);
    setCentralWidget(m_scroll);

    m_progressLabel = new QLabel(this);
    m_progressLabel->setObjectName(QStringLiteral("ProgressPanel"));
    m_progressLabel->setMinimumWidth(140);
    m_pageLabel = new QLabel(this);
    m_pageLabel->setObjectName(QStringLiteral("PagePanel"));
    m_pageLabel->setMinimumWidth(140);
    m_messageLabel = new QLabel(this);
    m_messageLabel->setObjectName(QStringLiteral("MessagePanel"));
    statusBar()->addWidget(m_progressLabel);
    statusBar()->addWidget(m_pageLabel);
    statusBar()->addWidget(m_messageLabel, 1);

    buildActions();

    connect(m_job.get(), &LayoutJob::progressed, this, &PreviewWindow::onProgress);
    connect(m_job.get(), &LayoutJob::finished, this, &PreviewWindow::onFinished);
    resize(900, 700);
    updateScale();
    updateStatus();
    updateCommands();
}

PreviewWindow::~PreviewWindow()
{
    if (m_job)
        m_job->disconnect(this);
}

QAction *PreviewWindow::addCommand(const char *objectName, const QString &text, const QList<QKeySequence> &keys)
{
    auto *action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setShortcuts(keys);
    addAction(action);
    return action;
}

void PreviewWindow::buildActions()
{
    QToolBar *bar = addToolBar(QStringLiteral("Preview"));
    bar->setObjectName(QStringLiteral("PreviewToolBar"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    auto icon = [this](QStyle::StandardPixmap p) { return style()->standardIcon(p); };
    auto guardedSlot = [](auto fn) { return [fn] { ui::guarded(fn); }; };

    QAction *fit = addCommand("ZoomToFit", QStringLiteral("Whole page"), {});
    QAction *actual = addCommand("Zoom100", QStringLiteral("100 %"), {});
    QAction *width = addCommand("ZoomToWidth", QStringLiteral("Page width"), {});
    connect(fit, &QAction::triggered, this, guardedSlot([this] { setZoom(Zoom::FitPage); }));
    connect(actual, &QAction::triggered, this, guardedSlot([this] { setZoom(Zoom::Actual); }));
    connect(width, &QAction::triggered, this, guardedSlot([this] { setZoom(Zoom::PageWidth); }));
    bar->addAction(fit);
    bar->addAction(actual);
    bar->addAction(width);
    bar->addSeparator();

    QAction *first = addCommand(
        "FirstPage", QStringLiteral("First"), { QKeySequence(Qt::Key_Home), QKeySequence(Qt::CTRL | Qt::Key_PageUp) });
    QAction *prior = addCommand("PriorPage", QStringLiteral("Previous"), { QKeySequence(Qt::Key_PageUp) });
    QAction *next = addCommand("NextPage", QStringLiteral("Next"), { QKeySequence(Qt::Key_PageDown) });
    QAction *last = addCommand(
        "LastPage", QStringLiteral("Last"), { QKeySequence(Qt::Key_End), QKeySequence(Qt::CTRL | Qt::Key_PageDown) });
    first->setIcon(icon(QStyle::SP_MediaSkipBackward));
    prior->setIcon(icon(QStyle::SP_MediaSeekBackward));
    next->setIcon(icon(QStyle::SP_MediaSeekForward));
    last->setIcon(icon(QStyle::SP_MediaSkipForward));
    connect(first, &QAction::triggered, this, guardedSlot([this] { setCurrentPage(0); }));
    connect(prior, &QAction::triggered, this, guardedSlot([this] { setCurrentPage(m_page - 1); }));
    connect(next, &QAction::triggered, this, guardedSlot([this] { setCurrentPage(m_page + 1); }));
    connect(last, &QAction::triggered, this, guardedSlot([this] { setCurrentPage(pageCount() - 1); }));
    bar->addAction(first);
    bar->addAction(prior);
    bar->addAction(next);
    bar->addAction(last);
    bar->addSeparator();

    m_setup = addCommand("PrinterSetup", QStringLiteral("Printer setup"), {});
    m_print = addCommand("Print", QStringLiteral("Print"), { QKeySequence(Qt::CTRL | Qt::Key_P) });
    m_save = addCommand("SaveReport", QStringLiteral("Save"), { QKeySequence(Qt::CTRL | Qt::Key_S) });
    QAction *load = addCommand("LoadReport", QStringLiteral("Open"), { QKeySequence(Qt::CTRL | Qt::Key_O) });
    QAction *close = addCommand("ClosePreview", QStringLiteral("Close"), { QKeySequence(Qt::Key_Escape) });
    m_print->setIcon(icon(QStyle::SP_FileIcon));
    m_save->setIcon(icon(QStyle::SP_DialogSaveButton));
    load->setIcon(icon(QStyle::SP_DialogOpenButton));
    close->setIcon(icon(QStyle::SP_DialogCloseButton));
    connect(m_setup, &QAction::triggered, this, guardedSlot([this] { printerSetup(); }));
    connect(m_print, &QAction::triggered, this, guardedSlot([this] { print(); }));
    connect(m_save, &QAction::triggered, this, guardedSlot([this] { saveCommand(); }));
    connect(load, &QAction::triggered, this, guardedSlot([this] { loadCommand(); }));
    connect(close, &QAction::triggered, this, &QWidget::close);
    bar->addAction(m_setup);
    bar->addAction(m_print);
    bar->addSeparator();
    bar->addAction(m_save);
    bar->addAction(load);
    bar->addSeparator();
    bar->addAction(close);
}

void PreviewWindow::startLayout()
{
    m_job->start();
}

bool PreviewWindow::isLayoutFinished() const
{
    return m_loaded || m_job->isFinished();
}

const PreparedReport *PreviewWindow::document() const
{
    return m_loaded ? m_loaded.get() : &m_job->document();
}

int PreviewWindow::pageCount() const
{
    return m_loaded ? m_loaded->pageCount() : m_job->completedPages();
}

void PreviewWindow::setCurrentPage(int page)
{
    const int clamped = std::clamp(page, 0, std::max(0, pageCount() - 1));
    if (clamped == m_page)
        return;
    m_page = clamped;
    m_scroll->verticalScrollBar()->setValue(0);
    m_view->update();
    updateStatus();
}

void PreviewWindow::setZoom(Zoom zoom)
{
    m_zoom = zoom;
    updateScale();
}

bool PreviewWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize && m_zoom != Zoom::Actual)
        updateScale();
    return QMainWindow::eventFilter(watched, event);
}

void PreviewWindow::updateScale()
{
    const PageSetup page = document() ? document()->page() : m_definition.page;
    const QSize area = m_scroll->viewport()->size();
    const double byWidth = std::max(1, area.width() - 2 * kGap) / page.pageWidth();
    const double byHeight = std::max(1, area.height() - 2 * kGap) / page.pageHeight();
    switch (m_zoom) {
    case Zoom::FitPage:
        m_scale = std::min(byWidth, byHeight);
        break;
    case Zoom::Actual:
        m_scale = m_view->logicalDpiX() / 25.4;
        break;
    case Zoom::PageWidth:
        m_scale = byWidth;
        break;
    }
    m_view->fit();
}

void PreviewWindow::onProgress(int, int)
{
    updateStatus();
    if (m_page < pageCount())
        m_view->update();
}

void PreviewWindow::onFinished(LayoutJob::State state)
{
    // The walk has ended with the pages it has; the failure itself goes to
    // the general error report.
    if (state == LayoutJob::State::Failed)
        ui::showErrorReport(m_job->errorText());
    if (state == LayoutJob::State::DataChanged)
        m_messageLabel->setText(
            QStringLiteral("The list changed during the layout; the report ends after row %1 of %2.")
                .arg(m_job->rowsDone())
                .arg(m_job->rowCount()));
    setCurrentPage(m_page);
    m_view->update();
    updateStatus();
    updateCommands();
    emit layoutFinished(state);
}

void PreviewWindow::updateStatus()
{
    m_progressLabel->setText(m_loaded ? QStringLiteral("100%") : QStringLiteral("%1%").arg(m_job->percent()));
    const int pages = pageCount();
    m_pageLabel->setText(pages == 0 ? QString() : QStringLiteral("Page %1 of %2").arg(m_page + 1).arg(pages));
}

QString PreviewWindow::statusText() const
{
    return QStringList { m_progressLabel->text(), m_pageLabel->text(), m_messageLabel->text() }.join(QLatin1Char('|'));
}

void PreviewWindow::updateCommands()
{
    const bool ready = isLayoutFinished() && !m_printing;
    m_print->setEnabled(ready);
    m_setup->setEnabled(ready);
    m_save->setEnabled(ready);
}

void PreviewWindow::closeEvent(QCloseEvent *event)
{
    if (m_printing) {
        event->ignore();
        return;
    }
    // Closing stops the walk where it is.
    m_job->cancel();
    QMainWindow::closeEvent(event);
}

void PreviewWindow::printerSetup()
{
    if (!isLayoutFinished())
        return;
    QPrintDialog dialog(m_printer.get(), this);
    dialog.setWindowTitle(QStringLiteral("打印设置"));
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintPageRange
        | QAbstractPrintDialog::PrintCollateCopies | QAbstractPrintDialog::PrintShowPageSize);
    dialog.setMinMax(1, std::max(1, pageCount()));
    // It only sets up: nothing prints when it closes, so not Qt's "打印".
    if (auto *buttons = dialog.findChild<QDialogButtonBox *>())
        if (QPushButton *ok = buttons->button(QDialogButtonBox::Ok))
            ok->setText(QStringLiteral("确定"));
    dialog.exec(); // the printer keeps what was chosen for the next print
}

bool PreviewWindow::print()
{
    if (!isLayoutFinished() || m_printing)
        return false;
    QPrinter &printer = *m_printer;
    // With no printer installed Qt's printer is a PDF writer without a file
    // (or a printer without a name): print to a PDF file the user names.
    const bool noPrinter = printer.outputFormat() == QPrinter::NativeFormat
        ? QPrinterInfo::availablePrinterNames().isEmpty() || printer.printerName().isEmpty()
        : printer.outputFileName().isEmpty();
    if (noPrinter) {
        ui::showNotice(QStringLiteral("没有安装打印机，报表将打印到 PDF 文件。"), captionText(), ui::Icon::Information);
        QString file = chooseInStartFolder(this,
            { ui::FileRequest::Save, QStringLiteral("打印到 PDF 文件"), QString(),
                { QStringLiteral("PDF 文件 (*.pdf)") }, QString(), QStringLiteral("PrintToFileDialog") })
                           .path;
        if (file.isEmpty())
            return false;
        if (QFileInfo(file).suffix().isEmpty())
            file += QStringLiteral(".pdf");
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
    }
    m_printing = true;
    updateCommands();
    const auto done = qScopeGuard([this] {
        m_printing = false;
        updateCommands();
    });

    std::shared_ptr<const PreparedReport> doc = m_loaded;
    if (!doc) {
        // The printout is laid out again from the rows as they are now, in
        // the orientation chosen in the printer set-up.
        ReportDefinition definition = m_definition;
        definition.page.orientation = printer.pageLayout().orientation() == QPageLayout::Landscape
            ? Orientation::Landscape
            : Orientation::Portrait;
        LayoutJob job(definition, m_query);
        QProgressDialog progress(QStringLiteral("Preparing the report..."), QStringLiteral("Cancel"), 0, 100, this);
        progress.setWindowTitle(captionText());
        progress.setWindowModality(Qt::ApplicationModal);
        progress.setMinimumDuration(0);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        progress.setValue(0);
        while (!job.step(LayoutJob::SliceMs)) {
            progress.setValue(job.percent()); // a modal progress window processes events here
            if (progress.wasCanceled()) {
                job.cancel();
                return false;
            }
        }
        if (job.state() != LayoutJob::State::Complete) {
            tell(QStringLiteral("The list changed while the report was being prepared; nothing was printed."));
            return false;
        }
        doc = job.sharedDocument();
    }
    return printDocument(printer, *doc, false);
}

bool PreviewWindow::printDocument(QPrinter &printer, const PreparedReport &doc, bool wholeDocument)
{
    int from = 0;
    int to = doc.pageCount() - 1;
    if (!wholeDocument) {
        if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
            from = printer.fromPage() - 1;
            to = std::max(from, printer.toPage() - 1);
        } else if (printer.printRange() == QPrinter::CurrentPage) {
            from = to = std::min(m_page, to);
        }
    }
    // A PDF holds the contacts in plain text: for the owner only, before
    // the printer writes the first byte (also when chosen in the set-up).
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        os::preparePrivateFile(printer.outputFileName());
    QProgressDialog progress(QStringLiteral("Printing..."), QStringLiteral("Cancel"), 0, 1, this);
    progress.setWindowTitle(captionText());
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    return printPages(printer, doc, from, to, [&](int sent, int total) {
        progress.setMaximum(total);
        progress.setLabelText(QStringLiteral("Printing page %1 of %2").arg(sent).arg(total));
        progress.setValue(sent);
        return !progress.wasCanceled();
    });
}

bool PreviewWindow::exportPdf(const QString &fileName)
{
    if (!isLayoutFinished())
        return false;
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(fileName);
    pdf.setDocName(windowTitle());
    pdf.setCreator(QCoreApplication::applicationName());
    return printDocument(pdf, *document(), true);
}

bool PreviewWindow::saveTo(const QString &fileName)
{
    if (!isLayoutFinished())
        return false;
    if (QFileInfo(fileName).suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0)
        return exportPdf(fileName);
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || !os::restrictToOwner(file)) {
        tell(QStringLiteral("The report could not be saved to \"%1\": %2").arg(fileName, file.errorString()));
        return false;
    }
    document()->save(&file);
    if (!file.commit()) {
        tell(QStringLiteral("The report could not be saved to \"%1\": %2").arg(fileName, file.errorString()));
        return false;
    }
    return true;
}

bool PreviewWindow::loadFrom(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        tell(QStringLiteral("The file \"%1\" could not be opened: %2").arg(fileName, file.errorString()));
        return false;
    }
    QString error;
    std::shared_ptr<const PreparedReport> doc = PreparedReport::load(&file, &error);
    if (!doc) {
        tell(QStringLiteral("\"%1\": %2").arg(fileName, error));
        return false;
    }
    m_job->cancel();
    m_loaded = doc;
    m_page = 0;
    m_messageLabel->setText(QFileInfo(fileName).fileName());
    updateScale();
    updateStatus();
    updateCommands();
    return true;
}

void PreviewWindow::saveCommand()
{
    const QString reportFilter = QStringLiteral("Saved report (*.txr)");
    const QString pdfFilter = QStringLiteral("PDF file (*.pdf)");
    const ui::FileChoice choice = chooseInStartFolder(this,
        { ui::FileRequest::Save, QStringLiteral("Save report"), QString(), { reportFilter, pdfFilter }, QString(),
            QStringLiteral("SaveReportDialog") });
    QString fileName = choice.path;
    if (fileName.isEmpty())
        return;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += choice.filter == pdfFilter ? QStringLiteral(".pdf") : QStringLiteral(".txr");
    saveTo(fileName);
}

void PreviewWindow::loadCommand()
{
    const ui::FileRequest request { ui::FileRequest::Open, QStringLiteral("Open report"), QString(),
        { QStringLiteral("Saved report (*.txr)"), QStringLiteral("All files (*)") }, QString(),
        QStringLiteral("OpenReportDialog") };
    const QString fileName = chooseInStartFolder(this, request).path;
    if (!fileName.isEmpty())
        loadFrom(fileName);
}

} // namespace txl::report
