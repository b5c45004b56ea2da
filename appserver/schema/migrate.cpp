#include "appserver/schema/migrate.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

// The scripts are resources of a static library: the linker keeps their registration only
// when something calls it (Q_INIT_RESOURCE must be outside any namespace).
static void initSchemaResources()
{
    Q_INIT_RESOURCE(schema);
}

namespace kpr::appserver {

namespace {

const QStringList &migrationFiles()
{
    static const bool registered = (initSchemaResources(), true);
    Q_UNUSED(registered);
    static const QStringList files{u":/schema/001_initial.sql"_s, u":/schema/002_apuration_indexes.sql"_s,
                                   u":/schema/003_send_log.sql"_s, u":/schema/004_apuration_clustered.sql"_s};
    return files;
}

} // namespace

int latestSchemaVersion()
{
    return int(migrationFiles().size());
}

QStringList splitStatements(const QString &script)
{
    QStringList statements;
    QString current;
    const QStringList lines = script.split(u'\n');
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u"--"_s))
            continue;
        current += raw + u'\n';
        if (line.endsWith(u';')) {
            current = current.trimmed();
            current.chop(1);
            statements << current;
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}

Result<int> schemaVersion(QSqlDatabase &db)
{
    if (!db.tables().contains(u"schema_version"_s, Qt::CaseInsensitive))
        return 0;
    QSqlQuery q(db);
    if (!q.exec(u"SELECT MAX(NRVERSAO) FROM SCHEMA_VERSION"_s) || !q.next())
        return makeError(u"Não foi possível ler a versão do banco de dados: %1"_s.arg(q.lastError().text()));
    return q.value(0).toInt();
}

Status migrate(QSqlDatabase &db)
{
    return migrate(db, latestSchemaVersion());
}

Status migrate(QSqlDatabase &db, int target)
{
    const auto current = schemaVersion(db);
    if (!current)
        return makeError(current.error());
    if (*current > latestSchemaVersion())
        return makeError(
            u"O banco de dados está na versão %1, mais nova que a deste servidor (%2)."_s.arg(*current).arg(
                latestSchemaVersion()));
    for (int v = *current + 1; v <= std::min(target, latestSchemaVersion()); ++v) {
        QFile f(migrationFiles().at(v - 1));
        if (!f.open(QIODevice::ReadOnly))
            return makeError(u"Migração %1 não encontrada."_s.arg(v));
        QStringList statements = splitStatements(QString::fromUtf8(f.readAll()));
        // What only one of the databases has (a table without rowid) is in a file of its own
        // beside the version's file: NNN_name.sqlite.sql or NNN_name.psql.sql.
        QString own = migrationFiles().at(v - 1);
        own.replace(u".sql"_s, db.driverName() == u"QPSQL"_s ? u".psql.sql"_s : u".sqlite.sql"_s);
        if (QFile ownFile(own); ownFile.open(QIODevice::ReadOnly))
            statements += splitStatements(QString::fromUtf8(ownFile.readAll()));
        if (!db.transaction())
            return makeError(u"Não foi possível iniciar a migração %1: %2"_s.arg(v).arg(db.lastError().text()));
        QSqlQuery q(db);
        for (const QString &sql : statements) {
            if (!q.exec(sql)) {
                const QString why = q.lastError().text();
                db.rollback();
                return makeError(u"Falha na migração %1 do banco de dados: %2"_s.arg(v).arg(why));
            }
        }
        if (v > 1 && !q.exec(u"UPDATE SCHEMA_VERSION SET NRVERSAO = %1"_s.arg(v))) {
            db.rollback();
            return makeError(q.lastError().text());
        }
        if (!db.commit())
            return makeError(u"Falha ao gravar a migração %1: %2"_s.arg(v).arg(db.lastError().text()));
    }
    return {};
}

} // namespace kpr::appserver
