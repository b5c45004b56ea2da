#include "cfr/apuration/statementtables.h"

#include "framework/core/strings.h"
#include "framework/data/clientdataset.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {
QString coluna(const QString &prefixo, int n)
{
    return prefixo + Ajusta(QString::number(n), 2);
}
} // namespace

void defineCFRSintData(TClientDataSet &t)
{
    t.AddField(u"IDGRUPO"_s, ftString, 1);
    t.AddField(u"CDFILIAL"_s, ftString, 4);
    t.AddField(u"NMFILIAL"_s, ftString, 30);
    t.AddField(u"IDTPIJURCLIE"_s, ftString, 1);
    t.AddField(u"NRINSJURCLIE"_s, ftString, 20);
    t.AddField(u"NMRAZSOCCLIE"_s, ftString, 50);
    t.AddField(u"CDSERVFILI"_s, ftString, 5);
    // The address travels in the packet but is not marked for storing.
    for (const QString &name : {u"DSENDECLIE"_s, u"NMBAIRCLIE"_s, u"NMMUNICLIE"_s, u"NRCEPCLIE"_s,
                                u"NRTELECLIE"_s, u"NRINSESTCLIE"_s})
        t.AddField(name, ftString, 50)->setProviderFlags({});
    t.AddField(u"NMSERVICO"_s, ftString, 30);
    t.AddField(u"NRAPURACGD"_s, ftString, 10);
    t.AddField(u"CDCLIENTEAPGD"_s, ftString, 21);
    for (int n = 1; n <= 11; ++n)
        t.AddField(coluna(u"QTSERV"_s, n), ftFloat);
    for (int n = 1; n <= 11; ++n)
        t.AddField(coluna(u"DTSERV"_s, n), ftDateTime);
    t.AddField(u"DTINICIAL"_s, ftDateTime);
    t.AddField(u"DTFINAL"_s, ftDateTime);
    t.AddField(u"TOTALSERV"_s, ftFloat);
    t.AddField(u"VRPRECO"_s, ftFloat);
    t.AddField(u"TOTALQUANT"_s, ftFloat);
    t.AddIndex(u"Agrupamento"_s, u"IDTPIJURCLIE;NRINSJURCLIE;IDGRUPO;NMSERVICO"_s);
    t.setIndexName(u"Agrupamento"_s);
}

void defineCFRSintServ(TClientDataSet &t)
{
    t.AddField(u"IDGRUPO"_s, ftString, 3);
    t.AddField(u"CDFILIAL"_s, ftString, 4);
    t.AddField(u"NMFILIAL"_s, ftString, 30);
    t.AddField(u"IDTPIJURCLIE"_s, ftString, 1);
    t.AddField(u"NRINSJURCLIE"_s, ftString, 20);
    t.AddField(u"NMRAZSOCCLIE"_s, ftString, 50);
    t.AddField(u"NRAPURACGD"_s, ftString, 10);
    t.AddField(u"CDCLIENTE"_s, ftString, 21);
    for (int n = 1; n <= 6; ++n)
        t.AddField(coluna(u"CDSERVICO"_s, n), ftString, 3);
    for (int n = 1; n <= 6; ++n)
        t.AddField(coluna(u"NMSERVICO"_s, n), ftString, 30);
    for (int n = 1; n <= 6; ++n)
        t.AddField(coluna(u"QTSERVICO"_s, n), ftFloat);
    for (int n = 1; n <= 6; ++n)
        t.AddField(coluna(u"VRSERVICO"_s, n), ftFloat);
    t.AddField(u"DTAPURACFAT"_s, ftDateTime);
    t.AddField(u"DTINICIAL"_s, ftDateTime);
    t.AddField(u"DTFINAL"_s, ftDateTime);
    t.AddIndex(u"Agrupamento"_s, u"IDTPIJURCLIE;NRINSJURCLIE;IDGRUPO;DTAPURACFAT"_s);
    t.setIndexName(u"Agrupamento"_s);
}

} // namespace kpr::cfr
