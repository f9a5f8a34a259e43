#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace exchange {

// How the bytes of a text file without declared charset are read.
enum class TextEncoding { Utf8, Utf16LE, Utf16BE, Gb18030 };

// UTF-8 or UTF-16 by byte-order mark; without one UTF-8 when the bytes are
// valid UTF-8, else GB18030 (which reads GBK and GB2312 too): what Chinese
// spreadsheets and phones write.
TextEncoding detectEncoding(QByteArrayView bytes);

// The file's bytes as UTF-8 without a byte-order mark when they are UTF-8 or
// UTF-16; GB18030 bytes are kept as they are (their delimiters and line
// breaks are ASCII bytes, so they can be split before decoding). UTF-8
// after a mark shares the input's bytes: keep the input while it is read.
QByteArray normalizedBytes(const QByteArray &bytes, TextEncoding encoding);

// Decodes bytes in a named charset (as vCard CHARSET= gives it). An unknown
// name or undecodable bytes fall back to UTF-8 when valid, else GB18030;
// ok (when given) says whether the named charset decoded cleanly.
QString decodeCharset(QByteArrayView bytes, QByteArrayView charset, bool *ok = nullptr);

// The UTF-8 octets of the character at u[i] (a surrogate pair moves i on by
// one more; a lone surrogate gives U+FFFD) into out, which has room for 4;
// returns their count. For writers that escape or fold as they encode.
inline int utf8Of(const char16_t *u, qsizetype n, qsizetype &i, char *out)
{
    const char16_t c = u[i];
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(u[i + 1])) {
        const char32_t cp = QChar::surrogateToUcs4(c, u[++i]);
        out[0] = static_cast<char>(0xF0 | (cp >> 18));
        out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[3] = static_cast<char>(0x80 | (cp & 0x3F));
        return 4;
    }
    const char16_t v = QChar::isSurrogate(c) ? char16_t(0xFFFD) : c;
    out[0] = static_cast<char>(0xE0 | (v >> 12));
    out[1] = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (v & 0x3F));
    return 3;
}

} // namespace exchange
