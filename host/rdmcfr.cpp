#include "host/rdmcfr.h"

#include "host/chamada.h"

#include "framework/net/netconnection.h"
#include "framework/net/rpcargs.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

using M = contract::Method;

RdmCFR::~RdmCFR() = default;

ServerResult RdmCFR::chamaTipada(const ChamadaCFR &chamada)
{
    const QJsonArray &a = chamada.args;
    QJsonArray refs = a;
    ServerResult r;
    switch (chamada.metodo) {
    case M::GetTotalizacao: {
        QString cliente = rpcText(a.at(4));
        r = GetTotalizacao(rpcText(a.at(0)), rpcText(a.at(1)), rpcDate(a.at(2)), rpcDate(a.at(3)), cliente);
        refs[4] = rpcArg(cliente);
        break;
    }
    case M::GetServSelect: r = GetServSelect(rpcText(a.at(0)), rpcText(a.at(1)), rpcText(a.at(2))); break;
    case M::GetQtdeEfetData: {
        QDate inicio = rpcDate(a.at(4));
        QDate fim = rpcDate(a.at(5));
        r = GetQtdeEfetData(rpcText(a.at(0)), rpcText(a.at(1)), rpcText(a.at(2)), rpcText(a.at(3)), inicio, fim);
        refs[4] = rpcArg(inicio);
        refs[5] = rpcArg(fim);
        break;
    }
    case M::GetQtdeEfetServ:
        r = GetQtdeEfetServ(rpcText(a.at(0)), rpcText(a.at(1)), rpcText(a.at(2)), rpcDate(a.at(3)), rpcDate(a.at(4)));
        break;
    default:
        return ServerResult::failure(
            u"%1 não pode ser chamado em sequência."_s.arg(contract::method(chamada.metodo).name));
    }
    if (r.ok)
        r.refs = refs;
    return r;
}

void RdmCFR::EmSequencia(const QList<ChamadaCFR> &chamadas, const RespostaSequencia &resposta)
{
    for (qsizetype i = 0; i < chamadas.size(); ++i) {
        if (!resposta(i, chamaTipada(chamadas.at(i))))
            return;
    }
}

ServerResult RdmCFRConnection::GetClieFili(const QString &filial)
{
    return chama(m_net, M::GetClieFili, {rpcArg(filial)});
}

ServerResult RdmCFRConnection::ProPrxRelApurFat(const QString &filial)
{
    return chama(m_net, M::ProPrxRelApurFat, {rpcArg(filial)});
}

ServerResult RdmCFRConnection::ProRelGesDireta(const QString &filial, const QDate &inicio, const QDate &fim,
                                               const QString &apuracao, const QString &vazio)
{
    return chama(m_net, M::ProRelGesDireta,
                 {rpcArg(filial), rpcArg(inicio), rpcArg(fim), rpcArg(apuracao), rpcArg(vazio)});
}

ServerResult RdmCFRConnection::GetCFRSintData()
{
    return chama(m_net, M::GetCFRSintData);
}

ServerResult RdmCFRConnection::GetClieSelect(const QString &filial, const QString &apuracao, QString &clientes)
{
    const auto r = chama(m_net, M::GetClieSelect, {rpcArg(filial), rpcArg(apuracao), rpcArg(clientes)});
    devolve(r, M::GetClieSelect, {&clientes});
    return r;
}

ServerResult RdmCFRConnection::GetTotalizacao(const QString &filial, const QString &apuracao, const QDate &inicio,
                                              const QDate &fim, QString &cliente)
{
    const auto r = chama(m_net, M::GetTotalizacao,
                         {rpcArg(filial), rpcArg(apuracao), rpcArg(inicio), rpcArg(fim), rpcArg(cliente)});
    devolve(r, M::GetTotalizacao, {&cliente});
    return r;
}

ServerResult RdmCFRConnection::GetServSelect(const QString &filial, const QString &apuracao, const QString &cliente)
{
    return chama(m_net, M::GetServSelect, {rpcArg(filial), rpcArg(apuracao), rpcArg(cliente)});
}

ServerResult RdmCFRConnection::GetQtdeEfetData(const QString &filial, const QString &apuracao, const QString &cliente,
                                               const QString &servico, QDate &inicioJanela, QDate &fimJanela)
{
    const auto r = chama(
        m_net, M::GetQtdeEfetData,
        {rpcArg(filial), rpcArg(apuracao), rpcArg(cliente), rpcArg(servico), rpcArg(inicioJanela), rpcArg(fimJanela)});
    devolve(r, M::GetQtdeEfetData, {&inicioJanela, &fimJanela});
    return r;
}

ServerResult RdmCFRConnection::SetCRFSintDados(const QJsonObject &pacote)
{
    return chama(m_net, M::SetCRFSintDados, {QJsonValue(pacote)});
}

ServerResult RdmCFRConnection::GetCFRSintServ()
{
    return chama(m_net, M::GetCFRSintServ);
}

ServerResult RdmCFRConnection::GetQtdeEfetServ(const QString &filial, const QString &apuracao, const QString &cliente,
                                               const QDate &inicio, const QDate &fim)
{
    return chama(m_net, M::GetQtdeEfetServ,
                 {rpcArg(filial), rpcArg(apuracao), rpcArg(cliente), rpcArg(inicio), rpcArg(fim)});
}

ServerResult RdmCFRConnection::GetSequencial(const QDate &inicio, const QString &filial, QString &clientes,
                                             const QString &apuracao, const QString &cliente, QString &quinzena)
{
    const auto r =
        chama(m_net, M::GetSequencial,
              {rpcArg(inicio), rpcArg(filial), rpcArg(clientes), rpcArg(apuracao), rpcArg(cliente), rpcArg(quinzena)});
    devolve(r, M::GetSequencial, {&clientes, &quinzena});
    return r;
}

ServerResult RdmCFRConnection::DelCRFSintDados(const QString &filial, const QString &apuracao)
{
    return chama(m_net, M::DelCRFSintDados, {rpcArg(filial), rpcArg(apuracao)});
}

ServerResult RdmCFRConnection::ProDelTableRelApur(const QString &filial, const QString &apuracao)
{
    return chama(m_net, M::ProDelTableRelApur, {rpcArg(filial), rpcArg(apuracao)});
}

ServerResult RdmCFRConnection::clientesComDados(const QString &filial, QString &apuracao, const QDate &inicio,
                                                const QDate &fim, QString &clientes)
{
    const auto r = chama(m_net, M::clientesComDados,
                         {rpcArg(filial), rpcArg(apuracao), rpcArg(inicio), rpcArg(fim), rpcArg(clientes)});
    devolve(r, M::clientesComDados, {&apuracao, &clientes});
    return r;
}

void RdmCFRConnection::EmSequencia(const QList<ChamadaCFR> &chamadas, const RespostaSequencia &resposta)
{
    QList<RpcCall> envio;
    envio.reserve(chamadas.size());
    for (const ChamadaCFR &c : chamadas)
        envio.append({contract::method(c.metodo).name, c.args});
    qsizetype i = 0;
    m_net.callInOrder(envio, [&](ServerResult &&r) { return resposta(i++, r); });
}

ServerResult RdmCFRConnection::EmailFilial(QString &filial)
{
    const auto r = chama(m_net, M::EmailFilial, {rpcArg(filial)});
    devolve(r, M::EmailFilial, {&filial});
    return r;
}

} // namespace kpr::cfr
