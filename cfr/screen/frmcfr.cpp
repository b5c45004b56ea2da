#include "cfr/screen/frmcfr.h"

#include "cfr/screen/cli_kpr04700.h"
#include "cfr/apuration/statementtables.h"
#include "framework/core/abort.h"
#include "framework/core/serverresult.h"
#include "framework/core/strings.h"
#include "framework/data/clientdataset.h"
#include "framework/db/dataproc.h"
#include "framework/net/netconnection.h"
#include "framework/settings/context.h"
#include "framework/widgets/btnpesquisa.h"
#include "framework/widgets/dateeditplus.h"
#include "framework/widgets/maskedit.h"
#include "framework/widgets/messagedlg.h"
#include "framework/widgets/showavi.h"
#include "host/rdmcfr.h"
#include "host/registroenvios.h"

#include <QComboBox>
#include <QLabel>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QScopeGuard>
#include <QStyle>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

TfrmCFR::TfrmCFR(QWidget *parent) : TfrmDadosGerRel(parent)
{
    setObjectName(u"frmCFR"_s);
    setWindowTitle(u"Conhecimento de Fornecimento de Refeições (CFR)"_s);
    setProperty("HelpFile", u"KprHelp.hlp"_s);
    lblCodTela->setText(u"KPR04700"_s);
    lblCodRel->setText(u"KPR047"_s);

    msgPadrao->setLines({
        u"Filial_inf|Filial deve ser informada."_s,
        u"Filial_cad|Filial não cadastrada."_s,
        u"Cliente|Cliente"_s,
        u"DtIni_inf|Data inicial deve ser informada."_s,
        u"DtFin_inf|Data final deve ser informada."_s,
        u"Cliente_emp|Não há cliente cadastrado."_s,
        u"DtFinal_maior_31|Intervalo entre data inicial e data final deve ser menor ou igual a 31 dias."_s,
        u"DtIni_maior|Data inicial deve ser menor ou igual a data final."_s,
        u"Clie_inf|Cliente deve ser informado."_s,
        u"grupserv|Grupo de Serviço"_s,
        u"grupserv_naoinfo|Grupo de Serviço deve ser informado."_s,
        u"pro_DelTableRelApur|Excluindo registros temporários..."_s,
        u"pro_GeraTableApurFat|Gerando dados para o relatório..."_s,
        u"pro_SalvarCFR|Gerando CFR %s de %s…"_s,
        u"SUFIX_REL_SALVO|CFR"_s,
        u"DIR_REL_SALVOS|CFR\\"_s,
        u"N_HA_ARQ|Não há arquivos a serem enviados."_s,
        u"Arq_Rel_Err|O arquivo contendo a definição do relatório de código '%s' não foi "
        u"encontrado no diretório '%s'."_s,
        u"NovoCaption|Título do relatório"_s,
        u"NovoPrompt|Informe o título do relatório:"_s,
    });

    criaComponentes();
    criaConsultas();
    criaConsultasApuracao();
    criaPainelSelecao();
    ligaRelatorio();

    // The output buttons show their glyphs, their texts as hints, so that the button
    // panel fits under the 476-pixel selection panel.
    for (QToolButton *b : {sbtPrint, sbtPreview, sbtSalvarComo, sbtReportEdit, sbtEnviarEmail}) {
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b->setAutoRaise(false);
    }

    // A single fixed border: the screen keeps the size its panels ask for.
    setFixedSize(sizeHint());
}

TfrmCFR::~TfrmCFR() = default;

void TfrmCFR::criaComponentes()
{
    netCFR = new TNetConnection(this);
    netCFR->setObjectName(u"netCFR"_s);
    netCFR->setServerName(QString::fromUtf16(ServerNameCFR));
    netCFR->setThrowException(false);
    connect(
        netCFR, &TNetConnection::BeforeConnect, this, [this](QObject *sender) { netCFRBeforeConnect(sender); },
        Qt::DirectConnection);
    m_rdm = std::make_unique<RdmCFRConnection>(*netCFR);
    m_registro = std::make_unique<RegistroEnvios>(*netCFR);

    qryCFRSintData = new TClientDataSet(u"qryCFRSintData"_s, this);
    defineCFRSintData(*qryCFRSintData);
    qryCFRSintServ = new TClientDataSet(u"qryCFRSintServ"_s, this);
    defineCFRSintServ(*qryCFRSintServ);

    // Sending by e-mail sits with the base screen's output buttons.
    sbtEnviarEmail = new QToolButton(panBotoes);
    sbtEnviarEmail->setObjectName(u"sbtEnviarEmail"_s);
    sbtEnviarEmail->setText(u"E-mail"_s);
    sbtEnviarEmail->setToolTip(u"Envio de CFR por e-mail"_s);
    sbtEnviarEmail->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    sbtEnviarEmail->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    botoesLayout()->addWidget(sbtEnviarEmail);
    connect(sbtEnviarEmail, &QToolButton::clicked, this,
            guarded([this](bool) { sbtEnviarEmailClick(sbtEnviarEmail); }));
}

QString TfrmCFR::NumeroLayout() const
{
    return layoutNumbers().value(cbbReportNames->currentIndex());
}

void TfrmCFR::FormCreate(QObject *Sender)
{
    TfrmDadosGerRel::FormCreate(Sender);

    // With ThrowException false a refused connection is not raised here: the first call
    // below connects again and its failure, with the reason, goes through CheckResultServ.
    netCFR->setConnected(true);

    lstFiliais = std::make_unique<QStringList>();
    lstApuracoes = std::make_unique<QStringList>();

    // The code first: changing it empties the name.
    medCdFilial->setText(FiliProcFat());
    edtNmFilial->setText(NomeFiliProcFat());
    if (EmptyString(medCdFilial->text())) {
        medCdFilial->setText(FiliProc());
        edtNmFilial->setText(NomeFiliProc());
    }

    depDtInicial->SetDate(DataProc(medCdFilial->text()));
    depDtFinal->SetDate(DataProc(medCdFilial->text()));

    const bool fixa = ModuFili();
    medCdFilial->setEnabled(!fixa);
    btpFilial->setEnabled(!fixa);
    lblFilial->setEnabled(!fixa);

    qryClieFili->setData(CheckResultServ(rdm().GetClieFili(medCdFilial->text()), true, 0));

    qryCFRSintData->CreateDataSet();
    qryCFRSintServ->CreateDataSet();
}

void TfrmCFR::FormActivate(QObject *Sender)
{
    TfrmDadosGerRel::FormActivate(Sender);
    AplicaRegraGrupServ();
}

void TfrmCFR::FormClose(QObject *Sender, TCloseAction &Action)
{
    runGuarded([this] { ApagaArquivosGerados(); });
    {
        // The guard takes the animation down also when a deletion fails; the failure then
        // ends the close here and the screen stays open with both lists as they were.
        ShowAviGuard avi(this, 1, msgPadrao->Msg(u"pro_DelTableRelApur"_s));
        if (lstFiliais && lstApuracoes) {
            for (qsizetype i = 0; i < lstFiliais->size(); ++i)
                CheckResultServ(rdm().ProDelTableRelApur(lstFiliais->at(i), lstApuracoes->value(i)), true, 0);
        }
    }
    netCFR->setConnected(false);
    FormCriado = false;
    ClientesLista.clear();
    qryCFRSintData->Close();
    qryCFRSintServ->Close();
    lstFiliais.reset();
    lstApuracoes.reset();
    TfrmDadosGerRel::FormClose(Sender, Action);
}

void TfrmCFR::netCFRBeforeConnect(QObject *Sender)
{
    // Read at every connect, so a changed address applies from the next one.
    auto *net = qobject_cast<TNetConnection *>(Sender);
    if (!net)
        net = netCFR;
    net->setHost(WebURL());
    net->setPort(WebPort());
    net->setSecretFile(WebSecretFile());
    net->setUseTls(WebTLS());
}

void TfrmCFR::ValidaSaida()
{
    Validacao();
    if (LayoutGrupServ())
        Vd_GrupServ();
}

void TfrmCFR::sbtPrintClick(QObject *Sender)
{
    ValidaSaida();
    GeraTableApurFat();
    TfrmDadosGerRel::sbtPrintClick(Sender);
}

void TfrmCFR::sbtPreviewClick(QObject *Sender)
{
    ValidaSaida();
    GeraTableApurFat();
    TfrmDadosGerRel::sbtPreviewClick(Sender);
}

void TfrmCFR::sbtSalvarComoClick(QObject *Sender)
{
    ValidaSaida();
    GeraTableApurFat();
    TfrmDadosGerRel::sbtSalvarComoClick(Sender);
}

void TfrmCFR::sbtReportEditClick(QObject *Sender)
{
    ValidaSaida();
    GeraTableApurFat();
    TfrmDadosGerRel::sbtReportEditClick(Sender);
}

void TfrmCFR::sbtEnviarEmailClick(QObject *)
{
    ValidaSaida();
    GeraTableApurFat();
    // The statements on disk live as long as this action: also when the e-mail screen
    // cannot be filled or the export stops halfway, nothing is left behind.
    const auto apaga = qScopeGuard([this] { runGuarded([this] { ApagaArquivosGerados(); }); });
    if (SalvarCFR(fPDF, mPorCliente, false, false, true)) {
        if (AbreEmailCFR)
            AbreEmailCFR();
        else
            MensErro(u"O envio por e-mail não está disponível."_s);
    } else {
        MessageDlg(this, msgPadrao->Msg(u"N_HA_ARQ"_s), TMsgDlgType::mtInformation, mbOK);
    }
}

} // namespace kpr::cfr
