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

struct SkippedRecord {
    int line = 0;
    QString name;
    QString reason;
};

struct ImportSummary {
    int imported = 0;
    std::vector<SkippedRecord> skipped;
    QString summaryLine() const; // "导入 N 条，跳过 M 条"
    QStringList skippedLines() const; // "第 L 行 name：reason"
};

// Called now and then with the records done so far; returning false cancels.
using Progress = std::function<bool(int done, int total)>;

// Reads a vCard or CSV file (told apart by its content). Throws ExchangeError.
ContactRecords readContactsFile(const QString &path);

// Applies the editor's rules to each record (trimmed, required name at most
// 11 code-page-936 bytes, mobile and QQ at most 11 bytes, no name twice) and
// stores the accepted ones in one transaction: either all of them or none.
// Names are checked against the stored ones under the write lock, so two
// imports at once store a name once. With dryRun nothing is written. Throws ExchangeError (refused or
// cancelled) or the data layer's error; the stored contacts are then as they
// were.
ImportSummary importContacts(
    store::ContactTable &table, ContactRecords records, bool dryRun, const Progress &progress = {});
ImportSummary importFile(store::ContactTable &table, const QString &path, bool dryRun, const Progress &progress = {});

FileFormat formatForPath(const QString &path); // .csv/.txt: CSV, else vCard
QByteArray exportBytes(const ContactRecords &records, FileFormat format, CsvEncoding encoding = CsvEncoding::Utf8);
// Writes through a temporary file renamed into place: a failed export leaves
// an existing file as it was. Throws ExchangeError.
void exportFile(
    const QString &path, const ContactRecords &records, FileFormat format, CsvEncoding encoding = CsvEncoding::Utf8);

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

// The rules one by one, for the readers and the tests.
QString normalizedMobile(const QString &mobile);
QString normalizedSex(const QString &sex);

} // namespace exchange
