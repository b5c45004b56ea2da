#pragma once
// What the report screen needs from the report engine: given a layout file, print it, show
// its preview, save it under another name or open it in the designer. The engine supplies
// the implementation; the screen owns one as rpddPadrao.

#include <QString>

namespace kpr {

enum class ReportAction { Print, Preview, SaveAs, Edit };

QString reportActionName(ReportAction action); // "Print", "Preview", "SaveAs", "Edit"

class IReportDialog
{
public:
    virtual ~IReportDialog();
    // layoutPath names an existing layout file. Failures are thrown (EKprError / EAbort).
    virtual void Execute(ReportAction action, const QString &layoutPath) = 0;
};

} // namespace kpr
