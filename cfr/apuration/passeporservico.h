#pragma once
// The by-service pass: turns the server's quantities of each client per service and day
// into rows of qryCFRSintServ, one per client, group of six services and day, the k-th
// service to arrive going to group (k - 1) / 6 + 1 and column (k - 1) % 6 + 1. The statement
// stays on the workstation. Server failures end the pass through CheckResultServ (EAbort);
// rows built so far stay.

#include "cfr/apuration/apuracaoentrada.h"

#include <array>

namespace kpr {
class TClientDataSet;
class TField;
} // namespace kpr

namespace kpr::cfr {

class RdmCFR;

struct TabelasPorServico
{
    TClientDataSet &qryCFRSintServ;
    TClientDataSet &qryClieSelect;
    TClientDataSet &qryQtdeEfetServ;
};

// The name of the index that serves the row search of the pass: the row key
// CDFILIAL;CDCLIENTE;NRAPURACGD;DTAPURACFAT;IDGRUPO, without regard to letter case. The
// pass adds it to qryCFRSintServ when the table lacks it; "Agrupamento" stays the order.
inline constexpr char16_t IndiceChaveSintServ[] = u"ChaveLinha";
inline constexpr char16_t CamposChaveSintServ[] = u"CDFILIAL;CDCLIENTE;NRAPURACGD;DTAPURACFAT;IDGRUPO";

class PassePorServico
{
public:
    PassePorServico(RdmCFR &rdm, const TabelasPorServico &tabelas) : m_rdm(rdm), m_t(tabelas) {}

    void Executa(const ApuracaoEntrada &e);

private:
    struct Coluna
    {
        TField *cdServico, *nmServico, *qtServico, *vrServico;
    };
    struct Campos
    {
        TField *idGrupo, *cdFilial, *nmFilial, *idTpiJurClie, *nrInsJurClie, *nmRazSocClie;
        TField *nrApuracGd, *cdCliente, *dtApuracFat, *dtInicial, *dtFinal;
        std::array<Coluna, 6> colunas;
        // qryQtdeEfetServ
        TField *rCdServ, *rDtApurac, *rNrEfetivos, *rVrPreco, *rNmServico, *rIdTpiJur, *rNrInsJur, *rNmRazSoc;
    };
    void ligaCampos();
    void ligaCamposRegistro();
    void preencheColuna(int coluna);

    RdmCFR &m_rdm;
    TabelasPorServico m_t;
    Campos m_c{};
};

} // namespace kpr::cfr
