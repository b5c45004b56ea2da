#include "email/enviosmtp.h"

#include "framework/core/abort.h"
#include "framework/mail/mimemess.h"
#include "framework/mail/smtpsend.h"

#include <QRegularExpression>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

QString EnviaMensagemSMTP(const DadosSMTP &dados, const MensagemCFR &m)
{
    // One client and one message per e-mail, released on every way out.
    const auto smtp = std::make_unique<TSMTPSend>();
    const auto mime = std::make_unique<TMimeMess>();
    try {
        const QStringList linhas = m.corpo.split(QRegularExpression(u"\r\n|\r|\n"_s));
        mime->Clear();
        TMimePart *raiz = mime->AddPartMultipart(u"mixed"_s, nullptr);
        smtp->setTimeout(100000);
        smtp->setTargetHost(dados.host);
        smtp->setTargetPort(dados.porta);
        smtp->setUserName(dados.login);
        smtp->setPassword(dados.senha);
        mime->Header.From = m.remetente;
        mime->Header.Subject = m.assunto;
        mime->AddPartText(linhas, raiz);
        mime->AddPartBinaryFromFile(m.anexo, raiz);
        mime->EncodeMessage();
        smtp->setFullSSL(dados.modo == u"SSL"_s);
        smtp->setAutoTLS(dados.modo == u"TLS"_s);
        if (!smtp->Login())
            throw EKprError(u"Login Exception->"_s + smtp->EnhCodeString());
        // The number is the sender's length, as the screen always passed it; the client
        // declares no size from it.
        if (!smtp->MailFrom(m.remetente, int(m.remetente.size())))
            throw EKprError(u"MailFrom Exception->"_s + smtp->EnhCodeString());
        if (!smtp->MailTo(m.destinatarios))
            throw EKprError(u"MailTo Exception->"_s + smtp->EnhCodeString());
        if (!smtp->MailData(mime->Lines()))
            throw EKprError(u"MailData Exception->"_s + smtp->EnhCodeString());
        const QString resposta = smtp->ResultString();
        if (!smtp->Logout())
            throw EEnviadoSemLogout(u"Logout Exception->"_s + smtp->EnhCodeString(), resposta);
        return resposta;
    } catch (...) {
        smtp->Logout();
        throw;
    }
}

} // namespace kpr::cfr
