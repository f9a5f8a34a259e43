#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

class TDm;

// A fresh working folder with its own contacts file for one test: the
// process changes into it (the program resolves DataBase/ against the working
// directory) and changes back when the fixture ends.
class ContactsFixture {
public:
    // sampleCount < 0: no DataBase folder at all.
    explicit ContactsFixture(int sampleCount = 0);
    ~ContactsFixture();
    ContactsFixture(const ContactsFixture &) = delete;
    ContactsFixture &operator=(const ContactsFixture &) = delete;

    QString dir() const { return m_dir.path(); }
    QString databasePath() const;

    // Creates the global Dm over this folder (destroyed with the fixture).
    TDm *createDm();

    // Runs one statement in the file through a second, independent
    // connection, and reads the table back the same way ("|" between fields,
    // one string per row, in stored order).
    void exec(const QString &sql) const;
    QStringList rows(const QString &where = QString()) const;

private:
    QTemporaryDir m_dir;
    QString m_oldCwd;
    std::unique_ptr<TDm> m_dm;
};
