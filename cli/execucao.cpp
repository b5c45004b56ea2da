#include "cli/execucao.h"

#include "cfr/screen/cli_kpr04700.h"
#include "cfr/screen/frmcfr.h"
#include "email/dadossmtp.h"
#include "email/envioregistrado.h"
#include "email/enviosmtp.h"
#include "email/validaemails.h"
#include "framework/core/abort.h"
#include "framework/core/strings.h"
#include "framework/data/clientdataset.h"
#include "framework/data/field.h"
#include "framework/settings/context.h"
#include "framework/widgets/btnpesquisa.h"
#include "framework/widgets/dateeditplus.h"
#include "framework/widgets/maskedit.h"
#include "framework/widgets/showavi.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRadioButton>
#include <QScopeGuard>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {

QString texto(TClientDataSet &t, const char16_t *campo)
{
    return t.FieldByName(QString::fromUtf16(campo))->AsString();
}

ResultadoExecucao falha(ResultadoExecucao r, const QString &erro)
{
    r.codigoSaida = 2;
    r.erro = erro;
    return r;
}

} // namespace

ResultadoExecucao ExecutaCFR(const OpcoesCFR &o, const std::function<void(const QString &)> &progresso)
{
    ResultadoExecucao r;
    QString corpo;
    if (!o.simulacao) {
        QFile f(o.arquivoCorpo);
        if (!f.open(QIODevice::ReadOnly))
            return falha(r, u"não foi possível ler o corpo da mensagem em \"%1\": %2."_s.arg(o.arquivoCorpo, f.errorString()));
        corpo = QString::fromUtf8(f.readAll());
        if (EmptyString(corpo))
            return falha(r, u"o corpo da mensagem em \"%1\" está vazio."_s.arg(o.arquivoCorpo));
    }

    // The screen's messages (its checks, the server's refusals) become the run's error.
    QStringList mensagens;
    setErrorPresenter([&](const QString &t) { mensagens << t; });
    setShowAviObserver([&](const QString &t) { progresso(t); });
    const auto restaura = qScopeGuard([] {
        setErrorPresenter({});
        setShowAviObserver({});
    });
    const auto erroDaTela = [&]() { return mensagens.isEmpty() ? u"a execução foi interrompida."_s : mensagens.join(u' '); };

    std::unique_ptr<TfrmCFR> tela;
    if (!runGuarded([&] { tela.reset(CreateForm<TfrmCFR>()); }))
        return falha(r, erroDaTela());
    frmCFR = tela.get();
    FormCriado = true;
    // The screen's close removes the server's apuration rows; the files go with it.
    const auto fecha = qScopeGuard([&] {
        runGuarded([&] { tela->ApagaArquivosGerados(); });
        TCloseAction acao = caFree;
        runGuarded([&] { tela->FormClose(tela.get(), acao); });
        FormCriado = false;
    });

    const int posicao = int(tela->layoutNumbers().indexOf(o.layout));
    if (posicao < 0)
        return falha(r, u"o layout %1 não existe em %2 (há: %3)."_s.arg(o.layout, ReportDir(),
                                                                        tela->layoutNumbers().join(u", "_s)));
    tela->cbbReportNames->setCurrentIndex(posicao);
    tela->medCdFilial->setText(o.filial);
    tela->depDtInicial->SetDate(o.inicio);
    tela->depDtFinal->SetDate(o.fim);
    tela->rdgTodos->setChecked(o.clientes.isEmpty());
    tela->rdgLista->setChecked(!o.clientes.isEmpty());
    ClientesLista.clear();
    for (const QString &c : o.clientes)
        ClientesLista += u'_' + c + u'_';

    QElapsedTimer relogio;
    relogio.start();
    if (!runGuarded([&] {
            tela->Validacao();
            if (tela->LayoutGrupServ())
                tela->Vd_GrupServ();
            tela->GeraTableApurFat();
        }))
        return falha(r, erroDaTela());
    r.segundosApuracao = relogio.restart() / 1000.0;

    bool temArquivos = false;
    if (!runGuarded([&] { temArquivos = tela->SalvarCFR(fPDF, mPorCliente, false, false, true); }))
        return falha(r, erroDaTela());
    r.segundosPdf = relogio.restart() / 1000.0;
    if (!temArquivos)
        return r; // no client has data in the period: nothing to send

    // The branch as the screen holds it (its mask may have changed the letter case): the
    // send log keys statements by it, the same from the screen and from here.
    const QString filial = tela->medCdFilial->text();
    TClientDataSet clientes(u"clientesComDados"_s);
    TClientDataSet email(u"EmailFilial"_s);
    if (!runGuarded([&] {
            clientes.setData(tela->getClientesComDados());
            if (!o.simulacao)
                email.setData(tela->getEmailFilial(filial));
        }))
        return falha(r, erroDaTela());
    QString remetente;
    if (!o.simulacao) {
        if (email.IsEmpty())
            return falha(r, u"a filial %1 não tem dados de e-mail."_s.arg(filial));
        remetente = EmptyString(texto(email, u"DSEMAILSMTP")) ? texto(email, u"DSEMAILFILI")
                                                              : texto(email, u"DSEMAILSMTP");
        if (EmptyString(remetente) || !ValidaEmails(remetente))
            return falha(r, u"o e-mail do remetente da filial %1 (\"%2\") não é válido; confira o cadastro da filial."_s
                                .arg(filial, remetente));
    }

    const QHash<QString, QString> impressoes = tela->ImpressoesCFR();
    // Every message of the run goes over one SMTP connection with the branch's settings as
    // read above; it is made at the first message and closed after the last.
    std::unique_ptr<SessaoSMTP> sessao;
    const int total = clientes.RecordCount();
    int n = 0;
    for (clientes.First(); !clientes.Eof(); clientes.Next()) {
        ClienteExecucao c;
        c.codigo = texto(clientes, u"CDCLIENTE");
        c.nome = texto(clientes, u"NMRAZSOCCLIE");
        const QString emails = texto(clientes, u"DSEMAIL");
        const QString arquivo = tela->ArquivoDoCliente(c.codigo);
        ++n;
        mensagens.clear(); // each client's reply holds its own messages only
        if (o.simulacao) {
            QDir().mkpath(o.saida);
            const QString destino = QDir(o.saida).filePath(QFileInfo(arquivo).fileName());
            QFile::remove(destino);
            c.situacao = QFile::copy(arquivo, destino) ? u"skipped"_s : u"failed"_s;
            c.resposta = u"simulação: "_s + destino;
        } else if (EmptyString(emails) || !ValidaEmails(emails)) {
            c.situacao = u"failed"_s;
            c.resposta = EmptyString(emails) ? u"cliente sem e-mail cadastrado"_s
                                             : u"e-mail do cliente não é válido: "_s + emails;
        } else {
            const ChaveEnvio chave{filial, o.inicio, o.fim, o.layout, c.codigo, impressoes.value(c.codigo.trimmed()),
                                   emails};
            const Reenvio reenvio = o.reenviar ? Reenvio::Sim : Reenvio::Nao;
            QElapsedTimer registro;
            registro.start();
            qint64 fora = 0; // time spent sending, not logging
            try {
                const ResultadoEnvio e = EnviaRegistrado(tela->registroEnvios(), chave, reenvio, [&]() -> QString {
                    QElapsedTimer envio;
                    envio.start();
                    const auto conta = qScopeGuard([&] { fora += envio.nsecsElapsed(); });
                    if (!sessao)
                        sessao = std::make_unique<SessaoSMTP>(
                            DerivaDadosSMTP(texto(email, u"DSLOGINSMTP"), texto(email, u"DSEMAILFILI"),
                                            texto(email, u"CDSENHEMAILF"), texto(email, u"DSSMTPEMAILF"),
                                            texto(email, u"IDUTTLSEMAIL"), texto(email, u"IDUTSSLEMAIL")));
                    return sessao->Envia({remetente, o.assunto, corpo, emails, arquivo});
                }, o.assumir);
                c.resposta = e.resposta;
                switch (e.situacao) {
                case SituacaoEnvio::Enviado: c.situacao = u"sent"_s; break;
                case SituacaoEnvio::Ignorado:
                    c.situacao = u"skipped"_s;
                    c.resposta = u"já enviado em %1 por %2"_s.arg(e.quando.toString(u"dd/MM/yyyy HH:mm"_s), e.estacao);
                    break;
                case SituacaoEnvio::Incerto: c.situacao = e.saiu ? u"sent"_s : u"uncertain"_s; break;
                case SituacaoEnvio::Falhou: c.situacao = u"failed"_s; break;
                }
            } catch (const EEnviadoSemLogout &e) {
                // Accepted by the server before the connection's end failed: sent.
                c.situacao = u"sent"_s;
                c.resposta = e.resposta() + u" ("_s + e.text() + u')';
            } catch (const EKprError &e) {
                c.situacao = u"failed"_s;
                c.resposta = e.text();
            } catch (const EAbort &) {
                c.situacao = u"failed"_s;
                c.resposta = erroDaTela();
            }
            r.segundosRegistro += (registro.nsecsElapsed() - fora) / 1e9;
        }
        r.clientes << c;
        const double s = relogio.elapsed() / 1000.0;
        const double taxa = s > 0 ? n / s : 0;
        progresso(u"%1 %2 de %3 (%4/s, faltam %5 s)"_s.arg(o.simulacao ? u"PDFs"_s : u"Mensagens"_s)
                      .arg(n)
                      .arg(total)
                      .arg(taxa, 0, 'f', 1)
                      .arg(taxa > 0 ? qRound((total - n) / taxa) : 0));
    }
    r.segundosEnvio = relogio.elapsed() / 1000.0;
    for (const ClienteExecucao &c : std::as_const(r.clientes))
        if (c.situacao == u"failed"_s || c.situacao == u"uncertain"_s)
            r.codigoSaida = 1;
    return r;
}

} // namespace kpr::cfr
