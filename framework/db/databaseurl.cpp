#include "framework/db/databaseurl.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

Result<DatabaseUrl> DatabaseUrl::parse(const QString &text)
{
    DatabaseUrl u;
    const QString t = text.trimmed();
    if (t.startsWith(u"sqlite:"_s)) {
        u.kind = Kind::SQLite;
        u.path = t.mid(7);
        if (u.path.startsWith(u"//"_s)) // sqlite:///abs/path
            u.path = u.path.mid(2);
        if (u.path.isEmpty())
            return makeError(u"Banco de dados inválido: informe o arquivo em \"sqlite:CAMINHO\"."_s);
        return u;
    }
    if (t.startsWith(u"postgresql://"_s) || t.startsWith(u"postgres://"_s)) {
        const QUrl url(t, QUrl::StrictMode);
        if (!url.isValid() || url.host().isEmpty())
            return makeError(
                u"Banco de dados inválido: \"%1\" não é um endereço PostgreSQL."_s.arg(t.section(u'@', -1)));
        u.kind = Kind::PostgreSQL;
        u.host = url.host();
        u.port = url.port(5432);
        u.user = url.userName();
        u.password = url.password();
        u.database = url.path().mid(1);
        if (u.database.isEmpty())
            return makeError(u"Banco de dados inválido: falta o nome do banco em \"%1\"."_s.arg(u.display()));
        return u;
    }
    return makeError(
        u"Banco de dados inválido: \"%1\". Use sqlite:CAMINHO ou postgresql://..."_s.arg(t.section(u'@', -1)));
}

QString DatabaseUrl::driver() const
{
    return kind == Kind::SQLite ? u"QSQLITE"_s : u"QPSQL"_s;
}

QString DatabaseUrl::display() const
{
    if (kind == Kind::SQLite)
        return u"sqlite:"_s + path;
    QString s = u"postgresql://"_s;
    if (!user.isEmpty())
        s += user + u'@';
    return s + host + u':' + QString::number(port) + u'/' + database;
}

Result<QSqlDatabase> openDatabase(const DatabaseUrl &url, const QString &connectionName)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(url.driver(), connectionName);
    if (!db.isValid())
        return makeError(u"O driver de banco de dados %1 não está instalado."_s.arg(url.driver()));
    if (url.kind == DatabaseUrl::Kind::SQLite) {
        db.setDatabaseName(url.path);
        db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=10000"_s);
    } else {
        db.setHostName(url.host);
        db.setPort(url.port);
        db.setUserName(url.user);
        db.setPassword(url.password);
        db.setDatabaseName(url.database);
        db.setConnectOptions(u"connect_timeout=5"_s);
    }
    if (!db.open()) {
        const QString why = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        return makeError(u"Não foi possível abrir o banco de dados %1: %2"_s.arg(url.display(), why));
    }
    if (url.kind == DatabaseUrl::Kind::SQLite) {
        QSqlQuery q(db);
        for (const QString &pragma :
             {u"PRAGMA journal_mode=WAL"_s, u"PRAGMA foreign_keys=ON"_s, u"PRAGMA synchronous=FULL"_s}) {
            if (!q.exec(pragma))
                return makeError(
                    u"Falha ao preparar o banco de dados %1: %2"_s.arg(url.display(), q.lastError().text()));
        }
    }
    return db;
}

Result<QSqlDatabase> openDatabase(const QString &url, const QString &connectionName)
{
    const auto parsed = DatabaseUrl::parse(url);
    if (!parsed)
        return makeError(parsed.error());
    return openDatabase(*parsed, connectionName);
}

} // namespace kpr
