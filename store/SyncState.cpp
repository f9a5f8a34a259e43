#include "store/SyncState.h"

#include "platform/data/Connection.h"
#include "platform/data/DataError.h"
#include "platform/data/Query.h"
#include "store/ContactTable.h"

#include <QCryptographicHash>

namespace store {

namespace {

const QString accountTable = QStringLiteral("sync_account");
const QString itemTable = QStringLiteral("sync_item");

void point(txl::Query &q, txl::Connection &connection, const QString &name, const QString &sql)
{
    q.setObjectName(name);
    q.setConnection(&connection);
    q.addSql(sql);
}

void bindRow(txl::Query &q, const Contact &c)
{
    static const QString names[Contact::fieldCount] = { QStringLiteral("p0"), QStringLiteral("p1"),
        QStringLiteral("p2"), QStringLiteral("p3"), QStringLiteral("p4"), QStringLiteral("p5"), QStringLiteral("p6") };
    for (int column = 0; column < Contact::fieldCount; ++column)
        q.setParam(names[column], c.field(column));
}

bool nameStored(txl::Connection &connection, const QString &name)
{
    txl::Query q;
    point(q, connection, QStringLiteral("syncnamequery"), QStringLiteral("select 1 from data where 姓名=:p0"));
    q.setParam(QStringLiteral("p0"), name);
    q.open();
    return q.recordCount() > 0;
}

} // namespace

SyncState::SyncState(txl::Connection &connection)
    : m_connection(connection)
{
}

bool SyncState::isSetUp() const
{
    txl::Query q;
    point(q, m_connection, QStringLiteral("synctablesquery"),
        QStringLiteral(
            "select count(*) from sqlite_master where type='table' and name in ('sync_account','sync_item')"));
    q.open();
    return q.value(0, 0) == u"2";
}

void SyncState::setUp(const SyncAccount &account)
{
    WriteTransaction transaction(m_connection);
    m_connection.executeScript(QStringLiteral(
        "create table if not exists sync_account(server_url text not null, user_name text not null, "
        "book_url text not null, sync_token text not null);"
        "create table if not exists sync_item(href text primary key, etag text not null, uid text not null, "
        "vcard text not null, hash text not null, name text not null);"));
    const std::optional<SyncAccount> old = account_();
    const bool same
        = old && old->serverUrl == account.serverUrl && old->user == account.user && old->bookUrl == account.bookUrl;
    if (!same) {
        m_connection.executeScript(QStringLiteral("delete from sync_item; delete from sync_account;"));
        txl::Query insert;
        point(insert, m_connection, QStringLiteral("syncaccountinsert"),
            QStringLiteral("insert into sync_account values(:url, :user, :book, :token)"));
        insert.setParam(QStringLiteral("url"), account.serverUrl);
        insert.setParam(QStringLiteral("user"), account.user);
        insert.setParam(QStringLiteral("book"), account.bookUrl);
        insert.setParam(QStringLiteral("token"), QString());
        insert.execSql();
    }
    transaction.commit();
}

std::optional<SyncAccount> SyncState::account() const
{
    if (!isSetUp())
        return std::nullopt;
    return account_();
}

std::optional<SyncAccount> SyncState::account_() const
{
    txl::Query q;
    point(q, m_connection, QStringLiteral("syncaccountquery"),
        QStringLiteral("select server_url, user_name, book_url, sync_token from sync_account"));
    q.open();
    if (q.recordCount() == 0)
        return std::nullopt;
    return SyncAccount { q.value(0, 0), q.value(0, 1), q.value(0, 2), q.value(0, 3) };
}

std::vector<SyncItem> SyncState::items() const
{
    std::vector<SyncItem> items;
    if (!isSetUp())
        return items;
    txl::Query q;
    point(q, m_connection, QStringLiteral("syncitemsquery"),
        QStringLiteral("select href, etag, uid, vcard, hash, name from sync_item"));
    q.open();
    items.reserve(static_cast<std::size_t>(q.recordCount()));
    for (int r = 0; r < q.recordCount(); ++r)
        items.push_back({ q.value(r, 0), q.value(r, 1), q.value(r, 2), q.value(r, 3), q.value(r, 4), q.value(r, 5) });
    return items;
}

void SyncState::apply(const SyncBatch &batch)
{
    if (batch.isEmpty())
        return;
    WriteTransaction transaction(m_connection);
    for (const QString &name : batch.removes) {
        txl::Query q;
        point(q, m_connection, QStringLiteral("syncremove"), QStringLiteral("delete from data where 姓名=:p0"));
        q.setParam(QStringLiteral("p0"), name);
        q.execSql();
        if (m_connection.changedRows() == 0)
            throw txl::DataError(QStringLiteral("No contact is named '%1'").arg(name));
    }
    for (const auto &[name, contact] : batch.updates) {
        if (contact.name != name && nameStored(m_connection, contact.name))
            throw txl::DataError(QStringLiteral("A contact named '%1' exists already").arg(contact.name));
        txl::Query q;
        point(q, m_connection, QStringLiteral("syncupdate"),
            QStringLiteral("update data set 姓名=:p0, 性别=:p1, QQ号码=:p2, 手机号码=:p3, 电子邮件=:p4, 家庭住址=:p5, "
                           "组名=:p6 where 姓名=:old"));
        bindRow(q, contact);
        q.setParam(QStringLiteral("old"), name);
        q.execSql();
        if (m_connection.changedRows() == 0)
            throw txl::DataError(QStringLiteral("No contact is named '%1'").arg(name));
    }
    for (const Contact &contact : batch.inserts) {
        if (nameStored(m_connection, contact.name))
            throw txl::DataError(QStringLiteral("A contact named '%1' exists already").arg(contact.name));
        txl::Query q;
        point(q, m_connection, QStringLiteral("syncinsert"),
            QStringLiteral("insert into data values(:p0,:p1,:p2,:p3,:p4,:p5,:p6)"));
        bindRow(q, contact);
        q.execSql();
    }
    for (const QString &href : batch.droppedItems) {
        txl::Query q;
        point(
            q, m_connection, QStringLiteral("syncdropitem"), QStringLiteral("delete from sync_item where href=:href"));
        q.setParam(QStringLiteral("href"), href);
        q.execSql();
    }
    for (const SyncItem &item : batch.items) {
        txl::Query q;
        point(q, m_connection, QStringLiteral("syncitem"),
            QStringLiteral("insert or replace into sync_item values(:href, :etag, :uid, :vcard, :hash, :name)"));
        q.setParam(QStringLiteral("href"), item.href);
        q.setParam(QStringLiteral("etag"), item.etag);
        q.setParam(QStringLiteral("uid"), item.uid);
        q.setParam(QStringLiteral("vcard"), item.vcard);
        q.setParam(QStringLiteral("hash"), item.hash);
        q.setParam(QStringLiteral("name"), item.name);
        q.execSql();
    }
    if (batch.syncToken) {
        txl::Query q;
        point(
            q, m_connection, QStringLiteral("synctoken"), QStringLiteral("update sync_account set sync_token=:token"));
        q.setParam(QStringLiteral("token"), *batch.syncToken);
        q.execSql();
    }
    transaction.commit();
}

QString SyncState::fieldHash(const Contact &contact)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (int column = 0; column < Contact::fieldCount; ++column) {
        hash.addData(contact.field(column).toUtf8());
        hash.addData(QByteArrayView("\x1f", 1));
    }
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace store
