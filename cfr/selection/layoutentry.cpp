#include "cfr/selection/layoutentry.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

QString layoutFileName(const QString &reportCodeCaption, const QString &layoutNumber)
{
    return reportCodeCaption.left(6) + layoutNumber + u".QR2"_s;
}

bool isServiceGroupLayout(const QString &reportCodeCaption, const QString &layoutNumber)
{
    // Both names are built afresh and compared whole, case-sensitively.
    return layoutFileName(reportCodeCaption, layoutNumber) == reportCodeCaption.left(6) + u"08.QR2"_s;
}

} // namespace kpr::cfr
