#include "platform/report/Report.h"

#include "platform/report/LayoutJob.h"
#include "platform/report/PreviewWindow.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>

namespace txl::report {

Report::Report(QObject *parent)
    : QObject(parent)
{
}

Report::~Report()
{
    for (const QPointer<PreviewWindow> &window : std::as_const(m_previews))
        delete window.data();
}

PreviewWindow *Report::openPreview()
{
    auto *window = new PreviewWindow(m_definition, m_dataSet);
    window->setAttribute(Qt::WA_DeleteOnClose);
    m_previews.removeAll(nullptr);
    m_previews.append(window);
    connect(window, &QObject::destroyed, this, &Report::previewClosed);
    // Without a window manager a maximised window keeps its size: give it
    // the screen's area first.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        window->setGeometry(screen->availableGeometry());
    window->showMaximized();
    window->startLayout();
    return window;
}

void Report::preview()
{
    QPointer<PreviewWindow> window = openPreview();
    QEventLoop loop;
    connect(window.data(), &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
    // Only locals from here: a print command given meanwhile may have
    // released this report's holder. The loop also ends when the
    // application quits with the preview still open.
    delete window.data();
}

std::shared_ptr<const PreparedReport> Report::prepare() const
{
    LayoutJob job(m_definition, m_dataSet);
    job.runToEnd();
    return job.sharedDocument();
}

} // namespace txl::report
