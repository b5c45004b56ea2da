#include "host/rdmcfr.h"

#include "framework/net/netconnection.h"
#include "framework/net/rpcargs.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {

// Copies a by-reference argument back when the server answered it.
void takeText(const ServerResult &r, qsizetype pos, QString &var)
{
    if (r.ok && pos < r.refs.size() && r.refs.at(pos).isString())
        var = r.refs.at(pos).toString();
}

void takeDate(const ServerResult &r, qsizetype pos, QDate &var)
{
    if (r.ok && pos < r.refs.size()) {
        const QDate d = rpcDate(r.refs.at(pos));
        if (d.isValid())
            var = d;
    }
}

} // namespace

RdmCFR::~RdmCFR() = default;

ServerResult RdmCFRConnection::GetClieFili(const QString &filial)
{
    return m_net.call(u"GetClieFili"_s, {rpcArg(filial)});
}

ServerResult RdmCFRConnection::ProPrxRelApurFat(const QString &filial)
{
    return m_net.call(u"ProPrxRelApurFat"_s, {rpcArg(filial)});
}

ServerResult RdmCFRConnection::ProRelGesDireta(const QString &filial, const QDate &inicio,
                                               const QDate &fim, const QString &apuracao,
                                               const QString &vazio)
{
    return m_net.call(u"ProRelGesDireta"_s,
                      {rpcArg(filial), rpcArg(inicio), rpcArg(fim), rpcArg(apuracao), rpcArg(vazio)});
}

ServerResult RdmCFRConnection::GetCFRSintData()
{
    return m_net.call(u"GetCFRSintData"_s);
}

ServerResult RdmCFRConnection::GetClieSelect(const QString &filial, const QString &apuracao,
                                             QString &clientes)
{
    const auto r = m_net.call(u"GetClieSelect"_s, {rpcArg(filial), rpcArg(apuracao), rpcArg(clientes)});
    takeText(r, 2, clientes);
    return r;
}

ServerResult RdmCFRConnection::GetTotalizacao(const QString &filial, const QString &apuracao,
                                              const QDate &inicio, const QDate &fim, QString &cliente)
{
    const auto r = m_net.call(u"GetTotalizacao"_s, {rpcArg(filial), rpcArg(apuracao), rpcArg(inicio),
                                                    rpcArg(fim), rpcArg(cliente)});
    takeText(r, 4, cliente);
    return r;
}

ServerResult RdmCFRConnection::GetServSelect(const QString &filial, const QString &apuracao,
                                             const QString &cliente)
{
    return m_net.call(u"GetServSelect"_s, {rpcArg(filial), rpcArg(apuracao), rpcArg(cliente)});
}

ServerResult RdmCFRConnection::GetQtdeEfetData(const QString &filial, const QString &apuracao,
                                               const QString &cliente, const QString &servico,
                                               QDate &inicioJanela, QDate &fimJanela)
{
    const auto r = m_net.call(u"GetQtdeEfetData"_s,
                              {rpcArg(filial), rpcArg(apuracao), rpcArg(cliente), rpcArg(servico),
                               rpcArg(inicioJanela), rpcArg(fimJanela)});
    takeDate(r, 4, inicioJanela);
    takeDate(r, 5, fimJanela);
    return r;
}

ServerResult RdmCFRConnection::SetCRFSintDados(const QJsonObject &pacote)
{
    return m_net.call(u"SetCRFSintDados"_s, {QJsonValue(pacote)});
}

ServerResult RdmCFRConnection::GetCFRSintServ()
{
    return m_net.call(u"GetCFRSintServ"_s);
}

ServerResult RdmCFRConnection::GetQtdeEfetServ(const QString &filial, const QString &apuracao,
                                               const QString &cliente, const QDate &inicio,
                                               const QDate &fim)
{
    return m_net.call(u"GetQtdeEfetServ"_s, {rpcArg(filial), rpcArg(apuracao), rpcArg(cliente),
                                             rpcArg(inicio), rpcArg(fim)});
}

ServerResult RdmCFRConnection::GetSequencial(const QDate &inicio, const QString &filial,
                                             QString &clientes, const QString &apuracao,
                                             const QString &cliente, QString &quinzena)
{
    const auto r = m_net.call(u"GetSequencial"_s, {rpcArg(inicio), rpcArg(filial), rpcArg(clientes),
                                                   rpcArg(apuracao), rpcArg(cliente), rpcArg(quinzena)});
    takeText(r, 2, clientes);
    takeText(r, 5, quinzena);
    return r;
}

ServerResult RdmCFRConnection::DelCRFSintDados(const QString &filial, const QString &apuracao)
{
    return m_net.call(u"DelCRFSintDados"_s, {rpcArg(filial), rpcArg(apuracao)});
}

ServerResult RdmCFRConnection::ProDelTableRelApur(const QString &filial, const QString &apuracao)
{
    return m_net.call(u"ProDelTableRelApur"_s, {rpcArg(filial), rpcArg(apuracao)});
}

ServerResult RdmCFRConnection::clientesComDados(const QString &filial, QString &apuracao,
                                                const QDate &inicio, const QDate &fim,
                                                QString &clientes)
{
    const auto r = m_net.call(u"clientesComDados"_s, {rpcArg(filial), rpcArg(apuracao), rpcArg(inicio),
                                                      rpcArg(fim), rpcArg(clientes)});
    takeText(r, 1, apuracao);
    takeText(r, 4, clientes);
    return r;
}

ServerResult RdmCFRConnection::EmailFilial(QString &filial)
{
    const auto r = m_net.call(u"EmailFilial"_s, {rpcArg(filial)});
    takeText(r, 0, filial);
    return r;
}

} // namespace kpr::cfr
