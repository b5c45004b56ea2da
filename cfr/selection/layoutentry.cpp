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

LayoutFamily layoutFamily(int position)
{
    return (position == 1 || position == 3) ? LayoutFamily::PorData : LayoutFamily::PorServico;
}

bool hasPeriodLimit(int position)
{
    return layoutFamily(position) == LayoutFamily::PorData;
}

bool asksForSequence(int position)
{
    return position == 0 || position == 3;
}

QString layoutPath(const QString &reportDir, const QString &fileName)
{
    // The host's directories end with "\"; on this platform the separator is "/".
    if (reportDir.isEmpty() || reportDir.endsWith(u'/') || reportDir.endsWith(u'\\'))
        return reportDir + fileName;
    return reportDir + u'/' + fileName;
}

} // namespace kpr::cfr
