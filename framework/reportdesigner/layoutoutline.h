#pragma once
// The layout drawn without data: each band as a captioned outline, one under the other, and
// each element as its frame with what it shows ("[CAMPO]", "${P_PARAM}", its text). The
// editor's preview falls back to it when the layout's data cannot be opened here.

#include "framework/report/layout.h"

class QPrinter;

namespace kpr {

void paintLayoutOutline(const ReportLayout &layout, QPrinter &printer);

} // namespace kpr
