// Files that once crashed, exhausted memory or reached undefined behaviour in
// the saved-report loader, the page painter or the JPEG decoder: every one
// in fuzz/regressions/ is read again here. A report must be refused with a
// message, or load and paint every page; the preview's Open command shows
// one "cannot be loaded" box and keeps the report it shows. A report input
// whose name contains "-loads" is one the loader is meant to accept.
#include "TestSupport.h"
#include "fuzz/ReportInput.h"

#include "platform/data/Query.h"
#include "platform/image/JpegImage.h"
#include "platform/report/PagePainter.h"
#include "platform/report/PreparedReport.h"
#include "platform/report/PreviewWindow.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/FileDialogs.h"
#include "report/Unit_print.h"
#include "store/Unit_Dm.h"

#include <QBuffer>
#include <QDir>
#include <QPainter>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

using namespace txl::report;

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void addRegressionRows(const QString &kind)
{
    QTest::addColumn<QString>("path");
    const QString dir = QFINDTESTDATA(QStringLiteral("fuzz/regressions/") + kind);
    QVERIFY2(!dir.isEmpty(), "the regression inputs are missing");
    const QFileInfoList files = QDir(dir).entryInfoList(QDir::Files, QDir::Name);
    if (files.isEmpty())
        QTest::newRow("no inputs") << QString(); // fails below, naming the folder
    for (const QFileInfo &f : files)
        QTest::newRow(qPrintable(f.fileName())) << f.absoluteFilePath();
}

std::unique_ptr<PreparedReport> loadBytes(const QByteArray &bytes, QString *error)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return PreparedReport::load(&buffer, error);
}

// Paints every page twice: into a small image through the painter the
// preview uses, and as a page image at a low resolution.
void paintEveryPage(const PreparedReport &doc)
{
    for (int p = 0; p < doc.pageCount(); ++p) {
        QImage small(120, 170, QImage::Format_RGB32);
        small.fill(Qt::white);
        {
            QPainter painter(&small);
            paintPage(painter, doc, p, QRectF(0, 0, 120, 170));
        }
        const QImage page = renderPage(doc, p, 20);
        if (!page.isNull())
            QVERIFY(page.width() <= 32767 && page.height() <= 32767);
    }
}

// Serves bytes as a file or a stream and remembers the largest read asked
// of it: a reader that trusts a length asks for all of it at once.
class WatchedDevice : public QIODevice {
public:
    WatchedDevice(const QByteArray &bytes, bool sequential)
        : m_bytes(bytes)
        , m_sequential(sequential)
    {
    }
    bool isSequential() const override { return m_sequential; }
    qint64 size() const override { return m_sequential ? 0 : m_bytes.size(); }
    qint64 bytesAvailable() const override { return m_bytes.size() - m_pos + QIODevice::bytesAvailable(); }
    qint64 largestRead = 0;

protected:
    qint64 readData(char *data, qint64 maxlen) override
    {
        largestRead = std::max(largestRead, maxlen);
        const qint64 n = std::min(maxlen, m_bytes.size() - m_pos);
        std::memcpy(data, m_bytes.constData() + m_pos, static_cast<size_t>(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }
    bool seek(qint64 pos) override
    {
        if (m_sequential || pos < 0 || pos > m_bytes.size())
            return false;
        QIODevice::seek(pos);
        m_pos = pos;
        return true;
    }

private:
    QByteArray m_bytes;
    bool m_sequential;
    qint64 m_pos = 0;
};

// A report of two pages with texts, saved by the real saver.
QByteArray savedSample()
{
    ReportDefinition def;
    Band title;
    title.type = BandType::Title;
    title.height = 12;
    const FontSpec font { QStringLiteral("Arial"), 10, Charset::Gb2312 };
    title.items.push_back(ReportItem::label(QStringLiteral("Title"), QStringLiteral("通讯录"), 5, 2, font));
    Band detail;
    detail.type = BandType::Detail;
    detail.height = 8;
    detail.items.push_back(ReportItem::rectangle(QStringLiteral("Cell"), 0, 0, 30, 8));
    detail.items.push_back(ReportItem::field(QStringLiteral("Name"), QStringLiteral("姓名"), 1, 1, font));
    def.bands = { title, detail };
    PreparedReport doc(def);
    const QString name = QStringLiteral("张三");
    for (int page = 0; page < 2; ++page) {
        doc.beginPage();
        doc.placeBand(0, 10, nullptr);
        doc.placeBand(1, 30, &name);
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    doc.save(&buffer);
    return buffer.data();
}

} // namespace

class tst_Reliability : public QObject {
    Q_OBJECT

private:
    QTemporaryDir out;

private slots:
    void reportRegressions_data() { addRegressionRows(QStringLiteral("report")); }
    void reportRegressions()
    {
        QFETCH(QString, path);
        QVERIFY2(!path.isEmpty(), "fuzz/regressions/report holds no inputs");
        const QByteArray bytes = readFile(path);
        const bool meantToLoad = path.contains(QLatin1String("-loads"));
        // As the file is, and as the payload of a file whose hash is right.
        for (const QByteArray &input : { bytes, asSavedReport(bytes) }) {
            QString error;
            const auto doc = loadBytes(input, &error);
            if (doc) {
                QVERIFY(error.isEmpty());
                paintEveryPage(*doc);
            } else {
                QVERIFY2(!meantToLoad, qPrintable(error));
                QVERIFY2(error.startsWith(QStringLiteral("The file is not a report that can be loaded: ")),
                    qPrintable(error));
            }
        }
        if (!meantToLoad)
            QVERIFY(!loadBytes(asSavedReport(bytes), nullptr));
    }

    // Values the saver never writes, each in a payload whose hash is right:
    // refused before anything is drawn or allocated for them.
    void outOfRangeValuesAreRefused_data()
    {
        QTest::addColumn<int>("offset"); // of the double in the payload
        QTest::addColumn<double>("value");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        // page: paper width 0, height 8, orientation 16, margins 20..44,
        // frame 52; the first font's size follows its family "Arial".
        const int fontSize = 60 + 4 + 4 + 2 * 5;
        QTest::newRow("paper width NaN") << 0 << nan;
        QTest::newRow("paper width infinite") << 0 << inf;
        QTest::newRow("paper width zero") << 0 << 0.0;
        QTest::newRow("paper width 1e300") << 0 << 1e300;
        QTest::newRow("paper height negative") << 8 << -297.0;
        QTest::newRow("left margin -inf") << 20 << -inf;
        QTest::newRow("bottom margin huge") << 44 << 3e9;
        QTest::newRow("frame 1e12 pt") << 52 << 1e12;
        QTest::newRow("font size NaN") << fontSize << nan;
        QTest::newRow("font size 1e9 pt") << fontSize << 1e9;
        QTest::newRow("font size zero") << fontSize << 0.0;
        QTest::newRow("font size negative") << fontSize << -9.0;
    }
    void outOfRangeValuesAreRefused()
    {
        QFETCH(int, offset);
        QFETCH(double, value);
        QByteArray payload = savedSample().mid(52);
        QCOMPARE(payload.mid(68, 10), QByteArray("\0A\0r\0i\0a\0l", 10)); // the layout assumed above
        QByteArray number;
        {
            QDataStream s(&number, QIODevice::WriteOnly);
            s.setVersion(QDataStream::Qt_6_4);
            s << value;
        }
        payload.replace(offset, 8, number);
        QString error;
        QVERIFY(!loadBytes(asSavedReport(payload), &error));
        QVERIFY2(error.contains(QStringLiteral("damaged")), qPrintable(error));
        QVERIFY(loadBytes(savedSample(), &error)); // the untouched file loads
    }

    // A length far beyond the bytes there is refused as truncated, from a
    // file and from a stream alike, without asking for that many bytes.
    void lengthBeyondTheFileIsTruncated_data()
    {
        QTest::addColumn<bool>("sequential");
        QTest::addColumn<quint64>("length");
        QTest::newRow("file, 1 GiB") << false << (quint64(1) << 30);
        QTest::newRow("stream, 1 GiB") << true << (quint64(1) << 30);
        QTest::newRow("file, 2^55") << false << (quint64(1) << 55);
        QTest::newRow("stream, 2 GiB") << true << (quint64(1) << 31);
    }
    void lengthBeyondTheFileIsTruncated()
    {
        QFETCH(bool, sequential);
        QFETCH(quint64, length);
        QByteArray bytes = savedSample();
        for (int i = 0; i < 8; ++i)
            bytes[12 + i] = char(length >> (56 - 8 * i));
        WatchedDevice device(bytes, sequential);
        device.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        QString error;
        QVERIFY(!PreparedReport::load(&device, &error));
        QVERIFY2(error.contains(QStringLiteral("damaged")) || error.contains(QStringLiteral("truncated")),
            qPrintable(error));
        QVERIFY2(device.largestRead <= (1 << 20), qPrintable(QString::number(device.largestRead)));
    }

    // A page that would cost more than a million drawings at each repaint
    // of the preview is refused; a large real one loads.
    void pageDrawingCostIsBounded_data()
    {
        QTest::addColumn<int>("placements");
        QTest::addColumn<bool>("loads");
        QTest::newRow("990 rows of 1000 cells") << 990 << true;
        QTest::newRow("1000 rows of 1000 cells") << 1000 << false;
    }
    void pageDrawingCostIsBounded()
    {
        QFETCH(int, placements);
        QFETCH(bool, loads);
        ReportDefinition def;
        Band detail;
        for (int i = 0; i < 1000; ++i)
            detail.items.push_back(ReportItem::rectangle(QStringLiteral("Cell"), i * 0.1, 0, 1, 1));
        def.bands = { detail };
        PreparedReport doc(def);
        doc.beginPage();
        for (int i = 0; i < placements; ++i)
            doc.placeBand(0, 10 + i * 0.2, nullptr);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        doc.save(&buffer);
        QString error;
        QCOMPARE(bool(loadBytes(buffer.data(), &error)), loads);
        if (!loads)
            QVERIFY2(error.contains(QStringLiteral("damaged")), qPrintable(error));
    }

    // The painter keeps positions in range on its own, whatever scale it is
    // given, and an image too large to make is refused rather than tried.
    void painterAtExtremeScales_data()
    {
        QTest::addColumn<double>("paperWidthPx");
        QTest::addColumn<double>("dpi");
        QTest::newRow("tiny") << 1e-9 << 1e-9;
        QTest::newRow("huge") << 1e15 << 1e9;
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("negative") << -500.0 << -72.0;
    }
    void painterAtExtremeScales()
    {
        QFETCH(double, paperWidthPx);
        QFETCH(double, dpi);
        const auto doc = loadBytes(savedSample(), nullptr);
        QVERIFY(doc);
        QImage image(100, 140, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            paintPage(painter, *doc, 0, QRectF(0, 0, paperWidthPx, paperWidthPx * 1.4));
        }
        QVERIFY(renderPage(*doc, 0, dpi).isNull());
        QVERIFY(!renderPage(*doc, 0, 20).isNull());
    }

    // Through the preview's Open command: one box naming the file, and the
    // report shown before stays.
    void previewOpenRefusesRegressions_data() { addRegressionRows(QStringLiteral("report")); }
    void previewOpenRefusesRegressions()
    {
        QFETCH(QString, path);
        QVERIFY2(!path.isEmpty(), "fuzz/regressions/report holds no inputs");
        if (path.contains(QLatin1String("-loads")))
            QSKIP("an input the loader accepts");
        ContactsFixture fixture(0);
        fixture.createDm();
        fixture.exec(
            QStringLiteral("insert into data values('联系人001','男','10001','13900000001','m@x.cn','北京','同学');"));
        Dm->reloadAll();
        auto holder = std::make_unique<Tfrm_print>();
        holder->QuickRep1->disconnect(holder.get());
        QPointer<PreviewWindow> w = holder->QuickRep1->openPreview();
        QVERIFY(w);
        QSignalSpy done(w.data(), &PreviewWindow::layoutFinished);
        if (!w->isLayoutFinished())
            QVERIFY(done.wait(10000));
        const QString shown = w->document()->placementText(0, 2, 0).toString();
        QCOMPARE(shown, QStringLiteral("联系人001"));

        const QByteArray bytes = readFile(path);
        for (const QByteArray &input : { bytes, asSavedReport(bytes) }) {
            const QString file = out.filePath(QFileInfo(path).fileName());
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(input);
            f.close();
            txl::ui::BoxRecorder boxes;
            txl::ui::FileDialogRecorder files;
            files.queueAnswer(file);
            w->findChild<QAction *>(QStringLiteral("LoadReport"))->trigger();
            QCOMPARE(boxes.boxes().size(), 1);
            const txl::ui::ShownBox &box = boxes.boxes().first();
            QCOMPARE(box.kind, txl::ui::ShownBox::Notice);
            QVERIFY2(box.text.contains(file) && box.text.contains(QStringLiteral("not a report that can be loaded")),
                qPrintable(box.text));
            QCOMPARE(w->pageCount(), 1);
            QCOMPARE(w->document()->placementText(0, 2, 0).toString(), shown);
        }
        delete w.data();
    }

    // Every JPEG input decodes to a picture within the limits or is refused
    // with a text; none ends the process.
    void jpegRegressions_data() { addRegressionRows(QStringLiteral("jpeg")); }
    void jpegRegressions()
    {
        QFETCH(QString, path);
        QVERIFY2(!path.isEmpty(), "fuzz/regressions/jpeg holds no inputs");
        const txl::ui::JpegDecoded d = txl::ui::decodeJpeg(readFile(path));
        if (d.ok()) {
            QVERIFY(d.error.isEmpty());
            QVERIFY(d.image.width() <= txl::ui::kMaxJpegSide && d.image.height() <= txl::ui::kMaxJpegSide);
        } else {
            QVERIFY(d.image.isNull());
            QVERIFY2(d.error.startsWith(QStringLiteral("JPEG 图片无法解码：")), qPrintable(d.error));
        }
    }
};

QTEST_MAIN(tst_Reliability)
#include "tst_reliability.moc"
