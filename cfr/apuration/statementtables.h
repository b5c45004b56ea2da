#pragma once
// The persistent field definitions of the two statement tables of TfrmCFR, from the
// contract's field lists: the by-date statement qryCFRSintData and the by-service statement
// qryCFRSintServ, each with its index "Agrupamento" selected, so the rows are kept in
// client, group, day/service order.

#include "contract/packets.h"

namespace kpr {
class TClientDataSet;
}

namespace kpr::cfr {

// The fields of a served packet as the table's own, in order (the contract's lists).
void defineCampos(TClientDataSet &table, const QList<contract::PacketField> &fields);

void defineCFRSintData(TClientDataSet &table);
void defineCFRSintServ(TClientDataSet &table);

} // namespace kpr::cfr
