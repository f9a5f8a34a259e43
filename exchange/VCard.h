#pragma once

#include "exchange/ContactRecord.h"

#include <QByteArray>
#include <QStringList>

#include <functional>

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

} // namespace exchange
