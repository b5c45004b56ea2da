#pragma once
// A stand-in of the server's methods for the apuration tests: records every call with its
// arguments and answers it either through a function of the test or by passing it on to
// another RdmCFR (the real connection); an adjust hook may change an answer on its way
// back, e.g. to reorder the records of a packet.

#include "host/rdmcfr.h"

#include <QList>
#include <QStringList>
#include <QVariantList>

#include <functional>

namespace kpr::cfr::test {

struct Chamada
{
    QString metodo;
    QVariantList args; // texts as QString, dates as QDate, a packet as QJsonObject
    // "GetServSelect 0001 A1 K1", dates as dd/MM: what the call-order tests compare.
    QString texto() const;
};

class RdmGravador : public RdmCFR
{
public:
    using Resposta = std::function<ServerResult(const Chamada &chamada)>;
    using Ajuste = std::function<void(const Chamada &chamada, ServerResult &resultado)>;

    // Without an answer function every call succeeds with a null result.
    explicit RdmGravador(Resposta resposta = {}) : m_resposta(std::move(resposta)) {}
    explicit RdmGravador(RdmCFR &real) : m_real(&real) {}

    Ajuste ajuste;
    QList<Chamada> chamadas;
    // As a connection that sends a sequence's calls together: all of them are made (and
    // recorded) before the first answer is handed over.
    bool juntas = false;
    QStringList metodos() const;
    QStringList textos(const QString &metodo = {}) const;

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
    void EmSequencia(const QList<ChamadaCFR> &lista, const RespostaSequencia &resposta) override;

private:
    ServerResult trata(Chamada chamada, const std::function<ServerResult(RdmCFR &)> &real);

    Resposta m_resposta;
    RdmCFR *m_real = nullptr;
};

} // namespace kpr::cfr::test
