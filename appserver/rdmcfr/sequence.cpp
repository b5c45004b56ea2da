// CFR sequence numbers, one per branch, client and fortnight, kept when the same fortnight
// is emitted again.

#include "appserver/rdmcfr/sequence.h"

#include "appserver/rdmcfr/clientlist.h"
#include "appserver/rdmcfr/common.h"
#include "appserver/rdmcfr/counter.h"
#include "appserver/rdmcfr/methods.h"
#include "framework/core/dates.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver::rdmcfr {

Fortnight fortnightOf(const QDate &start, const QString &half)
{
    if (half != u"1"_s && half != u"2"_s)
        return {{}, u"Quinzena \"%1\" inválida: deve ser \"1\" ou \"2\"."_s.arg(half)};
    const QString expected = start.day() <= 15 ? u"1"_s : u"2"_s;
    if (half != expected)
        return {{}, u"A quinzena %1 não corresponde à data inicial %2."_s.arg(half, formatDateBR(start))};
    return {QDate(start.year(), start.month(), half == u"1"_s ? 1 : 16), {}};
}

Result<Answer> GetSequencial(Session &s, const Args &a)
{
    const QString branch = a.text(2);
    const QString number = a.text(4);
    const Fortnight fortnight = fortnightOf(a.date(1), a.text(6));
    if (!fortnight.refusal.isEmpty())
        return Answer(QJsonValue(fortnight.refusal));
    const ClientList list = parseClientList(a.text(3), TMeansAll::Yes);

    QStringList clients;
    {
        // One client (the per-client export asks once per client) is looked up by its key;
        // a wider list reads the apuration's clients in the database's order of codes, the
        // order the numbers are issued in.
        const bool one = !list.all && list.codes.size() == 1;
        const QString oneClient = one ? *list.codes.cbegin() : QString();
        auto q = one ? s.run(u"SELECT C.CDCLIENTE FROM CLIENTE C WHERE C.CDCLIENTE = ? AND EXISTS (SELECT 1 "
                             "FROM APURFATGD A WHERE A.NRAPURACGD = ? AND A.CDFILIALAPGD = ? "
                             "AND A.CDCLIENTEAPGD = C.CDCLIENTE)"_s,
                             {oneClient, number, branch})
                     : s.run(u"SELECT C.CDCLIENTE FROM CLIENTE C WHERE EXISTS (SELECT 1 FROM APURFATGD A "
                             "WHERE A.NRAPURACGD = ? AND A.CDFILIALAPGD = ? "
                             "AND A.CDCLIENTEAPGD = C.CDCLIENTE) ORDER BY C.CDCLIENTE"_s,
                             {number, branch});
        if (!q)
            return makeError(q.error());
        while (q.value().next()) {
            const QString code = q.value().value(0).toString();
            if (list.contains(code))
                clients << code;
        }
    }
    if (clients.isEmpty())
        return Answer(QJsonValue(u"Não há dados apurados para emissão do CFR."_s));

    const QVariant day = s.date(fortnight.start);
    const QString counter = u"CFR"_s + branch;
    for (const QString &client : clients) {
        {
            auto q = s.run(u"SELECT NRSEQCFR FROM SEQCFR WHERE CDFILIAL = ? AND CDCLIENTE = ? "
                           "AND DTQUINZENA = ?"_s,
                           {branch, client, day});
            if (!q)
                return makeError(q.error());
            if (q.value().next())
                continue; // emitted before: keeps its number
        }
        const auto n = nextNumber(s, counter);
        if (!n)
            return makeError(n.error());
        const auto stored = execute(s,
                                    u"INSERT INTO SEQCFR (CDFILIAL, CDCLIENTE, DTQUINZENA, NRSEQCFR, "
                                    "NRAPURACGD) VALUES (?, ?, ?, ?, ?) "
                                    "ON CONFLICT (CDFILIAL, CDCLIENTE, DTQUINZENA) DO NOTHING"_s,
                                    {branch, client, day, *n, number});
        if (!stored)
            return makeError(stored.error());
    }
    return Answer(QJsonValue(QString()));
}

} // namespace kpr::appserver::rdmcfr
