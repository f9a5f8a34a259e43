#include "exchange/Exchange.h"

#include "exchange/VCard.h"
#include "platform/os/PrivateFiles.h"
#include "platform/text/Cp936.h"
#include "store/ContactTable.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>

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

ImportSummary importContacts(store::ContactTable &table, ContactRecords records, bool dryRun, const Progress &progress)
{
    using txl::text::byteLength;
    using txl::text::trim;

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
        if (!reason.isEmpty()) {
            summary.skipped.push_back({ r.line, r.name, reason });
            continue;
        }
        if (kept != i)
            records[kept] = std::move(r);
        ++kept;
    }
    records.resize(kept);

    // The duplicate rule is the table's: it is checked under the write lock.
    const store::ContactTable::InsertResult stored = table.insertNew(
        records.size(), [&records](size_t i) -> const store::Contact & { return records[i]; }, dryRun, progress);
    if (stored.cancelled)
        throw ExchangeError(QStringLiteral("导入已取消，没有写入任何联系人。"));
    for (const store::ContactTable::Duplicate &d : stored.duplicates) {
        const ContactRecord &r = records[d.index];
        summary.skipped.push_back({ r.line, r.name,
            d.earlier ? QStringLiteral("与第 %1 行重名").arg(records[*d.earlier].line)
                      : QStringLiteral("与已有的联系人重名") });
    }
    std::stable_sort(summary.skipped.begin(), summary.skipped.end(),
        [](const SkippedRecord &a, const SkippedRecord &b) { return a.line < b.line; });
    summary.imported = stored.inserted;
    return summary;
}

ImportSummary importFile(store::ContactTable &table, const QString &path, bool dryRun, const Progress &progress)
{
    return importContacts(table, readContactsFile(path), dryRun, progress);
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
