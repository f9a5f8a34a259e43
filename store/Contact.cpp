#include "store/Contact.h"

namespace store {

namespace {

template <typename C, typename S> S &fieldOf(C &c, int column)
{
    switch (column) {
    case 0:
        return c.name;
    case 1:
        return c.sex;
    case 2:
        return c.qq;
    case 3:
        return c.mobile;
    case 4:
        return c.email;
    case 5:
        return c.address;
    default:
        return c.group;
    }
}

} // namespace

const QString &Contact::field(int column) const
{
    return fieldOf<const Contact, const QString>(*this, column);
}

QString &Contact::field(int column)
{
    return fieldOf<Contact, QString>(*this, column);
}

bool Contact::operator==(const Contact &o) const
{
    return name == o.name && sex == o.sex && qq == o.qq && mobile == o.mobile && email == o.email
        && address == o.address && group == o.group;
}

const QStringList &columnNames()
{
    static const QStringList names { QStringLiteral("姓名"), QStringLiteral("性别"), QStringLiteral("QQ号码"),
        QStringLiteral("手机号码"), QStringLiteral("电子邮件"), QStringLiteral("家庭住址"), QStringLiteral("组名") };
    return names;
}

} // namespace store
