#include "appserver/rdmcfr/totals.h"

#include "appserver/money.h"
#include "appserver/rdmcfr/clientlist.h"
#include "appserver/rdmcfr/common.h"
#include "appserver/rdmcfr/methods.h"
#include "appserver/sqlvalue.h"

#include <QHash>

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver::rdmcfr {

void ServiceTotal::merge(const ServiceTotal &other)
{
    meals += other.meals;
    valueCents += other.valueCents;
    if (other.minPriceCents && (!minPriceCents || *other.minPriceCents < *minPriceCents))
        minPriceCents = other.minPriceCents;
    if (other.maxPriceCents && (!maxPriceCents || *other.maxPriceCents > *maxPriceCents))
        maxPriceCents = other.maxPriceCents;
}

qint64 unitPriceCents(const ServiceTotal &t)
{
    if (!t.minPriceCents || !t.maxPriceCents)
        return 0;
    if (*t.minPriceCents == *t.maxPriceCents)
        return *t.minPriceCents;
    if (t.meals == 0)
        return *t.maxPriceCents;
    return divideRounded(t.valueCents, t.meals);
}

void sortForStatement(QList<ServiceTotal> &totals)
{
    std::sort(totals.begin(), totals.end(), [](const ServiceTotal &a, const ServiceTotal &b) {
        if (a.name != b.name)
            return a.name < b.name;
        return a.code < b.code;
    });
}

namespace {

// A whole number from SQL (PostgreSQL's SUM of BIGINT is NUMERIC, read as a double).
qint64 integerFromSql(const QVariant &v)
{
    if (v.isNull())
        return 0;
    if (v.typeId() == QMetaType::Double)
        return qint64(std::llround(v.toDouble()));
    return v.toLongLong();
}

} // namespace

Result<QJsonValue> GetTotalizacao(Session &s, const Args &a)
{
    static const QList<PacketField> fields{
        textField(u"CDSERVFILIAPGD"_s, 5), textField(u"NMSERVICO"_s, 40),
        textField(u"TOTEFETIVOS"_s, 15),   textField(u"VRTOTEFETIVOS"_s, 14),
        textField(u"VRPRECO"_s, 14),       floatField(u"TOTEFET"_s),
        floatField(u"VRTOTEFET"_s),        textField(u"VRTOTA"_s, 14),
    };
    // Sums per service (and per client when a list must be applied), cents computed by
    // the database as integers: round(price x 100) x meals.
    static const QString select =
        u"SELECT A.CDSERVFILIAPGD, S.NMSERVICO, SUM(COALESCE(A.NREFETIVOSAPGD, 0)), "
        "SUM(CAST(COALESCE(A.NREFETIVOSAPGD, 0) AS BIGINT) * "
        "COALESCE(CAST(ROUND(A.VRPRECUNITAPGD * 100) AS BIGINT), 0)), "
        "MIN(A.VRPRECUNITAPGD), MAX(A.VRPRECUNITAPGD), %1 "
        "FROM APURFATGD A LEFT JOIN SERVFILI S ON S.CDFILIAL = A.CDFILIALAPGD "
        "AND S.CDSERVFILI = A.CDSERVFILIAPGD "
        "WHERE A.NRAPURACGD = ? AND A.CDFILIALAPGD = ? "
        "AND A.DTAPURACFATGD >= ? AND A.DTAPURACFATGD <= ? %2 "
        "GROUP BY A.CDSERVFILIAPGD, S.NMSERVICO %3"_s;
    static const QString allClients = select.arg(u"NULL"_s, QString(), QString());
    static const QString oneClient = select.arg(u"NULL"_s, u"AND A.CDCLIENTEAPGD = ?"_s, QString());
    static const QString perClient =
        select.arg(u"A.CDCLIENTEAPGD"_s, QString(), u", A.CDCLIENTEAPGD"_s);

    const QString who = a.text(5);
    QVariantList values{a.text(2), a.text(1), s.date(a.date(3)), s.date(a.date(4))};
    const QString *sql = &allClients;
    ClientList list;
    if (who.startsWith(u'_')) {
        list = parseClientList(who, TMeansAll::No);
        sql = list.all ? &allClients : &perClient;
    } else if (!who.isEmpty() && who != u"T"_s) {
        sql = &oneClient;
        values << who;
    }
    auto q = s.run(*sql, values);
    if (!q)
        return makeError(q.error());
    Query &query = q.value();
    QList<ServiceTotal> totals;
    QHash<QString, qsizetype> byCode;
    while (query.next()) {
        if (sql == &perClient && !list.contains(query.value(6).toString()))
            continue;
        ServiceTotal t;
        t.code = query.value(0).toString();
        t.name = query.value(1).toString();
        t.meals = integerFromSql(query.value(2));
        t.valueCents = integerFromSql(query.value(3));
        t.minPriceCents = centsFromSql(query.value(4));
        t.maxPriceCents = centsFromSql(query.value(5));
        const auto at = byCode.constFind(t.code);
        if (at == byCode.cend()) {
            byCode.insert(t.code, totals.size());
            totals << t;
        } else {
            totals[*at].merge(t);
        }
    }
    sortForStatement(totals);
    qint64 grandTotal = 0;
    for (const ServiceTotal &t : totals)
        grandTotal += t.valueCents;
    PacketBuilder packet(fields);
    for (const ServiceTotal &t : totals) {
        packet.addRow(QJsonArray{t.code,
                                 t.name.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(t.name),
                                 formatCountBR(t.meals), formatMoneyBR(t.valueCents),
                                 formatMoneyBR(unitPriceCents(t)), double(t.meals),
                                 double(t.valueCents) / 100.0, formatMoneyBR(grandTotal)});
    }
    return QJsonValue(packet.toJson());
}

} // namespace kpr::appserver::rdmcfr
