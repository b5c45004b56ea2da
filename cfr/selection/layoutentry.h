#pragma once
// What the selected entry of the report combo decides: the layout file it opens, whether
// it is the service-group layout, which statement family it builds, whether the 31-day
// limit applies and whether the report parameters ask the server for a sequence.

#include <QString>

namespace kpr::cfr {

// Characters 1 to 6 of the report-code caption, the layout number and ".QR2":
// "KPR047" + "08" + ".QR2". A number of another length is used as it stands.
QString layoutFileName(const QString &reportCodeCaption, const QString &layoutNumber);

// True only when the file name is exactly the report code followed by "08.QR2"
// (letter case counts): "8" or "008" is not the service-group layout.
bool isServiceGroupLayout(const QString &reportCodeCaption, const QString &layoutNumber);

// Positions count from 0: 1 and 3 build the by-date statement (qryCFRSintData), every
// other the by-service one (qryCFRSintServ). The apuration, the report and the checks all
// ask here.
inline bool LayoutPorData(int posicao)
{
    return posicao == 1 || posicao == 3;
}
// The 31-day limit of the period: by-date positions only.
inline bool hasPeriodLimit(int position)
{
    return LayoutPorData(position);
}
// The numbered statements (positions 0 and 3) ask the server for their CFR sequence.
inline bool PedeSequencia(int posicao)
{
    return posicao == 0 || posicao == 3;
}

} // namespace kpr::cfr
