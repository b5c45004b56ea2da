#include "cli/execucao.h"

#include "cli/filadeenvio.h"

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
#include <QSet>

#include <memory>
#include <mutex>
#include <vector>

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
            return falha(
                r, u"não foi possível ler o corpo da mensagem em \"%1\": %2."_s.arg(o.arquivoCorpo, f.errorString()));
        corpo = QString::fromUtf8(f.readAll());
        if (EmptyString(corpo))
            return falha(r, u"o corpo da mensagem em \"%1\" está vazio."_s.arg(o.arquivoCorpo));
    }

    // Progress comes from the export (this thread) and from the messages' queue (its own).
    std::mutex travaProgresso;
    const auto diz = [&](const QString &t) {
        const std::lock_guard trava(travaProgresso);
        progresso(t);
    };
    // The screen's messages (its checks, the server's refusals) become the run's error.
    QStringList mensagens;
    setErrorPresenter([&](const QString &t) { mensagens << t; });
    setShowAviObserver([&](const QString &t) { diz(t); });
    const auto restaura = qScopeGuard([] {
        setErrorPresenter({});
        setShowAviObserver({});
    });
    const auto erroDaTela = [&]() {
        return mensagens.isEmpty() ? u"a execução foi interrompida."_s : mensagens.join(u' ');
    };

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
        remetente =
            EmptyString(texto(email, u"DSEMAILSMTP")) ? texto(email, u"DSEMAILFILI") : texto(email, u"DSEMAILSMTP");
        if (EmptyString(remetente) || !ValidaEmails(remetente))
            return falha(
                r, u"o e-mail do remetente da filial %1 (\"%2\") não é válido; confira o cadastro da filial."_s.arg(
                       filial, remetente));
    }

    // The run's clients in the summary's order; a client without a valid address fails here,
    // the others are sent as the export writes their files.
    std::vector<ClienteExecucao> resumo;
    std::vector<QString> enderecos;
    for (clientes.First(); !clientes.Eof(); clientes.Next()) {
        resumo.push_back({texto(clientes, u"CDCLIENTE"), texto(clientes, u"NMRAZSOCCLIE"), QString(), QString()});
        enderecos.push_back(texto(clientes, u"DSEMAIL"));
    }
    const int total = int(resumo.size());
    std::vector<bool> enfileirado(size_t(total), false);
    QElapsedTimer relogioEnvio;
    relogioEnvio.start();
    std::unique_ptr<FilaDeEnvio> fila; // joined before what its thread uses goes
    // Lives as long as the export that calls it through AoConcluirArquivos.
    const auto enfileira = [&](int i, const QString &arquivo) {
        enfileirado[size_t(i)] = true;
        const QString &emails = enderecos[size_t(i)];
        ClienteExecucao &c = resumo[size_t(i)];
        if (EmptyString(emails) || !ValidaEmails(emails)) {
            c.situacao = u"failed"_s;
            c.resposta = EmptyString(emails) ? u"cliente sem e-mail cadastrado"_s
                                             : u"e-mail do cliente não é válido: "_s + emails;
            return;
        }
        fila->Acrescenta({i, c.codigo, c.nome, emails, arquivo});
    };
    if (!o.simulacao) {
        EnvioDaExecucao envio{filial,
                              o.inicio,
                              o.fim,
                              o.layout,
                              tela->CalculoImpressoesCFR(),
                              o.reenviar ? Reenvio::Sim : Reenvio::Nao,
                              o.assumir,
                              remetente,
                              o.assunto,
                              corpo,
                              DerivaDadosSMTP(texto(email, u"DSLOGINSMTP"), texto(email, u"DSEMAILFILI"),
                                              texto(email, u"CDSENHEMAILF"), texto(email, u"DSSMTPEMAILF"),
                                              texto(email, u"IDUTTLSEMAIL"), texto(email, u"IDUTSSLEMAIL")),
                              WebURL(),
                              WebPort(),
                              WebSecretFile(),
                              WebTLS()};
        fila = std::make_unique<FilaDeEnvio>(std::move(envio), [&](const ClienteExecucao &, int feitos) {
            const double s = relogioEnvio.elapsed() / 1000.0;
            const double taxa = s > 0 ? feitos / s : 0;
            diz(u"Mensagens %1 de %2 (%3/s, faltam %4 s)"_s.arg(feitos)
                    .arg(total)
                    .arg(taxa, 0, 'f', 1)
                    .arg(taxa > 0 ? qRound((total - feitos) / taxa) : 0));
        });
        tela->AoConcluirArquivos = [&](const QStringList &arquivos) {
            const QSet<QString> prontos(arquivos.cbegin(), arquivos.cend());
            for (int i = 0; i < total; ++i) {
                if (enfileirado[size_t(i)])
                    continue;
                const QString arquivo = tela->ArquivoDoCliente(resumo[size_t(i)].codigo);
                if (prontos.contains(arquivo))
                    enfileira(i, arquivo);
            }
        };
    }

    tela->DocumentosPorParte = o.documentosPorParte;
    relogio.restart();
    bool temArquivos = false;
    const bool exportou = runGuarded([&] { temArquivos = tela->SalvarCFR(fPDF, mPorCliente, false, false, true); });
    tela->AoConcluirArquivos = nullptr;
    r.segundosPdf = relogio.restart() / 1000.0;
    if (fila) {
        if (exportou)
            for (int i = 0; i < total; ++i) {
                const QString arquivo = tela->ArquivoDoCliente(resumo[size_t(i)].codigo);
                if (!enfileirado[size_t(i)] && !arquivo.isEmpty() && QFileInfo::exists(arquivo))
                    enfileira(i, arquivo);
            }
        fila->Conclui();
        for (size_t i = 0; i < fila->Resultados().size(); ++i)
            if (!fila->Resultados()[i].situacao.isEmpty())
                resumo[i] = fila->Resultados()[i];
        r.segundosRegistro = fila->SegundosRegistro();
        r.segundosRegistroDepois = fila->SegundosRegistroDepois();
        r.segundosImpressoes = fila->SegundosImpressoes();
    }
    r.segundosEnvio = relogio.elapsed() / 1000.0;
    if (!exportou) {
        // What was sent before the export failed is reported with the failure.
        for (const ClienteExecucao &c : resumo)
            if (!c.situacao.isEmpty())
                r.clientes << c;
        return falha(r, erroDaTela());
    }
    if (!temArquivos)
        return r; // no client has data in the period: nothing to send

    for (ClienteExecucao c : resumo) {
        if (o.simulacao) {
            const QString arquivo = tela->ArquivoDoCliente(c.codigo);
            QDir().mkpath(o.saida);
            const QString destino = QDir(o.saida).filePath(QFileInfo(arquivo).fileName());
            QFile::remove(destino);
            c.situacao = QFile::copy(arquivo, destino) ? u"skipped"_s : u"failed"_s;
            c.resposta = u"simulação: "_s + destino;
        } else if (c.situacao.isEmpty()) {
            c.situacao = u"failed"_s;
            c.resposta = u"o PDF do cliente não foi gerado"_s;
        }
        r.clientes << c;
    }
    if (o.simulacao)
        diz(u"PDFs %1 de %1"_s.arg(total));
    for (const ClienteExecucao &c : std::as_const(r.clientes))
        if (c.situacao == u"failed"_s || c.situacao == u"uncertain"_s)
            r.codigoSaida = 1;
    return r;
}

} // namespace kpr::cfr
