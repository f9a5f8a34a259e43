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
    upgradeWithin();
    const std::optional<SyncAccount> old = account_();
    const bool same
        = old && old->serverUrl == account.serverUrl && old->user == account.user && old->bookUrl == account.bookUrl;
    if (!same) {
        m_connection.executeScript(QStringLiteral("delete from sync_item; delete from sync_account;"));
        txl::Query insert;
        point(insert, m_connection, QStringLiteral("syncaccountinsert"),
            QStringLiteral("insert into sync_account(server_url, user_name, book_url, sync_token) values(:url, :user, "
                           ":book, :token)"));
        insert.setParam(QStringLiteral("url"), account.serverUrl);
        insert.setParam(QStringLiteral("user"), account.user);
        insert.setParam(QStringLiteral("book"), account.bookUrl);
        insert.setParam(QStringLiteral("token"), QString());
        insert.execSql();
    }
    txl::Query fingerprint;
    point(fingerprint, m_connection, QStringLiteral("syncaccountcert"),
        QStringLiteral("update sync_account set cert_sha256=:fp"));
    fingerprint.setParam(QStringLiteral("fp"), account.certFingerprint);
    fingerprint.execSql();
    transaction.commit();
}

void SyncState::upgrade()
{
    if (!isSetUp())
        return;
    WriteTransaction transaction(m_connection);
    upgradeWithin();
    transaction.commit();
}

void SyncState::upgradeWithin()
{
    txl::Query columns;
    point(columns, m_connection, QStringLiteral("synccertcolumn"), QStringLiteral("pragma table_info(sync_account)"));
    columns.open();
    bool hasCertificate = false;
    const int nameColumn = columns.fieldIndex(QStringLiteral("name"));
    for (int r = 0; r < columns.recordCount(); ++r)
        hasCertificate = hasCertificate || columns.value(r, nameColumn) == u"cert_sha256";
    if (!hasCertificate)
        m_connection.executeScript(
            QStringLiteral("alter table sync_account add column cert_sha256 text not null default '';"));
    // An item whose name the renamed contact takes belonged to a contact
    // deleted here (names are unique): it gets a name no contact can have,
    // so the next sync deletes its card instead of sending the renamed
    // contact twice.
    m_connection.executeScript(
        QStringLiteral("create trigger if not exists sync_item_rename after update of 姓名 on data "
                       "when old.姓名 is not new.姓名 begin "
                       "update sync_item set name = char(31) || href where name = new.姓名; "
                       "update sync_item set name = new.姓名 where name = old.姓名; "
                       "end;"));
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
    point(q, m_connection, QStringLiteral("syncaccountquery"), QStringLiteral("select * from sync_account"));
    q.open();
    if (q.recordCount() == 0)
        return std::nullopt;
    // By name: a file set up by an earlier version lacks the later columns
    // until its next set-up or sync.
    const auto field = [&q](const char *name) {
        const int column = q.fieldIndex(QString::fromLatin1(name));
        return column < 0 ? QString() : q.value(0, column);
    };
    return SyncAccount { field("server_url"), field("user_name"), field("book_url"), field("sync_token"),
        field("cert_sha256") };
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
    ContactTable table(m_connection);
    for (const QString &name : batch.removes)
        table.remove(transaction, name);
    for (const auto &[name, contact] : batch.updates)
        table.update(transaction, name, contact);
    table.insert(transaction, batch.inserts);
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
