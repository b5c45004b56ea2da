// The send log of the statements e-mailed to clients: a workstation claims a statement
// before sending it (ReservaEnvio), reports how the send ended (ConcluiEnvio), and the
// screen lists where each statement of a run stands (SituacaoEnvios).
//
// The claim is one atomic write on both databases: an insert that the primary key lets
// through for one caller only, or an update whose WHERE admits only the states that may
// be taken over; the rows it affected say whether this caller got the statement. No state
// is read first and written after, so two workstations never both get it.

#include "appserver/rdmcfr/common.h"
#include "contract/packets.h"
#include "appserver/rdmcfr/counter.h"
#include "appserver/rdmcfr/methods.h"
#include "framework/core/dates.h"

#include <QDateTime>
#include <QUuid>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver::rdmcfr {

namespace {

// Characters as the database counts them for VARCHAR(n): code points, not UTF-16 units.
qsizetype characters(const QString &text)
{
    qsizetype n = 0;
    for (const QChar c : text)
        n += c.isLowSurrogate() ? 0 : 1;
    return n;
}

// The refusal for a text that is empty when it must not be or longer than its column,
// or the empty text when it fits.
QString checkText(const QString &value, const QString &label, int max, const QString &missing = {})
{
    if (!missing.isEmpty() && value.isEmpty())
        return missing;
    if (const qsizetype n = characters(value); n > max)
        return u"%1 excede o limite de %2 caracteres (tem %3)."_s.arg(label).arg(max).arg(n);
    return {};
}

// Timestamps as bound values: the wall-clock time as text, which SQLite keeps as it is
// and PostgreSQL reads into its TIMESTAMP column. No time zone is involved on either side.
QString timestampText(const QDateTime &t)
{
    return t.toString(u"yyyy-MM-dd hh:mm:ss.zzz"_s);
}

// A TIMESTAMP column as a day number with the time of day: a QDateTime on PostgreSQL,
// the text written by timestampText on SQLite.
QJsonValue timestampJson(const QVariant &value)
{
    if (value.isNull())
        return QJsonValue::Null;
    QDateTime t;
    if (value.typeId() == QMetaType::QDateTime) {
        t = value.toDateTime();
    } else {
        QString text = value.toString().trimmed();
        text.replace(u' ', u'T');
        t = QDateTime::fromString(text, Qt::ISODateWithMs);
    }
    return t.isValid() ? QJsonValue(toDayNumber(t)) : QJsonValue(QJsonValue::Null);
}

QJsonValue textOrNull(const QVariant &value)
{
    return value.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(value.toString());
}

// The statement a claim is about: the primary key of ENVIOCFR.
struct Statement
{
    QString branch;
    QDate start;
    QDate end;
    QString layout;
    QString client;
    QString fingerprint;

    QVariantList key(const Session &s) const
    {
        return {branch, s.date(start), s.date(end), layout, client, fingerprint};
    }
};

const QString keyWhere = u"CDFILIAL = ? AND DTINICIAL = ? AND DTFINAL = ? AND NRLAYOUT = ? "
                         "AND CDCLIENTE = ? AND DSIMPRESSAO = ?"_s;

QString checkStatement(const Statement &st)
{
    for (const QString &why :
         {checkText(st.branch, u"O código da filial"_s, 4, u"Código da filial não informado."_s),
          checkText(st.layout, u"O layout"_s, 4),
          checkText(st.client, u"O código do cliente"_s, 21, u"Código do cliente não informado."_s),
          checkText(st.fingerprint, u"A impressão do extrato"_s, 64, u"Impressão do extrato não informada."_s)}) {
        if (!why.isEmpty())
            return why;
    }
    if (st.end < st.start)
        return u"Data final %1 anterior à data inicial %2."_s.arg(formatDateBR(st.end), formatDateBR(st.start));
    return {};
}

const QList<PacketField> &claimFields()
{
    return contract::reservaEnvioFields();
}

Answer claimAnswer(const QJsonArray &row)
{
    PacketBuilder packet(claimFields());
    packet.addRow(row);
    return packet.answer();
}

} // namespace

Result<Answer> ReservaEnvio(Session &s, const Args &a)
{
    const Statement st{a.text(1), a.date(2), a.date(3), a.text(4), a.text(5), a.text(6)};
    const QString emails = a.text(7);
    const QString station = a.text(8);
    const QString again = a.text(9);
    if (const QString why = checkStatement(st); !why.isEmpty())
        return makeError(why);
    for (const QString &why : {checkText(emails, u"A lista de e-mails"_s, 4000),
                               checkText(station, u"O nome da estação"_s, 100, u"Nome da estação não informado."_s)}) {
        if (!why.isEmpty())
            return makeError(why);
    }
    if (again != u""_s && again != u"N"_s && again != u"S"_s && again != u"F"_s)
        return makeError(u"Reenviar \"%1\" inválido: deve ser \"N\", \"S\" ou \"F\"."_s.arg(again));

    const QDateTime now = QDateTime::currentDateTime();
    const QString when = timestampText(now);
    const QString token = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QVariantList key = st.key(s);

    // A statement never claimed: the primary key lets one insert through.
    const auto inserted = execute(s,
                                  u"INSERT INTO ENVIOCFR (CDFILIAL, DTINICIAL, DTFINAL, NRLAYOUT, CDCLIENTE, "
                                  "DSIMPRESSAO, IDSITUACAO, CDRESERVA, NMESTACAO, DSEMAIL, DSRESPOSTA, "
                                  "DTHRSITUACAO) VALUES (?, ?, ?, ?, ?, ?, 'E', ?, ?, ?, NULL, ?) "
                                  "ON CONFLICT (CDFILIAL, DTINICIAL, DTFINAL, NRLAYOUT, CDCLIENTE, "
                                  "DSIMPRESSAO) DO NOTHING"_s,
                                  key + QVariantList{token, station, emails, when});
    if (!inserted)
        return makeError(inserted.error());
    bool claimed = *inserted == 1;
    if (!claimed) {
        // Taken over only from a state this call may take: a failed send always, a sent
        // one when sending again ("S"), one being sent only when forcing ("F"). Forcing does
        // not resend a sent one: a claim another workstation concluded meanwhile stays sent.
        const auto updated = execute(s,
                                     u"UPDATE ENVIOCFR SET IDSITUACAO = 'E', CDRESERVA = ?, NMESTACAO = ?, "
                                     "DSEMAIL = ?, DSRESPOSTA = NULL, DTHRSITUACAO = ? WHERE "_s
                                         + keyWhere
                                         + u" AND (IDSITUACAO = 'F' OR (IDSITUACAO = 'S' AND ? = 'S') "
                                           "OR (IDSITUACAO = 'E' AND ? = 'F'))"_s,
                                     QVariantList{token, station, emails, when} + key + QVariantList{again, again});
        if (!updated)
            return makeError(updated.error());
        claimed = *updated == 1;
    }
    if (!claimed) {
        auto q =
            s.run(u"SELECT IDSITUACAO, NMESTACAO, DTHRSITUACAO, DSRESPOSTA FROM ENVIOCFR WHERE "_s + keyWhere, key);
        if (!q)
            return makeError(q.error());
        if (!q.value().next())
            return makeError(s.dbError(u"o envio não foi gravado nem encontrado."_s));
        // The other claim's token stays with its holder.
        return claimAnswer({q.value().value(0).toString(), QJsonValue::Null, textOrNull(q.value().value(1)),
                            timestampJson(q.value().value(2)), textOrNull(q.value().value(3))});
    }

    // A forced claim leaves the attempt it replaced open: close it, its outcome unknown.
    const auto superseded = execute(s,
                                    u"UPDATE ENVIOCFRLOG SET IDSITUACAO = 'F', DSRESPOSTA = ?, DTHRFIM = ? "
                                    "WHERE "_s
                                        + keyWhere + u" AND IDSITUACAO = 'E'"_s,
                                    QVariantList{u"Reserva assumida à força pela estação %1; o resultado desta "
                                                 "tentativa é desconhecido."_s.arg(station),
                                                 when}
                                        + key);
    if (!superseded)
        return makeError(superseded.error());
    const auto id = nextNumber(s, u"ENVIOCFRLOG"_s);
    if (!id)
        return makeError(id.error());
    const auto opened = execute(s,
                                u"INSERT INTO ENVIOCFRLOG (NRENVIO, CDFILIAL, DTINICIAL, DTFINAL, NRLAYOUT, "
                                "CDCLIENTE, DSIMPRESSAO, CDRESERVA, NMESTACAO, DSEMAIL, IDSITUACAO, DSRESPOSTA, "
                                "DTHRINICIO, DTHRFIM) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 'E', NULL, ?, NULL)"_s,
                                QVariantList{*id} + key + QVariantList{token, station, emails, when});
    if (!opened)
        return makeError(opened.error());
    return claimAnswer({u"R"_s, token, station, toDayNumber(now), QJsonValue::Null});
}

Result<Answer> ConcluiEnvio(Session &s, const Args &a)
{
    const QString token = a.text(1);
    const QString outcome = a.text(2);
    const QString reply = a.text(3);
    if (const QString why = checkText(token, u"A reserva"_s, 40, u"Reserva não informada."_s); !why.isEmpty())
        return makeError(why);
    if (outcome != u"S"_s && outcome != u"F"_s)
        return makeError(u"Situação \"%1\" inválida: deve ser \"S\" (enviado) ou \"F\" (falhou)."_s.arg(outcome));
    if (const QString why = checkText(reply, u"A resposta do envio"_s, 1000); !why.isEmpty())
        return makeError(why);

    const QString when = timestampText(QDateTime::currentDateTime());
    const auto concluded = execute(s,
                                   u"UPDATE ENVIOCFR SET IDSITUACAO = ?, DSRESPOSTA = ?, DTHRSITUACAO = ? "
                                   "WHERE CDRESERVA = ? AND IDSITUACAO = 'E'"_s,
                                   {outcome, reply, when, token});
    if (!concluded)
        return makeError(concluded.error());
    if (*concluded == 0) {
        // Why the token does not hold the statement: concluded before, replaced by a later
        // claim, or never issued.
        auto q = s.run(u"SELECT IDSITUACAO FROM ENVIOCFR WHERE CDRESERVA = ?"_s, {token});
        if (!q)
            return makeError(q.error());
        if (q.value().next())
            return makeError(u"A reserva %1 já foi concluída."_s.arg(token));
        auto known = s.run(u"SELECT 1 FROM ENVIOCFRLOG WHERE CDRESERVA = ?"_s, {token});
        if (!known)
            return makeError(known.error());
        if (known.value().next())
            return makeError(u"A reserva %1 não vale mais: o extrato foi reservado de novo por outra "
                             "estação."_s.arg(token));
        return makeError(u"Reserva %1 desconhecida."_s.arg(token));
    }
    const auto closed = execute(s,
                                u"UPDATE ENVIOCFRLOG SET IDSITUACAO = ?, DSRESPOSTA = ?, DTHRFIM = ? "
                                "WHERE CDRESERVA = ? AND IDSITUACAO = 'E'"_s,
                                {outcome, reply, when, token});
    if (!closed)
        return makeError(closed.error());
    return Answer(QJsonValue(QString()));
}

Result<Answer> SituacaoEnvios(Session &s, const Args &a)
{
    const QList<PacketField> &fields = contract::situacaoEnviosFields();
    // Read through QtSql on both databases: the packet's datetime carries the time of day,
    // which the fast SQLite path reads as a date only.
    auto q = s.run(u"SELECT CDCLIENTE, DSIMPRESSAO, IDSITUACAO, NMESTACAO, DTHRSITUACAO, DSRESPOSTA, DSEMAIL "
                   "FROM ENVIOCFR WHERE CDFILIAL = ? AND DTINICIAL = ? AND DTFINAL = ? AND NRLAYOUT = ? "
                   "ORDER BY CDCLIENTE, DTHRSITUACAO, DSIMPRESSAO"_s,
                   {a.text(1), s.date(a.date(2)), s.date(a.date(3)), a.text(4)});
    if (!q)
        return makeError(q.error());
    PacketBuilder packet(fields);
    while (q.value().next()) {
        const Query &r = q.value();
        packet.addRow(QJsonArray{textOrNull(r.value(0)), textOrNull(r.value(1)), textOrNull(r.value(2)),
                                 textOrNull(r.value(3)), timestampJson(r.value(4)), textOrNull(r.value(5)),
                                 textOrNull(r.value(6))});
    }
    return packet.answer();
}

} // namespace kpr::appserver::rdmcfr
