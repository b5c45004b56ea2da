#pragma once
// Paints a layout with its data onto any QPagedPaintDevice: QPrinter, QPdfWriter and the
// preview's printer share this one code path. Bands have fixed heights, so a first pass
// counts the pages ("Página N de M") without painting and the second paints them.
//
// Pagination: the page header opens every page, the title follows it on the first; a band
// that does not fit above the page footer goes to the next page (the group headers marked
// repeatOnNewPage printed again under the page header); a group header or summary with
// newPageBefore starts a new page unless the page holds nothing but its headers.

#include "framework/data/params.h"
#include "framework/pdf/gtexpdfengine.h"
#include "framework/report/layout.h"
#include "framework/report/reportdata.h"

#include <QString>

#include <memory>
#include <vector>

class QPagedPaintDevice;
class QPageLayout;

namespace kpr {

class ReportRenderer
{
public:
    // Binds the layout to its rows (one ReportRows per dataset, in declared order) and
    // parameters. Every field, group key, link, picture and number pattern the layout names
    // is checked here; a fault throws EKprError naming the file, the band and the element.
    ReportRenderer(ReportLayout layout, QString layoutPath, std::vector<ReportRows> data, TParams params);
    ~ReportRenderer();
    ReportRenderer(const ReportRenderer &) = delete;
    ReportRenderer &operator=(const ReportRenderer &) = delete;

    const ReportLayout &layout() const;
    QString title() const;
    QPageLayout pageLayout() const;

    int pageCount() const;
    // Sets the device's page layout and paints every page. Throws EKprError when the device
    // cannot be painted on.
    void print(QPagedPaintDevice &device, const PdfRenderOptions &options = {}) const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kpr
