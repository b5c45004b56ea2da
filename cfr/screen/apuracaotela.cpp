// The screen's side of the apuration run: TfrmCFR's working tables and its
// GeraTableApurFat, which hands the screen's selection, cache and tables to the run.
#include "cfr/apuration/consultasapuracao.h"
#include "cfr/apuration/geratableapurfat.h"
#include "cfr/screen/cli_kpr04700.h"
#include "cfr/screen/frmcfr.h"
#include "framework/core/messages.h"
#include "framework/data/clientdataset.h"
#include "framework/data/field.h"
#include "framework/db/adoibquery.h"
#include "framework/widgets/dateeditplus.h"
#include "framework/widgets/maskedit.h"
#include "framework/widgets/showavi.h"

#include <QComboBox>
#include <QRadioButton>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {

// Reads the screen at the moment the run asks, so every input is the one on screen when
// the run reaches its step.
class EstadoTelaCFR final : public EstadoApuracao
{
public:
    explicit EstadoTelaCFR(TfrmCFR &tela) : m_tela(tela) {}

    RdmCFR &rdm() override { return m_tela.rdm(); }
    QString CdFilial() const override { return m_tela.medCdFilial->text(); }
    QString NmFilial() const override
    {
        return m_tela.qryFilial->Active() ? m_tela.qryFilial->FieldByName(u"NMFILIAL"_s)->AsString() : QString();
    }
    QDate DtInicial() const override { return m_tela.depDtInicial->GetDate(); }
    QDate DtFinal() const override { return m_tela.depDtFinal->GetDate(); }
    bool TodosClientes() const override { return m_tela.rdgTodos->isChecked(); }
    QString ClientesLista() const override { return cfr::ClientesLista; }
    int PosicaoLayout() const override { return m_tela.cbbReportNames->currentIndex(); }
    QStringList &lstFiliais() override { return *cfr::lstFiliais; }
    QStringList &lstApuracoes() override { return *cfr::lstApuracoes; }
    QString Msg(const QString &key) const override { return m_tela.msgPadrao->Msg(key); }
    void ActiveShowAvi(const QString &text) override { kpr::ActiveShowAvi(&m_tela, 1, text); }
    void DeactiveShowAvi() override { kpr::DeactiveShowAvi(&m_tela); }
    TClientDataSet &qryCFRSintData() override { return *m_tela.qryCFRSintData; }
    TClientDataSet &qryCFRSintServ() override { return *m_tela.qryCFRSintServ; }
    TClientDataSet &qryClieSelect() override { return *m_tela.qryClieSelect; }
    TClientDataSet &qryServSelect() override { return *m_tela.qryServSelect; }
    TClientDataSet &qryQtdeEfetData() override { return *m_tela.qryQtdeEfetData; }
    TClientDataSet &qryTotal() override { return *m_tela.qryTotal; }
    TClientDataSet &qryQtdeEfetServ() override { return *m_tela.qryQtdeEfetServ; }

private:
    TfrmCFR &m_tela;
};

} // namespace

void TfrmCFR::criaConsultasApuracao()
{
    qryClieSelect = new TClientDataSet(u"qryClieSelect"_s, this);
    defineQryClieSelect(*qryClieSelect);
    qryServSelect = new TClientDataSet(u"qryServSelect"_s, this);
    defineQryServSelect(*qryServSelect);
    qryQtdeEfetData = new TClientDataSet(u"qryQtdeEfetData"_s, this);
    defineQryQtdeEfetData(*qryQtdeEfetData);
    qryTotal = new TClientDataSet(u"qryTotal"_s, this);
    defineQryTotal(*qryTotal);
    qryQtdeEfetServ = new TClientDataSet(u"qryQtdeEfetServ"_s, this);
    defineQryQtdeEfetServ(*qryQtdeEfetServ);
}

void TfrmCFR::GeraTableApurFat()
{
    EstadoTelaCFR estado(*this);
    cfr::GeraTableApurFat(estado);
}

} // namespace kpr::cfr
