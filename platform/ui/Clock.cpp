#include "platform/ui/Clock.h"

namespace txl::ui {

namespace {
bool isFieldLetter(QChar c)
{
    return c == QLatin1Char('h') || c == QLatin1Char('H') || c == QLatin1Char('m') || c == QLatin1Char('s')
        || c == QLatin1Char('z') || c == QLatin1Char('a') || c == QLatin1Char('A') || c == QLatin1Char('p')
        || c == QLatin1Char('P') || c == QLatin1Char('t');
}
} // namespace

QString timeFormatWithSeconds(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    if (format.contains(QLatin1Char('s')))
        return format;

    // Find the hour run, the literal text after it and the minute run.
    int hourEnd = -1;
    int minuteStart = -1;
    int minuteEnd = -1;
    bool quoted = false;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if ((c == QLatin1Char('h') || c == QLatin1Char('H')) && hourEnd < 0) {
            int j = i;
            while (j < format.size() && format.at(j) == c)
                ++j;
            hourEnd = j;
            i = j - 1;
        } else if (c == QLatin1Char('m') && hourEnd >= 0 && minuteStart < 0) {
            int j = i;
            while (j < format.size() && format.at(j) == c)
                ++j;
            minuteStart = i;
            minuteEnd = j;
            break;
        }
    }
    if (hourEnd < 0 || minuteStart < 0)
        return format + QStringLiteral(":ss");

    QString separator = format.mid(hourEnd, minuteStart - hourEnd);
    for (QChar c : separator) {
        if (isFieldLetter(c))
            return format.left(minuteEnd) + QStringLiteral(":ss") + format.mid(minuteEnd);
    }
    return format.left(minuteEnd) + separator + QStringLiteral("ss") + format.mid(minuteEnd);
}

QString clockText(const QDateTime &when, const QLocale &locale)
{
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    const QTime time = when.time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return date;
    return date + QLatin1Char(' ') + locale.toString(time, timeFormatWithSeconds(locale));
}

} // namespace txl::ui
