#include "appserver/options.h"

#include "framework/db/databaseurl.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver {

namespace {

Result<qint64> positiveNumber(const QString &option, const QString &text, qint64 min, qint64 max)
{
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    if (!ok || n < min || n > max)
        return makeError(u"%1 espera um número de %2 a %3, não \"%4\"."_s.arg(option)
                             .arg(min)
                             .arg(max)
                             .arg(text));
    return n;
}

} // namespace

QString usage()
{
    return u"uso: kpr-appserver --db sqlite:CAMINHO|postgresql://USUARIO@HOST:PORTA/BANCO\n"
           "                     [--listen HOST:PORTA] [--init-db] [--no-serve] [--trace ARQUIVO]\n"
           "                     [--max-body BYTES] [--workers N] [--keep-alive SEGUNDOS]\n"
           "       kpr-appserver --db URL --branch-email FILIAL --smtp SERVIDOR[:PORTA] --login LOGIN\n"
           "                     --from ENDEREÇO --security ssl|starttls|none   < arquivo-com-a-senha\n"
           "         grava as configurações de e-mail da filial e termina, sem servir; a senha SMTP\n"
           "         vem da entrada padrão (uma linha; vazia: sem senha); --login e --from aceitam \"\"\n"
           "  --db não aceita senha no endereço postgresql://: a senha do banco vem de PGPASSWORD,\n"
           "  de ~/.pgpass ou do arquivo indicado por PGPASSFILE, como a libpq os lê.\n"
           "  Arquivos criados pelo servidor (banco SQLite, --trace) só o dono lê e grava (modo 0600).\n"_s;
}

Result<Options> parseOptions(const QStringList &arguments)
{
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
        } else if (name == u"--branch-email"_s || name == u"--smtp"_s || name == u"--login"_s
                   || name == u"--from"_s || name == u"--security"_s) {
            const auto v = takeValue();
            if (!v)
                return makeError(v.error());
            std::optional<QString> &slot = name == u"--branch-email"_s ? branch
                                           : name == u"--smtp"_s       ? mail.smtp
                                           : name == u"--login"_s      ? mail.login
                                           : name == u"--from"_s       ? mail.from
                                                                       : mail.security;
            slot = *v;
        } else if (name == u"--db"_s || name == u"--listen"_s || name == u"--trace"_s
                   || name == u"--max-body"_s || name == u"--workers"_s
                   || name == u"--keep-alive"_s) {
            const auto v = takeValue();
            if (!v)
                return makeError(v.error());
            if (name == u"--db"_s) {
                o.db = *v;
            } else if (name == u"--trace"_s) {
                o.trace = *v;
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
    // Any local user reads a process's command line: a password there is no secret.
    if (const auto url = DatabaseUrl::parse(o.db); url && url->kind == DatabaseUrl::Kind::PostgreSQL
                                                   && !url->password.isEmpty())
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
