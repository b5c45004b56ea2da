#include "appserver/rdmcfr/totals.h"

#include "appserver/rdmcfr/clientlist.h"
#include "appserver/rdmcfr/common.h"
#include "contract/packets.h"
#include "appserver/rdmcfr/methods.h"
#include "appserver/sqlvalue.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <mutex>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver::rdmcfr {

void ServiceTotal::merge(const ServiceTotal &other)
{
    meals += other.meals;
    value += other.value;
    if (other.minPrice && (!minPrice || *other.minPrice < *minPrice))
        minPrice = other.minPrice;
    if (other.maxPrice && (!maxPrice || *maxPrice < *other.maxPrice))
        maxPrice = other.maxPrice;
}

FixedAmount unitPrice(const ServiceTotal &t)
{
    if (!t.minPrice || !t.maxPrice)
        return FixedAmount();
    if (*t.minPrice == *t.maxPrice)
        return *t.minPrice;
    if (t.meals == 0)
        return *t.maxPrice;
    return FixedAmount::fromCents(divideRounded(t.value.micros, t.meals * FixedAmount::perCent));
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

namespace {

// The answers of GetTotalizacao, kept per (number, branch, period, client argument) with
// the generation of the number's rows they were computed from. The by-date pass asks the
// same "all clients" question once per client; every ProRelGesDireta or
// ProDelTableRelApur of the number raises the generation (also from another server on
// the same database), which makes the kept answer stale.
struct CachedTotals
{
    qint64 generation = -1;
    QByteArray packet;
};

class TotalsCache
{
public:
    std::optional<QByteArray> find(const QString &key, qint64 generation)
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_entries.constFind(key);
        if (it == m_entries.cend() || it->generation != generation)
            return std::nullopt;
        return it->packet;
    }
    void keep(const QString &key, qint64 generation, const QByteArray &packet)
    {
        std::lock_guard lock(m_mutex);
        if (m_entries.size() >= 512)
            m_entries.clear();
        m_entries.insert(key, CachedTotals{generation, packet});
    }

private:
    std::mutex m_mutex;
    QHash<QString, CachedTotals> m_entries;
};

TotalsCache &totalsCache()
{
    static TotalsCache cache;
    return cache;
}

// The generation of the number's rows; nullopt when the number was not issued for the
// branch (then nothing is kept).
Result<std::optional<qint64>> rowsGeneration(Session &s, const QString &number, const QString &branch)
{
    auto q = s.run(u"SELECT NRGERACAO FROM APURACAO WHERE NRAPURACGD = ? AND CDFILIAL = ?"_s, {number, branch});
    if (!q)
        return makeError(q.error());
    if (!q.value().next())
        return std::optional<qint64>();
    return std::optional<qint64>(q.value().value(0).toLongLong());
}

} // namespace

Result<Answer> GetTotalizacao(Session &s, const Args &a)
{
    const QList<PacketField> &fields = contract::totalizacaoFields();
    // Sums per service (and per client when a list must be applied), cents computed by
    // the database as integers: round(price x 100) x meals. The service's name is looked
    // up per group, not per row.
    static const QString select =
        u"SELECT T.CDSERVFILIAPGD, S.NMSERVICO, T.MEALS, T.CENTS, T.MINPRICE, T.MAXPRICE, T.CLIENT "
        "FROM (SELECT A.CDSERVFILIAPGD, SUM(COALESCE(A.NREFETIVOSAPGD, 0)) AS MEALS, "
        "SUM(CAST(COALESCE(A.NREFETIVOSAPGD, 0) AS BIGINT) * "
        "COALESCE(CAST(ROUND(A.VRPRECUNITAPGD * 100) AS BIGINT), 0)) AS CENTS, "
        "MIN(A.VRPRECUNITAPGD) AS MINPRICE, MAX(A.VRPRECUNITAPGD) AS MAXPRICE, %1 AS CLIENT "
        "FROM APURFATGD A WHERE A.NRAPURACGD = ? AND A.CDFILIALAPGD = ? "
        "AND A.DTAPURACFATGD >= ? AND A.DTAPURACFATGD <= ? %2 "
        "GROUP BY A.CDSERVFILIAPGD%3) T "
        "LEFT JOIN SERVFILI S ON S.CDFILIAL = ? AND S.CDSERVFILI = T.CDSERVFILIAPGD"_s;
    static const QString allClients = select.arg(u"NULL"_s, QString(), QString());
    static const QString oneClient = select.arg(u"NULL"_s, u"AND A.CDCLIENTEAPGD = ?"_s, QString());
    static const QString perClient = select.arg(u"A.CDCLIENTEAPGD"_s, QString(), u", A.CDCLIENTEAPGD"_s);

    const QString branch = a.text(1);
    const QString number = a.text(2);
    const QDate start = a.date(3);
    const QDate end = a.date(4);
    const QString who = a.text(5);

    const auto generation = rowsGeneration(s, number, branch);
    if (!generation)
        return makeError(generation.error());
    const QString key =
        QStringList{number, branch, start.toString(Qt::ISODate), end.toString(Qt::ISODate), who}.join(QChar(0));
    if (*generation) {
        if (auto kept = totalsCache().find(key, **generation))
            return Answer::fromJsonText(*kept);
    }

    QVariantList values{number, branch, s.date(start), s.date(end)};
    const QString *sql = &allClients;
    ClientList list;
    if (who.startsWith(u'_')) {
        list = parseClientList(who, TMeansAll::No);
        sql = list.all ? &allClients : &perClient;
    } else if (!who.isEmpty() && who != u"T"_s) {
        sql = &oneClient;
        values << who;
    }
    values << branch;
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
        t.value = FixedAmount::fromCents(integerFromSql(query.value(3)));
        if (const auto min = centsFromSql(query.value(4)))
            t.minPrice = FixedAmount::fromCents(*min);
        if (const auto max = centsFromSql(query.value(5)))
            t.maxPrice = FixedAmount::fromCents(*max);
        const auto at = byCode.constFind(t.code);
        if (at == byCode.cend()) {
            byCode.insert(t.code, totals.size());
            totals << t;
        } else {
            totals[*at].merge(t);
        }
    }
    sortForStatement(totals);
    FixedAmount grandTotal;
    for (const ServiceTotal &t : totals)
        grandTotal += t.value;
    PacketBuilder packet(fields);
    for (const ServiceTotal &t : totals) {
        packet.addRow(QJsonArray{t.code, t.name.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(t.name),
                                 formatCountBR(t.meals), formatAmountBR(t.value), formatAmountBR(unitPrice(t)),
                                 double(t.meals), double(t.value.cents()) / 100.0, formatAmountBR(grandTotal)});
    }
    const QByteArray answer = packet.toJsonText();
    if (*generation)
        totalsCache().keep(key, **generation, answer);
    return Answer::fromJsonText(answer);
}

} // namespace kpr::appserver::rdmcfr
