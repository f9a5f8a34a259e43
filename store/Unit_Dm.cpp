#include "store/Unit_Dm.h"

#include "store/ContactFile.h"

#include <exception>

TDm *Dm = nullptr;

TDm::TDm(QObject *parent)
    : QObject(parent)
    , scon(new txl::Connection(this))
    , addquery(new txl::Query(this))
    , addsource(new txl::DataSource(this))
{
    setObjectName(QStringLiteral("Dm"));
    scon->setObjectName(QStringLiteral("scon"));
    scon->setDatabaseFile(ContactFile::relativePath());
    scon->setPassword(ContactFile::password());

    // Closed at load; the connection opens with the query's first open.
    addquery->setObjectName(QStringLiteral("addquery"));
    addquery->setConnection(scon);
    addquery->addSql(QStringLiteral("select * from data"));

    addsource->setObjectName(QStringLiteral("addsource"));
    addsource->setDataSet(addquery);
}

TDm::~TDm()
{
    if (Dm == this)
        Dm = nullptr;
}

void TDm::unlock(const ContactFile::PasswordPrompt &ask) noexcept
{
    try {
        ContactFile::openAsking(*scon, ask);
    } catch (const std::exception &) {
        // Reported by the first open, with the built-in password's error.
    } catch (...) {
    }
}

void TDm::reloadAll()
{
    addquery->close();
    addquery->clearSql();
    addquery->addSql(QStringLiteral("select * from data"));
    addquery->open();
}

int TDm::searchContacts(const QString &column, const QString &text)
{
    addquery->setActive(false);
    addquery->close();
    addquery->clearSql();
    addquery->addSql(QStringLiteral("select * from data where ") + column + QStringLiteral(" like :p0"));
    addquery->setParam(QStringLiteral("p0"), QLatin1Char('%') + text + QLatin1Char('%'));
    addquery->setActive(true);
    return addquery->recordCount();
}
