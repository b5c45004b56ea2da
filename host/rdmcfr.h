#pragma once
// The remote methods of Kpr04700.rdmCFR as typed calls over the screen's connection.
// Arguments go in the order the server expects; by-reference arguments (QString&, QDate&)
// get back what the server left in them. Every call answers the raw ServerResult: the
// callers pass it through CheckResultServ (or read it directly where that is the rule).

#include "framework/core/serverresult.h"

#include <QDate>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace kpr {
class TNetConnection;
}

namespace kpr::cfr {

inline constexpr char16_t ServerNameCFR[] = u"Kpr04700.rdmCFR";

// The calls the module makes, as an interface so a recording stand-in can take the
// server's place in tests of the call order.
class RdmCFR
{
public:
    virtual ~RdmCFR();

    virtual ServerResult GetClieFili(const QString &filial) = 0;
    virtual ServerResult ProPrxRelApurFat(const QString &filial) = 0;
    virtual ServerResult ProRelGesDireta(const QString &filial, const QDate &inicio, const QDate &fim,
                                         const QString &apuracao, const QString &vazio) = 0;
    virtual ServerResult GetCFRSintData() = 0;
    virtual ServerResult GetClieSelect(const QString &filial, const QString &apuracao, QString &clientes) = 0;
    virtual ServerResult GetTotalizacao(const QString &filial, const QString &apuracao, const QDate &inicio,
                                        const QDate &fim, QString &cliente) = 0;
    virtual ServerResult GetServSelect(const QString &filial, const QString &apuracao, const QString &cliente) = 0;
    virtual ServerResult GetQtdeEfetData(const QString &filial, const QString &apuracao, const QString &cliente,
                                         const QString &servico, QDate &inicioJanela, QDate &fimJanela) = 0;
    // GetQtdeEfetData for each of servicos in turn, each answer handed to resposta as it
    // arrives (resposta may throw: no further answer is handed over). Each call gets the
    // window dates the previous one left. This default makes the calls one at a time.
    virtual void GetQtdeEfetDataServicos(const QString &filial, const QString &apuracao, const QString &cliente,
                                         const QStringList &servicos, QDate &inicioJanela, QDate &fimJanela,
                                         const std::function<void(const ServerResult &)> &resposta);
    virtual ServerResult SetCRFSintDados(const QJsonObject &pacote) = 0;
    virtual ServerResult GetCFRSintServ() = 0;
    virtual ServerResult GetQtdeEfetServ(const QString &filial, const QString &apuracao, const QString &cliente,
                                         const QDate &inicio, const QDate &fim) = 0;
    // GetQtdeEfetServ for each of clientes in turn, each answer handed to resposta as it
    // arrives (resposta may throw: no further answer is handed over). This default makes
    // the calls one at a time.
    virtual void GetQtdeEfetServClientes(const QString &filial, const QString &apuracao, const QStringList &clientes,
                                         const QDate &inicio, const QDate &fim,
                                         const std::function<void(const ServerResult &)> &resposta);
    virtual ServerResult GetSequencial(const QDate &inicio, const QString &filial, QString &clientes,
                                       const QString &apuracao, const QString &cliente, QString &quinzena) = 0;
    virtual ServerResult DelCRFSintDados(const QString &filial, const QString &apuracao) = 0;
    virtual ServerResult ProDelTableRelApur(const QString &filial, const QString &apuracao) = 0;
    virtual ServerResult clientesComDados(const QString &filial, QString &apuracao, const QDate &inicio,
                                          const QDate &fim, QString &clientes) = 0;
    virtual ServerResult EmailFilial(QString &filial) = 0;
};

// The calls over a TNetConnection whose ServerName is Kpr04700.rdmCFR.
class RdmCFRConnection : public RdmCFR
{
public:
    explicit RdmCFRConnection(TNetConnection &net) : m_net(net) {}

    ServerResult GetClieFili(const QString &filial) override;
    ServerResult ProPrxRelApurFat(const QString &filial) override;
    ServerResult ProRelGesDireta(const QString &filial, const QDate &inicio, const QDate &fim, const QString &apuracao,
                                 const QString &vazio) override;
    ServerResult GetCFRSintData() override;
    ServerResult GetClieSelect(const QString &filial, const QString &apuracao, QString &clientes) override;
    ServerResult GetTotalizacao(const QString &filial, const QString &apuracao, const QDate &inicio, const QDate &fim,
                                QString &cliente) override;
    ServerResult GetServSelect(const QString &filial, const QString &apuracao, const QString &cliente) override;
    ServerResult GetQtdeEfetData(const QString &filial, const QString &apuracao, const QString &cliente,
                                 const QString &servico, QDate &inicioJanela, QDate &fimJanela) override;
    // The calls sent together (see the .cpp).
    void GetQtdeEfetDataServicos(const QString &filial, const QString &apuracao, const QString &cliente,
                                 const QStringList &servicos, QDate &inicioJanela, QDate &fimJanela,
                                 const std::function<void(const ServerResult &)> &resposta) override;
    ServerResult SetCRFSintDados(const QJsonObject &pacote) override;
    ServerResult GetCFRSintServ() override;
    ServerResult GetQtdeEfetServ(const QString &filial, const QString &apuracao, const QString &cliente,
                                 const QDate &inicio, const QDate &fim) override;
    // The calls sent together.
    void GetQtdeEfetServClientes(const QString &filial, const QString &apuracao, const QStringList &clientes,
                                 const QDate &inicio, const QDate &fim,
                                 const std::function<void(const ServerResult &)> &resposta) override;
    ServerResult GetSequencial(const QDate &inicio, const QString &filial, QString &clientes, const QString &apuracao,
                               const QString &cliente, QString &quinzena) override;
    ServerResult DelCRFSintDados(const QString &filial, const QString &apuracao) override;
    ServerResult ProDelTableRelApur(const QString &filial, const QString &apuracao) override;
    ServerResult clientesComDados(const QString &filial, QString &apuracao, const QDate &inicio, const QDate &fim,
                                  QString &clientes) override;
    ServerResult EmailFilial(QString &filial) override;

private:
    TNetConnection &m_net;
};

} // namespace kpr::cfr
