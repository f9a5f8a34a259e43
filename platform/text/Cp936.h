#pragma once

#include <QString>

namespace txl::text {

// The program's strings behave as code-page-936 text: ASCII is one byte, a
// Chinese character two.

// Removes leading and trailing characters whose code is 32 or less (spaces
// and control characters). A full-width space (U+3000) is not removed.
QString trim(const QString &text);

// Length of the text in code-page-936 bytes. Characters outside the code page
// count as the one-byte "?" they would be stored as.
int byteLength(const QString &text);

// The longest prefix of text whose byte length is at most maxBytes.
QString truncateToBytes(const QString &text, int maxBytes);

} // namespace txl::text
