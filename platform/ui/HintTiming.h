#pragma once

#include <QProxyStyle>

class QWidget;

namespace txl::ui {

// Tooltips as the desktop platform shows them: after the mouse has rested
// 500 ms, for 2500 ms.
constexpr int hintPauseMs = 500;
constexpr int hintHidePauseMs = 2500;

class HintTimingStyle : public QProxyStyle {
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option = nullptr, const QWidget *widget = nullptr,
        QStyleHintReturn *returnData = nullptr) const override;
};

// Installs the style on the application (once) and gives every widget of the
// window that has or may get a tooltip the hide pause.
void applyHintTiming(QWidget *window);

} // namespace txl::ui
