// Sync from the main window against a real CardDAV server (Debian's
// radicale on a free port of this computer): the set-up dialog, "立即同步"
// with its password box, progress, Cancel and summary, and the grid after.
// A second client plays the phone, straight over HTTP.
#include "Phone.h"
#include "RadicaleServer.h"
#include "TestSupport.h"

#include "platform/data/Query.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/PasswordBox.h"
#include "shell/ContactExchange.h"
#include "shell/SyncWindow.h"
#include "shell/Unit_Main.h"
#include "store/Backups.h"
#include "store/ContactFile.h"
#include "store/SyncState.h"
#include "store/Unit_Dm.h"
#include "sync/CardDav.h"
#include "sync/CardText.h"
#include "sync/DavClient.h"

#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <algorithm>
#include <functional>
#include <memory>

using txl::ui::BoxRecorder;
using txl::ui::ShownBox;

namespace {

const QString user = QStringLiteral("alice");
const QString serverPassword = QStringLiteral("s3cret-电话");

// As an iPhone writes a card: 3.0, the mobile in an item group, a photo
// and fields the program does not keep.
const QByteArray phoneCard = "BEGIN:VCARD\r\n"
                             "VERSION:3.0\r\n"
                             "N:\xe7\x8e\x8b;\xe5\xb0\x8f\xe6\x98\x8e;;;\r\n" // 王 小明
                             "FN:\xe7\x8e\x8b\xe5\xb0\x8f\xe6\x98\x8e\r\n"
                             "item1.TEL;type=pref:138 0013 8000\r\n"
                             "item1.X-ABLabel:_$!<Mobile>!$_\r\n"
                             "EMAIL;type=INTERNET;type=HOME:wxm@example.com\r\n"
                             "NOTE:old friend\r\n"
                             "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAgGBgcGBQgHBwcJ\r\n"
                             "UID:phone-30\r\n"
                             "END:VCARD\r\n";
const QString wang = QStringLiteral("王小明");

QString counts(int up, int down, int deleted, int conflicts)
{
    return QStringLiteral("上传 %1 条，下载 %2 条，删除 %3 条，冲突 %4 条")
        .arg(up)
        .arg(down)
        .arg(deleted)
        .arg(conflicts);
}

// Acts on each modal dialog of type T once it is up, for as long as it
// lives: fills the password box, drives the set-up dialog.
template <typename T> class WhenShown {
public:
    explicit WhenShown(std::function<void(T *)> action)
        : m_action(std::move(action))
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
            // Marked, not remembered by address: the next dialog may be
            // made where the last one was.
            if (!dialog || !dialog->isVisible() || dialog->property("answeredByTest").toBool())
                return;
            dialog->setProperty("answeredByTest", true);
            ++shown;
            m_action(dialog);
        });
        m_timer.start();
    }
    int shown = 0;

private:
    std::function<void(T *)> m_action;
    QTimer m_timer;
};

// Answers every password box with the password for its prompt.
struct PasswordAnswer : WhenShown<txl::ui::PasswordBox> {
    explicit PasswordAnswer(const std::function<QString(const QString &prompt)> &password)
        : WhenShown([this, password](txl::ui::PasswordBox *box) {
            prompts << box->prompt();
            masked = box->field()->echoMode() == QLineEdit::Password;
            box->field()->setText(password(box->prompt()));
            box->accept();
        })
    {
    }
    explicit PasswordAnswer(const QString &password)
        : PasswordAnswer([password](const QString &) { return password; })
    {
    }
    QStringList prompts;
    bool masked = false;
};

// The sync's summary box, recorded instead of shown.
struct Summary {
    Summary()
    {
        ContactExchange::setSummaryViewerForTests([this](QDialog &box) {
            ++shown;
            caption = box.windowTitle();
            summary = box.findChild<QLabel *>(QStringLiteral("summaryLabel"))->text();
            details = box.findChild<QPlainTextEdit *>(QStringLiteral("detailsText"))->toPlainText();
        });
    }
    ~Summary() { ContactExchange::setSummaryViewerForTests({}); }
    int shown = 0;
    QString caption, summary, details;
};

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

class TestSyncWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void withoutAccountPointsToTheSetUp();
    void connectionTest_data();
    void connectionTest();
    void setUpStoresTheAccount();
    void setUpChoosesTheBookByName();
    void phoneCardComesIntoTheGrid();
    void windowContactGoesUp();
    void editOnBothSidesIsAConflict();
    void cancelMidSyncLeavesAConsistentFile();
    void wrongPasswordChangesNothing();
    void fileWithItsOwnPasswordAsksForIt();
    void untrustedCertificateAcceptedInTheDialog();

private:
    QUrl newBook(const QString &displayName = QStringLiteral("Contacts"));
    void phonePut(const QUrl &book, const QString &file, const QByteArray &card);
    QStringList serverCards(const QUrl &book);
    void setUpAccount(const QUrl &book);
    // "立即同步" with the password box answered; the boxes it showed.
    QList<ShownBox> syncNow(const QString &password = serverPassword, int *asked = nullptr);
    QStringList gridRows() const;
    int backupCount() const;

    RadicaleServer m_radicale;
    std::unique_ptr<Phone> m_phone;
    std::unique_ptr<ContactsFixture> m_fixture;
    std::unique_ptr<Tfrm_Main> m_window;
};

void TestSyncWindow::initTestCase()
{
    // No desktop secret store here: the password is asked each time.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QVERIFY2(m_radicale.start(user, serverPassword), qPrintable(m_radicale.error()));
    m_phone = std::make_unique<Phone>(user, serverPassword);
}

void TestSyncWindow::cleanupTestCase()
{
    m_phone.reset();
    m_radicale.stop();
}

void TestSyncWindow::init()
{
    m_fixture = std::make_unique<ContactsFixture>();
    m_fixture->exec(QStringLiteral("insert into data values('李四','女','','13900000000','','上海市','同事');"
                                   "insert into data values('王五','男','','13700000000','','广州市','朋友');"));
    m_fixture->createDm();
    m_window = std::make_unique<Tfrm_Main>();
    frm_Main = m_window.get();
}

void TestSyncWindow::cleanup()
{
    m_window.reset();
    m_fixture.reset();
}

QUrl TestSyncWindow::newBook(const QString &displayName)
{
    return m_phone->newBook(m_radicale.url(), displayName);
}

void TestSyncWindow::phonePut(const QUrl &book, const QString &file, const QByteArray &card)
{
    const carddav::DavReply reply = m_phone->put(book, file, card);
    QVERIFY2(reply.status == 201 || reply.status == 204, reply.body.constData());
}

QStringList TestSyncWindow::serverCards(const QUrl &book)
{
    return m_phone->cards(book);
}

void TestSyncWindow::setUpAccount(const QUrl &book)
{
    store::SyncState(*Dm->scon).setUp({ m_radicale.url().toString(), user, book.toString(), QString() });
}

QList<ShownBox> TestSyncWindow::syncNow(const QString &password, int *asked)
{
    BoxRecorder boxes;
    PasswordAnswer answer(password);
    m_window->NSyncNow->trigger();
    if (asked)
        *asked = answer.shown;
    return boxes.boxes();
}

// The grid as the window shows it: name, then mobile.
QStringList TestSyncWindow::gridRows() const
{
    QAbstractItemModel *model = m_window->DBGrid1->model();
    QStringList rows;
    for (int r = 0; r < model->rowCount(); ++r)
        rows << model->index(r, 0).data().toString() + u'|' + model->index(r, 3).data().toString();
    rows.sort();
    return rows;
}

int TestSyncWindow::backupCount() const
{
    return int(QDir(store::Backups::folderOf(m_fixture->databasePath()))
                   .entryList({ QStringLiteral("*.mdb") }, QDir::Files)
                   .size());
}

void TestSyncWindow::withoutAccountPointsToTheSetUp()
{
    int asked = 0;
    const QList<ShownBox> boxes = syncNow(serverPassword, &asked);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.constFirst().caption, QStringLiteral("立即同步"));
    QVERIFY2(boxes.constFirst().text.contains(QStringLiteral("“同步设置…”")), qPrintable(boxes.constFirst().text));
    QCOMPARE(asked, 0);
    QCOMPARE(backupCount(), 0);
}

void TestSyncWindow::connectionTest_data()
{
    QTest::addColumn<QString>("server"); // "book" and "root" stand for this test's server
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("said"); // in the result line
    QTest::addColumn<bool>("found");

    QTest::newRow("the address book's own URL")
        << "book" << serverPassword << "连接成功，找到通讯录 “试用通讯录”" << true;
    QTest::newRow("the server's URL, found by discovery") << "root" << serverPassword << "“试用通讯录”" << true;
    QTest::newRow("wrong password") << "root"
                                    << "wrong"
                                    << "401" << false;
    QTest::newRow("plain HTTP to another computer")
        << "http://dav.example.com/" << serverPassword << "只有本机的服务器可以用 http://" << false;
    QTest::newRow("not a web address") << "ftp://127.0.0.1/" << serverPassword << "不是 http:// 或 https:// 地址"
                                       << false;
    QTest::newRow("no server listening") << "down" << serverPassword << "无法连接服务器" << false;
    QTest::newRow("no password typed") << "book" << QString() << "请输入密码" << false;
}

void TestSyncWindow::connectionTest()
{
    QFETCH(QString, server);
    QFETCH(QString, password);
    QFETCH(QString, said);
    QFETCH(bool, found);
    const QUrl book = newBook(QStringLiteral("试用通讯录"));
    if (server == u"book") {
        server = book.toString();
    } else if (server == u"root") {
        server = m_radicale.url().toString();
    } else if (server == u"down") {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        server = QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort());
    }

    SyncSetupDialog dialog(m_window.get());
    dialog.serverEdit->setText(server);
    dialog.userEdit->setText(user);
    dialog.passwordEdit->setText(password);
    BoxRecorder boxes;
    dialog.testButton->click();
    QVERIFY2(dialog.resultLabel->text().contains(said), qPrintable(dialog.resultLabel->text()));
    QCOMPARE(dialog.bookCombo->findText(QStringLiteral("试用通讯录")) >= 0, found);
    QVERIFY(dialog.isEnabled());
    // The test writes nothing and shows no box of its own.
    QVERIFY(boxes.boxes().isEmpty());
    QVERIFY(!store::SyncState(*Dm->scon).isSetUp());
}

void TestSyncWindow::setUpStoresTheAccount()
{
    const QUrl book = newBook();
    BoxRecorder boxes;
    bool masked = false;
    QString prefilledServer, prefilledUser, prefilledPassword;
    WhenShown<SyncSetupDialog> fill([&](SyncSetupDialog *dialog) {
        if (!dialog->serverEdit->text().isEmpty()) {
            // The second time: the stored account, no password.
            prefilledServer = dialog->serverEdit->text();
            prefilledUser = dialog->userEdit->text();
            prefilledPassword = dialog->passwordEdit->text();
            dialog->reject();
            return;
        }
        masked = dialog->passwordEdit->echoMode() == QLineEdit::Password;
        QTest::keyClicks(dialog->serverEdit, book.toString());
        QTest::keyClicks(dialog->userEdit, user);
        dialog->passwordEdit->setText(serverPassword);
        // OK without a test first: it looks the book up itself.
        dialog->buttons->button(QDialogButtonBox::Ok)->click();
    });
    m_window->NSyncSetup->trigger();
    QCOMPARE(fill.shown, 1);
    QVERIFY(masked);
    QCOMPARE(boxes.texts().size(), 1);
    QVERIFY2(boxes.texts().constFirst().startsWith(QStringLiteral("已设置同步：alice 在 ")),
        qPrintable(boxes.texts().constFirst()));
    // Without a secret store the password is not kept anywhere.
    QVERIFY(boxes.texts().constFirst().contains(QStringLiteral("密码没有保存：每次“立即同步”时询问。")));
    const std::optional<store::SyncAccount> account = store::SyncState(*Dm->scon).account();
    QVERIFY(account);
    QCOMPARE(account->serverUrl, book.toString());
    QCOMPARE(account->user, user);
    QCOMPARE(account->bookUrl, book.toString());

    m_window->NSyncSetup->trigger();
    QCOMPARE(fill.shown, 2);
    QCOMPARE(prefilledServer, book.toString());
    QCOMPARE(prefilledUser, user);
    QCOMPARE(prefilledPassword, QString());

    // The account works: the first sync sends the two contacts up.
    const QList<ShownBox> shown = syncNow();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.constFirst().text, counts(2, 0, 0, 0));
    QCOMPARE(serverCards(book).size(), 2);
}

void TestSyncWindow::setUpChoosesTheBookByName()
{
    const QString first = QStringLiteral("家人-") + QUuid::createUuid().toString(QUuid::Id128).left(6);
    const QString second = QStringLiteral("同事-") + QUuid::createUuid().toString(QUuid::Id128).left(6);
    newBook(first);
    const QUrl chosen = newBook(second);
    BoxRecorder boxes;
    QStringList offered;
    bool choiceEnabled = false;
    WhenShown<SyncSetupDialog> fill([&](SyncSetupDialog *dialog) {
        dialog->serverEdit->setText(m_radicale.url().toString());
        dialog->userEdit->setText(user);
        dialog->passwordEdit->setText(serverPassword);
        dialog->testButton->click();
        for (int i = 0; i < dialog->bookCombo->count(); ++i)
            offered << dialog->bookCombo->itemText(i);
        choiceEnabled = dialog->bookCombo->isEnabled();
        dialog->bookCombo->setCurrentIndex(dialog->bookCombo->findText(second));
        dialog->buttons->button(QDialogButtonBox::Ok)->click();
    });
    m_window->NSyncSetup->trigger();
    QVERIFY(offered.contains(first));
    QVERIFY(offered.contains(second));
    QVERIFY(choiceEnabled);
    QCOMPARE(boxes.texts().size(), 1);
    QVERIFY2(boxes.texts().constFirst().contains(QStringLiteral("“%1”").arg(second)),
        qPrintable(boxes.texts().constFirst()));
    QCOMPARE(store::SyncState(*Dm->scon).account()->bookUrl, chosen.toString());
}

void TestSyncWindow::phoneCardComesIntoTheGrid()
{
    const QUrl book = newBook();
    phonePut(book, QStringLiteral("w.vcf"), phoneCard);
    setUpAccount(book);
    Summary summary;
    BoxRecorder boxes;
    PasswordAnswer answer(serverPassword);
    m_window->NSyncNow->trigger();
    QCOMPARE(answer.shown, 1);
    QVERIFY(answer.masked);
    QCOMPARE(
        answer.prompts.constFirst(), QStringLiteral("alice 在 %1 的密码：").arg(m_radicale.url().toDisplayString()));
    // Nothing to list: the summary line in a plain notice.
    QCOMPARE(summary.shown, 0);
    QCOMPARE(boxes.texts(), QStringList { counts(2, 1, 0, 0) });
    // The reload step: the whole table, the phone's contact in the grid.
    QCOMPARE(Dm->addquery->sql(), QStringLiteral("select * from data"));
    QCOMPARE(gridRows(),
        sorted({ QStringLiteral("李四|13900000000"), QStringLiteral("王五|13700000000"),
            QStringLiteral("王小明|13800138000") }));
    // Backed up first, as the tool does.
    QCOMPARE(backupCount(), 1);
    QCOMPARE(serverCards(book),
        sorted({ QStringLiteral("李四|13900000000"), QStringLiteral("王五|13700000000"),
            QStringLiteral("王小明|13800138000") }));
}

void TestSyncWindow::windowContactGoesUp()
{
    const QUrl book = newBook();
    setUpAccount(book);
    QCOMPARE(syncNow().constFirst().text, counts(2, 0, 0, 0));

    // Added as the editor adds one: through the data module's query.
    txl::Query *q = Dm->addquery;
    q->close();
    q->clearSql();
    q->addSql(QStringLiteral("insert into data  values(:p0,:p1,:p2,:p3,:p4,:p5,:p6)"));
    const QStringList values { QStringLiteral("赵六"), QStringLiteral("男"), QStringLiteral("12345"),
        QStringLiteral("13600000000"), QString(), QStringLiteral("深圳市"), QStringLiteral("朋友") };
    for (int i = 0; i < values.size(); ++i)
        q->setParam(QStringLiteral("p%1").arg(i), values.at(i));
    q->execSql();
    Dm->reloadAll();

    QCOMPARE(syncNow().constFirst().text, counts(1, 0, 0, 0));
    QCOMPARE(serverCards(book),
        sorted({ QStringLiteral("李四|13900000000"), QStringLiteral("王五|13700000000"),
            QStringLiteral("赵六|13600000000") }));
    // A second sync has nothing left to do.
    QCOMPARE(syncNow().constFirst().text, counts(0, 0, 0, 0));
}

void TestSyncWindow::editOnBothSidesIsAConflict()
{
    const QUrl book = newBook();
    phonePut(book, QStringLiteral("w.vcf"), phoneCard);
    setUpAccount(book);
    QCOMPARE(syncNow().constFirst().text, counts(2, 1, 0, 0));

    store::Contact here = *Dm->contactTable().find(wang);
    here.mobile = QStringLiteral("13500000000");
    Dm->contactTable().update(wang, here);
    phonePut(book, QStringLiteral("w.vcf"), QByteArray(phoneCard).replace("138 0013 8000", "137 1111 2222"));

    Summary summary;
    const QList<ShownBox> boxes = syncNow();
    QVERIFY(boxes.isEmpty());
    QCOMPARE(summary.shown, 1);
    QCOMPARE(summary.caption, QStringLiteral("立即同步"));
    QCOMPARE(summary.summary, counts(0, 0, 0, 1));
    QCOMPARE(
        summary.details, QStringLiteral("冲突（两边都保持原样）：\n冲突 王小明：这里和服务器上都改过；两边都保持原样"));
    // Both versions kept: ours in the grid, the phone's on the server.
    QVERIFY(gridRows().contains(QStringLiteral("王小明|13500000000")));
    QVERIFY(serverCards(book).contains(QStringLiteral("王小明|13711112222")));
}

void TestSyncWindow::cancelMidSyncLeavesAConsistentFile()
{
    // Thirty contacts to send: Cancel is pressed while they go up.
    m_window.reset();
    m_fixture.reset(); // first: a fixture going back to its old folder leaves the new one
    m_fixture = std::make_unique<ContactsFixture>(30);
    m_fixture->createDm();
    m_window = std::make_unique<Tfrm_Main>();
    frm_Main = m_window.get();
    const QUrl book = newBook();
    setUpAccount(book);

    int pressedAt = -1;
    QTimer watch;
    watch.setInterval(2);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto *progress = m_window->findChild<QProgressDialog *>(QStringLiteral("SyncProgress"));
        if (!progress || pressedAt >= 0 || progress->maximum() != 30 || progress->value() < 3)
            return;
        pressedAt = progress->value();
        progress->findChild<QPushButton *>()->click();
    });
    watch.start();
    const QList<ShownBox> cancelled = syncNow();
    watch.stop();
    QVERIFY2(pressedAt >= 3, "Cancel was never pressed while uploading");
    QCOMPARE(cancelled.size(), 1);
    QVERIFY2(
        cancelled.constFirst().text.startsWith(QStringLiteral("同步已取消")), qPrintable(cancelled.constFirst().text));

    // What the server took is known; the rest goes up next time, none twice.
    const int sent = int(serverCards(book).size());
    QVERIFY2(sent > 0 && sent < 30, qPrintable(QString::number(sent)));
    // Cards not yet known as taken are kept without an ETag, so the next
    // sync sends them to the same place.
    const std::vector<store::SyncItem> items = store::SyncState(*Dm->scon).items();
    QVERIFY(
        std::count_if(items.begin(), items.end(), [](const store::SyncItem &i) { return !i.etag.isEmpty(); }) <= sent);
    QCOMPARE(gridRows().size(), 30);
    const QList<ShownBox> rest = syncNow();
    QCOMPARE(rest.size(), 1);
    QVERIFY2(rest.constFirst().text.endsWith(QStringLiteral("下载 0 条，删除 0 条，冲突 0 条")),
        qPrintable(rest.constFirst().text));
    QCOMPARE(syncNow().constFirst().text, counts(0, 0, 0, 0));
    QCOMPARE(serverCards(book).size(), 30);
    QCOMPARE(gridRows().size(), 30);
    QCOMPARE(int(store::SyncState(*Dm->scon).items().size()), 30);
}

void TestSyncWindow::wrongPasswordChangesNothing()
{
    const QUrl book = newBook();
    phonePut(book, QStringLiteral("w.vcf"), phoneCard);
    setUpAccount(book);
    const QStringList before = m_fixture->rows();
    const QList<ShownBox> boxes = syncNow(QStringLiteral("not-the-password"));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.constFirst().icon, txl::ui::Icon::Warning);
    QVERIFY2(boxes.constFirst().text.contains(QStringLiteral("401")), qPrintable(boxes.constFirst().text));
    QVERIFY(boxes.constFirst().text.contains(QStringLiteral("“同步设置…”")));
    QCOMPARE(m_fixture->rows(), before);
    QVERIFY(store::SyncState(*Dm->scon).items().empty());
    QCOMPARE(serverCards(book), QStringList { QStringLiteral("王小明|13800138000") });
}

void TestSyncWindow::fileWithItsOwnPasswordAsksForIt()
{
    // The window opened the file with its owner's password, which is not
    // kept: the sync's own connection asks for it once more.
    const QString own = QStringLiteral("owner-密码9");
    m_window.reset();
    m_fixture.reset();
    m_fixture = std::make_unique<ContactsFixture>();
    m_fixture->exec(QStringLiteral("insert into data values('李四','女','','13900000000','','上海市','同事');"));
    {
        txl::Connection c;
        c.setDatabaseFile(m_fixture->databasePath());
        c.setPassword(ContactFile::password());
        c.rekey(own);
    }
    m_fixture->createDm();
    Dm->unlock([&own](int, QString &password) {
        password = own;
        return true;
    });
    m_window = std::make_unique<Tfrm_Main>();
    frm_Main = m_window.get();
    const QUrl book = newBook();
    phonePut(book, QStringLiteral("w.vcf"), phoneCard);
    setUpAccount(book);

    BoxRecorder boxes;
    const QString filePrompt = QStringLiteral("请输入通讯录密码：");
    PasswordAnswer answer([&](const QString &prompt) { return prompt == filePrompt ? own : serverPassword; });
    m_window->NSyncNow->trigger();
    QCOMPARE(answer.prompts.size(), 2);
    QCOMPARE(answer.prompts.at(1), filePrompt);
    QCOMPARE(boxes.texts(), QStringList { counts(1, 1, 0, 0) });
    QCOMPARE(gridRows(), sorted({ QStringLiteral("李四|13900000000"), QStringLiteral("王小明|13800138000") }));
}

void TestSyncWindow::untrustedCertificateAcceptedInTheDialog()
{
    QTemporaryDir keys;
    const QString fingerprint = RadicaleServer::makeCertificate(keys.path());
    QVERIFY2(!fingerprint.isEmpty(), "openssl made no certificate");
    RadicaleServer tls;
    tls.useTls(keys.filePath(QStringLiteral("cert.pem")), keys.filePath(QStringLiteral("key.pem")));
    QVERIFY2(tls.start(user, serverPassword), qPrintable(tls.error()));
    Phone phone(user, serverPassword, fingerprint);
    const QUrl book = phone.newBook(tls.url());

    // Refused first: nothing found, nothing stored; then accepted.
    BoxRecorder boxes;
    QString refusedLine;
    WhenShown<SyncSetupDialog> fill([&](SyncSetupDialog *dialog) {
        dialog->serverEdit->setText(book.toString());
        dialog->userEdit->setText(user);
        dialog->passwordEdit->setText(serverPassword);
        QVERIFY(!dialog->testConnection());
        refusedLine = dialog->resultLabel->text();
        boxes.queueAnswer(true);
        dialog->buttons->button(QDialogButtonBox::Ok)->click();
    });
    m_window->NSyncSetup->trigger();
    QCOMPARE(fill.shown, 1);
    QVERIFY2(refusedLine.contains(fingerprint), qPrintable(refusedLine));
    const QList<ShownBox> asked = boxes.boxes();
    QCOMPARE(asked.size(), 3); // the question twice (No, then Yes), the notice
    for (int i : { 0, 1 }) {
        QCOMPARE(asked.at(i).kind, ShownBox::Question);
        QVERIFY2(asked.at(i).text.contains(fingerprint), qPrintable(asked.at(i).text));
    }
    const std::optional<store::SyncAccount> account = store::SyncState(*Dm->scon).account();
    QVERIFY(account);
    QCOMPARE(account->certFingerprint, fingerprint);

    // The accepted certificate holds for 立即同步: the two contacts go up.
    QCOMPARE(syncNow().constFirst().text, counts(2, 0, 0, 0));

    // Another certificate on the same server is refused again, with the way out.
    tls.stop();
    QVERIFY(QFile::remove(keys.filePath(QStringLiteral("cert.pem"))));
    QVERIFY(QFile::remove(keys.filePath(QStringLiteral("key.pem"))));
    const QString replaced = RadicaleServer::makeCertificate(keys.path());
    QVERIFY(!replaced.isEmpty() && replaced != fingerprint);
    QVERIFY2(tls.start(user, serverPassword), qPrintable(tls.error()));
    const QStringList before = m_fixture->rows();
    const QList<ShownBox> refused = syncNow();
    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused.constFirst().icon, txl::ui::Icon::Warning);
    QVERIFY2(refused.constFirst().text.contains(replaced), qPrintable(refused.constFirst().text));
    QVERIFY(refused.constFirst().text.contains(QStringLiteral("确认新的证书")));
    QCOMPARE(m_fixture->rows(), before);
}

QTEST_MAIN(TestSyncWindow)
#include "tst_sync_window.moc"
