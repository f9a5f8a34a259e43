#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

class QMenu;

namespace txl::ui {

// True where the user's language is written with a double-byte character set
// (Chinese, Japanese, Korean): there, pop-up menus hand out access keys.
bool usesDoubleByteCharset(const QLocale &locale);

// The captions of a pop-up menu with automatic access keys: on a double-byte
// system every captioned entry without a letter or digit of its own gets
// "(&Z)", "(&Y)"... from the last entry upwards; elsewhere nothing changes.
// An empty caption is a separator and gets nothing.
QStringList withAutomaticAccessKeys(const QStringList &captions, bool doubleByte);

// Applies the rule to a menu's entries each time before it opens. The plain
// captions are kept on the actions (property "plainCaption") so keys never
// pile up.
void assignAutomaticAccessKeys(QMenu *menu, const QLocale &locale = QLocale());

} // namespace txl::ui
