#include "platform/report/Report.h"

#include "platform/report/LayoutJob.h"
#include "platform/report/PreviewWindow.h"

#include <QGuiApplication>
#include <QScreen>

namespace txl::report {

Report::Report(QObject *parent)
    : QObject(parent)
{
}

Report::~Report() = default;

PreviewWindow *Report::openPreview(QWidget *owner)
{
    auto *window = new PreviewWindow(m_definition, m_dataSet, owner);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // Without a window manager a maximised window keeps its size: give it
    // the screen's area first.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        window->setGeometry(screen->availableGeometry());
    window->showMaximized();
    window->startLayout();
    return window;
}

std::shared_ptr<const PreparedReport> Report::prepare() const
{
    LayoutJob job(m_definition, m_dataSet);
    job.runToEnd();
    return job.sharedDocument();
}

} // namespace txl::report
