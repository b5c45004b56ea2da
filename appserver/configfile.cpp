#include "appserver/configfile.h"

#include <QFile>
#include <QSet>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver {

namespace {

// --init-db, --no-serve and --branch-email are actions, not settings: they stay on the
// command line.
const QSet<QString> &settingNames()
{
    static const QSet<QString> names{
        u"db"_s,      u"listen"_s,          u"trace"_s,           u"max-body"_s,
        u"workers"_s, u"keep-alive"_s,      u"secret-file"_s,     u"tls-cert"_s,
        u"tls-key"_s, u"request-timeout"_s, u"max-connections"_s, u"max-connections-per-client"_s};
    return names;
}

} // namespace

Result<QStringList> readConfigFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return makeError(u"não foi possível ler o arquivo de configuração %1: %2."_s.arg(path, file.errorString()));
    QStringList arguments;
    QSet<QString> seen;
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        const auto where = u"%1, linha %2"_s.arg(path).arg(lineNumber);
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            return makeError(u"%1: espera NOME = VALOR, não \"%2\"."_s.arg(where, line));
        const QString name = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (!settingNames().contains(name))
            return makeError(u"%1: configuração desconhecida \"%2\"."_s.arg(where, name));
        if (seen.contains(name))
            return makeError(u"%1: \"%2\" repetida."_s.arg(where, name));
        seen.insert(name);
        if (!value.isEmpty())
            arguments << u"--%1=%2"_s.arg(name, value);
    }
    return arguments;
}

} // namespace kpr::appserver
