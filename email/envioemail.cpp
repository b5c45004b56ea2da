// The send run of the e-mail screen: after one confirmation, one message per client in the
// table's order, with that client's own PDF attached, over SMTP with the branch's settings
// (reloaded for every message) or through the workstation's mail program. The first failure
// stops the run on the failing client.
#include "cfr/screen/cli_kpr04700.h"
#include "cfr/screen/frmcfr.h"
#include "email/dadossmtp.h"
#include "email/envioregistrado.h"
#include "email/enviosmtp.h"
#include "email/frmemailcfr.h"
#include "framework/core/abort.h"
#include "framework/data/clientdataset.h"
#include "framework/data/field.h"
#include "framework/mail/sendmail.h"
#include "framework/screens/frmdadosgerrel.h"
#include "framework/widgets/dateeditplus.h"
#include "framework/widgets/maskedit.h"
#include "framework/widgets/messagedlg.h"
#include "framework/widgets/showavi.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopeGuard>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {

// A message handed to the workstation's mail program: whether the user sent it is not
// known, so the send log records it as not confirmed and the run goes on.
class EEntregueAoPrograma : public EKprError
{
public:
    EEntregueAoPrograma() : EKprError(u"entregue ao programa de e-mail; envio não confirmado"_s) {}
};

} // namespace

bool TfrmEmailCFR::ConfirmaEnvio()
{
    return MessageDlg(this, msgPadrao->Msg(u"CONFIRM_ENVIO_EMAIL"_s), TMsgDlgType::mtInformation, mbYes | mbNo)
           == mrMsgYes;
}

void TfrmEmailCFR::EnviaEmailsAosClientes()
{
    if (!ConfirmaEnvio())
        return;

    // The grid stays still during the run; when it follows the table again it shows the
    // client the run ended on.
    cdsClientes->DisableControls();
    const auto religa = qScopeGuard([this] { cdsClientes->EnableControls(); });
    ShowAviGuard avi(this, 1, QString());
    const int total = cdsClientes->RecordCount();
    int n = 0;
    int enviados = 0;
    lblEnviados->setText(u"Enviados: 0 de %1"_s.arg(total));
    for (cdsClientes->First(); !cdsClientes->Eof(); cdsClientes->Next()) {
        const QString codigo = cdsClientes->FieldByName(u"CDCLIENTE"_s)->AsString();
        ActiveShowAvi(this, 1,
                      formatMessage(msgPadrao->Msg(u"pro_EnviaEmail"_s),
                                    {QString::number(++n), QString::number(total),
                                     cdsClientes->FieldByName(u"NMRAZSOCCLIE"_s)->AsString()}));
        const ChaveEnvio chave{frmCFR->medCdFilial->text(),
                               frmCFR->depDtInicial->GetDate(),
                               frmCFR->depDtFinal->GetDate(),
                               frmCFR->NumeroLayout(),
                               codigo,
                               m_impressoes.value(codigo.trimmed()),
                               cdsClientes->FieldByName(u"DSEMAIL"_s)->AsString()};
        const auto envia = [&]() -> QString {
            if (chbServSMTP->isChecked()) {
                const QString corpo = memMensagem->toPlainText();
                const QString destinatarios = cdsClientes->FieldByName(u"DSEMAIL"_s)->AsString();
                const QString anexo = LocalizaAnexo(codigo);
                const QString assunto = edtAssunto->text();
                const QString remetente = edtRemetente->text();
                const QString filial = frmCFR->medCdFilial->text();
                return EnviaPorSMTP(filial, remetente, assunto, anexo, destinatarios, corpo);
            }
            const QString anexo = LocalizaAnexo(codigo);
            const QString destinatarios = cdsClientes->FieldByName(u"DSEMAIL"_s)->AsString();
            const QString corpo = memMensagem->toPlainText();
            const QString assunto = edtAssunto->text();
            EnviaPorMAPI(assunto, corpo, destinatarios, anexo);
            throw EEntregueAoPrograma();
        };
        // A new confirm sends again what an earlier run sent (the column shows who has it);
        // a statement being sent from another workstation is left to it.
        ResultadoEnvio r;
        try {
            r = EnviaRegistrado(frmCFR->registroEnvios(), chave, Reenvio::Sim, envia);
        } catch (const EEnviadoSemLogout &e) {
            mostraSituacao(codigo, TextoSituacao(u'S', QDateTime::currentDateTime(), {}, e.resposta()));
            lblEnviados->setText(u"Enviados: %1 de %2"_s.arg(++enviados).arg(total));
            throw;
        } catch (const EEntregueAoPrograma &) {
            mostraSituacao(codigo, u"Entregue ao programa de e-mail"_s);
            continue;
        } catch (const EKprError &e) {
            mostraSituacao(codigo, TextoSituacao(u'F', {}, {}, e.text()));
            throw;
        }
        switch (r.situacao) {
        case SituacaoEnvio::Enviado:
        case SituacaoEnvio::Ignorado:
            mostraSituacao(codigo, TextoSituacao(u'S', r.quando, r.estacao, r.resposta));
            lblEnviados->setText(u"Enviados: %1 de %2"_s.arg(++enviados).arg(total));
            break;
        case SituacaoEnvio::Incerto:
            mostraSituacao(codigo, TextoSituacao(r.saiu ? u'?' : u'E', r.quando, r.estacao, r.resposta));
            if (r.saiu)
                lblEnviados->setText(u"Enviados: %1 de %2"_s.arg(++enviados).arg(total));
            break;
        case SituacaoEnvio::Falhou:
            // The log refused the claim: nothing was sent; the run stops here.
            throw EKprError(r.resposta);
        }
    }
}

QString TfrmEmailCFR::LocalizaAnexo(const QString &codigo)
{
    // The file the export recorded for this client, never one that merely matches its
    // cleaned code (the code 12 would also match the file of 12_3), by its full path: the
    // process's current directory stays where it was (relative settings keep resolving).
    const QFileInfo arquivo(frmCFR->ArquivoDoCliente(codigo));
    if (arquivo.fileName().isEmpty() || !arquivo.isFile() || arquivo.isHidden())
        return QString();
    return arquivo.absoluteFilePath();
}

void TfrmEmailCFR::LeDadosSMTP(const QString &filial, QString &login, QString &senha, QString &host, QString &porta,
                               QString &modo)
{
    cdsEmailFilial->setData(frmCFR->getEmailFilial(filial));
    const auto v = [this](const char16_t *nome) {
        return cdsEmailFilial->FieldByName(QString::fromUtf16(nome))->AsString();
    };
    const DadosSMTP d = DerivaDadosSMTP(v(u"DSLOGINSMTP"), v(u"DSEMAILFILI"), v(u"CDSENHEMAILF"), v(u"DSSMTPEMAILF"),
                                        v(u"IDUTTLSEMAIL"), v(u"IDUTSSLEMAIL"));
    login = d.login;
    senha = d.senha;
    host = d.host;
    porta = d.porta;
    modo = d.modo;
}

QString TfrmEmailCFR::EnviaPorSMTP(const QString &filial, const QString &remetente, const QString &assunto,
                                   const QString &anexo, const QString &destinatarios, const QString &corpo)
{
    // The settings are read again for every message: a change made meanwhile applies.
    DadosSMTP dados;
    LeDadosSMTP(filial, dados.login, dados.senha, dados.host, dados.porta, dados.modo);
    return EnviaMensagemSMTP(dados, {remetente, assunto, corpo, destinatarios, anexo});
}

void TfrmEmailCFR::EnviaPorMAPI(const QString &assunto, const QString &corpo, const QString &destinatarios,
                                const QString &anexo)
{
    const int r = SendMail(assunto, corpo, destinatarios, QString(), QString(), anexo, u";"_s, {mapiDialog});
    // Shown as an error and the run ends, as MensErro would; raised as a text so that the
    // send log records why.
    if (r != 0)
        throw EKprError(MensagemMAPI(r));
}

QString TfrmEmailCFR::MensagemMAPI(int codigo) const
{
    static const QHash<int, QString> chaves{
        {0, u"SUCCESS_SUCCESS"_s},
        {1, u"MAPI_E_USER_ABORT"_s},
        {2, u"MAPI_E_FAILURE"_s},
        {3, u"MAPI_E_LOGIN_FAILURE"_s},
        {5, u"MAPI_E_INSUFFICIENT_MEMORY"_s},
        {9, u"MAPI_E_TOO_MANY_FILES"_s},
        {10, u"MAPI_E_TOO_MANY_RECIPIENTS"_s},
        {11, u"MAPI_E_ATTACHMENT_NOT_FOUND"_s},
        {12, u"MAPI_E_ATTACHMENT_OPEN_FAILURE"_s},
        {14, u"MAPI_E_UNKNOWN_RECIPIENT"_s},
        {15, u"MAPI_E_BAD_RECIPTYPE"_s},
        {18, u"MAPI_E_TEXT_TOO_LARGE"_s},
        {21, u"MAPI_E_AMBIGUOUS_RECIPIENT"_s},
    };
    const QString chave = chaves.value(codigo);
    return chave.isEmpty() ? QString() : msgPadrao->Msg(chave);
}

} // namespace kpr::cfr
