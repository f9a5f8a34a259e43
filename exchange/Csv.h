#pragma once

#include "exchange/ContactRecord.h"
#include "exchange/VCard.h"

#include <QByteArray>
#include <QStringEncoder>

namespace exchange {

enum class CsvEncoding { Utf8, Gbk };

// Reads a CSV file (RFC 4180 quoting, line breaks inside quotes; ',' ';' or
// tab found from the header row) in UTF-8 with or without BOM, UTF-16 with
// BOM, or GBK/GB18030 when the bytes are not UTF-8. The header row is matched
// to the seven columns by common Chinese and English titles, with the typed
// column pairs of web mail ("Phone 1 - Type", "Phone 1 - Value"...), its
// group list and the address parts of desktop mail ("Home Street"...). In
// a file with our own header the "'" that export put before a formula
// character is taken off again. Throws ExchangeError for a file without a
// recognisable header, binary data, or an unfinished quote. Time and memory
// grow linearly with the file, whatever its shape.
ContactRecords readCsv(const QByteArray &bytes);

// The same, handing each record to the sink as soon as it is read; an error
// found later in the file is thrown after the earlier records were handed on.
void readCsv(const QByteArray &bytes, const RecordSink &sink);
// Checks the file as readCsv would, throwing the same error, without making
// a record: cheap, for a caller that acts before the first record is stored.
void checkCsv(const QByteArray &bytes);

// Our header row (the stored column names) and one row per contact, CRLF
// line ends; UTF-8 with a byte-order mark (so Chinese spreadsheets read it
// right) or GBK. A field beginning with '=', '+', '-' or '@' gets a "'"
// before it, so a spreadsheet shows it as text instead of running it as a
// formula (a mobile "+86..." is written "'+86..."). Throws ExchangeError when
// a contact holds a character GBK cannot write.
QByteArray writeCsv(const ContactRecords &records, CsvEncoding encoding);

// The same rows written one contact at a time into one buffer (the header
// row first). With a device the buffer is handed to it a megabyte at a time,
// so a whole table is never held; without one, finish() returns the whole
// text. add() throws ExchangeError as writeCsv does.
class CsvWriter {
public:
    CsvWriter(CsvEncoding encoding, QIODevice *device, qsizetype expectedBytes = 0);
    ~CsvWriter();
    CsvWriter(const CsvWriter &) = delete;
    CsvWriter &operator=(const CsvWriter &) = delete;
    void add(const store::ContactView &contact);
    // Hands on the rest; the whole text when there is no device.
    QByteArray finish();
    // The device refused bytes: what it holds is not the whole text.
    bool failed() const { return m_out.failed(); }

private:
    void raw(QByteArrayView bytes);
    void field(QStringView s);

    const bool m_gbk;
    QStringEncoder m_encoder;
    OutBuffer m_out;
    int m_line = 1; // the header's; the contacts' start at 2
};

} // namespace exchange
