#pragma once
// kpr-appserver --branch-email: writes a branch's SMTP settings into FILIAL (the columns
// EmailFilial answers) and exits. The options are checked before anything is opened, so a
// refused command line writes nothing.

#include "framework/core/result.h"

#include <QSqlDatabase>
#include <QString>

#include <cstdio>
#include <optional>

namespace kpr::appserver {

enum class SmtpSecurity { Ssl, StartTls, None };

// The mail options as given; std::nullopt for one that was not given at all.
struct BranchEmailArgs
{
    std::optional<QString> smtp, login, from, security;
    bool any() const { return smtp || login || from || security; }
};

struct BranchEmail
{
    QString branch; // CDFILIAL
    QString smtp;   // DSSMTPEMAILF: HOST or HOST:PORT
    QString login;  // DSLOGINSMTP, may be empty
    QString from;   // DSEMAILSMTP, may be empty
    SmtpSecurity security = SmtpSecurity::None;
};

// The options of branch, checked against FILIAL's columns; the error text is for the user.
Result<BranchEmail> checkBranchEmail(const QString &branch, const BranchEmailArgs &args);

// A password fits CDSENHEMAILF once ciphered (the cipher keeps the length) and is printable
// ASCII (the cipher leaves anything else in clear). An empty one stores no password.
Status checkSmtpPassword(const QString &password);

// One line of in, without its line end ("\n" or "\r\n"); end of input ends the line too.
// On a terminal the typed characters are not echoed.
QString readPasswordLine(std::FILE *in);

// Updates the branch's row in one statement: false when there is no such branch (nothing
// was written). Empty texts are stored as NULL, the password ciphered with the framework's key.
Result<bool> storeBranchEmail(QSqlDatabase &db, const BranchEmail &mail, const QString &password);

QString securityName(SmtpSecurity security);

} // namespace kpr::appserver
