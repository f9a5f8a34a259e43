#include "platform/report/ReportDefinition.h"

namespace txl::report {

ReportItem ReportItem::rectangle(const QString &name, double left, double top, double width, double height)
{
    ReportItem item;
    item.kind = Kind::Rectangle;
    item.name = name;
    item.left = left;
    item.top = top;
    item.width = width;
    item.height = height;
    return item;
}

ReportItem ReportItem::label(const QString &name, const QString &text, double left, double top, const FontSpec &font)
{
    ReportItem item;
    item.kind = Kind::Label;
    item.name = name;
    item.text = text;
    item.left = left;
    item.top = top;
    item.height = TextBoxHeightMm;
    item.font = font;
    return item;
}

ReportItem ReportItem::field(
    const QString &name, const QString &fieldName, double left, double top, const FontSpec &font)
{
    ReportItem item = label(name, fieldName, left, top, font);
    item.kind = Kind::Field;
    return item;
}

const Band *ReportDefinition::band(BandType type) const
{
    for (const Band &b : bands)
        if (b.type == type)
            return &b;
    return nullptr;
}

} // namespace txl::report
