#include "store/Unit_Dm.h"

#include "store/ContactFile.h"

#include "platform/text/Pinyin.h"

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
