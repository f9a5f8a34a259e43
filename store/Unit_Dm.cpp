#include "store/Unit_Dm.h"

#include "store/ContactFile.h"

#include "platform/text/Pinyin.h"

#include <exception>
#include <memory>

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
    // pinyin_match(姓名, :p) lets the name search find 张三 by "zs".
    scon->addTextPredicate(QStringLiteral("pinyin_match"), [](std::string_view pattern) {
        auto compiled = std::make_shared<const txl::text::PinyinPattern>(pattern);
        return [compiled](std::string_view name) { return compiled->matches(name); };
    });

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

std::unique_ptr<txl::OpeningAhead> TDm::openAhead() noexcept
{
    try {
        return std::make_unique<txl::OpeningAhead>(ContactFile::relativePath(), ContactFile::password());
    } catch (...) {
        return nullptr;
    }
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

store::ContactTable TDm::contactTable() const
{
    return store::ContactTable(*scon);
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
    // A name typed in pinyin ("zs", "zhang san") finds 张三 as well.
    const bool pinyin = column == QStringLiteral("姓名") && txl::text::isPinyinQuery(text);
    addquery->addSql(QStringLiteral("select * from data where ") + column + QStringLiteral(" like :p0")
        + (pinyin ? QStringLiteral(" or pinyin_match(姓名, :p1)") : QString()));
    addquery->setParam(QStringLiteral("p0"), QLatin1Char('%') + text + QLatin1Char('%'));
    if (pinyin)
        addquery->setParam(QStringLiteral("p1"), text);
    addquery->setActive(true);
    return addquery->recordCount();
}
