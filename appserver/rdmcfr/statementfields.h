#pragma once
// The columns of CFRSINTDATA that SetCRFSintDados stores. The field lists of the two
// statement tables themselves are the contract's (contract/packets.h).

#include "appserver/packet.h"
#include "contract/packets.h"

#include <QList>

namespace kpr::appserver::rdmcfr {

using contract::cfrSintDataFields;
using contract::cfrSintServFields;

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
