#include "cli/opcoes.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

QString UsoCFR()
{
    return u"uso: kpr-cfr --branch FILIAL --period AAAA-MM-DD..AAAA-MM-DD|previous-fortnight --layout NN\n"
           "               --subject TEXTO --body-file ARQUIVO [--clients CODIGO,CODIGO]\n"
           "               [--dry-run --out PASTA] [--resend] [--take-over] [--json] [--part-size N]\n"
           "               [--set NOME=VALOR]... [--config ARQUIVO]\n"
           "\n"
           "Gera os CFR da filial e do período no layout dado, um PDF por cliente com dados, e\n"
           "envia a cada cliente o seu por SMTP, com os dados de e-mail da filial. Não envia o que\n"
           "já consta como enviado (o mesmo conteúdo), a não ser com --resend; um envio deixado\n"
           "em andamento por uma execução interrompida é relatado como incerto e só é refeito\n"
           "com --take-over. --dry-run grava os PDFs em PASTA e não envia nada.\n"
           "As mensagens saem enquanto os PDFs são gerados: a cada --part-size clientes (padrão\n"
           "100, de 1 a 10000) os PDFs prontos começam a ser enviados.\n"
           "\n"
           "Saída: uma linha por cliente (código, situação, resposta), ou com --json um objeto\n"
           "com \"clients\": [{\"code\", \"status\", \"reply\"}]; situações sent, skipped, failed,\n"
           "uncertain. Progresso na saída de erro.\n"
           "Código de saída: 0 todos enviados ou ignorados; 1 alguma falha ou incerteza;\n"
           "2 argumentos ou configuração inválidos.\n"
           "\n"
           "--set aceita os valores de contexto do kpr-shell (Database, WebURL, WebPort,\n"
           "WebSecretFile, WebTLS, ReportDir, ...); o registro da máquina é o mesmo da tela.\n"_s;
}

std::pair<QDate, QDate> QuinzenaAnterior(const QDate &hoje)
{
    if (hoje.day() <= 15) {
        const QDate mesAnterior = QDate(hoje.year(), hoje.month(), 1).addMonths(-1);
        return {mesAnterior.addDays(15), QDate(hoje.year(), hoje.month(), 1).addDays(-1)};
    }
    return {QDate(hoje.year(), hoje.month(), 1), QDate(hoje.year(), hoje.month(), 15)};
}

Result<OpcoesCFR> LeOpcoes(const QStringList &args, const QDate &hoje)
{
    OpcoesCFR o;
    bool temPeriodo = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString nome = args.at(i);
        QString valor;
        bool temValor = false;
        if (const qsizetype eq = nome.indexOf(u'='); nome.startsWith(u"--"_s) && eq > 0) {
            valor = nome.mid(eq + 1);
            nome = nome.left(eq);
            temValor = true;
        }
        const auto pega = [&]() -> Result<QString> {
            if (temValor)
                return valor;
            if (i + 1 >= args.size())
                return makeError(u"%1 espera um valor."_s.arg(nome));
            return args.at(++i);
        };
        const auto flag = [&](bool &alvo) -> Status {
            if (temValor)
                return makeError(u"%1 não aceita valor."_s.arg(nome));
            alvo = true;
            return {};
        };
        Status st;
        if (nome == u"--help"_s || nome == u"-h"_s) {
            st = flag(o.ajuda);
        } else if (nome == u"--dry-run"_s) {
            st = flag(o.simulacao);
        } else if (nome == u"--resend"_s) {
            st = flag(o.reenviar);
        } else if (nome == u"--take-over"_s) {
            st = flag(o.assumir);
        } else if (nome == u"--json"_s) {
            st = flag(o.json);
        } else if (nome == u"--set"_s || nome == u"--config"_s) {
            if (const auto v = pega(); !v)
                return makeError(v.error());
        } else if (nome == u"--branch"_s || nome == u"--period"_s || nome == u"--layout"_s || nome == u"--subject"_s
                   || nome == u"--body-file"_s || nome == u"--clients"_s || nome == u"--out"_s
                   || nome == u"--part-size"_s) {
            const auto v = pega();
            if (!v)
                return makeError(v.error());
            if (nome == u"--branch"_s) {
                o.filial = v->trimmed();
            } else if (nome == u"--layout"_s) {
                o.layout = v->trimmed();
            } else if (nome == u"--subject"_s) {
                o.assunto = *v;
            } else if (nome == u"--body-file"_s) {
                o.arquivoCorpo = *v;
            } else if (nome == u"--out"_s) {
                o.saida = *v;
            } else if (nome == u"--part-size"_s) {
                bool ok = false;
                o.documentosPorParte = v->toInt(&ok);
                if (!ok || o.documentosPorParte < 1 || o.documentosPorParte > 10000)
                    return makeError(u"--part-size espera um número de 1 a 10000, não \"%1\"."_s.arg(*v));
            } else if (nome == u"--clients"_s) {
                for (const QString &c : v->split(u',', Qt::SkipEmptyParts))
                    if (!c.trimmed().isEmpty())
                        o.clientes << c.trimmed();
                if (o.clientes.isEmpty())
                    return makeError(u"--clients espera códigos separados por vírgula."_s);
            } else {
                temPeriodo = true;
                if (*v == u"previous-fortnight"_s) {
                    std::tie(o.inicio, o.fim) = QuinzenaAnterior(hoje);
                } else {
                    const QStringList partes = v->split(u".."_s);
                    o.inicio = partes.size() == 2 ? QDate::fromString(partes[0], Qt::ISODate) : QDate();
                    o.fim = partes.size() == 2 ? QDate::fromString(partes[1], Qt::ISODate) : QDate();
                    if (!o.inicio.isValid() || !o.fim.isValid())
                        return makeError(
                            u"--period espera AAAA-MM-DD..AAAA-MM-DD ou previous-fortnight, não \"%1\"."_s.arg(*v));
                    if (o.inicio > o.fim)
                        return makeError(u"--period: a data inicial deve ser menor ou igual à final."_s);
                }
            }
        } else {
            return makeError(u"opção desconhecida \"%1\"."_s.arg(args.at(i)));
        }
        if (!st)
            return makeError(st.error());
    }
    if (o.ajuda)
        return o;
    if (o.filial.isEmpty())
        return makeError(u"falta --branch."_s);
    if (!temPeriodo)
        return makeError(u"falta --period."_s);
    if (o.layout.isEmpty())
        return makeError(u"falta --layout."_s);
    if (o.simulacao != !o.saida.isEmpty())
        return makeError(u"--dry-run e --out PASTA andam juntos."_s);
    if (!o.simulacao && o.assunto.trimmed().isEmpty())
        return makeError(u"falta --subject."_s);
    if (!o.simulacao && o.arquivoCorpo.isEmpty())
        return makeError(u"falta --body-file."_s);
    return o;
}

} // namespace kpr::cfr
