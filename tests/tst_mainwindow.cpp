// The main window: its layout and tables, the route of every command entry,
// the pop-up access keys, the clock, the hover texts, start-up with and
// without a contacts file, and the exit question.
#include "TestSupport.h"

#include "platform/data/Query.h"
#include "platform/grid/DBGrid.h"
#include "platform/ui/AccessKeys.h"
#include "platform/ui/Clock.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ImageList.h"
#include "platform/ui/RadioGroup.h"
#include "platform/ui/StatusPanels.h"
#include "shell/Unit_Main.h"
#include "store/Unit_Dm.h"

#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include <functional>

using txl::ui::ShownBox;

namespace {

// Records every handler reached; forwarding handlers still forward, the
// command bodies do not run.
class ProbeWindow : public Tfrm_Main {
public:
    QStringList calls;

    void ToolButton1Click() override { calls << QStringLiteral("ToolButton1Click"); }
    void ToolButton9Click() override { calls << QStringLiteral("ToolButton9Click"); }
    void ToolButton3Click() override { calls << QStringLiteral("ToolButton3Click"); }
    void ToolButton11Click() override { calls << QStringLiteral("ToolButton11Click"); }
    void ToolButton13Click() override { calls << QStringLiteral("ToolButton13Click"); }
    void N11Click() override { calls << QStringLiteral("N11Click"); }
    void ToolButton7Click() override { calls << QStringLiteral("ToolButton7Click"); }
    void BitBtn1Click() override { calls << QStringLiteral("BitBtn1Click"); }
    void BitBtn2Click() override { calls << QStringLiteral("BitBtn2Click"); }
    void Timer1Timer() override { calls << QStringLiteral("Timer1Timer"); }
    void N4Click() override
    {
        calls << QStringLiteral("N4Click");
        Tfrm_Main::N4Click();
    }
    void N6Click() override
    {
        calls << QStringLiteral("N6Click");
        Tfrm_Main::N6Click();
    }
    void N8Click() override
    {
        calls << QStringLiteral("N8Click");
        Tfrm_Main::N8Click();
    }
    void N9Click() override
    {
        calls << QStringLiteral("N9Click");
        Tfrm_Main::N9Click();
    }
    void ToolButton5Click() override
    {
        calls << QStringLiteral("ToolButton5Click");
        Tfrm_Main::ToolButton5Click();
    }
};

QPoint clientPos(QWidget *w, Tfrm_Main &window)
{
    return w->mapTo(window.ClientArea, QPoint(0, 0));
}

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32);
}

void sendMouseMove(QWidget *target)
{
    const QPointF local(target->width() / 2, target->height() / 2);
    QMouseEvent move(QEvent::MouseMove, local, target->mapToGlobal(local), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowFrame();
    void controls_data();
    void controls();
    void toolbarButtons_data();
    void toolbarButtons();
    void menus();
    void routing_data();
    void routing();
    void automaticAccessKeys_data();
    void automaticAccessKeys();
    void popupAccessKeys_data();
    void popupAccessKeys();
    void popupKeyChoosesEntry();

    void startUpListsEveryContact();
    void startUpWithoutDatabase();
    void gridFollowsQueryBothWays();
    void gridLayoutSurvivesReload();
    void keyboardOrderAndEnter();

    void clockText_data();
    void clockText();
    void clockTicks();
    void hoverTexts_data();
    void hoverTexts();

    void exitWays_data();
    void exitWays();
    void exitQuestionDialog_data();
    void exitQuestionDialog();
    void sessionEndClosesWithoutAsking();

private:
    std::unique_ptr<ContactsFixture> m_fixture;
    QLocale m_locale;
};

// One contacts file for the whole run: nothing here changes the stored rows,
// and opening a keyed file is slow on purpose.
void TestMainWindow::initTestCase()
{
    m_locale = QLocale();
    m_fixture = std::make_unique<ContactsFixture>(25);
}

void TestMainWindow::init()
{
    if (!Dm)
        m_fixture->createDm();
}

void TestMainWindow::cleanup()
{
    QLocale::setDefault(m_locale);
}

void TestMainWindow::windowFrame()
{
    txl::ui::BoxRecorder boxes;
    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QStringLiteral("通讯录"));
    QCOMPARE(window.ClientArea->size(), QSize(524, 364));
    QCOMPARE(window.ClientArea->pos(), QPoint(0, window.MainMenu1->height()));
    // A fixed border: the window cannot be resized.
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QCOMPARE(window.size(), QSize(524, 364 + window.MainMenu1->sizeHint().height()));
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(window.findChild<QMenuBar *>(QStringLiteral("MainMenu1")));
    QCOMPARE(window.ImageList1->count(), 13);
    for (int i = 0; i < 13; ++i)
        QCOMPARE(window.ImageList1->pixmap(i).size(), QSize(16, 16));
    QVERIFY(boxes.boxes().isEmpty());
}

void TestMainWindow::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry"); // in the client area; width < 0: not checked
    QTest::addColumn<QString>("text");

    QTest::newRow("ToolBar1") << "ToolBar1" << QRect(0, 0, 524, 40) << "";
    QTest::newRow("GroupBox1") << "GroupBox1" << QRect(0, 40, 525, 297) << "浏览";
    QTest::newRow("GroupBox2") << "GroupBox2" << QRect(8, 56, 510, 273) << "";
    QTest::newRow("RadioGroup1") << "RadioGroup1" << QRect(16, 68, 121, 33) << "查找";
    QTest::newRow("GroupBox3") << "GroupBox3" << QRect(140, 68, 369, 33) << "";
    QTest::newRow("Label1") << "Label1" << QRect(164, 81, -1, -1) << "查询内容：";
    QTest::newRow("Edit1") << "Edit1" << QRect(226, 77, 121, 21) << "";
    QTest::newRow("BitBtn1") << "BitBtn1" << QRect(372, 76, 57, 22) << "查找";
    QTest::newRow("BitBtn2") << "BitBtn2" << QRect(444, 76, 49, 22) << "返回";
    QTest::newRow("DBGrid1") << "DBGrid1" << QRect(16, 109, 494, 209) << "";
    QTest::newRow("StatusBar1") << "StatusBar1" << QRect(0, 345, 524, 19) << "";
}

void TestMainWindow::controls()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    Tfrm_Main window;
    auto *w = window.findChild<QWidget *>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(clientPos(w, window), geometry.topLeft());
    if (geometry.width() >= 0)
        QCOMPARE(w->size(), geometry.size());
    if (auto *box = qobject_cast<QGroupBox *>(w))
        QCOMPARE(box->title(), text);
    else if (auto *label = qobject_cast<QLabel *>(w))
        QCOMPARE(label->text(), text);
    else if (auto *button = qobject_cast<QToolButton *>(w))
        QCOMPARE(button->text(), text);
    else if (auto *edit = qobject_cast<QLineEdit *>(w))
        QCOMPARE(edit->text(), text);

    // The search buttons are flat and take no keyboard focus.
    if (name.startsWith(QStringLiteral("BitBtn"))) {
        QCOMPARE(w->focusPolicy(), Qt::NoFocus);
        QVERIFY(static_cast<QToolButton *>(w)->autoRaise());
    }
    // The search label, radio group and grid use the 9-point font.
    if (name == QStringLiteral("Label1") || name == QStringLiteral("RadioGroup1") || name == QStringLiteral("DBGrid1"))
        QCOMPARE(w->font().pointSize(), 9);
}

void TestMainWindow::toolbarButtons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tooltip");
    QTest::addColumn<int>("icon");

    QTest::newRow("ToolButton1") << "ToolButton1"
                                 << "添加好友"
                                 << "添加好友" << 0;
    QTest::newRow("ToolButton3") << "ToolButton3"
                                 << "删除好友"
                                 << "删除好友" << 1;
    QTest::newRow("ToolButton9") << "ToolButton9"
                                 << "修改好友"
                                 << "修改好友" << 5;
    QTest::newRow("ToolButton11") << "ToolButton11"
                                  << "打印资料"
                                  << "打印详细资料" << 12;
    QTest::newRow("ToolButton13") << "ToolButton13"
                                  << "计算器"
                                  << "计算器" << 11;
    QTest::newRow("ToolButton5") << "ToolButton5"
                                 << "关于"
                                 << "关于" << 8;
    QTest::newRow("ToolButton7") << "ToolButton7"
                                 << "退出"
                                 << "退出" << 7;
}

void TestMainWindow::toolbarButtons()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, tooltip);
    QFETCH(int, icon);

    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *button = window.ToolBar1->findChild<QToolButton *>(name);
    QVERIFY(button);
    QCOMPARE(button->size(), QSize(55, 36));
    QCOMPARE(button->text(), caption);
    QCOMPARE(button->toolTip(), tooltip);
    QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    QVERIFY(button->autoRaise());
    QCOMPARE(button->toolTipDuration(), 2500);
    QCOMPARE(
        iconImage(button->icon()), window.ImageList1->pixmap(icon).toImage().convertToFormat(QImage::Format_ARGB32));

    // Left to right in the window's order, with a 21 to 24 pixel gap between.
    const QStringList order = { QStringLiteral("ToolButton1"), QStringLiteral("ToolButton3"),
        QStringLiteral("ToolButton9"), QStringLiteral("ToolButton11"), QStringLiteral("ToolButton13"),
        QStringLiteral("ToolButton5"), QStringLiteral("ToolButton7") };
    const int at = int(order.indexOf(name));
    if (at > 0) {
        auto *before = window.ToolBar1->findChild<QToolButton *>(order.at(at - 1));
        const int gap = button->x() - (before->x() + before->width());
        QVERIFY2(gap >= 21 && gap <= 24, qPrintable(QString::number(gap)));
    }
    QVERIFY(button->geometry().right() < window.ToolBar1->width());
}

void TestMainWindow::menus()
{
    Tfrm_Main window;
    auto icon = [&](int i) { return window.ImageList1->pixmap(i).toImage().convertToFormat(QImage::Format_ARGB32); };

    // Main menu: titles, items and their icons.
    struct Item {
        QString menu;
        QString item;
        int icon;
    };
    const QList<Item> expected = {
        { QStringLiteral("[新建]"), QStringLiteral("添加好友"), 0 },
        // Import and export follow after a separator, without icons.
        { QStringLiteral("[新建]"), QString(), -1 },
        { QStringLiteral("[新建]"), QStringLiteral("导入联系人…"), -1 },
        { QStringLiteral("[新建]"), QStringLiteral("导出联系人…"), -1 },
        // Then the sync's, after another.
        { QStringLiteral("[新建]"), QString(), -1 },
        { QStringLiteral("[新建]"), QStringLiteral("同步设置…"), -1 },
        { QStringLiteral("[新建]"), QStringLiteral("立即同步"), -1 },
        { QStringLiteral("[删除]"), QStringLiteral("删除好友"), 1 },
        { QStringLiteral("[查看]"), QStringLiteral("详细资料"), 6 },
        { QStringLiteral("[查看]"), QStringLiteral("修改资料"), 5 },
        { QStringLiteral("[帮助]"), QStringLiteral("关于"), 8 },
    };
    QList<Item> found;
    QStringList titles;
    for (QAction *top : window.MainMenu1->actions()) {
        titles << top->text();
        for (QAction *a : top->menu()->actions())
            found.append({ top->text(), a->text(), -1 });
    }
    QCOMPARE(titles,
        (QStringList {
            QStringLiteral("[新建]"), QStringLiteral("[删除]"), QStringLiteral("[查看]"), QStringLiteral("[帮助]") }));
    QCOMPARE(found.size(), expected.size());
    int i = 0;
    for (QAction *top : window.MainMenu1->actions()) {
        for (QAction *a : top->menu()->actions()) {
            QCOMPARE(a->text(), expected.at(i).item);
            QCOMPARE(a->isSeparator(), expected.at(i).item.isEmpty());
            if (expected.at(i).icon < 0)
                QVERIFY(a->icon().isNull());
            else
                QCOMPARE(iconImage(a->icon()), icon(expected.at(i).icon));
            ++i;
        }
    }

    // Pop-up menu: order, separators, icons.
    const QStringList popupTexts = { QStringLiteral("添加好友"), QStringLiteral("修改好友"), QString(),
        QStringLiteral("删除好友"), QString(), QStringLiteral("打印资料"), QStringLiteral("计 算 器"),
        QStringLiteral("关于作者"), QString(), QStringLiteral("退出") };
    const QList<int> popupIcons = { 0, 5, -1, 1, -1, 12, 11, 8, -1, 7 };
    const QList<QAction *> entries = window.PopupMenu1->actions();
    QCOMPARE(entries.size(), popupTexts.size());
    for (int e = 0; e < entries.size(); ++e) {
        QCOMPARE(entries.at(e)->isSeparator(), popupTexts.at(e).isEmpty());
        if (entries.at(e)->isSeparator())
            continue;
        QCOMPARE(entries.at(e)->text(), popupTexts.at(e));
        QCOMPARE(iconImage(entries.at(e)->icon()), icon(popupIcons.at(e)));
    }
    QCOMPARE(window.DBGrid1->contextMenuPolicy(), Qt::CustomContextMenu);
}

void TestMainWindow::routing_data()
{
    QTest::addColumn<QString>("entry"); // "menu:<text>", "popup:<text>", "button:<name>", "timer"
    QTest::addColumn<QStringList>("calls");

    const QString add = QStringLiteral("ToolButton1Click");
    const QString del = QStringLiteral("ToolButton3Click");
    const QString mod = QStringLiteral("ToolButton9Click");
    const QString print = QStringLiteral("ToolButton11Click");
    const QString calc = QStringLiteral("ToolButton13Click");
    const QString about = QStringLiteral("N11Click");
    const QString exitCmd = QStringLiteral("ToolButton7Click");

    QTest::newRow("toolbar add") << "button:ToolButton1" << QStringList { add };
    QTest::newRow("toolbar delete") << "button:ToolButton3" << QStringList { del };
    QTest::newRow("toolbar modify") << "button:ToolButton9" << QStringList { mod };
    QTest::newRow("toolbar print") << "button:ToolButton11" << QStringList { print };
    QTest::newRow("toolbar calculator") << "button:ToolButton13" << QStringList { calc };
    QTest::newRow("toolbar about") << "button:ToolButton5" << QStringList { QStringLiteral("ToolButton5Click"), about };
    QTest::newRow("toolbar exit") << "button:ToolButton7" << QStringList { exitCmd };
    QTest::newRow("search") << "button:BitBtn1" << QStringList { QStringLiteral("BitBtn1Click") };
    QTest::newRow("reset") << "button:BitBtn2" << QStringList { QStringLiteral("BitBtn2Click") };

    QTest::newRow("menu add") << "menu:添加好友" << QStringList { QStringLiteral("N4Click"), add };
    QTest::newRow("menu delete") << "menu:删除好友" << QStringList { QStringLiteral("N6Click"), del };
    QTest::newRow("menu detail") << "menu:详细资料" << QStringList { QStringLiteral("N8Click"), print };
    QTest::newRow("menu modify") << "menu:修改资料" << QStringList { QStringLiteral("N9Click"), mod };
    QTest::newRow("menu about") << "menu:关于" << QStringList { about };

    QTest::newRow("popup add") << "popup:添加好友" << QStringList { add };
    QTest::newRow("popup modify") << "popup:修改好友" << QStringList { mod };
    QTest::newRow("popup delete") << "popup:删除好友" << QStringList { del };
    QTest::newRow("popup print") << "popup:打印资料" << QStringList { print };
    QTest::newRow("popup calculator") << "popup:计 算 器" << QStringList { calc };
    QTest::newRow("popup about") << "popup:关于作者" << QStringList { QStringLiteral("ToolButton5Click"), about };
    QTest::newRow("popup exit") << "popup:退出" << QStringList { exitCmd };

    QTest::newRow("timer") << "timer" << QStringList { QStringLiteral("Timer1Timer") };
}

void TestMainWindow::routing()
{
    QFETCH(QString, entry);
    QFETCH(QStringList, calls);

    ProbeWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.Timer1->stop();
    window.calls.clear();

    const QString kind = entry.section(QLatin1Char(':'), 0, 0);
    const QString what = entry.section(QLatin1Char(':'), 1);
    if (kind == QStringLiteral("button")) {
        auto *button = window.findChild<QToolButton *>(what);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    } else if (kind == QStringLiteral("menu")) {
        QAction *found = nullptr;
        for (QAction *top : window.MainMenu1->actions())
            for (QAction *a : top->menu()->actions())
                if (a->text() == what)
                    found = a;
        QVERIFY(found);
        found->trigger();
    } else if (kind == QStringLiteral("popup")) {
        QAction *found = nullptr;
        for (QAction *a : window.PopupMenu1->actions())
            if (a->text() == what)
                found = a;
        QVERIFY(found);
        found->trigger();
    } else {
        QVERIFY(QMetaObject::invokeMethod(window.Timer1, "timeout"));
    }
    QCOMPARE(window.calls, calls);
}

void TestMainWindow::automaticAccessKeys_data()
{
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<bool>("doubleByte");
    QTest::addColumn<QStringList>("expected");

    const QStringList popup = { QStringLiteral("添加好友"), QStringLiteral("修改好友"), QString(),
        QStringLiteral("删除好友"), QString(), QStringLiteral("打印资料"), QStringLiteral("计 算 器"),
        QStringLiteral("关于作者"), QString(), QStringLiteral("退出") };
    QTest::newRow("double-byte system") << popup << true
                                        << QStringList { QStringLiteral("添加好友(&T)"), QStringLiteral("修改好友(&U)"),
                                               QString(), QStringLiteral("删除好友(&V)"), QString(),
                                               QStringLiteral("打印资料(&W)"), QStringLiteral("计 算 器(&X)"),
                                               QStringLiteral("关于作者(&Y)"), QString(), QStringLiteral("退出(&Z)") };
    QTest::newRow("other system") << popup << false << popup;
    // A caption with a letter of its own needs no key; the letters go on to
    // the next entry up.
    QTest::newRow("letter in caption") << QStringList {
        QStringLiteral("甲"), QStringLiteral("QQ号"), QStringLiteral("乙")
    } << true << QStringList { QStringLiteral("甲(&Y)"), QStringLiteral("QQ号"), QStringLiteral("乙(&Z)") };
}

void TestMainWindow::automaticAccessKeys()
{
    QFETCH(QStringList, captions);
    QFETCH(bool, doubleByte);
    QFETCH(QStringList, expected);
    QCOMPARE(txl::ui::withAutomaticAccessKeys(captions, doubleByte), expected);
}

void TestMainWindow::popupAccessKeys_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("exitText");
    QTest::addColumn<QString>("addText");

    QTest::newRow("zh_CN") << "zh_CN"
                           << "退出(&Z)"
                           << "添加好友(&T)";
    QTest::newRow("ja_JP") << "ja_JP"
                           << "退出(&Z)"
                           << "添加好友(&T)";
    QTest::newRow("en_US") << "en_US"
                           << "退出"
                           << "添加好友";
    QTest::newRow("de_DE") << "de_DE"
                           << "退出"
                           << "添加好友";
}

void TestMainWindow::popupAccessKeys()
{
    QFETCH(QString, locale);
    QFETCH(QString, exitText);
    QFETCH(QString, addText);

    QLocale::setDefault(QLocale(locale));
    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Opened twice: keys are handed out afresh, never piled up.
    for (int round = 0; round < 2; ++round) {
        emit window.DBGrid1->customContextMenuRequested(QPoint(20, 20));
        QTRY_VERIFY(window.PopupMenu1->isVisible());
        const QList<QAction *> entries = window.PopupMenu1->actions();
        QCOMPARE(entries.first()->text(), addText);
        QCOMPARE(entries.last()->text(), exitText);
        window.PopupMenu1->hide();
    }
    // The toolbar and main menu keep their captions.
    QCOMPARE(window.ToolButton7->text(), QStringLiteral("退出"));
}

void TestMainWindow::popupKeyChoosesEntry()
{
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    ProbeWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.calls.clear();
    emit window.DBGrid1->customContextMenuRequested(QPoint(20, 20));
    QTRY_VERIFY(window.PopupMenu1->isVisible());
    QTest::keyClick(window.PopupMenu1, Qt::Key_W);
    QTRY_COMPARE(window.calls, QStringList { QStringLiteral("ToolButton11Click") });
}

void TestMainWindow::startUpListsEveryContact()
{
    txl::ui::BoxRecorder boxes;
    Tfrm_Main window;
    QVERIFY(boxes.boxes().isEmpty());
    QVERIFY(Dm->addquery->isActive());
    QCOMPARE(Dm->addquery->sql(), QStringLiteral("select * from data"));

    txl::ui::DBGrid *grid = window.DBGrid1;
    QAbstractItemModel *model = grid->model();
    QCOMPARE(model->rowCount(), 25);
    const QStringList titles = { QStringLiteral("姓名"), QStringLiteral("性别"), QStringLiteral("关系"),
        QStringLiteral("手机号码"), QStringLiteral("QQ"), QStringLiteral("家庭住址") };
    const QStringList fields = { QStringLiteral("姓名"), QStringLiteral("性别"), QStringLiteral("组名"),
        QStringLiteral("手机号码"), QStringLiteral("QQ号码"), QStringLiteral("家庭住址") };
    const QList<int> widths = { 64, 30, 50, 80, 70, 140 };
    QCOMPARE(model->columnCount(), titles.size());
    for (int c = 0; c < titles.size(); ++c) {
        QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), titles.at(c));
        QCOMPARE(grid->columnWidth(c), widths.at(c));
        // Each cell shows its own field of the row, whatever the stored order.
        for (int r : { 0, 12, 24 })
            QCOMPARE(
                model->index(r, c).data().toString(), Dm->addquery->value(r, Dm->addquery->fieldIndex(fields.at(c))));
    }
    // The e-mail column is not shown.
    for (int c = 0; c < model->columnCount(); ++c)
        QVERIFY(model->headerData(c, Qt::Horizontal).toString() != QStringLiteral("电子邮件"));

    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(grid->showGrid());
    QVERIFY(grid->horizontalHeader()->sectionsMovable());
    QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    QVERIFY(grid->verticalHeader()->sizeHint().width() <= 14);
    QCOMPARE(grid->currentRow(), 0);
    QCOMPARE(grid->currentIndex().row(), 0);

    QCOMPARE(window.panelText(0), QStringLiteral("提示："));
    QCOMPARE(window.panelText(1), QString());
    QCOMPARE(window.panelText(2), QStringLiteral("现在的时间："));
    QCOMPARE(window.panelText(3), QString());
    QCOMPARE(window.StatusBar1->panelWidths(), (QList<int> { 50, 250, 100, 50 }));
}

void TestMainWindow::startUpWithoutDatabase()
{
    ContactsFixture empty(-1);
    empty.createDm();
    txl::ui::BoxRecorder boxes;
    Tfrm_Main window;

    // Reported during creation, before the window is shown.
    QVERIFY(!window.isVisible());
    QCOMPARE(boxes.boxes().size(), 1);
    const ShownBox box = boxes.boxes().first();
    QCOMPARE(box.kind, ShownBox::ErrorReport);
    QCOMPARE(box.icon, txl::ui::Icon::Stop);
    QCOMPARE(box.caption, txl::ui::applicationTitle());
    QVERIFY2(box.text.contains(QStringLiteral("data_txl.mdb")), qPrintable(box.text));
    QVERIFY(box.text.endsWith(QLatin1Char('.')));
    QVERIFY(!box.text.endsWith(QStringLiteral("..")));

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.DBGrid1->model()->rowCount(), 0);
    QCOMPARE(window.DBGrid1->currentRow(), -1);
    // The rest of the start-up was skipped: layout widths stay.
    QCOMPARE(window.DBGrid1->columnWidth(0), 20);
    QCOMPARE(window.DBGrid1->columnWidth(4), 64);
    for (QToolButton *b : { window.ToolButton1, window.ToolButton3, window.ToolButton9, window.ToolButton11,
             window.ToolButton13, window.ToolButton5, window.ToolButton7, window.BitBtn1, window.BitBtn2 })
        QVERIFY(b->isEnabled());
    QVERIFY(!QDir(empty.dir()).exists(QStringLiteral("DataBase")));

    // Reset fails the same way while the cause remains, and still makes nothing.
    boxes.clear();
    window.BitBtn2Click();
    QCOMPARE(boxes.texts(), QStringList { box.text });
    QVERIFY(!QDir(empty.dir()).exists(QStringLiteral("DataBase")));
}

void TestMainWindow::gridFollowsQueryBothWays()
{
    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    txl::ui::DBGrid *grid = window.DBGrid1;

    // Query to grid.
    Dm->addquery->setRecNo(17);
    QCOMPARE(grid->currentIndex().row(), 17);
    QCOMPARE(grid->currentRow(), 17);
    QCOMPARE(grid->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(grid->selectionModel()->selectedRows().first().row(), 17);
    QVERIFY(grid->viewport()->rect().intersects(grid->visualRect(grid->currentIndex())));
    // The indicator marks that row, and only that row.
    QHeaderView *indicator = grid->verticalHeader();
    const QImage marks = indicator->viewport()->grab().toImage();
    auto darkPixels = [&](int row) {
        const int top = indicator->sectionViewportPosition(row);
        int dark = 0;
        for (int y = qMax(0, top); y < qMin(marks.height(), top + indicator->sectionSize(row)); ++y)
            for (int x = 0; x < marks.width(); ++x)
                dark += qGray(marks.pixel(x, y)) < 64;
        return dark;
    };
    QVERIFY(darkPixels(17) >= 6);
    QCOMPARE(darkPixels(16), 0);
    QCOMPARE(darkPixels(18), 0);

    // Grid to query: a click on a row, then the keyboard.
    const QRect cell = grid->visualRect(grid->model()->index(grid->rowAt(grid->viewport()->height() / 2), 1));
    const int clicked = grid->rowAt(cell.center().y());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QCOMPARE(Dm->addquery->recNo(), clicked);
    QCOMPARE(grid->currentRow(), clicked);
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(Dm->addquery->recNo(), clicked + 1);
    QCOMPARE(
        Dm->addquery->fieldByName(QStringLiteral("姓名")), grid->currentIndex().siblingAtColumn(0).data().toString());
}

void TestMainWindow::gridLayoutSurvivesReload()
{
    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QHeaderView *titles = window.DBGrid1->horizontalHeader();
    titles->resizeSection(5, 99);
    titles->moveSection(titles->visualIndex(3), 0); // mobile number first

    window.BitBtn2Click(); // reload
    QCOMPARE(window.DBGrid1->model()->rowCount(), 25);
    QCOMPARE(titles->sectionSize(5), 99);
    QCOMPARE(titles->sectionSize(0), 64);
    QCOMPARE(titles->logicalIndex(0), 3);
    QCOMPARE(titles->logicalIndex(1), 0);
}

void TestMainWindow::keyboardOrderAndEnter()
{
    txl::ui::BoxRecorder boxes;
    Tfrm_Main window;
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(window.RadioGroup1->button(0)));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(window.DBGrid1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(window.Edit1));

    // Enter in the search box searches, as the "查找" button does.
    const QString name = Dm->addquery->fieldByName(QStringLiteral("姓名"));
    window.Edit1->setText(name);
    QTest::keyClick(window.Edit1, Qt::Key_Return);
    QCOMPARE(Dm->addquery->sql(), QStringLiteral("select * from data where 姓名 like :p0"));
    QCOMPARE(Dm->addquery->fieldByName(QStringLiteral("姓名")), name);
    QCOMPARE(window.Edit1->text(), QString());
    QVERIFY(window.panelText(1).startsWith(QStringLiteral("总共查到")));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(window.Edit1));
}

void TestMainWindow::clockText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("expected");

    const QDate day(2024, 3, 5);
    QTest::newRow("zh_CN afternoon") << "zh_CN" << QDateTime(day, QTime(14, 7, 9)) << "2024/3/5 14:07:09";
    QTest::newRow("zh_CN morning") << "zh_CN" << QDateTime(day, QTime(9, 5, 3)) << "2024/3/5 09:05:03";
    QTest::newRow("en_US afternoon") << "en_US" << QDateTime(day, QTime(14, 7, 9)) << "3/5/24 2:07:09 PM";
    QTest::newRow("en_US morning") << "en_US" << QDateTime(day, QTime(9, 5, 3)) << "3/5/24 9:05:03 AM";
    QTest::newRow("en_US noon") << "en_US" << QDateTime(day, QTime(12, 0, 0)) << "3/5/24 12:00:00 PM";
    QTest::newRow("de_DE") << "de_DE" << QDateTime(day, QTime(14, 7, 9)) << "05.03.24 14:07:09";
    QTest::newRow("zh_CN midnight") << "zh_CN" << QDateTime(day, QTime(0, 0, 0)) << "2024/3/5";
    QTest::newRow("en_US midnight") << "en_US" << QDateTime(day, QTime(0, 0, 0)) << "3/5/24";
    QTest::newRow("zh_CN second after midnight") << "zh_CN" << QDateTime(day, QTime(0, 0, 1)) << "2024/3/5 00:00:01";
    QTest::newRow("en_US second after midnight") << "en_US" << QDateTime(day, QTime(0, 0, 1)) << "3/5/24 12:00:01 AM";
}

void TestMainWindow::clockText()
{
    QFETCH(QString, locale);
    QFETCH(QDateTime, when);
    QFETCH(QString, expected);
    QCOMPARE(txl::ui::clockText(when, QLocale(locale)), expected);
}

void TestMainWindow::clockTicks()
{
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    Tfrm_Main window;
    QCOMPARE(window.Timer1->interval(), 1000);
    QVERIFY(window.Timer1->isActive());
    QCOMPARE(window.panelText(3), QString());

    QTRY_VERIFY_WITH_TIMEOUT(!window.panelText(3).isEmpty(), 2000);
    const QString first = window.panelText(3);
    const QDateTime now = QDateTime::currentDateTime();
    QVERIFY2(first == txl::ui::clockText(now, QLocale()) || first == txl::ui::clockText(now.addSecs(-1), QLocale()),
        qPrintable(first));
    QVERIFY(first.startsWith(QLocale().toString(now.date(), QLocale::ShortFormat)));
    QTRY_VERIFY_WITH_TIMEOUT(window.panelText(3) != first, 2500);
}

void TestMainWindow::hoverTexts_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("expected"); // panel 1 afterwards; "-": unchanged

    QTest::newRow("search box") << "Edit1"
                                << "请你输入查询内容";
    QTest::newRow("grid rows") << "grid"
                               << "欢迎你使用本软件！";
    QTest::newRow("grid titles") << "titles"
                                 << "欢迎你使用本软件！";
    QTest::newRow("row indicator") << "indicator"
                                   << "欢迎你使用本软件！";
    QTest::newRow("toolbar") << "ToolBar1"
                             << "-";
    QTest::newRow("toolbar button") << "ToolButton1"
                                    << "-";
    QTest::newRow("search button") << "BitBtn1"
                                   << "-";
    QTest::newRow("radio group") << "RadioGroup1"
                                 << "-";
}

void TestMainWindow::hoverTexts()
{
    QFETCH(QString, target);
    QFETCH(QString, expected);

    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWidget *w = nullptr;
    if (target == QStringLiteral("grid"))
        w = window.DBGrid1->viewport();
    else if (target == QStringLiteral("titles"))
        w = window.DBGrid1->horizontalHeader()->viewport();
    else if (target == QStringLiteral("indicator"))
        w = window.DBGrid1->verticalHeader()->viewport();
    else
        w = window.findChild<QWidget *>(target);
    QVERIFY(w);

    QCOMPARE(window.Edit1->toolTip(), QString());
    window.setPanelText(1, QStringLiteral("总共查到3条记录！"));
    sendMouseMove(w);
    QCOMPARE(window.panelText(1), expected == QStringLiteral("-") ? QStringLiteral("总共查到3条记录！") : expected);
    if (target == QStringLiteral("Edit1")) {
        QCOMPARE(window.Edit1->toolTip(), QStringLiteral("请你输入查询内容!"));
        QCOMPARE(window.Edit1->toolTipDuration(), 2500);
    } else {
        QCOMPARE(window.Edit1->toolTip(), QString());
    }
}

void TestMainWindow::exitWays_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("yes");

    for (const char *way : { "close box", "system close", "toolbar", "pop-up" }) {
        QTest::newRow(qPrintable(QStringLiteral("%1, yes").arg(QLatin1String(way))))
            << QString::fromLatin1(way) << true;
        QTest::newRow(qPrintable(QStringLiteral("%1, no").arg(QLatin1String(way))))
            << QString::fromLatin1(way) << false;
    }
}

void TestMainWindow::exitWays()
{
    QFETCH(QString, way);
    QFETCH(bool, yes);

    txl::ui::BoxRecorder boxes;
    boxes.queueAnswer(yes);
    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (way == QStringLiteral("close box")) {
        window.close();
    } else if (way == QStringLiteral("system close")) {
        // What the window manager sends for Alt+F4 or its own close entry.
        QCloseEvent event;
        QApplication::sendEvent(window.windowHandle(), &event);
    } else if (way == QStringLiteral("toolbar")) {
        QTest::mouseClick(window.ToolButton7, Qt::LeftButton);
    } else {
        window.N21->trigger();
    }
    QCOMPARE(boxes.boxes().size(), 1);
    const ShownBox box = boxes.boxes().first();
    QCOMPARE(box.kind, ShownBox::Question);
    QCOMPARE(box.text, QStringLiteral("真的要退出吗？"));
    QCOMPARE(box.caption, QStringLiteral("Confirm"));
    QCOMPARE(box.icon, txl::ui::Icon::Question);
    QCOMPARE(window.isVisible(), !yes);
    if (!yes) {
        // Nothing changed: the list is still there.
        QVERIFY(Dm->addquery->isActive());
        QCOMPARE(window.DBGrid1->model()->rowCount(), 25);
    }
}

void TestMainWindow::exitQuestionDialog_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("closes");

    QTest::newRow("Yes") << "yes" << true;
    QTest::newRow("Enter") << "enter" << true;
    QTest::newRow("No") << "no" << false;
    QTest::newRow("Escape") << "escape" << false;
    QTest::newRow("close box") << "closebox" << false;
}

void TestMainWindow::exitQuestionDialog()
{
    QFETCH(QString, answer);
    QFETCH(bool, closes);

    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QString seenText;
    QString seenTitle;
    whenBoxShows([&](QMessageBox *box) {
        seenText = box->text();
        seenTitle = box->windowTitle();
        if (answer == QStringLiteral("yes"))
            QTest::mouseClick(box->findChild<QPushButton *>(QStringLiteral("Yes")), Qt::LeftButton);
        else if (answer == QStringLiteral("no"))
            QTest::mouseClick(box->findChild<QPushButton *>(QStringLiteral("No")), Qt::LeftButton);
        else if (answer == QStringLiteral("enter"))
            QTest::keyClick(box, Qt::Key_Return);
        else if (answer == QStringLiteral("escape"))
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->close();
    });
    QCOMPARE(window.close(), closes);
    QCOMPARE(seenText, QStringLiteral("真的要退出吗？"));
    QCOMPARE(seenTitle, QStringLiteral("Confirm"));
    QCOMPARE(window.isVisible(), !closes);
}

void TestMainWindow::sessionEndClosesWithoutAsking()
{
    txl::ui::BoxRecorder boxes;
    boxes.queueAnswer(false);
    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.sessionEnding();
    QVERIFY(boxes.boxes().isEmpty());
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
