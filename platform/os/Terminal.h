#pragma once

#include <QString>

namespace txl::os {

// Reads one line from standard input straight from the file descriptor, so
// no stream buffer keeps a copy; the line's bytes are overwritten once
// decoded. With hidden set and a terminal on standard input, the prompt goes
// to the terminal (standard error) and the typed characters are not echoed;
// Ctrl+C puts echo back before the program ends. False at end of input with
// nothing read.
bool readLine(QString &line, bool hidden = false, const QString &prompt = QString());

bool standardInputIsTerminal();

} // namespace txl::os
