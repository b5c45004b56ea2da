#pragma once
// The address rules of the e-mail screen, without a window.

#include <QString>

namespace kpr::cfr {

// True when every element of the address list is an address by the screen's small rules.
// Elements are split at "," when the remainder holds one anywhere, else at ";", else at
// "|" (so a "," wins over an earlier ";"), and trimmed of characters up to blank. An
// address has an "@" that is not its first character and a "." after it that is not its
// last; before the "@" only letters, digits and "%+-._"; between the "@" and the last "."
// only letters, digits, "-" and "."; after the last "." only letters and the digits 2 and 4.
// The list ends when what is left of it is empty by EmptyString.
bool ValidaEmails(const QString &texto);

} // namespace kpr::cfr
