// The About box and the JPEG decoder behind its picture.
#include "TestSupport.h"

#include "platform/image/JpegImage.h"
#include "platform/ui/Dialogs.h"
#include "shell/Unit_Main.h"
#include "shell/Unit_about.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

using txl::ui::decodeJpeg;

namespace {

QByteArray storedPicture()
{
    QFile f(Tfrm_about::defaultPicturePath());
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

// Offset of the frame header's height field (SOFn: FF Cn len(2) precision(1)
// height(2) width(2)), or -1.
qsizetype frameSizeOffset(const QByteArray &jpeg)
{
    qsizetype i = 2;
    while (i + 9 <= jpeg.size() && uchar(jpeg[i]) == 0xFF) {
        const uchar marker = uchar(jpeg[i + 1]);
        const int length = (uchar(jpeg[i + 2]) << 8) | uchar(jpeg[i + 3]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return i + 5;
        i += 2 + length;
    }
    return -1;
}

QByteArray withFrameSize(QByteArray jpeg, int width, int height)
{
    const qsizetype at = frameSizeOffset(jpeg);
    if (at < 0)
        return QByteArray();
    jpeg[at] = char(height >> 8);
    jpeg[at + 1] = char(height & 0xFF);
    jpeg[at + 2] = char(width >> 8);
    jpeg[at + 3] = char(width & 0xFF);
    return jpeg;
}

// Start of the entropy-coded data: just after the start-of-scan header.
qsizetype scanDataOffset(const QByteArray &jpeg)
{
    const qsizetype sos = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
    if (sos < 0)
        return -1;
    return sos + 2 + ((uchar(jpeg[sos + 2]) << 8) | uchar(jpeg[sos + 3]));
}

// A picture of solid blocks, encoded by another encoder than the one that made
// the stored picture, so channel order and colour conversion are checked
// against known colours.
const QList<QColor> &blockColours()
{
    static const QList<QColor> colours { Qt::red, Qt::green, Qt::blue, Qt::white, Qt::black, QColor(128, 128, 128),
        Qt::cyan, Qt::yellow };
    return colours;
}

QImage blocks()
{
    QImage image(32 * blockColours().size(), 48, QImage::Format_RGB32);
    for (int b = 0; b < blockColours().size(); ++b) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < 32; ++x)
                image.setPixelColor(b * 32 + x, y, blockColours()[b]);
    }
    return image;
}

QByteArray encode(const QImage &image, bool progressive)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(95);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        return QByteArray();
    return out;
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance
        && qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

QString hex(QRgb c)
{
    return QColor(c).name();
}

// Runs an About box modally; `whileOpen` acts on it once it is showing. A
// safety timer closes it if the action did not, so a fault fails the test
// instead of hanging it.
struct ModalRun {
    bool sawModal = false;
    bool forced = false;
};

ModalRun runModal(const std::function<void()> &show, const std::function<void(Tfrm_about *)> &whileOpen)
{
    ModalRun run;
    QTimer act;
    act.setSingleShot(true);
    QObject::connect(&act, &QTimer::timeout, [&] {
        if (frm_about && frm_about->isVisible() && QApplication::activeModalWidget() == frm_about) {
            run.sawModal = true;
            whileOpen(frm_about);
        }
    });
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [&] {
        if (frm_about) {
            run.forced = true;
            frm_about->done(QDialog::Rejected);
        }
    });
    act.start(50);
    safety.start(3000);
    show();
    return run;
}

} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void storedPictureDecodes();
    void knownColours_data();
    void knownColours();
    void refusesDamagedData_data();
    void refusesDamagedData();
    void damagedPictureReachesTheErrorReport();
    void geometry();
    void clickClosesAndDestroys_data();
    void clickClosesAndDestroys();
    void nothingElseCloses_data();
    void nothingElseCloses();
    void programCloseStillWorks();
    void aboutCommandOpensTheBox();
};

void TestAbout::storedPictureDecodes()
{
    const QByteArray data = storedPicture();
    QVERIFY(!data.isEmpty());
    // Baseline: the frame header is SOF0.
    const qsizetype sof = frameSizeOffset(data);
    QVERIFY(sof > 0);
    QCOMPARE(uchar(data[sof - 4]), uchar(0xC0));

    const txl::ui::JpegDecoded decoded = decodeJpeg(data);
    QVERIFY2(decoded.ok(), qPrintable(decoded.error));
    QVERIFY(decoded.error.isEmpty());
    QCOMPARE(decoded.image.size(), QSize(397, 283));

    // A few colours of the picture's design: the gradient's top-left start,
    // the orange rule above the credits, the pale credits band.
    const QImage &img = decoded.image;
    QVERIFY2(near(img.pixel(0, 0), qRgb(0x1d, 0x4f, 0x91), 12), qPrintable(hex(img.pixel(0, 0))));
    QVERIFY2(near(img.pixel(300, 195), qRgb(0xf0, 0xa8, 0x30), 24), qPrintable(hex(img.pixel(300, 195))));
    // (85 % white over the gradient's blue at that row)
    QVERIFY2(near(img.pixel(390, 205), qRgb(0xe4, 0xef, 0xf8), 12), qPrintable(hex(img.pixel(390, 205))));
    // Blue sky above: the rows are in order and red and blue not swapped.
    QVERIFY(qBlue(img.pixel(390, 5)) > qRed(img.pixel(390, 5)) + 60);
}

void TestAbout::knownColours_data()
{
    QTest::addColumn<bool>("progressive");
    QTest::addColumn<bool>("grey");
    QTest::newRow("baseline colour") << false << false;
    QTest::newRow("progressive colour") << true << false;
    QTest::newRow("one-component grey") << false << true;
}

void TestAbout::knownColours()
{
    QFETCH(bool, progressive);
    QFETCH(bool, grey);
    QImage source = blocks();
    if (grey)
        source = source.convertToFormat(QImage::Format_Grayscale8);
    const QByteArray data = encode(source, progressive);
    if (data.isEmpty())
        QSKIP("no JPEG writer to make the sample with");

    const txl::ui::JpegDecoded decoded = decodeJpeg(data);
    QVERIFY2(decoded.ok(), qPrintable(decoded.error));
    QCOMPARE(decoded.image.size(), source.size());
    for (int b = 0; b < blockColours().size(); ++b) {
        const QRgb want = grey ? source.pixel(b * 32 + 16, 24) : blockColours()[b].rgb();
        const QRgb got = decoded.image.pixel(b * 32 + 16, 24);
        QVERIFY2(
            near(got, want, 10), qPrintable(QStringLiteral("block %1: %2, want %3").arg(b).arg(hex(got), hex(want))));
    }
}

void TestAbout::refusesDamagedData_data()
{
    QTest::addColumn<QByteArray>("data");
    const QByteArray good = storedPicture();
    const qsizetype scan = scanDataOffset(good);

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not a JPEG") << QByteArray("GIF89a not a jpeg at all");
    QTest::newRow("start marker only") << good.left(2);
    QTest::newRow("cut inside the headers") << good.left(scan / 2);
    QTest::newRow("cut after the headers") << good.left(scan + 16);
    QTest::newRow("cut halfway") << good.left(good.size() / 2);
    QTest::newRow("cut before the end marker") << good.left(good.size() - 2);
    QByteArray wiped = good;
    for (qsizetype i = scan + 500; i < scan + 1500; ++i)
        wiped[i] = char(0xFF);
    QTest::newRow("scan data wiped") << wiped;
    QByteArray noTables = good;
    const qsizetype dht = noTables.indexOf(QByteArray("\xFF\xC4", 2));
    noTables[dht + 4] = char(0x7F); // a table class and number libjpeg refuses
    QTest::newRow("bogus Huffman table") << noTables;
    QTest::newRow("zero height") << withFrameSize(good, 397, 0);
    QTest::newRow("absurdly wide") << withFrameSize(good, 65000, 283);
    QTest::newRow("absurdly large") << withFrameSize(good, 65000, 65000);
}

void TestAbout::refusesDamagedData()
{
    QFETCH(QByteArray, data);
    const txl::ui::JpegDecoded decoded = decodeJpeg(data);
    QVERIFY(decoded.image.isNull());
    QVERIFY(!decoded.ok());
    QVERIFY(!decoded.error.isEmpty());
    // The same data again: the decoder keeps no state between pictures.
    QVERIFY(!decodeJpeg(data).ok());
    QVERIFY(decodeJpeg(storedPicture()).ok());
}

void TestAbout::damagedPictureReachesTheErrorReport()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("about.jpg"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray good = storedPicture();
        f.write(good.left(good.size() / 3));
    }
    txl::ui::BoxRecorder boxes;
    bool made = false;
    txl::ui::guarded([&] {
        Tfrm_about box(nullptr, path);
        made = true;
    });
    QVERIFY(!made);
    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().first().kind, txl::ui::ShownBox::ErrorReport);
    QVERIFY(boxes.boxes().first().text.startsWith(QStringLiteral("JPEG")));
    QVERIFY(boxes.boxes().first().text.size() > 12);
}

void TestAbout::geometry()
{
    Tfrm_about box;
    QVERIFY(box.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(box.isModal());
    QCOMPARE(box.size(), QSize(398, 283));
    QCOMPARE(box.minimumSize(), QSize(398, 283));
    QCOMPARE(box.maximumSize(), QSize(398, 283));
    QCOMPARE(box.Image1->geometry(), QRect(0, 0, 398, 283));
    QCOMPARE(box.Image1->pixmap().size(), QSize(397, 283));
    QVERIFY(!box.Image1->hasScaledContents());

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QVERIFY((box.frameGeometry().center() - screen.center()).manhattanLength() <= 2);
    QCOMPARE(box.frameGeometry().size(), QSize(398, 283));

    // The picture from the top-left corner, the last column the face colour.
    const QImage shot = box.grab().toImage();
    const QImage picture = decodeJpeg(storedPicture()).image;
    for (const QPoint &p : { QPoint(0, 0), QPoint(396, 0), QPoint(200, 140), QPoint(396, 282), QPoint(0, 282) })
        QVERIFY2(
            near(shot.pixel(p), picture.pixel(p), 0), qPrintable(QStringLiteral("at %1,%2").arg(p.x()).arg(p.y())));
    const QRgb face = box.palette().color(QPalette::Window).rgb();
    for (int y : { 0, 141, 282 })
        QCOMPARE(hex(shot.pixel(397, y)), hex(face));
}

void TestAbout::clickClosesAndDestroys_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::newRow("top-left corner") << QPoint(0, 0);
    QTest::newRow("middle") << QPoint(200, 140);
    QTest::newRow("bottom-right of the picture") << QPoint(396, 282);
    QTest::newRow("the face-coloured column") << QPoint(397, 100);
}

void TestAbout::clickClosesAndDestroys()
{
    QFETCH(QPoint, at);
    QPointer<Tfrm_about> seen;
    const ModalRun run = runModal([] { Tfrm_about::execute(nullptr); },
        [&](Tfrm_about *box) {
            seen = box;
            QTest::mouseClick(box->Image1, Qt::LeftButton, {}, at);
        });
    QVERIFY(run.sawModal);
    QVERIFY2(!run.forced, "the click did not close the box");
    QVERIFY(frm_about == nullptr);
    QVERIFY(seen.isNull()); // destroyed, not merely hidden
}

void TestAbout::nothingElseCloses_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("Escape") << QStringLiteral("escape");
    QTest::newRow("Enter") << QStringLiteral("enter");
    QTest::newRow("right click") << QStringLiteral("right");
    QTest::newRow("press without release") << QStringLiteral("press");
}

void TestAbout::nothingElseCloses()
{
    QFETCH(QString, action);
    bool stillOpen = false;
    const ModalRun run = runModal([] { Tfrm_about::execute(nullptr); },
        [&](Tfrm_about *box) {
            if (action == QLatin1String("escape"))
                QTest::keyClick(box, Qt::Key_Escape);
            else if (action == QLatin1String("enter"))
                QTest::keyClick(box, Qt::Key_Return);
            else if (action == QLatin1String("right"))
                QTest::mouseClick(box->Image1, Qt::RightButton, {}, QPoint(50, 50));
            else
                QTest::mousePress(box->Image1, Qt::LeftButton, {}, QPoint(50, 50));
            QCoreApplication::processEvents();
            stillOpen = frm_about && frm_about->isVisible();
        });
    QVERIFY(run.sawModal);
    QVERIFY(stillOpen);
    QVERIFY(run.forced);
    QVERIFY(frm_about == nullptr);
}

void TestAbout::programCloseStillWorks()
{
    // The box refuses Escape, but a close the program asks for (as when the
    // application ends) must still end it.
    const ModalRun run = runModal([] { Tfrm_about::execute(nullptr); }, [](Tfrm_about *box) { box->close(); });
    QVERIFY(run.sawModal);
    QVERIFY(!run.forced);
    QVERIFY(frm_about == nullptr);
}

void TestAbout::aboutCommandOpensTheBox()
{
    ContactsFixture fixture(1);
    fixture.createDm();
    Tfrm_Main window;
    window.show();
    // Menu "关于" directly, toolbar "关于" through its forwarding handler.
    const QList<std::function<void()>> routes { [&] { window.N11Click(); }, [&] { window.ToolButton5->click(); } };
    for (const auto &route : routes) {
        QWidget *owner = nullptr;
        const ModalRun run = runModal(route, [&](Tfrm_about *box) {
            owner = box->parentWidget();
            QTest::mouseClick(box->Image1, Qt::LeftButton, {}, QPoint(10, 10));
        });
        QVERIFY(run.sawModal);
        QVERIFY(!run.forced);
        QCOMPARE(owner, static_cast<QWidget *>(&window));
        QVERIFY(frm_about == nullptr);
    }
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
