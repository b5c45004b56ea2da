#pragma once
// The remote methods of Kpr04700.rdmCFR as typed calls over the screen's connection.
// Arguments go in the order the server expects; by-reference arguments (QString&, QDate&)
// get back what the server left in them. Every call answers the raw ServerResult: the
// callers pass it through CheckResultServ (or read it directly where that is the rule).

#include "contract/methods.h"
#include "framework/core/serverresult.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>

namespace kpr {
class TNetConnection;
}

namespace kpr::cfr {

inline constexpr char16_t ServerNameCFR[] = u"Kpr04700.rdmCFR";

// One call of a sequence: a method of the contract with its arguments as the typed call
// sends them (rpcArg of each).
struct ChamadaCFR
{
    contract::Method metodo;
    QJsonArray args;
};

// Takes the answer to call i of a sequence; false ends the sequence after it.
using RespostaSequencia = std::function<bool(qsizetype i, const ServerResult &resposta)>;

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
    virtual ServerResult SetCRFSintDados(const QJsonObject &pacote) = 0;
    virtual ServerResult GetCFRSintServ() = 0;
    virtual ServerResult GetQtdeEfetServ(const QString &filial, const QString &apuracao, const QString &cliente,
                                         const QDate &inicio, const QDate &fim) = 0;
    virtual ServerResult GetSequencial(const QDate &inicio, const QString &filial, QString &clientes,
                                       const QString &apuracao, const QString &cliente, QString &quinzena) = 0;
    virtual ServerResult DelCRFSintDados(const QString &filial, const QString &apuracao) = 0;
    virtual ServerResult ProDelTableRelApur(const QString &filial, const QString &apuracao) = 0;
    virtual ServerResult clientesComDados(const QString &filial, QString &apuracao, const QDate &inicio,
                                          const QDate &fim, QString &clientes) = 0;
    virtual ServerResult EmailFilial(QString &filial) = 0;

    // Calls made in the order given, none of whose arguments waits for an answer before
    // it: GetTotalizacao, GetServSelect, GetQtdeEfetData and GetQtdeEfetServ. Each answer
    // goes to resposta as it arrives, its refs holding every argument as the server left
    // it. When resposta ends the sequence (false, or a throw), calls already sent are still
    // made by the server and their answers dropped. This default makes each call through
    // its typed method, only after the previous answer asked for more.
    virtual void EmSequencia(const QList<ChamadaCFR> &chamadas, const RespostaSequencia &resposta);

protected:
    // One call of a sequence through its typed method.
    ServerResult chamaTipada(const ChamadaCFR &chamada);
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
    ServerResult SetCRFSintDados(const QJsonObject &pacote) override;
    ServerResult GetCFRSintServ() override;
    ServerResult GetQtdeEfetServ(const QString &filial, const QString &apuracao, const QString &cliente,
                                 const QDate &inicio, const QDate &fim) override;
    ServerResult GetSequencial(const QDate &inicio, const QString &filial, QString &clientes, const QString &apuracao,
                               const QString &cliente, QString &quinzena) override;
    ServerResult DelCRFSintDados(const QString &filial, const QString &apuracao) override;
    ServerResult ProDelTableRelApur(const QString &filial, const QString &apuracao) override;
    ServerResult clientesComDados(const QString &filial, QString &apuracao, const QDate &inicio, const QDate &fim,
                                  QString &clientes) override;
    ServerResult EmailFilial(QString &filial) override;
    // Sent together on the connection (HTTP/1.1 pipelining).
    void EmSequencia(const QList<ChamadaCFR> &chamadas, const RespostaSequencia &resposta) override;

private:
    TNetConnection &m_net;
};

} // namespace kpr::cfr
