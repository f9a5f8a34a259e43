#include "exchange/TextDecoding.h"

#include <QStringDecoder>

namespace exchange {

TextEncoding detectEncoding(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return TextEncoding::Utf8;
    if (bytes.startsWith("\xFF\xFE"))
        return TextEncoding::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return TextEncoding::Utf16BE;
    // Strict: no overlong forms, no surrogates, nothing above U+10FFFF.
    return bytes.isValidUtf8() ? TextEncoding::Utf8 : TextEncoding::Gb18030;
}

QByteArray normalizedBytes(const QByteArray &bytes, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        // The bytes after the mark shared, not copied: a large file is not held twice.
        return bytes.startsWith("\xEF\xBB\xBF") ? QByteArray::fromRawData(bytes.constData() + 3, bytes.size() - 3)
                                                : bytes;
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
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    QStringDecoder gb("GB18030", QStringDecoder::Flag::Stateless);
    return gb.decode(bytes);
}

} // namespace exchange
