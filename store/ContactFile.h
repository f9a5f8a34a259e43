#pragma once

#include <QString>

// The contacts file itself: where it lives under the working directory, its
// password, the table, and the making of a new file (for the database tool
// and the tests; the program never creates one).
namespace ContactFile {

QString relativePath(); // "DataBase/data_txl.mdb"
QString password();
QString schemaSql(); // table data, seven text columns in stored order

// Creates dir/DataBase/data_txl.mdb with the table and sampleCount sample
// contacts (the same contacts for the same count). Throws txl::DataError when
// the file exists already or cannot be made.
void create(const QString &dir, int sampleCount);

} // namespace ContactFile
