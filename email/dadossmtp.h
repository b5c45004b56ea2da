#pragma once
// The SMTP settings of one message, derived from the branch's e-mail settings.

#include <QString>

namespace kpr::cfr {

struct DadosSMTP
{
    QString login;
    QString senha;
    QString host;
    QString porta;
    QString modo; // "SSL", "TLS" or "" (plain SMTP)
};

// login: DSLOGINSMTP, or DSEMAILFILI when that is empty; senha: CDSENHEMAILF deciphered;
// host and porta: DSSMTPEMAILF split at its first ":" (port "25" without one, "" after a
// trailing ":"); modo: "SSL" when IDUTSSLEMAIL is "S", else "TLS" when IDUTTLSEMAIL is "S"
// (exact, case-sensitive comparisons), else "".
DadosSMTP DerivaDadosSMTP(const QString &DSLOGINSMTP, const QString &DSEMAILFILI, const QString &CDSENHEMAILF,
                          const QString &DSSMTPEMAILF, const QString &IDUTTLSEMAIL, const QString &IDUTSSLEMAIL);

} // namespace kpr::cfr
