// The by-service statement: its empty table and the quantities of one client per service.

#include "appserver/rdmcfr/common.h"
#include "contract/packets.h"
#include "appserver/rdmcfr/methods.h"
#include "appserver/rdmcfr/statementfields.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver::rdmcfr {

Result<Answer> GetCFRSintServ(Session &, const Args &)
{
    static const QByteArray empty = PacketBuilder(cfrSintServFields()).toJsonText();
    return Answer::fromJsonText(empty);
}

namespace {

// One client's rows of the apuration with its data and the branch's and services' names;
// %1 is the day column as each database compares it best (see GetQtdeEfetServ).
const QString qtdeEfetServ =
    u"SELECT A.CDFILIALAPGD, A.CDCLIENTEAPGD, A.CDSERVFILIAPGD, A.NRAPURACGD, "
    "A.DTAPURACFATGD, A.NREFETIVOSAPGD, A.VRPRECUNITAPGD, S.NMSERVICO, "
    // Every row is of the branch asked for: its name is read once, not joined per row.
    "(SELECT F.NMFILIAL FROM FILIAL F WHERE F.CDFILIAL = ?), "
    "C.IDTPIJURCLIE, C.NRINSJURCLIE, C.NMRAZSOCCLIE "
    "FROM APURFATGD A JOIN CLIENTE C ON C.CDCLIENTE = A.CDCLIENTEAPGD "
    "LEFT JOIN SERVFILI S ON S.CDFILIAL = A.CDFILIALAPGD AND S.CDSERVFILI = A.CDSERVFILIAPGD "
    "WHERE A.NRAPURACGD = ? AND A.CDFILIALAPGD = ? AND A.CDCLIENTEAPGD = ? "
    "AND %1 >= ? AND %1 <= ? "
    "ORDER BY A.CDSERVFILIAPGD, A.DTAPURACFATGD"_s;

} // namespace

Result<Answer> GetQtdeEfetServ(Session &s, const Args &a)
{
    const QList<PacketField> &fields = contract::qtdeEfetServFields();
    // On SQLite the unary + takes the column's NUMERIC affinity off the day's comparisons,
    // so the day texts bound are compared as they are instead of being tried as numbers on
    // each of the client's thousand rows. The key cannot bound the days here anyway: the
    // service comes before the day in it.
    static const QString sqlite = qtdeEfetServ.arg(u"+A.DTAPURACFATGD"_s);
    static const QString other = qtdeEfetServ.arg(u"A.DTAPURACFATGD"_s);
    // Grouped by service (the pass numbers the services in order of arrival).
    return packetFromQuery(s, fields, s.dialect() == Dialect::SQLite ? sqlite : other,
                           {a.text(1), a.text(2), a.text(1), a.text(3), s.date(a.date(4)), s.date(a.date(5))});
}

} // namespace kpr::appserver::rdmcfr
