#include "platform/ui/HintTiming.h"

#include <QApplication>
#include <QWidget>

namespace txl::ui {

int HintTimingStyle::styleHint(
    StyleHint hint, const QStyleOption *option, const QWidget *widget, QStyleHintReturn *returnData) const
{
    if (hint == SH_ToolTip_WakeUpDelay)
        return hintPauseMs;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void applyHintTiming(QWidget *window)
{
    if (!qobject_cast<HintTimingStyle *>(QApplication::style()))
        QApplication::setStyle(new HintTimingStyle);
    window->setToolTipDuration(hintHidePauseMs);
    const QList<QWidget *> children = window->findChildren<QWidget *>();
    for (QWidget *w : children)
        w->setToolTipDuration(hintHidePauseMs);
}

} // namespace txl::ui
