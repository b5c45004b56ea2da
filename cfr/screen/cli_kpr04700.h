#pragma once
// Module-level state of the report unit Cli_kpr04700 and its entry CriaCFR. One copy per
// loaded package; every screen the package creates in turn shares it.

#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

namespace kpr::cfr {

class TfrmCFR;

// The open report screen. A guarded pointer: it reads null once the screen is destroyed,
// so that nothing reaches a screen that is gone (also when a creation failed).
extern QPointer<TfrmCFR> frmCFR;
// True while a report screen exists.
extern bool FormCriado;
// Selection texts of the client and service-group searches ("_key_" per chosen row).
extern QString ClientesLista;
extern QString GrupServLista;
// Branches that got an apuration number on this screen and their numbers, position for
// position. Created by FormCreate, released when the screen closes.
extern std::unique_ptr<QStringList> lstFiliais;
extern std::unique_ptr<QStringList> lstApuracoes;

// Opens the e-mail screen over the report screen (the e-mail unit's CriaEmailCFR). The
// e-mail unit sets it when it is initialized, so that the report unit, which the e-mail
// unit builds on, does not depend on it; null while that unit is not loaded.
extern void (*AbreEmailCFR)();

// Creates the report screen when there is none, then shows it in front and restored.
// A failed creation leaves FormCriado false and propagates to the caller.
void CriaCFR();

// The unit's initialization and finalization, run once through the counted unit
// initialization of the package's load and unload.
void Cli_kpr04700_Initialization();
void Cli_kpr04700_Finalization();

} // namespace kpr::cfr
