#pragma once
// TfrmEmailCFR: the e-mail screen of the meal-supply statement (unit Cli_kpr04701). Modal
// over the report screen, it shows the sender and the clients with data of the last export,
// takes a subject and a body, checks them and sends every client its own PDF. It has no
// server connection: everything of the report it reaches through frmCFR.

#include "framework/screens/frmrotigeral.h"

#include <QHash>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QScrollArea;

namespace kpr {
class TClientDataSet;
class TDataSource;
class TDBGrid;
} // namespace kpr

namespace kpr::cfr {

class TfrmEmailCFR : public TfrmRotiGeral
{
    Q_OBJECT

public:
    explicit TfrmEmailCFR(QWidget *parent = nullptr);
    ~TfrmEmailCFR() override;

    // --- Components.
    TClientDataSet *cdsClientes;
    TDataSource *dtsClientes;
    TClientDataSet *cdsEmailFilial;
    QLabel *lblRemetente;
    QLineEdit *edtRemetente;
    QCheckBox *chbServSMTP;
    QLabel *lblDestinatarios;
    QScrollArea *scbDestinatario;
    TDBGrid *dbgDestinatario;
    QLabel *lblAssunto;
    QLineEdit *edtAssunto;
    QLabel *lblMensagem;
    QPlainTextEdit *memMensagem;
    // How many messages the run has sent so far.
    QLabel *lblEnviados;

    // The status column: per client code, the last send on record of the identical statement.
    QString SituacaoCliente(const QString &codigo) const { return m_situacao.value(codigo.trimmed()); }

    // --- Filling, once each at creation.
    void PreencheRemetente();
    void PreencheDestinatarios();

    // --- Handlers.
    void sbtConfirmaClick(QObject *Sender) override;
    void cdsClientesBeforeEdit(TClientDataSet &DataSet);
    void cdsClientesBeforeInsert(TClientDataSet &DataSet);
    void dbgDestinatarioKeyDown(QObject *Sender, int &Key, Qt::KeyboardModifiers Shift);
    void FormKeyDown(QObject *Sender, int &Key, Qt::KeyboardModifiers Shift) override;
    void FormKeyPress(QObject *Sender, QChar &Key) override;
    void FormClose(QObject *Sender, TCloseAction &Action) override;

    // --- Checks and the send run.
    void ValidaCampos();
    void EnviaEmailsAosClientes();
    bool ConfirmaEnvio();
    // The full path of the client's PDF as the export recorded it; "" when it has none.
    QString LocalizaAnexo(const QString &codigo);
    void LeDadosSMTP(const QString &filial, QString &login, QString &senha, QString &host, QString &porta,
                     QString &modo);
    // Answers the server's reply to the message.
    QString EnviaPorSMTP(const QString &filial, const QString &remetente, const QString &assunto, const QString &anexo,
                         const QString &destinatarios, const QString &corpo);
    void EnviaPorMAPI(const QString &assunto, const QString &corpo, const QString &destinatarios, const QString &anexo);
    QString MensagemMAPI(int codigo) const;

private:
    void criaComponentes();
    // Reads the send log of the run's statements into the status column.
    void CarregaSituacao();
    void mostraSituacao(const QString &codigo, const QString &texto);
    // Positions cdsClientes on the client of that code (the grid follows) and reports the
    // message of key with the client's name.
    [[noreturn]] void falhaDestinatario(const QString &key, const QString &codigo, const QString &nome);

    QHash<QString, QString> m_impressoes; // client code → fingerprint of its statement
    QHash<QString, QString> m_situacao;   // client code → status text
};

} // namespace kpr::cfr
