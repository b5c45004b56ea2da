// The selection panel of TfrmCFR: branch, period, clients and service groups, their
// searches, the layout rule of the service-group box and the checks of the output actions.
#include "cfr/screen/cli_kpr04700.h"
#include "cfr/screen/frmcfr.h"
#include "cfr/selection/layoutentry.h"
#include "cfr/selection/selectionrules.h"
#include "framework/core/abort.h"
#include "framework/core/serverresult.h"
#include "framework/core/strings.h"
#include "framework/data/clientdataset.h"
#include "framework/data/datasource.h"
#include "framework/db/adoibquery.h"
#include "framework/widgets/btnpesquisa.h"
#include "framework/widgets/dateeditplus.h"
#include "framework/widgets/maskedit.h"
#include "framework/widgets/pesquisalista.h"
#include "host/rdmcfr.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {

// The system's colours for mandatory fields (clInfoBk) and read-only ones (clBtnFace).
const QColor clInfoBk(0xFF, 0xFF, 0xE1);

void pintaFundo(QWidget *w, const QColor &cor)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Base, cor);
    w->setPalette(p);
}

// The host's OnExit: focus leaving the control for another control of the screen. A
// window that loses activation (a message box coming up, another program) is no exit, or
// the message box of a failed check would run the check again.
class ExitFilter : public QObject
{
public:
    ExitFilter(QWidget *control, std::function<void()> onExit) : QObject(control), m_onExit(std::move(onExit))
    {
        control->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::FocusOut) {
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason
                && reason != Qt::MenuBarFocusReason)
                runGuarded(m_onExit);
        }
        return false;
    }

private:
    std::function<void()> m_onExit;
};

QLabel *rotulo(QWidget *parent, const QString &name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

QRadioButton *opcao(QWidget *parent, const QString &name, const QString &text)
{
    auto *r = new QRadioButton(text, parent);
    r->setObjectName(name);
    return r;
}

TBtnPesquisa *pesquisa(QWidget *parent, const QString &name, const QString &title, const QString &emptyError)
{
    auto *b = new TBtnPesquisa(parent);
    b->setObjectName(name);
    b->setTitle(title);
    b->setEmptyError(emptyError);
    b->setToolTip(u"Pesquisar"_s);
    return b;
}

// A search button whose click runs the screen's own search instead of the button's list.
void substituiClique(TBtnPesquisa *b, std::function<void()> clique)
{
    QObject::disconnect(b, &QAbstractButton::clicked, b, nullptr);
    QObject::connect(b, &QAbstractButton::clicked, b, guarded([clique = std::move(clique)](bool) { clique(); }));
}

} // namespace

void TfrmCFR::criaConsultas()
{
    qryClieFili = new TClientDataSet(u"qryClieFili"_s, this);
    // The list picker draws its own check column; the mark field only travels.
    TField *f = qryClieFili->AddField(u"IDMARCADO"_s, ftFixedChar, 1);
    f->setProviderFlags({});
    f->setVisible(false);
    qryClieFili->AddField(u"CDCLIENTE"_s, ftString, 21)->setVisible(false);
    qryClieFili->AddField(u"IDTPIJURCLIE"_s, ftString, 1)->setVisible(false);
    f = qryClieFili->AddField(u"NRINSJURCLIE"_s, ftString, 20);
    f->setDisplayLabel(u"Inscrição"_s);
    f->OnGetText = [this](const TField &field, bool displayText) {
        return qryClieFiliNRINSJURCLIEGetText(field, displayText);
    };
    qryClieFili->AddField(u"NMRAZSOCCLIE"_s, ftString, 50)->setDisplayLabel(u"Razão Social"_s);
    qryClieFili->AddField(u"NMFANTCLIE"_s, ftString, 50)->setDisplayLabel(u"Nome Fantasia"_s);
    dtsCliente = new TDataSource(u"dtsCliente"_s, qryClieFili, this);

    qryFilial = new TADOIBQuery(u"qryFilial"_s, this);
    qryFilial->setSQL({u"SELECT"_s, u"   CDFILIAL,"_s, u"   NMFILIAL"_s, u"FROM"_s, u"   FILIAL"_s, u"WHERE"_s,
                       u"   (CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T')"_s, u"ORDER BY"_s, u"   CDFILIAL"_s,
                       QString(), u" "_s});
    f = qryFilial->AddField(u"CDFILIAL"_s, ftString, 4);
    f->setRequired(true);
    f->setDisplayLabel(u"Código"_s);
    f->setDisplayWidth(10);
    f->setReadOnly(true);
    f = qryFilial->AddField(u"NMFILIAL"_s, ftString, 30);
    f->setDisplayLabel(u"Nome"_s);
    f->setReadOnly(true);
    qryFilial->ParamByName(u"P_CDFILIAL"_s).setDataType(ftString);
    qryFilial->ParamByName(u"P_TCDFILIAL"_s).setDataType(ftString);
    dtsFilial = new TDataSource(u"dtsFilial"_s, qryFilial, this);

    qryGrupServ = new TADOIBQuery(u"qryGrupServ"_s, this);
    const QStringList grupServ{u"SELECT"_s,      u"   CDGRUPSERV,"_s, u"   NMGRUPSERV"_s, u"FROM"_s,
                               u"   GRUPSERV"_s, u"ORDER BY"_s,       u"   CDGRUPSERV"_s};
    qryGrupServ->setSQL(grupServ);
    qryGrupServ->setSQL_ORACLE(grupServ);
    qryGrupServ->setSQL_MSSQL(grupServ);
    qryGrupServ->setSQL_IB(grupServ);
    f = qryGrupServ->AddField(u"CDGRUPSERV"_s, ftString);
    f->setDisplayLabel(u"Código"_s);
    f->setDisplayWidth(15);
    f = qryGrupServ->AddField(u"NMGRUPSERV"_s, ftString);
    f->setDisplayLabel(u"Nome"_s);
    f->setDisplayWidth(40);
    dtsGrupServ = new TDataSource(u"dtsGrupServ"_s, qryGrupServ, this);
}

void TfrmCFR::criaPainelSelecao()
{
    panFiltro = new QWidget(grbDadosRel);
    panFiltro->setObjectName(u"panFiltro"_s);
    auto *dados = new QVBoxLayout(grbDadosRel);
    dados->setContentsMargins(4, 4, 4, 4);
    dados->addWidget(panFiltro);

    // Branch row: code, search, name.
    lblFilial = rotulo(panFiltro, u"lblFilial"_s, u"Filial"_s);
    medCdFilial = new TMaskEdit(panFiltro);
    medCdFilial->setObjectName(u"medCdFilial"_s);
    medCdFilial->setEditMask(u">aaaa;0; "_s);
    medCdFilial->setFixedWidth(medCdFilial->fontMetrics().horizontalAdvance(u"WWWW"_s) + 14);
    pintaFundo(medCdFilial, clInfoBk);
    lblFilial->setBuddy(medCdFilial);
    btpFilial = pesquisa(panFiltro, u"btpFilial"_s, u"Filial"_s, u"Não há filial cadastrada."_s);
    btpFilial->setDataSource(dtsFilial);
    btpFilial->setAssociate(medCdFilial);
    btpFilial->setKeyField(u"CDFILIAL"_s);
    btpFilial->OnBeforePesq = [this](QObject *sender, bool &flag) { btpFilialBeforePesq(sender, flag); };
    btpFilial->OnAfterPesq = [this](QObject *sender) { btpFilialAfterPesq(sender); };
    edtNmFilial = new QLineEdit(panFiltro);
    edtNmFilial->setObjectName(u"edtNmFilial"_s);
    edtNmFilial->setEnabled(false);
    pintaFundo(edtNmFilial, palette().color(QPalette::Button));

    // Period.
    lblDtInicial = rotulo(panFiltro, u"lblDtInicial"_s, u"Data Inicial"_s);
    lblDtFinal = rotulo(panFiltro, u"lblDtFinal"_s, u"Data Final"_s);
    depDtInicial = new TDateEditPlus(panFiltro);
    depDtInicial->setObjectName(u"depDtInicial"_s);
    depDtFinal = new TDateEditPlus(panFiltro);
    depDtFinal->setObjectName(u"depDtFinal"_s);
    for (TDateEditPlus *d : {depDtInicial, depDtFinal}) {
        d->setFixedWidth(d->fontMetrics().horizontalAdvance(u"00/00/00000"_s) + 34);
        pintaFundo(d, clInfoBk);
    }
    lblDtInicial->setBuddy(depDtInicial);
    lblDtFinal->setBuddy(depDtFinal);

    // Clients.
    grbCliente = new QGroupBox(u"Cliente"_s, panFiltro);
    grbCliente->setObjectName(u"grbCliente"_s);
    rdgTodos = opcao(grbCliente, u"rdgTodos"_s, u"Todos"_s);
    rdgLista = opcao(grbCliente, u"rdgLista"_s, u"Lista"_s);
    btpLista = pesquisa(grbCliente, u"btpLista"_s, u"Cliente"_s, u"Não há cliente cadastrado."_s);
    btpLista->setDataSource(dtsCliente);
    rdgTodos->setChecked(true);
    btpLista->setEnabled(false);

    // Service groups.
    grbGrupServ = new QGroupBox(u"Grupo de Serviço"_s, panFiltro);
    grbGrupServ->setObjectName(u"grbGrupServ"_s);
    rdbGrupServTodos = opcao(grbGrupServ, u"rdbGrupServTodos"_s, u"Todos"_s);
    rdbGrupServLista = opcao(grbGrupServ, u"rdbGrupServLista"_s, u"Lista"_s);
    btpGrupServ =
        pesquisa(grbGrupServ, u"btpGrupServ"_s, u"Grupo de Serviço"_s, u"Não há grupo de serviço cadastrado."_s);
    btpGrupServ->setDataSource(dtsGrupServ);
    rdbGrupServTodos->setChecked(true);
    btpGrupServ->setEnabled(false);

    for (auto [box, todos, lista, botao] : {std::tuple{grbCliente, rdgTodos, rdgLista, btpLista},
                                            std::tuple{grbGrupServ, rdbGrupServTodos, rdbGrupServLista, btpGrupServ}}) {
        auto *l = new QHBoxLayout(box);
        l->setContentsMargins(8, 2, 8, 4);
        l->addWidget(todos);
        l->addSpacing(8);
        l->addWidget(lista);
        l->addWidget(botao);
        l->addStretch(1);
    }

    auto *grid = new QGridLayout(panFiltro);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(2);
    auto *filial = new QHBoxLayout;
    filial->setSpacing(2);
    filial->addWidget(medCdFilial);
    filial->addWidget(btpFilial);
    filial->addSpacing(4);
    filial->addWidget(edtNmFilial, 1);
    grid->addWidget(lblFilial, 0, 0, 1, 2);
    grid->addLayout(filial, 1, 0, 1, 2);
    auto *datas = new QGridLayout;
    datas->setHorizontalSpacing(12);
    datas->setVerticalSpacing(2);
    datas->addWidget(lblDtInicial, 0, 0);
    datas->addWidget(lblDtFinal, 0, 1);
    datas->addWidget(depDtInicial, 1, 0);
    datas->addWidget(depDtFinal, 1, 1);
    datas->setColumnStretch(2, 1);
    grid->addItem(new QSpacerItem(0, 6), 2, 0);
    grid->addLayout(datas, 3, 0, 1, 2);
    grid->addItem(new QSpacerItem(0, 6), 4, 0);
    grid->addWidget(grbCliente, 5, 0);
    grid->addWidget(grbGrupServ, 5, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(6, 1);
    // The panel's client area; the base screen's code label and button panel come around it.
    panFiltro->setFixedSize(476, 168);

    setTabOrder(medCdFilial, depDtInicial);
    setTabOrder(depDtInicial, depDtFinal);
    setTabOrder(depDtFinal, rdgTodos);
    setTabOrder(rdgTodos, rdgLista);
    setTabOrder(rdgLista, rdbGrupServTodos);
    setTabOrder(rdbGrupServTodos, rdbGrupServLista);

    // Handlers.
    connect(medCdFilial, &QLineEdit::textChanged, this,
            guarded([this](const QString &) { medCdFilialChange(medCdFilial); }));
    new ExitFilter(medCdFilial, [this] { medCdFilialExit(medCdFilial); });
    connect(depDtInicial, &TDateEditPlus::Exit, this, guarded([this] { depDtInicialExit(depDtInicial); }));
    connect(depDtFinal, &TDateEditPlus::Exit, this, guarded([this] { depDtFinalExit(depDtFinal); }));
    connect(rdgTodos, &QRadioButton::clicked, this, guarded([this](bool) { rdgTodosClick(rdgTodos); }));
    connect(rdgLista, &QRadioButton::clicked, this, guarded([this](bool) { rdgListaClick(rdgLista); }));
    connect(rdbGrupServTodos, &QRadioButton::clicked, this,
            guarded([this](bool) { rdbGrupServTodosClick(rdbGrupServTodos); }));
    connect(rdbGrupServLista, &QRadioButton::clicked, this,
            guarded([this](bool) { rdbGrupServListaClick(rdbGrupServLista); }));
    substituiClique(btpLista, [this] { btpListaClick(btpLista); });
    substituiClique(btpGrupServ, [this] { btpGrupServClick(btpGrupServ); });
    connect(cbbReportNames, &QComboBox::currentIndexChanged, this,
            guarded([this](int) { cbbReportNamesChange(cbbReportNames); }));
}

// --- Branch ------------------------------------------------------------------------------

void TfrmCFR::medCdFilialChange(QObject *)
{
    edtNmFilial->clear();
}

void TfrmCFR::medCdFilialExit(QObject *)
{
    Vd_Filial(false);
}

void TfrmCFR::btpFilialBeforePesq(QObject *, bool &)
{
    qryFilial->Close();
    qryFilial->ParamByName(u"P_CDFILIAL"_s).Clear();
    qryFilial->ParamByName(u"P_TCDFILIAL"_s).setAsString(u"T"_s);
    qryFilial->Open();
}

void TfrmCFR::btpFilialAfterPesq(QObject *)
{
    // The code first: setting it empties the name.
    medCdFilial->setText(qryFilial->FieldByName(u"CDFILIAL"_s)->AsString());
    edtNmFilial->setText(qryFilial->FieldByName(u"NMFILIAL"_s)->AsString());
}

void TfrmCFR::Vd_Filial(bool obrigatorio)
{
    if (EmptyString(medCdFilial->text())) {
        if (obrigatorio) {
            medCdFilial->setFocus(Qt::OtherFocusReason);
            MensErro(msgPadrao->Msg(u"Filial_inf"_s), true);
        }
        return;
    }
    try {
        medCdFilial->setText(Ajusta(medCdFilial->text(), 4));
        qryFilial->Close();
        qryFilial->ParamByName(u"P_CDFILIAL"_s).setAsString(medCdFilial->text());
        qryFilial->ParamByName(u"P_TCDFILIAL"_s).setAsString(QString());
        qryFilial->Open();
        if (qryFilial->IsEmpty()) {
            medCdFilial->setFocus(Qt::OtherFocusReason);
            MensErro(msgPadrao->Msg(u"Filial_cad"_s), true);
        }
        edtNmFilial->setText(qryFilial->FieldByName(u"NMFILIAL"_s)->AsString());
    } catch (...) {
        // Whatever stopped the look-up, a database error included, the user is sent back
        // to the branch code.
        medCdFilial->setFocus(Qt::OtherFocusReason);
        throw;
    }
}

// --- Period ------------------------------------------------------------------------------

void TfrmCFR::depDtInicialExit(QObject *)
{
    if (!depDtInicial->text().isEmpty())
        depDtInicial->CheckValidDate();
}

void TfrmCFR::depDtFinalExit(QObject *)
{
    if (!depDtFinal->text().isEmpty())
        depDtFinal->CheckValidDate();
}

void TfrmCFR::Vd_Datas()
{
    if (EmptyString(depDtInicial->text())) {
        depDtInicial->setFocus(Qt::OtherFocusReason);
        MensErro(msgPadrao->Msg(u"DtIni_inf"_s), true);
    }
    if (EmptyString(depDtFinal->text())) {
        depDtFinal->setFocus(Qt::OtherFocusReason);
        MensErro(msgPadrao->Msg(u"DtFin_inf"_s), true);
    }
    depDtInicial->CheckValidDate();
    depDtFinal->CheckValidDate();

    const QString falha = falhaPeriodo(depDtInicial->GetDate(), depDtFinal->GetDate(), cbbReportNames->currentIndex());
    if (falha == u"DtIni_maior"_s)
        depDtInicial->setFocus(Qt::OtherFocusReason);
    if (!falha.isEmpty())
        MensErro(msgPadrao->Msg(falha), true);
}

// --- Clients -----------------------------------------------------------------------------

void TfrmCFR::rdgTodosClick(QObject *)
{
    rdgLista->setChecked(!rdgTodos->isChecked());
    btpLista->setEnabled(!rdgTodos->isChecked());
}

void TfrmCFR::rdgListaClick(QObject *)
{
    rdgTodos->setChecked(!rdgLista->isChecked());
    btpLista->setEnabled(rdgLista->isChecked());
}

void TfrmCFR::btpListaClick(QObject *)
{
    qryClieFili->setData(CheckResultServ(rdm().GetClieFili(medCdFilial->text()), true, 0));
    if (qryClieFili->IsEmpty()) {
        rdgLista->setFocus(Qt::OtherFocusReason);
        MensErro(msgPadrao->Msg(u"Cliente_emp"_s), true);
    }
    PesquisaLista(dtsCliente, u"CDCLIENTE"_s, msgPadrao->Msg(u"Cliente"_s), false, ClientesLista);
}

QString TfrmCFR::qryClieFiliNRINSJURCLIEGetText(const TField &, bool)
{
    // The same text for display and for editing.
    return textoInscricao(qryClieFili->FieldByName(u"IDTPIJURCLIE"_s)->AsString(),
                          qryClieFili->FieldByName(u"NRINSJURCLIE"_s)->AsString());
}

// --- Service groups ----------------------------------------------------------------------

void TfrmCFR::rdbGrupServTodosClick(QObject *)
{
    if (rdbGrupServTodos->isChecked())
        btpGrupServ->setEnabled(false);
}

void TfrmCFR::rdbGrupServListaClick(QObject *)
{
    if (rdbGrupServLista->isChecked())
        btpGrupServ->setEnabled(true);
}

void TfrmCFR::btpGrupServClick(QObject *)
{
    GrupServLista.clear();
    qryGrupServ->Close();
    qryGrupServ->Open();
    PesquisaLista(dtsGrupServ, u"CDGRUPSERV"_s, msgPadrao->Msg(u"grupserv"_s), false, GrupServLista);
}

bool TfrmCFR::LayoutGrupServ() const
{
    return isServiceGroupLayout(lblCodRel->text(), layoutNumbers().value(cbbReportNames->currentIndex()));
}

void TfrmCFR::AplicaRegraGrupServ()
{
    if (LayoutGrupServ()) {
        grbGrupServ->setEnabled(true);
        rdbGrupServTodos->setEnabled(true);
        rdbGrupServLista->setEnabled(true);
        btpGrupServ->setEnabled(true);
    } else {
        grbGrupServ->setEnabled(false);
        rdbGrupServTodos->setChecked(true);
        rdbGrupServTodos->setEnabled(false);
        rdbGrupServLista->setEnabled(false);
        btpGrupServ->setEnabled(false);
    }
}

void TfrmCFR::cbbReportNamesChange(QObject *)
{
    AplicaRegraGrupServ();
}

// --- Validation of an output action ------------------------------------------------------

void TfrmCFR::Vd_GrupServ()
{
    if (faltaSelecao(rdbGrupServLista->isChecked(), GrupServLista)) {
        rdbGrupServLista->setFocus(Qt::OtherFocusReason);
        MensErro(msgPadrao->Msg(u"grupserv_naoinfo"_s), true);
    }
}

void TfrmCFR::Validacao()
{
    Vd_Filial(true);
    Vd_Datas();
    if (faltaSelecao(rdgLista->isChecked(), ClientesLista)) {
        rdgLista->setFocus(Qt::OtherFocusReason);
        MensErro(msgPadrao->Msg(u"Clie_inf"_s), true);
    }
}

} // namespace kpr::cfr
