#include "host/registroenvios.h"

#include "host/chamada.h"

#include "framework/core/dates.h"
#include "framework/data/clientdataset.h"
#include "framework/data/field.h"
#include "framework/net/netconnection.h"
#include "framework/net/rpcargs.h"

#include <QSysInfo>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

Result<Reserva> RegistroEnvios::ReservaEnvio(const QString &filial, const QDate &inicio, const QDate &fim,
                                             const QString &layout, const QString &cliente, const QString &impressao,
                                             const QString &emails, const QString &estacao, Reenvio reenvio)
{
    const QString modo = reenvio == Reenvio::Sim ? u"S"_s : reenvio == Reenvio::Forcar ? u"F"_s : u"N"_s;
    const ServerResult r = chama(m_net, contract::Method::ReservaEnvio,
                                 {rpcArg(filial), rpcArg(inicio), rpcArg(fim), rpcArg(layout), rpcArg(cliente),
                                  rpcArg(impressao), rpcArg(emails), rpcArg(estacao), rpcArg(modo)});
    if (!r.ok)
        return makeError(r.error);
    TClientDataSet t(u"ReservaEnvio"_s);
    if (const Status s = t.LoadFromPacket(r.data); !s)
        return makeError(s.error());
    if (t.IsEmpty())
        return makeError(u"O servidor não respondeu à reserva do envio."_s);
    Reserva res;
    const QString id = t.FieldByName(u"IDRESULTADO"_s)->AsString();
    res.resultado = id == u"R"_s   ? ResultadoReserva::Reservado
                    : id == u"S"_s ? ResultadoReserva::Enviado
                                   : ResultadoReserva::EmEnvio;
    res.token = t.FieldByName(u"CDRESERVA"_s)->AsString();
    res.estacao = t.FieldByName(u"NMESTACAO"_s)->AsString();
    res.quando = t.FieldByName(u"DTHRSITUACAO"_s)->AsDateTime();
    res.resposta = t.FieldByName(u"DSRESPOSTA"_s)->AsString();
    return res;
}

Status RegistroEnvios::ConcluiEnvio(const QString &token, bool enviado, const QString &resposta)
{
    const ServerResult r = chama(m_net, contract::Method::ConcluiEnvio,
                                 {rpcArg(token), rpcArg(enviado ? u"S"_s : u"F"_s), rpcArg(resposta.left(1000))});
    if (!r.ok)
        return makeError(r.error);
    return {};
}

ServerResult RegistroEnvios::SituacaoEnvios(const QString &filial, const QDate &inicio, const QDate &fim,
                                            const QString &layout)
{
    return chama(m_net, contract::Method::SituacaoEnvios,
                 {rpcArg(filial), rpcArg(inicio), rpcArg(fim), rpcArg(layout)});
}

QString NomeEstacao()
{
    const QString nome = qEnvironmentVariable("KPR_ESTACAO");
    return nome.isEmpty() ? QSysInfo::machineHostName() : nome;
}

} // namespace kpr::cfr
