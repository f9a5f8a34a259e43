#pragma once

#include "store/Contact.h"

#include <QString>

#include <functional>

namespace txl {
class Connection;
}

// The contacts file itself: where it lives under the working directory, its
// password, the table, and the making of a new file (for the database tool
// and the tests; the program never creates one).
namespace ContactFile {

QString relativePath(); // "DataBase/data_txl.mdb"
QString password();
QString schemaSql(); // table data, seven text columns in stored order

// dir/DataBase/data_txl.mdb, absolute.
QString pathIn(const QString &dir);

// Creates dir/DataBase/data_txl.mdb with the table and these contacts (the
// sample generator's, for the tool and the tests). Throws txl::DataError
// when the file exists already or cannot be made.
void create(const QString &dir, const store::Contacts &contacts = {});

// Asks for the owner's own password. attempt counts from 1; the answer goes
// into password; false means the asking was given up (Cancel, no input).
using PasswordPrompt = std::function<bool(int attempt, QString &password)>;
constexpr int kPasswordTries = 3;

// Opens a connection whose file is set: with the built-in password first,
// silently; when an encrypted file refuses it, with the owner's password,
// asked up to kPasswordTries times. Each answer is overwritten once tried.
// Throws the error of the last open (txl::WrongKeyError when no password
// fitted or the asking was given up).
void openAsking(txl::Connection &connection, const PasswordPrompt &ask);

// The contacts file of a folder, opened as openAsking does.
void openIn(txl::Connection &connection, const QString &dir, const PasswordPrompt &ask);

// Overwrites a password's characters before it is let go.
void wipe(QString &password);

} // namespace ContactFile
