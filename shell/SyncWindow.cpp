#include "shell/SyncWindow.h"

#include "exchange/Exchange.h"
#include "platform/data/Connection.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/PasswordBox.h"
#include "platform/ui/WaitCursor.h"
#include "shell/ContactExchange.h"
#include "shell/StartupPassword.h"
#include "store/Backups.h"
#include "store/ContactFile.h"
#include "store/SyncState.h"
#include "store/Unit_Dm.h"
#include "sync/DavClient.h"
#include "sync/Secrets.h"
#include "sync/Sync.h"
#include "sync/SyncError.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>

namespace {

const QString setUpCaption = QStringLiteral("同步设置");
const QString syncCaption = QStringLiteral("立即同步");

// The engine's own limits; plain HTTP never goes past this computer.
carddav::DavClient::Options clientOptions(const QString &acceptedFingerprint)
{
    carddav::DavClient::Options options;
    options.acceptedFingerprint = acceptedFingerprint;
    return options;
}

// A certificate the system does not trust is used only when the user,
// shown its fingerprint, accepts it.
bool certificateAccepted(const carddav::SyncError &error)
{
    return txl::ui::askYesNo(QStringLiteral("%1\n\n只有在确认这是你自己的服务器的证书时才接受它"
                                            "（可以向服务器的管理员核对这个指纹）。\n接受这个证书吗？")
                                 .arg(error.message()),
        txl::ui::QuestionKind::Confirmation);
}

// Why a typed server address cannot be used; empty when it can. Said in the
// window's words (the engine's own mention the tool's options).
QString addressProblem(const QString &typed, const QUrl &url)
{
    if (typed.trimmed().isEmpty())
        return QStringLiteral("请填写服务器地址。");
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
        return QStringLiteral("“%1”不是 http:// 或 https:// 地址。").arg(typed.trimmed());
    if (scheme == u"http" && !carddav::isThisComputer(url))
        return QStringLiteral("“%1”用明文 HTTP，密码会被看到：只有本机的服务器可以用 http://，请改用 https://。")
            .arg(url.toDisplayString());
    return QString();
}

QUrl typedUrl(const QString &typed)
{
    return QUrl::fromUserInput(typed.trimmed());
}

} // namespace

// ---- the set-up dialog ------------------------------------------------

SyncSetupDialog::SyncSetupDialog(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    // What is typed as the password is offered nowhere else.
    passwordEdit->setDragEnabled(false);
    passwordEdit->setAttribute(Qt::WA_InputMethodEnabled, false);
    keyringLabel->setText(carddav::secretStoreAvailable()
            ? QStringLiteral("密码存入桌面的密钥环，同步时不再询问。")
            : QStringLiteral("桌面没有运行密钥环：密码不保存，每次“立即同步”时询问。"));

    if (const std::optional<store::SyncAccount> account = store::SyncState(*Dm->scon).account()) {
        serverEdit->setText(account->serverUrl);
        userEdit->setText(account->user);
        m_storedBook = account->bookUrl;
        m_fingerprint = account->certFingerprint;
        bookCombo->addItem(QUrl(account->bookUrl).toDisplayString(), account->bookUrl);
    }
    for (QLineEdit *edit : { serverEdit, userEdit, passwordEdit })
        connect(edit, &QLineEdit::textEdited, this, &SyncSetupDialog::fieldsChanged);
    connect(testButton, &QPushButton::clicked, this, [this] { txl::ui::guarded([&] { testConnection(); }); });
    connect(buttons, &QDialogButtonBox::accepted, this, &SyncSetupDialog::accept);
    adjustSize();
}

SyncSetupDialog::~SyncSetupDialog()
{
    passwordEdit->setText(QString());
}

void SyncSetupDialog::fieldsChanged()
{
    // Books found for other fields say nothing about these.
    m_books.clear();
    resultLabel->clear();
}

bool SyncSetupDialog::testConnection()
{
    m_books.clear();
    bookCombo->clear();
    bookCombo->setEnabled(false);
    const QUrl url = typedUrl(serverEdit->text());
    QString problem = addressProblem(serverEdit->text(), url);
    if (problem.isEmpty() && userEdit->text().trimmed().isEmpty())
        problem = QStringLiteral("请填写用户名。");
    if (problem.isEmpty() && passwordEdit->text().isEmpty())
        problem = QStringLiteral("请输入密码。");
    if (!problem.isEmpty()) {
        resultLabel->setText(problem);
        return false;
    }

    resultLabel->setText(QStringLiteral("正在连接 %1…").arg(url.toDisplayString()));
    // The exchange runs in a local event loop: the dialog repaints but takes
    // no input until it is done.
    m_busy = true;
    setEnabled(false);
    try {
        const txl::ui::WaitCursor wait;
        for (;;) {
            carddav::DavClient client(userEdit->text().trimmed(), passwordEdit->text(), clientOptions(m_fingerprint));
            try {
                m_books = carddav::discoverAddressBooks(client, url);
                break;
            } catch (const carddav::SyncError &e) {
                // Asked once per certificate: one refused stays refused.
                const QString offered = e.untrustedFingerprint();
                if (offered.isEmpty() || offered == m_fingerprint || !certificateAccepted(e))
                    throw;
                m_fingerprint = offered;
            }
        }
    } catch (const carddav::SyncError &e) {
        resultLabel->setText(QStringLiteral("连接失败：") + e.message());
    } catch (const std::exception &e) {
        resultLabel->setText(QStringLiteral("连接失败：") + QString::fromUtf8(e.what()));
    }
    m_busy = false;
    setEnabled(true);
    if (m_books.empty())
        return false;

    QStringList names;
    for (const carddav::AddressBook &b : m_books) {
        bookCombo->addItem(b.name, b.url.toString());
        names.append(QStringLiteral("“%1”").arg(b.name));
    }
    const int stored = bookCombo->findData(m_storedBook);
    bookCombo->setCurrentIndex(stored >= 0 ? stored : 0);
    bookCombo->setEnabled(m_books.size() > 1);
    resultLabel->setText(m_books.size() == 1 ? QStringLiteral("连接成功，找到通讯录 %1。").arg(names.constFirst())
                                             : QStringLiteral("连接成功，找到 %1 个通讯录：%2。请在下面选一个。")
                                                   .arg(m_books.size())
                                                   .arg(names.join(QStringLiteral("、"))));
    return true;
}

void SyncSetupDialog::accept()
{
    if (m_busy)
        return;
    txl::ui::guarded([&] {
        // The address book is known only from the server: OK asks it when
        // the fields were not tested as they stand.
        if (m_books.empty()) {
            if (!testConnection())
                return;
            if (m_books.size() > 1 && bookCombo->findData(m_storedBook) < 0)
                return; // several found: the user chooses first
        }
        const carddav::AddressBook *book = nullptr;
        for (const carddav::AddressBook &b : m_books)
            if (b.url.toString() == bookCombo->currentData().toString())
                book = &b;
        if (!book)
            return;
        const QUrl url = typedUrl(serverEdit->text());
        const QString user = userEdit->text().trimmed();
        // Another server, user or book than before forgets the old state.
        store::SyncState(*Dm->scon).setUp({ url.toString(), user, book->url.toString(), QString(), m_fingerprint });
        QString password = passwordEdit->text();
        const bool kept = carddav::storeSecret(carddav::accountKey(url.toString(), user), password);
        ContactFile::wipe(password);
        // The dialog goes first: the notice stands alone over the window.
        QDialog::accept();
        txl::ui::showNotice(QStringLiteral("已设置同步：%1 在 %2 的通讯录“%3”。\n%4")
                                .arg(user, url.toDisplayString(), book->name,
                                    kept ? QStringLiteral("密码已存入桌面的密钥环。")
                                         : QStringLiteral("密码没有保存：每次“立即同步”时询问。")),
            setUpCaption);
    });
}

void SyncSetupDialog::reject()
{
    if (!m_busy)
        QDialog::reject();
}

void SyncSetupDialog::closeEvent(QCloseEvent *event)
{
    if (m_busy)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

// ---- 立即同步 ---------------------------------------------------------------

namespace {

// One sync on a worker thread. The connection is the sync's own, opened by
// the window's thread and used by the worker alone while it runs; the
// network client is made and dropped on the worker, as Qt Network wants.
struct SyncJob {
    txl::Connection connection;
    QString user;
    QString password; // wiped once the client holds it
    QString fingerprint; // the server certificate the user accepted

    // Where the worker is: -1 backing up, else a carddav::SyncStep.
    std::atomic<int> step { -1 };
    std::atomic<int> done { 0 };
    std::atomic<int> total { 0 };
    std::atomic<bool> finished { false };

    // Written by the worker before finished is set.
    std::optional<carddav::SyncReport> report;
    QString error;
    int httpStatus = 0;
    bool untrusted = false; // the server's certificate was refused

    void cancel()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        cancelled = true;
        if (client)
            client->cancel();
    }
    bool wasCancelled()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return cancelled;
    }

    std::mutex mutex; // guards client and cancelled
    carddav::DavClient *client = nullptr;
    bool cancelled = false;
};

void runSync(SyncJob &job)
{
    try {
        try {
            store::Backups::beforeChange(job.connection);
        } catch (const std::exception &e) {
            job.error
                = QStringLiteral("无法先备份通讯录文件：%1\n没有同步任何联系人。").arg(QString::fromUtf8(e.what()));
            ContactFile::wipe(job.password);
            job.finished = true;
            return;
        }
        carddav::DavClient client(job.user, job.password, clientOptions(job.fingerprint));
        ContactFile::wipe(job.password);
        {
            const std::lock_guard<std::mutex> lock(job.mutex);
            job.client = &client;
            if (job.cancelled)
                client.cancel();
        }
        // Unregistered before the client goes, so Cancel never reaches a
        // client that is gone.
        struct Unregister {
            SyncJob &job;
            ~Unregister()
            {
                const std::lock_guard<std::mutex> lock(job.mutex);
                job.client = nullptr;
            }
        } unregister { job };
        carddav::SyncOptions options;
        options.progress = [&job](carddav::SyncStep step, int done, int total) {
            job.total = total;
            job.done = done;
            job.step = static_cast<int>(step);
        };
        job.report = carddav::synchronize(job.connection, client, options);
    } catch (const carddav::SyncError &e) {
        job.error = e.message();
        job.httpStatus = e.httpStatus();
        job.untrusted = !e.untrustedFingerprint().isEmpty();
    } catch (const std::exception &e) {
        job.error = QString::fromUtf8(e.what());
    } catch (...) {
        job.error = QStringLiteral("同步因未知的错误停止了。");
    }
    ContactFile::wipe(job.password);
    job.finished = true;
}

QString stepText(int step, int done, int total)
{
    switch (step) {
    case static_cast<int>(carddav::SyncStep::Listing):
        return QStringLiteral("正在向服务器询问有什么变化…");
    case static_cast<int>(carddav::SyncStep::Downloading):
        return done < total ? QStringLiteral("正在下载 %1 张名片…").arg(total)
                            : QStringLiteral("正在保存服务器上的变化…");
    case static_cast<int>(carddav::SyncStep::Uploading):
        return QStringLiteral("正在上传：%1 / %2").arg(done).arg(total);
    default:
        return QStringLiteral("正在备份通讯录文件…");
    }
}

// The server password: from the secret store, else asked (masked). False
// when the user gave none.
bool serverPassword(QWidget *parent, const store::SyncAccount &account, QString &password)
{
    if (const std::optional<QString> kept = carddav::readSecret(carddav::accountKey(account.serverUrl, account.user))) {
        password = *kept;
        if (!password.isEmpty())
            return true;
    }
    return txl::ui::PasswordBox::ask(syncCaption,
        QStringLiteral("%1 在 %2 的密码：").arg(account.user, QUrl(account.serverUrl).toDisplayString()), QString(),
        password, parent);
}

} // namespace

namespace SyncWindow {

void setUp(QWidget *parent)
{
    SyncSetupDialog dialog(parent);
    dialog.exec();
}

void syncNow(QWidget *parent)
{
    // A server card the import's rules skip is listed in the import's words.
    exchange::installChineseTexts();
    const std::optional<store::SyncAccount> account = store::SyncState(*Dm->scon).account();
    if (!account) {
        txl::ui::showNotice(
            QStringLiteral("还没有设置同步：请先在“[新建]”菜单里选“同步设置…”，填写服务器、用户名和密码。"),
            syncCaption);
        return;
    }
    auto job = std::make_unique<SyncJob>();
    job->user = account->user;
    job->fingerprint = account->certFingerprint;
    if (!serverPassword(parent, *account, job->password))
        return;
    // The sync's own connection to the contacts file; a file with its
    // owner's password asks for it again (the window does not keep it).
    job->connection.setDatabaseFile(Dm->scon->databaseFile());
    try {
        const txl::ui::WaitCursor wait;
        ContactFile::openAsking(job->connection, askContactsPassword);
    } catch (const std::exception &e) {
        ContactFile::wipe(job->password);
        txl::ui::showNotice(
            QStringLiteral("无法打开通讯录文件：%1\n没有同步任何联系人。").arg(QString::fromUtf8(e.what())),
            syncCaption, txl::ui::Icon::Warning);
        return;
    }

    QProgressDialog progress(stepText(-1, 0, 0), QStringLiteral("取消"), 0, 0, parent);
    progress.setObjectName(QStringLiteral("SyncProgress"));
    progress.setWindowTitle(syncCaption);
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setMinimumDuration(300);
    progress.setMinimumWidth(360);
    // Starts the clock that shows the box after the minimum duration, even
    // while the bar stays busy (a long listing or download).
    progress.setValue(0);

    std::unique_ptr<QThread> worker(QThread::create([&job] { runSync(*job); }));
    {
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(30);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (job->finished) {
                loop.quit();
                return;
            }
            if (job->wasCancelled())
                return;
            const int step = job->step;
            const int done = job->done;
            const int total = job->total;
            progress.setLabelText(stepText(step, done, total));
            if (step == static_cast<int>(carddav::SyncStep::Uploading) && total > 0) {
                progress.setMaximum(total);
                progress.setValue(done);
            } else {
                progress.setMaximum(0); // a busy bar
            }
        });
        // Cancel stops the request under way; what the server took so far
        // is stored, so the worker is waited for, never left behind.
        QObject::connect(&progress, &QProgressDialog::canceled, &loop, [&] { job->cancel(); });
        worker->start();
        poll.start();
        if (!job->finished)
            loop.exec();
    }
    worker->wait();
    progress.close();
    job->connection.close();

    // Some changes may have been stored even when the sync did not finish.
    Dm->reloadAll();
    if (job->wasCancelled() && !job->report) {
        txl::ui::showNotice(QStringLiteral("同步已取消。已经完成的部分都已保存，下次同步会接着做完。"), syncCaption);
        return;
    }
    if (!job->report) {
        QString text = QStringLiteral("同步没有完成：") + job->error;
        if (job->httpStatus == 401)
            text += QStringLiteral("\n请在“同步设置…”里检查用户名和密码。");
        else if (job->untrusted)
            text += QStringLiteral("\n如果服务器确实换了证书，请在“同步设置…”里重新测试连接并确认新的证书。");
        txl::ui::showNotice(text, syncCaption, txl::ui::Icon::Warning);
        return;
    }
    const carddav::SyncReport &report = *job->report;
    ContactExchange::showSummary(parent, syncCaption, report.summaryLine(),
        ContactExchange::listed(QStringLiteral("冲突（两边都保持原样）："), report.conflicts)
            + ContactExchange::listed(QStringLiteral("跳过的名片："), report.skipped));
}

} // namespace SyncWindow
