// The e-mail screen: its controls, sender and recipients, the read-only grid, keys, close
// and the checks of its confirm action.
#include "email/frmemailcfr.h"

#include "cfr/screen/cli_kpr04700.h"
#include "cfr/screen/frmcfr.h"
#include "email/envioregistrado.h"
#include "email/validaemails.h"
#include "framework/core/abort.h"
#include "framework/core/strings.h"
#include "framework/data/clientdataset.h"
#include "framework/data/datasource.h"
#include "framework/data/field.h"
#include "framework/screens/frmdadosgerrel.h"
#include "framework/widgets/dateeditplus.h"
#include "framework/widgets/dbgrid.h"
#include "framework/widgets/maskedit.h"

#include <QCheckBox>
#include <QDebug>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {

QLabel *rotulo(const QString &nome, const QString &texto, QWidget *pai)
{
    auto *l = new QLabel(texto, pai);
    l->setObjectName(nome);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

void campo(TClientDataSet &t, const QString &nome, int largura)
{
    t.AddField(nome, ftString, largura)->setVisible(false);
}

} // namespace

TfrmEmailCFR::TfrmEmailCFR(QWidget *parent) : TfrmRotiGeral(parent)
{
    setObjectName(u"frmEmailCFR"_s);
    setWindowTitle(u"Envio de CFR por e-mail"_s);
    lblCodTela->setText(u"KPR04701"_s);
    msgPadrao->setLines({
        u"REMETENTE_N_INF|E-mail do remetente não encontrado. Confira os dados de e-mail no cadastro da "
        u"filial (página Endereço) e tente novamente."_s,
        u"REMETENTE_EMAIL_INV|E-mail do remetente não é um e-mail válido."_s,
        u"DESTINATARIO_N_INF|E-mail do cliente %s não encontrado. Confira o cadastro do cliente e tente "
        u"novamente."_s,
        u"DESTINATARIO_EMAIL_INV|E-mail do cliente %s não é um e-mail válido."_s,
        u"ASSUNTO_N_INF|Informe um assunto para o e-mail."_s,
        u"MENSAGEM_N_INF|Informe o corpo do e-mail a ser enviado."_s,
        u"CONFIRM_ENVIO_EMAIL|Confirma envio dos relatórios gerados aos clientes?"_s,
        u"SUCCESS_SUCCESS| Email enviado com sucesso."_s,
        u"MAPI_E_USER_ABORT|E-mail não enviado. Usuário cancelou o processo."_s,
        u"MAPI_E_FAILURE|E-mail não enviado. Um ou mais erros ocorreram e o email não foi enviado."_s,
        u"MAPI_E_LOGIN_FAILURE|E-mail não enviado. Não há logon default para o usuário."_s,
        u"MAPI_E_INSUFFICIENT_MEMORY|E-mail não enviado. Não há memória suficiente para continuar o processo."_s,
        u"MAPI_E_TOO_MANY_FILES|E-mail não enviado. Há muitos arquivos anexos especificados."_s,
        u"MAPI_E_TOO_MANY_RECIPIENTS|E-mail não enviado. Há muitos destinatários especificados."_s,
        u"MAPI_E_ATTACHMENT_NOT_FOUND|E-mail não enviado. O arquivo de anexo especificado não foi encontrado."_s,
        u"MAPI_E_ATTACHMENT_OPEN_FAILURE|E-mail não enviado. O arquivo de anexo não pôde ser aberto."_s,
        u"MAPI_E_UNKNOWN_RECIPIENT|E-mail não enviado. Destinatário não aparece na lista de endereços."_s,
        u"MAPI_E_BAD_RECIPTYPE|E-mail não enviado. Tipo do destinatário não é um tipo esperado (TO, CC, BCC)."_s,
        u"MAPI_E_TEXT_TOO_LARGE|E-mail não enviado. A mensagem de texto é muito extensa para ser enviada."_s,
        u"MAPI_E_AMBIGUOUS_RECIPIENT|E-mail não enviado. Lista de destinatários está ambígua."_s,
        u"pro_EnviaEmail|Enviando e-mail %s de %s: %s"_s,
    });
    criaComponentes();
}

TfrmEmailCFR::~TfrmEmailCFR() = default;

void TfrmEmailCFR::criaComponentes()
{
    cdsClientes = new TClientDataSet(u"cdsClientes"_s, this);
    campo(*cdsClientes, u"CDCLIENTE"_s, 21);
    campo(*cdsClientes, u"IDTPIJURCLIE"_s, 1);
    campo(*cdsClientes, u"NRINSJURCLIE"_s, 20);
    campo(*cdsClientes, u"NMRAZSOCCLIE"_s, 50);
    campo(*cdsClientes, u"NMFANTCLIE"_s, 50);
    campo(*cdsClientes, u"DSEMAIL"_s, 4000);
    cdsClientes->BeforeEdit = [this](TClientDataSet &t) { cdsClientesBeforeEdit(t); };
    cdsClientes->BeforeInsert = [this](TClientDataSet &t) { cdsClientesBeforeInsert(t); };
    dtsClientes = new TDataSource(u"dtsClientes"_s, cdsClientes, this);

    cdsEmailFilial = new TClientDataSet(u"cdsEmailFilial"_s, this);
    for (const auto &[nome, largura] : {std::pair{u"DSLOGINSMTP"_s, 40},
                                        {u"DSEMAILFILI"_s, 40},
                                        {u"CDSENHEMAILF"_s, 20},
                                        {u"DSSMTPEMAILF"_s, 40},
                                        {u"IDUTTLSEMAIL"_s, 1},
                                        {u"IDUTSSLEMAIL"_s, 1},
                                        {u"DSEMAILSMTP"_s, 120}})
        cdsEmailFilial->AddField(nome, ftString, largura);

    QWidget *box = grbDadosRel;
    lblRemetente = rotulo(u"lblRemetente"_s, u"De"_s, box);
    edtRemetente = new QLineEdit(box);
    edtRemetente->setObjectName(u"edtRemetente"_s);
    edtRemetente->setEnabled(false);
    edtRemetente->setFocusPolicy(Qt::NoFocus);
    edtRemetente->setBackgroundRole(QPalette::Button);
    chbServSMTP = new QCheckBox(u"Utiliza servidor SMTP"_s, box);
    chbServSMTP->setObjectName(u"chbServSMTP"_s);
    QFont negrito = chbServSMTP->font();
    negrito.setBold(true);
    chbServSMTP->setFont(negrito);
    chbServSMTP->setChecked(true);

    lblDestinatarios = rotulo(u"lblDestinatarios"_s, u"Para"_s, box);
    scbDestinatario = new QScrollArea(box);
    scbDestinatario->setObjectName(u"scbDestinatario"_s);
    scbDestinatario->setFrameShape(QFrame::NoFrame);
    scbDestinatario->setWidgetResizable(true);
    dbgDestinatario = new TDBGrid;
    dbgDestinatario->setObjectName(u"dbgDestinatario"_s);
    dbgDestinatario->setDataSource(dtsClientes);
    dbgDestinatario->setColumns(
        {{u"NRINSJURCLIE"_s, u"Inscrição Jurídica"_s, 142},
         {u"NMRAZSOCCLIE"_s, u"Razão Social"_s, 255},
         {u"DSEMAIL"_s, u"E-mail"_s, 211},
         {u"CDCLIENTE"_s, u"Situação"_s, 200, [this](const QString &codigo) { return SituacaoCliente(codigo); }}});
    dbgDestinatario->setEditing(true);
    dbgDestinatario->setTabKeyNavigation(true);
    dbgDestinatario->verticalHeader()->hide(); // no indicator column
    dbgDestinatario->setSelectionBehavior(QAbstractItemView::SelectItems);
    dbgDestinatario->setSelectionMode(QAbstractItemView::SingleSelection);
    dbgDestinatario->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    dbgDestinatario->setShowGrid(true);
    QPalette dica = dbgDestinatario->palette();
    dica.setColor(QPalette::Base, dica.color(QPalette::ToolTipBase));
    dbgDestinatario->setPalette(dica);
    dbgDestinatario->OnKeyDown = [this](QObject *s, int &k, Qt::KeyboardModifiers m) {
        dbgDestinatarioKeyDown(s, k, m);
    };
    scbDestinatario->setWidget(dbgDestinatario);

    lblAssunto = rotulo(u"lblAssunto"_s, u"Assunto"_s, box);
    edtAssunto = new QLineEdit(box);
    edtAssunto->setObjectName(u"edtAssunto"_s);
    lblMensagem = rotulo(u"lblMensagem"_s, u"Mensagem"_s, box);
    memMensagem = new QPlainTextEdit(box);
    memMensagem->setObjectName(u"memMensagem"_s);
    memMensagem->setTabChangesFocus(true);
    lblEnviados = new QLabel(box);
    lblEnviados->setObjectName(u"lblEnviados"_s);

    auto *g = new QGridLayout(box);
    g->addWidget(lblRemetente, 0, 0);
    g->addWidget(edtRemetente, 0, 1);
    g->addWidget(chbServSMTP, 0, 2);
    g->addWidget(lblDestinatarios, 1, 0, Qt::AlignTop);
    g->addWidget(scbDestinatario, 1, 1, 1, 2);
    g->addWidget(lblEnviados, 4, 1, 1, 2);
    g->addWidget(lblAssunto, 2, 0);
    g->addWidget(edtAssunto, 2, 1, 1, 2);
    g->addWidget(lblMensagem, 3, 0, Qt::AlignTop);
    g->addWidget(memMensagem, 3, 1, 1, 2);
    g->setRowStretch(1, 3);
    g->setRowStretch(3, 2);
    g->setColumnStretch(1, 1);

    // Subject, body, check box, the disabled sender (skipped), recipients.
    setTabOrder(edtAssunto, memMensagem);
    setTabOrder(memMensagem, chbServSMTP);
    setTabOrder(chbServSMTP, edtRemetente);
    setTabOrder(edtRemetente, scbDestinatario);
    setTabOrder(scbDestinatario, dbgDestinatario);
    edtAssunto->setFocus(Qt::OtherFocusReason);

    resize(807, 466 + panMenu->sizeHint().height());
}

void TfrmEmailCFR::PreencheRemetente()
{
    cdsEmailFilial->setData(frmCFR->getEmailFilial(frmCFR->medCdFilial->text()));
    const QString smtp = cdsEmailFilial->FieldByName(u"DSEMAILSMTP"_s)->AsString();
    edtRemetente->setText(EmptyString(smtp) ? cdsEmailFilial->FieldByName(u"DSEMAILFILI"_s)->AsString() : smtp);
}

void TfrmEmailCFR::PreencheDestinatarios()
{
    cdsClientes->setData(frmCFR->getClientesComDados());
    m_impressoes = frmCFR->ImpressoesCFR();
    CarregaSituacao();
}

void TfrmEmailCFR::CarregaSituacao()
{
    m_situacao.clear();
    const ServerResult r =
        frmCFR->registroEnvios().SituacaoEnvios(frmCFR->medCdFilial->text(), frmCFR->depDtInicial->GetDate(),
                                                frmCFR->depDtFinal->GetDate(), frmCFR->NumeroLayout());
    TClientDataSet envios(u"SituacaoEnvios"_s);
    // Without the log the screen still sends; the column stays empty.
    if (!r.ok || !envios.LoadFromPacket(r.data)) {
        qWarning().noquote() << "kpr-cfr: situação dos envios indisponível:" << r.error;
        return;
    }
    for (envios.First(); !envios.Eof(); envios.Next()) {
        const QString codigo = envios.FieldByName(u"CDCLIENTE"_s)->AsString().trimmed();
        if (envios.FieldByName(u"DSIMPRESSAO"_s)->AsString() != m_impressoes.value(codigo))
            continue; // another content: not this statement
        const QString id = envios.FieldByName(u"IDSITUACAO"_s)->AsString();
        m_situacao.insert(codigo, TextoSituacao(id.isEmpty() ? QChar() : id.at(0),
                                                envios.FieldByName(u"DTHRSITUACAO"_s)->AsDateTime(),
                                                envios.FieldByName(u"NMESTACAO"_s)->AsString(),
                                                envios.FieldByName(u"DSRESPOSTA"_s)->AsString()));
    }
}

void TfrmEmailCFR::mostraSituacao(const QString &codigo, const QString &texto)
{
    m_situacao.insert(codigo.trimmed(), texto);
    dbgDestinatario->viewport()->update();
}

void TfrmEmailCFR::cdsClientesBeforeEdit(TClientDataSet &)
{
    Abort();
}

void TfrmEmailCFR::cdsClientesBeforeInsert(TClientDataSet &)
{
    Abort();
}

void TfrmEmailCFR::dbgDestinatarioKeyDown(QObject *, int &Key, Qt::KeyboardModifiers Shift)
{
    if (Key == Qt::Key_Delete && (Shift & Qt::ControlModifier))
        Key = 0;
}

void TfrmEmailCFR::FormKeyDown(QObject *, int &Key, Qt::KeyboardModifiers Shift)
{
    // Ctrl+Enter confirms, as on every routine screen.
    if ((Key == Qt::Key_Return || Key == Qt::Key_Enter) && (Shift & Qt::ControlModifier)) {
        Key = 0;
        sbtConfirma->click();
    }
}

void TfrmEmailCFR::FormKeyPress(QObject *, QChar &)
{
    // Enter keeps its meaning in each control (a new line in the body).
}

void TfrmEmailCFR::FormClose(QObject *Sender, TCloseAction &Action)
{
    if (frmCFR)
        frmCFR->ApagaArquivosGerados();
    TfrmRotiGeral::FormClose(Sender, Action);
}

void TfrmEmailCFR::sbtConfirmaClick(QObject *)
{
    ValidaCampos();
    EnviaEmailsAosClientes();
    setModalResult(mrOk);
}

void TfrmEmailCFR::falhaDestinatario(const QString &key, const QString &codigo, const QString &nome)
{
    cdsClientes->Locate(u"CDCLIENTE"_s, codigo);
    MensErro(formatMessage(msgPadrao->Msg(key), {nome}), true);
    Abort();
}

void TfrmEmailCFR::ValidaCampos()
{
    const QString remetente = edtRemetente->text();
    if (EmptyString(remetente))
        MensErro(msgPadrao->Msg(u"REMETENTE_N_INF"_s), true);
    if (!ValidaEmails(remetente))
        MensErro(msgPadrao->Msg(u"REMETENTE_EMAIL_INV"_s), true);

    // A cursor of its own: the grid stays where it is while the rows are tested.
    TDataSetCursor copia(*cdsClientes);
    for (copia.First(); !copia.Eof(); copia.Next()) {
        const QString emails = copia.Value(u"DSEMAIL"_s).toString();
        const QString codigo = copia.Value(u"CDCLIENTE"_s).toString();
        const QString nome = copia.Value(u"NMRAZSOCCLIE"_s).toString();
        if (EmptyString(emails))
            falhaDestinatario(u"DESTINATARIO_N_INF"_s, codigo, nome);
        if (!ValidaEmails(emails))
            falhaDestinatario(u"DESTINATARIO_EMAIL_INV"_s, codigo, nome);
    }

    if (EmptyString(edtAssunto->text())) {
        edtAssunto->setFocus(Qt::OtherFocusReason);
        MensErro(msgPadrao->Msg(u"ASSUNTO_N_INF"_s), true);
    }
    if (EmptyString(memMensagem->toPlainText())) {
        memMensagem->setFocus(Qt::OtherFocusReason);
        MensErro(msgPadrao->Msg(u"MENSAGEM_N_INF"_s), true);
    }
}

} // namespace kpr::cfr
