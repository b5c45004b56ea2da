#include "email/enviosmtp.h"

#include "framework/core/abort.h"
#include "framework/mail/mimemess.h"
#include "framework/mail/smtpsend.h"

#include <QRegularExpression>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {

// The message as MIME lines: the body's lines, then the PDF.
QList<QByteArray> Mime(const MensagemCFR &m)
{
    const auto mime = std::make_unique<TMimeMess>();
    const QStringList linhas = m.corpo.split(QRegularExpression(u"\r\n|\r|\n"_s));
    mime->Clear();
    TMimePart *raiz = mime->AddPartMultipart(u"mixed"_s, nullptr);
    mime->Header.From = m.remetente;
    mime->Header.Subject = m.assunto;
    mime->AddPartText(linhas, raiz);
    mime->AddPartBinaryFromFile(m.anexo, raiz);
    mime->EncodeMessage();
    return mime->Lines();
}

void Configura(TSMTPSend &smtp, const DadosSMTP &dados)
{
    smtp.setTimeout(100000);
    smtp.setTargetHost(dados.host);
    smtp.setTargetPort(dados.porta);
    smtp.setUserName(dados.login);
    smtp.setPassword(dados.senha);
    smtp.setFullSSL(dados.modo == u"SSL"_s);
    smtp.setAutoTLS(dados.modo == u"TLS"_s);
}

// MAIL, RCPT and DATA of one message on a logged-in connection.
QString Transacao(TSMTPSend &smtp, const MensagemCFR &m, const QList<QByteArray> &linhas)
{
    // The number is the sender's length, as the screen always passed it; the client
    // declares no size from it.
    if (!smtp.MailFrom(m.remetente, int(m.remetente.size())))
        throw EKprError(u"MailFrom Exception->"_s + smtp.EnhCodeString());
    if (!smtp.MailTo(m.destinatarios))
        throw EKprError(u"MailTo Exception->"_s + smtp.EnhCodeString());
    if (!smtp.MailData(linhas))
        throw EKprError(u"MailData Exception->"_s + smtp.EnhCodeString());
    return smtp.ResultString();
}

} // namespace

QString EnviaMensagemSMTP(const DadosSMTP &dados, const MensagemCFR &m)
{
    // One client and one message per e-mail, released on every way out.
    const auto smtp = std::make_unique<TSMTPSend>();
    try {
        const QList<QByteArray> linhas = Mime(m);
        Configura(*smtp, dados);
        if (!smtp->Login())
            throw EKprError(u"Login Exception->"_s + smtp->EnhCodeString());
        const QString resposta = Transacao(*smtp, m, linhas);
        if (!smtp->Logout())
            throw EEnviadoSemLogout(u"Logout Exception->"_s + smtp->EnhCodeString(), resposta);
        return resposta;
    } catch (...) {
        smtp->Logout();
        throw;
    }
}

SessaoSMTP::SessaoSMTP(DadosSMTP dados) : m_dados(std::move(dados)) {}

SessaoSMTP::~SessaoSMTP()
{
    if (m_smtp && m_smtp->Connected())
        m_smtp->Logout();
}

QString SessaoSMTP::Envia(const MensagemCFR &m)
{
    const QList<QByteArray> linhas = Mime(m); // a file that cannot be attached costs no connection
    if (!m_smtp || !m_smtp->Connected()) {
        m_smtp = std::make_unique<TSMTPSend>();
        Configura(*m_smtp, m_dados);
        ++m_conexoes;
        if (!m_smtp->Login()) {
            const QString erro = u"Login Exception->"_s + m_smtp->EnhCodeString();
            m_smtp.reset();
            throw EKprError(erro);
        }
    }
    try {
        return Transacao(*m_smtp, m, linhas);
    } catch (const EKprError &) {
        // The refused transaction ends here; a connection that cannot even do that is
        // dropped, and the next message logs in again.
        if (m_smtp->Connected() && !m_smtp->Reset())
            m_smtp.reset();
        throw;
    }
}

} // namespace kpr::cfr
