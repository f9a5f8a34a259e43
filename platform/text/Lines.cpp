#include "platform/text/Lines.h"

namespace txl::text {

QStringView firstLine(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029)
            return text.left(i);
    }
    return text;
}

} // namespace txl::text
