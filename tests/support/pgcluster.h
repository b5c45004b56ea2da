#pragma once
// A throw-away PostgreSQL 15 cluster for one test executable: initdb into a temporary
// directory (trust authentication, superuser "kpr"), started on a free loopback port,
// stopped and removed at the end. Under root the server programs run as the "postgres"
// user, since PostgreSQL refuses to run as root.

#include "framework/core/result.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace kpr::test {

class PgCluster
{
public:
    PgCluster();
    ~PgCluster();

    // Whether the PostgreSQL 15 server programs are installed.
    static bool available();
    static QString binDir();

    Status start(int timeoutMs = 120000);
    void stop();
    bool running() const { return m_running; }
    int port() const { return m_port; }

    Status createDatabase(const QString &name);
    // From now on connections over TCP must give their role's password (scram-sha-256);
    // the Unix socket stays trusted. Returns once the server applies the new rule.
    Status requirePasswords();
    // "postgresql://kpr@127.0.0.1:PORT/NAME"
    QString url(const QString &database) const;

private:
    Status run(const QString &program, const QStringList &args, int timeoutMs, QString *output = nullptr);

    QTemporaryDir m_dir;
    int m_port = 0;
    bool m_running = false;
};

} // namespace kpr::test
