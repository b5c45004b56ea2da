// The apuration: numbers issued per branch, the direct-management rows computed under a
// number, and their removal.

#include "appserver/database/sqlitestatements.h"
#include "appserver/rdmcfr/common.h"
#include "appserver/rdmcfr/counter.h"
#include "appserver/rdmcfr/methods.h"
#include "framework/core/dates.h"

#include <QDateTime>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver::rdmcfr {

namespace {

Result<bool> exists(Session &s, const QString &sql, const QVariantList &values)
{
    auto q = s.run(sql, values);
    if (!q)
        return makeError(q.error());
    return q.value().next();
}

// Rows under the number changed: answers computed from the old ones are stale.
Result<int> raiseGeneration(Session &s, const QString &number, const QString &branch)
{
    return execute(s,
                   u"UPDATE APURACAO SET NRGERACAO = NRGERACAO + 1 "
                   "WHERE NRAPURACGD = ? AND CDFILIAL = ?"_s,
                   {number, branch});
}

// Every meal row of the period with the price in force that day: the price row with the
// latest validity on or before the day; none gives NULL. In primary-key order, so that the
// rows go into APURFATGD's key at its end, not scattered.
const QString writeRows =
    u"INSERT INTO APURFATGD (NRAPURACGD, CDFILIALAPGD, CDCLIENTEAPGD, CDSERVFILIAPGD, "
    "DTAPURACFATGD, NREFETIVOSAPGD, VRPRECUNITAPGD) "
    "SELECT CAST(? AS VARCHAR(10)), E.CDFILIAL, E.CDCLIENTE, E.CDSERVFILI, E.DTEFETIVO, "
    "E.NREFETIVOS, (SELECT P.VRPRECUNIT FROM PRECSERV P WHERE P.CDFILIAL = E.CDFILIAL "
    "AND P.CDCLIENTE = E.CDCLIENTE AND P.CDSERVFILI = E.CDSERVFILI "
    "AND P.DTVIGENCIA <= E.DTEFETIVO ORDER BY P.DTVIGENCIA DESC LIMIT 1) "
    "FROM EFETIVO E WHERE E.CDFILIAL = ? AND E.DTEFETIVO >= ? AND E.DTEFETIVO <= ? "
    "ORDER BY E.CDCLIENTE, E.CDSERVFILI, E.DTEFETIVO"_s;

// The same rows on SQLite, read in the order of EFETIVO's primary key (branch, client,
// service, day) instead of sorted: SQLite's sort of a million rows cost more than the
// reading itself. The (client, service) pairs of the branch are walked by seeks in that
// key (each step finds the next service of the client, or the first of the next client),
// and each pair's period is one range of the key. SQLite's planner, without statistics,
// prefers the covering index by day for the join, so the key's index is named; its name
// is SQLite's own and is read from the schema.
const QString writeRowsByKey =
    u"INSERT INTO APURFATGD (NRAPURACGD, CDFILIALAPGD, CDCLIENTEAPGD, CDSERVFILIAPGD, "
    "DTAPURACFATGD, NREFETIVOSAPGD, VRPRECUNITAPGD) "
    "WITH RECURSIVE PAR (CDCLIENTE, CDSERVFILI) AS ("
    " SELECT C, (SELECT MIN(X.CDSERVFILI) FROM EFETIVO X WHERE X.CDFILIAL = ?2 AND X.CDCLIENTE = C)"
    " FROM (SELECT MIN(X.CDCLIENTE) AS C FROM EFETIVO X WHERE X.CDFILIAL = ?2)"
    " UNION ALL"
    " SELECT IIF(EXISTS (SELECT 1 FROM EFETIVO X WHERE X.CDFILIAL = ?2 AND X.CDCLIENTE = PAR.CDCLIENTE"
    "                    AND X.CDSERVFILI > PAR.CDSERVFILI), PAR.CDCLIENTE,"
    "            (SELECT MIN(X.CDCLIENTE) FROM EFETIVO X WHERE X.CDFILIAL = ?2 AND X.CDCLIENTE > PAR.CDCLIENTE)),"
    "        IFNULL((SELECT MIN(X.CDSERVFILI) FROM EFETIVO X WHERE X.CDFILIAL = ?2"
    "                AND X.CDCLIENTE = PAR.CDCLIENTE AND X.CDSERVFILI > PAR.CDSERVFILI),"
    "               (SELECT MIN(X.CDSERVFILI) FROM EFETIVO X WHERE X.CDFILIAL = ?2 AND X.CDCLIENTE ="
    "                 (SELECT MIN(Y.CDCLIENTE) FROM EFETIVO Y WHERE Y.CDFILIAL = ?2 AND Y.CDCLIENTE > PAR.CDCLIENTE)))"
    " FROM PAR WHERE PAR.CDCLIENTE IS NOT NULL) "
    "SELECT ?1, E.CDFILIAL, E.CDCLIENTE, E.CDSERVFILI, E.DTEFETIVO, E.NREFETIVOS, "
    "(SELECT P.VRPRECUNIT FROM PRECSERV P WHERE P.CDFILIAL = E.CDFILIAL "
    "AND P.CDCLIENTE = E.CDCLIENTE AND P.CDSERVFILI = E.CDSERVFILI "
    "AND P.DTVIGENCIA <= E.DTEFETIVO ORDER BY P.DTVIGENCIA DESC LIMIT 1) "
    "FROM PAR CROSS JOIN EFETIVO E INDEXED BY \"%1\" "
    "WHERE E.CDFILIAL = ?2 AND E.CDCLIENTE = PAR.CDCLIENTE AND E.CDSERVFILI = PAR.CDSERVFILI "
    "AND E.DTEFETIVO >= ?3 AND E.DTEFETIVO <= ?4"_s;

// The period's rows written under the number: by EFETIVO's key on SQLite, sorted elsewhere.
Result<int> writeRowsOf(Session &s, const QString &number, const QString &branch, QDate start, QDate end)
{
    SqliteStatements *fast = s.sqlite();
    if (!fast)
        return execute(s, writeRows, {number, branch, s.date(start), s.date(end)});
    static const QString keyIndex = u"SELECT name FROM pragma_index_list('EFETIVO') WHERE origin = 'pk'"_s;
    QString key;
    const auto found =
        fast->run(keyIndex, {}, [&](const SqliteRow &row) { key = QString::fromUtf8(row.text(0)); });
    if (!found)
        return makeError(s.dbError(found.error(), keyIndex));
    if (key.isEmpty())
        return execute(s, writeRows, {number, branch, s.date(start), s.date(end)});
    return execute(s, writeRowsByKey.arg(key.replace(u'"', u"\"\""_s)), {number, branch, s.date(start), s.date(end)});
}

} // namespace

Result<Answer> ProPrxRelApurFat(Session &s, const Args &a)
{
    const QString branch = a.text(1);
    const auto known = exists(s, u"SELECT 1 FROM FILIAL WHERE CDFILIAL = ?"_s, {branch});
    if (!known)
        return makeError(known.error());
    if (!*known)
        return makeError(u"Filial %1 não cadastrada."_s.arg(branch));
    const auto n = nextNumber(s, u"APURACAO"_s);
    if (!n)
        return makeError(n.error());
    const QString number = QString::number(*n).rightJustified(10, u'0');
    const QDateTime now = QDateTime::currentDateTime();
    const QVariant when =
        s.dialect() == Dialect::SQLite ? QVariant(now.toString(u"yyyy-MM-dd hh:mm:ss"_s)) : QVariant(now);
    const auto recorded = execute(s,
                                  u"INSERT INTO APURACAO (NRAPURACGD, CDFILIAL, DTEMISSAO) "
                                  "VALUES (?, ?, ?)"_s,
                                  {number, branch, when});
    if (!recorded)
        return makeError(recorded.error());
    return Answer(QJsonValue(number));
}

Result<Answer> ProRelGesDireta(Session &s, const Args &a)
{
    const QString branch = a.text(1);
    const QDate start = a.date(2);
    const QDate end = a.date(3);
    const QString number = a.text(4);
    if (end < start)
        return makeError(u"Data final %1 anterior à data inicial %2."_s.arg(formatDateBR(end), formatDateBR(start)));
    // The number's row stays locked until the commit: a second run of the same number
    // waits here and then replaces what this one wrote, never adding to it.
    const auto issued = lockApuration(s, number);
    if (!issued)
        return makeError(issued.error());
    if (!*issued || **issued != branch)
        return makeError(u"Apuração %1 não emitida para a filial %2."_s.arg(number, branch));
    const auto removed =
        execute(s, u"DELETE FROM APURFATGD WHERE NRAPURACGD = ? AND CDFILIALAPGD = ?"_s, {number, branch});
    if (!removed)
        return makeError(removed.error());
    const auto written = writeRowsOf(s, number, branch, start, end);
    if (!written)
        return makeError(written.error());
    if (const auto raised = raiseGeneration(s, number, branch); !raised)
        return makeError(raised.error());
    return Answer(QJsonValue(*written));
}

Result<Answer> ProDelTableRelApur(Session &s, const Args &a)
{
    const QString branch = a.text(1);
    const QString number = a.text(2);
    if (const auto locked = lockApuration(s, number); !locked)
        return makeError(locked.error());
    const auto rows =
        execute(s, u"DELETE FROM APURFATGD WHERE NRAPURACGD = ? AND CDFILIALAPGD = ?"_s, {number, branch});
    if (!rows)
        return makeError(rows.error());
    const auto statement =
        execute(s, u"DELETE FROM CFRSINTDATA WHERE NRAPURACGD = ? AND CDFILIAL = ?"_s, {number, branch});
    if (!statement)
        return makeError(statement.error());
    if (const auto raised = raiseGeneration(s, number, branch); !raised)
        return makeError(raised.error());
    return Answer(QJsonValue(*rows + *statement));
}

} // namespace kpr::appserver::rdmcfr
