#include "tests/support/pgcluster.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace kpr::test {

namespace {

int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

bool asRoot()
{
    return ::geteuid() == 0;
}

} // namespace

PgCluster::PgCluster() = default;

PgCluster::~PgCluster()
{
    stop();
}

QString PgCluster::binDir()
{
    return u"/usr/lib/postgresql/15/bin"_s;
}

bool PgCluster::available()
{
    return QFileInfo(binDir() + u"/initdb"_s).isExecutable() && QFileInfo(binDir() + u"/pg_ctl"_s).isExecutable();
}

Status PgCluster::run(const QString &program, const QStringList &args, int timeoutMs, QString *output)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(m_dir.path()); // runuser keeps the directory; postgres must be able to enter it
    const QString path = binDir() + u'/' + program;
    if (asRoot())
        p.start(u"runuser"_s, QStringList{u"-u"_s, u"postgres"_s, u"--"_s, path} + args);
    else
        p.start(path, args);
    const bool finished = p.waitForFinished(timeoutMs);
    const QString text = QString::fromLocal8Bit(p.readAll());
    if (output)
        *output = text;
    if (!finished) {
        p.kill();
        p.waitForFinished(10000);
        return makeError(u"%1 did not finish in %2 ms: %3"_s.arg(program).arg(timeoutMs).arg(text));
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return makeError(u"%1 failed (%2): %3 %4"_s.arg(program).arg(p.exitCode()).arg(p.errorString(), text));
    return {};
}

Status PgCluster::start(int timeoutMs)
{
    if (!available())
        return makeError(u"PostgreSQL 15 is not installed (%1)"_s.arg(binDir()));
    if (!m_dir.isValid())
        return makeError(u"no temporary directory"_s);
    if (asRoot()) {
        const passwd *pg = ::getpwnam("postgres");
        if (!pg)
            return makeError(u"there is no postgres user"_s);
        if (::chown(QFile::encodeName(m_dir.path()).constData(), pg->pw_uid, pg->pw_gid) != 0)
            return makeError(u"cannot hand %1 to postgres"_s.arg(m_dir.path()));
    }
    const QString data = m_dir.filePath(u"data"_s);
    if (Status s = run(u"initdb"_s,
                       {u"-D"_s, data, u"-A"_s, u"trust"_s, u"-U"_s, u"kpr"_s, u"-E"_s, u"UTF8"_s,
                        u"--locale=C.UTF-8"_s, u"--no-sync"_s},
                       timeoutMs);
        !s)
        return s;

    // A free port can be taken by someone else before the server binds it: try again.
    Status started = makeError(u"not started"_s);
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        m_port = freeLoopbackPort();
        const QString options =
            u"-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off"_s.arg(m_port).arg(m_dir.path());
        started = run(u"pg_ctl"_s,
                      {u"-D"_s, data, u"-o"_s, options, u"-l"_s, m_dir.filePath(u"log"_s), u"-w"_s, u"-t"_s,
                       QString::number(timeoutMs / 1000), u"start"_s},
                      timeoutMs + 5000);
    }
    if (!started) {
        QFile log(m_dir.filePath(u"log"_s));
        log.open(QIODevice::ReadOnly);
        return makeError(started.error() + u" log: "_s + QString::fromLocal8Bit(log.readAll()));
    }
    m_running = true;
    return {};
}

void PgCluster::stop()
{
    if (!m_running)
        return;
    run(u"pg_ctl"_s, {u"-D"_s, m_dir.filePath(u"data"_s), u"-m"_s, u"immediate"_s, u"-w"_s, u"stop"_s}, 60000);
    m_running = false;
}

QString PgCluster::url(const QString &database) const
{
    return u"postgresql://kpr@127.0.0.1:%1/%2"_s.arg(m_port).arg(database);
}

Status PgCluster::requirePasswords()
{
    QFile hba(m_dir.filePath(u"data/pg_hba.conf"_s));
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return makeError(u"cannot write %1"_s.arg(hba.fileName()));
    hba.write("local all all trust\n"
              "host all all 127.0.0.1/32 scram-sha-256\n"
              "host all all ::1/128 scram-sha-256\n");
    hba.close();
    if (Status s = run(u"pg_ctl"_s, {u"-D"_s, m_dir.filePath(u"data"_s), u"reload"_s}, 60000); !s)
        return s;
    // The reload is a signal: wait until a connection without a password is turned away.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString connection = u"pgcluster-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
        bool refused = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_s, connection);
            db.setHostName(u"127.0.0.1"_s);
            db.setPort(m_port);
            db.setUserName(u"kpr"_s);
            db.setDatabaseName(u"postgres"_s);
            refused = !db.open();
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
        if (refused)
            return {};
        QThread::msleep(100);
    }
    return makeError(u"the cluster still lets connections in without a password"_s);
}

Status PgCluster::createDatabase(const QString &name)
{
    const QString connection = u"pgcluster-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
    Status result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_s, connection);
        db.setHostName(u"127.0.0.1"_s);
        db.setPort(m_port);
        db.setUserName(u"kpr"_s);
        db.setDatabaseName(u"postgres"_s);
        if (!db.open()) {
            result = makeError(u"cannot connect to the test cluster: "_s + db.lastError().text());
        } else {
            QSqlQuery q(db);
            // The name comes from the test itself; identifiers cannot be bound.
            if (!q.exec(u"CREATE DATABASE \"%1\""_s.arg(name)))
                result = makeError(u"CREATE DATABASE %1: %2"_s.arg(name, q.lastError().text()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return result;
}

} // namespace kpr::test
