// The print preview of the contact list report: how it opens, its page
// moves by key, when print becomes available, printing and saving as PDF,
// loading saved files, and a list that changes under its layout.
#include "TestSupport.h"

#include "platform/data/Query.h"
#include "platform/report/PagePainter.h"
#include "platform/report/PreviewWindow.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/FileDialogs.h"
#include "report/Unit_print.h"
#include "shell/Unit_Main.h"
#include "store/Unit_Dm.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

using namespace txl::report;

namespace {

void search(const QString &name)
{
    Dm->addquery->close();
    Dm->addquery->clearSql();
    Dm->addquery->addSql(QStringLiteral("select * from data where 姓名 like :p0"));
    Dm->addquery->setParam(QStringLiteral("p0"), QStringLiteral("%") + name + QStringLiteral("%"));
    Dm->addquery->open();
}

int pdfPages(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = f.readAll();
    if (!bytes.startsWith("%PDF-"))
        return -1;
    return int(QString::fromLatin1(bytes).count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]"))));
}

QAction *command(QWidget *window, const char *name)
{
    return window->findChild<QAction *>(QString::fromLatin1(name));
}

} // namespace

class tst_ReportPreview : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ContactsFixture> fixture;
    std::unique_ptr<Tfrm_print> holder;
    QPointer<PreviewWindow> window;
    QTemporaryDir out;

    // Contacts with names 联系人001..., sorted as stored.
    void useContacts(int count)
    {
        fixture.reset(); // back to the old working folder before the next one
        fixture = std::make_unique<ContactsFixture>(0);
        fixture->createDm();
        QString sql;
        for (int i = 1; i <= count; ++i)
            sql += QStringLiteral(
                "insert into data values('联系人%1','男','1000%1','1390000%1','m%1@x.cn','地址%1','同学');")
                       .arg(i, 3, 10, QLatin1Char('0'));
        if (!sql.isEmpty())
            fixture->exec(sql);
        reload(Dm->addquery);
    }

    PreviewWindow *openPreview(bool waitForLayout = true)
    {
        holder = std::make_unique<Tfrm_print>();
        window = holder->QuickRep1->openPreview();
        if (waitForLayout) {
            QSignalSpy done(window.data(), &PreviewWindow::layoutFinished);
            if (!window->isLayoutFinished())
                done.wait(10000);
        }
        return window;
    }

private slots:
    void initTestCase()
    {
        // Under the usual umask a file is readable by all unless made private.
        useUsualUmask();
    }

    void cleanup()
    {
        delete window.data();
        holder.reset();
        fixture.reset();
    }

    void opensMaximisedAtPageWidth()
    {
        useContacts(60);
        PreviewWindow *w = openPreview(false);
        QCOMPARE(w->windowTitle(), QStringLiteral("Print Preview"));
        QVERIFY(w->isVisible());
        QVERIFY(w->windowState() & Qt::WindowMaximized);
        QVERIFY(!w->isModal());
        QCOMPARE(w->zoom(), PreviewWindow::Zoom::PageWidth);
        QCOMPARE(w->currentPage(), 0);
        // Print and printer set-up wait for the last page.
        QVERIFY(!w->isLayoutFinished());
        QVERIFY(!command(w, "Print")->isEnabled());
        QVERIFY(!command(w, "PrinterSetup")->isEnabled());

        QSignalSpy done(w, &PreviewWindow::layoutFinished);
        QVERIFY(done.wait(10000));
        QVERIFY(command(w, "Print")->isEnabled());
        QVERIFY(command(w, "PrinterSetup")->isEnabled());
        QCOMPARE(w->statusText(), QStringLiteral("100%|Page 1 of 3|"));

        const QWidget *viewport = w->findChild<QWidget *>(QStringLiteral("PageScroller"))
                                      ->findChild<QWidget *>(QStringLiteral("qt_scrollarea_viewport"));
        QVERIFY(viewport);
        QVERIFY(qAbs(w->pixelsPerMm() * 210 - (viewport->width() - 32)) < 1.0);
        command(w, "ZoomToFit")->trigger();
        QVERIFY(w->pixelsPerMm() * 297 <= viewport->height() - 32 + 1);
        command(w, "Zoom100")->trigger();
        QCOMPARE(w->pixelsPerMm(), w->logicalDpiX() / 25.4);
    }

    void pageKeys_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("page");
        const int pgDn = Qt::Key_PageDown, pgUp = Qt::Key_PageUp, home = Qt::Key_Home, end = Qt::Key_End;
        const int ctrlPgDn = (Qt::ControlModifier | Qt::Key_PageDown).toCombined();
        const int ctrlPgUp = (Qt::ControlModifier | Qt::Key_PageUp).toCombined();
        QTest::newRow("PgDn") << QList<int> { pgDn } << 1;
        QTest::newRow("PgDn past the end") << QList<int> { pgDn, pgDn, pgDn, pgDn } << 3;
        QTest::newRow("PgUp before the start") << QList<int> { pgUp } << 0;
        QTest::newRow("End") << QList<int> { end } << 3;
        QTest::newRow("Ctrl+PgDn") << QList<int> { ctrlPgDn } << 3;
        QTest::newRow("End, PgUp") << QList<int> { end, pgUp } << 2;
        QTest::newRow("End, Home") << QList<int> { end, home } << 0;
        QTest::newRow("End, Ctrl+PgUp") << QList<int> { end, ctrlPgUp } << 0;
    }
    void pageKeys()
    {
        QFETCH(QList<int>, keys);
        QFETCH(int, page);
        useContacts(80); // 4 pages
        PreviewWindow *w = openPreview();
        QVERIFY(QTest::qWaitForWindowActive(w));
        for (int combined : keys) {
            const QKeyCombination k = QKeyCombination::fromCombined(combined);
            QTest::keyClick(w, k.key(), k.keyboardModifiers());
        }
        QCOMPARE(w->currentPage(), page);
        QCOMPARE(w->statusText().section(QLatin1Char('|'), 1, 1), QStringLiteral("Page %1 of 4").arg(page + 1));
    }

    void escapeCloses()
    {
        useContacts(3);
        PreviewWindow *w = openPreview();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keyClick(w, Qt::Key_Escape);
        QTRY_VERIFY(!window);
    }

    void closingStopsTheWalk()
    {
        useContacts(200);
        Dm->addquery->setRecNo(7);
        openPreview(false)->close();
        QTRY_VERIFY(!window);
        // Closed before its first slice: the walk never reached a row.
        QTest::qWait(50);
        QCOMPARE(Dm->addquery->recNo(), 7);
    }

    // The list changes under the layout: the preview ends with the pages it
    // has and says so; nothing reads the replaced rows.
    void listChangedUnderTheLayout()
    {
        useContacts(100);
        PreviewWindow *w = openPreview(false);
        search(QStringLiteral("联系人00"));
        QSignalSpy done(w, &PreviewWindow::layoutFinished);
        QVERIFY(done.wait(10000));
        QCOMPARE(done.first().first().value<LayoutJob::State>(), LayoutJob::State::DataChanged);
        QVERIFY(w->statusText().contains(QStringLiteral("The list changed")));
        QCOMPARE(w->pageCount(), 1);
        QVERIFY(command(w, "Print")->isEnabled());
        QCOMPARE(Dm->addquery->recordCount(), 9);
        QCOMPARE(Dm->addquery->recNo(), 0);
    }

    // Print lays the report out again from the rows as they are when it is
    // given; saving as PDF writes the pages the preview shows. Both use the
    // same pages for the same rows.
    void printAndSaveAsPdf()
    {
        useContacts(60);
        PreviewWindow *w = openPreview();
        QCOMPARE(w->pageCount(), 3);
        const QString saved = out.filePath(QStringLiteral("saved.pdf"));
        QVERIFY(w->saveTo(saved));
        QCOMPARE(pdfPages(saved), 3);

        const QString printed = out.filePath(QStringLiteral("printed.pdf"));
        w->printer()->setOutputFormat(QPrinter::PdfFormat);
        w->printer()->setOutputFileName(printed);
        QVERIFY(w->print());
        QCOMPARE(pdfPages(printed), 3);
        QCOMPARE(Dm->addquery->recNo(), 59); // that walk too ends on the last row

        search(QStringLiteral("联系人00"));
        QVERIFY(w->print());
        QCOMPARE(pdfPages(printed), 1);
        QCOMPARE(w->pageCount(), 3); // the preview keeps its pages
    }

    // Without a printer Qt's printer is a PDF writer with no file: the
    // print command says so and prints to the PDF file the user names.
    void printWithoutAPrinter()
    {
        useContacts(30);
        PreviewWindow *w = openPreview();
        w->printer()->setOutputFormat(QPrinter::PdfFormat);
        w->printer()->setOutputFileName(QString());
        const QString file = out.filePath(QStringLiteral("no-printer"));
        txl::ui::BoxRecorder boxes;
        txl::ui::FileDialogRecorder files;
        files.queueAnswer(file);
        QVERIFY(w->print());
        QCOMPARE(boxes.texts(), QStringList { QStringLiteral("没有安装打印机，报表将打印到 PDF 文件。") });
        QCOMPARE(files.captions(), QStringList { QStringLiteral("打印到 PDF 文件") });
        const txl::ui::FileRequest &asked = files.requests().constFirst();
        QCOMPARE(asked.mode, txl::ui::FileRequest::Save);
        QCOMPARE(asked.filters, QStringList { QStringLiteral("PDF 文件 (*.pdf)") });
        QCOMPARE(pdfPages(file + QStringLiteral(".pdf")), 2);
        // The contacts in plain text: for the owner only.
        QCOMPARE(permissionBits(file + QStringLiteral(".pdf")), QStringLiteral("600"));
    }

    // The set-up only sets up: its button says so in the program's Chinese,
    // not Qt's "打印" and not an English "OK".
    void printerSetupDialog()
    {
        useContacts(3);
        PreviewWindow *w = openPreview();
        QString title;
        QString ok;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(qobject_cast<QPrintDialog *>(QApplication::activeModalWidget()), 10000);
            auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
            title = dialog->windowTitle();
            if (auto *buttons = dialog->findChild<QDialogButtonBox *>())
                ok = buttons->button(QDialogButtonBox::Ok)->text();
            dialog->reject();
        });
        command(w, "PrinterSetup")->trigger();
        QCOMPARE(title, QStringLiteral("打印设置"));
        QCOMPARE(ok, QStringLiteral("确定"));
    }

    void printerSettingsApply_data()
    {
        QTest::addColumn<int>("fromPage");
        QTest::addColumn<int>("toPage");
        QTest::addColumn<int>("copies");
        QTest::addColumn<bool>("landscape");
        QTest::addColumn<int>("pages");
        QTest::newRow("all") << 0 << 0 << 1 << false << 3;
        QTest::newRow("page 2 only") << 2 << 2 << 1 << false << 1;
        QTest::newRow("pages 2-3, two copies") << 2 << 3 << 2 << false << 4;
        // 190 mm of height: 15 rows below the title, then 16 a page.
        QTest::newRow("landscape") << 0 << 0 << 1 << true << 4;
    }
    void printerSettingsApply()
    {
        QFETCH(int, fromPage);
        QFETCH(int, toPage);
        QFETCH(int, copies);
        QFETCH(bool, landscape);
        QFETCH(int, pages);
        useContacts(60);
        PreviewWindow *w = openPreview();
        QPrinter *printer = w->printer();
        const QString file = out.filePath(QStringLiteral("range.pdf"));
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(file);
        if (fromPage > 0) {
            printer->setPrintRange(QPrinter::PageRange);
            printer->setFromTo(fromPage, toPage);
        }
        printer->setCopyCount(copies);
        printer->setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
        QVERIFY(w->print());
        QCOMPARE(pdfPages(file), pages);
        // Printed to a file chosen in the set-up: for the owner only too.
        QCOMPARE(permissionBits(file), QStringLiteral("600"));
    }

    void saveAndLoadBack()
    {
        useContacts(30);
        PreviewWindow *w = openPreview();
        const QString file = out.filePath(QStringLiteral("list.txr"));
        QVERIFY(w->saveTo(file));
        const QImage before = renderPage(*w->document(), 1, 50);

        useContacts(3);
        PreviewWindow *other = openPreview();
        QCOMPARE(other->pageCount(), 1);
        QVERIFY(other->loadFrom(file));
        QCOMPARE(other->pageCount(), 2);
        QCOMPARE(renderPage(*other->document(), 1, 50), before);
        QCOMPARE(other->statusText().section(QLatin1Char('|'), 0, 1), QStringLiteral("100%|Page 1 of 2"));
    }

    // The Save and Open commands: the file type follows the chosen filter
    // when the name has none.
    void saveAndOpenCommands_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("saved report") << 0 << QStringLiteral(".txr");
        QTest::newRow("PDF") << 1 << QStringLiteral(".pdf");
    }
    void saveAndOpenCommands()
    {
        QFETCH(int, filter);
        QFETCH(QString, suffix);
        useContacts(30);
        PreviewWindow *w = openPreview();
        const QString base = out.filePath(QStringLiteral("command"));
        QFile::remove(base + suffix);
        txl::ui::FileDialogRecorder files;
        const QStringList filters { QStringLiteral("Saved report (*.txr)"), QStringLiteral("PDF file (*.pdf)") };
        files.queueAnswer(base, filters.value(filter));
        command(w, "SaveReport")->trigger();
        QCOMPARE(files.requests().constFirst().filters, filters);
        QVERIFY(QFile::exists(base + suffix));
        QCOMPARE(permissionBits(base + suffix), QStringLiteral("600"));
        if (suffix == QLatin1String(".pdf")) {
            QCOMPARE(pdfPages(base + suffix), 2);
            return;
        }
        useContacts(3);
        PreviewWindow *other = openPreview();
        files.queueAnswer(base + suffix);
        command(other, "LoadReport")->trigger();
        QCOMPARE(files.requests().constLast().mode, txl::ui::FileRequest::Open);
        QCOMPARE(other->pageCount(), 2);
    }

    // The Save and Open dialogs start in the user's documents, or home
    // when there is none, not in the data folder the program runs in; then
    // where the last file was chosen.
    void fileDialogsStartInDocuments()
    {
        QTemporaryDir home;
        const QByteArray oldHome = qgetenv("HOME");
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral(".config"))));
        const auto restore = qScopeGuard([&] {
            qputenv("HOME", oldHome);
            if (oldConfig.isNull())
                qunsetenv("XDG_CONFIG_HOME");
            else
                qputenv("XDG_CONFIG_HOME", oldConfig);
        });
        useContacts(3);
        PreviewWindow *w = openPreview();
        PreviewWindow::forgetLastFolder(); // earlier tests chose files too
        const QString chosen = home.filePath(QStringLiteral("shared/list.txr"));
        QVERIFY(QDir().mkpath(QFileInfo(chosen).path()));
        // Each dialog's folder; the file is chosen in the second.
        txl::ui::FileDialogRecorder files;
        auto canonical = [](const QString &path) { return QFileInfo(path).canonicalFilePath(); };
        command(w, "SaveReport")->trigger(); // cancelled
        QVERIFY(QDir().mkdir(home.filePath(QStringLiteral("Documents"))));
        files.queueAnswer(chosen);
        command(w, "SaveReport")->trigger();
        command(w, "LoadReport")->trigger(); // cancelled
        QStringList started;
        for (const txl::ui::FileRequest &request : files.requests())
            started << canonical(request.start);
        QCOMPARE(started,
            QStringList({ canonical(home.path()), canonical(home.filePath(QStringLiteral("Documents"))),
                canonical(QFileInfo(chosen).path()) }));
        QCOMPARE(permissionBits(chosen), QStringLiteral("600"));
        QVERIFY(!QFile::exists(QDir(fixture->dir()).filePath(QStringLiteral("list.txr"))));
    }

    void loadingABadFileIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("exists");
        QTest::newRow("missing file") << QByteArray() << false;
        QTest::newRow("a text file") << QByteArray("name,phone\n") << true;
        QTest::newRow("truncated") << QByteArray("\x89TXR\r\n\x1A\n\0\0\0\1", 12) << true;
    }
    void loadingABadFileIsRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, exists);
        useContacts(3);
        PreviewWindow *w = openPreview();
        const QString file = out.filePath(QStringLiteral("bad.txr"));
        QFile::remove(file);
        if (exists) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        txl::ui::BoxRecorder boxes;
        QVERIFY(!w->loadFrom(file));
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().caption, QStringLiteral("Print Preview"));
        QVERIFY(boxes.boxes().first().text.contains(file));
        QCOMPARE(w->pageCount(), 1); // the shown report stays
        QVERIFY(w->document()->placementText(0, 2, 0) == QStringLiteral("联系人001"));
    }
    // The print command returns at once with its preview open and the main
    // window usable; each command gets its own holder, owned by its preview
    // and gone when that preview closes.
    void printCommandOpensPreviewAndReturns()
    {
        useContacts(30);
        Tfrm_Main main;
        main.show();
        QList<QPointer<Tfrm_print>> holders;
        QList<QPointer<PreviewWindow>> previews;
        for (int i = 0; i < 2; ++i) {
            const QWidgetList tops = QApplication::topLevelWidgets();
            const QSet<QWidget *> before(tops.begin(), tops.end());
            main.ToolButton11Click();
            holders << frm_print;
            PreviewWindow *opened = nullptr;
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *p = qobject_cast<PreviewWindow *>(w); p && !before.contains(p))
                    opened = p;
            QVERIFY(opened);
            QVERIFY(opened->isVisible());
            previews << opened;
            QVERIFY(!QApplication::activeModalWidget());
            QVERIFY(main.isEnabled());
        }
        QVERIFY(holders[0] && holders[1] && holders[0] != holders[1]);
        for (const QPointer<PreviewWindow> &p : previews) {
            QSignalSpy done(p.data(), &PreviewWindow::layoutFinished);
            if (!p->isLayoutFinished())
                QVERIFY(done.wait(10000));
        }
        // The grid follows the walk to the last contact.
        QCOMPARE(Dm->addsource->currentRow(), 29);

        previews[0]->close();
        QTRY_VERIFY(!previews[0]);
        QVERIFY(!holders[0]);
        QVERIFY(holders[1] && previews[1] && previews[1]->isVisible());
        QCOMPARE(frm_print, holders[1].data());

        previews[1]->close();
        QTRY_VERIFY(!previews[1]);
        QVERIFY(!holders[1]);
        QVERIFY(!frm_print);
    }

    // A preview still open when the main window goes (the program ending)
    // goes with it, and its holder too.
    void previewGoesWithTheMainWindow()
    {
        useContacts(5);
        auto main = std::make_unique<Tfrm_Main>();
        main->show();
        main->ToolButton11Click();
        QPointer<Tfrm_print> held = frm_print;
        QVERIFY(held);
        QPointer<PreviewWindow> preview = main->findChild<PreviewWindow *>();
        QVERIFY(preview && preview->isWindow() && preview->isVisible());
        main.reset();
        QVERIFY(!preview);
        QVERIFY(!held);
        QVERIFY(!frm_print);
    }
};

QTEST_MAIN(tst_ReportPreview)
#include "tst_report_preview.moc"
