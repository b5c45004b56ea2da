#include "host/rdmcfr.h"

#include "host/chamada.h"

#include "framework/net/netconnection.h"
#include "framework/net/rpcargs.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

using M = contract::Method;

RdmCFR::~RdmCFR() = default;

void RdmCFR::GetQtdeEfetServClientes(const QString &filial, const QString &apuracao, const QStringList &clientes,
                                     const QDate &inicio, const QDate &fim,
                                     const std::function<void(const ServerResult &)> &resposta)
{
    for (const QString &cliente : clientes)
        resposta(GetQtdeEfetServ(filial, apuracao, cliente, inicio, fim));
}

void RdmCFR::GetQtdeEfetDataServicos(const QString &filial, const QString &apuracao, const QString &cliente,
                                     const QStringList &servicos, QDate &inicioJanela, QDate &fimJanela,
                                     const std::function<void(const ServerResult &)> &resposta)
{
    for (const QString &servico : servicos)
        resposta(GetQtdeEfetData(filial, apuracao, cliente, servico, inicioJanela, fimJanela));
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

// The calls go out together, all with the window as it stands, and the server answers
// them in order while the first answers are being read here. The server only reads the
// window dates, so each call did get what the previous one left. Should an answer ever
// bring other dates back, the calls already sent with the old ones are read and dropped,
// and the rest are made one at a time with the new dates.
void RdmCFRConnection::GetQtdeEfetDataServicos(const QString &filial, const QString &apuracao, const QString &cliente,
                                               const QStringList &servicos, QDate &inicioJanela, QDate &fimJanela,
                                               const std::function<void(const ServerResult &)> &resposta)
{
    const QString metodo = contract::method(M::GetQtdeEfetData).name;
    QList<RpcCall> chamadas;
    chamadas.reserve(servicos.size());
    for (const QString &servico : servicos)
        chamadas.append({metodo,
                         {rpcArg(filial), rpcArg(apuracao), rpcArg(cliente), rpcArg(servico), rpcArg(inicioJanela),
                          rpcArg(fimJanela)}});
    const QDate inicio = inicioJanela;
    const QDate fim = fimJanela;
    qsizetype feitas = 0;
    m_net.callInOrder(chamadas, [&](ServerResult &&r) {
        ++feitas;
        devolve(r, M::GetQtdeEfetData, {&inicioJanela, &fimJanela});
        resposta(r);
        return inicioJanela == inicio && fimJanela == fim;
    });
    // Also after a broken connection whose failure resposta let pass: the rest are made
    // as one at a time would have made them.
    for (qsizetype i = feitas; i < servicos.size(); ++i)
        resposta(GetQtdeEfetData(filial, apuracao, cliente, servicos.at(i), inicioJanela, fimJanela));
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

// No argument is answered back: the calls depend on nothing but the list. They go out
// together and the server answers them in order while the first answers are taken in.
void RdmCFRConnection::GetQtdeEfetServClientes(const QString &filial, const QString &apuracao,
                                               const QStringList &clientes, const QDate &inicio, const QDate &fim,
                                               const std::function<void(const ServerResult &)> &resposta)
{
    const QString metodo = contract::method(M::GetQtdeEfetServ).name;
    QList<RpcCall> chamadas;
    chamadas.reserve(clientes.size());
    for (const QString &cliente : clientes)
        chamadas.append({metodo, {rpcArg(filial), rpcArg(apuracao), rpcArg(cliente), rpcArg(inicio), rpcArg(fim)}});
    qsizetype feitas = 0;
    m_net.callInOrder(chamadas, [&](ServerResult &&r) {
        ++feitas;
        resposta(r);
        return true;
    });
    // After a broken connection whose failure resposta let pass: the rest one at a time.
    for (qsizetype i = feitas; i < clientes.size(); ++i)
        resposta(GetQtdeEfetServ(filial, apuracao, clientes.at(i), inicio, fim));
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

ServerResult RdmCFRConnection::EmailFilial(QString &filial)
{
    const auto r = chama(m_net, M::EmailFilial, {rpcArg(filial)});
    devolve(r, M::EmailFilial, {&filial});
    return r;
}

} // namespace kpr::cfr
