// The report dialog's side of the CFR screen: the tables its layouts read and its events.
// After a print or a preview the stored by-date statement of the run is no longer needed:
// it is removed from the server for the branch and the apuration number of the current
// row of qryCFRSintData (empty when that table holds no row, after a by-service run).
#include "cfr/screen/frmcfr.h"
#include "framework/core/serverresult.h"
#include "framework/data/clientdataset.h"
#include "framework/data/field.h"
#include "framework/report/reportdesignerdialog.h"
#include "framework/widgets/maskedit.h"
#include "host/rdmcfr.h"

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

void TfrmCFR::rpddPadraoQRPAfterPrint(QObject *)
{
    CheckResultServ(rdm().DelCRFSintDados(medCdFilial->text(), apuracaoCorrente(*qryCFRSintData)), true, 0);
}

void TfrmCFR::rpddPadraoQRPAfterPreview(QObject *)
{
    CheckResultServ(rdm().DelCRFSintDados(medCdFilial->text(), apuracaoCorrente(*qryCFRSintData)), true, 0);
}

} // namespace kpr::cfr
