#pragma once
// Painting: draws the placements of one page of a pagination with any QPainter (a
// printer's, a PDF writer's, a preview's). Pages are independent of one another, so they
// may be painted in any order or on several threads, each with its own painter.

#include "framework/report/reportpagination.h"

#include <QImage>
#include <QSizeF>

#include <map>
#include <mutex>
#include <utility>

class QPainter;

namespace kpr::detail {

// The pictures of a report scaled down to a resolution, made once and shared by the pages.
class ImageCache
{
public:
    // The element's picture, at most maxDpi over a target of the given size in mm (the
    // picture itself when maxDpi is 0 or it is small enough).
    const QImage &scaled(const Prepared &p, const QSizeF &targetMm, int maxDpi);

private:
    std::mutex m_mutex;
    std::map<std::pair<const Prepared *, int>, QImage> m_images;
};

// Paints page (from 1) of the plan; the painter is active on a device whose logical DPI
// sets the scale.
void paintPage(const BoundReport &report, const PagePlan &plan, int page, QPainter &painter, int maxImageDpi,
               ImageCache &images);

} // namespace kpr::detail
