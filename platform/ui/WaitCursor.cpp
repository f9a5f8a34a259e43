#include "platform/ui/WaitCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace txl::ui {

WaitCursor::WaitCursor()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

WaitCursor::~WaitCursor()
{
    QGuiApplication::restoreOverrideCursor();
}

} // namespace txl::ui
