#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace txl::ui {

// The clock panel's text: the locale's short date, then (unless the time is
// exactly midnight) a space and hours, minutes and seconds in the locale's own
// form: its separator, its 12- or 24-hour clock with the day-half marker where
// it uses one, a leading zero on the hour only where it asks for one.
QString clockText(const QDateTime &when, const QLocale &locale);

// The locale's time format with seconds: its short time format with the
// seconds added after the minutes (short formats carry the separator and the
// hour form without the time-zone part that long formats add).
QString timeFormatWithSeconds(const QLocale &locale);

} // namespace txl::ui
