#pragma once

#include <QList>
#include <QString>

// What a banded report is made of: a page, and bands of items placed in
// millimetres. Plain data; the layout (LayoutJob) and the painter
// (PagePainter) give it meaning.
namespace txl::report {

// Character sets of the font description; they choose the fallback family
// that holds the glyphs the named family may lack.
enum class Charset : int {
    Default = 1,
    Gb2312 = 134, // simplified Chinese
};

struct FontSpec {
    QString family;
    double pointSize = 9.0;
    Charset charset = Charset::Default;

    bool operator==(const FontSpec &o) const
    {
        return family == o.family && pointSize == o.pointSize && charset == o.charset;
    }
};

struct ReportItem {
    enum class Kind : int {
        Rectangle, // one-device-pixel black outline, white fill
        Label, // fixed text
        Field, // a field of the current row, by name
    };

    Kind kind = Kind::Rectangle;
    QString name;
    double left = 0; // mm from the band's top-left corner
    double top = 0;
    double width = 0; // rectangles only; a text box is as wide as its text
    double height = 0;
    QString text; // label text, or the field name
    FontSpec font;

    static ReportItem rectangle(const QString &name, double left, double top, double width, double height);
    static ReportItem label(const QString &name, const QString &text, double left, double top, const FontSpec &font);
    static ReportItem field(
        const QString &name, const QString &fieldName, double left, double top, const FontSpec &font);
};

// One line of text is this high, whatever the font: boxes never grow.
constexpr double TextBoxHeightMm = 4.50;

enum class BandType : int {
    Title, // once, at the top of the first page
    ColumnHeader, // below the title and at the top of every later page; not when there are no rows
    Detail, // once per row; once with empty fields when there are no rows
};

struct Band {
    QString name;
    BandType type = BandType::Detail;
    double height = 0; // mm
    double width = 0; // mm; 0 means the width of the usable box
    QList<ReportItem> items; // in painting order
};

enum class Orientation : int { Portrait, Landscape };

struct PageSetup {
    double paperWidth = 210.0; // mm, portrait
    double paperHeight = 297.0;
    Orientation orientation = Orientation::Portrait;
    double leftMargin = 10.0;
    double topMargin = 10.0;
    double rightMargin = 10.0;
    double bottomMargin = 10.0;
    double frameWidthPt = 1.0; // the bars around the usable box; 0 for none

    double pageWidth() const { return orientation == Orientation::Portrait ? paperWidth : paperHeight; }
    double pageHeight() const { return orientation == Orientation::Portrait ? paperHeight : paperWidth; }
};

struct ReportDefinition {
    PageSetup page;
    QList<Band> bands;

    const Band *band(BandType type) const;
};

} // namespace txl::report
