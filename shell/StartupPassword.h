#pragma once

#include <QString>

// The password box shown at start-up when the contacts file has its owner's
// own password; a prompt for TDm::unlock.
bool askContactsPassword(int attempt, QString &password);
