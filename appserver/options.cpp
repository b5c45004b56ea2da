#include "appserver/options.h"

#include "appserver/configfile.h"
#include "appserver/server/access.h"
#include "framework/db/databaseurl.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver {

namespace {

Result<qint64> positiveNumber(const QString &option, const QString &text, qint64 min, qint64 max)
{
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    if (!ok || n < min || n > max)
        return makeError(u"%1 espera um número de %2 a %3, não \"%4\"."_s.arg(option).arg(min).arg(max).arg(text));
    return n;
}

} // namespace

QString usage()
{
    return u"uso: kpr-appserver --db sqlite:CAMINHO|postgresql://USUARIO@HOST:PORTA/BANCO\n"
           "                     [--config ARQUIVO]\n"
           "                     [--listen HOST:PORTA] [--init-db] [--no-serve] [--trace ARQUIVO]\n"
           "                     [--max-body BYTES] [--workers N] [--keep-alive SEGUNDOS]\n"
           "                     [--secret-file ARQUIVO] [--tls-cert ARQUIVO --tls-key ARQUIVO]\n"
           "                     [--request-timeout SEGUNDOS] [--max-connections N]\n"
           "                     [--max-connections-per-client N]\n"
           "         --secret-file: toda chamada deve trazer \"Authorization: Bearer <segredo>\" (o segredo\n"
           "         é a primeira linha do arquivo, que só o dono pode ler: modo 0600); com --init-db o\n"
           "         arquivo é criado com um segredo aleatório quando não existe. Sem ele o servidor só\n"
           "         escuta na máquina local (127.0.0.1, ::1, localhost).\n"
           "         --tls-cert/--tls-key: HTTPS com o certificado (PEM) e a chave dados.\n"
           "         --request-timeout: tempo máximo para receber uma requisição inteira (padrão 30).\n"
           "         --max-connections: conexões ao mesmo tempo (padrão 256); por endereço de cliente\n"
           "         --max-connections-per-client (padrão 64). Conexões ociosas são fechadas antes\n"
           "         para dar lugar a um novo cliente; sem nenhuma ociosa a resposta é 503.\n"
           "       kpr-appserver --db URL --branch-email FILIAL --smtp SERVIDOR[:PORTA] --login LOGIN\n"
           "                     --from ENDEREÇO --security ssl|starttls|none   < arquivo-com-a-senha\n"
           "         grava as configurações de e-mail da filial e termina, sem servir; a senha SMTP\n"
           "         vem da entrada padrão (uma linha; vazia: sem senha); --login e --from aceitam \"\"\n"
           "  --config: lê as opções com valor de um arquivo, uma por linha, \"NOME = VALOR\" com o nome\n"
           "  da opção sem os traços (db, listen, secret-file, tls-cert, max-connections, ...); linhas\n"
           "  vazias ou começadas por # são ignoradas; a mesma opção na linha de comando prevalece.\n"
           "  --db não aceita senha no endereço postgresql://: a senha do banco vem de PGPASSWORD,\n"
           "  de ~/.pgpass ou do arquivo indicado por PGPASSFILE, como a libpq os lê.\n"
           "  Arquivos criados pelo servidor (banco SQLite, --trace) só o dono lê e grava (modo 0600).\n"_s;
}

Result<Options> parseOptions(const QStringList &commandLine)
{
    // --config's settings come first, so that the same option given on the command line
    // takes their place.
    QStringList arguments;
    QStringList rest;
    for (qsizetype i = 0; i < commandLine.size(); ++i) {
        const QString &a = commandLine.at(i);
        QString path;
        if (a.startsWith(u"--config="_s)) {
            path = a.mid(9);
        } else if (a == u"--config"_s) {
            if (i + 1 >= commandLine.size())
                return makeError(u"--config espera um valor."_s);
            path = commandLine.at(++i);
        } else {
            rest << a;
            continue;
        }
        const auto settings = readConfigFile(path);
        if (!settings)
            return makeError(settings.error());
        arguments << *settings;
    }
    arguments << rest;

    Options o;
    std::optional<QString> branch;
    BranchEmailArgs mail;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        QString value;
        bool hasValue = false;
        if (const qsizetype eq = name.indexOf(u'='); name.startsWith(u"--"_s) && eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            hasValue = true;
        }
        const auto takeValue = [&]() -> Result<QString> {
            if (hasValue)
                return value;
            if (i + 1 >= arguments.size())
                return makeError(u"%1 espera um valor."_s.arg(name));
            return arguments.at(++i);
        };
        if (name == u"--help"_s || name == u"-h"_s) {
            o.help = true;
        } else if (name == u"--init-db"_s) {
            o.initDb = true;
        } else if (name == u"--no-serve"_s) {
            o.serve = false;
        } else if (name == u"--branch-email"_s || name == u"--smtp"_s || name == u"--login"_s || name == u"--from"_s
                   || name == u"--security"_s) {
            const auto v = takeValue();
            if (!v)
                return makeError(v.error());
            std::optional<QString> &slot = name == u"--branch-email"_s ? branch
                                           : name == u"--smtp"_s       ? mail.smtp
                                           : name == u"--login"_s      ? mail.login
                                           : name == u"--from"_s       ? mail.from
                                                                       : mail.security;
            slot = *v;
        } else if (name == u"--db"_s || name == u"--listen"_s || name == u"--trace"_s || name == u"--max-body"_s
                   || name == u"--workers"_s || name == u"--keep-alive"_s || name == u"--secret-file"_s
                   || name == u"--tls-cert"_s || name == u"--tls-key"_s || name == u"--request-timeout"_s
                   || name == u"--max-connections"_s || name == u"--max-connections-per-client"_s) {
            const auto v = takeValue();
            if (!v)
                return makeError(v.error());
            if (name == u"--db"_s) {
                o.db = *v;
            } else if (name == u"--trace"_s) {
                o.trace = *v;
            } else if (name == u"--secret-file"_s || name == u"--tls-cert"_s || name == u"--tls-key"_s) {
                if (v->isEmpty())
                    return makeError(u"%1 espera o caminho de um arquivo."_s.arg(name));
                (name == u"--secret-file"_s ? o.secretFile : name == u"--tls-cert"_s ? o.tlsCert : o.tlsKey) = *v;
            } else if (name == u"--request-timeout"_s) {
                const auto n = positiveNumber(name, *v, 1, 3600);
                if (!n)
                    return makeError(n.error());
                o.requestTimeoutSeconds = int(*n);
            } else if (name == u"--max-connections"_s || name == u"--max-connections-per-client"_s) {
                // httplib waits on sockets with select(): descriptors stay below 1024.
                const auto n = positiveNumber(name, *v, 1, 900);
                if (!n)
                    return makeError(n.error());
                (name == u"--max-connections"_s ? o.maxConnections : o.maxConnectionsPerClient) = int(*n);
            } else if (name == u"--listen"_s) {
                const qsizetype colon = v->lastIndexOf(u':');
                bool ok = false;
                const int port = colon > 0 ? v->mid(colon + 1).toInt(&ok) : 0;
                if (colon <= 0 || !ok || port < 0 || port > 65535)
                    return makeError(u"--listen espera HOST:PORTA, não \"%1\"."_s.arg(*v));
                o.host = v->left(colon);
                if (o.host.startsWith(u'[') && o.host.endsWith(u']'))
                    o.host = o.host.mid(1, o.host.size() - 2);
                o.port = port;
            } else if (name == u"--max-body"_s) {
                const auto n = positiveNumber(name, *v, 1024, 1LL << 40);
                if (!n)
                    return makeError(n.error());
                o.maxBody = *n;
            } else if (name == u"--workers"_s) {
                const auto n = positiveNumber(name, *v, 1, 256);
                if (!n)
                    return makeError(n.error());
                o.workers = int(*n);
            } else {
                const auto n = positiveNumber(name, *v, 1, 86400);
                if (!n)
                    return makeError(n.error());
                o.keepAliveSeconds = int(*n);
            }
        } else {
            return makeError(u"opção desconhecida \"%1\"."_s.arg(arguments.at(i)));
        }
    }
    if (!o.help && o.db.isEmpty())
        return makeError(u"falta --db."_s);
    if (o.help)
        return o;
    if (o.tlsCert.isEmpty() != o.tlsKey.isEmpty())
        return makeError(u"--tls-cert e --tls-key vão juntos."_s);
    if (o.serve && !branch && o.secretFile.isEmpty() && !isLoopbackHost(o.host))
        return makeError(u"escutar em %1, fora da máquina local, exige --secret-file: sem ele qualquer um que "
                         "alcance a porta chamaria o servidor."_s.arg(o.host));
    // Any local user reads a process's command line: a password there is no secret.
    if (const auto url = DatabaseUrl::parse(o.db);
        url && url->kind == DatabaseUrl::Kind::PostgreSQL && !url->password.isEmpty())
        return makeError(u"--db não aceita a senha do PostgreSQL no endereço: a linha de comando de um "
                         "processo é visível a todos os usuários da máquina. Tire a senha do endereço e "
                         "informe-a em PGPASSWORD, em ~/.pgpass ou no arquivo indicado por PGPASSFILE, "
                         "que a libpq lê ao conectar."_s);
    if (branch) {
        auto checked = checkBranchEmail(*branch, mail);
        if (!checked)
            return makeError(checked.error());
        o.branchEmail = std::move(checked).value();
    } else if (mail.any()) {
        return makeError(u"--smtp, --login, --from e --security só valem com --branch-email."_s);
    }
    return o;
}

} // namespace kpr::appserver
