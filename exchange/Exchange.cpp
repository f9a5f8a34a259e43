#include "exchange/Exchange.h"

#include "exchange/VCard.h"
#include "platform/os/Files.h"
#include "platform/os/PrivateFiles.h"
#include "platform/text/Cp936.h"
#include "store/ContactTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTranslator>

#include <algorithm>
#include <utility>

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
    return QCoreApplication::translate("exchange", "Imported %1, skipped %2").arg(imported).arg(skipped.size());
}

namespace {

// Control characters shown as their pictures (U+2400 to U+241F, U+2421 for
// DEL): visible in a box, harmless on a terminal.
QString shown(const QString &text, int maxChars)
{
    QString out;
    const qsizetype n = text.size();
    qsizetype end = n;
    if (maxChars > 0 && n > maxChars) {
        end = maxChars;
        if (text.at(end - 1).isHighSurrogate())
            --end;
    }
    out.reserve(end + 1);
    for (qsizetype i = 0; i < end; ++i) {
        const char16_t u = text.at(i).unicode();
        out += u < 0x20 ? QChar(char16_t(0x2400 + u)) : u == 0x7F ? QChar(char16_t(0x2421)) : text.at(i);
    }
    if (end < n)
        out += u'…';
    return out;
}

QStringList linesOf(const std::vector<SkippedRecord> &records, int valueChars)
{
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(records.size()));
    for (const SkippedRecord &s : records) {
        const QString reason = s.value.isNull() ? s.reason : s.reason.arg(shown(s.value, valueChars));
        if (s.name.isEmpty())
            lines.append(QCoreApplication::translate("exchange", "Line %1: %2").arg(s.line).arg(reason));
        else
            lines.append(QCoreApplication::translate("exchange", "Line %1, %2: %3")
                             .arg(s.line)
                             .arg(shown(s.name, valueChars), reason));
    }
    return lines;
}

// The first control character other than tab in a record, as "姓名含有控制字符 U+0000".
QString controlReason(const ContactRecord &r)
{
    for (int column = 0; column < store::Contact::fieldCount; ++column) {
        for (QChar c : r.field(column)) {
            if (c.unicode() < 0x20 && c != u'\t')
                return QCoreApplication::translate("exchange", "%1 holds the control character U+%2")
                    .arg(store::columnNames().at(column),
                        QString::number(c.unicode(), 16).rightJustified(4, QLatin1Char('0')).toUpper());
        }
    }
    return QString();
}

} // namespace

QStringList ImportSummary::skippedLines(int valueChars) const
{
    return linesOf(skipped, valueChars);
}

QStringList ImportSummary::leftOutLines(int valueChars) const
{
    return linesOf(leftOut, valueChars);
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
    // Only a mobile is rewritten: a landline ("010-1234567") or a foreign
    // number keeps the form it was written in.
    static const QRegularExpression mobileShape(QStringLiteral("^(?:\\+86|0086|86)?(1\\d{10})$"));
    const QRegularExpressionMatch m = mobileShape.match(digits);
    return m.hasMatch() ? m.captured(1) : mobile;
}

QString normalizedSex(const QString &sex)
{
    const QString v = sex.trimmed().toLower();
    if (v == u"男" || v == u"m" || v == u"male")
        return QStringLiteral("男");
    if (v == u"女" || v == u"f" || v == u"female")
        return QStringLiteral("女");
    return sex;
}

ContactRecords readContactsFile(const QString &path, const ReadProgress &progress)
{
    // Looked at before opening: opening a pipe waits for a writer, and a
    // device or socket may never end.
    switch (txl::os::fileKind(path)) {
    case txl::os::FileKind::Missing:
        throw ExchangeError(
            QCoreApplication::translate("exchange", "The file '%1' was not found.").arg(nativePath(path)));
    case txl::os::FileKind::Directory:
        throw ExchangeError(
            QCoreApplication::translate("exchange", "'%1' is a folder, not a contacts file.").arg(nativePath(path)));
    case txl::os::FileKind::Other:
        throw ExchangeError(QCoreApplication::translate(
            "exchange", "'%1' is not a regular file (it is a pipe, a device or a socket); it cannot be imported.")
                                .arg(nativePath(path)));
    case txl::os::FileKind::Regular:
        break;
    }
    const QFileInfo info(path);
    if (info.size() > maxFileBytes)
        throw ExchangeError(
            QCoreApplication::translate("exchange", "The file '%1' is too large (over %2 MB) to import.")
                .arg(nativePath(path))
                .arg(maxFileBytes / (1024 * 1024)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ExchangeError(QCoreApplication::translate("exchange", "Could not read the file '%1': %2")
                                .arg(nativePath(path), file.errorString()));
    // Read in pieces, so a caller can show the progress and cancel.
    constexpr qint64 piece = 1024 * 1024;
    const qint64 total = std::min(info.size(), maxFileBytes);
    QByteArray bytes;
    bytes.reserve(total);
    for (;;) {
        if (progress && !progress(bytes.size(), total))
            throw ExchangeError(QCoreApplication::translate("exchange", "The import was cancelled."));
        const QByteArray chunk = file.read(std::min(piece, maxFileBytes + 1 - bytes.size()));
        if (file.error() != QFileDevice::NoError)
            throw ExchangeError(QCoreApplication::translate("exchange", "Could not read the file '%1': %2")
                                    .arg(nativePath(path), file.errorString()));
        if (chunk.isEmpty())
            break;
        bytes += chunk;
        if (bytes.size() > maxFileBytes)
            throw ExchangeError(
                QCoreApplication::translate("exchange", "The file '%1' is too large (over %2 MB) to import.")
                    .arg(nativePath(path))
                    .arg(maxFileBytes / (1024 * 1024)));
    }
    if (bytes.trimmed().isEmpty() || bytes == "\xEF\xBB\xBF" || bytes == "\xFF\xFE" || bytes == "\xFE\xFF")
        throw ExchangeError(QCoreApplication::translate("exchange", "The file '%1' is empty.").arg(nativePath(path)));
    return looksLikeVCard(bytes) ? readVCards(bytes) : readCsv(bytes);
}

ImportSummary applyImportRules(ContactRecords &records)
{
    using txl::text::byteLength;
    using txl::text::trim;

    // Records are cleaned in place and the accepted ones moved to the front,
    // so a large file is not held twice.
    ImportSummary summary;
    size_t kept = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        ContactRecord &r = records[i];
        QString reason = controlReason(r);
        if (reason.isEmpty()) {
            r.name = trim(r.name);
            if (r.name.isEmpty())
                reason = QCoreApplication::translate("exchange", "no name");
            else if (byteLength(r.name) > nameBytes)
                reason = QCoreApplication::translate(
                    "exchange", "the name is longer than %1 bytes (at most 5 Chinese characters)")
                             .arg(nameBytes);
        }
        if (!reason.isEmpty()) {
            summary.skipped.push_back({ r.line, r.name, reason, QString(), 0 });
            continue;
        }
        r.sex = normalizedSex(r.sex);
        r.qq = trim(r.qq);
        r.mobile = normalizedMobile(trim(r.mobile));
        r.email = trim(r.email);
        r.address = trim(r.address);
        r.group = trim(r.group);
        // A number the editor cannot hold is left out rather than the whole
        // contact: the name is what cannot be done without. The value takes
        // the %1 when the summary is worded.
        if (byteLength(r.mobile) > mobileBytes) {
            summary.leftOut.push_back({ r.line, r.name,
                QCoreApplication::translate(
                    "exchange", "the mobile number was not imported: '%1' is longer than %2 bytes")
                    .replace(QLatin1String("%2"), QString::number(mobileBytes)),
                std::exchange(r.mobile, QString()), kept });
        }
        if (byteLength(r.qq) > qqBytes) {
            summary.leftOut.push_back({ r.line, r.name,
                QCoreApplication::translate("exchange", "the QQ number was not imported: '%1' is longer than %2 bytes")
                    .replace(QLatin1String("%2"), QString::number(qqBytes)),
                std::exchange(r.qq, QString()), kept });
        }
        if (kept != i)
            records[kept] = std::move(r);
        ++kept;
    }
    records.resize(kept);
    return summary;
}

void storeImported(store::ContactTable &table, const ContactRecords &records, ImportSummary &summary, bool dryRun,
    const Progress &progress)
{
    // The duplicate rule is the table's: it is checked under the write lock.
    const store::ContactTable::InsertResult stored = table.insertNew(
        records.size(), [&records](size_t i) -> const store::Contact & { return records[i]; }, dryRun, progress);
    if (stored.cancelled)
        throw ExchangeError(QCoreApplication::translate("exchange", "The import was cancelled."));
    std::vector<bool> duplicate(records.size(), false);
    for (const store::ContactTable::Duplicate &d : stored.duplicates) {
        const ContactRecord &r = records[d.index];
        duplicate[d.index] = true;
        summary.skipped.push_back({ r.line, r.name,
            d.earlier
                ? QCoreApplication::translate("exchange", "the same name as line %1").arg(records[*d.earlier].line)
                : QCoreApplication::translate("exchange", "the same name as a stored contact"),
            QString(), d.index });
    }
    // A number left out of a contact that then was not stored is no news.
    if (!stored.duplicates.empty()) {
        summary.leftOut.erase(std::remove_if(summary.leftOut.begin(), summary.leftOut.end(),
                                  [&duplicate](const SkippedRecord &l) { return duplicate[l.record]; }),
            summary.leftOut.end());
    }
    std::stable_sort(summary.skipped.begin(), summary.skipped.end(),
        [](const SkippedRecord &a, const SkippedRecord &b) { return a.line < b.line; });
    summary.imported = stored.inserted;
}

ImportSummary importContacts(store::ContactTable &table, ContactRecords records, bool dryRun, const Progress &progress)
{
    ImportSummary summary = applyImportRules(records);
    storeImported(table, records, summary, dryRun, progress);
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

namespace {

// True when the bytes read as text: no control characters but the layout
// ones, in UTF-8, GB18030 or UTF-16 with its byte-order mark. A SQLite file
// begins with "SQLite format 3" and a NUL; an SQLCipher file is random bytes
// from its first one, which hold controls and break UTF-8 within a few bytes.
bool readsAsText(const QByteArray &head)
{
    // Stateful decoders: a character cut at the end of the sample is no error.
    auto decoded = [](const char *charset, QByteArrayView bytes, QString &text) {
        QStringDecoder decoder(charset);
        text = decoder.decode(bytes);
        return !decoder.hasError();
    };
    QString text;
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) {
        if (!decoded(head.startsWith("\xFF\xFE") ? "UTF-16LE" : "UTF-16BE", QByteArrayView(head).sliced(2), text))
            return false;
    } else if (!decoded("UTF-8", head, text) && !decoded("GB18030", head, text)) {
        return false;
    }
    for (QChar c : std::as_const(text)) {
        const char16_t u = c.unicode();
        if (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r' && u != u'\f' && u != u'\v' && u != 0x1A)
            return false;
    }
    return true;
}

} // namespace

void checkExportTarget(const QString &path, const QString &contactsFile)
{
    const QString shownPath = nativePath(path);
    const QString another = QStringLiteral("请另选文件名。");
    const std::optional<txl::os::FileIdentity> target = txl::os::fileIdentity(path);
    if (!contactsFile.isEmpty()) {
        const QFileInfo data(contactsFile);
        if (target) {
            for (const QString &suffix :
                { QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal") }) {
                if (txl::os::fileIdentity(data.absoluteFilePath() + suffix) == target)
                    throw ExchangeError(
                        QStringLiteral("“%1”就是通讯录的数据文件，导出会毁掉其中所有的联系人。").arg(shownPath)
                        + another);
            }
        }
        // The backups folder is the program's: nothing is exported into it,
        // and no backup (nor a link to one elsewhere) is replaced.
        const QDir backups(data.absolutePath() + QStringLiteral("/backups"));
        const std::optional<txl::os::FileIdentity> backupsFolder = txl::os::fileIdentity(backups.path());
        const QString folder = QFileInfo(path).absolutePath();
        if (backupsFolder && txl::os::fileIdentity(folder) == backupsFolder)
            throw ExchangeError(
                QStringLiteral("“%1”在通讯录的备份文件夹里，导出不写到那里。").arg(shownPath) + another);
        if (target && backupsFolder) {
            const QStringList names = backups.entryList(QDir::Files | QDir::Hidden | QDir::System);
            for (const QString &name : names)
                if (txl::os::fileIdentity(backups.filePath(name)) == target)
                    throw ExchangeError(
                        QStringLiteral("“%1”是通讯录数据文件的备份，导出不能覆盖它。").arg(shownPath) + another);
        }
    }
    switch (txl::os::fileKind(path)) {
    case txl::os::FileKind::Missing:
        return;
    case txl::os::FileKind::Directory:
        throw ExchangeError(QStringLiteral("“%1”是文件夹。").arg(shownPath) + another);
    case txl::os::FileKind::Other:
        throw ExchangeError(QStringLiteral("“%1”不是普通文件（是管道、设备或套接字）。").arg(shownPath) + another);
    case txl::os::FileKind::Regular:
        break;
    }
    QFile existing(path);
    if (!existing.open(QIODevice::ReadOnly))
        throw ExchangeError(QStringLiteral("无法读取已有的文件“%1”：%2").arg(shownPath, existing.errorString()));
    constexpr qint64 sample = 64 * 1024;
    const QByteArray head = existing.read(sample);
    if (!readsAsText(head))
        throw ExchangeError(
            QStringLiteral("“%1”已经存在，而且不是文本、vCard 或 CSV 文件（可能是数据库或别的程序的文件），"
                           "导出不会覆盖它。")
                .arg(shownPath)
            + another);
}

void exportFile(const QString &path, const ContactRecords &records, FileFormat format, CsvEncoding encoding,
    const QString &contactsFile)
{
    checkExportTarget(path, contactsFile);
    const QByteArray bytes = exportBytes(records, format, encoding);
    QSaveFile file(path);
    // Plain contacts: for the owner only, whatever the umask or the old file's mode.
    if (!file.open(QIODevice::WriteOnly) || !txl::os::restrictToOwner(file))
        throw ExchangeError(QCoreApplication::translate("exchange", "Could not write the file '%1': %2")
                                .arg(nativePath(path), file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw ExchangeError(QCoreApplication::translate("exchange", "Could not write the file '%1': %2")
                                .arg(nativePath(path), file.errorString()));
}

QString describeFailure(Transfer transfer, const std::exception &error)
{
    const auto *own = dynamic_cast<const ExchangeError *>(&error);
    const QString cause = own ? own->message() : txl::text::withFullStop(QString::fromUtf8(error.what()));
    const QString outcome = transfer == Transfer::Import
        ? QCoreApplication::translate("exchange", "No contacts were imported.")
        : QCoreApplication::translate("exchange", "No file was written.");
    return cause + QLatin1Char('\n') + outcome;
}

bool installChineseTexts()
{
    // One catalogue for the whole run, as long as the application lives.
    static QPointer<QTranslator> installed;
    if (installed)
        return true;
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("txl_exchange_zh_CN"), QStringLiteral(":/i18n"))
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    installed = translator;
    return true;
}

} // namespace exchange
