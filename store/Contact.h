#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace store {

// One row of the table `data`: seven texts in their stored order. The name
// is the only identity a contact has; no two stored contacts share one.
struct Contact {
    QString name; // 姓名
    QString sex; // 性别
    QString qq; // QQ号码
    QString mobile; // 手机号码
    QString email; // 电子邮件
    QString address; // 家庭住址
    QString group; // 组名

    static constexpr int fieldCount = 7;
    // The field at a column position, in stored order (0 = name).
    const QString &field(int column) const;
    QString &field(int column);
    bool operator==(const Contact &other) const;
    bool operator!=(const Contact &other) const { return !(*this == other); }
};

using Contacts = std::vector<Contact>;

// The table's column names in stored order: the one list every reader and
// writer of the table goes by.
const QStringList &columnNames();

} // namespace store
