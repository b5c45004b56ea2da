// kpr-cfr end to end for the apuration benchmark's by-service data (1,000 clients × 20
// services × 62 days), layout 00, to a local aiosmtpd with STARTTLS and AUTH: the time from
// start to the last message accepted, with the split the run reports (apuration, PDFs, mail,
// send log), the log's share, and the ratio to the PDF step alone at the rate of the fastest
// HTML-to-PDF peer measured on these machines (8 documents per second).
//   bench_kprcfr [--clients N]
#include "framework/core/cripto.h"
#include "tests/support/appserverprocess.h"
#include "tests/support/smtpserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using kpr::test::SmtpServer;

namespace {

[[noreturn]] void die(const QString &text)
{
    std::fprintf(stderr, "bench_kprcfr: %s\n", qPrintable(text));
    std::exit(1);
}

constexpr double peerDocsPerSecond = 8.0;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int clients = 1000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i)
        if (args[i] == u"--clients"_s)
            clients = args[i + 1].toInt();

    QTemporaryDir dir;
    const QString db = dir.filePath(u"bench.db"_s);
    QProcess demo;
    demo.start(QString::fromUtf8(KPR_DEMODATA_EXE),
               {u"--db"_s, u"sqlite:"_s + db, u"--branches"_s, u"1"_s, u"--clients"_s, QString::number(clients),
                u"--services"_s, u"20"_s, u"--days"_s, u"62"_s, u"--start"_s, u"2024-01-01"_s, u"--seed"_s, u"7"_s});
    if (!demo.waitForFinished(600000) || demo.exitCode() != 0)
        die(u"kpr-demodata falhou"_s);

    SmtpServer smtp(SmtpServer::Options{
        .mode = SmtpServer::Mode::StartTls, .user = u"cfr"_s, .password = u"segredo"_s, .store = false});
    if (const Status s = smtp.start(); !s)
        die(s.error());
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"bench"_s);
        c.setDatabaseName(db);
        c.open();
        QSqlQuery q(c);
        q.prepare(u"UPDATE FILIAL SET DSSMTPEMAILF = ?, IDUTTLSEMAIL = 'S', IDUTSSLEMAIL = 'N', DSLOGINSMTP = 'cfr', "
                  "CDSENHEMAILF = ? WHERE CDFILIAL = '0001'"_s);
        q.addBindValue(u"127.0.0.1:"_s + smtp.portText());
        q.addBindValue(Cripto(u"segredo"_s, ChaveCripto));
        if (!q.exec())
            die(u"FILIAL"_s);
        // Every client gets one valid address (the demo data leaves some empty or malformed).
        if (!q.exec(u"UPDATE CLIENTE SET DSEMAIL = 'cfr@' || CDCLIENTE || '.com.br'"_s))
            die(u"CLIENTE"_s);
    }
    QSqlDatabase::removeDatabase(u"bench"_s);

    kpr::test::AppServerProcess server(QString::fromUtf8(KPR_APPSERVER_EXE));
    if (const Status up = server.start(u"sqlite:"_s + db); !up)
        die(up.error());
    QFile body(dir.filePath(u"corpo.txt"_s));
    body.open(QIODevice::WriteOnly);
    body.write("Prezado cliente,\nsegue o CFR.\n");
    body.close();

    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_DIRS"_s, dir.filePath(u"etc"_s));
    env.insert(u"TMPDIR"_s, dir.path());
    env.insert(u"SSL_CERT_FILE"_s, SmtpServer::caFile());
    run.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    run.start(QString::fromUtf8(KPR_CFR_EXE),
              {u"--branch"_s, u"0001"_s, u"--period"_s, u"2024-01-01..2024-03-02"_s, u"--layout"_s, u"00"_s,
               u"--subject"_s, u"CFR"_s, u"--body-file"_s, body.fileName(), u"--json"_s, u"--set"_s,
               u"Database=sqlite:"_s + db, u"--set"_s, u"WebURL="_s + server.host(), u"--set"_s,
               u"WebPort="_s + QString::number(server.port()), u"--set"_s,
               u"ReportDir="_s + QString::fromUtf8(KPR_LAYOUTS_DIR)});
    if (!run.waitForFinished(1800000))
        die(u"kpr-cfr não terminou"_s);
    const double total = t.elapsed() / 1000.0;
    const QJsonObject o = QJsonDocument::fromJson(run.readAllStandardOutput()).object();
    if (run.exitCode() != 0)
        die(u"kpr-cfr saiu com %1: %2"_s.arg(run.exitCode())
                .arg(QString::fromUtf8(run.readAllStandardError().right(2000))));
    const QJsonObject s = o[u"seconds"_s].toObject();
    const int sent = o[u"counts"_s][u"sent"_s].toInt();
    const double mail = s[u"mail"_s].toDouble(), log = s[u"log"_s].toDouble();
    std::printf("kpr-cfr, layout 00, %d clients x 20 services x 62 days: %d messages sent in %.1f s\n", clients, sent,
                total);
    std::printf("  apuration %.1f s, PDFs %.1f s (%.0f PDFs/s; the messages of finished parts and the "
                "fingerprints, %.1f s, meanwhile), mail after the PDFs %.1f s; send log %.2f s in all\n",
                s[u"apuration"_s].toDouble(), s[u"pdf"_s].toDouble(), clients / s[u"pdf"_s].toDouble(),
                s[u"fingerprints"_s].toDouble(), mail, log);
    // The log's calls run on the mail thread beside the export; the run waits only for those
    // made after it. Both shares are printed: every call counted, and those the run waited for.
    const double logAfter = s[u"logAfterPdf"_s].toDouble();
    std::printf("log share of the run, every call counted as if the run waited for it: %.1f%%\n", 100.0 * log / total);
    std::printf("log added to the run (its calls after the PDFs, %.2f s): %.1f%%\n", logAfter,
                100.0 * logAfter / total);
    std::printf("ratio to the HTML-to-PDF peer's PDF step alone (%.0f s): %.1f\n", clients / peerDocsPerSecond,
                clients / peerDocsPerSecond / total);
    return 0;
}
