#include "exchange/Exchange.h"

#include "exchange/VCard.h"
#include "platform/os/Files.h"
#include "platform/os/PrivateFiles.h"
#include "platform/text/Cp936.h"
#include "store/ContactTable.h"
#include "store/NewContacts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
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
    // The shape is (+86|0086|86)?1 and ten ASCII digits once spaces, dashes
    // and brackets are taken out: at most 14 units, gathered on the stack
    // (a longer text is no mobile). Only a mobile is rewritten: a landline
    // ("010-1234567") or a foreign number keeps the form it was written in.
    char16_t digits[15];
    qsizetype n = 0;
    for (QChar c : mobile) {
        if (c == u' ' || c == u'\t' || c == u'-' || c == u'(' || c == u')' || c == u'（' || c == u'）'
            || c == u'\u3000')
            continue;
        if (n == 15)
            return mobile;
        digits[n++] = c.unicode();
    }
    QStringView d(digits, n);
    for (const char16_t *prefix : { u"+86", u"0086", u"86" }) {
        if (d.startsWith(QStringView(prefix))) {
            d = d.sliced(QStringView(prefix).size());
            break;
        }
    }
    const bool shaped = d.size() == 11 && d.front() == u'1'
        && std::all_of(d.cbegin(), d.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (!shaped)
        return mobile;
    return d.size() == mobile.size() ? mobile : d.toString(); // unchanged: shared, not copied
}

QString normalizedSex(const QString &sex)
{
    if (sex == u"男" || sex == u"女")
        return sex; // as most files write it: kept without a copy
    const QString v = sex.trimmed().toLower();
    if (v == u"男" || v == u"m" || v == u"male")
        return QStringLiteral("男");
    if (v == u"女" || v == u"f" || v == u"female")
        return QStringLiteral("女");
    return sex;
}

QByteArray readContactsBytes(const QString &path, const ReadProgress &progress)
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
    // Read straight into the one buffer, sized as the file was found (and
    // grown should it grow meanwhile, up to one byte past the limit).
    QByteArray bytes;
    bytes.resize(total);
    qint64 size = 0;
    for (;;) {
        if (progress && !progress(size, total))
            throw ExchangeError(QCoreApplication::translate("exchange", "The import was cancelled."));
        const qint64 want = std::min(piece, maxFileBytes + 1 - size);
        if (bytes.size() < size + want)
            bytes.resize(std::min(std::max(bytes.size() * 2, size + want), maxFileBytes + 1));
        const qint64 got = file.read(bytes.data() + size, want);
        if (got < 0 || file.error() != QFileDevice::NoError)
            throw ExchangeError(QCoreApplication::translate("exchange", "Could not read the file '%1': %2")
                                    .arg(nativePath(path), file.errorString()));
        if (got == 0)
            break;
        size += got;
        if (size > maxFileBytes)
            throw ExchangeError(
                QCoreApplication::translate("exchange", "The file '%1' is too large (over %2 MB) to import.")
                    .arg(nativePath(path))
                    .arg(maxFileBytes / (1024 * 1024)));
    }
    bytes.truncate(size);
    // A view, trimmed without a copy of the file.
    if (QByteArrayView(bytes).trimmed().isEmpty() || bytes == "\xEF\xBB\xBF" || bytes == "\xFF\xFE"
        || bytes == "\xFE\xFF")
        throw ExchangeError(QCoreApplication::translate("exchange", "The file '%1' is empty.").arg(nativePath(path)));
    return bytes;
}

void readContacts(const QByteArray &bytes, const RecordSink &sink)
{
    if (looksLikeVCard(bytes))
        readVCards(bytes, sink);
    else
        readCsv(bytes, sink);
}

void checkContacts(const QByteArray &bytes)
{
    if (looksLikeVCard(bytes))
        checkVCards(bytes);
    else
        checkCsv(bytes);
}

ContactRecords readContactsFile(const QString &path, const ReadProgress &progress)
{
    const QByteArray bytes = readContactsBytes(path, progress);
    return looksLikeVCard(bytes) ? readVCards(bytes) : readCsv(bytes);
}

RuleOutcome applyImportRule(ContactRecord &r)
{
    using txl::text::byteLength;
    using txl::text::trim;

    RuleOutcome outcome;
    outcome.refusal = controlReason(r);
    if (outcome.refusal.isEmpty()) {
        r.name = trim(r.name);
        if (r.name.isEmpty())
            outcome.refusal = QCoreApplication::translate("exchange", "no name");
        else if (byteLength(r.name) > nameBytes)
            outcome.refusal = QCoreApplication::translate(
                "exchange", "the name is longer than %1 bytes (at most 5 Chinese characters)")
                                  .arg(nameBytes);
    }
    if (!outcome.refusal.isEmpty())
        return outcome;
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
        outcome.leftOut.push_back({ r.line, r.name,
            QCoreApplication::translate("exchange", "the mobile number was not imported: '%1' is longer than %2 bytes")
                .replace(QLatin1String("%2"), QString::number(mobileBytes)),
            std::exchange(r.mobile, QString()), 0 });
    }
    if (byteLength(r.qq) > qqBytes) {
        outcome.leftOut.push_back({ r.line, r.name,
            QCoreApplication::translate("exchange", "the QQ number was not imported: '%1' is longer than %2 bytes")
                .replace(QLatin1String("%2"), QString::number(qqBytes)),
            std::exchange(r.qq, QString()), 0 });
    }
    return outcome;
}

ImportSummary applyImportRules(ContactRecords &records)
{
    // Records are cleaned in place and the accepted ones moved to the front,
    // so a large file is not held twice.
    ImportSummary summary;
    size_t kept = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        ContactRecord &r = records[i];
        RuleOutcome outcome = applyImportRule(r);
        if (!outcome.passed()) {
            summary.skipped.push_back({ r.line, r.name, std::move(outcome.refusal), QString(), 0 });
            continue;
        }
        for (SkippedRecord &l : outcome.leftOut) {
            l.record = kept;
            summary.leftOut.push_back(std::move(l));
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
    store::NewContacts batch(table, dryRun);
    batch.reserve(static_cast<qsizetype>(records.size()));
    std::vector<bool> duplicate(records.size(), false);
    const int total = static_cast<int>(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ContactRecord &r = records[i];
        const store::NewContacts::Outcome added = batch.add(r);
        if (!added.stored) {
            duplicate[i] = true;
            summary.skipped.push_back({ r.line, r.name,
                added.earlier ? QCoreApplication::translate("exchange", "the same name as line %1")
                                    .arg(records[*added.earlier].line)
                              : QCoreApplication::translate("exchange", "the same name as a stored contact"),
                QString(), i });
        }
        if (progress && (i % 1000 == 999) && !progress(static_cast<int>(i + 1), total))
            throw ExchangeError(QCoreApplication::translate("exchange", "The import was cancelled."));
    }
    batch.commit();
    if (progress)
        progress(total, total);
    // A number left out of a contact that then was not stored is no news.
    summary.leftOut.erase(std::remove_if(summary.leftOut.begin(), summary.leftOut.end(),
                              [&duplicate](const SkippedRecord &l) { return duplicate[l.record]; }),
        summary.leftOut.end());
    std::stable_sort(summary.skipped.begin(), summary.skipped.end(),
        [](const SkippedRecord &a, const SkippedRecord &b) { return a.line < b.line; });
    summary.imported = batch.inserted();
}

ImportSummary importContacts(store::ContactTable &table, ContactRecords records, bool dryRun, const Progress &progress)
{
    ImportSummary summary = applyImportRules(records);
    storeImported(table, records, summary, dryRun, progress);
    return summary;
}

ImportSummary importBytes(store::ContactTable &table, const QByteArray &bytes, bool dryRun, const Progress &progress)
{
    // Each record goes from the reader through the rules into the insert as
    // it is read: only the file's bytes and the set of names are held.
    store::NewContacts batch(table, dryRun);
    // Room for the names up front (a line a record at most, or a card of
    // three lines), so the set does not grow by rehashing as it fills.
    const qsizetype lineCount = std::count(bytes.cbegin(), bytes.cend(), '\n') + 1;
    batch.reserve(std::min<qsizetype>(looksLikeVCard(bytes) ? lineCount / 3 : lineCount, 1 << 20));
    ImportSummary summary;
    std::vector<SkippedRecord> duplicates;
    std::vector<int> lines; // of the records that passed the rules, for "the same name as line L"
    int done = 0;
    readContacts(bytes, [&](ContactRecord &&r) {
        RuleOutcome outcome = applyImportRule(r);
        if (!outcome.passed()) {
            summary.skipped.push_back({ r.line, r.name, std::move(outcome.refusal), QString(), 0 });
        } else {
            const std::size_t index = lines.size();
            lines.push_back(r.line);
            const store::NewContacts::Outcome added = batch.add(r);
            if (added.stored) {
                for (SkippedRecord &l : outcome.leftOut) {
                    l.record = index;
                    summary.leftOut.push_back(std::move(l));
                }
            } else {
                // A number left out of a contact that then was not stored is no news.
                duplicates.push_back({ r.line, r.name,
                    added.earlier
                        ? QCoreApplication::translate("exchange", "the same name as line %1").arg(lines[*added.earlier])
                        : QCoreApplication::translate("exchange", "the same name as a stored contact"),
                    QString(), index });
            }
        }
        if (progress && ++done % 1000 == 0 && !progress(done, 0))
            throw ExchangeError(QCoreApplication::translate("exchange", "The import was cancelled."));
    });
    batch.commit();
    // The same order as the two steps give: refused records, then
    // duplicates, each kept in file order, sorted by line.
    summary.skipped.insert(
        summary.skipped.end(), std::make_move_iterator(duplicates.begin()), std::make_move_iterator(duplicates.end()));
    std::stable_sort(summary.skipped.begin(), summary.skipped.end(),
        [](const SkippedRecord &a, const SkippedRecord &b) { return a.line < b.line; });
    summary.imported = batch.inserted();
    return summary;
}

ImportSummary importFile(store::ContactTable &table, const QString &path, bool dryRun, const Progress &progress)
{
    return importBytes(table, readContactsBytes(path), dryRun, progress);
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

namespace {

// The file's own error when it refuses bytes: what an export reports.
[[noreturn]] void writeFailed(const QString &path, const QSaveFile &file)
{
    throw ExchangeError(QCoreApplication::translate("exchange", "Could not write the file '%1': %2")
                            .arg(nativePath(path), file.errorString()));
}

// Writes the contacts that rows() hands to its visitor through a temporary
// file renamed into place, a piece at a time: an error on the way leaves the
// temporary file unrenamed, so an existing file stays as it was.
template <typename Rows>
std::size_t exportThrough(
    const QString &path, FileFormat format, CsvEncoding encoding, const QString &contactsFile, Rows rows)
{
    checkExportTarget(path, contactsFile);
    QSaveFile file(path);
    // Plain contacts: for the owner only, whatever the umask or the old file's mode.
    if (!file.open(QIODevice::WriteOnly) || !txl::os::restrictToOwner(file))
        writeFailed(path, file);
    std::size_t count = 0;
    bool failed = false;
    if (format == FileFormat::VCard) {
        VCardWriter writer(&file);
        count = rows([&writer](const store::ContactView &c) { writer.add(c); });
        writer.finish();
        failed = writer.failed();
    } else {
        CsvWriter writer(encoding, &file);
        count = rows([&writer](const store::ContactView &c) { writer.add(c); });
        writer.finish();
        failed = writer.failed();
    }
    if (failed || !file.commit())
        writeFailed(path, file);
    return count;
}

} // namespace

void exportFile(const QString &path, const ContactRecords &records, FileFormat format, CsvEncoding encoding,
    const QString &contactsFile)
{
    exportThrough(path, format, encoding, contactsFile, [&records](const auto &visit) {
        for (const ContactRecord &r : records)
            visit(store::ContactView(r));
        return records.size();
    });
}

std::size_t exportTable(const QString &path, const store::ContactTable &table, FileFormat format, CsvEncoding encoding,
    const QString &contactsFile)
{
    // Rows go from the statement through the writer into the file: no
    // list of the whole table is made.
    return exportThrough(path, format, encoding, contactsFile,
        [&table](const std::function<void(const store::ContactView &)> &visit) { return table.forEach(visit); });
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
