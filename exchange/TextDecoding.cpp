#include "exchange/TextDecoding.h"

#include <QStringDecoder>

namespace exchange {

bool isValidUtf8(QByteArrayView bytes)
{
    // Strict: no overlong forms, no surrogates, nothing above U+10FFFF.
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        unsigned int min, cp;
        if ((c & 0xE0) == 0xC0) {
            extra = 1, min = 0x80, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, min = 0x800, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, min = 0x10000, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (int k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

TextEncoding detectEncoding(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return TextEncoding::Utf8;
    if (bytes.startsWith("\xFF\xFE"))
        return TextEncoding::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return TextEncoding::Utf16BE;
    return isValidUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::Gb18030;
}

QString encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf16LE:
        return QStringLiteral("UTF-16LE");
    case TextEncoding::Utf16BE:
        return QStringLiteral("UTF-16BE");
    case TextEncoding::Gb18030:
        return QStringLiteral("GB18030");
    }
    return QString();
}

QByteArray normalizedBytes(const QByteArray &bytes, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
        QStringDecoder decoder(encoding == TextEncoding::Utf16LE ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        const QString text = decoder.decode(QByteArrayView(bytes).sliced(2));
        return text.toUtf8();
    }
    case TextEncoding::Gb18030:
        return bytes;
    }
    return bytes;
}

QString decodeCharset(QByteArrayView bytes, QByteArrayView charset, bool *ok)
{
    if (!charset.isEmpty()) {
        // Old phones write the charset in any case and sometimes quoted.
        QByteArray name = charset.toByteArray().trimmed();
        if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
            name = name.mid(1, name.size() - 2);
        QStringDecoder decoder(name.constData(), QStringDecoder::Flag::Stateless);
        if (decoder.isValid()) {
            QString text = decoder.decode(bytes);
            if (!decoder.hasError()) {
                if (ok)
                    *ok = true;
                return text;
            }
        }
    }
    if (ok)
        *ok = charset.isEmpty();
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    QStringDecoder gb("GB18030", QStringDecoder::Flag::Stateless);
    return gb.decode(bytes);
}

} // namespace exchange
