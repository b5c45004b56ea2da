// The report dialog's side of the CFR screen: the tables its layouts read and its events.
// A layout's query parameters come from the selection on screen; for the numbered
// statements the server first issues the CFR sequence. After a print or a preview the
// stored by-date statement of the run is no longer needed: it is removed from the server
// for the branch and the apuration number of the current row of qryCFRSintData (empty when
// that table holds no row, after a by-service run).
#include "cfr/apuration/geratableapurfat.h"
#include "cfr/report/parametrosrelatorio.h"
#include "cfr/screen/cli_kpr04700.h"
#include "cfr/screen/frmcfr.h"
#include "cfr/selection/layoutentry.h"
#include "framework/core/abort.h"
#include "framework/core/serverresult.h"
#include "framework/data/clientdataset.h"
#include "framework/data/field.h"
#include "framework/data/params.h"
#include "framework/reportdesigner/reportdesignerdialog.h"
#include "framework/widgets/dateeditplus.h"
#include "framework/widgets/maskedit.h"
#include "host/rdmcfr.h"

#include <QComboBox>
#include <QRadioButton>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {

QString apuracaoCorrente(const TClientDataSet &t)
{
    if (!t.Active() || t.IsEmpty())
        return QString();
    return t.FieldByName(u"NRAPURACGD"_s)->AsString();
}

} // namespace

void TfrmCFR::ligaRelatorio()
{
    TReportDesignerDialog *rpdd = rpddPadrao();
    for (TClientDataSet *t : {qryCFRSintServ, qryCFRSintData, qryTotal, qryClieSelect, qryClieFili})
        rpdd->registerTable(t->objectName(), t);
    rpdd->BeforeGetQueryParams = [this](QObject *Sender, TParams &Params, bool &Handled) {
        rpddPadraoBeforeGetQueryParams(Sender, Params, Handled);
    };
    rpdd->QRPAfterPrint = [this](QObject *Sender) { rpddPadraoQRPAfterPrint(Sender); };
    rpdd->QRPAfterPreview = [this](QObject *Sender) { rpddPadraoQRPAfterPreview(Sender); };
}

bool TfrmCFR::existeParametro(const TParams &Params, const QString &nome) const
{
    return rpddPadrao()->ExistParam(Params, nome);
}

void TfrmCFR::rpddPadraoBeforeGetQueryParams(QObject *, TParams &Params, bool &)
{
    const int i = PosicaoFilial(*lstFiliais, medCdFilial->text());
    SelecaoRelatorio selecao;
    selecao.filial = medCdFilial->text();
    selecao.apuracao = i >= 0 ? lstApuracoes->value(i) : QString();
    selecao.todosClientes = rdgTodos->isChecked();
    selecao.clientesLista = ClientesLista;
    selecao.textoInicial = depDtInicial->text();
    selecao.textoFinal = depDtFinal->text();
    selecao.inicio = depDtInicial->GetDate();
    selecao.fim = depDtFinal->GetDate();
    selecao.grupServTodos = rdbGrupServTodos->isChecked();
    selecao.grupServLista = rdbGrupServLista->isChecked();
    selecao.gruposLista = GrupServLista;

    // Only what the layout declares is set; anything else is skipped without a word.
    auto define = [&](const ValoresParametros &valores) {
        for (const auto &[nome, valor] : valores) {
            if (existeParametro(Params, nome))
                Params.ParamByName(nome)->setAsVariant(valor);
        }
    };
    define(ParametrosSelecao(selecao));

    // The layout editor's preview emits no statement: no CFR number is asked for it.
    std::optional<ServerResult> sequencia;
    if (PedeSequencia(cbbReportNames->currentIndex()) && !rpddPadrao()->ParaEdicao()) {
        const QString cliente = qryClieSelect->Active() && !qryClieSelect->IsEmpty()
                                    ? qryClieSelect->FieldByName(u"CDCLIENTEAPGD"_s)->AsString()
                                    : QString();
        // The client list and the fortnight go by reference, as the method declares them.
        QString quinzena = IndicadorQuinzena(selecao.inicio);
        sequencia =
            rdm().GetSequencial(selecao.inicio, selecao.filial, ClientesLista, selecao.apuracao, cliente, quinzena);
    }
    const auto emissao = ParametrosEmissao(selecao, sequencia);
    if (!emissao) {
        MensErro(emissao.error(), true);
        return;
    }
    define(*emissao);
}

void TfrmCFR::rpddPadraoQRPAfterPrint(QObject *)
{
    CheckResultServ(rdm().DelCRFSintDados(medCdFilial->text(), apuracaoCorrente(*qryCFRSintData)), true, 0);
}

void TfrmCFR::rpddPadraoQRPAfterPreview(QObject *)
{
    CheckResultServ(rdm().DelCRFSintDados(medCdFilial->text(), apuracaoCorrente(*qryCFRSintData)), true, 0);
}

} // namespace kpr::cfr
