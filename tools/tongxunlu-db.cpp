// The database tool: makes the contacts file the program opens, sets its
// owner's password, moves contacts in and out of it as vCard or CSV, and
// keeps backups of it.
// Its texts are English; on a Chinese locale they are shown in Chinese.
#include "exchange/Exchange.h"
#include "platform/data/Connection.h"
#include "platform/data/DataError.h"
#include "platform/os/PrivateFiles.h"
#include "platform/os/Terminal.h"
#include "platform/text/Cp936.h"
#include "store/Backups.h"
#include "store/ContactFile.h"
#include "store/ContactTable.h"
#include "store/samples/Samples.h"
#include "sync/DavClient.h"
#include "tools/SyncCommands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTextStream>
#include <QTranslator>

#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <vector>

namespace {

ContactFile::PasswordPrompt passwordPrompt(bool fromStdin, const QString &question);

const QString kProgram = QStringLiteral("tongxunlu-db");

// Exit statuses, as scripts rely on them.
constexpr int kDone = 0;
constexpr int kRefused = 1;
constexpr int kBadUsage = 2;

class Tool {
    Q_DECLARE_TR_FUNCTIONS(Tool)

public:
    Tool(QTextStream &out, QTextStream &err)
        : m_out(out)
        , m_err(err)
    {
    }

    int run(QStringList args);

private:
    int generalHelp(QTextStream &to, int status);
    int syncSetup(const QStringList &args);
    int sync(const QStringList &args);
    synccommands::OpenFile syncOpener(bool backUp);
    int create(const QStringList &args);
    int passwd(const QStringList &args);
    int import(const QStringList &args);
    int exportContacts(const QStringList &args);
    int backup(const QStringList &args);
    int backups(const QStringList &args);
    int restore(const QStringList &args);

    // The parts every command's parser shares: the help option and how a
    // parse ends. Returns -1 to go on, else the exit status.
    void addHelp(QCommandLineParser &parser);
    int parse(QCommandLineParser &parser, const QString &command, const QStringList &args, int minPositional,
        int maxPositional);
    int badUsage(const QString &command, const QString &message);
    QString helpText(const QCommandLineParser &parser, const QString &command) const;

    int fail(const QString &message);
    int failed(exchange::Transfer transfer, const std::exception &error);
    void openContactsFile(txl::Connection &connection, const QString &dir, bool fromStdin);
    void openFile(txl::Connection &connection, const QString &path, bool fromStdin, const QString &question);
    // The backup before a bulk change: empty, or why it was not made.
    QString backUpFirst(txl::Connection &open, QTextStream &to);
    bool confirmWeakPassword(const QString &password, bool fromStdin, bool accepted);

    QTextStream &m_out;
    QTextStream &m_err;
};

QString nativeContactsPath(const QString &dir)
{
    return QDir::toNativeSeparators(ContactFile::pathIn(dir));
}

// Breaks the lines of a description the parser shows as they are: at a space
// before the width, or between two wide (Chinese) characters, which count
// two columns. Indented lines (commands to type) are kept whole.
QString wrapped(const QString &text, int width = 79)
{
    QStringList lines;
    for (const QString &paragraph : text.split(QLatin1Char('\n'))) {
        if (paragraph.startsWith(QLatin1Char(' '))) {
            lines.append(paragraph);
            continue;
        }
        QString line;
        int columns = 0;
        int breakAt = -1; // where the line may be cut: after a space or before a wide character
        for (const QChar c : paragraph) {
            const bool wide = c.unicode() >= 0x2E80;
            // No line starts with a closing mark such as "、" or "。".
            if ((wide && !c.isPunct()) || c == u' ')
                breakAt = wide ? int(line.size()) : int(line.size()) + 1;
            line += c;
            columns += wide ? 2 : 1;
            if (columns > width && breakAt > 0) {
                lines.append(line.left(breakAt).trimmed());
                line = line.mid(breakAt);
                columns = 0;
                for (const QChar k : line)
                    columns += k.unicode() >= 0x2E80 ? 2 : 1;
                breakAt = -1;
            }
        }
        lines.append(line);
    }
    return lines.join(QLatin1Char('\n'));
}

void Tool::addHelp(QCommandLineParser &parser)
{
    parser.addOption(
        QCommandLineOption({ QStringLiteral("h"), QStringLiteral("help") }, tr("Show this help and exit.")));
}

// The parser names the program by the path it was started as; the help
// names it and the command as a user types them.
QString Tool::helpText(const QCommandLineParser &parser, const QString &command) const
{
    QString text = parser.helpText();
    const QString started = QCoreApplication::arguments().constFirst();
    const int at = text.indexOf(started);
    if (at >= 0)
        text.replace(at, started.size(), command.isEmpty() ? kProgram : kProgram + QLatin1Char(' ') + command);
    return text;
}

int Tool::badUsage(const QString &command, const QString &message)
{
    m_err << kProgram << ": " << message << '\n'
          << tr("Try '%1 --help'.").arg(command.isEmpty() ? kProgram : kProgram + QLatin1Char(' ') + command) << '\n';
    return kBadUsage;
}

int Tool::parse(
    QCommandLineParser &parser, const QString &command, const QStringList &args, int minPositional, int maxPositional)
{
    if (!parser.parse(QStringList { kProgram } + args))
        return badUsage(command, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        m_out << helpText(parser, command);
        return kDone;
    }
    const qsizetype given = parser.positionalArguments().size();
    if (given < minPositional)
        return badUsage(command, tr("Too few arguments."));
    if (given > maxPositional)
        return badUsage(command, tr("Unexpected argument '%1'.").arg(parser.positionalArguments().at(maxPositional)));
    return -1;
}

// A refusal, with the full stop the window's error report gives a text.
int Tool::fail(const QString &message)
{
    m_err << kProgram << ": " << txl::text::withFullStop(message) << '\n';
    return kRefused;
}

// A failed import or export reads as it does in the window.
int Tool::failed(exchange::Transfer transfer, const std::exception &error)
{
    m_err << kProgram << ": " << exchange::describeFailure(transfer, error) << '\n';
    return kRefused;
}

// Asks for the current password when the built-in one does not open the
// file: on the terminal without echo, three tries, or one line of standard
// input. Used by every command that opens an existing file.
ContactFile::PasswordPrompt passwordPrompt(bool fromStdin, const QString &question)
{
    return [fromStdin, question](int attempt, QString &password) {
        if (fromStdin)
            return attempt == 1 && txl::os::readLine(password);
        if (!txl::os::standardInputIsTerminal())
            return false;
        if (attempt > 1)
            std::fputs(qPrintable(Tool::tr("Wrong password.") + QLatin1Char('\n')), stderr);
        return txl::os::readLine(password, true, question);
    };
}

void Tool::openContactsFile(txl::Connection &connection, const QString &dir, bool fromStdin)
{
    openFile(connection, QDir(dir).absoluteFilePath(ContactFile::relativePath()), fromStdin,
        tr("Password of the contacts file: "));
}

void Tool::openFile(txl::Connection &connection, const QString &path, bool fromStdin, const QString &question)
{
    connection.setDatabaseFile(path);
    try {
        ContactFile::openAsking(connection, passwordPrompt(fromStdin, question));
    } catch (const txl::WrongKeyError &) {
        if (!fromStdin && !txl::os::standardInputIsTerminal())
            throw txl::DataError(tr("The file has a password of its own and there is no terminal to ask for it on; "
                                    "give it with --stdin"));
        throw txl::DataError(tr("Not a valid password"));
    }
}

QCommandLineOption stdinOption()
{
    return QCommandLineOption(QStringLiteral("stdin"),
        QCoreApplication::translate("Tool",
            "Read the passwords from standard input, one per line, instead of the terminal: the current one "
            "(only when needed; one try), then for passwd the new one twice."));
}

void addDirArgument(QCommandLineParser &parser)
{
    parser.addPositionalArgument(QStringLiteral("DIR"),
        QCoreApplication::translate("Tool",
            "The program's working folder (default: the current folder); the contacts file is "
            "DIR/DataBase/data_txl.mdb."),
        QStringLiteral("[DIR]"));
}

int Tool::create(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(wrapped(
        tr("Makes the password-protected contacts file with its table \"data\" and, with --sample N, N sample "
           "contacts (the same N gives the same contacts). It has the built-in password. An existing file is never "
           "touched: the tool refuses.")));
    addHelp(parser);
    const QCommandLineOption sampleOption(QStringLiteral("sample"),
        tr("Fill the new file with N sample contacts (0 to 10000000)."), QStringLiteral("N"), QStringLiteral("0"));
    parser.addOption(sampleOption);
    addDirArgument(parser);
    if (const int status = parse(parser, QStringLiteral("create"), args, 0, 1); status >= 0)
        return status;
    bool ok = false;
    const int sample = parser.value(sampleOption).toInt(&ok);
    if (!ok || sample < 0 || sample > 10000000)
        return badUsage(QStringLiteral("create"), tr("--sample takes a whole number from 0 to 10000000."));
    const QString dir = parser.positionalArguments().value(0, QStringLiteral("."));

    const QString path = nativeContactsPath(dir);
    if (QFileInfo::exists(path))
        return fail(tr("The file '%1' exists already; it is left as it is").arg(path));
    QElapsedTimer timer;
    timer.start();
    try {
        samples::createContactsFile(dir, sample);
    } catch (const std::exception &e) {
        return fail(QString::fromUtf8(e.what()));
    }
    m_out << tr("Made %1 with %2 contacts in %3 ms.").arg(path).arg(sample).arg(timer.elapsed()) << '\n'
          << tr("It has the built-in password: anyone who has the file can read it. Give it your own with: "
                "tongxunlu-db passwd %1")
                 .arg(QDir::toNativeSeparators(QDir(dir).absolutePath()))
          << '\n';
    return kDone;
}

int Tool::passwd(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(wrapped(
        tr("Gives the contacts file a password of its owner's own. The tool asks for the current password (only when "
           "the built-in one does not open the file), then for the new one twice; nothing typed is shown. An empty "
           "new password, or two that differ, change nothing. The change is made in one transaction: if it is "
           "interrupted, even by a crash, the file opens with the old password or the new one. The program then asks "
           "for the password when it starts. A file with the built-in password is readable by anyone who has it: run "
           "passwd after the first start. The file is made readable by its owner only (0600).")));
    addHelp(parser);
    const QCommandLineOption fromStdinOption = stdinOption();
    const QCommandLineOption resetOption(QStringLiteral("reset"), tr("Give the file the built-in password again."));
    const QCommandLineOption acceptWeakOption(QStringLiteral("accept-weak"),
        tr("With --stdin: take a password of fewer than 8 characters or of digits only (on a terminal the tool "
           "asks instead)."));
    parser.addOptions({ fromStdinOption, resetOption, acceptWeakOption });
    addDirArgument(parser);
    if (const int status = parse(parser, QStringLiteral("passwd"), args, 0, 1); status >= 0)
        return status;
    const bool fromStdin = parser.isSet(fromStdinOption);
    const bool reset = parser.isSet(resetOption);
    const bool acceptWeak = parser.isSet(acceptWeakOption);
    const QString dir = parser.positionalArguments().value(0, QStringLiteral("."));

    const store::FileInUse inUse(nativeContactsPath(dir), store::FileInUse::Mode::Shared);
    txl::Connection connection;
    QString newPassword;
    try {
        openContactsFile(connection, dir, fromStdin);
        if (reset) {
            newPassword = ContactFile::password();
        } else {
            if (!fromStdin && !txl::os::standardInputIsTerminal())
                throw txl::DataError(tr("There is no terminal to ask for the new password on; give it with --stdin"));
            QString again;
            const bool gotNew = txl::os::readLine(newPassword, true, tr("New password: "));
            const bool gotAgain = gotNew && txl::os::readLine(again, true, tr("The new password again: "));
            const bool same = newPassword == again;
            ContactFile::wipe(again);
            if (!gotNew || !gotAgain)
                throw txl::DataError(tr("The new password was not given twice; nothing was changed"));
            if (newPassword.isEmpty())
                throw txl::DataError(tr("The new password is empty; nothing was changed"));
            if (!same)
                throw txl::DataError(tr("The two new passwords differ; nothing was changed"));
            if (!confirmWeakPassword(newPassword, fromStdin, acceptWeak))
                throw txl::DataError(tr("The new password was not confirmed; nothing was changed"));
        }
        if (const QString why = backUpFirst(connection, m_out); !why.isEmpty())
            throw txl::DataError(tr("%1; the password was not changed").arg(why));
        connection.rekey(newPassword);
        ContactFile::wipe(newPassword);
        // Made before files were private, or copied in: owner-only now.
        const QString file = nativeContactsPath(dir);
        for (const QString &path : { file, QFileInfo(file).path() })
            if (!txl::os::restrictToOwner(path))
                m_err << "tongxunlu-db: " << tr("could not make %1 readable by its owner only.").arg(path) << '\n';
    } catch (const std::exception &e) {
        ContactFile::wipe(newPassword);
        return fail(QString::fromUtf8(e.what()));
    }
    connection.close();
    const QString path = nativeContactsPath(dir);
    if (reset)
        m_out << tr("%1 has the built-in password again: anyone who has the file can read it.").arg(path) << '\n';
    else
        m_out << tr("Changed the password of %1.").arg(path) << '\n';
    return kDone;
}

int Tool::import(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(wrapped(
        tr("Adds the contacts of a vCard (2.1, 3.0, 4.0) or CSV file, told apart by the content. Chinese text in "
           "UTF-8, UTF-16, GBK/GB18030, GB2312, Big5 or UTF-7 (as the file declares or as found) is read. Records "
           "without a name, with a name already stored or given twice, with a name longer than 11 bytes or with a "
           "control character (other than tab) are skipped, each with its line and reason; a mobile or QQ longer "
           "than 11 bytes is left out of its contact and listed. Only regular files are read. All accepted contacts "
           "are stored in one transaction: on any error nothing is stored.")));
    addHelp(parser);
    const QCommandLineOption fromStdinOption = stdinOption();
    const QCommandLineOption dryRunOption(
        QStringLiteral("dry-run"), tr("Report what the import would do without writing."));
    parser.addOptions({ fromStdinOption, dryRunOption });
    parser.addPositionalArgument(QStringLiteral("FILE"), tr("The vCard or CSV file to read."));
    addDirArgument(parser);
    if (const int status = parse(parser, QStringLiteral("import"), args, 1, 2); status >= 0)
        return status;
    const bool fromStdin = parser.isSet(fromStdinOption);
    const bool dryRun = parser.isSet(dryRunOption);
    const QString file = parser.positionalArguments().at(0);
    const QString dir = parser.positionalArguments().value(1, QStringLiteral("."));

    QElapsedTimer timer;
    timer.start();
    exchange::ImportSummary summary;
    try {
        // The file is read and its shape checked first (a file that cannot
        // be read whole is reported before the contacts file is opened or
        // backed up), then its records go one at a time through the rules
        // into the one transaction.
        const QByteArray bytes = exchange::readContactsBytes(file);
        exchange::checkContacts(bytes);
        const store::FileInUse inUse(nativeContactsPath(dir), store::FileInUse::Mode::Shared);
        txl::Connection connection;
        openContactsFile(connection, dir, fromStdin);
        if (const QString why = dryRun ? QString() : backUpFirst(connection, m_err); !why.isEmpty())
            return fail(why + QStringLiteral("；没有导入任何联系人。"));
        store::ContactTable table(connection);
        summary = exchange::importBytes(table, bytes, dryRun);
    } catch (const std::exception &e) {
        return failed(exchange::Transfer::Import, e);
    }
    if (dryRun)
        m_out << tr("Dry run, nothing was written:") << '\n';
    m_out << summary.summaryLine() << '\n';
    for (const QString &line : summary.detailLines())
        m_out << line << '\n';
    m_err << tr("(%1 ms)").arg(timer.elapsed()) << '\n';
    return kDone;
}

int Tool::exportContacts(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(wrapped(
        tr("Writes every contact as vCard 3.0 (UTF-8) or as CSV with a Chinese header row (UTF-8 with a byte-order "
           "mark, or GBK with --encoding gbk). The format defaults to CSV for a .csv or .txt FILE, else vCard.")));
    addHelp(parser);
    const QCommandLineOption fromStdinOption = stdinOption();
    const QCommandLineOption formatOption(
        QStringLiteral("format"), tr("The format of the file: vcard or csv."), QStringLiteral("vcard|csv"));
    const QCommandLineOption encodingOption(QStringLiteral("encoding"),
        tr("The encoding of a CSV file: utf-8 (the default) or gbk."), QStringLiteral("utf-8|gbk"));
    parser.addOptions({ fromStdinOption, formatOption, encodingOption });
    parser.addPositionalArgument(QStringLiteral("FILE"),
        tr("The file to write; an existing one is replaced whole, only when it is empty or text and never the contacts "
           "file or a backup of it."));
    addDirArgument(parser);
    const QString command = QStringLiteral("export");
    if (const int status = parse(parser, command, args, 1, 2); status >= 0)
        return status;
    const bool fromStdin = parser.isSet(fromStdinOption);
    const QString file = parser.positionalArguments().at(0);
    const QString dir = parser.positionalArguments().value(1, QStringLiteral("."));

    exchange::FileFormat fileFormat = exchange::formatForPath(file);
    if (parser.isSet(formatOption)) {
        const QString format = parser.value(formatOption).toLower();
        if (format == u"vcard")
            fileFormat = exchange::FileFormat::VCard;
        else if (format == u"csv")
            fileFormat = exchange::FileFormat::Csv;
        else
            return badUsage(command, tr("--format takes vcard or csv."));
    }
    exchange::CsvEncoding encoding = exchange::CsvEncoding::Utf8;
    if (parser.isSet(encodingOption)) {
        const QString e = parser.value(encodingOption).toLower();
        if (e == u"gbk")
            encoding = exchange::CsvEncoding::Gbk;
        else if (e != u"utf-8" && e != u"utf8")
            return badUsage(command, tr("--encoding takes utf-8 or gbk."));
    }
    if (fileFormat == exchange::FileFormat::VCard && encoding == exchange::CsvEncoding::Gbk)
        return fail(tr("vCard files are always written in UTF-8; --encoding gbk is for CSV only."));

    QElapsedTimer timer;
    timer.start();
    try {
        txl::Connection connection;
        openContactsFile(connection, dir, fromStdin);
        const std::size_t count = exchange::exportTable(
            file, store::ContactTable(connection), fileFormat, encoding, connection.databaseFile());
        m_out << tr("Exported %1 contacts to %2")
                     .arg(count)
                     .arg(QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()))
              << '\n';
    } catch (const std::exception &e) {
        return failed(exchange::Transfer::Export, e);
    }
    m_err << tr("(%1 ms)").arg(timer.elapsed()) << '\n';
    return kDone;
}

// The file allows about this many password guesses a second on one
// processor core (its key derivation: PBKDF2 with 64,000 rounds); a guesser
// with a few cores goes that many times faster.
constexpr double kGuessesPerCoreSecond = 32;
constexpr int kGuesserCores = 8;

// Counted units in whole numbers: "1 hour", "9 hours".
QString roughDuration(double seconds)
{
    const auto count = [](double n, const QString &one, const QString &many) {
        const long whole = std::lround(n);
        return whole == 1 ? one : many.arg(whole);
    };
    if (seconds < 120)
        return count(std::ceil(seconds), Tool::tr("1 second"), Tool::tr("%1 seconds"));
    if (seconds < 2 * 3600)
        return count(seconds / 60, Tool::tr("1 minute"), Tool::tr("%1 minutes"));
    if (seconds < 2 * 86400)
        return count(seconds / 3600, Tool::tr("1 hour"), Tool::tr("%1 hours"));
    if (seconds < 2 * 365 * 86400.0)
        return count(seconds / 86400, Tool::tr("1 day"), Tool::tr("%1 days"));
    const double years = seconds / (365.25 * 86400);
    if (years > 1e6)
        return Tool::tr("more than a million years");
    return count(years, Tool::tr("1 year"), Tool::tr("%1 years"));
}

// Empty for a password of 8 characters or more that is not all digits; else
// how fast all passwords of its kind are tried.
QString weakPasswordWarning(const QString &password)
{
    bool digitsOnly = !password.isEmpty();
    bool lower = false, upper = false, digit = false, other = false, wide = false;
    for (const QChar c : password) {
        const char16_t u = c.unicode();
        const bool isDigit = u >= u'0' && u <= u'9';
        digitsOnly = digitsOnly && isDigit;
        digit = digit || isDigit;
        lower = lower || (u >= u'a' && u <= u'z');
        upper = upper || (u >= u'A' && u <= u'Z');
        wide = wide || u > 0x7f;
        other = other || (u <= 0x7f && !c.isLetterOrNumber());
    }
    if (!digitsOnly && password.size() >= 8)
        return QString();
    // The choices a guesser tries for each character of such a password
    // (common Chinese characters counted as 3,500).
    const double alphabet = digitsOnly
        ? 10
        : (lower ? 26 : 0) + (upper ? 26 : 0) + (digit ? 10 : 0) + (other ? 33 : 0) + (wide ? 3500 : 0);
    const double tries = std::pow(alphabet, double(password.size()));
    const double oneCore = tries / kGuessesPerCoreSecond;
    return Tool::tr("Warning: this password is %1. The file allows about %2 guesses a second per processor core, so "
                    "all %3 passwords of this kind are tried in about %4 on one core, %5 on a computer with %6 "
                    "cores. A longer password of letters and digits holds out far longer.")
        .arg(digitsOnly ? Tool::tr("of digits only") : Tool::tr("of fewer than 8 characters"))
        .arg(kGuessesPerCoreSecond)
        .arg(tries < 1e15 ? QString::number(tries, 'f', 0) : QString::number(tries, 'g', 3))
        .arg(roughDuration(oneCore), roughDuration(oneCore / kGuesserCores))
        .arg(kGuesserCores);
}

bool Tool::confirmWeakPassword(const QString &password, bool fromStdin, bool accepted)
{
    const QString warning = weakPasswordWarning(password);
    if (warning.isEmpty() || accepted)
        return true;
    m_err << wrapped(warning) << '\n';
    m_err.flush();
    if (fromStdin || !txl::os::standardInputIsTerminal()) {
        m_err << tr("Give --accept-weak to use it anyway.") << '\n';
        return false;
    }
    QString answer;
    const bool got = txl::os::readLine(answer, false, tr("Use it anyway? Type yes to confirm: "));
    return got && answer.trimmed().toLower() == tr("yes");
}

QString Tool::backUpFirst(txl::Connection &open, QTextStream &to)
{
    try {
        const QString made = store::Backups::beforeChange(open);
        to << tr("Backed up the contacts file as %1.").arg(QDir::toNativeSeparators(made)) << '\n';
        return QString();
    } catch (const std::exception &e) {
        return tr("Could not back up the contacts file first: %1").arg(QString::fromUtf8(e.what()));
    }
}

QString sizeText(qint64 bytes)
{
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(QString::number(double(bytes) / 1024, 'f', 1));
    return QStringLiteral("%1 MB").arg(QString::number(double(bytes) / (1024 * 1024), 'f', 1));
}

int Tool::backup(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(wrapped(
        tr("Copies the contacts file into DIR/DataBase/backups/ as data_txl-YYYY-MM-DD-HHMMSS.mdb (local time): the "
           "same bytes, so the same password opens it. The copy is synced to disk and read back whole (PRAGMA "
           "quick_check) before it is named; files are readable by their owner only. The newest 10 are kept. The "
           "tool and the program also make one by themselves before an import, a password change and a restore.")));
    addHelp(parser);
    const QCommandLineOption fromStdinOption = stdinOption();
    const QCommandLineOption keepOption(QStringLiteral("keep"),
        tr("Keep the newest N backups from now on (1 to %1; kept in DataBase/backups/keep, for the program too).")
            .arg(store::Backups::kMaxKeep),
        QStringLiteral("N"));
    parser.addOptions({ fromStdinOption, keepOption });
    addDirArgument(parser);
    const QString command = QStringLiteral("backup");
    if (const int status = parse(parser, command, args, 0, 1); status >= 0)
        return status;
    int keep = 0;
    if (parser.isSet(keepOption)) {
        bool ok = false;
        keep = parser.value(keepOption).toInt(&ok);
        if (!ok || keep < 1 || keep > store::Backups::kMaxKeep)
            return badUsage(command, tr("--keep takes a whole number from 1 to %1.").arg(store::Backups::kMaxKeep));
    }
    const QString file = nativeContactsPath(parser.positionalArguments().value(0, QStringLiteral(".")));
    const store::FileInUse inUse(file, store::FileInUse::Mode::Shared);
    try {
        txl::Connection connection;
        openFile(connection, file, parser.isSet(fromStdinOption), tr("Password of the contacts file: "));
        if (keep > 0)
            store::Backups::setKeepCount(file, keep);
        const QString made = store::Backups::beforeChange(connection);
        m_out << tr("Made the backup %1 (%2).").arg(QDir::toNativeSeparators(made), sizeText(QFileInfo(made).size()))
              << '\n';
    } catch (const std::exception &e) {
        return fail(tr("No backup was made: %1").arg(QString::fromUtf8(e.what())));
    }
    return kDone;
}

int Tool::backups(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(wrapped(
        tr("Lists the backups in DIR/DataBase/backups/, oldest first: date and time, contacts, size and name. Backups "
           "under the contacts file's password or the built-in one are counted; others show \"?\".")));
    addHelp(parser);
    const QCommandLineOption fromStdinOption = stdinOption();
    parser.addOption(fromStdinOption);
    addDirArgument(parser);
    if (const int status = parse(parser, QStringLiteral("backups"), args, 0, 1); status >= 0)
        return status;
    const QString file = nativeContactsPath(parser.positionalArguments().value(0, QStringLiteral(".")));
    // With the current file open, backups under its password are counted too.
    txl::Connection current;
    bool open = false;
    if (QFileInfo::exists(file)) {
        try {
            openFile(current, file, parser.isSet(fromStdinOption), tr("Password of the contacts file: "));
            open = true;
        } catch (const std::exception &e) {
            m_err << txl::text::withFullStop(
                tr("The contacts file does not open (%1); backups are counted with the built-in "
                   "password")
                    .arg(QString::fromUtf8(e.what())))
                  << '\n';
        }
    }
    const std::vector<store::Backups::Entry> entries = store::Backups::list(file, open ? &current : nullptr);
    const QString folder = QDir::toNativeSeparators(store::Backups::folderOf(file));
    if (entries.empty()) {
        m_out << tr("No backups in %1.").arg(folder) << '\n';
        return kDone;
    }
    m_out << tr("Backups in %1 (the newest %2 are kept):").arg(folder).arg(store::Backups::keepCount(file)) << '\n';
    for (const store::Backups::Entry &e : entries) {
        const QString count = e.contacts >= 0 ? QString::number(e.contacts) : QStringLiteral("?");
        m_out << e.made.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << "  " << count.rightJustified(8) << ' '
              << tr("contacts") << "  " << sizeText(e.bytes).rightJustified(10) << "  " << QFileInfo(e.path).fileName()
              << '\n';
    }
    return kDone;
}

int Tool::restore(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(wrapped(
        tr("Puts BACKUP (a path, or a name from \"tongxunlu-db backups\") in place of the contacts file, after "
           "backing the current file up. Refused while the program or another tongxunlu-db has the file open. At "
           "every moment, even under kill -9, the file is the old one or the backup, whole. With --stdin the lines "
           "are the backup's password, then the current file's, each only when the built-in password does not open "
           "the file.")));
    addHelp(parser);
    const QCommandLineOption fromStdinOption = stdinOption();
    parser.addOption(fromStdinOption);
    parser.addPositionalArgument(QStringLiteral("BACKUP"), tr("The backup to restore."));
    addDirArgument(parser);
    if (const int status = parse(parser, QStringLiteral("restore"), args, 1, 2); status >= 0)
        return status;
    const bool fromStdin = parser.isSet(fromStdinOption);
    const QString file = nativeContactsPath(parser.positionalArguments().value(1, QStringLiteral(".")));
    QString backupPath = parser.positionalArguments().at(0);
    // A bare name from the list is looked for in the backups folder.
    if (!QFileInfo::exists(backupPath) && !backupPath.contains(QLatin1Char('/')))
        backupPath = QDir(store::Backups::folderOf(file)).filePath(backupPath);
    backupPath = QDir::toNativeSeparators(QFileInfo(backupPath).absoluteFilePath());
    if (!QFileInfo(backupPath).isFile())
        return fail(tr("Could not find the backup '%1'; nothing was restored").arg(backupPath));
    if (QFileInfo(backupPath) == QFileInfo(file))
        return fail(tr("That is the contacts file itself; nothing was restored"));
    if (!QDir().mkpath(QFileInfo(file).absolutePath()))
        return fail(tr("Could not make the folder of '%1'; nothing was restored").arg(file));

    const store::FileInUse inUse(file, store::FileInUse::Mode::Exclusive);
    if (!inUse.held())
        return fail(tr("The contacts file is open in the program or in another tongxunlu-db; close it and try "
                       "again. Nothing was restored"));
    try {
        txl::Connection backup;
        openFile(backup, backupPath, fromStdin, tr("Password of the backup: "));
        store::Backups::restore(backup, file, [&] {
            if (!QFileInfo::exists(file))
                return;
            txl::Connection current;
            openFile(current, file, fromStdin, tr("Password of the contacts file: "));
            if (const QString why = backUpFirst(current, m_out); !why.isEmpty())
                throw txl::DataError(why);
        });
    } catch (const std::exception &e) {
        return fail(tr("Nothing was restored: %1").arg(QString::fromUtf8(e.what())));
    }
    m_out << tr("Restored %1 as %2.").arg(backupPath, file) << '\n';
    return kDone;
}

// The help without a command: what each command is for, and what they share.
int Tool::generalHelp(QTextStream &to, int status)
{
    QCommandLineParser parser;
    // A quote in the key is doubled, as the PRAGMA's string literal needs.
    QString key = ContactFile::password();
    key.replace(QLatin1Char('\''), QStringLiteral("''"));
    parser.setApplicationDescription(wrapped(tr(
        "Makes the contacts file of tongxunlu, sets its password, and moves contacts in and out of it as vCard or "
        "CSV.\n"
        "\n"
        "  tongxunlu-db create [--sample N] [DIR]\n"
        "  tongxunlu-db passwd [--stdin] [--reset] [--accept-weak] [DIR]\n"
        "  tongxunlu-db import [--stdin] [--dry-run] FILE [DIR]\n"
        "  tongxunlu-db export [--stdin] [--format vcard|csv] [--encoding utf-8|gbk] FILE [DIR]\n"
        "  tongxunlu-db backup [--stdin] [--keep N] [DIR]\n"
        "  tongxunlu-db backups [--stdin] [DIR]\n"
        "  tongxunlu-db restore [--stdin] BACKUP [DIR]\n"
        "  tongxunlu-db sync-setup [--stdin] [--insecure] [--book NAME] [--accept-fingerprint SHA256] URL USER [DIR]\n"
        "  tongxunlu-db sync [--stdin] [--insecure] [--dry-run] [--prefer local|server] [DIR]\n"
        "\n"
        "create     makes the contacts file (with sample contacts if asked)\n"
        "passwd     sets the owner's password of the contacts file, or the built-in one\n"
        "import     adds the contacts of a vCard or CSV file\n"
        "export     writes every contact to a vCard or CSV file\n"
        "backup     copies the contacts file into DIR/DataBase/backups/\n"
        "backups    lists the backups\n"
        "restore    puts a backup in place of the contacts file\n"
        "sync-setup keeps a CardDAV account and address book in the contacts file\n"
        "sync       two-way sync with that address book\n"
        "\"tongxunlu-db COMMAND --help\" describes a command and its options.\n"
        "\n"
        "DIR is the program's working folder (default: the current folder); the contacts file is "
        "DIR/DataBase/data_txl.mdb.\n"
        "\n"
        "Every command that opens an existing file asks for its password on the terminal when the built-in one "
        "does not open it. With --stdin the passwords are read from standard input instead, one per line, for "
        "scripts. Passwords are never taken from the command line or the environment and never written anywhere "
        "but into the file's encryption. A file with the built-in password can be read by anyone who has the "
        "program; saved reports, PDF files and exported files are plain files.\n"
        "\n"
        "Exit status: 0 on success, 1 when refused (nothing changed) or when a sync leaves conflicts, 2 on bad "
        "usage.\n"
        "\n"
        "To read the file with the sqlcipher shell (the built-in password shown; use the file's own if it has "
        "one):\n"
        "  sqlcipher DIR/DataBase/data_txl.mdb \\\n"
        "    \"PRAGMA key='%1'; %2 select * from data;\"")
                                                 .arg(key, txl::Connection::cipherPragmas())));
    addHelp(parser);
    parser.addOption(QCommandLineOption(QStringLiteral("version"), tr("Show the version and exit.")));
    parser.addPositionalArgument(
        QStringLiteral("COMMAND"), tr("create, passwd, import, export, backup, backups, restore, sync-setup or sync."));
    to << helpText(parser, QString());
    return status;
}

QCommandLineOption syncStdinOption()
{
    return QCommandLineOption(QStringLiteral("stdin"),
        QCoreApplication::translate("Tool",
            "Read the passwords from standard input, one per line, instead of the terminal: the contacts file's "
            "(only when needed; one try), then the server's, which is then not kept in the secret store."));
}

QCommandLineOption insecureOption()
{
    return QCommandLineOption(QStringLiteral("insecure"),
        QCoreApplication::translate(
            "Tool", "Allow plain http:// to another computer than this one (the password then travels readable)."));
}

synccommands::OpenFile Tool::syncOpener(bool backUp)
{
    return [this, backUp](txl::Connection &c, const QString &dir, bool fromStdin) {
        openContactsFile(c, dir, fromStdin);
        // A sync changes contacts in bulk: the file is backed up first.
        if (backUp)
            store::Backups::beforeChange(c);
    };
}

int Tool::syncSetup(const QStringList &args)
{
    const QString command = QStringLiteral("sync-setup");
    QCommandLineParser parser;
    parser.setApplicationDescription(wrapped(
        tr("Finds USER's CardDAV address books from the server URL (the address book's own URL, the server's, or one "
           "whose /.well-known/carddav leads to it) and keeps the account in the contacts file. The server password "
           "is asked for and kept in the desktop's secret store when one runs; otherwise each sync asks for it. "
           "Certificates are checked against the system's store: a server whose certificate it does not trust is "
           "refused with the certificate's SHA-256 fingerprint, which the user may accept (typed \"yes\" on the "
           "terminal, or --accept-fingerprint); the accepted one is kept with the account, and another one later is "
           "refused again.")));
    addHelp(parser);
    const QCommandLineOption fromStdinOption = syncStdinOption();
    const QCommandLineOption plainOption = insecureOption();
    const QCommandLineOption bookOption(QStringLiteral("book"),
        tr("The address book to sync with, by name, when the server has several."), QStringLiteral("NAME"));
    const QCommandLineOption fingerprintOption(QStringLiteral("accept-fingerprint"),
        tr("Accept the server's certificate when its SHA-256 fingerprint is this one (hex, with or without colons)."),
        QStringLiteral("SHA256"));
    parser.addOptions({ fromStdinOption, plainOption, bookOption, fingerprintOption });
    parser.addPositionalArgument(QStringLiteral("URL"), tr("The CardDAV server or address book."));
    parser.addPositionalArgument(QStringLiteral("USER"), tr("The user name on the server."));
    addDirArgument(parser);
    if (const int status = parse(parser, command, args, 2, 3); status >= 0)
        return status;
    synccommands::SetupArgs setup;
    setup.url = QUrl::fromUserInput(parser.positionalArguments().at(0));
    setup.user = parser.positionalArguments().at(1);
    setup.dir = parser.positionalArguments().value(2, QStringLiteral("."));
    setup.fromStdin = parser.isSet(fromStdinOption);
    setup.insecure = parser.isSet(plainOption);
    setup.book = parser.value(bookOption);
    if (!setup.url.isValid() || setup.url.host().isEmpty())
        return badUsage(command, tr("'%1' is not a server address.").arg(parser.positionalArguments().at(0)));
    if (setup.user.isEmpty())
        return badUsage(command, tr("The user name is empty."));
    if (parser.isSet(fingerprintOption)) {
        setup.acceptFingerprint = carddav::normalFingerprint(parser.value(fingerprintOption));
        if (setup.acceptFingerprint.isEmpty())
            return badUsage(command, tr("--accept-fingerprint takes a SHA-256 fingerprint: 64 hex digits."));
    }
    return synccommands::setup(setup, m_out, m_err, syncOpener(false));
}

int Tool::sync(const QStringList &args)
{
    const QString command = QStringLiteral("sync");
    QCommandLineParser parser;
    parser.setApplicationDescription(wrapped(
        tr("Two-way sync with the address book sync-setup chose: changes on either side are carried to the other. "
           "Contacts changed on both sides, or deleted on one and changed on the other, are conflicts that keep both "
           "sides as they are, unless --prefer says which side wins. Prints one summary line, then one line per "
           "conflict or skipped card. The contacts file is backed up first. Exit status 1 when refused or when "
           "conflicts are left.")));
    addHelp(parser);
    const QCommandLineOption fromStdinOption = syncStdinOption();
    const QCommandLineOption plainOption = insecureOption();
    const QCommandLineOption dryRunOption(
        QStringLiteral("dry-run"), tr("Report what the sync would do without writing on either side."));
    const QCommandLineOption preferOption(QStringLiteral("prefer"),
        tr("Settle the conflicts: local keeps this file's contacts, server the server's."),
        QStringLiteral("local|server"));
    parser.addOptions({ fromStdinOption, plainOption, dryRunOption, preferOption });
    addDirArgument(parser);
    if (const int status = parse(parser, command, args, 0, 1); status >= 0)
        return status;
    synccommands::SyncArgs sync;
    sync.dir = parser.positionalArguments().value(0, QStringLiteral("."));
    sync.fromStdin = parser.isSet(fromStdinOption);
    sync.insecure = parser.isSet(plainOption);
    sync.options.dryRun = parser.isSet(dryRunOption);
    if (parser.isSet(preferOption)) {
        const QString side = parser.value(preferOption).toLower();
        if (side == u"local")
            sync.options.prefer = carddav::Prefer::Local;
        else if (side == u"server")
            sync.options.prefer = carddav::Prefer::Server;
        else
            return badUsage(command, tr("--prefer takes local or server."));
    }
    return synccommands::sync(sync, m_out, m_err, syncOpener(!sync.options.dryRun));
}

int Tool::run(QStringList args)
{
    if (args.isEmpty())
        return generalHelp(m_out, kBadUsage);
    const QString command = args.takeFirst();
    if (command == u"create")
        return create(args);
    if (command == u"passwd")
        return passwd(args);
    if (command == u"import")
        return import(args);
    if (command == u"export")
        return exportContacts(args);
    if (command == u"backup")
        return backup(args);
    if (command == u"backups")
        return backups(args);
    if (command == u"restore")
        return restore(args);
    if (command == u"sync-setup")
        return syncSetup(args);
    if (command == u"sync")
        return sync(args);
    if (command == u"--help" || command == u"-h")
        return args.isEmpty() ? generalHelp(m_out, kDone)
                              : badUsage(QString(), tr("Unexpected argument '%1'.").arg(args.first()));
    if (command == u"--version") {
        if (!args.isEmpty())
            return badUsage(QString(), tr("Unexpected argument '%1'.").arg(args.first()));
        m_out << kProgram << " " TXL_VERSION "\n";
        return kDone;
    }
    if (command.startsWith(u'-'))
        return badUsage(QString(), tr("Unknown option '%1'.").arg(command));
    return badUsage(QString(), tr("Unknown command '%1'.").arg(command));
}

// The tool's own texts and Qt's (the parser's headings) in Chinese when the
// user's language is Chinese; else the English they are written in.
std::vector<std::unique_ptr<QTranslator>> installTranslations()
{
    std::vector<std::unique_ptr<QTranslator>> installed;
    const QStringList languages = QLocale::system().uiLanguages();
    if (languages.isEmpty() || !languages.constFirst().startsWith(QLatin1String("zh")))
        return installed;
    const std::pair<QString, QString> catalogues[] = {
        { QStringLiteral("tongxunlu-db_zh_CN"), QStringLiteral(":/i18n") },
        { QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath) },
    };
    for (const auto &[name, dir] : catalogues) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(name, dir) && QCoreApplication::installTranslator(translator.get()))
            installed.push_back(std::move(translator));
    }
    exchange::installChineseTexts(); // the summaries and the import and export failures
    return installed;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const auto translations = installTranslations();
    QTextStream out(stdout);
    QTextStream err(stderr);
    return Tool(out, err).run(app.arguments().mid(1));
}
