#pragma once

#include "exchange/ContactRecord.h"

#include <QByteArray>

namespace exchange {

// True when the bytes begin (after a byte-order mark and blank lines) with
// BEGIN:VCARD.
bool looksLikeVCard(const QByteArray &bytes);

// Reads every card of a vCard 2.1, 3.0 or 4.0 file: folded lines, CHARSET=,
// QUOTED-PRINTABLE (soft line breaks too) and BASE64 values, escapes. Throws
// ExchangeError for a file that is not a vCard file or ends inside a card.
ContactRecords readVCards(const QByteArray &bytes);

// vCard 3.0 in UTF-8, CRLF line ends, folded at 75 octets.
QByteArray writeVCards(const ContactRecords &records);

} // namespace exchange
