// Keyboard use of the main window: each key reaches the handler its menu
// entry or button reaches, where the focus allows it, and the menu entries
// show their keys.
#include "TestSupport.h"

#include "platform/data/Query.h"
#include "platform/grid/DBGrid.h"
#include "platform/ui/Dialogs.h"
#include "shell/Unit_Main.h"
#include "store/Unit_Dm.h"

#include <QAccessible>
#include <QAction>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest>

namespace {

// Records the handlers reached; the forwarding ones still forward.
class ProbeWindow : public Tfrm_Main {
public:
    QStringList calls;

    void ToolButton1Click() override { calls << QStringLiteral("ToolButton1Click"); }
    void ToolButton9Click() override { calls << QStringLiteral("ToolButton9Click"); }
    void ToolButton3Click() override { calls << QStringLiteral("ToolButton3Click"); }
    void ToolButton11Click() override { calls << QStringLiteral("ToolButton11Click"); }
    void BitBtn1Click() override { calls << QStringLiteral("BitBtn1Click"); }
    void BitBtn2Click() override { calls << QStringLiteral("BitBtn2Click"); }
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
};

QWidget *focusTarget(Tfrm_Main &w, const QString &name)
{
    if (name == QStringLiteral("grid"))
        return w.DBGrid1;
    if (name == QStringLiteral("search"))
        return w.Edit1;
    return w.RadioGroup1->button(0);
}

} // namespace

class TestShortcuts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void keysReachHandlers_data();
    void keysReachHandlers();
    void menuEntriesShowKeys_data();
    void menuEntriesShowKeys();
    void findFocusesSearchBox();
    void deleteKeyAsksFirst_data();
    void deleteKeyAsksFirst();
    void enterSearchesLikeTheButton();
    void accessibleNames();

private:
    std::unique_ptr<ContactsFixture> m_fixture;
};

void TestShortcuts::initTestCase()
{
    m_fixture = std::make_unique<ContactsFixture>(5);
}

// Tests with contacts of their own replace the data module: each test starts
// from the shared one again.
void TestShortcuts::init()
{
    m_fixture->createDm();
}

void TestShortcuts::keysReachHandlers_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<QStringList>("expected");
    const QStringList add { QStringLiteral("N4Click"), QStringLiteral("ToolButton1Click") };
    const QStringList modify { QStringLiteral("N9Click"), QStringLiteral("ToolButton9Click") };
    const QStringList remove { QStringLiteral("N6Click"), QStringLiteral("ToolButton3Click") };
    const QStringList print { QStringLiteral("N8Click"), QStringLiteral("ToolButton11Click") };
    const QStringList search { QStringLiteral("BitBtn1Click") };

    QTest::newRow("Ctrl+N on the grid") << "grid" << QKeySequence(Qt::CTRL | Qt::Key_N) << add;
    QTest::newRow("Ctrl+N in the search box") << "search" << QKeySequence(Qt::CTRL | Qt::Key_N) << add;
    QTest::newRow("Ctrl+N on the radio group") << "radio" << QKeySequence(Qt::CTRL | Qt::Key_N) << add;
    QTest::newRow("Ctrl+P on the grid") << "grid" << QKeySequence(Qt::CTRL | Qt::Key_P) << print;
    QTest::newRow("Ctrl+P in the search box") << "search" << QKeySequence(Qt::CTRL | Qt::Key_P) << print;
    QTest::newRow("F2 on the grid") << "grid" << QKeySequence(Qt::Key_F2) << modify;
    QTest::newRow("Return on the grid") << "grid" << QKeySequence(Qt::Key_Return) << modify;
    QTest::newRow("Enter on the grid") << "grid" << QKeySequence(Qt::Key_Enter) << modify;
    QTest::newRow("Delete on the grid") << "grid" << QKeySequence(Qt::Key_Delete) << remove;
    QTest::newRow("Return in the search box") << "search" << QKeySequence(Qt::Key_Return) << search;
    QTest::newRow("Enter in the search box") << "search" << QKeySequence(Qt::Key_Enter) << search;
    // In the search box these keys edit the text.
    QTest::newRow("Delete in the search box") << "search" << QKeySequence(Qt::Key_Delete) << QStringList();
    QTest::newRow("F2 in the search box") << "search" << QKeySequence(Qt::Key_F2) << QStringList();
    QTest::newRow("Delete on the radio group") << "radio" << QKeySequence(Qt::Key_Delete) << QStringList();
    QTest::newRow("Return on the radio group") << "radio" << QKeySequence(Qt::Key_Return) << QStringList();
}

void TestShortcuts::keysReachHandlers()
{
    QFETCH(QString, focus);
    QFETCH(QKeySequence, key);
    QFETCH(QStringList, expected);
    txl::ui::BoxRecorder boxes;
    ProbeWindow window;
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QWidget *target = focusTarget(window, focus);
    target->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), target);
    window.Edit1->setText(QStringLiteral("张三"));
    window.Edit1->setCursorPosition(0);

    QTest::keySequence(target, key);
    QCOMPARE(window.calls, expected);
    QVERIFY(boxes.boxes().isEmpty());
    if (key == QKeySequence(Qt::Key_Delete) && focus == QStringLiteral("search"))
        QCOMPARE(window.Edit1->text(), QStringLiteral("三"));
}

void TestShortcuts::menuEntriesShowKeys_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QKeySequence>("key");
    QTest::newRow("添加好友") << "N4" << QKeySequence(Qt::CTRL | Qt::Key_N);
    QTest::newRow("删除好友") << "N6" << QKeySequence(Qt::Key_Delete);
    QTest::newRow("详细资料") << "N8" << QKeySequence(Qt::CTRL | Qt::Key_P);
    QTest::newRow("修改资料") << "N9" << QKeySequence(Qt::Key_F2);
}

void TestShortcuts::menuEntriesShowKeys()
{
    QFETCH(QString, entry);
    QFETCH(QKeySequence, key);
    txl::ui::BoxRecorder boxes;
    Tfrm_Main window;
    auto *action = window.findChild<QAction *>(entry);
    QVERIFY(action);
    // The key shows beside the caption; the caption itself is unchanged
    // (no access letter added).
    QCOMPARE(action->shortcut(), key);
    QVERIFY(!action->text().contains(QLatin1Char('&')));
    QVERIFY(!action->text().contains(QLatin1Char('\t')));
}

void TestShortcuts::findFocusesSearchBox()
{
    txl::ui::BoxRecorder boxes;
    ProbeWindow window;
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.Edit1->setText(QStringLiteral("李"));
    for (QWidget *from :
        { static_cast<QWidget *>(window.DBGrid1), static_cast<QWidget *>(window.RadioGroup1->button(0)) }) {
        from->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), from);
        QTest::keySequence(from, QKeySequence(Qt::CTRL | Qt::Key_F));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(window.Edit1));
        // Typing replaces what was there.
        QCOMPARE(window.Edit1->selectedText(), QStringLiteral("李"));
    }
    QVERIFY(window.calls.isEmpty());
}

void TestShortcuts::deleteKeyAsksFirst_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("rowsAfter");
    QTest::newRow("No keeps the contact") << false << 5;
    QTest::newRow("Yes deletes it") << true << 4;
}

void TestShortcuts::deleteKeyAsksFirst()
{
    QFETCH(bool, answer);
    QFETCH(int, rowsAfter);
    ContactsFixture fixture(5);
    fixture.createDm();
    txl::ui::BoxRecorder boxes;
    boxes.queueAnswer(answer);
    Tfrm_Main window;
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.DBGrid1->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(window.DBGrid1));
    const QStringList before = fixture.rows();
    QCOMPARE(before.size(), 5);

    QTest::keyClick(window.DBGrid1, Qt::Key_Delete);
    QCOMPARE(boxes.texts(), QStringList { QStringLiteral("你是否真的要删除此用户？") });
    QCOMPARE(fixture.rows().size(), rowsAfter);
    QCOMPARE(Dm->addquery->recordCount(), rowsAfter);
}

void TestShortcuts::enterSearchesLikeTheButton()
{
    ContactsFixture fixture(0);
    fixture.createDm();
    fixture.exec(QStringLiteral("insert into data values('张三','男','1','13800000001','','','朋友');"
                                "insert into data values('李四','女','2','13900000002','','','同事');"));
    txl::ui::BoxRecorder boxes;
    Tfrm_Main window;
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(Dm->addquery->recordCount(), 2);
    window.Edit1->setFocus();
    window.Edit1->setText(QStringLiteral("李"));
    QTest::keyClick(window.Edit1, Qt::Key_Return);
    QCOMPARE(Dm->addquery->recordCount(), 1);
    QCOMPARE(Dm->addquery->fieldByName(QStringLiteral("姓名")), QStringLiteral("李四"));
    QCOMPARE(window.panelText(1), QStringLiteral("总共查到1条记录！"));
    QCOMPARE(window.Edit1->text(), QString());
    // An empty box answers as the button does.
    QTest::keyClick(window.Edit1, Qt::Key_Return);
    QCOMPARE(boxes.texts(), QStringList { QStringLiteral("请你输入查询条件！") });
}

void TestShortcuts::accessibleNames()
{
    txl::ui::BoxRecorder boxes;
    Tfrm_Main window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QList<QPair<QWidget *, QString>> expected {
        { window.DBGrid1, QStringLiteral("联系人列表") },
        { window.Edit1, QStringLiteral("查询内容") },
        { window.BitBtn1, QStringLiteral("查找") },
        { window.BitBtn2, QStringLiteral("返回") },
        { window.ToolButton1, QStringLiteral("添加好友") },
        { window.ToolButton3, QStringLiteral("删除好友") },
        { window.ToolButton9, QStringLiteral("修改好友") },
        { window.ToolButton11, QStringLiteral("打印资料") },
        { window.ToolButton13, QStringLiteral("计算器") },
        { window.ToolButton5, QStringLiteral("关于") },
        { window.ToolButton7, QStringLiteral("退出") },
    };
    for (const auto &[widget, name] : expected) {
        // What a screen reader is told, through Qt's accessibility bridge.
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(iface);
        QCOMPARE(iface->text(QAccessible::Name), name);
    }
}

QTEST_MAIN(TestShortcuts)
#include "tst_shortcuts.moc"
