#pragma once

#include <QStringView>

namespace txl::text {

// A value shown in one line (a grid cell, a printed field) shows the text up
// to its first line break: LF, CR, or the Unicode line and paragraph
// separators.
QStringView firstLine(QStringView text);

} // namespace txl::text
