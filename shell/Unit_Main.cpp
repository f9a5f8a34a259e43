#include "shell/Unit_Main.h"

#include "contacts/Unit_add.h"
#include "platform/grid/DBGrid.h"
#include "platform/report/PreviewWindow.h"
#include "platform/text/Cp936.h"
#include "platform/ui/AccessKeys.h"
#include "platform/ui/Clock.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/HintTiming.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/StatusPanels.h"
#include "report/Unit_print.h"
#include "shell/Calculator.h"
#include "shell/ContactExchange.h"
#include "shell/SyncWindow.h"
#include "shell/Unit_about.h"
#include "store/Unit_Dm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScreen>
#include <QSessionManager>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <memory>

using txl::ui::guarded;

Tfrm_Main *frm_Main = nullptr;

namespace {
// Size of the client area below the menu bar.
constexpr int clientWidth = 524;
constexpr int clientHeight = 364;
} // namespace

Tfrm_Main::Tfrm_Main(QWidget *parent, FirstLoad firstLoad)
    : QMainWindow(parent)
{
    setupUi(this);
    // Fixed border; of the title-bar buttons only the system menu and close.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowCloseButtonHint);
    setWindowIcon(txl::ui::iconWithDensities(QStringLiteral(":/icons/window.png")));

    ImageList1 = new txl::ui::ImageList(this);
    ImageList1->setObjectName(QStringLiteral("ImageList1"));
    ImageList1->load(QStringLiteral(":/icons/image%1.png"), 13, QSize(16, 16));

    setUpToolBar();
    setUpMenus();
    setUpGrid();
    setUpStatusBar();
    setUpKeyboard();

    Edit1->installEventFilter(this);
    Edit1->setMouseTracking(true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &Tfrm_Main::Timer1Timer);
    Timer1->start();

    connect(BitBtn1, &QToolButton::clicked, this, &Tfrm_Main::BitBtn1Click);
    connect(BitBtn2, &QToolButton::clicked, this, &Tfrm_Main::BitBtn2Click);

    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) { sessionEnding(); });

    ClientArea->setFixedSize(clientWidth, clientHeight);
    setFixedSize(clientWidth, clientHeight + MainMenu1->sizeHint().height());
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

    txl::ui::applyHintTiming(this);
    // The radio group opens with the keyboard focus.
    setFocusProxy(nullptr);
    RadioGroup1->setFocus();

    if (firstLoad == FirstLoad::Now)
        FormCreate();
}

Tfrm_Main::~Tfrm_Main()
{
    if (frm_Main == this)
        frm_Main = nullptr;
}

void Tfrm_Main::setUpToolBar()
{
    struct Button {
        QAction *action;
        QToolButton **member;
        const char *name;
        int icon;
        void (Tfrm_Main::*handler)();
    };
    const Button buttons[] = {
        { actToolButton1, &ToolButton1, "ToolButton1", 0, &Tfrm_Main::ToolButton1Click },
        { actToolButton3, &ToolButton3, "ToolButton3", 1, &Tfrm_Main::ToolButton3Click },
        { actToolButton9, &ToolButton9, "ToolButton9", 5, &Tfrm_Main::ToolButton9Click },
        { actToolButton11, &ToolButton11, "ToolButton11", 12, &Tfrm_Main::ToolButton11Click },
        { actToolButton13, &ToolButton13, "ToolButton13", 11, &Tfrm_Main::ToolButton13Click },
        { actToolButton5, &ToolButton5, "ToolButton5", 8, &Tfrm_Main::ToolButton5Click },
        { actToolButton7, &ToolButton7, "ToolButton7", 7, &Tfrm_Main::ToolButton7Click },
    };
    ToolBar1->setContentsMargins(0, 0, 0, 0);
    for (const Button &b : buttons) {
        b.action->setIcon(ImageList1->icon(b.icon));
        auto *button = qobject_cast<QToolButton *>(ToolBar1->widgetForAction(b.action));
        button->setObjectName(QLatin1String(b.name));
        button->setFixedSize(55, 36);
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRaise(true);
        *b.member = button;
        connect(b.action, &QAction::triggered, this, b.handler);
    }
}

void Tfrm_Main::setUpMenus()
{
    struct Entry {
        QAction *action;
        int icon;
        void (Tfrm_Main::*handler)();
    };
    const Entry menu[] = {
        { N4, 0, &Tfrm_Main::N4Click },
        { N6, 1, &Tfrm_Main::N6Click },
        { N8, 6, &Tfrm_Main::N8Click },
        { N9, 5, &Tfrm_Main::N9Click },
        { N11, 8, &Tfrm_Main::N11Click },
    };
    for (const Entry &e : menu) {
        e.action->setIcon(ImageList1->icon(e.icon));
        connect(e.action, &QAction::triggered, this, e.handler);
    }
    connect(NImport, &QAction::triggered, this, &Tfrm_Main::NImportClick);
    connect(NExport, &QAction::triggered, this, &Tfrm_Main::NExportClick);
    connect(NSyncSetup, &QAction::triggered, this, &Tfrm_Main::NSyncSetupClick);
    connect(NSyncNow, &QAction::triggered, this, &Tfrm_Main::NSyncNowClick);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    const Entry popup[] = {
        { N12, 0, &Tfrm_Main::ToolButton1Click },
        { N13, 5, &Tfrm_Main::ToolButton9Click },
        { nullptr, 0, nullptr },
        { N15, 1, &Tfrm_Main::ToolButton3Click },
        { nullptr, 0, nullptr },
        { N17, 12, &Tfrm_Main::ToolButton11Click },
        { N18, 11, &Tfrm_Main::ToolButton13Click },
        { N19, 8, &Tfrm_Main::ToolButton5Click },
        { nullptr, 0, nullptr },
        { N21, 7, &Tfrm_Main::ToolButton7Click },
    };
    for (const Entry &e : popup) {
        if (!e.action) {
            PopupMenu1->addSeparator();
            continue;
        }
        e.action->setIcon(ImageList1->icon(e.icon));
        PopupMenu1->addAction(e.action);
        connect(e.action, &QAction::triggered, this, e.handler);
    }
    // Access keys are handed out afresh each time the menu opens.
    connect(PopupMenu1, &QMenu::aboutToShow, this,
        [this] { guarded([&] { txl::ui::assignAutomaticAccessKeys(PopupMenu1, QLocale()); }); });
}

void Tfrm_Main::setUpGrid()
{
    DBGrid1->setColumns({
        { QStringLiteral("姓名"), QStringLiteral("姓名"), 20 },
        { QStringLiteral("性别"), QStringLiteral("性别"), 30 },
        { QStringLiteral("组名"), QStringLiteral("关系"), 50 },
        { QStringLiteral("手机号码"), QStringLiteral("手机号码"), 80 },
        { QStringLiteral("QQ号码"), QStringLiteral("QQ"), 64 },
        { QStringLiteral("家庭住址"), QStringLiteral("家庭住址"), 140 },
    });
    // The title row keeps the window's default font.
    DBGrid1->horizontalHeader()->setFont(font());
    if (Dm)
        DBGrid1->setDataSource(Dm->addsource);

    connect(DBGrid1, &QWidget::customContextMenuRequested, this,
        [this](const QPoint &pos) { PopupMenu1->popup(DBGrid1->viewport()->mapToGlobal(pos)); });

    // Movement anywhere over the grid, titles and indicator included.
    for (QWidget *w : { static_cast<QWidget *>(DBGrid1), DBGrid1->viewport(), DBGrid1->horizontalHeader()->viewport(),
             DBGrid1->verticalHeader()->viewport() }) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
}

void Tfrm_Main::setUpStatusBar()
{
    StatusBar1->setPanelWidths({ 50, 250, 100, 50 });
    StatusBar1->setPanelText(0, QStringLiteral("提示："));
    StatusBar1->setPanelText(2, QStringLiteral("现在的时间："));
}

// Keys beside the mouse paths. The menu entries show theirs; modify and
// delete act on the grid's row, so their keys work while the grid has the
// focus (in the search box Delete and F2 stay the box's own).
void Tfrm_Main::setUpKeyboard()
{
    N4->setShortcut(QKeySequence::New);
    N8->setShortcut(QKeySequence::Print);
    N9->setShortcuts({ QKeySequence(Qt::Key_F2), QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter) });
    N6->setShortcut(QKeySequence::Delete);
    for (QAction *onGrid : { N9, N6 }) {
        onGrid->setShortcutContext(Qt::WidgetShortcut);
        DBGrid1->addAction(onGrid);
    }

    auto *find = new QShortcut(QKeySequence::Find, this);
    find->setObjectName(QStringLiteral("FindShortcut"));
    connect(find, &QShortcut::activated, this, [this] {
        Edit1->setFocus(Qt::ShortcutFocusReason);
        Edit1->selectAll();
    });
    connect(Edit1, &QLineEdit::returnPressed, this, &Tfrm_Main::BitBtn1Click);

    DBGrid1->setAccessibleName(QStringLiteral("联系人列表"));
    Edit1->setAccessibleName(QStringLiteral("查询内容"));
    for (QToolButton *b : { BitBtn1, BitBtn2, ToolButton1, ToolButton3, ToolButton9, ToolButton11, ToolButton13,
             ToolButton5, ToolButton7 })
        b->setAccessibleName(b->text());
}

QString Tfrm_Main::panelText(int index) const
{
    return StatusBar1->panelText(index);
}

void Tfrm_Main::setPanelText(int index, const QString &text)
{
    StatusBar1->setPanelText(index, text);
}

bool Tfrm_Main::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove) {
        if (watched == Edit1)
            Edit1MouseMove();
        else if (watched == DBGrid1 || watched == DBGrid1->viewport()
            || watched == DBGrid1->horizontalHeader()->viewport() || watched == DBGrid1->verticalHeader()->viewport())
            DBGrid1MouseMove();
    }
    return QMainWindow::eventFilter(watched, event);
}

void Tfrm_Main::closeEvent(QCloseEvent *event)
{
    FormClose(event);
}

void Tfrm_Main::sessionEnding()
{
    // The session manager has asked us to end: no question, as on log-off.
    m_sessionEnding = true;
    close();
}

// ---- handlers ----------------------------------------------------------

void Tfrm_Main::FormCreate()
{
    guarded([&] {
        Dm->reloadAll();
        DBGrid1->setColumnWidthAt(0, 64);
        DBGrid1->setColumnWidthAt(4, 70);
    });
}

void Tfrm_Main::FormClose(QCloseEvent *event)
{
    event->ignore();
    guarded([&] {
        if (m_sessionEnding || txl::ui::askYesNo(QStringLiteral("真的要退出吗？"), txl::ui::QuestionKind::Confirmation))
            event->accept();
    });
}

void Tfrm_Main::ToolButton1Click()
{
    guarded([&] {
        // A successful add has reloaded the list already: nothing to do after.
        std::unique_ptr<Tfrm_Add> dialog(new Tfrm_Add(this));
        frm_Add = dialog.get();
        frm_Add->setWindowTitle(QStringLiteral("添加好友"));
        frm_Add->exec();
    });
}

void Tfrm_Main::ToolButton9Click()
{
    guarded([&] {
        // Reading the count of a closed query fails here, before any dialog.
        txl::Query *q = Dm->addquery;
        if (q->recordCount() <= 0) {
            txl::ui::showNotice(QStringLiteral("记录为空！"), QStringLiteral("提示"));
            return;
        }
        std::unique_ptr<Tfrm_Add> dialog(new Tfrm_Add(this));
        frm_Add = dialog.get();
        frm_Add->setWindowTitle(QStringLiteral("修改好友"));
        frm_Add->setMode(Tfrm_Add::Mode::Modify);
        frm_Add->loadContact(*q);
        frm_Add->exec();
        // The list keeps its statement: no reload afterwards.
    });
}

void Tfrm_Main::ToolButton3Click()
{
    guarded([&] {
        if (!txl::ui::askYesNo(QStringLiteral("你是否真的要删除此用户？"), txl::ui::QuestionKind::Information))
            return;
        if (Dm->addquery->recordCount() <= 0) {
            txl::ui::showNotice(QStringLiteral("通讯录记录为空!"), QStringLiteral("提示"));
            return;
        }
        Dm->addquery->deleteRecord();
    });
}

void Tfrm_Main::ToolButton11Click()
{
    guarded([&] {
        // One holder per print command, owned by its preview: both go when
        // the preview closes, or with this window when the program ends.
        auto holder = std::make_unique<Tfrm_print>();
        frm_print = holder.get();
        txl::report::PreviewWindow *preview = holder->QuickRep1->openPreview(this);
        preview->keep(std::move(holder));
    });
}

void Tfrm_Main::ToolButton13Click()
{
    guarded([&] {
        if (!startCalculator())
            txl::ui::showNotice(
                QStringLiteral("没有找到计算器程序！"), txl::ui::applicationTitle(), txl::ui::Icon::None);
    });
}

void Tfrm_Main::N11Click()
{
    guarded([&] { Tfrm_about::execute(this); });
}

void Tfrm_Main::N4Click()
{
    guarded([&] { ToolButton1Click(); });
}

void Tfrm_Main::N6Click()
{
    guarded([&] { ToolButton3Click(); });
}

void Tfrm_Main::N8Click()
{
    guarded([&] { ToolButton11Click(); });
}

void Tfrm_Main::N9Click()
{
    guarded([&] { ToolButton9Click(); });
}

void Tfrm_Main::ToolButton5Click()
{
    guarded([&] { N11Click(); });
}

void Tfrm_Main::ToolButton7Click()
{
    guarded([&] { close(); });
}

void Tfrm_Main::BitBtn1Click()
{
    guarded([&] {
        const QString text = Edit1->text();
        // Only a box with no characters at all is empty; spaces search.
        if (text.isEmpty()) {
            txl::ui::showNotice(QStringLiteral("请你输入查询条件！"), QStringLiteral("提示"));
            return;
        }
        const QString column = RadioGroup1->itemIndex() == 0 ? QStringLiteral("姓名") : QStringLiteral("手机号码");
        // Wildcards the user types keep their meaning: nothing is escaped.
        const int n = Dm->searchContacts(column, txl::text::trim(text));
        setPanelText(1, QStringLiteral("总共查到") + QString::number(n) + QStringLiteral("条记录！"));
        if (n == 0) {
            txl::ui::showNotice(QStringLiteral("对不起!没有查到！"), QString());
            Dm->reloadAll();
        }
        Edit1->clear();
    });
}

void Tfrm_Main::BitBtn2Click()
{
    guarded([&] { Dm->reloadAll(); });
}

void Tfrm_Main::Timer1Timer()
{
    guarded([&] { setPanelText(3, txl::ui::clockText(QDateTime::currentDateTime(), QLocale())); });
}

void Tfrm_Main::Edit1MouseMove()
{
    guarded([&] {
        Edit1->setToolTip(QStringLiteral("请你输入查询内容!"));
        Edit1->setToolTipDuration(txl::ui::hintHidePauseMs);
        setPanelText(1, QStringLiteral("请你输入查询内容"));
    });
}

void Tfrm_Main::DBGrid1MouseMove()
{
    guarded([&] { setPanelText(1, QStringLiteral("欢迎你使用本软件！")); });
}

void Tfrm_Main::NImportClick()
{
    guarded([&] { ContactExchange::importContacts(this); });
}

void Tfrm_Main::NExportClick()
{
    guarded([&] { ContactExchange::exportContacts(this); });
}

void Tfrm_Main::NSyncSetupClick()
{
    guarded([&] { SyncWindow::setUp(this); });
}

void Tfrm_Main::NSyncNowClick()
{
    guarded([&] { SyncWindow::syncNow(this); });
}
