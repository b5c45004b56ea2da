#pragma once
// The meaning, in Portuguese, of an SMTP reply: its enhanced status code (RFC 3463, with the
// codes registered since) or, for a server that gives none, its basic three-digit code.

#include <QString>

namespace kpr {

// "5.7.8: autenticação recusada (credenciais inválidas)" for the reply
// "535 5.7.8 Authentication credentials invalid"; "554: transação recusada" for "554 Denied".
// reply is the reply's last line, code included.
QString describeSmtpReply(int code, const QString &reply);

} // namespace kpr
