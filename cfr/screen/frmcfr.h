#pragma once
// TfrmCFR: the report screen of the meal-supply statement (unit Cli_kpr04700). Its
// lifecycle (creation defaults, activation, close) lives in cfr/screen/, the selection
// panel with its searches and checks in cfr/selection/; both are members of this one
// screen, as the handlers of a form are.

#include "framework/screens/frmdadosgerrel.h"

#include <QStringList>

#include <memory>

class QGroupBox;
class QLineEdit;
class QRadioButton;
class QToolButton;

namespace kpr {
class TBtnPesquisa;
class TClientDataSet;
class TADOIBQuery;
class TDataSource;
class TDateEditPlus;
class TField;
class TMaskEdit;
class TNetConnection;
class TParams;
} // namespace kpr

namespace kpr::cfr {

class RdmCFR;

class TfrmCFR : public TfrmDadosGerRel
{
    Q_OBJECT

public:
    explicit TfrmCFR(QWidget *parent = nullptr);
    ~TfrmCFR() override;

    // --- Components.
    TNetConnection *netCFR;
    TClientDataSet *qryClieFili;
    TClientDataSet *qryCFRSintData;
    TClientDataSet *qryCFRSintServ;
    // The working tables of the apuration run.
    TClientDataSet *qryClieSelect;
    TClientDataSet *qryServSelect;
    TClientDataSet *qryQtdeEfetData;
    TClientDataSet *qryTotal;
    TClientDataSet *qryQtdeEfetServ;
    TADOIBQuery *qryFilial;
    TADOIBQuery *qryGrupServ;
    TDataSource *dtsFilial;
    TDataSource *dtsGrupServ;
    TDataSource *dtsCliente;

    // --- Selection panel.
    QWidget *panFiltro;
    QLabel *lblFilial;
    TMaskEdit *medCdFilial;
    TBtnPesquisa *btpFilial;
    QLineEdit *edtNmFilial;
    QLabel *lblDtInicial;
    QLabel *lblDtFinal;
    TDateEditPlus *depDtInicial;
    TDateEditPlus *depDtFinal;
    QGroupBox *grbCliente;
    QRadioButton *rdgTodos;
    QRadioButton *rdgLista;
    TBtnPesquisa *btpLista;
    QGroupBox *grbGrupServ;
    QRadioButton *rdbGrupServTodos;
    QRadioButton *rdbGrupServLista;
    TBtnPesquisa *btpGrupServ;
    QToolButton *sbtEnviarEmail;

    // The typed calls of Kpr04700.rdmCFR over netCFR.
    RdmCFR &rdm() const { return *m_rdm; }

    // --- Lifecycle.
    void FormCreate(QObject *Sender) override;
    void FormActivate(QObject *Sender) override;
    void FormClose(QObject *Sender, TCloseAction &Action) override;
    void netCFRBeforeConnect(QObject *Sender);

    // --- Selection panel handlers.
    void medCdFilialChange(QObject *Sender);
    void medCdFilialExit(QObject *Sender);
    void btpFilialBeforePesq(QObject *Sender, bool &flag);
    void btpFilialAfterPesq(QObject *Sender);
    void depDtInicialExit(QObject *Sender);
    void depDtFinalExit(QObject *Sender);
    void rdgTodosClick(QObject *Sender);
    void rdgListaClick(QObject *Sender);
    void btpListaClick(QObject *Sender);
    void rdbGrupServTodosClick(QObject *Sender);
    void rdbGrupServListaClick(QObject *Sender);
    void btpGrupServClick(QObject *Sender);
    void cbbReportNamesChange(QObject *Sender);
    QString qryClieFiliNRINSJURCLIEGetText(const TField &Sender, bool DisplayText);

    // --- Checks. Each failure shows its message and ends the action (silent abort).
    void Vd_Filial(bool obrigatorio);
    void Vd_Datas();
    void Vd_GrupServ();
    void Validacao();

    // The selected entry of cbbReportNames is the service-group layout ("08").
    bool LayoutGrupServ() const;
    // Enables or disables the service-group box by the selected layout.
    void AplicaRegraGrupServ();

    // --- Output actions: the checks, the apuration run, then the base handler.
    void sbtPrintClick(QObject *Sender) override;
    void sbtPreviewClick(QObject *Sender) override;
    void sbtSalvarComoClick(QObject *Sender) override;
    void sbtReportEditClick(QObject *Sender) override;
    virtual void sbtEnviarEmailClick(QObject *Sender);

    // The apuration run that fills the statement tables before a report or an export.
    virtual void GeraTableApurFat();

    // --- The report dialog's events: the layout's query parameters, and the removal of the
    // stored by-date statement once a print or a preview has finished.
    void rpddPadraoBeforeGetQueryParams(QObject *Sender, TParams &Params, bool &Handled);
    void rpddPadraoQRPAfterPrint(QObject *Sender);
    void rpddPadraoQRPAfterPreview(QObject *Sender);

protected:
    // The checks every output action runs first: Validacao, then Vd_GrupServ for the
    // service-group layout.
    void ValidaSaida();


private:
    void criaComponentes();
    void criaPainelSelecao();
    void criaConsultas();
    void criaConsultasApuracao();
    // Hands the statement tables to the report dialog and takes its events.
    void ligaRelatorio();
    // True when the parameter set the report dialog opened holds a parameter of that name.
    bool existeParametro(const TParams &Params, const QString &nome) const;

    std::unique_ptr<RdmCFR> m_rdm;
};

} // namespace kpr::cfr
