#include "platform/report/PreparedReport.h"

#include "platform/text/Lines.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDataStream>
#include <QIODevice>
#include <algorithm>
#include <cmath>
#include <stdexcept>

// Saved-report file, all integers big-endian:
//
//   offset  size  contents
//   0       8     magic: 0x89 'T' 'X' 'R' '\r' '\n' 0x1A '\n'
//   8       4     format version (1)
//   12      8     payload length in bytes
//   20      32    SHA-256 of the payload
//   52      n     payload, a QDataStream (Qt 6.4 encoding):
//     page    paper width, paper height (double mm), orientation (qint32:
//             0 portrait, 1 landscape), left, top, right, bottom margin
//             (double mm), frame bar width (double pt)
//     fonts   count (quint32); each: family (QString), size (double pt),
//             character set (qint32)
//     bands   count (quint32); each: type (qint32: 0 title, 1 column
//             header, 2 detail), height, width (double mm), field count
//             (qint32), item count (quint32); each item: kind (qint32: 0
//             rectangle, 1 label, 2 field), left, top, width, height
//             (double mm), text or field name (QString), font index
//             (qint32, -1 for none), field slot (qint32, -1 for none)
//     pages   count (quint32); each: index of its first placement (quint32)
//     placed  count (quint32); each: band index (quint16), top (double mm
//             from the paper's top), index of its first text (quint32)
//     texts   count (quint32); each: start in the pool (quint32); then the
//             pool (QString) holding every field text one after another
//
// The magic's first byte and line ends catch files mangled as text; the
// length and the hash catch truncation and damage before anything is read.

namespace txl::report {

namespace {
const QByteArray kMagic("\x89TXR\r\n\x1A\n", 8);
constexpr int kHeaderSize = 8 + 4 + 8 + 32;
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_4;
constexpr double kPointMm = 25.4 / 72.0;

// What a loaded file may hold: well past any paper a printer takes, yet
// small enough that every position stays far inside int range on any
// device and at any zoom of the preview.
constexpr double kMinPaperMm = 1;
constexpr double kMaxPaperMm = 5000;
constexpr double kMaxOffsetMm = 10000; // band and item positions and sizes
constexpr double kMaxFramePt = 1000;
constexpr double kMaxFontPt = 1000;
// A full page of the contact list draws about a thousand boxes and texts.
constexpr quint64 kMaxOpsPerPage = 1000000;
// A payload is read in steps of this size, so a damaged length costs no
// more memory than the bytes really there.
constexpr qint64 kReadStep = 1 << 20;

// False for NaN and the infinities too.
bool within(double value, double low, double high)
{
    return std::isfinite(value) && value >= low && value <= high;
}

QString refusal(const QString &why)
{
    return QStringLiteral("The file is not a report that can be loaded: %1.").arg(why);
}
} // namespace

// Only the first line of a text is printed.
using text::firstLine;

PreparedReport::PreparedReport(const ReportDefinition &definition)
    : m_page(definition.page)
{
    const double usableWidth = m_page.pageWidth() - m_page.leftMargin - m_page.rightMargin;
    for (const Band &band : definition.bands) {
        Template t;
        t.type = band.type;
        t.height = band.height;
        t.width = band.width > 0 ? band.width : usableWidth;
        for (const ReportItem &src : band.items) {
            Item item;
            item.kind = src.kind;
            item.left = src.left;
            item.top = src.top;
            item.width = src.width;
            item.height = src.kind == ReportItem::Kind::Rectangle ? src.height : TextBoxHeightMm;
            item.text = src.kind == ReportItem::Kind::Label ? firstLine(src.text).toString() : src.text;
            if (src.kind != ReportItem::Kind::Rectangle)
                item.font = fontIndex(src.font);
            if (src.kind == ReportItem::Kind::Field)
                item.slot = t.slotCount++;
            t.items.push_back(std::move(item));
        }
        m_templates.push_back(std::move(t));
    }
}

int PreparedReport::fontIndex(const FontSpec &font)
{
    for (size_t i = 0; i < m_fonts.size(); ++i)
        if (m_fonts[i] == font)
            return static_cast<int>(i);
    m_fonts.push_back(font);
    return static_cast<int>(m_fonts.size() - 1);
}

int PreparedReport::templateIndex(BandType type) const
{
    for (size_t i = 0; i < m_templates.size(); ++i)
        if (m_templates[i].type == type)
            return static_cast<int>(i);
    return -1;
}

void PreparedReport::beginPage()
{
    m_pageStart.push_back(static_cast<quint32>(m_placements.size()));
}

void PreparedReport::placeBand(int templateIndex, double topMm, const QString *texts)
{
    const Template &t = m_templates.at(static_cast<size_t>(templateIndex));
    Placement p { topMm, static_cast<quint32>(m_textStart.size() - 1), static_cast<quint16>(templateIndex) };
    for (int s = 0; s < t.slotCount; ++s) {
        if (texts)
            m_textPool.append(firstLine(texts[s]));
        m_textStart.push_back(static_cast<quint32>(m_textPool.size()));
    }
    m_placements.push_back(p);
}

int PreparedReport::placementCount(int page) const
{
    const size_t p = static_cast<size_t>(page);
    const quint32 end = p + 1 < m_pageStart.size() ? m_pageStart[p + 1] : static_cast<quint32>(m_placements.size());
    return static_cast<int>(end - m_pageStart.at(p));
}

const PreparedReport::Placement &PreparedReport::placementAt(int page, int placement) const
{
    return m_placements.at(m_pageStart.at(static_cast<size_t>(page)) + static_cast<size_t>(placement));
}

int PreparedReport::placementTemplate(int page, int placement) const
{
    return placementAt(page, placement).band;
}

QStringView PreparedReport::textAt(quint32 index) const
{
    const quint32 begin = m_textStart[index];
    const quint32 end = m_textStart[index + 1];
    return QStringView(m_textPool).mid(begin, end - begin);
}

QStringView PreparedReport::placementText(int page, int placement, int slot) const
{
    const Placement &p = placementAt(page, placement);
    return textAt(p.firstText + static_cast<quint32>(slot));
}

void PreparedReport::forEachOp(int page, const std::function<void(const DrawOp &)> &fn) const
{
    if (page < 0 || page >= pageCount())
        return;
    const double x0 = m_page.leftMargin;
    const int count = placementCount(page);
    for (int i = 0; i < count; ++i) {
        const Placement &p = placementAt(page, i);
        const Template &t = m_templates[p.band];
        fn(DrawOp { DrawOp::Kind::Fill, QRectF(x0, p.top, t.width, t.height), -1, {} });
        for (const Item &item : t.items) {
            const QRectF r(x0 + item.left, p.top + item.top, item.width, item.height);
            switch (item.kind) {
            case ReportItem::Kind::Rectangle:
                fn(DrawOp { DrawOp::Kind::Rectangle, r, -1, {} });
                break;
            case ReportItem::Kind::Label:
                fn(DrawOp { DrawOp::Kind::Text, r, item.font, item.text });
                break;
            case ReportItem::Kind::Field:
                fn(DrawOp { DrawOp::Kind::Text, r, item.font, textAt(p.firstText + static_cast<quint32>(item.slot)) });
                break;
            }
        }
    }
    if (m_page.frameWidthPt > 0) {
        const double bar = m_page.frameWidthPt * kPointMm;
        const QRectF box(m_page.leftMargin, m_page.topMargin,
            m_page.pageWidth() - m_page.leftMargin - m_page.rightMargin,
            m_page.pageHeight() - m_page.topMargin - m_page.bottomMargin);
        fn(DrawOp { DrawOp::Kind::Bar, QRectF(box.left(), box.top(), box.width(), bar), -1, {} });
        fn(DrawOp { DrawOp::Kind::Bar, QRectF(box.left(), box.bottom() - bar, box.width(), bar), -1, {} });
        fn(DrawOp { DrawOp::Kind::Bar, QRectF(box.left(), box.top(), bar, box.height()), -1, {} });
        fn(DrawOp { DrawOp::Kind::Bar, QRectF(box.right() - bar, box.top(), bar, box.height()), -1, {} });
    }
}

void PreparedReport::save(QIODevice *device) const
{
    QByteArray payload;
    {
        QBuffer buffer(&payload);
        buffer.open(QIODevice::WriteOnly);
        QDataStream out(&buffer);
        out.setVersion(kStreamVersion);
        out << m_page.paperWidth << m_page.paperHeight << static_cast<qint32>(m_page.orientation) << m_page.leftMargin
            << m_page.topMargin << m_page.rightMargin << m_page.bottomMargin << m_page.frameWidthPt;
        out << static_cast<quint32>(m_fonts.size());
        for (const FontSpec &f : m_fonts)
            out << f.family << f.pointSize << static_cast<qint32>(f.charset);
        out << static_cast<quint32>(m_templates.size());
        for (const Template &t : m_templates) {
            out << static_cast<qint32>(t.type) << t.height << t.width << static_cast<qint32>(t.slotCount)
                << static_cast<quint32>(t.items.size());
            for (const Item &i : t.items)
                out << static_cast<qint32>(i.kind) << i.left << i.top << i.width << i.height << i.text
                    << static_cast<qint32>(i.font) << static_cast<qint32>(i.slot);
        }
        out << static_cast<quint32>(m_pageStart.size());
        for (quint32 s : m_pageStart)
            out << s;
        out << static_cast<quint32>(m_placements.size());
        for (const Placement &p : m_placements)
            out << p.band << p.top << p.firstText;
        out << static_cast<quint32>(m_textStart.size());
        for (quint32 s : m_textStart)
            out << s;
        out << m_textPool;
    }
    QByteArray header = kMagic;
    {
        QDataStream h(&header, QIODevice::Append);
        h << FormatVersion << static_cast<quint64>(payload.size());
    }
    header += QCryptographicHash::hash(payload, QCryptographicHash::Sha256);
    if (device->write(header) != header.size() || device->write(payload) != payload.size())
        throw std::runtime_error(
            QStringLiteral("The report could not be written: %1").arg(device->errorString()).toStdString());
}

namespace {

// The fixed header: magic, a version this program reads, and a length that
// can be real. Returns why the file is refused, or an empty string.
QString checkHeader(const QByteArray &header, quint64 *length)
{
    if (header.size() < kMagic.size() || !header.startsWith(kMagic))
        return QStringLiteral("it is not a saved report");
    if (header.size() < kHeaderSize)
        return QStringLiteral("it is truncated");
    quint32 version = 0;
    {
        QDataStream h(header.mid(kMagic.size(), 12));
        h >> version >> *length;
    }
    if (version == 0)
        return QStringLiteral("it is not a saved report");
    if (version > PreparedReport::FormatVersion)
        return QStringLiteral("it was saved by a later version of the program (format %1; this one reads up to %2)")
            .arg(version)
            .arg(PreparedReport::FormatVersion);
    // A saved report is never near this size; a damaged length must not
    // make us try to read it.
    if (*length > (quint64(1) << 31))
        return QStringLiteral("it is damaged");
    return QString();
}

// Up to `length` bytes, read in steps so that a length larger than the
// file costs no more memory than the bytes really there.
QByteArray readUpTo(QIODevice *device, quint64 length)
{
    QByteArray bytes;
    while (static_cast<quint64>(bytes.size()) < length) {
        const qint64 step = std::min<qint64>(kReadStep, static_cast<qint64>(length) - bytes.size());
        const QByteArray part = device->read(step);
        bytes += part;
        if (part.size() < step)
            break;
    }
    return bytes;
}

// The header and the payload it announces, whole and matching its hash.
// Returns why the file is refused, or an empty string.
QString readPayload(QIODevice *device, QByteArray *payload)
{
    const QByteArray header = device->read(kHeaderSize);
    quint64 length = 0;
    const QString refused = checkHeader(header, &length);
    if (!refused.isEmpty())
        return refused;
    if (!device->isSequential() && length > static_cast<quint64>(std::max<qint64>(0, device->bytesAvailable())))
        return QStringLiteral("it is truncated");
    *payload = readUpTo(device, length);
    if (static_cast<quint64>(payload->size()) != length)
        return QStringLiteral("it is truncated");
    if (QCryptographicHash::hash(*payload, QCryptographicHash::Sha256) != header.mid(20, 32))
        return QStringLiteral("it is damaged");
    return QString();
}

} // namespace

// The payload's parts in file order, into a report. Every count is checked
// against the bytes left before anything is allocated for it. False when a
// part does not read whole: the file is damaged.
class SavedReportReader {
public:
    SavedReportReader(const QByteArray &payload, PreparedReport &doc)
        : m_in(payload)
        , m_size(payload.size())
        , m_doc(doc)
    {
        m_in.setVersion(kStreamVersion);
    }

    bool read() { return readPage() && readFonts() && readTemplates() && readPages() && readTexts(); }

private:
    bool count(qint64 minBytesEach, quint32 *n)
    {
        m_in >> *n;
        return m_in.status() == QDataStream::Ok
            && static_cast<qint64>(*n) * minBytesEach <= m_size - m_in.device()->pos();
    }

    bool readPage()
    {
        PageSetup &page = m_doc.m_page;
        qint32 orientation = 0;
        m_in >> page.paperWidth >> page.paperHeight >> orientation >> page.leftMargin >> page.topMargin
            >> page.rightMargin >> page.bottomMargin >> page.frameWidthPt;
        if (orientation != 0 && orientation != 1)
            return false;
        page.orientation = orientation == 0 ? Orientation::Portrait : Orientation::Landscape;
        return true;
    }

    bool readFonts()
    {
        quint32 n = 0;
        if (!count(16, &n))
            return false;
        for (quint32 i = 0; i < n; ++i) {
            FontSpec f;
            qint32 charset = 0;
            m_in >> f.family >> f.pointSize >> charset;
            f.charset = static_cast<Charset>(charset);
            m_doc.m_fonts.push_back(f);
        }
        return true;
    }

    bool readTemplates()
    {
        quint32 n = 0;
        if (!count(28, &n))
            return false;
        for (quint32 i = 0; i < n && m_in.status() == QDataStream::Ok; ++i) {
            PreparedReport::Template t;
            if (!readTemplate(&t))
                return false;
            m_doc.m_templates.push_back(std::move(t));
        }
        return true;
    }

    bool readTemplate(PreparedReport::Template *t)
    {
        qint32 type = 0, slotCount = 0;
        quint32 items = 0;
        m_in >> type >> t->height >> t->width >> slotCount;
        if (type < 0 || type > 2 || slotCount < 0 || !count(48, &items))
            return false;
        t->type = static_cast<BandType>(type);
        t->slotCount = slotCount;
        for (quint32 k = 0; k < items; ++k) {
            PreparedReport::Item item;
            qint32 kind = 0, font = 0, slot = 0;
            m_in >> kind >> item.left >> item.top >> item.width >> item.height >> item.text >> font >> slot;
            if (kind < 0 || kind > 2)
                return false;
            item.kind = static_cast<ReportItem::Kind>(kind);
            item.font = font;
            item.slot = slot;
            t->items.push_back(std::move(item));
        }
        return true;
    }

    // Where each page starts among the placements, and the placements.
    bool readPages()
    {
        quint32 n = 0;
        if (!count(4, &n))
            return false;
        m_doc.m_pageStart.resize(n);
        for (quint32 &s : m_doc.m_pageStart)
            m_in >> s;
        if (!count(14, &n))
            return false;
        m_doc.m_placements.resize(n);
        for (PreparedReport::Placement &p : m_doc.m_placements)
            m_in >> p.band >> p.top >> p.firstText;
        return true;
    }

    // The texts' starts and their pool, which end the payload.
    bool readTexts()
    {
        quint32 n = 0;
        if (!count(4, &n))
            return false;
        m_doc.m_textStart.resize(n);
        for (quint32 &s : m_doc.m_textStart)
            m_in >> s;
        m_in >> m_doc.m_textPool;
        return m_in.status() == QDataStream::Ok && m_in.atEnd();
    }

    QDataStream m_in;
    qint64 m_size;
    PreparedReport &m_doc;
};

std::unique_ptr<PreparedReport> PreparedReport::load(QIODevice *device, QString *error)
{
    QByteArray payload;
    QString refused = readPayload(device, &payload);
    auto doc = std::make_unique<PreparedReport>();
    if (refused.isEmpty() && !SavedReportReader(payload, *doc).read())
        refused = QStringLiteral("it is damaged");
    if (refused.isEmpty())
        refused = doc->validate();
    if (refused.isEmpty())
        return doc;
    if (error)
        *error = refusal(refused);
    return nullptr;
}

// Checks every index a page will follow, so a crafted file that passes the
// hash still cannot make the painter read out of range.
QString PreparedReport::validate() const
{
    const QString damaged = QStringLiteral("it is damaged");
    if (!within(m_page.paperWidth, kMinPaperMm, kMaxPaperMm) || !within(m_page.paperHeight, kMinPaperMm, kMaxPaperMm)
        || !within(m_page.leftMargin, 0, kMaxPaperMm) || !within(m_page.topMargin, 0, kMaxPaperMm)
        || !within(m_page.rightMargin, 0, kMaxPaperMm) || !within(m_page.bottomMargin, 0, kMaxPaperMm)
        || !within(m_page.frameWidthPt, 0, kMaxFramePt))
        return damaged;
    for (const FontSpec &f : m_fonts)
        if (!within(f.pointSize, 0, kMaxFontPt) || f.pointSize == 0)
            return damaged;
    if (m_textStart.empty() || m_textStart.front() != 0
        || m_textStart.back() != static_cast<quint32>(m_textPool.size()))
        return damaged;
    for (size_t i = 1; i < m_textStart.size(); ++i)
        if (m_textStart[i] < m_textStart[i - 1])
            return damaged;
    const quint32 texts = static_cast<quint32>(m_textStart.size() - 1);
    for (const Template &t : m_templates) {
        if (!within(t.height, 0, kMaxOffsetMm) || !within(t.width, 0, kMaxOffsetMm))
            return damaged;
        int slotCount = 0;
        for (const Item &item : t.items) {
            if (!within(item.left, -kMaxOffsetMm, kMaxOffsetMm) || !within(item.top, -kMaxOffsetMm, kMaxOffsetMm)
                || !within(item.width, -kMaxOffsetMm, kMaxOffsetMm)
                || !within(item.height, -kMaxOffsetMm, kMaxOffsetMm))
                return damaged;
            if (item.kind != ReportItem::Kind::Rectangle
                && (item.font < 0 || item.font >= static_cast<int>(m_fonts.size())))
                return damaged;
            if (item.kind == ReportItem::Kind::Field) {
                if (item.slot != slotCount)
                    return damaged;
                ++slotCount;
            }
        }
        if (slotCount != t.slotCount)
            return damaged;
    }
    for (size_t i = 0; i < m_pageStart.size(); ++i)
        if (m_pageStart[i] > m_placements.size() || (i > 0 && m_pageStart[i] < m_pageStart[i - 1]))
            return damaged;
    for (const Placement &p : m_placements) {
        if (p.band >= m_templates.size() || !within(p.top, -kMaxOffsetMm, kMaxOffsetMm))
            return damaged;
        const quint64 last = quint64(p.firstText) + static_cast<quint64>(m_templates[p.band].slotCount);
        if (last > texts)
            return damaged;
    }
    // A page is drawn whole at every repaint of the preview.
    for (int page = 0; page < pageCount(); ++page) {
        quint64 ops = 0;
        const int count = placementCount(page);
        for (int i = 0; i < count && ops <= kMaxOpsPerPage; ++i)
            ops += 1 + m_templates[placementAt(page, i).band].items.size();
        if (ops > kMaxOpsPerPage)
            return damaged;
    }
    return QString();
}

bool PreparedReport::sameContent(const PreparedReport &other) const
{
    QByteArray a, b;
    QBuffer ba(&a), bb(&b);
    ba.open(QIODevice::WriteOnly);
    bb.open(QIODevice::WriteOnly);
    save(&ba);
    other.save(&bb);
    return a == b;
}

} // namespace txl::report
