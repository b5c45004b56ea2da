#pragma once
// The real kpr-appserver as a child process of a test: started on a free loopback port
// with a trace file, read back as the list of calls it served, stopped with SIGTERM.

#include "framework/core/result.h"

#include <QJsonArray>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace kpr::test {

struct TracedCall
{
    QString method;
    QJsonArray args;
    bool ok = false;
    double ms = 0;
};

class AppServerProcess
{
public:
    explicit AppServerProcess(QString program);
    ~AppServerProcess();

    // With a secret: start() passes --secret-file (which --init-db creates, mode 0600), and
    // every call must carry "Authorization: Bearer <secret()>". Off by default.
    void setUseSecret(bool on) { m_useSecret = on; }
    QString secretFile() const;
    QByteArray secret() const; // the first line of secretFile(); empty without a secret

    // Starts the server on database url (--init-db creates the schema) and waits for its
    // "listening on" line.
    Status start(const QString &dbUrl, const QStringList &extraArgs = {}, int timeoutMs = 60000);
    // SIGTERM; succeeds when the server exits 0 in time.
    Status stop(int timeoutMs = 45000);
    bool running() const;

    QString host() const { return m_host; }
    int port() const { return m_port; }
    QString traceFile() const;
    QString stderrText() const { return m_stderr; }
    qint64 pid() const { return m_process.processId(); }

    // The traced calls from line from (0: all) on; the count so far marks a point for a
    // later call.
    QList<TracedCall> trace(int from = 0) const;
    int traceCount() const { return int(trace().size()); }

    // Runs the server once with --init-db --no-serve: creates or migrates the database.
    static Status initDatabase(const QString &program, const QString &dbUrl, int timeoutMs = 60000);

private:
    QString m_program;
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_host;
    int m_port = 0;
    QString m_stderr;
    bool m_useSecret = false;
};

} // namespace kpr::test
