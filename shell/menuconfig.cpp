#include "shell/menuconfig.h"

#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace kpr::shell {

Result<QList<MenuEntry>> parseMenu(const QString &text, const QString &fileName)
{
    QList<MenuEntry> entries;
    const QStringList lines = text.split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList parts = line.split(u'|');
        if (parts.size() != 3 || parts[0].trimmed().isEmpty() || parts[1].trimmed().isEmpty()
            || parts[2].trimmed().isEmpty())
            return makeError(u"%1, linha %2: esperado \"título|pacote|procedimento\"."_s.arg(fileName).arg(i + 1));
        entries.append({parts[0].trimmed(), parts[1].trimmed(), parts[2].trimmed()});
    }
    return entries;
}

Result<QList<MenuEntry>> readMenuFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return makeError(u"Não foi possível ler o menu %1: %2"_s.arg(path, f.errorString()));
    return parseMenu(QString::fromUtf8(f.readAll()), path);
}

} // namespace kpr::shell
