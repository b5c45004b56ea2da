#include "cfr/apuration/statementtables.h"

#include "framework/data/clientdataset.h"
#include "framework/data/field.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

void defineCampos(TClientDataSet &t, const QList<contract::PacketField> &campos)
{
    for (const contract::PacketField &c : campos) {
        TField *f = nullptr;
        switch (c.type) {
        case contract::FieldType::String: f = t.AddField(c.name, ftString, c.size); break;
        case contract::FieldType::FixedChar: f = t.AddField(c.name, ftFixedChar, c.size); break;
        case contract::FieldType::Float: f = t.AddField(c.name, ftFloat); break;
        case contract::FieldType::Integer: f = t.AddField(c.name, ftInteger); break;
        case contract::FieldType::DateTime: f = t.AddField(c.name, ftDateTime); break;
        case contract::FieldType::Boolean: f = t.AddField(c.name, ftBoolean); break;
        }
        // A field the server does not store travels unflagged (the client's address).
        if (!c.stored)
            f->setProviderFlags({});
    }
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
