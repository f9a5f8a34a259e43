#pragma once

#include "store/Contact.h"

#include <QString>

// Sample contacts for the database tool, the tests and the bench; never
// linked into the window program.
namespace samples {

// sampleCount made-up contacts with unique names; the same count gives the
// same contacts.
store::Contacts contacts(int sampleCount);

// ContactFile::create with that many sample contacts.
void createContactsFile(const QString &dir, int sampleCount);

} // namespace samples
