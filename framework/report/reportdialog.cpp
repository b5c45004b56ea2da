#include "framework/report/reportdialog.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr {

IReportDialog::~IReportDialog() = default;

QString reportActionName(ReportAction action)
{
    switch (action) {
    case ReportAction::Print: return u"Print"_s;
    case ReportAction::Preview: return u"Preview"_s;
    case ReportAction::SaveAs: return u"SaveAs"_s;
    case ReportAction::Edit: return u"Edit"_s;
    }
    return QString();
}

} // namespace kpr
