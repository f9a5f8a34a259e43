#include "platform/text/Cp936.h"

namespace txl::text {

namespace {
int charBytes(const QString &text, int i, int *units)
{
    const QChar c = text.at(i);
    *units = 1;
    if (c.unicode() < 0x80)
        return 1;
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        // Outside the code page (GB18030 four-byte range): stored as "?".
        *units = 2;
        return 1;
    }
    // U+0080 has no GBK mapping; everything else in the BMP that GBK covers
    // is two bytes. Unmapped BMP characters would become "?" but cannot be
    // told apart cheaply; counting them as two keeps limits conservative.
    return c.unicode() == 0x80 ? 1 : 2;
}
} // namespace

QString trim(const QString &text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

int byteLength(const QString &text)
{
    int bytes = 0;
    for (int i = 0; i < text.size();) {
        int units = 1;
        bytes += charBytes(text, i, &units);
        i += units;
    }
    return bytes;
}

QString truncateToBytes(const QString &text, int maxBytes)
{
    int bytes = 0;
    int i = 0;
    while (i < text.size()) {
        int units = 1;
        const int b = charBytes(text, i, &units);
        if (bytes + b > maxBytes)
            break;
        bytes += b;
        i += units;
    }
    return text.left(i);
}

QString withFullStop(const QString &text)
{
    if (text.isEmpty() || text.back().unicode() <= 46)
        return text;
    return text + QLatin1Char('.');
}

} // namespace txl::text
