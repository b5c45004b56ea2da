#pragma once
// One statement e-mail over SMTP, without a window: the e-mail screen and the command-line
// run send through it.

#include "email/dadossmtp.h"
#include "framework/core/abort.h"

#include <QString>

namespace kpr::cfr {

struct MensagemCFR
{
    QString remetente;     // From and the envelope's sender
    QString assunto;
    QString corpo;         // lines split at any line break
    QString destinatarios; // the address list, one RCPT per address
    QString anexo;         // the PDF; a bare name is read from the current directory
};

// Sends the message on a connection of its own (Login … Logout). A step the server refuses
// raises EKprError whose text is the step's prefix ("Login Exception->", "MailFrom
// Exception->", "MailTo Exception->", "MailData Exception->", "Logout Exception->") and the
// client's description of the reply; a file that cannot be attached raises its own text.
// On any failure Logout is called once more before the error leaves. Answers the server's
// reply to the message's data (its queue id, as the server words it).
QString EnviaMensagemSMTP(const DadosSMTP &dados, const MensagemCFR &mensagem);

// The error of a Logout that failed after the server had accepted the message: the message
// went out (reply holds the server's acceptance), the error is still the user's to see.
class EEnviadoSemLogout : public EKprError
{
public:
    EEnviadoSemLogout(QString texto, QString resposta) : EKprError(std::move(texto)), m_resposta(std::move(resposta)) {}
    const QString &resposta() const { return m_resposta; }

private:
    QString m_resposta;
};

} // namespace kpr::cfr
