#include "appserver/rdmcfr/statementfields.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver::rdmcfr {

namespace {
QString col(const QString &prefix, int n)
{
    return prefix + QString::number(n).rightJustified(2, u'0');
}
} // namespace

const QList<PacketField> &cfrSintDataFields()
{
    static const QList<PacketField> fields = [] {
        QList<PacketField> f{
            textField(u"IDGRUPO"_s, 1),        textField(u"CDFILIAL"_s, 4),
            textField(u"NMFILIAL"_s, 30),      textField(u"IDTPIJURCLIE"_s, 1),
            textField(u"NRINSJURCLIE"_s, 20),  textField(u"NMRAZSOCCLIE"_s, 50),
            textField(u"CDSERVFILI"_s, 5),
            // The address travels with the statement but is not stored (the layouts read
            // it from CLIENTE): empty provider flags.
            textField(u"DSENDECLIE"_s, 50, false), textField(u"NMBAIRCLIE"_s, 50, false),
            textField(u"NMMUNICLIE"_s, 50, false), textField(u"NRCEPCLIE"_s, 50, false),
            textField(u"NRTELECLIE"_s, 50, false), textField(u"NRINSESTCLIE"_s, 50, false),
            textField(u"NMSERVICO"_s, 30),     textField(u"NRAPURACGD"_s, 10),
            textField(u"CDCLIENTEAPGD"_s, 21),
        };
        for (int n = 1; n <= 11; ++n)
            f << floatField(col(u"QTSERV"_s, n));
        for (int n = 1; n <= 11; ++n)
            f << dateTimeField(col(u"DTSERV"_s, n));
        f << dateTimeField(u"DTINICIAL"_s) << dateTimeField(u"DTFINAL"_s)
          << floatField(u"TOTALSERV"_s) << floatField(u"VRPRECO"_s) << floatField(u"TOTALQUANT"_s);
        return f;
    }();
    return fields;
}

const QList<PacketField> &cfrSintServFields()
{
    static const QList<PacketField> fields = [] {
        QList<PacketField> f{
            textField(u"IDGRUPO"_s, 3),       textField(u"CDFILIAL"_s, 4),
            textField(u"NMFILIAL"_s, 30),     textField(u"IDTPIJURCLIE"_s, 1),
            textField(u"NRINSJURCLIE"_s, 20), textField(u"NMRAZSOCCLIE"_s, 50),
            textField(u"NRAPURACGD"_s, 10),   textField(u"CDCLIENTE"_s, 21),
        };
        for (int n = 1; n <= 6; ++n)
            f << textField(col(u"CDSERVICO"_s, n), 3);
        for (int n = 1; n <= 6; ++n)
            f << textField(col(u"NMSERVICO"_s, n), 30);
        for (int n = 1; n <= 6; ++n)
            f << floatField(col(u"QTSERVICO"_s, n));
        for (int n = 1; n <= 6; ++n)
            f << floatField(col(u"VRSERVICO"_s, n));
        f << dateTimeField(u"DTAPURACFAT"_s) << dateTimeField(u"DTINICIAL"_s)
          << dateTimeField(u"DTFINAL"_s);
        return f;
    }();
    return fields;
}

const QList<StoredColumn> &cfrSintDataColumns()
{
    using K = StoredColumn::Kind;
    static const QList<StoredColumn> columns = [] {
        QList<StoredColumn> c{
            {u"IDGRUPO"_s, K::Text, 1},       {u"NMFILIAL"_s, K::Text, 30},
            {u"IDTPIJURCLIE"_s, K::Text, 1},  {u"NRINSJURCLIE"_s, K::Text, 20},
            {u"NMRAZSOCCLIE"_s, K::Text, 50}, {u"CDSERVFILI"_s, K::Text, 5},
            {u"NMSERVICO"_s, K::Text, 30},    {u"CDCLIENTEAPGD"_s, K::Text, 21},
        };
        for (int n = 1; n <= 11; ++n)
            c.append({col(u"QTSERV"_s, n), K::Number, 0});
        for (int n = 1; n <= 11; ++n)
            c.append({col(u"DTSERV"_s, n), K::Date, 0});
        c.append({u"DTINICIAL"_s, K::Date, 0});
        c.append({u"DTFINAL"_s, K::Date, 0});
        c.append({u"TOTALSERV"_s, K::Number, 0});
        c.append({u"VRPRECO"_s, K::Number, 0});
        c.append({u"TOTALQUANT"_s, K::Number, 0});
        return c;
    }();
    return columns;
}

} // namespace kpr::appserver::rdmcfr
