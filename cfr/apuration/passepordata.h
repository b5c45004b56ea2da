#pragma once
// The by-date pass: turns the server's dated quantities of each client, ten-day window and
// service into rows of qryCFRSintData (up to eleven dated columns, the row's price and
// totals), loads qryTotal, and hands the whole statement to the server (SetCRFSintDados).
// Server failures end the pass through CheckResultServ (EAbort); rows built so far stay.

#include "cfr/apuration/apuracaoentrada.h"
#include "framework/core/serverresult.h"

#include <QDate>
#include <QJsonValue>
#include <QList>
#include <QStringList>

#include <array>

namespace kpr {
class TClientDataSet;
class TField;
} // namespace kpr

namespace kpr::cfr {

class RdmCFR;
struct ChamadaCFR;

struct TabelasPorData
{
    TClientDataSet &qryCFRSintData;
    TClientDataSet &qryClieSelect;
    TClientDataSet &qryServSelect;
    TClientDataSet &qryQtdeEfetData;
    TClientDataSet &qryTotal;
};

class PassePorData
{
public:
    PassePorData(RdmCFR &rdm, const TabelasPorData &tabelas) : m_rdm(rdm), m_t(tabelas) {}

    void Executa(const ApuracaoEntrada &e);

private:
    // The fields the record step writes, looked up once per pass.
    struct Campos
    {
        TField *idGrupo, *cdFilial, *nmFilial, *idTpiJurClie, *nrInsJurClie, *nmRazSocClie;
        TField *cdServFili, *nmServico, *nrApuracGd, *cdClienteApGd;
        std::array<TField *, 6> endereco;     // DSENDECLIE .. NRINSESTCLIE of the statement
        std::array<TField *, 6> enderecoClie; // the same names in qryClieSelect
        std::array<TField *, 11> qtServ, dtServ;
        TField *dtInicial, *dtFinal, *totalServ, *vrPreco, *totalQuant;
        // qryQtdeEfetData
        TField *rCdServ, *rDtApurac, *rNrEfetivos, *rIdTpiJur, *rNrInsJur, *rNmRazSoc, *rNmServico, *rVrPreco;
    };
    void ligaCampos();
    QList<ChamadaCFR> abertura(const ApuracaoEntrada &e, const QString &cliente) const;
    void conversa(const ApuracaoEntrada &e, const QList<ChamadaCFR> &depois, const QString &cliente,
                  qsizetype quantidades);
    void tomaQuantidades(const ApuracaoEntrada &e, const QString &cliente, const ServerValue &pacote);
    void passoRegistro(const ApuracaoEntrada &e, const QString &cliente, int janela, bool &novaLinha, int &coluna);

    RdmCFR &m_rdm;
    TabelasPorData m_t;
    Campos m_c{};
    // The window being asked for: its number and the pass's variables of its dates.
    struct Janela
    {
        int numero = 0;
        QDate *inicio = nullptr;
        QDate *fim = nullptr;
    };
    Janela m_janela;
    QStringList m_servicos; // the services the last GetServSelect answered
};

} // namespace kpr::cfr
