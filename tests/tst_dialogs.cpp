// The platform's boxes: the full-stop and title rules, and the real notice,
// question and error boxes as the user meets them.
#include "TestSupport.h"

#include "platform/data/DataError.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/FileDialogs.h"
#include "platform/ui/WaitCursor.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <stdexcept>

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

// Runs the action on the next file dialog once it is up.
void whenFileDialogShows(const std::function<void(QFileDialog *)> &action)
{
    auto *tries = new int(0);
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, action] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if ((!dialog || !dialog->isVisible()) && ++*tries < 250)
            return;
        timer->stop();
        timer->deleteLater();
        delete tries;
        if (dialog)
            action(dialog);
    });
    timer->start();
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

    void firstSuffix_data();
    void firstSuffix();
    void fileDialog_data();
    void fileDialog();
    void fileDialogRecorder();
    void waitCursor();
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

void TestDialogs::firstSuffix_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("one") << "PDF files (*.pdf)"
                         << "pdf";
    QTest::newRow("several") << "联系人文件 (*.vcf *.vcard *.csv)"
                             << "vcf";
    QTest::newRow("any file") << "所有文件 (*)" << QString();
    QTest::newRow("no brackets") << "*.txr"
                                 << "txr";
    QTest::newRow("empty") << QString() << QString();
}

void TestDialogs::firstSuffix()
{
    QFETCH(QString, filter);
    QFETCH(QString, suffix);
    QCOMPARE(firstSuffixOf(filter), suffix);
}

// The real dialog as the user meets it: what it offers, and what it returns
// for what the user types and picks.
void TestDialogs::fileDialog_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("start"); // relative to the folder
    QTest::addColumn<QString>("selected"); // filter chosen at first
    QTest::addColumn<int>("filterSteps"); // moves down the filter list
    QTest::addColumn<QString>("typed"); // empty: cancel
    QTest::addColumn<QString>("expected"); // relative to the folder; empty: cancelled
    QTest::addColumn<QString>("expectedFilter");
    QTest::addColumn<QString>("proposed"); // the name in the field as the dialog opens

    const auto row
        = [](const char *name, FileRequest::Mode mode, const char *start, const char *selected, int filterSteps,
              const char *typed, const char *expected, const char *expectedFilter, const char *proposed) {
              QTest::newRow(name) << int(mode) << QString::fromUtf8(start) << QString::fromUtf8(selected) << filterSteps
                                  << QString::fromUtf8(typed) << QString::fromUtf8(expected)
                                  << QString::fromUtf8(expectedFilter) << QString::fromUtf8(proposed);
          };
    row("open an existing file", FileRequest::Open, "", "", 0, "old.vcf", "old.vcf", "vCard (*.vcf)", "");
    row("save, the proposed name, cancelled", FileRequest::Save, "通讯录.vcf", "", 0, "", "", "", "通讯录.vcf");
    // The proposed name takes the selected kind's suffix, and so does a bare one.
    row("save, a bare name gets the selected kind's suffix", FileRequest::Save, "通讯录.vcf", "CSV (*.csv *.txt)", 0,
        "list", "list.csv", "CSV (*.csv *.txt)", "通讯录.csv");
    row("save, the suffix follows the kind picked", FileRequest::Save, "", "", 1, "list", "list.csv",
        "CSV (*.csv *.txt)", "");
    row("save, a typed suffix stays", FileRequest::Save, "", "", 0, "list.txt", "list.txt", "vCard (*.vcf)", "");
    row("save, no suffix from any file", FileRequest::Save, "", "", 2, "list", "list", "所有文件 (*)", "");
}

void TestDialogs::fileDialog()
{
    QFETCH(int, mode);
    QFETCH(QString, start);
    QFETCH(QString, selected);
    QFETCH(int, filterSteps);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QFETCH(QString, expectedFilter);
    QFETCH(QString, proposed);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile old(dir.filePath(QStringLiteral("old.vcf")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.close();
    const FileRequest request { FileRequest::Mode(mode), QStringLiteral("导出联系人"), dir.filePath(start),
        { QStringLiteral("vCard (*.vcf)"), QStringLiteral("CSV (*.csv *.txt)"), QStringLiteral("所有文件 (*)") },
        selected, QStringLiteral("ExportFileDialog") };

    bool shown = false;
    QString title, objectName, folder, nameShown, offeredFilter;
    QStringList filters;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    whenFileDialogShows([&](QFileDialog *dialog) {
        shown = true;
        title = dialog->windowTitle();
        objectName = dialog->objectName();
        folder = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        offeredFilter = dialog->selectedNameFilter();
        acceptMode = dialog->acceptMode();
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        nameShown = name ? name->text() : QString();
        auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        for (int i = 0; i < filterSteps && types; ++i)
            QTest::keyClick(types, Qt::Key_Down);
        if (typed.isEmpty() || !name) {
            dialog->reject();
            return;
        }
        name->setText(typed);
        QTest::keyClick(name, Qt::Key_Return);
    });
    const FileChoice choice = chooseFile(nullptr, request);

    QVERIFY(shown);
    QCOMPARE(title, QStringLiteral("导出联系人"));
    QCOMPARE(objectName, QStringLiteral("ExportFileDialog"));
    QCOMPARE(folder, QDir(dir.path()).absolutePath());
    QCOMPARE(filters, request.filters);
    QCOMPARE(offeredFilter, selected.isEmpty() ? request.filters.constFirst() : selected);
    QCOMPARE(acceptMode, mode == FileRequest::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (!proposed.isEmpty())
        QCOMPARE(nameShown, proposed);
    QCOMPARE(choice.cancelled(), expected.isEmpty());
    if (expected.isEmpty())
        return;
    QCOMPARE(QFileInfo(choice.path).absoluteFilePath(), QFileInfo(dir.filePath(expected)).absoluteFilePath());
    QCOMPARE(choice.filter, expectedFilter);
}

void TestDialogs::fileDialogRecorder()
{
    const FileRequest request { FileRequest::Save, QStringLiteral("Save report"), QString(),
        { QStringLiteral("Saved report (*.txr)"), QStringLiteral("PDF file (*.pdf)") }, QString(), QString() };
    FileChoice third;
    {
        FileDialogRecorder files;
        files.queueAnswer(QStringLiteral("/tmp/a"), QStringLiteral("PDF file (*.pdf)"));
        files.queueAnswer(QStringLiteral("/tmp/b"));
        const FileChoice first = chooseFile(nullptr, request);
        const FileChoice second = chooseFile(nullptr, request);
        third = chooseFile(nullptr, request);
        QCOMPARE(first.path, QStringLiteral("/tmp/a"));
        QCOMPARE(first.filter, QStringLiteral("PDF file (*.pdf)"));
        // No filter given: the one the dialog would have offered first.
        QCOMPARE(second.path, QStringLiteral("/tmp/b"));
        QCOMPARE(second.filter, QStringLiteral("Saved report (*.txr)"));
        QCOMPARE(files.requests().size(), 3);
        QCOMPARE(files.requests().at(2).filters, request.filters);
        QCOMPARE(files.captions(), QStringList(3, QStringLiteral("Save report")));
    }
    // The queue ran dry: cancelled, nothing shown.
    QVERIFY(third.cancelled());

    // Gone with its scope: the real dialog again.
    bool shown = false;
    whenFileDialogShows([&](QFileDialog *dialog) {
        shown = true;
        dialog->reject();
    });
    QVERIFY(chooseFile(nullptr, request).cancelled());
    QVERIFY(shown);
}

void TestDialogs::waitCursor()
{
    QVERIFY(!QApplication::overrideCursor());
    {
        const WaitCursor outer;
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        {
            const WaitCursor inner;
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        // The inner one gone, the outer still waits.
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    QVERIFY(!QApplication::overrideCursor());

    // Left by an exception, the usual cursor is back before the handler.
    bool restoredInHandler = false;
    try {
        const WaitCursor busy;
        throw std::runtime_error("cannot read");
    } catch (const std::runtime_error &) {
        restoredInHandler = !QApplication::overrideCursor();
    }
    QVERIFY(restoredInHandler);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
