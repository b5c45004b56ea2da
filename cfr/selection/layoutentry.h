#pragma once
// What the selected entry of the report combo decides: the layout file it opens, whether
// it is the service-group layout, which statement family it builds, whether the 31-day
// limit applies and whether the report parameters ask the server for a sequence.

#include <QString>

namespace kpr::cfr {

enum class LayoutFamily { PorData, PorServico };

// Characters 1 to 6 of the report-code caption, the layout number and ".QR2":
// "KPR047" + "08" + ".QR2". A number of another length is used as it stands.
QString layoutFileName(const QString &reportCodeCaption, const QString &layoutNumber);

// True only when the file name is exactly the report code followed by "08.QR2"
// (letter case counts): "8" or "008" is not the service-group layout.
bool isServiceGroupLayout(const QString &reportCodeCaption, const QString &layoutNumber);

// Positions count from 0: 1 and 3 build the by-date statement, every other the by-service.
LayoutFamily layoutFamily(int position);
bool hasPeriodLimit(int position);      // the 31-day limit: by-date positions only
bool asksForSequence(int position);     // positions 0 and 3

// ReportDir, then "/" unless it already ends with a separator, then the file name.
QString layoutPath(const QString &reportDir, const QString &fileName);

} // namespace kpr::cfr
