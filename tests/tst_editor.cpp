// The contact editor dialog and its input widgets, against a real contacts
// file: adding and modifying through the shared contacts query.
#include "TestSupport.h"

#include "contacts/Unit_add.h"
#include "platform/data/Query.h"
#include "platform/text/Cp936.h"
#include "platform/ui/ByteLimitedEdit.h"
#include "platform/ui/CompletingComboBox.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/TypeAheadComboBox.h"
#include "shell/Unit_Main.h"
#include "store/Unit_Dm.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>
#include <functional>

using txl::Query;
using txl::ui::BoxRecorder;
using txl::ui::ShownBox;

namespace {

const QString kAllGroups = QStringLiteral("朋友,家人,亲友,哥们,情人,一般,同事");

// Three contacts; the second and third share the character 张 for searches.
void fillContacts(const ContactsFixture &fx)
{
    fx.exec(QStringLiteral(
        "insert into data values('李四','女','10002','13900000002','li@example.com','北京','家人');"
        "insert into data values('张三','男','10001','13900000001','zhang@example.com','上海','朋友');"
        "insert into data values('张伟','男','10003','13900000003','wei@example.com','广州','同事');"
        "insert into data values('O''Brien','男','10004','13900000004','ob@example.com','天津','一般');"));
}

void narrow(Query *q, const QString &statement)
{
    q->close();
    q->clearSql();
    q->addSql(statement);
    q->open();
}

// Types text one key per character, Chinese included (QTest::keyClicks
// takes ASCII only); the key code is the character, as X11 reports it.
void typeText(QWidget *w, const QString &text)
{
    for (const QChar c : text) {
        const int key = c.unicode() < 0x80 ? QChar(c).toUpper().unicode() : c.unicode();
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key(key), QString(c), Qt::NoModifier);
    }
}

// Types keys; "\b" stands for Backspace.
void typeKeys(QWidget *w, const QString &keys)
{
    for (const QChar c : keys) {
        if (c == QLatin1Char('\b'))
            QTest::keyClick(w, Qt::Key_Backspace);
        else
            typeText(w, QString(c));
    }
}

void commit(QWidget *w, const QString &text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(w, &event);
}

QStringList itemsOf(const QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

QString boxSummary(const ShownBox &b)
{
    return b.text + QLatin1Char('/') + b.caption;
}

QStringList noticeSummaries(const BoxRecorder &rec)
{
    QStringList out;
    for (const ShownBox &b : rec.boxes())
        out << (b.kind == ShownBox::Notice ? boxSummary(b) : QStringLiteral("error:") + b.text);
    return out;
}

// Runs `inside` once the opener's modal dialog runs; `inside` must leave the
// dialog closed. The timer dies with the call, so a dialog that never opens
// leaves nothing behind to fire in a later test.
bool openWhileRunning(const std::function<void()> &opener, const std::function<void(Tfrm_Add *)> &inside)
{
    bool opened = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        Tfrm_Add *dialog = frm_Add;
        if (!dialog || QApplication::activeModalWidget() != dialog)
            return;
        opened = true;
        inside(dialog);
        if (dialog->isVisible())
            dialog->close(); // a failed check must not leave the loop running
    });
    timer.start(0);
    opener();
    return opened;
}

// The dialog in add mode as the opener leaves it, shown.
struct AddDialog {
    Tfrm_Add dialog;
    AddDialog()
    {
        dialog.setWindowTitle(QStringLiteral("添加好友"));
        dialog.show();
    }
};

} // namespace

class TestEditor : public QObject {
    Q_OBJECT
private slots:
    void fieldsAreNamedForScreenReaders_data();
    void fieldsAreNamedForScreenReaders();
    void byteLimitTyped_data();
    void byteLimitTyped();
    void byteLimitPastedAndComposed();
    void byteLimitSparesProgramText();
    void typeAhead_data();
    void typeAhead();
    void typeAheadRestartsAfterPause();
    void completion_data();
    void completion();
    void completionNeverMatchesBehindTheUser();

    void dialogLayout();
    void enterAndEscapeDoNothing();
    void dialogLimits();
    void incompleteInput_data();
    void incompleteInput();
    void addStores_data();
    void addStores();
    void addThroughToolbar();
    void addRefusesDuplicate_data();
    void addRefusesDuplicate();
    void addAfterErasingSex();
    void addReportsDatabaseError();

    void modifyNarrowedList();
    void modifyWritesByColumnName();
    void modifyRefusedBeforeOpening_data();
    void modifyRefusedBeforeOpening();
    void modifyUnknownGroup();
    void refusedWriteThenCancel();
    void refusedWriteRetried();
};

// --- input widgets ---------------------------------------------------------

void TestEditor::fieldsAreNamedForScreenReaders_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("add") << int(Tfrm_Add::Mode::Add);
    QTest::newRow("modify") << int(Tfrm_Add::Mode::Modify);
}

// What a screen reader announces for each input: its own name, with its
// label as the "labelled by" relation, never the group box caption.
void TestEditor::fieldsAreNamedForScreenReaders()
{
    QFETCH(int, mode);
    Tfrm_Add dialog;
    dialog.setMode(Tfrm_Add::Mode(mode));
    dialog.show();
    const QList<std::tuple<QWidget *, QLabel *, QString>> fields {
        { dialog.Edit1, dialog.Label1, QStringLiteral("姓名") },
        { dialog.ComboBox1, dialog.Label2, QStringLiteral("性别") },
        { dialog.Edit2, dialog.Label3, QStringLiteral("手机号码") },
        { dialog.Edit5, dialog.Label4, QStringLiteral("QQ号码") },
        { dialog.Edit3, dialog.Label5, QStringLiteral("电子邮件") },
        { dialog.Edit4, dialog.Label7, QStringLiteral("家庭住址") },
        { dialog.ComboBox2, dialog.Label6, QStringLiteral("选择组") },
    };
    for (const auto &[widget, label, name] : fields) {
        QAccessibleInterface *field = QAccessible::queryAccessibleInterface(widget);
        QVERIFY2(field, qPrintable(widget->objectName()));
        // Qt on Linux names a combo box by its value and lets the label
        // relation say what it is; the name set is for the other platforms.
        if (qobject_cast<QComboBox *>(widget))
            QCOMPARE(widget->accessibleName(), name);
        else
            QCOMPARE(field->text(QAccessible::Name), name);
        bool labelled = false;
        for (const auto &[other, relation] : field->relations(QAccessible::Label))
            labelled = labelled || (relation & QAccessible::Label && other->object() == label);
        QVERIFY2(labelled, qPrintable(widget->objectName()));
    }
}

void TestEditor::byteLimitTyped_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("digits") << QString() << 0 << QStringLiteral("123456789012") << QStringLiteral("12345678901");
    QTest::newRow("five chinese") << QString() << 0 << QStringLiteral("张三李四王五") << QStringLiteral("张三李四王");
    QTest::newRow("chinese then digit fits")
        << QString() << 0 << QStringLiteral("张三李四王1") << QStringLiteral("张三李四王1");
    QTest::newRow("odd byte left") << QString() << 0 << QStringLiteral("12张三李四王") << QStringLiteral("12张三李四");
    QTest::newRow("chinese in the middle refused")
        << QStringLiteral("1234567890") << 5 << QStringLiteral("张") << QStringLiteral("1234567890");
    QTest::newRow("digit in the middle") << QStringLiteral("1234567890") << 5 << QStringLiteral("ab")
                                         << QStringLiteral("12345a67890");
}

void TestEditor::byteLimitTyped()
{
    QFETCH(QString, start);
    QFETCH(int, cursor);
    QFETCH(QString, typed);
    QFETCH(QString, expected);

    txl::ui::ByteLimitedEdit edit;
    edit.setMaxBytes(11);
    edit.setText(start);
    edit.setCursorPosition(cursor);
    typeText(&edit, typed);
    QCOMPARE(edit.text(), expected);
}

void TestEditor::byteLimitPastedAndComposed()
{
    txl::ui::ByteLimitedEdit edit;
    edit.setMaxBytes(11);

    // Pasting keeps the part that fits, at the caret.
    QGuiApplication::clipboard()->setText(QStringLiteral("张三李四王五六"));
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit.text(), QStringLiteral("张三李四王"));

    edit.setText(QStringLiteral("1234567890"));
    edit.setCursorPosition(2);
    QGuiApplication::clipboard()->setText(QStringLiteral("A张B"));
    edit.paste(); // the context menu's way
    QCOMPARE(edit.text(), QStringLiteral("12A34567890"));
    QCOMPARE(edit.cursorPosition(), 3);

    // Pasting over a selection measures what stays around it.
    edit.selectAll();
    QGuiApplication::clipboard()->setText(QStringLiteral("王五赵六钱七"));
    edit.paste();
    QCOMPARE(edit.text(), QStringLiteral("王五赵六钱"));

    // An input method's commit is cut the same way.
    edit.clear();
    commit(&edit, QStringLiteral("一二三四五六"));
    QCOMPARE(edit.text(), QStringLiteral("一二三四五"));
    QCOMPARE(txl::text::byteLength(edit.text()), 10);
}

void TestEditor::byteLimitSparesProgramText()
{
    // A stored value longer than the limit is shown in full and can be
    // shortened, but not lengthened.
    txl::ui::ByteLimitedEdit edit;
    edit.setMaxBytes(11);
    edit.setText(QStringLiteral("1234567890123"));
    QCOMPARE(edit.text(), QStringLiteral("1234567890123"));
    edit.end(false);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QCOMPARE(edit.text(), QStringLiteral("123456789012"));
    typeText(&edit, QStringLiteral("x"));
    QCOMPARE(edit.text(), QStringLiteral("123456789012"));
}

void TestEditor::typeAhead_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("first letter") << QStringLiteral("b") << QStringLiteral("banana");
    QTest::newRow("first of two") << QStringLiteral("ap") << QStringLiteral("apple");
    QTest::newRow("prefix grows") << QStringLiteral("apr") << QStringLiteral("apricot");
    QTest::newRow("case ignored") << QStringLiteral("APR") << QStringLiteral("apricot");
    QTest::newRow("chinese prefix") << QStringLiteral("同学") << QStringLiteral("同学");
    QTest::newRow("no match keeps") << QStringLiteral("bx") << QStringLiteral("banana");
    QTest::newRow("nothing begins") << QStringLiteral("x") << QString();
}

void TestEditor::typeAhead()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);

    txl::ui::TypeAheadComboBox box;
    box.addItems({ QStringLiteral("apple"), QStringLiteral("apricot"), QStringLiteral("banana"), QStringLiteral("同事"),
        QStringLiteral("同学") });
    box.setCurrentIndex(-1);
    typeText(&box, typed);
    QCOMPARE(box.currentText(), expected);
    QVERIFY(!box.isEditable());
}

void TestEditor::typeAheadRestartsAfterPause()
{
    txl::ui::TypeAheadComboBox box;
    box.addItems({ QStringLiteral("apple"), QStringLiteral("banana"), QStringLiteral("同事") });
    box.setCurrentIndex(-1);

    typeText(&box, QStringLiteral("a"));
    QCOMPARE(box.currentText(), QStringLiteral("apple"));
    typeText(&box, QStringLiteral("b")); // "ab": nothing begins so
    QCOMPARE(box.currentText(), QStringLiteral("apple"));
    QTest::qWait(txl::ui::TypeAheadComboBox::restartAfterMs + 100);
    typeText(&box, QStringLiteral("b"));
    QCOMPARE(box.currentText(), QStringLiteral("banana"));
    QTest::qWait(txl::ui::TypeAheadComboBox::restartAfterMs + 100);
    commit(&box, QStringLiteral("同"));
    QCOMPARE(box.currentText(), QStringLiteral("同事"));
}

void TestEditor::completion_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("startIndex");
    QTest::addColumn<bool>("highlightAll");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("highlighted");
    QTest::addColumn<int>("index");

    const QStringList latin { QStringLiteral("male"), QStringLiteral("female") };
    const QStringList sexes { QStringLiteral("男"), QStringLiteral("女") };
    QTest::newRow("completes") << latin << QString() << -1 << false << 0 << QStringLiteral("f")
                               << QStringLiteral("female") << QStringLiteral("emale") << 1;
    QTest::newRow("typing into highlight") << latin << QString() << -1 << false << 0 << QStringLiteral("fe")
                                           << QStringLiteral("female") << QStringLiteral("male") << 1;
    QTest::newRow("case ignored") << latin << QString() << -1 << false << 0 << QStringLiteral("F")
                                  << QStringLiteral("female") << QStringLiteral("emale") << 1;
    QTest::newRow("no item begins") << latin << QString() << -1 << false << 0 << QStringLiteral("fx")
                                    << QStringLiteral("fx") << QString() << -1;
    QTest::newRow("over whole highlight") << latin << QStringLiteral("male") << 0 << true << 0 << QStringLiteral("f")
                                          << QStringLiteral("female") << QStringLiteral("emale") << 1;
    QTest::newRow("whole text is the base") << latin << QStringLiteral("male") << 0 << false << 4 << QStringLiteral("s")
                                            << QStringLiteral("males") << QString() << -1;
    QTest::newRow("backspace takes highlight")
        << latin << QString() << -1 << false << 0 << QStringLiteral("f\b") << QStringLiteral("f") << QString() << -1;
    QTest::newRow("backspace before caret") << latin << QStringLiteral("male") << 0 << false << 2
                                            << QStringLiteral("\b") << QStringLiteral("mle") << QString() << -1;
    QTest::newRow("backspace on empty") << latin << QString() << 0 << false << 0 << QStringLiteral("\b") << QString()
                                        << QString() << -1;
    QTest::newRow("after erase the rest is the base")
        << latin << QString() << -1 << false << 0 << QStringLiteral("m\bm") << QStringLiteral("mm") << QString() << -1;
    QTest::newRow("erase all then complete") << latin << QString() << -1 << false << 0 << QStringLiteral("m\b\bf")
                                             << QStringLiteral("female") << QStringLiteral("emale") << 1;
    QTest::newRow("chinese over highlight") << sexes << QStringLiteral("男") << 0 << true << 0 << QStringLiteral("女")
                                            << QStringLiteral("女") << QString() << 1;
    QTest::newRow("chinese after text") << sexes << QStringLiteral("男") << 0 << false << 1 << QStringLiteral("女")
                                        << QStringLiteral("男女") << QString() << -1;
    QTest::newRow("selected item retyped") << sexes << QStringLiteral("女") << 0 << true << 0 << QStringLiteral("男")
                                           << QStringLiteral("男") << QString() << 0;
}

void TestEditor::completion()
{
    QFETCH(QStringList, items);
    QFETCH(QString, start);
    QFETCH(int, startIndex);
    QFETCH(bool, highlightAll);
    QFETCH(int, cursor);
    QFETCH(QString, keys);
    QFETCH(QString, text);
    QFETCH(QString, highlighted);
    QFETCH(int, index);

    txl::ui::CompletingComboBox box;
    box.addItems(items);
    box.setCurrentIndex(startIndex);
    box.setEditText(start);
    if (highlightAll)
        box.lineEdit()->selectAll();
    else
        box.lineEdit()->setCursorPosition(cursor);

    typeKeys(&box, keys);
    QCOMPARE(box.currentText(), text);
    QCOMPARE(box.lineEdit()->selectedText(), highlighted);
    QCOMPARE(box.currentIndex(), index);
    QCOMPARE(box.count(), items.size());
}

void TestEditor::completionNeverMatchesBehindTheUser()
{
    txl::ui::CompletingComboBox box;
    box.addItems({ QStringLiteral("男"), QStringLiteral("女") });
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));

    // Back to a text that equals an item: still no item selected, neither
    // after Enter nor when the box loses the focus.
    box.setEditText(QStringLiteral("男女"));
    box.lineEdit()->end(false);
    QTest::keyClick(&box, Qt::Key_Backspace);
    QCOMPARE(box.currentText(), QStringLiteral("男"));
    QCOMPARE(box.currentIndex(), -1);
    QTest::keyClick(&box, Qt::Key_Return);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&box, &out);
    QCOMPARE(box.currentIndex(), -1);
    QCOMPARE(box.currentText(), QStringLiteral("男"));
    QCOMPARE(box.count(), 2);

    // An input method's commit completes like a key.
    box.lineEdit()->selectAll();
    commit(&box, QStringLiteral("女"));
    QCOMPARE(box.currentIndex(), 1);
    QCOMPARE(box.currentText(), QStringLiteral("女"));
}

// --- the dialog ------------------------------------------------------------

void TestEditor::dialogLayout()
{
    Tfrm_Add dialog;
    QCOMPARE(dialog.ComboBox2->currentIndex(), -1); // chosen only on showing
    QCOMPARE(itemsOf(dialog.ComboBox2).join(QLatin1Char(',')), kAllGroups);
    QVERIFY(!dialog.ComboBox2->isEditable());
    QCOMPARE(itemsOf(dialog.ComboBox1), QStringList({ QStringLiteral("男"), QStringLiteral("女") }));
    QVERIFY(dialog.ComboBox1->isEditable());
    QCOMPARE(dialog.ComboBox1->currentIndex(), 0);
    QCOMPARE(dialog.ComboBox1->currentText(), QStringLiteral("男"));
    QCOMPARE(dialog.Edit1->text(), QString());
    // The samples are hints only: the boxes themselves start empty.
    for (QLineEdit *edit : { static_cast<QLineEdit *>(dialog.Edit2), static_cast<QLineEdit *>(dialog.Edit5),
             static_cast<QLineEdit *>(dialog.Edit3) })
        QCOMPARE(edit->text(), QString());
    QCOMPARE(dialog.Edit2->placeholderText(), QStringLiteral("132********"));
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9]{9}$")).match(dialog.Edit5->placeholderText()).hasMatch());
    QVERIFY(dialog.Edit3->placeholderText().contains(QLatin1Char('@')));
    QCOMPARE(dialog.Edit4->text(), QString());
    QCOMPARE(dialog.size(), QSize(393, 271));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QVERIFY(!(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(dialog.isModal());

    dialog.setWindowTitle(QStringLiteral("添加好友"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.ComboBox2->currentText(), QStringLiteral("朋友"));
    QCOMPARE(QApplication::focusWidget(), dialog.Edit1);

    const QStringList order { QStringLiteral("ComboBox1"), QStringLiteral("Edit2"), QStringLiteral("Edit3"),
        QStringLiteral("Edit4"), QStringLiteral("ComboBox2"), QStringLiteral("Edit5"), QStringLiteral("BitBtn2"),
        QStringLiteral("BitBtn1"), QStringLiteral("Edit1") };
    QStringList walked;
    for (int i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
    }
    QCOMPARE(walked, order);
}

void TestEditor::enterAndEscapeDoNothing()
{
    ContactsFixture fx;
    fillContacts(fx);
    fx.createDm();
    BoxRecorder rec;
    AddDialog add;
    add.dialog.Edit1->setText(QStringLiteral("王五"));
    QVERIFY(QTest::qWaitForWindowActive(&add.dialog));

    for (QWidget *w : { static_cast<QWidget *>(add.dialog.BitBtn1), static_cast<QWidget *>(add.dialog.Edit1),
             static_cast<QWidget *>(add.dialog.ComboBox1) }) {
        w->setFocus();
        QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClick(w, Qt::Key_Enter);
        QTest::keyClick(w, Qt::Key_Escape);
    }
    QVERIFY(add.dialog.isVisible());
    QCOMPARE(rec.boxes().size(), 0);
    QCOMPARE(fx.rows().size(), 4);
}

void TestEditor::dialogLimits()
{
    Tfrm_Add dialog;
    dialog.Edit1->setFocus();
    typeText(dialog.Edit1, QStringLiteral("张三李四王五"));
    QCOMPARE(dialog.Edit1->text(), QStringLiteral("张三李四王"));
    for (QLineEdit *edit : { static_cast<QLineEdit *>(dialog.Edit2), static_cast<QLineEdit *>(dialog.Edit5) }) {
        edit->clear();
        typeText(edit, QStringLiteral("123456789012"));
        QCOMPARE(edit->text(), QStringLiteral("12345678901"));
    }
    // E-mail and address are not limited.
    const QString longText(40, QLatin1Char('x'));
    for (QLineEdit *edit : { static_cast<QLineEdit *>(dialog.Edit3), static_cast<QLineEdit *>(dialog.Edit4) }) {
        edit->clear();
        typeText(edit, longText);
        QCOMPARE(edit->text(), longText);
    }
}

void TestEditor::incompleteInput_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("group");
    QTest::newRow("empty name") << QString() << 0;
    QTest::newRow("name of spaces") << QStringLiteral("   ") << 0;
    QTest::newRow("name of spaces and a tab") << QStringLiteral(" \t ") << 0;
    QTest::newRow("no group") << QStringLiteral("王五") << -1;
}

void TestEditor::incompleteInput()
{
    QFETCH(QString, name);
    QFETCH(int, group);

    ContactsFixture fx;
    fillContacts(fx);
    fx.createDm();
    narrow(Dm->addquery, QStringLiteral("select * from data"));
    BoxRecorder rec;
    AddDialog add;
    add.dialog.Edit1->setText(name);
    add.dialog.ComboBox2->setCurrentIndex(group);
    add.dialog.BitBtn1Click();

    QCOMPARE(noticeSummaries(rec), QStringList { QStringLiteral("你输入的内容不完整或组名为空！/警告") });
    QCOMPARE(rec.boxes().first().icon, txl::ui::Icon::Information);
    QVERIFY(add.dialog.isVisible());
    QCOMPARE(fx.rows().size(), 4);
    QCOMPARE(Dm->addquery->sql(), QStringLiteral("select * from data")); // the query was not touched
}

void TestEditor::addStores_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("plain") << QStringLiteral("王五") << QStringLiteral("王五");
    QTest::newRow("spaces around") << QStringLiteral("  王五 ") << QStringLiteral("王五");
    QTest::newRow("full-width space stays") << QStringLiteral("\u3000王五") << QStringLiteral("\u3000王五");
    QTest::newRow("single quote") << QStringLiteral("D'Arcy") << QStringLiteral("D'Arcy");
}

void TestEditor::addStores()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);

    ContactsFixture fx;
    fillContacts(fx);
    fx.createDm();
    narrow(Dm->addquery, QStringLiteral("select * from data where 姓名='张三'"));
    BoxRecorder rec;
    AddDialog add;
    add.dialog.Edit1->setText(typed);
    add.dialog.Edit4->setText(QStringLiteral(" 南京路 1 号\t"));
    add.dialog.BitBtn1Click();

    QCOMPARE(noticeSummaries(rec), QStringList { QStringLiteral("添加成功！/提示") });
    QVERIFY(!add.dialog.isVisible());
    // Boxes left untouched behind their hints store nothing; the sex is the
    // selected item.
    const QString expected = stored + QStringLiteral("|男||||南京路 1 号|朋友");
    const QString where
        = QStringLiteral("姓名='%1'").arg(QString(stored).replace(QLatin1Char('\''), QStringLiteral("''")));
    QCOMPARE(fx.rows(where), QStringList { expected });
    QCOMPARE(fx.rows().size(), 5);

    // The list is the full one again, its first row current.
    Query *q = Dm->addquery;
    QCOMPARE(q->sql(), QStringLiteral("select * from data"));
    QCOMPARE(q->recordCount(), 5);
    QCOMPARE(q->recNo(), 0);
    QCOMPARE(q->fieldByName(QStringLiteral("姓名")), QStringLiteral("李四"));
}

void TestEditor::addThroughToolbar()
{
    ContactsFixture fx;
    fillContacts(fx);
    fx.createDm();
    BoxRecorder rec;
    Tfrm_Main main;
    main.show();

    QString caption, group, focus;
    bool active = false;
    const bool opened = openWhileRunning([&] { main.ToolButton1Click(); },
        [&](Tfrm_Add *d) {
            active = QTest::qWaitForWindowActive(d);
            caption = d->windowTitle();
            group = d->ComboBox2->currentText();
            focus = d->focusWidget() ? d->focusWidget()->objectName() : QString();
            typeText(d->Edit1, QStringLiteral("赵六"));
            typeText(d->ComboBox2, QStringLiteral("同"));
            d->BitBtn1Click();
        });
    QVERIFY(opened);
    QVERIFY(active);
    QCOMPARE(caption, QStringLiteral("添加好友"));
    QCOMPARE(group, QStringLiteral("朋友"));
    QCOMPARE(focus, QStringLiteral("Edit1"));
    QCOMPARE(noticeSummaries(rec), QStringList { QStringLiteral("添加成功！/提示") });
    QCOMPARE(fx.rows(QStringLiteral("姓名='赵六'")).size(), 1);
    QVERIFY(fx.rows(QStringLiteral("姓名='赵六'")).first().endsWith(QStringLiteral("|同事")));
    QVERIFY(!frm_Add); // destroyed when it closed
    QCOMPARE(Dm->addsource->currentRow(), 0);
}

void TestEditor::addRefusesDuplicate_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("existing");
    QTest::newRow("same name") << QStringLiteral("张三") << QStringLiteral("张三");
    QTest::newRow("spaces around") << QStringLiteral(" 张三  ") << QStringLiteral("张三");
    QTest::newRow("single quote") << QStringLiteral("O'Brien") << QStringLiteral("O'Brien");
}

void TestEditor::addRefusesDuplicate()
{
    QFETCH(QString, typed);
    QFETCH(QString, existing);

    ContactsFixture fx;
    fillContacts(fx);
    fx.createDm();
    narrow(Dm->addquery, QStringLiteral("select * from data"));
    BoxRecorder rec;
    AddDialog add;
    add.dialog.Edit1->setText(typed);
    add.dialog.BitBtn1Click();

    QCOMPARE(noticeSummaries(rec), QStringList { QStringLiteral("该用户名已经存在！请选择其他用户名！/警告") });
    QVERIFY(add.dialog.isVisible());
    QCOMPARE(fx.rows().size(), 4);
    // The list behind now shows only the contact of that name.
    Query *q = Dm->addquery;
    QCOMPARE(q->recordCount(), 1);
    QCOMPARE(q->fieldByName(QStringLiteral("姓名")), existing);
}

void TestEditor::addAfterErasingSex()
{
    ContactsFixture fx;
    fx.createDm();
    BoxRecorder rec;
    AddDialog add;
    add.dialog.Edit1->setText(QStringLiteral("王五"));
    add.dialog.ComboBox1->setFocus();
    add.dialog.ComboBox1->lineEdit()->end(false);
    QTest::keyClick(add.dialog.ComboBox1, Qt::Key_Backspace);
    QCOMPARE(add.dialog.ComboBox1->currentIndex(), -1);
    add.dialog.BitBtn1Click();

    QCOMPARE(noticeSummaries(rec), QStringList { QStringLiteral("添加成功！/提示") });
    const QStringList stored = fx.rows();
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.first().section(QLatin1Char('|'), 0, 1), QStringLiteral("王五|"));
}

void TestEditor::addReportsDatabaseError()
{
    ContactsFixture fx;
    fillContacts(fx);
    fx.createDm();
    narrow(Dm->addquery, QStringLiteral("select * from data"));
    fx.exec(QStringLiteral("alter table data rename to kept;"));
    BoxRecorder rec;
    AddDialog add;
    add.dialog.Edit1->setText(QStringLiteral("王五"));
    add.dialog.BitBtn1Click();

    QCOMPARE(rec.boxes().size(), 1);
    QCOMPARE(rec.boxes().first().kind, ShownBox::ErrorReport);
    QVERIFY(rec.boxes().first().text.contains(QStringLiteral("data")));
    QVERIFY(add.dialog.isVisible());
    QVERIFY(!Dm->addquery->isActive());
}

// --- modify ----------------------------------------------------------------

void TestEditor::modifyNarrowedList()
{
    ContactsFixture fx;
    fillContacts(fx);
    fx.createDm();
    BoxRecorder rec;
    Tfrm_Main main;
    const QString search = QStringLiteral("select * from data where 姓名 like '%张%'");
    narrow(Dm->addquery, search);
    Dm->addquery->setRecNo(1); // 张伟
    const QStringList others = fx.rows(QStringLiteral("姓名<>'张伟'"));

    QStringList shown;
    bool nameEnabled = true;
    const bool opened = openWhileRunning([&] { main.ToolButton9Click(); },
        [&](Tfrm_Add *d) {
            shown << d->windowTitle() << d->GroupBox1->title() << d->BitBtn1->text() << d->Edit1->text()
                  << d->ComboBox1->currentText() << d->Edit5->text() << d->Edit2->text() << d->Edit3->text()
                  << d->Edit4->text() << d->ComboBox2->currentText();
            nameEnabled = d->Edit1->isEnabled();
            d->Edit1->setText(QStringLiteral("改名"));
            d->ComboBox1->setEditText(QStringLiteral(" 女 "));
            d->Edit5->setText(QStringLiteral(" 20003 "));
            d->Edit4->setText(QStringLiteral("深圳\t"));
            d->ComboBox2->setCurrentIndex(1);
            d->BitBtn1Click();
        });
    QVERIFY(opened);
    QCOMPARE(shown.join(QLatin1Char('|')),
        QStringLiteral("修改好友|修改|修改|张伟|男|10003|13900000003|"
                       "wei@example.com|广州|同事"));
    QVERIFY(!nameEnabled);
    QCOMPARE(noticeSummaries(rec), QStringList { QStringLiteral("修改成功！/提示") });

    // Stored with the name untouched; the sex as typed.
    QCOMPARE(fx.rows(QStringLiteral("姓名='张伟'")),
        QStringList { QStringLiteral("张伟| 女 |20003|13900000003|wei@example.com|深圳|家人") });
    QCOMPARE(fx.rows(QStringLiteral("姓名<>'张伟'")), others);
    QVERIFY(fx.rows(QStringLiteral("姓名='改名'")).isEmpty());

    // The narrowed list stays, showing the change.
    Query *q = Dm->addquery;
    QCOMPARE(q->sql(), search);
    QCOMPARE(q->recordCount(), 2);
    QCOMPARE(q->recNo(), 1);
    QCOMPARE(q->fieldByName(QStringLiteral("家庭住址")), QStringLiteral("深圳"));
    QCOMPARE(q->state(), Query::State::Browse);
}

void TestEditor::modifyWritesByColumnName()
{
    // A list whose columns come in another order than the table's: each value
    // still reaches its own column.
    ContactsFixture fx;
    fillContacts(fx);
    fx.createDm();
    BoxRecorder rec;
    Tfrm_Main main;
    narrow(Dm->addquery,
        QStringLiteral("select 组名, 家庭住址, 电子邮件, 手机号码, QQ号码, 性别, 姓名 from data where 姓名='李四'"));

    QString loaded;
    const bool opened = openWhileRunning([&] { main.ToolButton9Click(); },
        [&](Tfrm_Add *d) {
            loaded = QStringList { d->Edit1->text(), d->ComboBox1->currentText(), d->Edit5->text(), d->Edit2->text(),
                d->Edit3->text(), d->Edit4->text(), d->ComboBox2->currentText() }
                         .join(QLatin1Char('|'));
            d->Edit2->setText(QStringLiteral("13911111111"));
            d->ComboBox2->setCurrentIndex(6);
            d->BitBtn1Click();
        });
    QVERIFY(opened);
    QCOMPARE(loaded, QStringLiteral("李四|女|10002|13900000002|li@example.com|北京|家人"));
    QCOMPARE(noticeSummaries(rec), QStringList { QStringLiteral("修改成功！/提示") });
    QCOMPARE(fx.rows(QStringLiteral("姓名='李四'")),
        QStringList { QStringLiteral("李四|女|10002|13911111111|li@example.com|北京|同事") });
}

void TestEditor::modifyRefusedBeforeOpening_data()
{
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty list") << false << QStringLiteral("记录为空！/提示");
    QTest::newRow("closed query") << true
                                  << QStringLiteral(
                                         "error:addquery: Cannot perform this operation on a closed dataset.");
}

void TestEditor::modifyRefusedBeforeOpening()
{
    QFETCH(bool, closed);
    QFETCH(QString, expected);

    ContactsFixture fx;
    fillContacts(fx);
    fx.createDm();
    BoxRecorder rec;
    Tfrm_Main main;
    rec.clear();
    if (closed)
        Dm->addquery->close();
    else
        narrow(Dm->addquery, QStringLiteral("select * from data where 姓名='无此人'"));

    const bool opened = openWhileRunning([&] { main.ToolButton9Click(); }, [](Tfrm_Add *) {});
    QVERIFY(!opened);
    QVERIFY(!frm_Add);
    QCOMPARE(noticeSummaries(rec), QStringList { expected });
}

void TestEditor::modifyUnknownGroup()
{
    ContactsFixture fx;
    fx.exec(QStringLiteral("insert into data values('陈七','女','1','2','3','4','客户');"));
    fx.createDm();
    BoxRecorder rec;
    Tfrm_Main main;

    int groupIndex = 0;
    QStringList afterFirstTry;
    const bool opened = openWhileRunning([&] { main.ToolButton9Click(); },
        [&](Tfrm_Add *d) {
            groupIndex = d->ComboBox2->currentIndex();
            d->BitBtn1Click();
            afterFirstTry = noticeSummaries(rec);
            afterFirstTry << (d->isVisible() ? QStringLiteral("open") : QStringLiteral("closed"));
            typeText(d->ComboBox2, QStringLiteral("亲"));
            d->BitBtn1Click();
        });
    QVERIFY(opened);
    QCOMPARE(groupIndex, -1);
    QCOMPARE(
        afterFirstTry, QStringList({ QStringLiteral("你输入的内容不完整或组名为空！/警告"), QStringLiteral("open") }));
    QCOMPARE(noticeSummaries(rec).last(), QStringLiteral("修改成功！/提示"));
    QCOMPARE(fx.rows(), QStringList { QStringLiteral("陈七|女|1|2|3|4|亲友") });
}

void TestEditor::refusedWriteThenCancel()
{
    ContactsFixture fx;
    fillContacts(fx);
    fx.createDm();
    BoxRecorder rec;
    Tfrm_Main main;
    Dm->addquery->first(); // 李四
    const QString read = QStringLiteral("李四|女|10002|13900000002|li@example.com|北京|家人");
    const QString changedElsewhere = QStringLiteral("李四|女|10002|13911111111|li@example.com|北京|家人");

    QString shownWhileOpen;
    bool openAfterRefusal = false;
    const bool opened = openWhileRunning([&] { main.ToolButton9Click(); },
        [&](Tfrm_Add *d) {
            // Another program changes the row after the dialog read it.
            fx.exec(QStringLiteral("update data set 手机号码='13911111111' where 姓名='李四';"));
            d->Edit4->setText(QStringLiteral("南京"));
            d->BitBtn1Click();
            openAfterRefusal = d->isVisible();
            shownWhileOpen = Dm->addquery->fieldByName(QStringLiteral("家庭住址"));
            d->BitBtn2Click();
        });
    QVERIFY(opened);
    QVERIFY(openAfterRefusal);
    QCOMPARE(shownWhileOpen, QStringLiteral("南京"));
    QCOMPARE(rec.boxes().size(), 1);
    QCOMPARE(rec.boxes().first().kind, ShownBox::ErrorReport);

    // Cancelling gave up the unsaved values: the list shows what was read,
    // and the file holds only the other program's change.
    Query *q = Dm->addquery;
    QCOMPARE(q->state(), Query::State::Browse);
    QStringList listed;
    for (int c = 0; c < q->fieldCount(); ++c)
        listed << q->field(c);
    QCOMPARE(listed.join(QLatin1Char('|')), read);
    QCOMPARE(fx.rows(QStringLiteral("姓名='李四'")), QStringList { changedElsewhere });
}

void TestEditor::refusedWriteRetried()
{
    ContactsFixture fx;
    fillContacts(fx);
    fx.createDm();
    BoxRecorder rec;
    Tfrm_Main main;
    Dm->addquery->first(); // 李四

    QStringList kinds;
    bool closedBySuccess = false;
    const bool opened = openWhileRunning([&] { main.ToolButton9Click(); },
        [&](Tfrm_Add *d) {
            fx.exec(QStringLiteral("update data set 手机号码='13911111111' where 姓名='李四';"));
            d->Edit4->setText(QStringLiteral("南京"));
            d->BitBtn1Click();
            // The other change is undone; confirming again writes.
            fx.exec(QStringLiteral("update data set 手机号码='13900000002' where 姓名='李四';"));
            d->BitBtn1Click();
            closedBySuccess = !d->isVisible();
        });
    QVERIFY(opened);
    QVERIFY(closedBySuccess);
    QCOMPARE(rec.boxes().size(), 2);
    QCOMPARE(rec.boxes().at(0).kind, ShownBox::ErrorReport);
    QCOMPARE(boxSummary(rec.boxes().at(1)), QStringLiteral("修改成功！/提示"));
    QCOMPARE(fx.rows(QStringLiteral("姓名='李四'")),
        QStringList { QStringLiteral("李四|女|10002|13900000002|li@example.com|南京|家人") });
    QCOMPARE(Dm->addquery->fieldByName(QStringLiteral("家庭住址")), QStringLiteral("南京"));
}

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
