#pragma once

#include "platform/report/ReportDefinition.h"

#include <QRectF>
#include <QString>
#include <QStringView>
#include <functional>
#include <memory>
#include <vector>

class QIODevice;

namespace txl::report {

class SavedReportReader;

// One drawing operation of a prepared page, in millimetres from the paper's
// top-left corner.
struct DrawOp {
    enum class Kind {
        Fill, // white area (a band's ground)
        Rectangle, // white fill, one-device-pixel black outline
        Text, // opaque white box as wide as the text, one line high
        Bar, // solid black (the page frame)
    };
    Kind kind;
    QRectF rect; // Text: left/top and height; the width follows the text
    int font = -1;
    QStringView text;
};

// The laid-out pages. A page is a list of band placements; each placement
// names a band template (items shared by every page) and the texts of its
// field items, so 100,000 rows cost their texts and a few bytes each, not a
// drawing per page. The drawing operations are produced on demand
// (forEachOp) and are the same for every device.
class PreparedReport {
public:
    struct Item {
        ReportItem::Kind kind = ReportItem::Kind::Rectangle;
        double left = 0, top = 0, width = 0, height = 0;
        QString text; // label text; for a field, its name
        int font = -1;
        int slot = -1; // fields: index among the band's texts
    };
    struct Template {
        BandType type = BandType::Detail;
        double height = 0;
        double width = 0;
        std::vector<Item> items;
        int slotCount = 0;
    };

    PreparedReport() = default;
    // Takes the page and the bands of a definition; the band templates keep
    // the definition's order.
    explicit PreparedReport(const ReportDefinition &definition);

    const PageSetup &page() const { return m_page; }
    const std::vector<FontSpec> &fonts() const { return m_fonts; }
    const std::vector<Template> &templates() const { return m_templates; }
    int templateIndex(BandType type) const; // -1 when the definition has no such band

    // Building.
    void beginPage();
    // texts: one per field item of the band, in item order (slotCount). Only the
    // first line of each is kept.
    void placeBand(int templateIndex, double topMm, const QString *texts);

    int pageCount() const { return static_cast<int>(m_pageStart.size()); }
    int placementCount(int page) const;
    int placementTemplate(int page, int placement) const;
    QStringView placementText(int page, int placement, int slot) const;

    // The drawing operations of one page, in painting order: each band's
    // ground, its items, then the frame.
    void forEachOp(int page, const std::function<void(const DrawOp &)> &fn) const;

    // Saved-report file (see the format at the top of PreparedReport.cpp).
    static constexpr quint32 FormatVersion = 1;
    void save(QIODevice *device) const; // throws std::runtime_error on a write failure
    // Returns null and a message when the data is not a complete saved
    // report of a version this program reads.
    static std::unique_ptr<PreparedReport> load(QIODevice *device, QString *error);

    bool sameContent(const PreparedReport &other) const;

private:
    friend class SavedReportReader;

    struct Placement {
        double top;
        quint32 firstText;
        quint16 band;
    };

    int fontIndex(const FontSpec &font);
    const Placement &placementAt(int page, int placement) const;
    QStringView textAt(quint32 index) const;
    QString validate() const;

    PageSetup m_page;
    std::vector<FontSpec> m_fonts;
    std::vector<Template> m_templates;
    std::vector<quint32> m_pageStart; // first placement of each page
    std::vector<Placement> m_placements;
    QString m_textPool;
    std::vector<quint32> m_textStart { 0 }; // text i is [start[i], start[i+1]) of the pool
};

} // namespace txl::report
