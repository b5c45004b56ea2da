#pragma once
// Module-level state of the e-mail unit Cli_kpr04701 and its entry CriaEmailCFR.

#include <QPointer>

namespace kpr::cfr {

class TfrmEmailCFR;

// The e-mail screen last created; null once it is gone.
extern QPointer<TfrmEmailCFR> frmEmailCFR;

// Creates a new e-mail screen, fills sender and recipients, and shows it modally. A failure
// while filling propagates and no screen is shown.
void CriaEmailCFR();

// The unit's initialization and finalization: the report unit opens the e-mail screen
// through the hook this unit sets.
void Cli_kpr04701_Initialization();
void Cli_kpr04701_Finalization();

} // namespace kpr::cfr
