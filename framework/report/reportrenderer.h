#pragma once
// Paints a layout with its data: one page at a time onto any QPainter (paintPage), or the
// whole report onto a QPagedPaintDevice (print), which QPrinter, QPdfWriter, the preview's
// printer and the per-client export share. The layout is bound to its data when the
// renderer is made (reportbinding.h); the pages are laid out once, the first time they are
// counted or painted (reportpagination.h), and each page is then drawn from that plan
// (reportpainting.h), so pages may be painted in any order.

#include "framework/data/params.h"
#include "framework/pdf/pdfrenderoptions.h"
#include "framework/report/layout.h"
#include "framework/report/reportdata.h"

#include <QString>

#include <memory>
#include <vector>

class QPagedPaintDevice;
class QPainter;
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
    // Paints page (from 1; another number paints nothing) with a painter active on a device
    // whose logical DPI gives the scale; pictures at most maxImageDpi (0: as they are). May
    // run on several threads at once, each with its own painter.
    void paintPage(int page, QPainter &painter, int maxImageDpi = 0) const;
    // Sets the device's page layout and paints every page. Throws EKprError when the device
    // cannot be painted on.
    void print(QPagedPaintDevice &device, const PdfRenderOptions &options = {}) const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kpr
