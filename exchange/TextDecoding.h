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
QString encodingName(TextEncoding encoding);

bool isValidUtf8(QByteArrayView bytes);

// The file's bytes as UTF-8 without a byte-order mark when they are UTF-8 or
// UTF-16; GB18030 bytes are kept as they are (their delimiters and line
// breaks are ASCII bytes, so they can be split before decoding).
QByteArray normalizedBytes(const QByteArray &bytes, TextEncoding encoding);

// Decodes bytes in a named charset (as vCard CHARSET= gives it). An unknown
// name or undecodable bytes fall back to UTF-8 when valid, else GB18030;
// ok (when given) says whether the named charset decoded cleanly.
QString decodeCharset(QByteArrayView bytes, QByteArrayView charset, bool *ok = nullptr);

} // namespace exchange
