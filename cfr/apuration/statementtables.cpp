#include "cfr/apuration/statementtables.h"

#include "framework/data/clientdataset.h"
#include "framework/data/field.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

void defineCampos(TClientDataSet &t, const QList<contract::PacketField> &campos)
{
    for (const PacketField &c : campos)
        t.AddField(c.name, c.type, c.size)->setProviderFlags(c.flags);
}

void defineCFRSintData(TClientDataSet &t)
{
    defineCampos(t, contract::cfrSintDataFields());
    t.AddIndex(u"Agrupamento"_s, u"IDTPIJURCLIE;NRINSJURCLIE;IDGRUPO;NMSERVICO"_s);
    t.setIndexName(u"Agrupamento"_s);
}

void defineCFRSintServ(TClientDataSet &t)
{
    defineCampos(t, contract::cfrSintServFields());
    t.AddIndex(u"Agrupamento"_s, u"IDTPIJURCLIE;NRINSJURCLIE;IDGRUPO;DTAPURACFAT"_s);
    t.setIndexName(u"Agrupamento"_s);
}

} // namespace kpr::cfr
