#include "cfr/apuration/passepordata.h"

#include "framework/core/serverresult.h"
#include "framework/core/strings.h"
#include "framework/data/clientdataset.h"
#include "framework/net/rpcargs.h"
#include "host/chamada.h"
#include "host/rdmcfr.h"

#include <optional>

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

    // The run's rows are added to whatever the server's statement packet holds.
    sint.setData(CheckResultServ(m_rdm.GetCFRSintData(), true, 0));

    QString clientes = e.clientes;
    clie.setData(CheckResultServ(m_rdm.GetClieSelect(e.cdFilial, e.apuracao, clientes), true, 0));
    ligaCampos();
    TField *cdCliente = clie.FieldByName(u"CDCLIENTEAPGD"_s);
    QStringList codigos;
    for (clie.First(); !clie.Eof(); clie.Next())
        codigos << cdCliente->AsString();

    // Per client: GetTotalizacao, then for each window GetServSelect and GetQtdeEfetData
    // per service. Only a window's quantities wait for an answer (its GetServSelect), so
    // each window's quantities go out together with the call after them: the next
    // window's GetServSelect, or the next client's GetTotalizacao and GetServSelect.
    clie.First();
    if (!codigos.isEmpty())
        conversa(e, abertura(e, codigos.first()), QString(), 0);
    for (qsizetype c = 0; c < codigos.size(); ++c, clie.Next()) {
        const QString &cliente = codigos.at(c);

        // Window 1 starts on the start date and covers ten days, cut at the end date.
        QDate inicio = e.dtInicial;
        QDate fim = e.dtInicial.addDays(9);
        bool ultima = false;
        if (e.dtFinal <= fim) {
            fim = e.dtFinal;
            ultima = true;
        }

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
            QList<ChamadaCFR> depois;
            if (!ultima)
                depois = abertura(e, cliente).mid(1);
            else if (c + 1 < codigos.size())
                depois = abertura(e, codigos.at(c + 1));
            m_janela = {janela, &inicio, &fim};
            conversa(e, depois, cliente, m_servicos.size());
            if (ultima)
                break;
        }
    }

    sint.First();
    CheckResultServ(m_rdm.SetCRFSintDados(sint.dataPacket()), true, 0);
}

// A client's GetTotalizacao and GetServSelect.
QList<ChamadaCFR> PassePorData::abertura(const ApuracaoEntrada &e, const QString &cliente) const
{
    using M = contract::Method;
    return {{M::GetTotalizacao,
             {rpcArg(e.cdFilial), rpcArg(e.apuracao), rpcArg(e.dtInicial), rpcArg(e.dtFinal),
              rpcArg(e.todosClientes ? u"T"_s : cliente)}},
            {M::GetServSelect, {rpcArg(e.cdFilial), rpcArg(e.apuracao), rpcArg(cliente)}}};
}

// The window's GetQtdeEfetData for its first `quantidades` services of m_servicos, then
// depois, sent together. Each quantity carries the window's dates as they stand; the
// server only reads them, so each call did get what the previous one left. Should an
// answer bring other dates back, the calls after it are dropped and made again with them.
void PassePorData::conversa(const ApuracaoEntrada &e, const QList<ChamadaCFR> &depois, const QString &cliente,
                            qsizetype quantidades)
{
    using M = contract::Method;
    const QStringList servicos = m_servicos.mid(0, quantidades);
    qsizetype feitas = 0;
    while (feitas < servicos.size() + depois.size()) {
        QList<ChamadaCFR> chamadas;
        for (qsizetype i = feitas; i < servicos.size(); ++i)
            chamadas.append({M::GetQtdeEfetData,
                             {rpcArg(e.cdFilial), rpcArg(e.apuracao), rpcArg(cliente), rpcArg(servicos.at(i)),
                              rpcArg(*m_janela.inicio), rpcArg(*m_janela.fim)}});
        chamadas += depois.mid(qMax<qsizetype>(0, feitas - servicos.size()));
        const qsizetype antes = feitas;
        // A failure ends the sequence and is shown once the calls already sent are done.
        std::optional<ServerResult> falha;
        m_rdm.EmSequencia(chamadas, [&](qsizetype i, const ServerResult &resposta) {
            if (!resposta.ok) {
                falha = resposta;
                return false;
            }
            ++feitas;
            const ChamadaCFR &c = chamadas.at(i);
            switch (c.metodo) {
            case M::GetTotalizacao: m_t.qryTotal.setData(CheckResultServ(resposta, true, 0)); return true;
            case M::GetServSelect: {
                TClientDataSet &serv = m_t.qryServSelect;
                serv.setData(CheckResultServ(resposta, true, 0));
                m_servicos.clear();
                TField *cdServ = serv.FieldByName(u"CDSERVFILIAPGD"_s);
                for (serv.First(); !serv.Eof(); serv.Next())
                    m_servicos << cdServ->AsString();
                return true;
            }
            default: break;
            }
            const QDate inicio = *m_janela.inicio;
            const QDate fim = *m_janela.fim;
            devolve(resposta, M::GetQtdeEfetData, {m_janela.inicio, m_janela.fim});
            tomaQuantidades(e, cliente, CheckResultServ(resposta, true, 0));
            return *m_janela.inicio == inicio && *m_janela.fim == fim;
        });
        if (falha)
            CheckResultServ(*falha, true, 0);
        // Every way a sequence ends hands over at least one answer (a failure ends the pass
        // through CheckResultServ); one that handed over none would never end here.
        if (feitas == antes)
            break;
    }
}

// One answer of GetQtdeEfetData into the statement, record by record.
void PassePorData::tomaQuantidades(const ApuracaoEntrada &e, const QString &cliente, const ServerValue &pacote)
{
    TClientDataSet &qtde = m_t.qryQtdeEfetData;
    qtde.setData(pacote);
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
        passoRegistro(e, cliente, m_janela.numero, novaLinha, coluna);
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
