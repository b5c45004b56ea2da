#include "framework/db/dataproc.h"

#include "framework/core/abort.h"
#include "framework/core/strings.h"
#include "framework/db/dtmdbgeral.h"
#include "framework/db/sqlvalues.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

QDate DataProc(const QString &branch)
{
    if (EmptyString(branch))
        return {};
    QSqlQuery q(dtmDBGeral::database());
    q.setForwardOnly(true);
    if (!q.prepare(u"SELECT DTPROCFILI FROM FILIAL WHERE CDFILIAL = ?"_s))
        throw EKprError(u"Erro ao ler a data de processamento da filial %1: %2"_s.arg(branch, q.lastError().text()));
    q.addBindValue(branch.trimmed());
    if (!q.exec())
        throw EKprError(u"Erro ao ler a data de processamento da filial %1: %2"_s.arg(branch, q.lastError().text()));
    if (!q.next())
        return {};
    return sqlValueToDateTime(q.value(0)).date();
}

} // namespace kpr
