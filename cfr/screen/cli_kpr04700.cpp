#include "cfr/screen/cli_kpr04700.h"

#include "cfr/screen/frmcfr.h"
#include "framework/screens/mdihost.h"

#include <QApplication>
#include <QScopeGuard>

namespace kpr::cfr {

QPointer<TfrmCFR> frmCFR;
bool FormCriado = false;
QString ClientesLista;
QString GrupServLista;
std::unique_ptr<QStringList> lstFiliais;
std::unique_ptr<QStringList> lstApuracoes;
void (*AbreEmailCFR)() = nullptr;

void CriaCFR()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The cursor comes back on every way out, a failed creation included.
    const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });

    if (!FormCriado || !frmCFR) {
        // CreateForm runs FormCreate and destroys the screen when it fails; the flag is set
        // only after it succeeded, so the next call tries again.
        frmCFR = CreateForm<TfrmCFR>();
        FormCriado = true;
    }
    MdiHost::showScreen(frmCFR);
}

void Cli_kpr04700_Initialization()
{
    FormCriado = false;
    ClientesLista.clear();
}

void Cli_kpr04700_Finalization()
{
    GrupServLista.clear();
    GrupServLista.squeeze();
    ClientesLista.clear();
    ClientesLista.squeeze();
}

} // namespace kpr::cfr
