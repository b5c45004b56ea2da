#include "appserver/rdmcfr/statementfields.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver::rdmcfr {

namespace {
QString col(const QString &prefix, int n)
{
    return prefix + QString::number(n).rightJustified(2, u'0');
}
} // namespace

const QList<StoredColumn> &cfrSintDataColumns()
{
    using K = StoredColumn::Kind;
    static const QList<StoredColumn> columns = [] {
        QList<StoredColumn> c{
            {u"IDGRUPO"_s, K::Text, 1},       {u"NMFILIAL"_s, K::Text, 30},      {u"IDTPIJURCLIE"_s, K::Text, 1},
            {u"NRINSJURCLIE"_s, K::Text, 20}, {u"NMRAZSOCCLIE"_s, K::Text, 50},  {u"CDSERVFILI"_s, K::Text, 5},
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
