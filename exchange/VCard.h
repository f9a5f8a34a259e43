#pragma once

#include "exchange/ContactRecord.h"
#include "exchange/OutBuffer.h"

#include <QByteArray>
#include <QStringList>

#include <functional>

namespace store {
struct ContactView;
} // namespace store

namespace exchange {

// Receives the records of a file one at a time, in file order.
using RecordSink = std::function<void(ContactRecord &&)>;

// True when the bytes begin (after a byte-order mark and blank lines) with
// BEGIN:VCARD.
bool looksLikeVCard(const QByteArray &bytes);

// Reads every card of a vCard 2.1, 3.0 or 4.0 file: lines ending in CR, LF
// or CRLF, folded lines, CHARSET=, QUOTED-PRINTABLE (soft line breaks too)
// and BASE64 values, the escapes of 3.0 and 4.0 (2.1 has only "\;"), a
// nested 2.1 AGENT card skipped. Throws ExchangeError for a file that is not
// a vCard file or ends inside a card. Time and memory grow linearly with the
// file, whatever its shape.
ContactRecords readVCards(const QByteArray &bytes);

// The same, handing each card to the sink as soon as it is read; an error
// found later in the file is thrown after the earlier cards were handed on.
void readVCards(const QByteArray &bytes, const RecordSink &sink);
// Checks the file as readVCards would, throwing the same error, without
// making a card: cheap, for a caller that acts before the first card is
// stored.
void checkVCards(const QByteArray &bytes);

// One address from the parts of a vCard ADR value (post office box,
// extended, street, locality, region, postal code, country): Chinese
// addresses run from the country down, others from the street up.
QString joinedAddress(const QStringList &parts);
// One line from an address written on several lines (a formatted address,
// a street with a line break): Chinese lines run together, others are
// joined with ", ". The table keeps an address on one line.
QString oneLineAddress(const QString &address);

// vCard 3.0 in UTF-8, CRLF line ends, folded at 75 octets.
QByteArray writeVCards(const ContactRecords &records);

// The same cards written one contact at a time into one buffer. With a
// device the buffer is handed to it a megabyte at a time, so a whole table
// is never held; without one, finish() returns the whole text.
class VCardWriter {
public:
    explicit VCardWriter(QIODevice *device, qsizetype expectedBytes = 0);
    void add(const store::ContactView &contact);
    // Hands on the rest; the whole text when there is no device.
    QByteArray finish();
    // The device refused bytes: what it holds is not the whole text.
    bool failed() const { return m_out.failed(); }

private:
    void raw(const char *ascii);
    void begin(const char *prefix);
    void text(QStringView s);
    void ascii(const char *s);
    void end();
    void property(const char *prefix, QStringView value);
    void put(const char *bytes, int k);

    OutBuffer m_out;
    int m_column = 0;
};

} // namespace exchange
