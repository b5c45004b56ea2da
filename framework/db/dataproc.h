#pragma once
// The host's processing date of a branch, read from FILIAL.DTPROCFILI on the shared
// connection.

#include <QDate>
#include <QString>

namespace kpr {

// The branch's processing date; an invalid (empty) date for an empty code or a branch that
// does not exist. A database failure throws EKprError with the database's text.
QDate DataProc(const QString &branch);

} // namespace kpr
