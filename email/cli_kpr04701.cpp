#include "email/cli_kpr04701.h"

#include "cfr/screen/cli_kpr04700.h"
#include "email/frmemailcfr.h"

#include <memory>

namespace kpr::cfr {

QPointer<TfrmEmailCFR> frmEmailCFR;

void CriaEmailCFR()
{
    // Owned by the application, not by the report screen; released when it closes.
    auto tela = std::make_unique<TfrmEmailCFR>();
    frmEmailCFR = tela.get();
    tela->PreencheRemetente();
    tela->PreencheDestinatarios();
    tela.release()->ShowModal();
}

void Cli_kpr04701_Initialization()
{
    frmEmailCFR = nullptr;
    AbreEmailCFR = &CriaEmailCFR;
}

void Cli_kpr04701_Finalization()
{
    AbreEmailCFR = nullptr;
    delete frmEmailCFR.data();
}

} // namespace kpr::cfr
