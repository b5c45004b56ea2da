// After a print or a preview the stored by-date statement of the run is no longer needed:
// it is removed from the server for the branch and the apuration number of the current
// row of qryCFRSintData (empty when that table holds no row, after a by-service run).
#include "cfr/screen/frmcfr.h"
#include "framework/core/serverresult.h"
#include "framework/data/clientdataset.h"
#include "framework/data/field.h"
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

void TfrmCFR::rpddPadraoQRPAfterPrint(QObject *)
{
    CheckResultServ(rdm().DelCRFSintDados(medCdFilial->text(), apuracaoCorrente(*qryCFRSintData)), true, 0);
}

void TfrmCFR::rpddPadraoQRPAfterPreview(QObject *)
{
    CheckResultServ(rdm().DelCRFSintDados(medCdFilial->text(), apuracaoCorrente(*qryCFRSintData)), true, 0);
}

} // namespace kpr::cfr
