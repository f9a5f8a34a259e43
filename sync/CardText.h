#pragma once

#include "store/Contact.h"

#include <QByteArray>
#include <QString>

namespace carddav {

// A server's card read as the import reads a file's: the contact, or why it
// cannot be stored (no name, a name, mobile or QQ over 11 bytes, not a card).
struct ReadCard {
    store::Contact contact;
    QString uid;
    QString reason; // empty when the contact can be stored
};
ReadCard readCard(const QByteArray &text);

// A card for a contact the server has not seen, with this UID.
QByteArray newCard(const store::Contact &contact, const QString &uid);

// The server's card with only the properties the seven fields map onto
// rewritten where they differ from what the card reads as: photos, other
// numbers, birthdays, notes and anything else stay as the server had them.
QByteArray mergedCard(const QByteArray &serverText, const store::Contact &contact);

} // namespace carddav
