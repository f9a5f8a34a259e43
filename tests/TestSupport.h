#pragma once

#include "platform/data/Connection.h"
#include "store/ContactTable.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

class TDm;

namespace txl {
class Query;
}

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

// The fixture's contacts file opened on a connection of its own, with the
// table API over it.
struct OpenedContacts {
    explicit OpenedContacts(const ContactsFixture &fixture);
    txl::Connection connection;
    store::ContactTable table { connection };
};

// The reload step written out: the query shows every contact again.
void reload(txl::Query *query);

// The permission bits of a file or folder in octal ("600"); empty when it is
// missing. With useUsualUmask (022, files readable by all unless made
// otherwise) first, a test sees what the code chose, not the umask.
QString permissionBits(const QString &path);
void useUsualUmask();

// Runs `action` on the next modal box once it is up; gives up after about
// five seconds. Inline, so tests of the bare dialogs need no contacts file.
inline void whenBoxShows(const std::function<void(QMessageBox *)> &action)
{
    auto *tries = new int(0);
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, action] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if ((!box || !box->isVisible()) && ++*tries < 250)
            return;
        timer->stop();
        timer->deleteLater();
        delete tries;
        if (box)
            action(box);
    });
    timer->start();
}
