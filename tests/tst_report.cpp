// The contact list report: page breaking, what a page holds, how it draws at
// known millimetre positions, the walk over the contacts query, and the
// saved-report file.
#include "TestSupport.h"

#include "platform/data/Query.h"
#include "platform/report/LayoutJob.h"
#include "platform/report/PagePainter.h"
#include "platform/report/PreparedReport.h"
#include "report/Unit_print.h"
#include "store/Unit_Dm.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

using namespace txl::report;

namespace {

constexpr double kDpi = 254.0; // 10 pixels per millimetre

int px(double mm)
{
    return static_cast<int>(std::lround(mm * 10.0));
}

bool dark(const QImage &image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 128;
}

// Share of dark pixels in a vertical run of one pixel column.
double darkShare(const QImage &image, int x, int y1, int y2)
{
    int n = 0;
    for (int y = y1; y <= y2; ++y)
        n += dark(image, x, y) ? 1 : 0;
    return double(n) / (y2 - y1 + 1);
}

QString contact(const QString &name, const QString &mail = QStringLiteral("a@b.cn"),
    const QString &address = QStringLiteral("北京"))
{
    return QStringLiteral("insert into data values('%1','男','10001','13900000000','%2','%3','同学');")
        .arg(name, mail, address);
}

// Top of the first detail band on page 1 (below the title and headings).
constexpr double kFirstRowTop = 10 + 11.38 + 10.58;

} // namespace

class tst_Report : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ContactsFixture> fixture;
    QImage twoRowPage; // drawn once for the table of border positions

    std::shared_ptr<const PreparedReport> prepare()
    {
        Tfrm_print holder;
        return holder.QuickRep1->prepare();
    }

    void useContacts(int sampleCount)
    {
        fixture = std::make_unique<ContactsFixture>(sampleCount);
        fixture->createDm();
        reload(Dm->addquery);
    }

    static QList<int> detailRowsPerPage(const PreparedReport &doc)
    {
        QList<int> rows;
        const int detail = doc.templateIndex(BandType::Detail);
        for (int p = 0; p < doc.pageCount(); ++p) {
            int n = 0;
            for (int i = 0; i < doc.placementCount(p); ++i)
                n += doc.placementTemplate(p, i) == detail ? 1 : 0;
            rows << n;
        }
        return rows;
    }

    static QList<int> bandsOfPage(const PreparedReport &doc, int page)
    {
        QList<int> out;
        for (int i = 0; i < doc.placementCount(page); ++i)
            out << int(doc.templates()[size_t(doc.placementTemplate(page, i))].type);
        return out;
    }

private slots:
    void cleanup() { fixture.reset(); }

    void pageBreaking_data()
    {
        QTest::addColumn<int>("contacts");
        QTest::addColumn<QList<int>>("rowsPerPage");
        QTest::newRow("one") << 1 << QList<int> { 1 };
        QTest::newRow("first page full") << 24 << QList<int> { 24 };
        QTest::newRow("25th starts page 2") << 25 << QList<int> { 24, 1 };
        QTest::newRow("second page full") << 49 << QList<int> { 24, 25 };
        QTest::newRow("third page") << 50 << QList<int> { 24, 25, 1 };
        QTest::newRow("several pages") << 130 << QList<int> { 24, 25, 25, 25, 25, 6 };
    }
    void pageBreaking()
    {
        QFETCH(int, contacts);
        QFETCH(QList<int>, rowsPerPage);
        useContacts(contacts);
        const auto doc = prepare();
        QCOMPARE(detailRowsPerPage(*doc), rowsPerPage);

        const int title = int(BandType::Title), header = int(BandType::ColumnHeader);
        // Title once, headings directly below it, and heading first on every later page.
        QCOMPARE(bandsOfPage(*doc, 0).mid(0, 2), (QList<int> { title, header }));
        for (int p = 1; p < doc->pageCount(); ++p) {
            const QList<int> bands = bandsOfPage(*doc, p);
            QCOMPARE(bands.first(), header);
            QCOMPARE(bands.count(title), 0);
            QCOMPARE(bands.count(header), 1);
        }
    }

    // An empty list and a closed query give the same single page: frame,
    // title, and one ruled row of empty cells directly beneath it.
    void emptyList_data()
    {
        QTest::addColumn<bool>("closed");
        QTest::newRow("no contacts") << false;
        QTest::newRow("closed query") << true;
    }
    void emptyList()
    {
        QFETCH(bool, closed);
        useContacts(0);
        if (closed)
            Dm->addquery->close();
        const auto doc = prepare();
        QCOMPARE(doc->pageCount(), 1);
        QCOMPARE(bandsOfPage(*doc, 0), (QList<int> { int(BandType::Title), int(BandType::Detail) }));
        for (int s = 0; s < 6; ++s)
            QVERIFY(doc->placementText(0, 1, s).isEmpty());
        QCOMPARE(Dm->addquery->isActive(), !closed); // the report does not open it

        const QImage page = renderPage(*doc, 0, kDpi);
        const double rowTop = 10 + 11.38;
        QVERIFY(dark(page, 1000, px(rowTop - 0.26))); // the empty row's top edge
        QVERIFY(!dark(page, 1000, px(10 + 11.64))); // the title box's own bottom edge is covered
        QVERIFY(!dark(page, 1000, px(rowTop + 10.58))); // no headings, no second row
        QVERIFY(dark(page, px(10 + 25.40), px(rowTop + 1.5)));
        QVERIFY(dark(page, px(10 + 137.58), px(rowTop + 1.5)));
        QVERIFY(dark(page, px(10 + 0.1), px(200))); // frame
    }

    void closedQueryDrawsLikeEmptyList()
    {
        useContacts(0);
        const QImage empty = renderPage(*prepare(), 0, 100);
        Dm->addquery->close();
        QCOMPARE(renderPage(*prepare(), 0, 100), empty);
    }

    void frameAndCellBorders_data()
    {
        QTest::addColumn<double>("xMm");
        QTest::addColumn<double>("yMm");
        QTest::addColumn<bool>("line");
        const double head = 10 + 11.38 + 1.5; // inside the headings, clear of their texts
        const double row = kFirstRowTop + 1.5; // inside the first row, clear of its texts
        // Frame bars, 1 pt thick, inside the 190 x 277 mm box.
        QTest::newRow("frame left") << 10.1 << 200.0 << true;
        QTest::newRow("frame left inner edge") << 10.3 << 200.0 << true;
        QTest::newRow("inside the frame") << 10.6 << 200.0 << false;
        QTest::newRow("frame right") << 199.8 << 200.0 << true;
        QTest::newRow("frame top") << 100.0 << 10.1 << true;
        QTest::newRow("frame bottom") << 100.0 << 286.8 << true;
        QTest::newRow("outside the frame") << 100.0 << 9.5 << false;
        // Title box bottom is covered by the headings; their top edge shows.
        QTest::newRow("headings top") << 100.0 << 21.38 << true;
        QTest::newRow("title box bottom covered") << 100.0 << 21.64 << false;
        // Between headings and first row one line, the row's own top edge.
        QTest::newRow("first row top") << 100.0 << kFirstRowTop - 0.26 << true;
        QTest::newRow("headings bottom covered") << 100.0 << kFirstRowTop << false;
        QTest::newRow("second row top") << 100.0 << kFirstRowTop + 10.58 - 0.26 << true;
        // Headings paint sex, mobile, name, QQ, then e-mail and address: the
        // name cell covers the sex cell's left edge, and so on.
        QTest::newRow("head: name right shows") << 10 + 25.66 << head << true;
        QTest::newRow("head: sex left covered") << 10 + 25.40 << head << false;
        QTest::newRow("head: mobile left shows") << 10 + 42.33 << head << true;
        QTest::newRow("head: sex right covered") << 10 + 42.60 << head << false;
        QTest::newRow("head: QQ left shows") << 10 + 76.20 << head << true;
        QTest::newRow("head: mail left shows") << 10 + 107.95 << head << true;
        QTest::newRow("head: address left shows") << 10 + 137.58 << head << true;
        QTest::newRow("head: mail right covered") << 10 + 137.85 << head << false;
        // Rows paint left to right: every left edge shows.
        QTest::newRow("row: sex left shows") << 10 + 25.40 << row << true;
        QTest::newRow("row: name right covered") << 10 + 25.66 << row << false;
        QTest::newRow("row: mobile left shows") << 10 + 42.33 << row << true;
        QTest::newRow("row: sex right covered") << 10 + 42.60 << row << false;
        QTest::newRow("row: QQ left shows") << 10 + 76.20 << row << true;
        QTest::newRow("row: mobile right covered") << 10 + 76.46 << row << false;
        QTest::newRow("row: mail left shows") << 10 + 107.95 << row << true;
        QTest::newRow("row: address left shows") << 10 + 137.58 << row << true;
        QTest::newRow("row: address right") << 10 + 189.70 << row << true;
        QTest::newRow("row: inside a cell") << 10 + 20.0 << row << false;
    }
    void frameAndCellBorders()
    {
        QFETCH(double, xMm);
        QFETCH(double, yMm);
        QFETCH(bool, line);
        if (twoRowPage.isNull()) {
            useContacts(0);
            fixture->exec(contact(QStringLiteral("张三")) + contact(QStringLiteral("李四")));
            reload(Dm->addquery);
            twoRowPage = renderPage(*prepare(), 0, kDpi);
        }
        const QImage &page = twoRowPage;
        QCOMPARE(page.size(), QSize(2100, 2970));
        QCOMPARE(dark(page, px(xMm), px(yMm)), line);
    }

    void textsAtTheirPlaces()
    {
        useContacts(0);
        fixture->exec(
            QStringLiteral("insert into data values('王五','女','12345','13800000001','w@x.cn','上海','朋友');"));
        reload(Dm->addquery);
        const auto doc = prepare();
        const int detail = doc->templateIndex(BandType::Detail);
        QCOMPARE(doc->placementTemplate(0, 2), detail);
        QStringList texts;
        for (int s = 0; s < doc->templates()[size_t(detail)].slotCount; ++s)
            texts << doc->placementText(0, 2, s).toString();
        // Name, sex, mobile, QQ, e-mail, address; the group is not printed.
        QCOMPARE(texts,
            (QStringList { QStringLiteral("王五"), QStringLiteral("女"), QStringLiteral("13800000001"),
                QStringLiteral("12345"), QStringLiteral("w@x.cn"), QStringLiteral("上海") }));

        // The title's ink lies right of its left position and within its line.
        const QImage page = renderPage(*doc, 0, kDpi);
        const QRect titleArea(px(10 + 86.78), px(10 + 4.23), px(20), px(4.5));
        bool ink = false;
        for (int y = titleArea.top(); y <= titleArea.bottom() && !ink; ++y)
            for (int x = titleArea.left(); x <= titleArea.right() && !ink; ++x)
                ink = dark(page, x, y);
        QVERIFY(ink);
        for (int y = px(10 + 0.6); y < px(10 + 4.0); ++y)
            for (int x = px(10 + 80); x < px(10 + 110); ++x)
                QVERIFY2(!dark(page, x, y), "nothing above the title's line");
    }

    // An over-long value runs over the next cell's border on one line; the
    // border shows again above and below the text's line.
    void longValueRunsIntoNextCell()
    {
        useContacts(0);
        fixture->exec(contact(QStringLiteral("短"))
            + contact(QStringLiteral("长"), QStringLiteral("a.very.long.mail.address.for.testing@example.com.cn")));
        reload(Dm->addquery);
        const auto doc = prepare();
        const QImage page = renderPage(*doc, 0, kDpi);
        const int border = px(10 + 137.58);
        const double shortRow = kFirstRowTop, longRow = kFirstRowTop + 10.58;
        const double textTop = 3.18, textBottom = 3.18 + 4.5;
        // The lowest millimetre of the text's box lies below its glyphs: there
        // only the box's white ground can hide the border.
        const double groundTop = textTop + 3.7, groundBottom = textTop + 4.4;
        QCOMPARE(darkShare(page, border, px(shortRow + groundTop), px(shortRow + groundBottom)), 1.0);
        QCOMPARE(darkShare(page, border, px(longRow + groundTop), px(longRow + groundBottom)), 0.0);
        QCOMPARE(darkShare(page, border, px(longRow + 0.5), px(longRow + textTop) - 2), 1.0);
        QCOMPARE(darkShare(page, border, px(longRow + textBottom) + 2, px(longRow + 10.0)), 1.0);
        // Not wrapped: nothing under the text's line inside the e-mail cell.
        for (int y = px(longRow + textBottom) + 2; y < px(longRow + 10.0); ++y)
            for (int x = px(10 + 109); x < px(10 + 137); ++x)
                QVERIFY2(!dark(page, x, y), "a second line was drawn");
        // The band kept its height: the next page-1 rows keep their lines.
        QVERIFY(dark(page, 1000, px(longRow + 10.58 - 0.26)));
    }

    void onlyFirstLineOfAValue()
    {
        useContacts(0);
        fixture->exec(
            contact(QStringLiteral("甲"), QStringLiteral("x@y.cn"), QStringLiteral("第一行' || char(10) || '第二行"))
            + contact(QStringLiteral("乙"), QStringLiteral("x@y.cn"),
                QStringLiteral("甲地' || char(13) || char(10) || '乙地")));
        reload(Dm->addquery);
        QCOMPARE(Dm->addquery->value(0, 5), QStringLiteral("第一行\n第二行"));
        const auto doc = prepare();
        QCOMPARE(doc->placementText(0, 2, 5).toString(), QStringLiteral("第一行"));
        QCOMPARE(doc->placementText(0, 3, 5).toString(), QStringLiteral("甲地"));
    }

    void searchResultPrintsOnlyItsRows()
    {
        useContacts(0);
        fixture->exec(
            contact(QStringLiteral("张三")) + contact(QStringLiteral("张四")) + contact(QStringLiteral("李五")));
        reload(Dm->addquery);
        Dm->addquery->close();
        Dm->addquery->clearSql();
        Dm->addquery->addSql(QStringLiteral("select * from data where 姓名 like :p0"));
        Dm->addquery->setParam(QStringLiteral("p0"), QStringLiteral("%张%"));
        Dm->addquery->open();
        const auto doc = prepare();
        QCOMPARE(detailRowsPerPage(*doc), QList<int> { 2 });
        QStringList names { doc->placementText(0, 2, 0).toString(), doc->placementText(0, 3, 0).toString() };
        names.sort();
        QCOMPARE(names, (QStringList { QStringLiteral("张三"), QStringLiteral("张四") }));
    }

    // The walk ends on the last row, and bound views hear of it once, not
    // once per row.
    void walkLeavesLastRowCurrent()
    {
        useContacts(300);
        Dm->addquery->setRecNo(5);
        QSignalSpy moves(Dm->addquery, &txl::Query::currentRowChanged);
        Tfrm_print holder;
        LayoutJob job(holder.QuickRep1->definition(), Dm->addquery);
        QSignalSpy finished(&job, &LayoutJob::finished);
        job.start();
        QVERIFY(finished.wait(5000));
        QCOMPARE(job.state(), LayoutJob::State::Complete);
        QCOMPARE(Dm->addquery->recNo(), 299);
        QCOMPARE(Dm->addsource->currentRow(), 299);
        QCOMPARE(moves.count(), 1);
        QCOMPARE(job.document().pageCount(), 13); // 24 + 11 * 25 + 1
    }

    // The main window stays usable during a layout. Whatever happens to the
    // list between two slices, the walk ends with the pages it has and
    // leaves the new list alone.
    void listChangesUnderTheWalk_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("search") << QStringLiteral("search");
        QTest::newRow("reload") << QStringLiteral("reload");
        QTest::newRow("close") << QStringLiteral("close");
        QTest::newRow("delete a row") << QStringLiteral("delete");
    }
    void listChangesUnderTheWalk()
    {
        QFETCH(QString, change);
        useContacts(200);
        Tfrm_print holder;
        LayoutJob job(holder.QuickRep1->definition(), Dm->addquery);
        QVERIFY(!job.step(0)); // a slice of 64 rows
        const int done = job.rowsDone();
        QVERIFY(done > 0 && done < 200);

        txl::Query *q = Dm->addquery;
        if (change == QLatin1String("search")) {
            q->close();
            q->clearSql();
            q->addSql(QStringLiteral("select * from data where 姓名 like :p0"));
            q->setParam(QStringLiteral("p0"), QStringLiteral("%"));
            q->open();
            q->setRecNo(3);
        } else if (change == QLatin1String("reload")) {
            reload(Dm->addquery);
            q->setRecNo(3);
        } else if (change == QLatin1String("close")) {
            q->close();
        } else {
            q->setRecNo(3);
            q->deleteRecord();
        }
        QVERIFY(job.step(LayoutJob::SliceMs));
        QCOMPARE(job.state(), LayoutJob::State::DataChanged);
        QCOMPARE(job.rowsDone(), done);
        QCOMPARE(detailRowsPerPage(job.document()).first(), 24);
        QCOMPARE(job.completedPages(), job.document().pageCount());
        if (q->isActive())
            QCOMPARE(q->recNo(), 3);
        // The pages it has still draw.
        QVERIFY(!renderPage(job.document(), job.completedPages() - 1, 30).isNull());
    }

    // A value changed in place (the editor's modify path) is no change of
    // the list: the walk goes on.
    void editedRowDoesNotStopTheWalk()
    {
        useContacts(100);
        Tfrm_print holder;
        LayoutJob job(holder.QuickRep1->definition(), Dm->addquery);
        QVERIFY(!job.step(0));
        Dm->addquery->setRecNo(80);
        Dm->addquery->edit();
        Dm->addquery->setField(5, QStringLiteral("新地址"));
        Dm->addquery->post();
        job.runToEnd();
        QCOMPARE(job.state(), LayoutJob::State::Complete);
        QCOMPARE(job.document().placementText(3, 1 + 80 - 74, 5).toString(), QStringLiteral("新地址"));
    }

    void savedReportRendersIdentically()
    {
        useContacts(60);
        const auto doc = prepare();
        QBuffer file;
        file.open(QIODevice::ReadWrite);
        doc->save(&file);
        file.seek(0);
        QString error;
        const auto loaded = PreparedReport::load(&file, &error);
        QVERIFY2(loaded, qPrintable(error));
        QVERIFY(loaded->sameContent(*doc));
        QCOMPARE(loaded->pageCount(), 3);
        for (int p = 0; p < doc->pageCount(); ++p)
            QCOMPARE(renderPage(*loaded, p, 72), renderPage(*doc, p, 72));
    }

    void damagedFileIsRefused_data()
    {
        useContacts(30);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        prepare()->save(&buffer);
        const QByteArray good = buffer.data();
        fixture.reset();

        auto withVersion = [&](quint32 v) {
            QByteArray b = good;
            b[8] = char(v >> 24);
            b[9] = char(v >> 16);
            b[10] = char(v >> 8);
            b[11] = char(v);
            return b;
        };
        QByteArray flipped = good;
        flipped[good.size() / 2] = char(flipped[good.size() / 2] ^ 0x5a);
        // A payload that hashes right but points a page at a band that
        // does not exist.
        QByteArray crafted = good;
        {
            QByteArray payload = crafted.mid(52);
            // The page-start array follows the band templates; make the
            // last page start past every placement.
            QDataStream in(payload);
            in.setVersion(QDataStream::Qt_6_4);
            in.skipRawData(8 * 2 + 4 + 8 * 5);
            quint32 fonts = 0;
            in >> fonts;
            for (quint32 i = 0; i < fonts; ++i) {
                QString family;
                double size;
                qint32 cs;
                in >> family >> size >> cs;
            }
            quint32 templates = 0;
            in >> templates;
            for (quint32 i = 0; i < templates; ++i) {
                qint32 type, slotCount;
                double h, w;
                quint32 items;
                in >> type >> h >> w >> slotCount >> items;
                for (quint32 k = 0; k < items; ++k) {
                    qint32 kind, font, slot;
                    double l, t, iw, ih;
                    QString text;
                    in >> kind >> l >> t >> iw >> ih >> text >> font >> slot;
                }
            }
            quint32 pages = 0;
            in >> pages;
            const qint64 lastStart = in.device()->pos() + 4 * (pages - 1);
            payload[lastStart] = char(0x7f);
            crafted = good.left(20) + QCryptographicHash::hash(payload, QCryptographicHash::Sha256) + payload;
        }

        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty file") << QByteArray() << QStringLiteral("not a saved report");
        QTest::newRow("some other file") << QByteArray("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj")
                                         << QStringLiteral("not a saved report");
        QTest::newRow("header cut") << good.left(30) << QStringLiteral("truncated");
        QTest::newRow("payload cut") << good.left(good.size() - 7) << QStringLiteral("truncated");
        QTest::newRow("half the file") << good.left(good.size() / 2) << QStringLiteral("truncated");
        QTest::newRow("later version") << withVersion(2) << QStringLiteral("later version");
        QTest::newRow("version zero") << withVersion(0) << QStringLiteral("not a saved report");
        QTest::newRow("flipped byte") << flipped << QStringLiteral("damaged");
        QTest::newRow("index out of range") << crafted << QStringLiteral("damaged");
        QTest::newRow("good") << good << QString();
    }
    void damagedFileIsRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QBuffer file(&bytes);
        file.open(QIODevice::ReadOnly);
        QString error;
        const auto doc = PreparedReport::load(&file, &error);
        if (reason.isEmpty()) {
            QVERIFY2(doc, qPrintable(error));
            return;
        }
        QVERIFY(!doc);
        QVERIFY2(error.contains(reason), qPrintable(error));
    }
};

QTEST_MAIN(tst_Report)
#include "tst_report.moc"
