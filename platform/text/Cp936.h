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

// The closing full stop of the general error report: "." is appended unless
// the text is empty or its last character's code is 46 or less; a text
// ending in a double-byte character always gets one.
QString withFullStop(const QString &text);

} // namespace txl::text
