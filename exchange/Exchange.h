#pragma once

#include "exchange/ContactRecord.h"
#include "exchange/Csv.h"

#include <QStringList>
#include <exception>
#include <functional>

namespace store {
class ContactTable;
} // namespace store

namespace exchange {

enum class FileFormat { VCard, Csv };

// The largest file read: a contacts file of this size holds far more than
// 100,000 contacts; anything larger is refused before it is read.
constexpr qint64 maxFileBytes = 64 * 1024 * 1024;

// A record that was skipped, or a field that was left out of an imported
// contact. When value is set, the reason holds %1 where it stands.
struct SkippedRecord {
    int line = 0;
    QString name;
    QString reason;
    QString value;
    std::size_t record = 0; // the record's index among those that passed the rules
};

struct ImportSummary {
    int imported = 0;
    std::vector<SkippedRecord> skipped;
    // Numbers the editor could not hold (a mobile or QQ number over 11
    // bytes): the contact is imported without them.
    std::vector<SkippedRecord> leftOut;
    QString summaryLine() const; // "导入 N 条，跳过 M 条"
    // "第 L 行 name：reason" for the skipped records, then for the numbers
    // left out ("第 L 行 name：手机号码未导入：…"). Control characters are
    // shown as their pictures (U+2400…), so a line is safe on a terminal;
    // with valueChars > 0 the name and the value are cut to that many
    // characters.
    QStringList skippedLines(int valueChars = 0) const;
    QStringList leftOutLines(int valueChars = 0) const;
    QStringList detailLines(int valueChars = 0) const { return skippedLines(valueChars) + leftOutLines(valueChars); }
};

// Called now and then with the records done so far; returning false cancels.
using Progress = std::function<bool(int done, int total)>;
// Called now and then with the bytes read so far; returning false cancels.
using ReadProgress = std::function<bool(qint64 done, qint64 total)>;

// Reads a vCard or CSV file (told apart by its content). Anything but a
// regular file (a pipe, a device, a socket) is refused before it is opened,
// since reading one may never end. Throws ExchangeError, also when
// cancelled.
ContactRecords readContactsFile(const QString &path, const ReadProgress &progress = {});
// The first half of that: the file's bytes, checked as above (not empty, a
// regular file, at most maxFileBytes), for readContacts or importBytes.
QByteArray readContactsBytes(const QString &path, const ReadProgress &progress = {});
// The second half: a vCard or a CSV reader (told apart by the content)
// handing each record to the sink as it is read.
void readContacts(const QByteArray &bytes, const RecordSink &sink);
// Throws what readContacts would for the file's shape (an unfinished quote,
// a card without its end...), without making a record: for a caller that
// must act before the first record is stored, such as a backup, and that
// should not act for a file that cannot be read whole.
void checkContacts(const QByteArray &bytes);

// The editor's rules for one record (listed at applyImportRules): the record
// is cleaned in place, or refused with the reason why. A passed record may
// have numbers left out, each listed (its record index left 0 for the
// caller).
struct RuleOutcome {
    QString refusal; // empty when the record passed
    std::vector<SkippedRecord> leftOut;
    bool passed() const { return refusal.isEmpty(); }
};
RuleOutcome applyImportRule(ContactRecord &record);

// Applies the editor's rules to each record, in place, and moves the
// refused ones out into the summary: no control character but tab in any
// field (checked before trimming, so none is cut away unseen); the name
// trimmed, required and at most 11 code-page-936 bytes; a mobile-shaped
// number without its spaces, dashes, brackets and +86 / 0086 / 86; a mobile
// or QQ number over 11 bytes left out (the contact is still imported); sex
// M/F/male/female as 男/女. Every other value is kept as it stands.
ImportSummary applyImportRules(ContactRecords &records);

// Stores records that passed the rules in one transaction, either all of
// them or none, skipping names stored already or given earlier (checked
// under the write lock, so two imports at once store a name once). With
// dryRun nothing is written. Throws ExchangeError (cancelled) or the data
// layer's error; the stored contacts are then as they were.
void storeImported(store::ContactTable &table, const ContactRecords &records, ImportSummary &summary, bool dryRun,
    const Progress &progress = {});

// The two steps in one.
ImportSummary importContacts(
    store::ContactTable &table, ContactRecords records, bool dryRun, const Progress &progress = {});
// A file's bytes read, checked and stored one record at a time, in one
// transaction: the same rules, duplicate rule and summary as the two steps,
// all or nothing as storeImported, without holding the records. The
// progress has the records read so far (its total is 0: not known ahead).
ImportSummary importBytes(
    store::ContactTable &table, const QByteArray &bytes, bool dryRun, const Progress &progress = {});
// readContactsBytes and importBytes.
ImportSummary importFile(store::ContactTable &table, const QString &path, bool dryRun, const Progress &progress = {});

FileFormat formatForPath(const QString &path); // .csv/.txt: CSV, else vCard
QByteArray exportBytes(const ContactRecords &records, FileFormat format, CsvEncoding encoding = CsvEncoding::Utf8);
// Refuses (throws ExchangeError) a path an export must not write: the
// contacts file, its journal files, a file in or of its backups folder
// (compared by identity, so links and `..` are caught), anything but a
// regular file, and an existing file that does not read as text (a SQLite
// or SQLCipher file, a document of another program): an existing file is
// replaced only when it is empty or plain text, as vCard and CSV files are.
// contactsFile may be empty (then only the last two rules hold).
void checkExportTarget(const QString &path, const QString &contactsFile);

// Writes through a temporary file renamed into place: a failed export leaves
// an existing file as it was. Checks the path first (checkExportTarget).
// Throws ExchangeError.
void exportFile(const QString &path, const ContactRecords &records, FileFormat format,
    CsvEncoding encoding = CsvEncoding::Utf8, const QString &contactsFile = QString());
// The same for every contact of the table, streamed from its rows into the
// file a piece at a time (the same bytes as exportFile of all()). Returns
// the count written.
std::size_t exportTable(const QString &path, const store::ContactTable &table, FileFormat format,
    CsvEncoding encoding = CsvEncoding::Utf8, const QString &contactsFile = QString());

enum class Transfer { Import, Export };

// The one wording of a failed import or export, which the window and the tool
// both show: the cause (an ExchangeError's own sentence, any other error's
// text with the error report's full stop) and, on a line of its own, what
// the failure left: no contact imported, or no file written.
QString describeFailure(Transfer transfer, const std::exception &error);

// The texts of this library are English; the window always speaks Chinese
// and the tool does on a Chinese locale. Installs the Chinese catalogue of
// these texts for the application (the one carried in the library); false
// when it cannot be loaded.
bool installChineseTexts();

// The rules one by one, for the readers and the tests. A number is
// mobile-shaped when, without spaces, dashes and brackets and a leading +86,
// 0086 or 86, it is 11 digits starting with 1; only then is it rewritten.
QString normalizedMobile(const QString &mobile);
// 男 or 女 for the usual spellings (M, F, male, female), else as it stands.
QString normalizedSex(const QString &sex);

} // namespace exchange
