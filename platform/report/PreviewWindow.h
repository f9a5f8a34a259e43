#pragma once

#include "platform/data/Query.h"
#include "platform/report/LayoutJob.h"
#include "platform/report/PreparedReport.h"
#include "platform/report/ReportDefinition.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>

class QAction;
class QLabel;
class QPrinter;
class QScrollArea;

namespace txl::report {

class PageView;

// The print preview: pages as they are laid out, zoom, page moves, printer
// set-up, print, save and load. Not modal.
class PreviewWindow : public QMainWindow {
    Q_OBJECT
public:
    // Throws txl::DataError when the report names a field the query lacks.
    // With a parent it is still a window of its own, destroyed with the
    // parent.
    PreviewWindow(const ReportDefinition &definition, Query *query, QWidget *parent = nullptr);
    ~PreviewWindow() override;

    // Keeps `object` as long as the window exists and deletes it with the
    // window: whatever made the preview can go when the preview closes.
    void keep(std::unique_ptr<QObject> object) { m_kept = std::move(object); }

    enum class Zoom { FitPage, Actual, PageWidth };

    // The file dialogs of a run start in the user's documents, later ones
    // where the last file was chosen; this forgets that folder again.
    static void forgetLastFolder();

    void startLayout();
    bool isLayoutFinished() const;
    const LayoutJob *layoutJob() const { return m_job.get(); }
    // The pages shown: the layout's, or a loaded report's.
    const PreparedReport *document() const;
    int pageCount() const; // pages ready to show
    int currentPage() const { return m_page; } // 0-based
    void setCurrentPage(int page);
    Zoom zoom() const { return m_zoom; }
    void setZoom(Zoom zoom);
    double pixelsPerMm() const { return m_scale; }
    QString statusText() const; // every status panel, for the curious and the tests

    // The printer the set-up edits and the print command uses.
    QPrinter *printer() const { return m_printer.get(); }

    // The commands, without their file dialogs. Failures are told in a box.
    bool print();
    bool saveTo(const QString &fileName); // "*.pdf" writes PDF, anything else a saved report
    bool loadFrom(const QString &fileName);
    bool exportPdf(const QString &fileName);

signals:
    void layoutFinished(txl::report::LayoutJob::State state);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildActions();
    QAction *addCommand(const char *objectName, const QString &text, const QList<QKeySequence> &keys);
    void onProgress(int percent, int pages);
    void onFinished(LayoutJob::State state);
    void updateScale();
    void updateStatus();
    void updateCommands();
    void printerSetup();
    void saveCommand();
    void loadCommand();
    bool printDocument(QPrinter &printer, const PreparedReport &doc, bool wholeDocument);

    ReportDefinition m_definition;
    QPointer<Query> m_query;
    std::unique_ptr<LayoutJob> m_job;
    std::shared_ptr<const PreparedReport> m_loaded;
    std::unique_ptr<QPrinter> m_printer;
    QScrollArea *m_scroll = nullptr;
    PageView *m_view = nullptr;
    QLabel *m_progressLabel = nullptr;
    QLabel *m_pageLabel = nullptr;
    QLabel *m_messageLabel = nullptr;
    QAction *m_print = nullptr;
    QAction *m_setup = nullptr;
    QAction *m_save = nullptr;
    int m_page = 0;
    Zoom m_zoom = Zoom::PageWidth;
    double m_scale = 1.0;
    bool m_printing = false;
    std::unique_ptr<QObject> m_kept;
};

} // namespace txl::report
