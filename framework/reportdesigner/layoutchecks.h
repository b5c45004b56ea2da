#pragma once
// Checks of a parsed layout that need no data: every "dataset.FIELD" an element reads names
// a dataset of the layout, and a plain field has a dataset to come from. The report renderer
// makes the same checks once the data is open; the editor makes them before saving a layout
// whose data it cannot open.

#include "framework/core/result.h"
#include "framework/report/layout.h"

#include <QString>

namespace kpr {

// The first fault, its text naming the file, the band and the element.
Status checkLayoutReferences(const ReportLayout &layout, const QString &fileName);

} // namespace kpr
