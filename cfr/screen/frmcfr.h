#pragma once
// TfrmCFR: the report screen of the meal-supply statement (unit Cli_kpr04700), with its
// selection panel, the apuration run, the report dialog's events and the per-client export.
// Its handlers are spread over the files of this folder by job; the rules they apply live in
// cfr/selection, cfr/apuration and cfr/report, which know nothing of the screen.

#include "cfr/report/arquivoscfr.h"
#include "framework/screens/frmdadosgerrel.h"

#include <QJsonValue>

#include <QStringList>

#include <functional>
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
class TgtExPDFLote;
} // namespace kpr

namespace kpr::cfr {

class RdmCFR;
class RegistroEnvios;

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
    // The send log of the statements e-mailed, over netCFR.
    RegistroEnvios &registroEnvios() const { return *m_registro; }
    // The number of the selected layout ("01"), or "".
    QString NumeroLayout() const;

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

    // --- Per-client export and its files.
    // Exports the selected layout: in mUnico one file for the selection as it stands, in
    // mPorCliente one file per client with data, the client selection narrowed to that
    // client for each. The first flag shows the PDF options, the second opens each file;
    // the third has no effect. True when the output directory then holds a file.
    bool SalvarCFR(TFormato formato, TModo modo, bool configura, bool abre, bool);
    // The packet of the clients with data for the selection and the branch's apuration.
    QJsonValue getClientesComDados();
    // The packet of the branch's e-mail settings.
    QJsonValue getEmailFilial(const QString &filial);
    QString GetWorkDir() const;
    QString trataNome(const QString &texto) const;
    QString ExtensaoFormato(TFormato formato) const;
    // Where the last export wrote: a folder of its own below the work directory followed
    // by DIR_REL_SALVOS (that output directory itself before any export).
    QString DiretorioSaida() const;
    // The file the last per-client export wrote for the client code (full path), or "".
    QString ArquivoDoCliente(const QString &codigo) const;
    // Deletes the generated files and their folder and, when it is then empty, the output
    // directory.
    void ApagaArquivosGerados();
    // The fingerprint of each client's statement in the tables of the last run (client code
    // → fingerprint), by the family of the selected layout and the service groups chosen.
    QHash<QString, QString> ImpressoesCFR() const;
    // The same, read from the screen now and computed when called: the call only reads the
    // statement table, so it may run on another thread while nothing changes that table (a
    // per-client export only reads it).
    std::function<QHash<QString, QString>()> CalculoImpressoesCFR() const;
    // Called during a per-client export without dialog or viewer, each time a part of its
    // batch has been written, with the full paths of the files now complete: a caller may
    // start sending them while the rest is painted. Runs on the export's thread.
    std::function<void(const QStringList &arquivos)> AoConcluirArquivos;
    // How many files such an export writes as one part (at least 1).
    int DocumentosPorParte = 100;

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
    QString NovaPastaExportacao();
    void exportaArquivo(TFormato formato, const QString &arquivo, bool configura, bool abre, const QString &titulo,
                        TgtExPDFLote *lote);

    std::unique_ptr<RdmCFR> m_rdm;
    std::unique_ptr<RegistroEnvios> m_registro;
    NomesArquivosCFR m_arquivos;
    QString m_exportacao; // the folder of the last export, with a trailing separator
};

} // namespace kpr::cfr
