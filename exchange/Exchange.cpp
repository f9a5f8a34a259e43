#include "exchange/Exchange.h"

#include "exchange/VCard.h"
#include "platform/data/Connection.h"
#include "platform/data/Query.h"
#include "platform/os/PrivateFiles.h"
#include "platform/text/Cp936.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>

namespace exchange {

namespace {

// The editor's limits, in code-page-936 bytes.
constexpr int nameBytes = 11;
constexpr int mobileBytes = 11;
constexpr int qqBytes = 11;

QString nativePath(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

QString ImportSummary::summaryLine() const
{
    return QStringLiteral("导入 %1 条，跳过 %2 条").arg(imported).arg(skipped.size());
}

QStringList ImportSummary::skippedLines() const
{
    QStringList lines;
    for (const SkippedRecord &s : skipped) {
        if (s.name.isEmpty())
            lines.append(QStringLiteral("第 %1 行：%2").arg(s.line).arg(s.reason));
        else
            lines.append(QStringLiteral("第 %1 行 %2：%3").arg(s.line).arg(s.name, s.reason));
    }
    return lines;
}

QString normalizedMobile(const QString &mobile)
{
    QString digits;
    digits.reserve(mobile.size());
    for (QChar c : mobile) {
        if (c == u' ' || c == u'\t' || c == u'-' || c == u'(' || c == u')' || c == u'（' || c == u'）'
            || c == u'\u3000')
            continue;
        digits += c;
    }
    static const QRegularExpression country(QStringLiteral("^(?:\\+86|0086|86)(1\\d{10})$"));
    const QRegularExpressionMatch m = country.match(digits);
    return m.hasMatch() ? m.captured(1) : digits;
}

QString normalizedSex(const QString &sex)
{
    const QString v = sex.trimmed().toLower();
    if (v == u"男" || v == u"m" || v == u"male")
        return QStringLiteral("男");
    if (v == u"女" || v == u"f" || v == u"female")
        return QStringLiteral("女");
    return QString();
}

ContactRecords readContactsFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw ExchangeError(QStringLiteral("找不到文件“%1”。").arg(nativePath(path)));
    if (info.isDir())
        throw ExchangeError(QStringLiteral("“%1”是文件夹，不是联系人文件。").arg(nativePath(path)));
    if (info.size() > maxFileBytes)
        throw ExchangeError(QStringLiteral("文件“%1”太大（超过 %2 MB），不能导入。")
                                .arg(nativePath(path))
                                .arg(maxFileBytes / (1024 * 1024)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ExchangeError(QStringLiteral("无法读取文件“%1”：%2").arg(nativePath(path), file.errorString()));
    const QByteArray bytes = file.read(maxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        throw ExchangeError(QStringLiteral("无法读取文件“%1”：%2").arg(nativePath(path), file.errorString()));
    if (bytes.trimmed().isEmpty() || bytes == "\xEF\xBB\xBF" || bytes == "\xFF\xFE" || bytes == "\xFE\xFF")
        throw ExchangeError(QStringLiteral("文件“%1”是空的。").arg(nativePath(path)));
    return looksLikeVCard(bytes) ? readVCards(bytes) : readCsv(bytes);
}

ContactRecords contactsOf(const txl::Query &query)
{
    const int cols[7] = {
        query.fieldIndex(QStringLiteral("姓名")),
        query.fieldIndex(QStringLiteral("性别")),
        query.fieldIndex(QStringLiteral("QQ号码")),
        query.fieldIndex(QStringLiteral("手机号码")),
        query.fieldIndex(QStringLiteral("电子邮件")),
        query.fieldIndex(QStringLiteral("家庭住址")),
        query.fieldIndex(QStringLiteral("组名")),
    };
    const int count = query.recordCount();
    ContactRecords records;
    records.reserve(static_cast<size_t>(count));
    for (int r = 0; r < count; ++r) {
        ContactRecord rec;
        QString *fields[7] = { &rec.name, &rec.sex, &rec.qq, &rec.mobile, &rec.email, &rec.address, &rec.group };
        for (int c = 0; c < 7; ++c)
            *fields[c] = query.value(r, cols[c]);
        records.push_back(std::move(rec));
    }
    return records;
}

ContactRecords storedContacts(txl::Connection &connection)
{
    txl::Query query;
    query.setObjectName(QStringLiteral("exportquery"));
    query.setConnection(&connection);
    query.addSql(QStringLiteral("select * from data"));
    query.open();
    return contactsOf(query);
}

ImportSummary importContacts(txl::Connection &connection, ContactRecords records, bool dryRun, const Progress &progress)
{
    using txl::text::byteLength;
    using txl::text::trim;

    QHash<QString, int> seen; // name -> line in the file; stored names as 0
    {
        txl::Query names;
        names.setObjectName(QStringLiteral("importnames"));
        names.setConnection(&connection);
        names.addSql(QStringLiteral("select 姓名 from data"));
        names.open();
        seen.reserve(names.recordCount() + static_cast<int>(records.size()));
        for (int r = 0; r < names.recordCount(); ++r)
            seen.insert(names.value(r, 0), 0);
    }

    // Records are cleaned in place and the accepted ones moved to the front,
    // so a large file is not held twice.
    ImportSummary summary;
    size_t kept = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        ContactRecord &r = records[i];
        r.name = trim(r.name);
        r.sex = normalizedSex(r.sex);
        r.qq = trim(r.qq);
        r.mobile = normalizedMobile(trim(r.mobile));
        r.email = trim(r.email);
        r.address = trim(r.address);
        r.group = trim(r.group);

        QString reason;
        if (r.name.isEmpty())
            reason = QStringLiteral("没有姓名");
        else if (byteLength(r.name) > nameBytes)
            reason = QStringLiteral("姓名超过 %1 个字节（最多 5 个汉字）").arg(nameBytes);
        else if (byteLength(r.mobile) > mobileBytes)
            reason = QStringLiteral("手机号码“%1”超过 %2 个字节").arg(r.mobile).arg(mobileBytes);
        else if (byteLength(r.qq) > qqBytes)
            reason = QStringLiteral("QQ号码“%1”超过 %2 个字节").arg(r.qq).arg(qqBytes);
        else if (const auto it = seen.constFind(r.name); it != seen.constEnd())
            reason = *it == 0 ? QStringLiteral("与已有的联系人重名") : QStringLiteral("与第 %1 行重名").arg(*it);
        if (!reason.isEmpty()) {
            summary.skipped.push_back({ r.line, r.name, reason });
            continue;
        }
        seen.insert(r.name, r.line > 0 ? r.line : -1);
        if (kept != i)
            records[kept] = std::move(r);
        ++kept;
    }
    records.resize(kept);
    const ContactRecords &cleaned = records;

    const int total = static_cast<int>(cleaned.size());
    if (dryRun) {
        summary.imported = total;
        return summary;
    }

    connection.executeScript(QStringLiteral("begin immediate;"));
    try {
        txl::Query insert;
        insert.setObjectName(QStringLiteral("importquery"));
        insert.setConnection(&connection);
        insert.addSql(QStringLiteral("insert into data values(:p0,:p1,:p2,:p3,:p4,:p5,:p6)"));
        const QString params[7] = { QStringLiteral("p0"), QStringLiteral("p1"), QStringLiteral("p2"),
            QStringLiteral("p3"), QStringLiteral("p4"), QStringLiteral("p5"), QStringLiteral("p6") };
        for (int i = 0; i < total; ++i) {
            const ContactRecord &r = cleaned[static_cast<size_t>(i)];
            const QString *fields[7] = { &r.name, &r.sex, &r.qq, &r.mobile, &r.email, &r.address, &r.group };
            for (int c = 0; c < 7; ++c)
                insert.setParam(params[c], *fields[c]);
            insert.execSql();
            if (progress && (i % 1000 == 999) && !progress(i + 1, total))
                throw ExchangeError(QStringLiteral("导入已取消，没有写入任何联系人。"));
        }
        connection.executeScript(QStringLiteral("commit;"));
    } catch (...) {
        try {
            connection.executeScript(QStringLiteral("rollback;"));
        } catch (...) {
            // The transaction is gone already; the original error says why.
        }
        throw;
    }
    if (progress)
        progress(total, total);
    summary.imported = total;
    return summary;
}

ImportSummary importFile(txl::Connection &connection, const QString &path, bool dryRun, const Progress &progress)
{
    return importContacts(connection, readContactsFile(path), dryRun, progress);
}

FileFormat formatForPath(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == u"csv" || suffix == u"txt" ? FileFormat::Csv : FileFormat::VCard;
}

QByteArray exportBytes(const ContactRecords &records, FileFormat format, CsvEncoding encoding)
{
    return format == FileFormat::VCard ? writeVCards(records) : writeCsv(records, encoding);
}

void exportFile(const QString &path, const ContactRecords &records, FileFormat format, CsvEncoding encoding)
{
    const QByteArray bytes = exportBytes(records, format, encoding);
    QSaveFile file(path);
    // Plain contacts: for the owner only, whatever the umask or the old file's mode.
    if (!file.open(QIODevice::WriteOnly) || !txl::os::restrictToOwner(file))
        throw ExchangeError(QStringLiteral("无法写入文件“%1”：%2").arg(nativePath(path), file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw ExchangeError(QStringLiteral("无法写入文件“%1”：%2").arg(nativePath(path), file.errorString()));
}

} // namespace exchange
