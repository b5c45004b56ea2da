#include "shell/shelloptions.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::shell {

QString ShellOptions::usage()
{
    return u"uso: kpr-shell [--config ARQUIVO] [--set CHAVE=VALOR]... [--menu ARQUIVO]\n"
           "                 [--open PACOTE:PROCEDIMENTO]...\n"
           "  --config ARQUIVO   valores de contexto (INI); padrão ~/.config/kpr/kpr-shell.ini\n"
           "  --set CHAVE=VALOR  um valor de contexto (FiliProcFat, WebPort, Database, ...)\n"
           "  --menu ARQUIVO     o menu (linhas \"título|pacote|procedimento\")\n"
           "  --open P:PROC      carrega o pacote P e chama PROC depois de iniciar\n"_s;
}

Result<ShellOptions> ShellOptions::parse(const QStringList &arguments)
{
    ShellOptions o;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i];
        QString value;
        bool hasValue = false;
        if (const qsizetype eq = name.indexOf(u'='); name.startsWith(u"--"_s) && eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            hasValue = true;
        }
        if (name == u"--help"_s || name == u"-h"_s) {
            o.help = true;
            continue;
        }
        if (name != u"--menu"_s && name != u"--open"_s && name != u"--config"_s && name != u"--set"_s)
            return makeError(u"opção desconhecida \"%1\"."_s.arg(arguments[i]));
        if (!hasValue) {
            if (i + 1 >= arguments.size())
                return makeError(u"falta o valor de %1."_s.arg(name));
            value = arguments[++i];
        }
        if (name == u"--menu"_s) {
            o.menuFile = value;
        } else if (name == u"--open"_s) {
            Result<OpenRequest> r = OpenRequest::parse(value);
            if (!r)
                return makeError(r.error());
            o.opens.append(r.value());
        }
    }
    return o;
}

} // namespace kpr::shell
