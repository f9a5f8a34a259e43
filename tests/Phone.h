#pragma once

#include "sync/DavClient.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

// The second client of the sync tests: a phone's sync app, talking to the
// server straight over HTTP and writing cards as phones write them.
class Phone {
public:
    Phone(const QString &user, const QString &password, const QString &acceptedFingerprint = QString());

    carddav::DavClient &client() { return m_client; }

    // A fresh address book in the user's home on the server at `root`,
    // made as a phone's sync app makes one.
    QUrl newBook(const QUrl &root, const QString &displayName = QStringLiteral("Contacts"));
    // The server's answer to a PUT or DELETE of the file in the book.
    carddav::DavReply put(const QUrl &book, const QString &file, const QByteArray &card);
    carddav::DavReply remove(const QUrl &book, const QString &file);
    QByteArray get(const QUrl &url);
    // Every card of the book as the phone reads it back, sorted
    // "name|mobile", one GET each; with allText, their texts unfolded in
    // upper case.
    QStringList cards(const QUrl &book, QByteArray *allText = nullptr);

private:
    QString m_user;
    carddav::DavClient m_client;
};
