#include "appserver/rdmcfr/clientlist.h"

#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver::rdmcfr {

ClientList parseClientList(const QString &text, TMeansAll tMeansAll)
{
    ClientList list;
    if (tMeansAll == TMeansAll::Yes && text == u"T"_s)
        return list;
    const QStringList parts = text.split(u'_', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return list;
    list.all = false;
    for (const QString &p : parts)
        list.codes.insert(p);
    return list;
}

} // namespace kpr::appserver::rdmcfr
