#pragma once
// Pagination: where every band of a bound report goes, page by page, with the rows it
// shows and the totals as they stood when it was placed. Bands have fixed heights, so this
// needs no painter; painting a page then only draws its placements.
//
// The page header opens every page, the title follows it on the first; a band that does
// not fit above the page footer goes to the next page (the group headers marked
// repeatOnNewPage placed again under the page header); a group header or summary with
// newPageBefore starts a new page unless the page holds nothing but its headers.

#include "framework/report/reportbinding.h"

#include <vector>

namespace kpr::detail {

struct Placement
{
    const PBand *band = nullptr;
    double top = 0.0; // mm below the top margin
    int masterRow = -1;
    int bandSet = -1;
    int bandRow = -1;
    int totals = -1; // where in PagePlan::totals the band's sums and counts begin, or -1
};

struct PagePlan
{
    std::vector<std::vector<Placement>> pages;
    std::vector<AggValue> totals; // for each placement of a band with sums or counts, those it shows
    int pageCount() const { return int(pages.size()); }
};

PagePlan paginate(const BoundReport &report);

} // namespace kpr::detail
