// The client packets: the branch's clients, the clients of a run, the clients with data
// to send, and the branch's e-mail settings.

#include "appserver/rdmcfr/clientlist.h"
#include "appserver/rdmcfr/common.h"
#include "contract/packets.h"
#include "appserver/rdmcfr/methods.h"


using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver::rdmcfr {

Result<Answer> GetClieFili(Session &s, const Args &a)
{
    const QList<PacketField> &fields = contract::clieFiliFields();
    return packetFromQuery(s, fields,
                           u"SELECT NULL, C.CDCLIENTE, C.IDTPIJURCLIE, C.NRINSJURCLIE, "
                           "C.NMRAZSOCCLIE, C.NMFANTCLIE "
                           "FROM CLIEFILI F JOIN CLIENTE C ON C.CDCLIENTE = F.CDCLIENTE "
                           "WHERE F.CDFILIAL = ? ORDER BY C.CDCLIENTE"_s,
                           {a.text(1)});
}

Result<Answer> GetClieSelect(Session &s, const Args &a)
{
    const QList<PacketField> &fields = contract::clieSelectFields();
    return packetFromQuery(s, fields,
                           u"SELECT C.CDCLIENTE, C.DSENDECLIE, C.NMBAIRCLIE, C.NMMUNICLIE, C.NRCEPCLIE, "
                           "C.NRINSESTCLIE, C.NRTELECLIE, C.IDTPIJURCLIE, C.NRINSJURCLIE, C.NMRAZSOCCLIE "
                           "FROM CLIENTE C WHERE EXISTS (SELECT 1 FROM APURFATGD A WHERE A.NRAPURACGD = ? "
                           "AND A.CDFILIALAPGD = ? AND A.CDCLIENTEAPGD = C.CDCLIENTE) ORDER BY C.CDCLIENTE"_s,
                           {a.text(2), a.text(1)}, parseClientList(a.text(3), TMeansAll::No));
}

Result<Answer> clientesComDados(Session &s, const Args &a)
{
    const QList<PacketField> &fields = contract::clientesComDadosFields();
    return packetFromQuery(s, fields,
                           u"SELECT C.CDCLIENTE, C.IDTPIJURCLIE, C.NRINSJURCLIE, C.NMRAZSOCCLIE, C.NMFANTCLIE, "
                           "C.DSEMAIL FROM CLIENTE C WHERE EXISTS (SELECT 1 FROM APURFATGD A "
                           "WHERE A.NRAPURACGD = ? AND A.CDFILIALAPGD = ? AND A.CDCLIENTEAPGD = C.CDCLIENTE "
                           "AND A.DTAPURACFATGD >= ? AND A.DTAPURACFATGD <= ?) ORDER BY C.CDCLIENTE"_s,
                           {a.text(2), a.text(1), s.date(a.date(3)), s.date(a.date(4))},
                           parseClientList(a.text(5), TMeansAll::Yes));
}

Result<Answer> EmailFilial(Session &s, const Args &a)
{
    const QList<PacketField> &fields = contract::emailFilialFields();
    return packetFromQuery(s, fields,
                           u"SELECT DSLOGINSMTP, DSEMAILFILI, CDSENHEMAILF, DSSMTPEMAILF, "
                           "IDUTTLSEMAIL, IDUTSSLEMAIL, DSEMAILSMTP FROM FILIAL WHERE CDFILIAL = ?"_s,
                           {a.text(1)});
}

} // namespace kpr::appserver::rdmcfr
