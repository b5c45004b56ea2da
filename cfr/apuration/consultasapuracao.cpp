#include "cfr/apuration/consultasapuracao.h"

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
    t.AddField(u"CDSERVFILIAPGD"_s, ftString, 3);
}

void defineQryQtdeEfetData(TClientDataSet &t)
{
    t.AddField(u"CDCLIENTEAPGD"_s, ftString, 21);
    t.AddField(u"CDSERVFILIAPGD"_s, ftString, 3);
    t.AddField(u"DTAPURACFATGD"_s, ftDateTime);
    t.AddField(u"NREFETIVOSAPGD"_s, ftFloat);
    t.AddField(u"IDTPIJURCLIE"_s, ftString, 1);
    t.AddField(u"NRINSJURCLIE"_s, ftString, 20);
    t.AddField(u"NMRAZSOCCLIE"_s, ftString, 50);
    t.AddField(u"NMSERVICO"_s, ftString, 40);
    t.AddField(u"VRPRECUNITAPGD"_s, ftFloat);
}

void defineQryTotal(TClientDataSet &t)
{
    t.AddField(u"CDSERVFILIAPGD"_s, ftString, 5);
    t.AddField(u"NMSERVICO"_s, ftString, 40);
    t.AddField(u"TOTEFETIVOS"_s, ftString, 15);
    t.AddField(u"VRTOTEFETIVOS"_s, ftString, 14);
    t.AddField(u"VRPRECO"_s, ftString, 14);
    t.AddField(u"TOTEFET"_s, ftFloat);
    t.AddField(u"VRTOTEFET"_s, ftFloat);
    t.AddField(u"VRTOTA"_s, ftString, 14);
    t.AddIndex(u"Index1"_s, u"NMSERVICO"_s);
    t.setIndexName(u"Index1"_s);
}

void defineQryQtdeEfetServ(TClientDataSet &t)
{
    t.AddField(u"CDFILIALAPGD"_s, ftString, 4);
    t.AddField(u"CDCLIENTEAPGD"_s, ftString, 21);
    t.AddField(u"CDSERVFILIAPGD"_s, ftString, 3);
    t.AddField(u"NRAPURACGD"_s, ftString, 10);
    t.AddField(u"DTAPURACFAT"_s, ftDateTime);
    t.AddField(u"NREFETIVOSAPGD"_s, ftFloat);
    t.AddField(u"VRPRECUNITAPGD"_s, ftFloat);
    t.AddField(u"NMSERVICO"_s, ftString, 40);
    t.AddField(u"NMFILIAL"_s, ftString, 30);
    t.AddField(u"IDTPIJURCLIE"_s, ftString, 1);
    t.AddField(u"NRINSJURCLIE"_s, ftString, 20);
    t.AddField(u"NMRAZSOCCLIE"_s, ftString, 50);
}

} // namespace kpr::cfr
