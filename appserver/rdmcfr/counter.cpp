#include "appserver/rdmcfr/counter.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver::rdmcfr {

Result<qint64> nextNumber(Session &s, const QString &counter)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto q = s.run(u"UPDATE CONTADOR SET NRULTIMO = NRULTIMO + 1 WHERE NMCONTADOR = ? "
                       "RETURNING NRULTIMO"_s,
                       {counter});
        if (!q)
            return makeError(q.error());
        if (q.value().next())
            return q.value().value(0).toLongLong();
        // First use: create it; a concurrent creator makes this a no-op.
        auto created = s.run(u"INSERT INTO CONTADOR (NMCONTADOR, NRULTIMO) VALUES (?, 0) "
                             "ON CONFLICT (NMCONTADOR) DO NOTHING"_s,
                             {counter});
        if (!created)
            return makeError(created.error());
    }
    return makeError(s.dbError(u"o contador %1 não pôde ser criado."_s.arg(counter)));
}

} // namespace kpr::appserver::rdmcfr
