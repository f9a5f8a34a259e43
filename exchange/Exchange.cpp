#include "exchange/Exchange.h"

#include "exchange/VCard.h"
#include "platform/text/Cp936.h"
#include "store/ContactTable.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTranslator>

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
    return QCoreApplication::translate("exchange", "Imported %1, skipped %2").arg(imported).arg(skipped.size());
}

QStringList ImportSummary::skippedLines() const
{
    QStringList lines;
    for (const SkippedRecord &s : skipped) {
        if (s.name.isEmpty())
            lines.append(QCoreApplication::translate("exchange", "Line %1: %2").arg(s.line).arg(s.reason));
        else
            lines.append(QCoreApplication::translate("exchange", "Line %1, %2: %3").arg(s.line).arg(s.name, s.reason));
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
        throw ExchangeError(
            QCoreApplication::translate("exchange", "The file '%1' was not found.").arg(nativePath(path)));
    if (info.isDir())
        throw ExchangeError(
            QCoreApplication::translate("exchange", "'%1' is a folder, not a contacts file.").arg(nativePath(path)));
    if (info.size() > maxFileBytes)
        throw ExchangeError(
            QCoreApplication::translate("exchange", "The file '%1' is too large (over %2 MB) to import.")
                .arg(nativePath(path))
                .arg(maxFileBytes / (1024 * 1024)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ExchangeError(QCoreApplication::translate("exchange", "Could not read the file '%1': %2")
                                .arg(nativePath(path), file.errorString()));
    const QByteArray bytes = file.read(maxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        throw ExchangeError(QCoreApplication::translate("exchange", "Could not read the file '%1': %2")
                                .arg(nativePath(path), file.errorString()));
    if (bytes.trimmed().isEmpty() || bytes == "\xEF\xBB\xBF" || bytes == "\xFF\xFE" || bytes == "\xFE\xFF")
        throw ExchangeError(QCoreApplication::translate("exchange", "The file '%1' is empty.").arg(nativePath(path)));
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
            reason = QCoreApplication::translate("exchange", "no name");
        else if (byteLength(r.name) > nameBytes)
            reason = QCoreApplication::translate(
                "exchange", "the name is longer than %1 bytes (at most 5 Chinese characters)")
                         .arg(nameBytes);
        else if (byteLength(r.mobile) > mobileBytes)
            reason = QCoreApplication::translate("exchange", "the mobile number '%1' is longer than %2 bytes")
                         .arg(r.mobile)
                         .arg(mobileBytes);
        else if (byteLength(r.qq) > qqBytes)
            reason = QCoreApplication::translate("exchange", "the QQ number '%1' is longer than %2 bytes")
                         .arg(r.qq)
                         .arg(qqBytes);
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
        throw ExchangeError(QCoreApplication::translate("exchange", "The import was cancelled."));
    for (const store::ContactTable::Duplicate &d : stored.duplicates) {
        const ContactRecord &r = records[d.index];
        summary.skipped.push_back({ r.line, r.name,
            d.earlier
                ? QCoreApplication::translate("exchange", "the same name as line %1").arg(records[*d.earlier].line)
                : QCoreApplication::translate("exchange", "the same name as a stored contact") });
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
    if (!file.open(QIODevice::WriteOnly))
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
