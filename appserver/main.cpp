// kpr-appserver: hosts the remote module Kpr04700.rdmCFR over HTTP on its database.

#include "appserver/database/session.h"
#include "appserver/options.h"
#include "appserver/schema/migrate.h"
#include "appserver/server/access.h"
#include "appserver/server/httpserver.h"
#include "appserver/server/trace.h"
#include "framework/db/databaseurl.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::appserver;

namespace {

void say(const QString &text)
{
    std::fprintf(stderr, "kpr-appserver: %s\n", text.toUtf8().constData());
    std::fflush(stderr);
}

// Creates path readable and writable by its owner only, unless it exists already (an
// existing file keeps the mode its owner gave it). The database file and the trace hold
// business data and call arguments; SQLite gives its -wal and -shm files the mode of the
// database file.
bool createPrivateFile(const QString &path, QString *why)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno == EEXIST)
        return true;
    *why = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

// Creates or migrates the schema (--init-db), or checks that it is current.
Status prepareDatabase(const DatabaseUrl &url, bool initDb)
{
    const QString name = u"kpr-appserver-startup"_s;
    Status status;
    {
        auto opened = openDatabase(url, name);
        if (!opened)
            return makeError(opened.error());
        QSqlDatabase &db = opened.value();
        if (initDb) {
            status = migrate(db);
        } else {
            const auto version = schemaVersion(db);
            if (!version)
                status = makeError(version.error());
            else if (*version != latestSchemaVersion())
                status = makeError(u"o banco de dados %1 está na versão %2 do esquema; este servidor "
                                   "usa a versão %3. Rode com --init-db para criá-lo ou migrá-lo."_s.arg(url.display())
                                       .arg(*version)
                                       .arg(latestSchemaVersion()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return status;
}

// --branch-email: the password comes from standard input, is checked before the database is
// opened, and never appears in a message. Exit status: 0 stored, 1 database failure, 2 refused.
int runBranchEmail(const DatabaseUrl &url, const BranchEmail &mail, const QString &password)
{
    const QString name = u"kpr-appserver-branch-email"_s;
    Result<bool> stored = makeError(QString());
    {
        auto opened = openDatabase(url, name);
        if (!opened) {
            say(opened.error());
            return 1;
        }
        stored = storeBranchEmail(opened.value(), mail, password);
        opened.value().close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!stored) {
        say(stored.error());
        return 1;
    }
    if (!*stored) {
        say(u"a filial \"%1\" não existe em %2; nada foi gravado."_s.arg(mail.branch, url.display()));
        return 2;
    }
    std::printf("kpr-appserver: e-mail da filial %s gravado: servidor %s (%s)\n", mail.branch.toUtf8().constData(),
                mail.smtp.toUtf8().constData(), securityName(mail.security).toUtf8().constData());
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // SIGINT and SIGTERM are taken by one thread with sigwait; block them before any other
    // thread exists so that every thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Every file this process creates (database, its journal files, trace) is its owner's
    // alone, whatever the umask it was started with.
    ::umask(077);

    QCoreApplication app(argc, argv);
    const auto options = parseOptions(app.arguments().mid(1));
    if (!options) {
        say(options.error());
        std::fputs(usage().toUtf8().constData(), stderr);
        return 2;
    }
    if (options->help) {
        std::fputs(usage().toUtf8().constData(), stdout);
        return 0;
    }
    const auto url = DatabaseUrl::parse(options->db);
    if (!url) {
        say(url.error());
        return 2;
    }
    QString password;
    if (options->branchEmail) {
        password = readPasswordLine(stdin);
        if (const auto checked = checkSmtpPassword(password); !checked) {
            say(checked.error());
            return 2;
        }
    }
    if (url->kind == DatabaseUrl::Kind::SQLite) {
        QString why;
        if (!createPrivateFile(url->path, &why)) {
            say(u"não foi possível criar o banco de dados %1: %2"_s.arg(url->path, why));
            return 1;
        }
    }
    // The secret callers must send: --init-db makes the file when it is missing; a server
    // never starts on a secret others could read.
    QByteArray secret;
    if (!options->secretFile.isEmpty() && !options->branchEmail) {
        if (options->initDb) {
            const auto created = createSecretFile(options->secretFile);
            if (!created) {
                say(created.error());
                return 1;
            }
            if (*created)
                say(u"segredo criado em %1 (modo 0600); os clientes o usam com --set WebSecretFile=%1."_s.arg(
                    options->secretFile));
        }
        const auto read = readSecretFile(options->secretFile);
        if (!read) {
            say(read.error());
            return 1;
        }
        secret = *read;
    }
    if (const auto prepared = prepareDatabase(*url, options->initDb); !prepared) {
        say(prepared.error());
        return 1;
    }
    if (options->branchEmail)
        return runBranchEmail(*url, *options->branchEmail, password);
    if (!options->serve)
        return 0;

    TraceLog trace;
    if (!options->trace.isEmpty()) {
        QString why;
        if (!createPrivateFile(options->trace, &why) || !trace.open(options->trace, &why)) {
            say(u"não foi possível abrir o arquivo de trace %1: %2"_s.arg(options->trace, why));
            return 1;
        }
    }
    Session::configure(*url);

    ServerOptions serverOptions;
    serverOptions.limits.maxBody = size_t(options->maxBody);
    serverOptions.limits.keepAliveSeconds = options->keepAliveSeconds;
    serverOptions.limits.requestTimeoutSeconds = options->requestTimeoutSeconds;
    serverOptions.limits.maxConnections = options->maxConnections;
    serverOptions.limits.maxConnectionsPerClient = options->maxConnectionsPerClient;
    serverOptions.workers = options->workers;
    serverOptions.credential = Credential(secret);
    serverOptions.tlsCert = options->tlsCert;
    serverOptions.tlsKey = options->tlsKey;
    serverOptions.trace = trace.isOpen() ? &trace : nullptr;
    auto *server = new RpcServer(serverOptions); // freed only when every worker has ended
    const auto port = server->bind(options->host, options->port);
    if (!port) {
        say(port.error());
        return 1;
    }

    std::atomic<bool> serving{true};
    std::thread signalWaiter([&] {
        const timespec tick{0, 200 * 1000 * 1000};
        bool stopAsked = false;
        while (serving) {
            const int sig = sigtimedwait(&stopSignals, nullptr, &tick);
            if (sig == SIGINT || sig == SIGTERM)
                stopAsked = true;
            if (stopAsked)
                server->stop(); // again on every tick, in case listening had not begun yet
        }
    });

    const QString host = options->host.contains(u':') ? u"[%1]"_s.arg(options->host) : options->host;
    std::printf("kpr-appserver: listening on %s:%d\n", host.toUtf8().constData(), *port);
    std::fflush(stdout);

    server->run();
    serving = false;
    signalWaiter.join();
    // Workers that ended closed their own connections; those still held by idle clients
    // (or by a call past the grace period) are retired, never closed from this thread.
    retireAllSessions();
    trace.close();
    if (!server->allWorkersJoined()) {
        // Some workers still hold idle kept-alive connections: end the process under them
        // rather than wait for the clients (every call's transaction is committed or not).
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(0);
    }
    delete server;
    return 0;
}
