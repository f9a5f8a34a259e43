// The platform's boxes: the full-stop and title rules, and the real notice,
// question and error boxes as the user meets them.
#include "TestSupport.h"

#include "platform/data/DataError.h"
#include "platform/ui/Dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace txl::ui;

namespace {

struct SeenBox {
    bool shown = false;
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QPoint centre;
};

// Looks at the next modal box once it is up, then runs the answer on it.
void recordBox(SeenBox *seen, const std::function<void(QMessageBox *)> &answer)
{
    whenBoxShows([seen, answer](QMessageBox *box) {
        seen->shown = true;
        seen->text = box->text();
        seen->title = box->windowTitle();
        seen->icon = box->icon();
        for (QAbstractButton *b : box->buttons())
            seen->buttons << b->text();
        seen->centre = box->frameGeometry().center();
        answer(box);
    });
}

void clickOk(QMessageBox *box)
{
    QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void fullStop_data();
    void fullStop();
    void title_data();
    void title();

    void notice_data();
    void notice();
    void question_data();
    void question();
    void errorReport();
    void guardedReportsAndContinues();
};

void TestDialogs::fullStop_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("letter") << "Could not find file"
                            << "Could not find file.";
    QTest::newRow("digit (48)") << "code 0"
                                << "code 0.";
    QTest::newRow("slash (47)") << "path/"
                                << "path/.";
    QTest::newRow("full stop (46)") << "done."
                                    << "done.";
    QTest::newRow("hyphen (45)") << "a-"
                                 << "a-";
    QTest::newRow("exclamation (33)") << "stop!"
                                      << "stop!";
    QTest::newRow("space (32)") << "trailing "
                                << "trailing ";
    QTest::newRow("control") << QStringLiteral("line\n") << QStringLiteral("line\n");
    QTest::newRow("quote (39)") << "file 'a.mdb'"
                                << "file 'a.mdb'";
    QTest::newRow("colon (58)") << "reason:"
                                << "reason:.";
    QTest::newRow("Chinese character") << "数据库错误"
                                       << "数据库错误.";
    QTest::newRow("full-width exclamation") << "没有查到！"
                                            << "没有查到！.";
    QTest::newRow("ideographic full stop") << "失败。"
                                           << "失败。.";
}

void TestDialogs::fullStop()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(withFullStop(text), expected);
}

void TestDialogs::title_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "/usr/bin/tongxunlu"
                           << "tongxunlu";
    QTest::newRow("extension") << "C:/Program Files/Tongxunlu.exe"
                               << "Tongxunlu";
    QTest::newRow("upper case") << "/opt/TONGXUNLU"
                                << "Tongxunlu";
    QTest::newRow("first character keeps its case") << "/opt/tONGXUNLU"
                                                    << "tongxunlu";
    QTest::newRow("from the first full stop") << "/opt/My.App.v2"
                                              << "My";
    QTest::newRow("full stop in the folder only") << "/opt/v1.2/prog"
                                                  << "prog";
    QTest::newRow("underscore and digits") << "./TST_Dialogs2"
                                           << "Tst_dialogs2";
    QTest::newRow("leading full stop") << "/home/x/.hidden"
                                       << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestDialogs::title()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(applicationTitleFor(path), expected);
}

void TestDialogs::notice_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("qtIcon");

    QTest::newRow("information") << "添加成功！"
                                 << "提示" << int(Icon::Information) << int(QMessageBox::Information);
    QTest::newRow("empty caption") << "对不起!没有查到！"
                                   << "" << int(Icon::Information) << int(QMessageBox::Information);
    QTest::newRow("warning") << "姓名不能为空！"
                             << "警告" << int(Icon::Warning) << int(QMessageBox::Warning);
    QTest::newRow("no icon") << "没有找到计算器程序！"
                             << "Tst_dialogs" << int(Icon::None) << int(QMessageBox::NoIcon);
}

void TestDialogs::notice()
{
    QFETCH(QString, text);
    QFETCH(QString, caption);
    QFETCH(int, icon);
    QFETCH(int, qtIcon);

    SeenBox seen;
    recordBox(&seen, clickOk);
    showNotice(text, caption, Icon(icon));
    QVERIFY(seen.shown);
    QCOMPARE(seen.text, text);
    QCOMPARE(seen.title, caption);
    QCOMPARE(int(seen.icon), qtIcon);
    QCOMPARE(seen.buttons, QStringList { QStringLiteral("OK") });
}

void TestDialogs::question_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("yes");

    for (int kind : { int(QuestionKind::Confirmation), int(QuestionKind::Information) }) {
        const char *k = kind == int(QuestionKind::Confirmation) ? "confirm" : "information";
        QTest::addRow("%s, Yes", k) << kind << "yes" << true;
        QTest::addRow("%s, Enter", k) << kind << "enter" << true;
        QTest::addRow("%s, No", k) << kind << "no" << false;
        QTest::addRow("%s, Escape", k) << kind << "escape" << false;
        QTest::addRow("%s, close box", k) << kind << "closebox" << false;
    }
}

void TestDialogs::question()
{
    QFETCH(int, kind);
    QFETCH(QString, answer);
    QFETCH(bool, yes);

    SeenBox seen;
    recordBox(&seen, [&](QMessageBox *box) {
        if (answer == QStringLiteral("yes"))
            QTest::mouseClick(box->buttons().at(0), Qt::LeftButton);
        else if (answer == QStringLiteral("no"))
            QTest::mouseClick(box->buttons().at(1), Qt::LeftButton);
        else if (answer == QStringLiteral("enter"))
            QTest::keyClick(box, Qt::Key_Return);
        else if (answer == QStringLiteral("escape"))
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->close();
    });
    const bool confirm = QuestionKind(kind) == QuestionKind::Confirmation;
    QCOMPARE(askYesNo(QStringLiteral("真的要退出吗？"), QuestionKind(kind)), yes);
    QVERIFY(seen.shown);
    QCOMPARE(seen.text, QStringLiteral("真的要退出吗？"));
    QCOMPARE(seen.title, confirm ? QStringLiteral("Confirm") : QStringLiteral("Information"));
    QCOMPARE(seen.icon, confirm ? QMessageBox::Question : QMessageBox::Information);
    QCOMPARE(seen.buttons, (QStringList { QStringLiteral("&Yes"), QStringLiteral("&No") }));
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    QVERIFY2((seen.centre - screenCentre).manhattanLength() <= 40,
        qPrintable(QStringLiteral("%1,%2").arg(seen.centre.x()).arg(seen.centre.y())));
}

void TestDialogs::errorReport()
{
    SeenBox seen;
    recordBox(&seen, clickOk);
    showErrorReport(QStringLiteral("Not a valid password"));
    QVERIFY(seen.shown);
    QCOMPARE(seen.text, QStringLiteral("Not a valid password."));
    QCOMPARE(seen.title, QStringLiteral("tst_dialogs"));
    QCOMPARE(seen.title, applicationTitle());
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttons, QStringList { QStringLiteral("OK") });
}

void TestDialogs::guardedReportsAndContinues()
{
    BoxRecorder boxes;
    QStringList steps;
    guarded([&] {
        steps << QStringLiteral("before");
        throw txl::DataError(QStringLiteral("addquery: Cannot perform this operation on a closed dataset"));
        steps << QStringLiteral("after"); // never reached
    });
    guarded([&] { throw 42; });
    guarded([&] { steps << QStringLiteral("next handler"); });

    QCOMPARE(steps, (QStringList { QStringLiteral("before"), QStringLiteral("next handler") }));
    QCOMPARE(boxes.boxes().size(), 2);
    QCOMPARE(boxes.boxes().at(0).kind, ShownBox::ErrorReport);
    QCOMPARE(boxes.boxes().at(0).text, QStringLiteral("addquery: Cannot perform this operation on a closed dataset."));
    QCOMPARE(boxes.boxes().at(0).icon, Icon::Stop);
    QCOMPARE(boxes.boxes().at(0).caption, applicationTitle());
    QCOMPARE(boxes.boxes().at(1).kind, ShownBox::ErrorReport);
    QCOMPARE(boxes.boxes().at(1).text, QString());
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
