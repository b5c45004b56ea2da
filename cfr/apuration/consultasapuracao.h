#pragma once
// The persistent field definitions of the working tables of the apuration run: the
// clients of the run (qryClieSelect), the services of a client (qryServSelect), the dated
// quantities of the by-date pass (qryQtdeEfetData), the service totals (qryTotal, index
// "Index1" on NMSERVICO, active) and the quantities of the by-service pass
// (qryQtdeEfetServ). Each definition leaves the table closed; loading a packet opens it.

namespace kpr {
class TClientDataSet;
}

namespace kpr::cfr {

void defineQryClieSelect(TClientDataSet &table);
void defineQryServSelect(TClientDataSet &table);
void defineQryQtdeEfetData(TClientDataSet &table);
void defineQryTotal(TClientDataSet &table);
void defineQryQtdeEfetServ(TClientDataSet &table);

} // namespace kpr::cfr
