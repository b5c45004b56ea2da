#pragma once
// The shared data module: the process's one database connection, which the shell opens from
// the Database context value and every look-up query of every package runs on. It belongs
// to the user-interface thread, as QSqlDatabase connections belong to the thread that made
// them.

#include "framework/core/result.h"
#include "framework/db/databaseurl.h"

#include <QSqlDatabase>
#include <QString>

namespace kpr {

class dtmDBGeral
{
public:
    dtmDBGeral() = delete;

    static QString connectionName(); // "dtmDBGeral"

    // Opens the connection from the Database context value, or from url. An open connection
    // is closed first, so the shell can switch databases.
    static Status open();
    static Status open(const QString &url);
    static bool isOpen();
    // The open connection; opens it from the context on first use. Throws EKprError with the
    // database's text when it cannot be opened.
    static QSqlDatabase database();
    // The kind of the open connection (SQLite when none is open).
    static DatabaseUrl::Kind kind();
    static void close();
};

} // namespace kpr
