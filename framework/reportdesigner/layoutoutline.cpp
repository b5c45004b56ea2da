#include "framework/reportdesigner/layoutoutline.h"

#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

QString shownText(const ReportElement &e)
{
    switch (e.kind) {
    case ElementKind::Text:
    case ElementKind::PageNumber: return e.text;
    case ElementKind::Field: return e.param.isEmpty() ? u"[%1]"_s.arg(e.field) : u"${%1}"_s.arg(e.param);
    case ElementKind::Sum: return u"Σ[%1]"_s.arg(e.field);
    case ElementKind::Count: return u"#[%1]"_s.arg(e.field);
    case ElementKind::Image: return e.imageFile;
    case ElementKind::Line:
    case ElementKind::Box: return QString();
    }
    return QString();
}

} // namespace

void paintLayoutOutline(const ReportLayout &layout, QPrinter &printer)
{
    const PageSetup &page = layout.page;
    const QSizeF size = pageSizeMm(page);
    printer.setPageLayout(QPageLayout(QPageSize(size, QPageSize::Millimeter), QPageLayout::Portrait,
                                      QMarginsF(page.marginLeft, page.marginTop, page.marginRight, page.marginBottom),
                                      QPageLayout::Millimeter));
    QPainter p;
    if (!p.begin(&printer))
        return;
    const double unit = printer.resolution() / 25.4; // device units per mm
    p.scale(unit, unit);
    const double width = size.width() - page.marginLeft - page.marginRight;
    const double bottom = size.height() - page.marginTop - page.marginBottom;

    QList<std::pair<QString, const ReportBand *>> bands;
    auto add = [&](const QString &caption, const std::optional<ReportBand> &band) {
        if (band)
            bands << std::pair{caption, &*band};
    };
    add(u"pageHeader"_s, layout.pageHeader);
    add(u"title"_s, layout.titleBand);
    for (const ReportGroup &g : layout.groups)
        add(u"%1: cabeçalho"_s.arg(g.name), g.header);
    add(u"detail"_s, layout.detail);
    for (qsizetype i = layout.groups.size() - 1; i >= 0; --i)
        add(u"%1: rodapé"_s.arg(layout.groups[i].name), layout.groups[i].footer);
    add(u"summary"_s, layout.summary);

    QFont captionFont(u"DejaVu Sans"_s);
    captionFont.setPointSizeF(5);
    double y = 0;
    auto drawBand = [&](const QString &caption, const ReportBand &band, double top) {
        p.setPen(QPen(QColor(160, 160, 160), 0.2, Qt::DashLine));
        p.drawRect(QRectF(0, top, width, band.height));
        p.setFont(captionFont);
        p.drawText(QRectF(0, top, width, 3), Qt::AlignRight | Qt::AlignTop, caption);
        for (const ReportElement &element : band.elements)
            for (const ReportElement &e : expandRepeat(element)) {
                const QRectF r(e.x, top + e.y, e.width, e.height);
                p.setPen(QPen(e.color, e.kind == ElementKind::Line || e.kind == ElementKind::Box ? e.penWidth : 0.1));
                if (e.kind == ElementKind::Line) {
                    p.drawLine(r.topLeft(), r.topLeft() + QPointF(e.width, e.height));
                    continue;
                }
                p.drawRect(r);
                QFont f(e.font.family);
                f.setPointSizeF(e.font.size);
                f.setBold(e.font.bold);
                f.setItalic(e.font.italic);
                p.setFont(f);
                p.drawText(r, Qt::AlignVCenter | Qt::AlignLeft, shownText(e));
            }
    };
    const double footer = layout.pageFooter ? layout.pageFooter->height : 0.0;
    for (const auto &[caption, band] : bands) {
        if (y + band->height > bottom - footer)
            break; // the first page only
        drawBand(caption, *band, y);
        y += band->height;
    }
    if (layout.pageFooter)
        drawBand(u"pageFooter"_s, *layout.pageFooter, bottom - footer);
    p.end();
}

} // namespace kpr
