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

Result<Answer> GetQtdeEfetServ(Session &s, const Args &a)
{
    const QList<PacketField> &fields = contract::qtdeEfetServFields();
    // Grouped by service (the pass numbers the services in order of arrival).
    return packetFromQuery(s, fields,
                           u"SELECT A.CDFILIALAPGD, A.CDCLIENTEAPGD, A.CDSERVFILIAPGD, A.NRAPURACGD, "
                           "A.DTAPURACFATGD, A.NREFETIVOSAPGD, A.VRPRECUNITAPGD, S.NMSERVICO, "
                           // Every row is of the branch asked for: its name is read once, not joined per row.
                           "(SELECT F.NMFILIAL FROM FILIAL F WHERE F.CDFILIAL = ?), "
                           "C.IDTPIJURCLIE, C.NRINSJURCLIE, C.NMRAZSOCCLIE "
                           "FROM APURFATGD A JOIN CLIENTE C ON C.CDCLIENTE = A.CDCLIENTEAPGD "
                           "LEFT JOIN SERVFILI S ON S.CDFILIAL = A.CDFILIALAPGD AND S.CDSERVFILI = A.CDSERVFILIAPGD "
                           "WHERE A.NRAPURACGD = ? AND A.CDFILIALAPGD = ? AND A.CDCLIENTEAPGD = ? "
                           "AND A.DTAPURACFATGD >= ? AND A.DTAPURACFATGD <= ? "
                           "ORDER BY A.CDSERVFILIAPGD, A.DTAPURACFATGD"_s,
                           {a.text(1), a.text(2), a.text(1), a.text(3), s.date(a.date(4)), s.date(a.date(5))});
}

} // namespace kpr::appserver::rdmcfr
