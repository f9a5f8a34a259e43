#include "TestSupport.h"

#include "platform/data/Connection.h"
#include "platform/data/Query.h"
#include "store/ContactFile.h"
#include "store/Unit_Dm.h"
#include "store/samples/Samples.h"

#include <QDir>
#include <QFile>
#include <stdexcept>
#include <sys/stat.h>

ContactsFixture::ContactsFixture(int sampleCount)
    : m_oldCwd(QDir::currentPath())
{
    if (!m_dir.isValid())
        throw std::runtime_error("no temporary folder");
    if (sampleCount >= 0)
        samples::createContactsFile(m_dir.path(), sampleCount);
    QDir::setCurrent(m_dir.path());
}

ContactsFixture::~ContactsFixture()
{
    m_dm.reset();
    QDir::setCurrent(m_oldCwd);
}

QString ContactsFixture::databasePath() const
{
    return QDir(m_dir.path()).absoluteFilePath(ContactFile::relativePath());
}

TDm *ContactsFixture::createDm()
{
    m_dm.reset();
    m_dm = std::make_unique<TDm>();
    Dm = m_dm.get();
    return Dm;
}

void ContactsFixture::exec(const QString &sql) const
{
    txl::Connection connection;
    connection.setDatabaseFile(databasePath());
    connection.setPassword(ContactFile::password());
    connection.executeScript(sql);
}

QStringList ContactsFixture::rows(const QString &where) const
{
    txl::Connection connection;
    connection.setDatabaseFile(databasePath());
    connection.setPassword(ContactFile::password());
    txl::Query query;
    query.setObjectName(QStringLiteral("check"));
    query.setConnection(&connection);
    query.addSql(
        QStringLiteral("select * from data") + (where.isEmpty() ? QString() : QStringLiteral(" where ") + where));
    query.open();
    QStringList out;
    for (int r = 0; r < query.recordCount(); ++r) {
        QStringList fields;
        for (int c = 0; c < query.fieldCount(); ++c)
            fields << query.value(r, c);
        out << fields.join(QLatin1Char('|'));
    }
    return out;
}

OpenedContacts::OpenedContacts(const ContactsFixture &fixture)
{
    connection.setDatabaseFile(fixture.databasePath());
    connection.setPassword(ContactFile::password());
    connection.open();
}

void reload(txl::Query *query)
{
    query->close();
    query->clearSql();
    query->addSql(QStringLiteral("select * from data"));
    query->open();
}

QString permissionBits(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QString();
    return QString::number(st.st_mode & 07777, 8);
}

void useUsualUmask()
{
    ::umask(022);
}
