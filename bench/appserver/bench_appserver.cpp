// Benchmarks of the application server as the screen meets it: the real kpr-appserver on a
// SQLite database filled by kpr-demodata, called over loopback.
//   (a) GetQtdeEfetData round trips over one kept-alive TNetConnection (goal: median
//       under 100 us), beside a bare HTTP client and a call that never reaches the
//       database, to show where a call's time goes;
//   (b) ProRelGesDireta over 1,000 clients x 10 services x 31 days (goal: under 2 s).
// The server's own time per call comes from a second run with --trace.
//
// bench_appserver [--clients N] [--calls N] [--runs N] [--keep DIR]

#include "contract/methods.h"
#include "framework/core/dates.h"
#include "framework/net/netconnection.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#ifdef KPR_BENCH_HTTPLIB
#include <httplib.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
using M = kpr::contract::Method;
// The method's name as the module's contract writes it.
QString methodName(M m)
{
    return kpr::contract::method(m).name;
}
} // namespace

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

namespace {

using Clock = std::chrono::steady_clock;

const QString kModule = u"Kpr04700.rdmCFR"_s;
const QString kBranch = u"0001"_s;
const QDate kStart(2026, 1, 1);
const QDate kEnd(2026, 1, 31);
constexpr int kServices = 10;

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

[[noreturn]] void die(const QString &text)
{
    QTextStream(stderr) << u"bench_appserver: "_s << text << Qt::endl;
    std::exit(1);
}

struct Stats
{
    double median = 0, p90 = 0, p99 = 0, min = 0, mean = 0;
    std::size_t n = 0;
};

Stats stats(std::vector<double> v)
{
    Stats s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    const auto at = [&v](double q) { return v[std::size_t(q * double(v.size() - 1))]; };
    s.n = v.size();
    s.median = at(0.5);
    s.p90 = at(0.9);
    s.p99 = at(0.99);
    s.min = v.front();
    double sum = 0;
    for (double x : v)
        sum += x;
    s.mean = sum / double(v.size());
    return s;
}

void report(const QString &what, const Stats &s, const QString &unit)
{
    out() << what.leftJustified(44)
          << u"median %1  p90 %2  p99 %3  min %4  mean %5 %6  (n=%7)"_s.arg(s.median, 8, 'f', 1)
                 .arg(s.p90, 8, 'f', 1)
                 .arg(s.p99, 8, 'f', 1)
                 .arg(s.min, 8, 'f', 1)
                 .arg(s.mean, 8, 'f', 1)
                 .arg(unit)
                 .arg(s.n)
          << Qt::endl;
}

// kpr-appserver as a child process on a free loopback port.
class Server
{
public:
    Server(const QString &db, const QStringList &extra)
    {
        m_process.setProgram(QString::fromUtf8(KPR_APPSERVER_EXE));
        m_process.setArguments(QStringList{u"--db"_s, db, u"--listen"_s, u"127.0.0.1:0"_s} + extra);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(10000))
            die(u"kpr-appserver não iniciou: "_s + m_process.errorString());
        static const QRegularExpression listening(u"listening on 127\\.0\\.0\\.1:(\\d+)"_s);
        QByteArray seen;
        while (m_port == 0) {
            if (!m_process.waitForReadyRead(30000))
                die(u"kpr-appserver não anunciou a porta: "_s + QString::fromUtf8(seen));
            seen += m_process.readAllStandardOutput();
            const auto m = listening.match(QString::fromUtf8(seen));
            if (m.hasMatch())
                m_port = m.captured(1).toInt();
        }
    }
    ~Server()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(45000))
            m_process.kill();
    }
    int port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
};

QJsonValue callOrDie(TNetConnection &con, const QString &method, const QJsonArray &args)
{
    const ServerResult r = con.call(method, args);
    if (!r.ok)
        die(method + u": "_s + r.error);
    return r.data;
}

QString clientCode(int i)
{
    return QString::number(i + 1).rightJustified(10, u'0');
}

QString serviceCode(int i)
{
    return QString::number(i + 1).rightJustified(3, u'0');
}

// The arguments of the k-th GetQtdeEfetData call: clients and services in turn, the first
// ten-day window of the period, as the by-date pass asks for it.
QJsonArray qtdeArgs(const QString &number, int k, int clients)
{
    return QJsonArray{kBranch,
                      number,
                      clientCode(k % clients),
                      serviceCode((k / clients) % kServices),
                      toDayNumber(kStart),
                      toDayNumber(kStart.addDays(9))};
}

std::vector<double> timeCalls(int calls, const std::function<void(int)> &call)
{
    std::vector<double> us;
    us.reserve(std::size_t(calls));
    for (int k = 0; k < calls; ++k) {
        const auto t0 = Clock::now();
        call(k);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    return us;
}

struct Measured
{
    Stats netConnection, raw, rawNoDb, proRel;
    qint64 rows = 0;
};

Measured runAll(const QString &db, const QStringList &serverArgs, int clients, int calls, int runs)
{
    Measured m;
    Server server(db, serverArgs);
    TNetConnection con;
    con.setServerName(kModule);
    con.setHost(u"127.0.0.1"_s);
    con.setPort(server.port());
    if (const Status s = con.open(); !s)
        die(s.error());

    const QString number = callOrDie(con, methodName(M::ProPrxRelApurFat), {kBranch}).toString();

    // (b) The apuration, repeated: each run replaces the rows of the one before.
    std::vector<double> ms;
    for (int r = 0; r < runs; ++r) {
        const auto t0 = Clock::now();
        const QJsonValue rows = callOrDie(con, methodName(M::ProRelGesDireta),
                                          {kBranch, toDayNumber(kStart), toDayNumber(kEnd), number, u""_s});
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        m.rows = qint64(rows.toDouble());
    }
    m.proRel = stats(ms);

    // (a) Round trips through TNetConnection, after a warm-up that fills the caches.
    const auto viaConnection = [&](int k) {
        const ServerResult r = con.call(methodName(M::GetQtdeEfetData), qtdeArgs(number, k, clients));
        if (!r.ok || !r.data.isObject())
            die(u"GetQtdeEfetData: "_s + r.error);
    };
    timeCalls(calls / 10, viaConnection);
    m.netConnection = stats(timeCalls(calls, viaConnection));

#ifdef KPR_BENCH_HTTPLIB
    // The same calls from a bare client with the bodies written beforehand: what is left is
    // loopback, HTTP and the server.
    httplib::Client http("127.0.0.1", server.port());
    http.set_tcp_nodelay(true);
    http.set_keep_alive(true);
    std::vector<std::string> bodies;
    for (int k = 0; k < calls; ++k)
        bodies.push_back(QJsonDocument(QJsonObject{{u"method"_s, methodName(M::GetQtdeEfetData)},
                                                   {u"args"_s, qtdeArgs(number, k, clients)}})
                             .toJson(QJsonDocument::Compact)
                             .toStdString());
    const std::string path = "/rpc/Kpr04700.rdmCFR";
    const auto post = [&](const std::string &body) {
        const auto res = http.Post(path, body, "application/json");
        if (!res || res->status != 200)
            die(u"HTTP falhou na chamada direta."_s);
    };
    timeCalls(calls / 10, [&](int k) { post(bodies[std::size_t(k)]); });
    m.raw = stats(timeCalls(calls, [&](int k) { post(bodies[std::size_t(k)]); }));
    // An unknown method is answered before any database work: the floor of a call.
    const std::string unknown = R"({"method":"Nada","args":[]})";
    m.rawNoDb = stats(timeCalls(calls, [&](int) { post(unknown); }));
#endif
    con.close();
    return m;
}

Stats traceStats(const QString &file, const QString &method)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        die(u"sem trace em "_s + file);
    std::vector<double> ms;
    while (!f.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(f.readLine()).object();
        if (o.value(u"method"_s).toString() == method)
            ms.push_back(o.value(u"ms"_s).toDouble() * (method == methodName(M::ProRelGesDireta) ? 1.0 : 1000.0));
    }
    return stats(ms);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions({
        {u"clients"_s, u"Clients of the demo database (default 1000)."_s, u"N"_s, u"1000"_s},
        {u"calls"_s, u"GetQtdeEfetData calls per measurement (default 20000)."_s, u"N"_s, u"20000"_s},
        {u"runs"_s, u"ProRelGesDireta runs (default 7)."_s, u"N"_s, u"7"_s},
        {u"keep"_s, u"Keep the database in DIR and reuse it when present."_s, u"DIR"_s},
    });
    parser.process(app);
    const int clients = parser.value(u"clients"_s).toInt();
    const int calls = parser.value(u"calls"_s).toInt();
    const int runs = parser.value(u"runs"_s).toInt();
    if (clients < 1 || calls < 10 || runs < 1)
        die(u"--clients, --calls and --runs must be positive (--calls at least 10)."_s);

    QTemporaryDir tmp;
    const QString dir = parser.isSet(u"keep"_s) ? parser.value(u"keep"_s) : tmp.path();
    QDir().mkpath(dir);
    const QString dbFile = dir + u"/bench.db"_s;
    const QString db = u"sqlite:"_s + dbFile;

    if (!QFile::exists(dbFile)) {
        QProcess demo;
        demo.setProcessChannelMode(QProcess::ForwardedChannels);
        demo.start(QString::fromUtf8(KPR_DEMODATA_EXE),
                   {u"--db"_s, db, u"--branches"_s, u"1"_s, u"--clients"_s, QString::number(clients), u"--services"_s,
                    QString::number(kServices), u"--days"_s, u"31"_s, u"--start"_s, kStart.toString(Qt::ISODate),
                    u"--seed"_s, u"1"_s});
        if (!demo.waitForFinished(600000) || demo.exitStatus() != QProcess::NormalExit || demo.exitCode() != 0)
            die(u"kpr-demodata falhou."_s);
    }

    out() << u"kpr-appserver on %1: %2 clients x %3 services x 31 days"_s.arg(db).arg(clients).arg(kServices)
          << Qt::endl;
    const Measured m = runAll(db, {}, clients, calls, runs);
    out() << u"ProRelGesDireta wrote %1 rows"_s.arg(m.rows) << Qt::endl;
    report(u"(b) ProRelGesDireta, wall"_s, m.proRel, u"ms"_s);
    report(u"(a) GetQtdeEfetData via TNetConnection"_s, m.netConnection, u"us"_s);
#ifdef KPR_BENCH_HTTPLIB
    report(u"    GetQtdeEfetData via bare httplib"_s, m.raw, u"us"_s);
    report(u"    unknown method via bare httplib"_s, m.rawNoDb, u"us"_s);
#endif

    // The server's own share, from a run with --trace (which writes and flushes one line
    // per call, so its round trips are a little slower).
    const QString trace = dir + u"/trace.jsonl"_s;
    QFile::remove(trace);
    runAll(db, {u"--trace"_s, trace}, clients, qMax(10, calls / 4), qMax(1, runs / 2));
    report(u"    server time, ProRelGesDireta"_s, traceStats(trace, methodName(M::ProRelGesDireta)), u"ms"_s);
    report(u"    server time, GetQtdeEfetData"_s, traceStats(trace, methodName(M::GetQtdeEfetData)), u"us"_s);
    return 0;
}
