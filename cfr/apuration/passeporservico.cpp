#include "cfr/apuration/passeporservico.h"

#include "framework/core/serverresult.h"
#include "framework/core/strings.h"
#include "framework/data/clientdataset.h"
#include "framework/net/rpcargs.h"
#include "host/rdmcfr.h"

#include <QVariantList>

#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {

constexpr int ColunasPorGrupo = 6;

} // namespace

void PassePorServico::ligaCampos()
{
    const TClientDataSet &s = m_t.qryCFRSintServ;
    m_c.idGrupo = s.FieldByName(u"IDGRUPO"_s);
    m_c.cdFilial = s.FieldByName(u"CDFILIAL"_s);
    m_c.nmFilial = s.FieldByName(u"NMFILIAL"_s);
    m_c.idTpiJurClie = s.FieldByName(u"IDTPIJURCLIE"_s);
    m_c.nrInsJurClie = s.FieldByName(u"NRINSJURCLIE"_s);
    m_c.nmRazSocClie = s.FieldByName(u"NMRAZSOCCLIE"_s);
    m_c.nrApuracGd = s.FieldByName(u"NRAPURACGD"_s);
    m_c.cdCliente = s.FieldByName(u"CDCLIENTE"_s);
    m_c.dtApuracFat = s.FieldByName(u"DTAPURACFAT"_s);
    m_c.dtInicial = s.FieldByName(u"DTINICIAL"_s);
    m_c.dtFinal = s.FieldByName(u"DTFINAL"_s);
    for (int j = 1; j <= ColunasPorGrupo; ++j) {
        const QString sufixo = Ajusta(QString::number(j), 2);
        m_c.colunas[size_t(j - 1)] =
            Coluna{s.FieldByName(u"CDSERVICO"_s + sufixo), s.FieldByName(u"NMSERVICO"_s + sufixo),
                   s.FieldByName(u"QTSERVICO"_s + sufixo), s.FieldByName(u"VRSERVICO"_s + sufixo)};
    }
}

void PassePorServico::ligaCamposRegistro()
{
    const TClientDataSet &q = m_t.qryQtdeEfetServ;
    m_c.rCdServ = q.FieldByName(u"CDSERVFILIAPGD"_s);
    m_c.rDtApurac = q.FieldByName(u"DTAPURACFAT"_s);
    m_c.rNrEfetivos = q.FieldByName(u"NREFETIVOSAPGD"_s);
    m_c.rVrPreco = q.FieldByName(u"VRPRECUNITAPGD"_s);
    m_c.rNmServico = q.FieldByName(u"NMSERVICO"_s);
    m_c.rIdTpiJur = q.FieldByName(u"IDTPIJURCLIE"_s);
    m_c.rNrInsJur = q.FieldByName(u"NRINSJURCLIE"_s);
    m_c.rNmRazSoc = q.FieldByName(u"NMRAZSOCCLIE"_s);
}

// The four values of the record in column j of the current row; empty numbers as 0.
void PassePorServico::preencheColuna(int coluna)
{
    const Coluna &c = m_c.colunas[size_t(coluna - 1)];
    c.cdServico->setAsString(m_c.rCdServ->AsString());
    c.nmServico->setAsString(cutToWidth(m_c.rNmServico->AsString(), 30));
    c.qtServico->setAsFloat(m_c.rNrEfetivos->AsFloat());
    c.vrServico->setAsFloat(m_c.rVrPreco->AsFloat());
}

void PassePorServico::Executa(const ApuracaoEntrada &e)
{
    TClientDataSet &sint = m_t.qryCFRSintServ;
    TClientDataSet &clie = m_t.qryClieSelect;
    TClientDataSet &qtde = m_t.qryQtdeEfetServ;

    // The run's rows are added to whatever the server's statement packet holds.
    sint.setData(CheckResultServ(m_rdm.GetCFRSintServ(), true, 0));
    // Each record looks its row up by key: an index of its own keeps that a log-time search
    // while Agrupamento stays the order the rows are kept and shown in.
    const QString indice = QString::fromUtf16(IndiceChaveSintServ);
    const QString chave = QString::fromUtf16(CamposChaveSintServ);
    if (!sint.IndexNames().contains(indice, Qt::CaseInsensitive))
        sint.AddIndex(indice, chave, ixCaseInsensitive);
    ligaCampos();

    QString clientes = e.clientes;
    clie.setData(CheckResultServ(m_rdm.GetClieSelect(e.cdFilial, e.apuracao, clientes), true, 0));
    TField *cdCliente = clie.FieldByName(u"CDCLIENTEAPGD"_s);

    QVariantList valores{e.cdFilial, QString(), e.apuracao, QVariant(), QString()};
    QStringList codigos;
    QList<ChamadaCFR> chamadas;
    for (clie.First(); !clie.Eof(); clie.Next()) {
        codigos << cdCliente->AsString();
        chamadas.append(
            {contract::Method::GetQtdeEfetServ,
             {rpcArg(e.cdFilial), rpcArg(e.apuracao), rpcArg(codigos.last()), rpcArg(e.dtInicial), rpcArg(e.dtFinal)}});
    }
    // No call waits for another's answer: they go out together, and each client's answer
    // is taken in as it arrives while the server works on the next.
    // A failure ends the sequence and is shown once the calls already sent are done.
    std::optional<ServerResult> falha;
    m_rdm.EmSequencia(chamadas, [&](qsizetype i, const ServerResult &resposta) {
        if (!resposta.ok) {
            falha = resposta;
            return false;
        }
        const QString &cliente = codigos.at(i);
        QString grupo = u"001"_s;
        int coluna = 1;
        int mudancas = 1;

        qtde.setData(CheckResultServ(resposta, true, 0));
        ligaCamposRegistro();
        qtde.First();
        QString servico = qtde.Eof() ? QString() : m_c.rCdServ->AsString();
        valores[1] = cliente;
        valores[4] = grupo;

        while (!qtde.Eof()) {
            // A service other than the last one takes the next position, also a code that
            // came before: positions follow the order of arrival.
            const QString codigo = m_c.rCdServ->AsString();
            if (codigo != servico) {
                servico = codigo;
                grupo = Ajusta(QString::number(mudancas / ColunasPorGrupo + 1), 3);
                ++mudancas;
                if (++coluna > ColunasPorGrupo)
                    coluna = 1;
                valores[4] = grupo;
            }

            // The day as its day number: the search needs no calendar date built per record.
            valores[3] = m_c.rDtApurac->IsNull() ? QVariant() : QVariant(m_c.rDtApurac->AsFloat());
            if (sint.Locate(chave, valores, loCaseInsensitive)) {
                sint.Edit();
                preencheColuna(coluna);
            } else {
                // Append: the rows keep the order of arrival among equal keys of Agrupamento.
                sint.Append();
                m_c.cdFilial->setAsString(e.cdFilial);
                m_c.nmFilial->setAsString(e.nmFilial);
                m_c.idGrupo->setAsString(grupo);
                m_c.cdCliente->setAsString(cliente);
                m_c.nrApuracGd->setAsString(e.apuracao);
                m_c.idTpiJurClie->setAsString(m_c.rIdTpiJur->AsString());
                m_c.nrInsJurClie->setAsString(m_c.rNrInsJur->AsString());
                m_c.nmRazSocClie->setAsString(m_c.rNmRazSoc->AsString());
                preencheColuna(coluna);
                m_c.dtApuracFat->Assign(*m_c.rDtApurac);
                m_c.dtInicial->setAsDate(e.dtInicial);
                m_c.dtFinal->setAsDate(e.dtFinal);
            }
            sint.Post();
            qtde.Next();
        }
        return true;
    });
    if (falha)
        CheckResultServ(*falha, true, 0);

    sint.First();
}

} // namespace kpr::cfr
