#include "cfr/apuration/consultasapuracao.h"

#include "cfr/apuration/statementtables.h"
#include "framework/data/clientdataset.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

void defineQryClieSelect(TClientDataSet &t)
{
    t.AddField(u"CDCLIENTEAPGD"_s, ftString, 21);
    t.AddField(u"DSENDECLIE"_s, ftString, 50);
    t.AddField(u"NMBAIRCLIE"_s, ftString, 30);
    t.AddField(u"NMMUNICLIE"_s, ftString, 30)->setReadOnly(true);
    t.AddField(u"NRCEPCLIE"_s, ftString, 15);
    t.AddField(u"NRINSESTCLIE"_s, ftString, 20);
    t.AddField(u"NRTELECLIE"_s, ftString, 25);
}

void defineQryServSelect(TClientDataSet &t)
{
    defineCampos(t, contract::servSelectFields());
}

void defineQryQtdeEfetData(TClientDataSet &t)
{
    defineCampos(t, contract::qtdeEfetDataFields());
}

void defineQryTotal(TClientDataSet &t)
{
    defineCampos(t, contract::totalizacaoFields());
    t.AddIndex(u"Index1"_s, u"NMSERVICO"_s);
    t.setIndexName(u"Index1"_s);
}

void defineQryQtdeEfetServ(TClientDataSet &t)
{
    defineCampos(t, contract::qtdeEfetServFields());
}

} // namespace kpr::cfr
