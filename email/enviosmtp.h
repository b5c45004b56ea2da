#pragma once
// One statement e-mail over SMTP, without a window: the e-mail screen and the command-line
// run send through it.

#include "email/dadossmtp.h"
#include "framework/core/abort.h"

#include <QString>

#include <memory>

namespace kpr {
class TSMTPSend;
}

namespace kpr::cfr {

struct MensagemCFR
{
    QString remetente; // From and the envelope's sender
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

// Many messages over one logged-in connection, for the unattended run that sends hundreds:
// the connection, its TLS handshake and its login are made once instead of per message.
// Each message is its own transaction (MAIL, RCPT, DATA); one the server refuses is ended
// with RSET and the next goes on the same connection; a connection that broke is made again
// for the next message. Errors are raised as EnviaMensagemSMTP raises them.
class SessaoSMTP
{
public:
    explicit SessaoSMTP(DadosSMTP dados);
    ~SessaoSMTP(); // QUIT when a connection is open
    SessaoSMTP(const SessaoSMTP &) = delete;
    SessaoSMTP &operator=(const SessaoSMTP &) = delete;

    // Answers the server's reply to the message's data.
    QString Envia(const MensagemCFR &mensagem);

    int Conexoes() const { return m_conexoes; } // logins made so far

private:
    DadosSMTP m_dados;
    std::unique_ptr<TSMTPSend> m_smtp;
    int m_conexoes = 0;
};

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
