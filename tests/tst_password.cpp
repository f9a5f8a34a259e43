// The owner's own password: changing it with the database tool, opening
// with it at start-up, and what never holds a copy of it.
#include "TestSupport.h"

#include "platform/data/Connection.h"
#include "platform/data/Query.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/PasswordBox.h"
#include "shell/Startup.h"
#include "shell/StartupPassword.h"
#include "shell/Unit_Main.h"
#include "store/ContactFile.h"
#include "store/Unit_Dm.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kOwn = QStringLiteral("通讯录Pa55-word");

QString toolPath()
{
    return qEnvironmentVariable("TXL_DB_TOOL");
}

struct ToolRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun runTool(const QStringList &args, const QString &input)
{
    ToolRun run;
    QProcess p;
    p.start(toolPath(), args);
    if (!p.waitForStarted(30000))
        return run;
    p.write(input.toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(120000);
    run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    return run;
}

// How the file opens: "builtin", the password that opened it, or "" when
// none of those given does. Reads every row, so half a file does not pass.
QString opensWith(const QString &path, const QStringList &passwords, int *rows = nullptr)
{
    {
        txl::Connection probe;
        probe.setDatabaseFile(path);
        probe.setPassword(ContactFile::password());
        try {
            probe.open();
            txl::Query q;
            q.setConnection(&probe);
            q.addSql(QStringLiteral("select * from data"));
            q.open();
            if (rows)
                *rows = q.recordCount();
            return QStringLiteral("builtin");
        } catch (const txl::WrongKeyError &) {
        }
    }
    for (const QString &pw : passwords) {
        txl::Connection c;
        c.setDatabaseFile(path);
        try {
            c.openWithPassword(pw);
        } catch (const txl::WrongKeyError &) {
            continue;
        }
        txl::Query q;
        q.setConnection(&c);
        q.addSql(QStringLiteral("select * from data"));
        q.open();
        if (rows)
            *rows = q.recordCount();
        return pw;
    }
    return QString();
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// Every file under the folder that holds the text, in UTF-8 or UTF-16.
QStringList filesHolding(const QString &dir, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    const QByteArray utf16(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    QStringList found;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = f.readAll();
            if (bytes.contains(utf8) || bytes.contains(utf16))
                found << f.fileName();
        }
    }
    return found;
}

// Gives the file the owner's password through the connection itself.
void setOwnPassword(const QString &path, const QString &password)
{
    txl::Connection c;
    c.setDatabaseFile(path);
    c.setPassword(ContactFile::password());
    c.rekey(password);
}

// Answers the password boxes that show, one answer per box: a text to type
// and OK, or an empty text for Cancel. Records each box's message.
class BoxAnswerer {
public:
    explicit BoxAnswerer(QStringList answers)
        : m_answers(std::move(answers))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(20);
    }
    QStringList messages;
    QList<bool> masked;
    QList<QPoint> offCentre;
    int forced = 0;

private:
    void poll()
    {
        auto *box = qobject_cast<txl::ui::PasswordBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box == m_last)
            return;
        m_last = box;
        messages << box->message();
        masked << (box->field()->echoMode() == QLineEdit::Password);
        if (QScreen *s = box->screen())
            offCentre << box->frameGeometry().center() - s->availableGeometry().center();
        if (m_answers.isEmpty()) {
            ++forced;
            box->reject();
            return;
        }
        const QString answer = m_answers.takeFirst();
        if (answer.isEmpty()) {
            box->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
            return;
        }
        box->field()->insert(answer); // as typed (key clicks take ASCII only)
        box->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    }

    QStringList m_answers;
    QTimer m_timer;
    QPointer<txl::ui::PasswordBox> m_last;
};

} // namespace

class TestPassword : public QObject {
    Q_OBJECT
private slots:
    void opensWithTheNewPasswordOnly();
    void onlyAnEncryptedFileIsAskedFor_data();
    void onlyAnEncryptedFileIsAskedFor();
    void triesAndCancel_data();
    void triesAndCancel();
    void passwordBox();
    void startUpAsksThenShowsTheList();
    void startUpGivenUp_data();
    void startUpGivenUp();
    void startUpSameWithTheKeyDerivedAhead_data();
    void startUpSameWithTheKeyDerivedAhead();
    void toolChangesAndResets();
    void toolMakesTheFilePrivate();
    void toolRefuses_data();
    void toolRefuses();
    void sqlcipherShellReadsTheNewKey();
    void noCopyLeftBehind();
};

void TestPassword::opensWithTheNewPasswordOnly()
{
    ContactsFixture fixture(40);
    const QStringList before = fixture.rows();
    setOwnPassword(fixture.databasePath(), kOwn);

    int rows = 0;
    QCOMPARE(opensWith(fixture.databasePath(), { QStringLiteral("wrong"), kOwn }, &rows), kOwn);
    QCOMPARE(rows, 40);
    txl::Connection builtin;
    builtin.setDatabaseFile(fixture.databasePath());
    builtin.setPassword(ContactFile::password());
    try {
        builtin.open();
        QFAIL("the built-in password still opens the file");
    } catch (const txl::WrongKeyError &e) {
        QCOMPARE(e.message(), QStringLiteral("Not a valid password"));
    }
    // Same cipher pages as before: whole 4 KiB pages.
    QCOMPARE(QFileInfo(fixture.databasePath()).size() % 4096, 0);

    // And back: every contact as it was.
    txl::Connection c;
    c.setDatabaseFile(fixture.databasePath());
    c.openWithPassword(kOwn);
    c.rekey(ContactFile::password());
    c.close();
    QCOMPARE(fixture.rows(), before);
}

void TestPassword::onlyAnEncryptedFileIsAskedFor_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QString>("error");
    QTest::newRow("built-in password") << u"builtin"_s << false << u""_s;
    QTest::newRow("own password") << u"own"_s << true << u""_s;
    QTest::newRow("missing file") << u"missing"_s << false << u"Could not find file"_s;
    QTest::newRow("a folder") << u"folder"_s << false << u"Could not find file"_s;
    QTest::newRow("empty file") << u"empty"_s << false << u"Unrecognized database format"_s;
    QTest::newRow("plain database") << u"plain"_s << false << u"Unrecognized database format"_s;
    QTest::newRow("odd-sized junk") << u"junk"_s << false << u"Unrecognized database format"_s;
}

void TestPassword::onlyAnEncryptedFileIsAskedFor()
{
    QFETCH(QString, kind);
    QFETCH(bool, asked);
    QFETCH(QString, error);
    ContactsFixture fixture(kind == QStringLiteral("builtin") || kind == QStringLiteral("own") ? 3 : -1);
    const QString path = fixture.databasePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (kind == QStringLiteral("own")) {
        setOwnPassword(path, kOwn);
    } else if (kind == QStringLiteral("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind != QStringLiteral("missing") && kind != QStringLiteral("builtin")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (kind == QStringLiteral("plain"))
            f.write(QByteArray("SQLite format 3\0", 16) + QByteArray(4096 - 16, '\0'));
        else if (kind == QStringLiteral("junk"))
            f.write(QByteArray(1000, 'x'));
    }

    txl::Connection c;
    c.setDatabaseFile(path);
    int calls = 0;
    QString thrown;
    try {
        ContactFile::openAsking(c, [&](int, QString &pw) {
            ++calls;
            pw = kOwn;
            return true;
        });
    } catch (const txl::DataError &e) {
        thrown = e.message();
        QVERIFY2(!dynamic_cast<const txl::WrongKeyError *>(&e), qPrintable(thrown));
    }
    QCOMPARE(calls, asked ? 1 : 0);
    if (error.isEmpty()) {
        QVERIFY2(thrown.isEmpty(), qPrintable(thrown));
        QVERIFY(c.isOpen());
    } else {
        QVERIFY2(thrown.startsWith(error), qPrintable(thrown));
        QVERIFY(!c.isOpen());
    }
}

void TestPassword::triesAndCancel_data()
{
    QTest::addColumn<QStringList>("answers"); // "" stands for Cancel
    QTest::addColumn<int>("asked");
    QTest::addColumn<bool>("opens");
    QTest::newRow("right first") << QStringList { kOwn } << 1 << true;
    QTest::newRow("right third") << QStringList { u"a"_s, u"b"_s, kOwn } << 3 << true;
    QTest::newRow("three wrong") << QStringList { u"a"_s, u"b"_s, u"c"_s, kOwn } << 3 << false;
    QTest::newRow("cancel") << QStringList { u""_s } << 1 << false;
    QTest::newRow("wrong, then cancel") << QStringList { u"a"_s, u""_s, kOwn } << 2 << false;
    QTest::newRow("the built-in typed") << QStringList { ContactFile::password(), kOwn } << 2 << true;
}

void TestPassword::triesAndCancel()
{
    QFETCH(QStringList, answers);
    QFETCH(int, asked);
    QFETCH(bool, opens);
    ContactsFixture fixture(5);
    setOwnPassword(fixture.databasePath(), kOwn);
    txl::Connection c;
    c.setDatabaseFile(fixture.databasePath());
    QList<int> attempts;
    bool wrongKey = false;
    try {
        ContactFile::openAsking(c, [&](int attempt, QString &pw) {
            attempts << attempt;
            pw = answers.value(attempt - 1);
            return !pw.isEmpty();
        });
    } catch (const txl::WrongKeyError &) {
        wrongKey = true;
    }
    QCOMPARE(attempts.size(), asked);
    for (int i = 0; i < attempts.size(); ++i)
        QCOMPARE(attempts.at(i), i + 1);
    QCOMPARE(c.isOpen(), opens);
    QCOMPARE(wrongKey, !opens);
}

void TestPassword::passwordBox()
{
    txl::ui::PasswordBox box(QStringLiteral("标题"), QStringLiteral("请输入通讯录密码："));
    QCOMPARE(box.prompt(), QStringLiteral("请输入通讯录密码："));
    QCOMPARE(box.windowTitle(), QStringLiteral("标题"));
    QCOMPARE(box.field()->echoMode(), QLineEdit::Password);
    QVERIFY(box.isModal());
    auto *buttons = box.findChild<QDialogButtonBox *>();
    QVERIFY(buttons);
    QCOMPARE(buttons->button(QDialogButtonBox::Ok)->text(), QStringLiteral("OK"));
    QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
    QVERIFY(!buttons->button(QDialogButtonBox::Ok)->isEnabled());
    QTest::keyClicks(box.field(), QStringLiteral("ab"));
    QVERIFY(buttons->button(QDialogButtonBox::Ok)->isEnabled());
    // What the field shows is the mask, never the characters.
    QVERIFY(!box.field()->displayText().contains(QLatin1Char('a')));
    QCOMPARE(box.takePassword(), QStringLiteral("ab"));
    QCOMPARE(box.field()->text(), QString());
    QVERIFY(!box.field()->isUndoAvailable());

    // Escape is Cancel, and what was typed does not stay in the field.
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::keyClicks(box.field(), QStringLiteral("xy"));
    QTest::keyClick(box.field(), Qt::Key_Escape);
    QCOMPARE(box.result(), int(QDialog::Rejected));
    QVERIFY(!box.isVisible());
    QCOMPARE(box.field()->text(), QString());
}

void TestPassword::startUpAsksThenShowsTheList()
{
    ContactsFixture fixture(25);
    const int colleagues = fixture.rows(QStringLiteral("组名 = '同事'")).size();
    setOwnPassword(fixture.databasePath(), kOwn);
    fixture.createDm();
    txl::ui::BoxRecorder recorder;
    {
        BoxAnswerer answerer({ QStringLiteral("wrong"), kOwn });
        Dm->unlock(askContactsPassword);
        QCOMPARE(answerer.messages, QStringList({ QString(), QStringLiteral("密码错误，请重新输入。") }));
        QCOMPARE(answerer.masked, QList<bool>({ true, true }));
        for (const QPoint &d : answerer.offCentre)
            QVERIFY2(qAbs(d.x()) <= 2 && qAbs(d.y()) <= 2, "the box is not centred");
        QCOMPARE(answerer.forced, 0);
    }
    Tfrm_Main window;
    QCOMPARE(recorder.texts(), QStringList());
    QCOMPARE(Dm->addquery->recordCount(), 25);
    QCOMPARE(window.DBGrid1->model()->rowCount(), 25);
    QVERIFY(!window.windowTitle().contains(kOwn));
    // Commands work as with the built-in password: a search, then the reload.
    Dm->addquery->close();
    Dm->addquery->clearSql();
    Dm->addquery->addSql(QStringLiteral("select * from data where 组名 = :p0"));
    Dm->addquery->setParam(QStringLiteral("p0"), QStringLiteral("同事"));
    Dm->addquery->open();
    QCOMPARE(Dm->addquery->recordCount(), colleagues);
}

void TestPassword::startUpGivenUp_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("boxes");
    QTest::newRow("cancel") << QStringList { u""_s } << 1;
    QTest::newRow("three wrong") << QStringList { u"a"_s, u"b"_s, u"c"_s } << 3;
}

void TestPassword::startUpGivenUp()
{
    QFETCH(QStringList, answers);
    QFETCH(int, boxes);
    ContactsFixture fixture(25);
    setOwnPassword(fixture.databasePath(), kOwn);
    fixture.createDm();
    txl::ui::BoxRecorder recorder;
    {
        BoxAnswerer answerer(answers);
        Dm->unlock(askContactsPassword);
        QCOMPARE(answerer.messages.size(), boxes);
        QCOMPARE(answerer.forced, 0);
    }
    // Today's failed start-up: the error report, a window with an empty list.
    Tfrm_Main window;
    QCOMPARE(recorder.texts(), QStringList { QStringLiteral("Not a valid password.") });
    QCOMPARE(recorder.boxes().first().kind, txl::ui::ShownBox::ErrorReport);
    QVERIFY(!Dm->addquery->isActive());
    QCOMPARE(window.DBGrid1->model()->rowCount(), 0);
    // The file is untouched by the failed tries.
    QCOMPARE(opensWith(fixture.databasePath(), { kOwn }), kOwn);
}

// The program's start-up as main takes it, once with the key derived in line
// and once with the open begun ahead on a worker: the same boxes and reports
// in the same order, the window shown with the same list.
void TestPassword::startUpSameWithTheKeyDerivedAhead_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("events"); // "%1": the file's path
    const QString shown = u"window shown after %1 reports, %2 contacts listed"_s;
    QTest::newRow("built-in password") << u"built-in"_s << QStringList() << QStringList { shown.arg(0).arg(25) };
    QTest::newRow("no file") << u"missing"_s << QStringList()
                             << QStringList { u"report: Could not find file '%1'."_s, shown.arg(1).arg(0) };
    QTest::newRow("locked file") << u"locked"_s << QStringList()
                                 << QStringList { u"report: Could not use '%1'; file already in use."_s,
                                        shown.arg(1).arg(0) };
    QTest::newRow("own password, typed wrong then right")
        << u"own"_s << QStringList { u"wrong"_s, kOwn }
        << QStringList { u"password box 1 after 0 reports"_s, u"password box 2 after 0 reports"_s,
               shown.arg(0).arg(25) };
    QTest::newRow("own password, cancelled")
        << u"own"_s << QStringList { u""_s }
        << QStringList { u"password box 1 after 0 reports"_s, u"report: Not a valid password."_s, shown.arg(1).arg(0) };
}

void TestPassword::startUpSameWithTheKeyDerivedAhead()
{
    QFETCH(QString, file);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, events);
    const int busyMs = 300;
    for (const bool ahead : { false, true }) {
        ContactsFixture fixture(file == u"missing"_s ? -1 : 25);
        if (file == u"own"_s)
            setOwnPassword(fixture.databasePath(), kOwn);
        txl::Connection holder;
        if (file == u"locked"_s) {
            holder.setDatabaseFile(fixture.databasePath());
            holder.setPassword(ContactFile::password());
            holder.executeScript(u"begin exclusive;"_s);
        }
        // As on main's first line, in the folder of the file.
        std::unique_ptr<txl::OpeningAhead> opening = ahead
            ? std::make_unique<txl::OpeningAhead>(ContactFile::relativePath(), ContactFile::password(), busyMs)
            : nullptr;
        txl::ui::BoxRecorder recorder;
        QStringList seen;
        struct ShowFilter : QObject {
            std::function<void()> shown;
            bool eventFilter(QObject *watched, QEvent *event) override
            {
                if (event->type() == QEvent::Show && frm_Main && watched == frm_Main)
                    shown();
                return false;
            }
        } filter;
        filter.shown = [&] {
            seen << u"window shown after %1 reports, %2 contacts listed"_s.arg(recorder.boxes().size())
                        .arg(frm_Main->DBGrid1->model()->rowCount());
        };
        qApp->installEventFilter(&filter);
        QVERIFY(startup::createDataModule(std::move(opening)));
        Dm->scon->setBusyTimeout(busyMs);
        {
            BoxAnswerer answerer(answers);
            startup::showMainWindow([&](int attempt, QString &password) {
                seen << u"password box %1 after %2 reports"_s.arg(attempt).arg(recorder.boxes().size());
                return askContactsPassword(attempt, password);
            });
            QCOMPARE(answerer.forced, 0);
        }
        qApp->removeEventFilter(&filter);
        // Reports are shown before the window; listed here in their order.
        QStringList reports;
        for (const QString &text : recorder.texts())
            reports << u"report: "_s + text;
        const int firstShown = int(seen.indexOf(QRegularExpression(u"window shown.*"_s)));
        QVERIFY2(firstShown >= 0, qPrintable(seen.join(u" / "_s)));
        for (int i = 0; i < reports.size(); ++i)
            seen.insert(firstShown + i, reports.at(i));
        QStringList expected;
        for (const QString &e : events)
            expected << (e.contains(u"%1"_s) ? e.arg(fixture.databasePath()) : e);
        QVERIFY2(seen == expected, qPrintable((ahead ? u"ahead: "_s : u"in line: "_s) + seen.join(u" / "_s)));
        QVERIFY(frm_Main->isVisible());
        delete frm_Main;
        delete Dm;
        if (file == u"locked"_s)
            holder.executeScript(u"commit;"_s);
    }
}

void TestPassword::toolChangesAndResets()
{
    if (toolPath().isEmpty())
        QSKIP("TXL_DB_TOOL not set");
    ContactsFixture fixture(30);
    const QStringList before = fixture.rows();
    const QString path = fixture.databasePath();
    const QString dir = fixture.dir();

    // From the built-in password: only the new one, twice.
    ToolRun run = runTool({ u"passwd"_s, u"--stdin"_s, dir }, kOwn + u"\n"_s + kOwn + u"\n"_s);
    QVERIFY2(run.status == 0, run.err.constData());
    QVERIFY(run.out.contains("Changed the password"));
    QCOMPARE(opensWith(path, { kOwn }), kOwn);

    // From the owner's to another: the current one first.
    const QString next = QStringLiteral("第二个 password");
    run = runTool({ u"passwd"_s, u"--stdin"_s, dir }, kOwn + u"\n"_s + next + u"\n"_s + next + u"\n"_s);
    QVERIFY2(run.status == 0, run.err.constData());
    QCOMPARE(opensWith(path, { kOwn, next }), next);

    // Back to the built-in one.
    run = runTool({ u"passwd"_s, u"--stdin"_s, u"--reset"_s, dir }, next + u"\n"_s);
    QVERIFY2(run.status == 0, run.err.constData());
    QVERIFY(run.out.contains("built-in password again"));
    QCOMPARE(opensWith(path, { kOwn, next }), QStringLiteral("builtin"));
    QCOMPARE(fixture.rows(), before);
}

void TestPassword::toolMakesTheFilePrivate()
{
    // A file made readable by all (an older version, a copy): passwd leaves
    // it, and its folder, to the owner alone, with either password.
    if (toolPath().isEmpty())
        QSKIP("TXL_DB_TOOL not set");
    useUsualUmask();
    for (const bool reset : { false, true }) {
        ContactsFixture fixture(3);
        const QString path = fixture.databasePath();
        const QString folder = QFileInfo(path).path();
        QVERIFY(
            QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ReadOther | QFileDevice::ReadGroup));
        QVERIFY(
            QFile::setPermissions(folder, QFile::permissions(folder) | QFileDevice::ReadOther | QFileDevice::ExeOther));
        QVERIFY(QFile::setPermissions(fixture.dir(), QFile::permissions(fixture.dir()) | QFileDevice::ReadOther));
        const QString workingFolder = permissionBits(fixture.dir());
        const ToolRun run = reset
            ? runTool({ u"passwd"_s, u"--stdin"_s, u"--reset"_s, fixture.dir() }, QString())
            : runTool({ u"passwd"_s, u"--stdin"_s, fixture.dir() }, kOwn + u"\n"_s + kOwn + u"\n"_s);
        QVERIFY2(run.status == 0, run.err.constData());
        QVERIFY2(run.err.isEmpty(), run.err.constData());
        QCOMPARE(permissionBits(path), QStringLiteral("600"));
        QCOMPARE(permissionBits(folder), QStringLiteral("700"));
        // The working folder is the user's: left as it was.
        QCOMPARE(permissionBits(fixture.dir()), workingFolder);
        if (reset)
            QVERIFY2(run.out.contains("anyone who has the file can read it"), run.out.constData());
    }
    // The help says so, and when to change it.
    const ToolRun help = runTool({ u"passwd"_s, u"--help"_s }, QString());
    const QString text = QString::fromUtf8(help.out).simplified();
    QVERIFY2(text.contains(u"A file with the built-in password is readable by anyone who has it: run passwd after the "
                           u"first start."_s),
        qPrintable(text));
}

void TestPassword::toolRefuses_data()
{
    QTest::addColumn<bool>("ownFirst");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty new") << false << u"\n\n"_s << "is empty";
    QTest::newRow("mismatch") << false << u"abc\nabd\n"_s << "differ";
    QTest::newRow("one line only") << false << u"abc\n"_s << "not given twice";
    QTest::newRow("no input") << false << u""_s << "not given twice";
    QTest::newRow("wrong current") << true << u"nope\nx\nx\n"_s << "Not a valid password";
    QTest::newRow("no current") << true << u""_s << "Not a valid password";
    QTest::newRow("mismatch after current") << true << (kOwn + u"\nx\ny\n"_s) << u"differ"_s;
}

void TestPassword::toolRefuses()
{
    if (toolPath().isEmpty())
        QSKIP("TXL_DB_TOOL not set");
    QFETCH(bool, ownFirst);
    QFETCH(QString, input);
    QFETCH(QString, message);
    ContactsFixture fixture(10);
    if (ownFirst)
        setOwnPassword(fixture.databasePath(), kOwn);
    const QByteArray hash = fileHash(fixture.databasePath());
    const ToolRun run = runTool({ u"passwd"_s, u"--stdin"_s, fixture.dir() }, input);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    QCOMPARE(fileHash(fixture.databasePath()), hash);
    QCOMPARE(opensWith(fixture.databasePath(), { kOwn }), ownFirst ? kOwn : QStringLiteral("builtin"));
}

void TestPassword::sqlcipherShellReadsTheNewKey()
{
    if (toolPath().isEmpty())
        QSKIP("TXL_DB_TOOL not set");
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlcipher"));
    if (shell.isEmpty())
        QSKIP("the sqlcipher shell is not installed");
    ContactsFixture fixture(12);
    const ToolRun run = runTool({ u"passwd"_s, u"--stdin"_s, fixture.dir() }, kOwn + u"\n"_s + kOwn + u"\n"_s);
    QVERIFY2(run.status == 0, run.err.constData());

    auto count = [&](const QString &key) {
        QProcess p;
        p.start(shell,
            { fixture.databasePath(),
                QStringLiteral("PRAGMA key='%1'; %2 select count(*) from data;")
                    .arg(key, txl::Connection::cipherPragmas()) });
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    };
    QCOMPARE(count(kOwn), QStringLiteral("12"));
    QVERIFY(count(ContactFile::password()) != QStringLiteral("12"));
}

void TestPassword::noCopyLeftBehind()
{
    ContactsFixture fixture(8);
    const QString secret = QStringLiteral("找不到的Secret-4711");
    if (!toolPath().isEmpty()) {
        const ToolRun run = runTool({ u"passwd"_s, u"--stdin"_s, fixture.dir() }, secret + u"\n"_s + secret + u"\n"_s);
        QVERIFY2(run.status == 0, run.err.constData());
        QVERIFY(!run.out.contains(secret.toUtf8()) && !run.err.contains(secret.toUtf8()));
    } else {
        setOwnPassword(fixture.databasePath(), secret);
    }
    fixture.createDm();
    txl::ui::BoxRecorder recorder;
    {
        BoxAnswerer answerer({ secret });
        Dm->unlock(askContactsPassword);
    }
    QVERIFY(Dm->scon->isOpen());
    Tfrm_Main window;
    window.show();
    QCOMPARE(Dm->addquery->recordCount(), 8);
    QVERIFY(!window.windowTitle().contains(secret));
    QVERIFY(!QApplication::applicationName().contains(secret));
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : env.keys())
        QVERIFY2(!env.value(name).contains(secret), qPrintable(name));
    QCOMPARE(filesHolding(fixture.dir(), secret), QStringList());
    QFile cmdline(QStringLiteral("/proc/self/cmdline"));
    QVERIFY(cmdline.open(QIODevice::ReadOnly));
    QVERIFY(!cmdline.readAll().contains(secret.toUtf8()));
}

QTEST_MAIN(TestPassword)
#include "tst_password.moc"
