#pragma once

#include <QString>

#include <optional>

namespace carddav {

// The desktop's secret store (Secret Service, KWallet) through QtKeychain,
// for the server password. Where none runs, reading gives nothing and
// storing says false: the password is then asked for each time.
bool secretStoreAvailable();
std::optional<QString> readSecret(const QString &key);
bool storeSecret(const QString &key, const QString &secret);

// The key the password of an account is kept under.
QString accountKey(const QString &serverUrl, const QString &user);

} // namespace carddav
