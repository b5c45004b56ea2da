#pragma once
// The command line of kpr-appserver (docs/appserver-protocol.md, "Running it").

#include "appserver/branchemail.h"
#include "framework/core/result.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace kpr::appserver {

struct Options
{
    QString db;
    QString host = QStringLiteral("127.0.0.1");
    int port = 8211;
    bool initDb = false;
    bool serve = true;
    QString trace;
    qint64 maxBody = 64LL * 1024 * 1024;
    int workers = 16;
    int keepAliveSeconds = 60;
    int requestTimeoutSeconds = 30;
    int maxConnections = 256;
    int maxConnectionsPerClient = 64;
    // The shared secret callers must send; required to listen beyond loopback.
    QString secretFile;
    // Both or neither: serve HTTPS with this certificate (PEM, chain included) and key.
    QString tlsCert;
    QString tlsKey;
    bool help = false;
    // --branch-email: store the branch's mail settings and exit instead of serving.
    std::optional<BranchEmail> branchEmail;
};

// arguments without the program name; the error text is for the user.
Result<Options> parseOptions(const QStringList &arguments);
QString usage();

} // namespace kpr::appserver
