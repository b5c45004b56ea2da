#pragma once
// The persistent field definitions of the two statement tables of TfrmCFR: the by-date
// statement qryCFRSintData and the by-service statement qryCFRSintServ, each with its
// index "Agrupamento" selected, so the rows are kept in client, group, day/service order.

namespace kpr {
class TClientDataSet;
}

namespace kpr::cfr {

void defineCFRSintData(TClientDataSet &table);
void defineCFRSintServ(TClientDataSet &table);

} // namespace kpr::cfr
