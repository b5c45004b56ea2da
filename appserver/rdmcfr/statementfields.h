#pragma once
// The field lists of the two statement tables of the screen (qryCFRSintData and
// qryCFRSintServ), which GetCFRSintData and GetCFRSintServ answer empty, and the
// columns of CFRSINTDATA that SetCRFSintDados stores.

#include "appserver/packet.h"

#include <QList>

namespace kpr::appserver::rdmcfr {

const QList<PacketField> &cfrSintDataFields();
const QList<PacketField> &cfrSintServFields();

struct StoredColumn
{
    enum class Kind { Text, Number, Date };
    QString name;
    Kind kind;
    int width = 0; // text columns: values are cut to it
};

// The CFRSINTDATA columns a statement row may fill, besides NRAPURACGD, CDFILIAL, NRLINHA.
const QList<StoredColumn> &cfrSintDataColumns();

} // namespace kpr::appserver::rdmcfr
