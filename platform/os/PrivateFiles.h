#pragma once

#include <QString>

class QFileDevice;

namespace txl::os {

// Files that hold contacts in a readable form (the contacts file with its
// built-in password, exports, printouts) are for their owner's eyes only,
// whatever the umask: folders 0700, files 0600.

// Makes the folder and its missing parents as mkpath does, each folder made
// here readable by its owner only. Folders that exist are left as they are:
// they may be the user's own. False when the folder is not there afterwards.
bool makePrivatePath(const QString &path);

// Restricts an existing file (0600) or folder (0700) to its owner; a link is
// followed. False when it could not.
bool restrictToOwner(const QString &path);

// The same for an open file, by its descriptor, so the file that was opened
// is the one changed (for QSaveFile: the temporary file before it is renamed).
bool restrictToOwner(QFileDevice &file);

// Makes an empty file readable by its owner only, or restricts the existing
// one, before another writer (a PDF printer) truncates and fills it, so its
// contents are never readable by others, not even while it is written.
bool preparePrivateFile(const QString &path);

} // namespace txl::os
