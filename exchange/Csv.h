#pragma once

#include "exchange/ContactRecord.h"

#include <QByteArray>

namespace exchange {

enum class CsvEncoding { Utf8, Gbk };

// Reads a CSV file (RFC 4180 quoting, line breaks inside quotes; ',' ';' or
// tab found from the header row) in UTF-8 with or without BOM, UTF-16 with
// BOM, or GBK/GB18030 when the bytes are not UTF-8. The header row is matched
// to the seven columns by common Chinese and English titles. Throws
// ExchangeError for a file without a recognisable header, binary data, or an
// unfinished quote.
ContactRecords readCsv(const QByteArray &bytes);

// Our header row (the stored column names) and one row per contact, CRLF
// line ends; UTF-8 with a byte-order mark (so Chinese spreadsheets read it
// right) or GBK. Throws ExchangeError when a contact holds a character GBK
// cannot write.
QByteArray writeCsv(const ContactRecords &records, CsvEncoding encoding);

} // namespace exchange
