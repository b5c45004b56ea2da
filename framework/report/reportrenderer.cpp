#include "framework/report/reportrenderer.h"

#include "framework/core/abort.h"
#include "framework/report/layoutfile.h"
#include "framework/report/reportbinding.h"
#include "framework/report/reportpagination.h"
#include "framework/report/reportpainting.h"

#include <QFileInfo>
#include <QPagedPaintDevice>
#include <QPageLayout>
#include <QPainter>
#include <QPageRanges>

#include <algorithm>
#include <mutex>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

struct ReportRenderer::Private
{
    detail::BoundReport report;
    mutable std::once_flag planned;
    mutable detail::PagePlan plan;
    mutable detail::ImageCache images;

    const detail::PagePlan &pagePlan() const
    {
        std::call_once(planned, [this] { plan = detail::paginate(report); });
        return plan;
    }
};

ReportRenderer::ReportRenderer(ReportLayout layout, QString layoutPath, std::vector<ReportRows> data, TParams params)
    : d(std::make_unique<Private>())
{
    detail::BoundReport &r = d->report;
    r.layout = std::move(layout);
    r.path = std::move(layoutPath);
    r.fileName = QFileInfo(r.path).fileName();
    r.data = std::move(data);
    r.params = std::move(params);
    r.bind();
}

ReportRenderer::~ReportRenderer() = default;

const ReportLayout &ReportRenderer::layout() const
{
    return d->report.layout;
}

QString ReportRenderer::title() const
{
    return d->report.layout.title.isEmpty() ? d->report.fileName : d->report.layout.title;
}

QPageLayout ReportRenderer::pageLayout() const
{
    const PageSetup &p = d->report.layout.page;
    return QPageLayout(QPageSize(p.size == PageSizeId::Letter ? QPageSize::Letter : QPageSize::A4),
                       p.orientation == PageOrientation::Landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(p.marginLeft, p.marginTop, p.marginRight, p.marginBottom), QPageLayout::Millimeter);
}

int ReportRenderer::pageCount() const
{
    return d->pagePlan().pageCount();
}

void ReportRenderer::paintPage(int page, QPainter &painter, int maxImageDpi) const
{
    const detail::PagePlan &plan = d->pagePlan();
    if (page < 1 || page > plan.pageCount())
        return;
    detail::paintPage(d->report, plan, page, painter, maxImageDpi, d->images);
}

void ReportRenderer::print(QPagedPaintDevice &device, const PdfRenderOptions &options) const
{
    const int pages = pageCount();
    // Going on with a batch's painter: the first report begins it, each later one starts on
    // a new page of the same document.
    if (options.painter && options.painter->isActive()) {
        for (int page = 1; page <= pages; ++page) {
            if (!device.newPage()) {
                const QString prefix = layoutErrorPrefix(d->report.fileName);
                throw EKprError(page == 1 ? u"%1: não foi possível começar uma página."_s.arg(prefix)
                                          : u"%1: não foi possível começar a página %2."_s.arg(prefix).arg(page));
            }
            paintPage(page, *options.painter, options.maxImageDpi);
        }
        if (options.pagesPainted)
            *options.pagesPainted = pages;
        return;
    }
    const QPageLayout pl = pageLayout();
    if (!device.setPageLayout(pl)) {
        // A printer whose least margins are wider keeps them; the page and its turn are ours.
        device.setPageSize(pl.pageSize());
        device.setPageOrientation(pl.orientation());
    }
    // A device asked for some pages (a printer's page range) paints those only; numbers and
    // totals stay those of the whole report.
    const QPageRanges ranges = device.pageRanges();
    QPainter own;
    QPainter &painter = options.painter ? *options.painter : own;
    if (!painter.begin(&device))
        throw EKprError(u"%1: não foi possível começar a impressão."_s.arg(layoutErrorPrefix(d->report.fileName)));
    painter.setRenderHint(QPainter::Antialiasing);
    if (options.pagesPainted)
        *options.pagesPainted = pages;
    try {
        bool first = true;
        for (int page = 1; page <= pages; ++page) {
            if (!ranges.isEmpty() && !ranges.contains(page))
                continue;
            if (!first && !device.newPage())
                throw EKprError(
                    u"%1: não foi possível começar a página %2."_s.arg(layoutErrorPrefix(d->report.fileName))
                        .arg(page));
            first = false;
            paintPage(page, painter, options.maxImageDpi);
        }
    } catch (...) {
        painter.end();
        throw;
    }
    // A batch's painter stays open for the next report.
    if (!options.painter)
        painter.end();
}

} // namespace kpr
