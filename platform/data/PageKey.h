#pragma once

#include <QByteArray>

namespace txl {

// The salt SQLCipher 3 keeps in a file's first bytes.
constexpr int kPageKeySaltBytes = 16;

// The 32-byte page key SQLCipher 3 derives from a password with its default
// settings: PBKDF2-HMAC-SHA1, 64,000 rounds, the file's salt. Written out
// with the HMAC pads hashed once and each round a single SHA-1 block, it
// takes about half the library's own time (OpenSSL 3 sets up an HMAC afresh
// for each of the 256,000 hashes). The caller wipes the result.
QByteArray derivePageKey(const QByteArray &password, const QByteArray &salt);

} // namespace txl
