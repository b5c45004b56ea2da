// The e-mail screen end to end: demo data on SQLite, the real kpr-appserver, the CFR screen's
// e-mail button (checks, apuration, per-client export), the modal e-mail screen with its
// checks, and the send run to a real SMTP server on loopback (STARTTLS and AUTH) or to the
// desktop's mail program through xdg-email with a recording MAILER.
#include "cfr/screen/cli_kpr04700.h"
#include "cfr/screen/frmcfr.h"
#include "email/cli_kpr04701.h"
#include "email/frmemailcfr.h"
#include "framework/core/abort.h"
#include "framework/core/cripto.h"
#include "framework/data/clientdataset.h"
#include "framework/data/field.h"
#include "framework/db/dtmdbgeral.h"
#include "framework/net/netconnection.h"
#include "framework/settings/context.h"
#include "framework/settings/registry.h"
#include "framework/widgets/dateeditplus.h"
#include "framework/widgets/dbgrid.h"
#include "framework/widgets/kprapplication.h"
#include "framework/widgets/messagedlg.h"
#include "host/registroenvios.h"
#include "mailreader.h"
#include "tests/support/demoservidor.h"
#include "tests/support/pdftext.h"
#include "tests/support/smtpserver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRadioButton>
#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

extern "C" int PackageLoad();
extern "C" void PackageUnload();
extern "C" void IniProc();

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::cfr;
using kpr::test::AppServerProcess;
using kpr::test::SmtpServer;

class TstEmailCfr : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    kpr::test::DemoServidor m_demo{QString::fromUtf8(KPR_DEMODATA_EXE), QString::fromUtf8(KPR_APPSERVER_EXE),
                                   QString::fromUtf8(KPR_LAYOUTS_DIR)};
    AppServerProcess *m_server = nullptr;
    std::unique_ptr<SmtpServer> m_smtp;
    QStringList m_errors;
    QStringList m_boxes;
    int m_answer = mrMsgYes;
    QString m_saida;
    QMap<QString, QString> m_razao;  // client code → razão social
    QMap<QString, QString> m_emails; // client code → DSEMAIL

    bool sql(const QString &s, const QVariantList &v = {}) { return m_demo.sql(s, v); }

    void apontaSmtp(const SmtpServer &s)
    {
        QVERIFY(
            sql(u"UPDATE FILIAL SET DSSMTPEMAILF = ?, IDUTTLSEMAIL = 'S', IDUTSSLEMAIL = 'N', DSLOGINSMTP = 'cfr', "
                "CDSENHEMAILF = ?, DSEMAILSMTP = 'cfr@restaurante.com.br', DSEMAILFILI = 'filial@restaurante.com.br' "
                "WHERE CDFILIAL = '0001'"_s,
                {u"127.0.0.1:"_s + s.portText(), Cripto(u"segredo"_s, ChaveCripto)}));
    }

    TfrmCFR *abre(QDate inicio = QDate(2024, 3, 1), QDate fim = QDate(2024, 3, 10), const QStringList &clientes = {})
    {
        IniProc();
        TfrmCFR *f = frmCFR.data();
        if (!f)
            return nullptr;
        f->cbbReportNames->setCurrentIndex(2);
        f->depDtInicial->SetDate(inicio);
        f->depDtFinal->SetDate(fim);
        f->rdgTodos->setChecked(clientes.isEmpty());
        f->rdgLista->setChecked(!clientes.isEmpty());
        ClientesLista.clear();
        for (const QString &c : clientes)
            ClientesLista += u'_' + c + u'_';
        return f;
    }

    // Presses the e-mail button; fn runs on the e-mail screen once it shows, which is closed
    // afterwards when fn left it open. Answers whether a screen showed.
    bool enviaEmail(TfrmCFR *f, const std::function<void(TfrmEmailCFR *)> &fn)
    {
        bool mostrou = false;
        auto *t = new QTimer(this);
        connect(t, &QTimer::timeout, this, [&, t] {
            TfrmEmailCFR *e = frmEmailCFR.data();
            if (!e || !e->isVisible())
                return;
            t->stop();
            mostrou = true;
            QPointer<TfrmEmailCFR> guarda(e);
            fn(e);
            if (guarda && guarda->isVisible())
                guarda->close();
        });
        t->start(10);
        f->sbtEnviarEmail->click();
        delete t;
        return mostrou;
    }

    void preenche(TfrmEmailCFR *e, const QString &assunto, const QString &corpo)
    {
        e->edtAssunto->setText(assunto);
        e->memMensagem->setPlainText(corpo);
    }

    // The file of a client's PDF attachment read back, or "".
    QString textoDoAnexo(const kpr::test::ReadMessage &m)
    {
        if (m.attachments.size() != 1)
            return QString();
        QFile pdf(m_dir.filePath(u"anexo.pdf"_s));
        if (!pdf.open(QIODevice::WriteOnly))
            return QString();
        pdf.write(m.attachments[0].data);
        pdf.close();
        return pdfText(pdf.fileName());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const Status up = m_demo.inicia(m_dir.path(), {});
        QVERIFY2(up, qPrintable(up.error()));
        m_server = &m_demo.servidor();
        m_saida = m_demo.saida();
        m_saida.chop(1);
        QSqlQuery q(dtmDBGeral::database());
        QVERIFY(q.exec(u"SELECT CDCLIENTE, NMRAZSOCCLIE FROM CLIENTE ORDER BY CDCLIENTE"_s));
        int i = 0;
        while (q.next()) {
            const QString codigo = q.value(0).toString();
            m_razao.insert(codigo, q.value(1).toString());
            ++i;
            m_emails.insert(codigo,
                            i == 3 ? u"compras@c3.com.br; financeiro@c3.com.br"_s : u"cfr@cliente%1.com.br"_s.arg(i));
            QVERIFY(sql(u"UPDATE CLIENTE SET DSEMAIL = ? WHERE CDCLIENTE = ?"_s, {m_emails.value(codigo), codigo}));
        }
        QCOMPARE(m_razao.size(), 6);

        m_smtp = std::make_unique<SmtpServer>(
            SmtpServer::Options{.mode = SmtpServer::Mode::StartTls, .user = u"cfr"_s, .password = u"segredo"_s});
        const Status smtp = m_smtp->start();
        QVERIFY2(smtp, qPrintable(smtp.error()));
        qputenv("SSL_CERT_FILE", SmtpServer::caFile().toLocal8Bit());
        apontaSmtp(*m_smtp);
        setErrorPresenter([this](const QString &t) { m_errors << t; });
        setMessageDlgAnswerer([this](const QString &t, TMsgDlgType, TMsgDlgButtons) {
            m_boxes << t;
            return m_answer;
        });
        PackageLoad();
    }

    void cleanup()
    {
        if (frmCFR)
            frmCFR->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_errors.clear();
        m_boxes.clear();
        m_answer = mrMsgYes;
        qunsetenv("MAILER");
    }

    void cleanupTestCase()
    {
        PackageUnload();
        QVERIFY(m_demo.para());
    }

    // No client with data: the information box, and no e-mail screen.
    void semArquivos()
    {
        TfrmCFR *f = abre(QDate(2025, 1, 1), QDate(2025, 1, 5));
        QVERIFY(f);
        QVERIFY(!enviaEmail(f, [](TfrmEmailCFR *) {}));
        QCOMPARE(m_boxes, QStringList{u"Não há arquivos a serem enviados."_s});
        QVERIFY(m_errors.isEmpty());
        QVERIFY(!frmEmailCFR);
    }

    // The screen as it opens, its read-only grid, the checks of subject and body with the
    // focus left there, Ctrl+Enter, and a "No" that closes it and deletes the files.
    void telaAoAbrir()
    {
        TfrmCFR *f = abre();
        QVERIFY(f);
        QPointer<TfrmEmailCFR> primeira;
        const bool mostrou = enviaEmail(f, [&](TfrmEmailCFR *e) {
            primeira = e;
            QCOMPARE(e->objectName(), u"frmEmailCFR"_s);
            QCOMPARE(e->windowTitle(), u"Envio de CFR por e-mail"_s);
            QCOMPARE(e->lblCodTela->text(), u"KPR04701"_s);
            QCOMPARE(e->windowModality(), Qt::ApplicationModal);
            QCOMPARE(e->edtRemetente->text(), u"cfr@restaurante.com.br"_s);
            QVERIFY(!e->edtRemetente->isEnabled() && e->edtRemetente->focusPolicy() == Qt::NoFocus);
            QVERIFY(e->chbServSMTP->isChecked());
            QCOMPARE(e->cdsClientes->RecordCount(), 6);
            QCOMPARE(QDir(frmCFR->DiretorioSaida()).entryList(QDir::Files).size(), 6);
            QStringList titulos;
            for (int c = 0; c < e->dbgDestinatario->model()->columnCount(); ++c)
                titulos << e->dbgDestinatario->model()->headerData(c, Qt::Horizontal).toString();
            // The three columns of the recipients, then the send log's status.
            QCOMPARE(titulos, (QStringList{u"Inscrição Jurídica"_s, u"Razão Social"_s, u"E-mail"_s, u"Situação"_s}));

            // Tab order: subject, body, check box, grid (the sender takes no focus).
            QList<QWidget *> ordem;
            const QList<QWidget *> controles{e->edtAssunto, e->memMensagem, e->chbServSMTP, e->edtRemetente,
                                             e->dbgDestinatario};
            for (QWidget *w = e->edtAssunto; ordem.size() < 4; w = w->nextInFocusChain())
                if (controles.contains(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && !ordem.contains(w))
                    ordem << w;
            QCOMPARE(ordem, (QList<QWidget *>{e->edtAssunto, e->memMensagem, e->chbServSMTP, e->dbgDestinatario}));

            // Typing in a cell, Down on the last row and Ctrl+Delete change nothing.
            const QByteArray antes = e->cdsClientes->dataPacketJson();
            TDBGrid *g = e->dbgDestinatario;
            g->setCurrentIndex(g->model()->index(0, 2));
            QTest::keyClicks(g, u"x@y.com"_s);
            QTest::keyClick(g, Qt::Key_Return);
            g->setCurrentIndex(g->model()->index(5, 1));
            QTest::keyClick(g, Qt::Key_Down);
            QTest::keyClick(g, Qt::Key_Delete, Qt::ControlModifier);
            QCOMPARE(e->cdsClientes->dataPacketJson(), antes);
            QCOMPARE(g->model()->rowCount(), 6);

            // Subject, then body: each check names its field and leaves the focus there.
            e->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(e));
            e->edtAssunto->setFocus();
            m_errors.clear();
            QTest::keyClick(e->edtAssunto, Qt::Key_Return, Qt::ControlModifier); // Ctrl+Enter confirms
            QCOMPARE(m_errors, QStringList{u"Informe um assunto para o e-mail."_s});
            QCOMPARE(e->focusWidget(), e->edtAssunto);
            preenche(e, u"CFR de março"_s, u"   "_s);
            e->sbtConfirma->click();
            QCOMPARE(m_errors.last(), u"Informe o corpo do e-mail a ser enviado."_s);
            QCOMPARE(e->focusWidget(), e->memMensagem);
            QVERIFY(e->isVisible());

            // "No" closes the screen, sends nothing, and the files go.
            preenche(e, u"CFR de março"_s, u"Segue o CFR."_s);
            m_answer = mrMsgNo;
            const int antesMsgs = int(m_smtp->messages().size());
            e->sbtConfirma->click();
            QCOMPARE(m_boxes.last(), u"Confirma envio dos relatórios gerados aos clientes?"_s);
            QCOMPARE(int(m_smtp->messages().size()), antesMsgs);
            QVERIFY(!e->isVisible());
        });
        QVERIFY(mostrou);
        QVERIFY(!QDir(m_saida).exists());
        QCOMPARE(m_errors.size(), 2);

        // A second click: a new screen, its recipients those of this click.
        m_errors.clear();
        f->rdgLista->setChecked(true);
        ClientesLista = u"_0000000002_"_s;
        QVERIFY(enviaEmail(f, [&](TfrmEmailCFR *e) {
            QVERIFY(e != primeira);
            QCOMPARE(e->cdsClientes->RecordCount(), 1);
            QCOMPARE(e->cdsClientes->FieldByName(u"CDCLIENTE"_s)->AsString(), u"0000000002"_s);
        }));
        // Closed by its window button: the files go too.
        QVERIFY(!QDir(m_saida).exists());
    }

    // The sender: DSEMAILSMTP when filled, else DSEMAILFILI; reported on confirm when empty
    // or not an address (also with the desktop's mail program chosen).
    void remetente_data()
    {
        QTest::addColumn<QString>("smtp");
        QTest::addColumn<QString>("fili");
        QTest::addColumn<QString>("mostrado");
        QTest::addColumn<QString>("erro");
        QTest::newRow("sender filled") << u"cfr@r.com.br"_s << u"filial@r.com.br"_s << u"cfr@r.com.br"_s << QString();
        QTest::newRow("sender blank") << u"  "_s << u"filial@r.com.br"_s << u"filial@r.com.br"_s << QString();
        QTest::newRow("none")
            << QString() << QString() << QString()
            << u"E-mail do remetente não encontrado. Confira os dados de e-mail no cadastro da filial "
               "(página Endereço) e tente novamente."_s;
        QTest::newRow("not an address") << u"cfr em r.com"_s << QString() << u"cfr em r.com"_s
                                        << u"E-mail do remetente não é um e-mail válido."_s;
    }

    void remetente()
    {
        QFETCH(QString, smtp);
        QFETCH(QString, fili);
        QFETCH(QString, mostrado);
        QFETCH(QString, erro);
        QVERIFY(sql(u"UPDATE FILIAL SET DSEMAILSMTP = ?, DSEMAILFILI = ? WHERE CDFILIAL = '0001'"_s,
                    {smtp.isNull() ? QVariant() : QVariant(smtp), fili.isNull() ? QVariant() : QVariant(fili)}));
        TfrmCFR *f = abre();
        QVERIFY(f);
        m_answer = mrMsgNo;
        QVERIFY(enviaEmail(f, [&](TfrmEmailCFR *e) {
            QCOMPARE(e->edtRemetente->text(), mostrado);
            e->chbServSMTP->setChecked(false);
            preenche(e, u"CFR"_s, u"Segue."_s);
            e->sbtConfirma->click();
        }));
        QCOMPARE(m_errors, erro.isEmpty() ? QStringList() : QStringList{erro});
        apontaSmtp(*m_smtp);
    }

    // Recipients: the first failing client in table order is named and shown in the grid.
    void destinatarios_data()
    {
        QTest::addColumn<QString>("quarto");
        QTest::addColumn<QString>("quinto");
        QTest::addColumn<QString>("chave");
        QTest::newRow("two without address") << u""_s << QString()
                                             << u"E-mail do cliente %1 não encontrado. Confira o "
                                                "cadastro do cliente e tente novamente."_s;
        QTest::newRow("digit 3 at the top")
            << u"x@y.co3"_s << u""_s << u"E-mail do cliente %1 não é um e-mail válido."_s;
    }

    void destinatarios()
    {
        QFETCH(QString, quarto);
        QFETCH(QString, quinto);
        QFETCH(QString, chave);
        QVERIFY(sql(u"UPDATE CLIENTE SET DSEMAIL = ? WHERE CDCLIENTE = '0000000004'"_s, {quarto}));
        QVERIFY(sql(u"UPDATE CLIENTE SET DSEMAIL = ? WHERE CDCLIENTE = '0000000005'"_s,
                    {quinto.isNull() ? QVariant() : QVariant(quinto)}));
        TfrmCFR *f = abre();
        QVERIFY(f);
        QVERIFY(enviaEmail(f, [&](TfrmEmailCFR *e) {
            e->cdsClientes->First();
            preenche(e, u"CFR"_s, u"Segue."_s);
            e->sbtConfirma->click();
            QCOMPARE(e->cdsClientes->FieldByName(u"CDCLIENTE"_s)->AsString(), u"0000000004"_s);
            QCOMPARE(e->dbgDestinatario->currentIndex().row(), 3);
            QVERIFY(e->isVisible());
        }));
        QCOMPARE(m_errors, QStringList{chave.arg(m_razao.value(u"0000000004"_s))});
        for (const QString &c : {u"0000000004"_s, u"0000000005"_s})
            QVERIFY(sql(u"UPDATE CLIENTE SET DSEMAIL = ? WHERE CDCLIENTE = ?"_s, {m_emails.value(c), c}));
    }

    // Five clients over STARTTLS with AUTH: one message each, with one RCPT per address, the
    // decoded sender, subject and body, and the client's own PDF as the only attachment. The
    // settings are read again for every message.
    void envioSmtp()
    {
        const QStringList cinco{u"0000000001"_s, u"0000000002"_s, u"0000000003"_s, u"0000000005"_s, u"0000000006"_s};
        TfrmCFR *f = abre(QDate(2024, 3, 1), QDate(2024, 3, 10), cinco);
        QVERIFY(f);
        const int antes = int(m_smtp->messages().size());
        const int chamadas = m_server->traceCount();
        const QString pastaAtual = QDir::currentPath();
        QVERIFY(enviaEmail(f, [&](TfrmEmailCFR *e) {
            preenche(e, u"Relatório CFR – março"_s, u"Prezado cliente,\nsegue o CFR de março.\n.\nAtenciosamente"_s);
            e->sbtConfirma->click();
            QVERIFY(!e->isVisible());
        }));
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
        QCOMPARE(QDir::currentPath(), pastaAtual); // attachments by full path: the process stays put
        int emailFilial = 0;
        for (const auto &c : m_server->trace(chamadas))
            emailFilial += c.method == u"EmailFilial"_s;
        QCOMPARE(emailFilial, 6); // the sender at creation, then once per message

        const QList<kpr::test::SmtpMessage> msgs = m_smtp->messages().mid(antes);
        QCOMPARE(msgs.size(), 5);
        for (int i = 0; i < 5; ++i) {
            const QString codigo = cinco[i];
            QCOMPARE(msgs[i].mailFrom, u"cfr@restaurante.com.br"_s);
            QStringList enderecos = m_emails.value(codigo).split(u';');
            for (QString &a : enderecos)
                a = a.trimmed();
            QCOMPARE(msgs[i].rcptTos, enderecos);
            const kpr::test::ReadMessage m = kpr::test::readMessage(msgs[i].data);
            QVERIFY2(m.error.isEmpty(), qPrintable(m.error));
            QCOMPARE(m.from, u"cfr@restaurante.com.br"_s);
            QCOMPARE(m.subject, u"Relatório CFR – março"_s);
            QVERIFY(m.to.isEmpty());
            QCOMPARE(m.texts.value(0).trimmed(), u"Prezado cliente,\nsegue o CFR de março.\n.\nAtenciosamente"_s);
            const QString pdf = textoDoAnexo(m);
            for (auto it = m_razao.cbegin(); it != m_razao.cend(); ++it)
                QVERIFY2(pdf.contains(it.value()) == (it.key() == codigo), qPrintable(codigo + u' ' + it.value()));
        }
        QVERIFY(!QDir(m_saida).exists());

        // The next screen for the same statements shows who already has theirs.
        QVERIFY(enviaEmail(abre(), [&](TfrmEmailCFR *e) {
            const QString hoje = QDate::currentDate().toString(u"dd/MM/yyyy"_s);
            for (const QString &c : m_razao.keys())
                QVERIFY2(e->SituacaoCliente(c).startsWith(u"Enviado em "_s + hoje) == cinco.contains(c),
                         qPrintable(c + u": "_s + e->SituacaoCliente(c)));
            QCOMPARE(e->dbgDestinatario->model()->index(0, 3).data().toString(), e->SituacaoCliente(cinco[0]));
        }));
    }

    // A statement another workstation is sending at that moment is left to it, its row saying
    // so; the others go out and the run completes.
    void outraEstacao()
    {
        TfrmCFR *f = abre(QDate(2024, 3, 11), QDate(2024, 3, 20));
        QVERIFY(f);
        const int antes = int(m_smtp->messages().size());
        QVERIFY(enviaEmail(f, [&](TfrmEmailCFR *e) {
            TNetConnection net;
            net.setHost(m_server->host());
            net.setPort(m_server->port());
            net.setServerName(u"Kpr04700.rdmCFR"_s);
            RegistroEnvios outra(net);
            const Result<Reserva> r = outra.ReservaEnvio(u"0001"_s, QDate(2024, 3, 11), QDate(2024, 3, 20), u"02"_s,
                                                         u"0000000002"_s, f->ImpressoesCFR().value(u"0000000002"_s),
                                                         m_emails.value(u"0000000002"_s), u"CAIXA-02"_s, Reenvio::Nao);
            QVERIFY2(r && r->resultado == ResultadoReserva::Reservado, qPrintable(r.error()));
            preenche(e, u"CFR"_s, u"Segue."_s);
            e->sbtConfirma->click();
            QCOMPARE(e->SituacaoCliente(u"0000000002"_s), u"Em envio em outra estação (CAIXA-02)"_s);
            QVERIFY(e->SituacaoCliente(u"0000000001"_s).startsWith(u"Enviado em "_s));
            QCOMPARE(e->lblEnviados->text(), u"Enviados: 5 de 6"_s);
        }));
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
        QCOMPARE(int(m_smtp->messages().size()), antes + 5);
    }

    // A refusal at any step stops the run on the client it happened to, with the step's
    // prefix and the server's reason; the clients before it got theirs and the screen stays
    // open with the grid on the failing client.
    void recusa_data()
    {
        QTest::addColumn<QString>("senha");
        QTest::addColumn<QString>("recusaRemetente");
        QTest::addColumn<QString>("recusaDestinatario");
        QTest::addColumn<QString>("recusaAssunto");
        QTest::addColumn<bool>("caiNosDados");
        QTest::addColumn<QString>("prefixo");
        QTest::addColumn<int>("linha");
        const QString c4 = u"cfr@cliente4.com.br"_s;
        QTest::newRow("login") << u"errada"_s << QString() << QString() << QString() << false
                               << u"Login Exception->5.7.8"_s << 0;
        QTest::newRow("MAIL") << QString() << u"cfr@restaurante.com.br"_s << QString() << QString() << false
                              << u"MailFrom Exception->5.1.8"_s << 0;
        QTest::newRow("RCPT") << QString() << QString() << c4 << QString() << false << u"MailTo Exception->5.1.1"_s
                              << 3;
        QTest::newRow("DATA") << QString() << QString() << QString() << u"CFR"_s << false
                              << u"MailData Exception->5.7.1"_s << 0;
        QTest::newRow("dropped in DATA") << QString() << QString() << QString() << QString() << true
                                         << u"MailData Exception->"_s << 0;
    }

    void recusa()
    {
        QFETCH(QString, senha);
        QFETCH(QString, recusaRemetente);
        QFETCH(QString, recusaDestinatario);
        QFETCH(QString, recusaAssunto);
        QFETCH(bool, caiNosDados);
        QFETCH(QString, prefixo);
        QFETCH(int, linha);
        SmtpServer servidor(SmtpServer::Options{.mode = SmtpServer::Mode::StartTls,
                                                .user = u"cfr"_s,
                                                .password = senha.isEmpty() ? u"segredo"_s : senha,
                                                .refuseMailFrom = recusaRemetente,
                                                .refuseRcptTo = recusaDestinatario,
                                                .refuseSubject = recusaAssunto,
                                                .dropInData = caiNosDados});
        QVERIFY(servidor.start());
        apontaSmtp(servidor);
        TfrmCFR *f = abre();
        QVERIFY(f);
        QVERIFY(enviaEmail(f, [&](TfrmEmailCFR *e) {
            preenche(e, u"CFR"_s, u"Segue."_s);
            e->sbtConfirma->click();
            QVERIFY(e->isVisible());
            QCOMPARE(e->dbgDestinatario->currentIndex().row(), linha);
            const QString falhou = e->SituacaoCliente(e->cdsClientes->FieldByName(u"CDCLIENTE"_s)->AsString());
            QVERIFY2(falhou.startsWith(u"Falhou: "_s + prefixo), qPrintable(falhou));
        }));
        QCOMPARE(m_errors.size(), 1);
        QVERIFY2(m_errors[0].startsWith(prefixo), qPrintable(m_errors[0]));
        QVERIFY2(!m_errors[0].contains(u"segredo"_s), qPrintable(m_errors[0]));
        QCOMPARE(int(servidor.messages().size()), linha);
        apontaSmtp(*m_smtp);
    }

    // A client whose file is missing fails on the attach step, never with another's file.
    void semAnexo()
    {
        TfrmCFR *f = abre(QDate(2024, 3, 1), QDate(2024, 3, 10), {u"0000000001"_s, u"0000000002"_s});
        QVERIFY(f);
        const int antes = int(m_smtp->messages().size());
        QVERIFY(enviaEmail(f, [&](TfrmEmailCFR *e) {
            QVERIFY(QFile::remove(f->ArquivoDoCliente(u"0000000002"_s)));
            preenche(e, u"CFR"_s, u"Segue."_s);
            e->sbtConfirma->click();
            QCOMPARE(e->cdsClientes->FieldByName(u"CDCLIENTE"_s)->AsString(), u"0000000002"_s);
        }));
        QCOMPARE(m_errors.size(), 1);
        QCOMPARE(int(m_smtp->messages().size()), antes + 1);
    }

    // The desktop's mail program: one hand-off per client with its address and its file; a
    // mail program that fails stops the run with the mapped text.
    void programaDeEmail()
    {
        const QString registro = m_dir.filePath(u"mailer.txt"_s);
        const QString mailer = m_dir.filePath(u"mailer.sh"_s);
        QFile s(mailer);
        QVERIFY(s.open(QIODevice::WriteOnly));
        s.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$KPR_MAILER_OUT\"\nexit \"${KPR_MAILER_EXIT:-0}\"\n");
        s.close();
        QVERIFY(s.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        qputenv("KPR_MAILER_OUT", registro.toLocal8Bit());
        for (const QByteArray &saida : {QByteArray("0"), QByteArray("1")}) {
            qputenv("MAILER", mailer.toLocal8Bit());
            QFile::remove(registro);
            qputenv("KPR_MAILER_EXIT", saida);
            m_errors.clear();
            TfrmCFR *f = abre(QDate(2024, 3, 1), QDate(2024, 3, 10), {u"0000000002"_s, u"0000000003"_s});
            QVERIFY(f);
            QVERIFY(enviaEmail(f, [&](TfrmEmailCFR *e) {
                e->chbServSMTP->setChecked(false);
                preenche(e, u"CFR"_s, u"Segue."_s);
                e->sbtConfirma->click();
                // Handed over, not known to be sent: never shown (nor recorded) as sent.
                if (saida == "0")
                    QCOMPARE(e->SituacaoCliente(u"0000000002"_s), u"Entregue ao programa de e-mail"_s);
            }));
            QFile r(registro);
            QVERIFY2(r.open(QIODevice::ReadOnly), qPrintable(m_errors.join(u'\n')));
            const QStringList chamadas = QString::fromUtf8(r.readAll()).split(u'\n', Qt::SkipEmptyParts);
            if (saida == "0") {
                QVERIFY(m_errors.isEmpty());
                QCOMPARE(chamadas.size(), 2);
                const QString url = QUrl::fromPercentEncoding(chamadas[1].toUtf8());
                QVERIFY2(url.contains(u"compras@c3.com.br"_s) && url.contains(u"financeiro@c3.com.br"_s)
                             && url.contains(u"0000000003_CFR.PDF"_s) && url.contains(u"subject=CFR"_s),
                         qPrintable(url));
            } else {
                QCOMPARE(chamadas.size(), 1);
                QCOMPARE(m_errors, QStringList{u"E-mail não enviado. Um ou mais erros ocorreram e o email não foi "
                                               "enviado."_s});
            }
            cleanup();
        }
    }

    // Codes without a key show an empty text.
    void mensagensMapi()
    {
        TfrmEmailCFR e;
        QCOMPARE(e.MensagemMAPI(0), u" Email enviado com sucesso."_s);
        QCOMPARE(e.MensagemMAPI(21), u"E-mail não enviado. Lista de destinatários está ambígua."_s);
        for (int c : {-1, 4, 6, 7, 8, 13, 16, 17, 19, 20, 22})
            QCOMPARE(e.MensagemMAPI(c), QString());
    }
};

int main(int argc, char *argv[])
{
    KprApplication app(argc, argv);
    TstEmailCfr t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_emailcfr.moc"
