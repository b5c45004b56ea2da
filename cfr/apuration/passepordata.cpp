#include "cfr/apuration/passepordata.h"

#include "framework/core/serverresult.h"
#include "framework/core/strings.h"
#include "framework/data/clientdataset.h"
#include "host/rdmcfr.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {

constexpr int ColunasPorLinha = 11;
constexpr int Janelas = 4;

const std::array<QString, 6> &camposEndereco()
{
    static const std::array<QString, 6> nomes{u"DSENDECLIE"_s, u"NMBAIRCLIE"_s, u"NMMUNICLIE"_s,
                                              u"NRCEPCLIE"_s,  u"NRTELECLIE"_s, u"NRINSESTCLIE"_s};
    return nomes;
}

} // namespace

void PassePorData::ligaCampos()
{
    const TClientDataSet &s = m_t.qryCFRSintData;
    m_c.idGrupo = s.FieldByName(u"IDGRUPO"_s);
    m_c.cdFilial = s.FieldByName(u"CDFILIAL"_s);
    m_c.nmFilial = s.FieldByName(u"NMFILIAL"_s);
    m_c.idTpiJurClie = s.FieldByName(u"IDTPIJURCLIE"_s);
    m_c.nrInsJurClie = s.FieldByName(u"NRINSJURCLIE"_s);
    m_c.nmRazSocClie = s.FieldByName(u"NMRAZSOCCLIE"_s);
    m_c.cdServFili = s.FieldByName(u"CDSERVFILI"_s);
    m_c.nmServico = s.FieldByName(u"NMSERVICO"_s);
    m_c.nrApuracGd = s.FieldByName(u"NRAPURACGD"_s);
    m_c.cdClienteApGd = s.FieldByName(u"CDCLIENTEAPGD"_s);
    for (size_t i = 0; i < camposEndereco().size(); ++i) {
        m_c.endereco[i] = s.FieldByName(camposEndereco()[i]);
        m_c.enderecoClie[i] = m_t.qryClieSelect.FieldByName(camposEndereco()[i]);
    }
    for (int n = 1; n <= ColunasPorLinha; ++n) {
        const QString sufixo = Ajusta(QString::number(n), 2);
        m_c.qtServ[size_t(n - 1)] = s.FieldByName(u"QTSERV"_s + sufixo);
        m_c.dtServ[size_t(n - 1)] = s.FieldByName(u"DTSERV"_s + sufixo);
    }
    m_c.dtInicial = s.FieldByName(u"DTINICIAL"_s);
    m_c.dtFinal = s.FieldByName(u"DTFINAL"_s);
    m_c.totalServ = s.FieldByName(u"TOTALSERV"_s);
    m_c.vrPreco = s.FieldByName(u"VRPRECO"_s);
    m_c.totalQuant = s.FieldByName(u"TOTALQUANT"_s);
}

void PassePorData::Executa(const ApuracaoEntrada &e)
{
    TClientDataSet &sint = m_t.qryCFRSintData;
    TClientDataSet &clie = m_t.qryClieSelect;
    TClientDataSet &serv = m_t.qryServSelect;
    TClientDataSet &qtde = m_t.qryQtdeEfetData;

    // The run's rows are added to whatever the server's statement packet holds.
    sint.setData(CheckResultServ(m_rdm.GetCFRSintData(), true, 0));

    QString clientes = e.clientes;
    clie.setData(CheckResultServ(m_rdm.GetClieSelect(e.cdFilial, e.apuracao, clientes), true, 0));
    ligaCampos();
    TField *cdCliente = clie.FieldByName(u"CDCLIENTEAPGD"_s);

    clie.First();
    while (!clie.Eof()) {
        const QString cliente = cdCliente->AsString();

        // Window 1 starts on the start date and covers ten days, cut at the end date.
        QDate inicio = e.dtInicial;
        QDate fim = e.dtInicial.addDays(9);
        bool ultima = false;
        if (e.dtFinal <= fim) {
            fim = e.dtFinal;
            ultima = true;
        }

        QString totCliente = e.todosClientes ? u"T"_s : cliente;
        m_t.qryTotal.setData(
            CheckResultServ(m_rdm.GetTotalizacao(e.cdFilial, e.apuracao, e.dtInicial, e.dtFinal, totCliente), true, 0));

        for (int janela = 1; janela <= Janelas; ++janela) {
            // The next window follows the one just asked for (the variables the server got
            // by reference); window 4 always runs to the end date.
            if (janela > 1) {
                inicio = fim.addDays(1);
                fim = inicio.addDays(9);
                if (janela == Janelas || e.dtFinal <= fim) {
                    fim = e.dtFinal;
                    ultima = true;
                }
            }

            serv.setData(CheckResultServ(m_rdm.GetServSelect(e.cdFilial, e.apuracao, cliente), true, 0));
            QStringList servicos;
            servicos.reserve(serv.RecordCount());
            TField *cdServ = serv.FieldByName(u"CDSERVFILIAPGD"_s);
            for (serv.First(); !serv.Eof(); serv.Next())
                servicos << cdServ->AsString();
            // Each answer is taken in as it arrives, while the server works on the next one.
            m_rdm.GetQtdeEfetDataServicos(e.cdFilial, e.apuracao, cliente, servicos, inicio, fim,
                                          [&](const ServerResult &resposta) {
                                              qtde.setData(CheckResultServ(resposta, true, 0));
                                              m_c.rCdServ = qtde.FieldByName(u"CDSERVFILIAPGD"_s);
                                              m_c.rDtApurac = qtde.FieldByName(u"DTAPURACFATGD"_s);
                                              m_c.rNrEfetivos = qtde.FieldByName(u"NREFETIVOSAPGD"_s);
                                              m_c.rIdTpiJur = qtde.FieldByName(u"IDTPIJURCLIE"_s);
                                              m_c.rNrInsJur = qtde.FieldByName(u"NRINSJURCLIE"_s);
                                              m_c.rNmRazSoc = qtde.FieldByName(u"NMRAZSOCCLIE"_s);
                                              m_c.rNmServico = qtde.FieldByName(u"NMSERVICO"_s);
                                              m_c.rVrPreco = qtde.FieldByName(u"VRPRECUNITAPGD"_s);

                                              bool novaLinha = true;
                                              int coluna = 1;
                                              for (qtde.First(); !qtde.Eof(); qtde.Next())
                                                  passoRegistro(e, cliente, janela, novaLinha, coluna);
                                          });
            if (ultima)
                break;
        }
        clie.Next();
    }

    sint.First();
    CheckResultServ(m_rdm.SetCRFSintDados(sint.dataPacket()), true, 0);
}

// One record of qryQtdeEfetData into the statement: a new row for the first record of a
// (client, window, service) and after every eleventh, else the next column of the current
// row. The totals are recomputed in the same post, so every row is complete between records.
void PassePorData::passoRegistro(const ApuracaoEntrada &e, const QString &cliente, int janela, bool &novaLinha,
                                 int &coluna)
{
    TClientDataSet &sint = m_t.qryCFRSintData;
    if (novaLinha) {
        // Append, not Insert: rows with equal keys in Agrupamento (the row of records 12 and
        // on of the same service) then stay in the order they were built.
        sint.Append();
        m_c.idGrupo->setAsString(QString::number(janela));
        m_c.cdFilial->setAsString(e.cdFilial);
        m_c.nmFilial->setAsString(e.nmFilial);
        m_c.cdClienteApGd->setAsString(cliente);
        for (size_t i = 0; i < m_c.endereco.size(); ++i)
            m_c.endereco[i]->setAsString(m_c.enderecoClie[i]->AsString());
        m_c.nrApuracGd->setAsString(e.apuracao);
        m_c.idTpiJurClie->setAsString(m_c.rIdTpiJur->AsString());
        m_c.nrInsJurClie->setAsString(m_c.rNrInsJur->AsString());
        m_c.nmRazSocClie->setAsString(m_c.rNmRazSoc->AsString());
        m_c.cdServFili->setAsString(m_c.rCdServ->AsString());
        m_c.nmServico->setAsString(cutToWidth(m_c.rNmServico->AsString(), 30));
        m_c.dtServ[0]->Assign(*m_c.rDtApurac);
        m_c.vrPreco->Assign(*m_c.rVrPreco);
        m_c.qtServ[0]->setAsFloat(m_c.rNrEfetivos->AsFloat()); // an empty quantity reads as 0
        m_c.dtInicial->setAsDate(e.dtInicial);
        m_c.dtFinal->setAsDate(e.dtFinal);
        novaLinha = false;
    } else {
        sint.Edit();
        // The row's price is the first non-zero price among its records.
        if (m_c.vrPreco->IsNull() || m_c.vrPreco->AsFloat() == 0)
            m_c.vrPreco->Assign(*m_c.rVrPreco);
        m_c.dtServ[size_t(coluna - 1)]->Assign(*m_c.rDtApurac);
        m_c.qtServ[size_t(coluna - 1)]->setAsFloat(m_c.rNrEfetivos->AsFloat());
    }

    ++coluna;
    if (coluna == ColunasPorLinha + 1) {
        novaLinha = true;
        coluna = 1;
    }

    double quantidade = 0;
    for (TField *qt : m_c.qtServ)
        quantidade += qt->AsFloat();
    m_c.totalQuant->setAsFloat(quantidade);
    m_c.totalServ->setAsFloat(m_c.vrPreco->AsFloat() * quantidade);
    sint.Post();
}

} // namespace kpr::cfr
