// GeraTableApurFat against the real kpr-appserver: a by-date run for 1,000 clients × 10
// services × 31 days and a by-service run for 1,000 clients × 20 services × 62 days, each
// on a SQLite database kpr-demodata builds once in a temporary directory. Prints the server
// calls, records and statement rows, the total time split into the time waiting on calls
// and the client's own work, the server's own time (the trace's ms; with calls sent
// together it runs in part alongside the client's work), and the peak memory of this
// process. Each kind is set against a floor measured in the same
// run, since these machines differ by up to four times from day to day: for by date its
// calls times the median bare call of the same stack (a method the server does not have,
// from a bare HTTP client), for by service one query through the sqlite3 library that
// reads the period's records with their prices. The last lines give the ratios.
#include "contract/methods.h"
#include "cfr/apuration/geratableapurfat.h"
#include "framework/core/paddedjson.h"
#include "framework/net/netconnection.h"
#include "host/rdmcfr.h"
#include "telateste.h"
#include "tests/support/appserverprocess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <httplib.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

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
using namespace kpr::cfr;

namespace {

[[noreturn]] void die(const QString &text)
{
    std::fprintf(stderr, "bench_apuration: %s\n", qPrintable(text));
    std::exit(1);
}

// The rows of an answer's packet, counted on its kept text: the QJsonValue that reading it
// as an object would build is a second parse of every answer, one the pass never makes
// (it cost about a fifth of the by-service pass's time).
qint64 linhas(const ServerResult &r)
{
    if (!r.data.hasJson())
        return r.data.toObject().value(u"rows"_s).toArray().size();
    static simdjson::ondemand::parser parser;
    const PaddedJson text(r.data.json());
    simdjson::ondemand::document doc;
    simdjson::ondemand::array rows;
    size_t n = 0;
    if (parser.iterate(text.view).get(doc) || doc["rows"].get_array().get(rows) || rows.count_elements().get(n))
        return 0;
    return qint64(n);
}

// The run's calls over the connection, timed and counted.
class RdmCronometrado : public RdmCFRConnection
{
public:
    using RdmCFRConnection::RdmCFRConnection;

    int chamadas = 0;
    qint64 registros = 0;
    qint64 nsEmChamadas = 0;

    template<typename F>
    ServerResult mede(F &&f, bool conta = false)
    {
        QElapsedTimer t;
        t.start();
        ServerResult r = f();
        nsEmChamadas += t.nsecsElapsed();
        ++chamadas;
        if (conta)
            registros += linhas(r);
        return r;
    }

    ServerResult ProPrxRelApurFat(const QString &f) override
    {
        return mede([&] { return RdmCFRConnection::ProPrxRelApurFat(f); });
    }
    ServerResult ProRelGesDireta(const QString &f, const QDate &i, const QDate &e, const QString &a,
                                 const QString &v) override
    {
        return mede([&] { return RdmCFRConnection::ProRelGesDireta(f, i, e, a, v); });
    }
    ServerResult GetCFRSintData() override
    {
        return mede([&] { return RdmCFRConnection::GetCFRSintData(); });
    }
    ServerResult GetCFRSintServ() override
    {
        return mede([&] { return RdmCFRConnection::GetCFRSintServ(); });
    }
    ServerResult GetClieSelect(const QString &f, const QString &a, QString &c) override
    {
        return mede([&] { return RdmCFRConnection::GetClieSelect(f, a, c); });
    }
    ServerResult GetTotalizacao(const QString &f, const QString &a, const QDate &i, const QDate &e, QString &c) override
    {
        return mede([&] { return RdmCFRConnection::GetTotalizacao(f, a, i, e, c); });
    }
    ServerResult GetServSelect(const QString &f, const QString &a, const QString &c) override
    {
        return mede([&] { return RdmCFRConnection::GetServSelect(f, a, c); });
    }
    ServerResult GetQtdeEfetData(const QString &f, const QString &a, const QString &c, const QString &s, QDate &i,
                                 QDate &e) override
    {
        return mede([&] { return RdmCFRConnection::GetQtdeEfetData(f, a, c, s, i, e); }, true);
    }
    // The calls sent together: the time in them is the whole, less what the pass spends
    // taking each answer in.
    void EmSequencia(const QList<ChamadaCFR> &lista, const RespostaSequencia &resposta) override
    {
        QElapsedTimer t;
        t.start();
        qint64 nsNoPasse = 0;
        RdmCFRConnection::EmSequencia(lista, [&](qsizetype i, const ServerResult &r) {
            ++chamadas;
            const auto m = lista.at(i).metodo;
            if (m == M::GetQtdeEfetData || m == M::GetQtdeEfetServ)
                registros += linhas(r);
            QElapsedTimer p;
            p.start();
            const bool mais = resposta(i, r);
            nsNoPasse += p.nsecsElapsed();
            return mais;
        });
        nsEmChamadas += t.nsecsElapsed() - nsNoPasse;
    }
    ServerResult SetCRFSintDados(const QJsonObject &p) override
    {
        return mede([&] { return RdmCFRConnection::SetCRFSintDados(p); });
    }
    ServerResult GetQtdeEfetServ(const QString &f, const QString &a, const QString &c, const QDate &i,
                                 const QDate &e) override
    {
        return mede([&] { return RdmCFRConnection::GetQtdeEfetServ(f, a, c, i, e); }, true);
    }
};

long picoKb(int who)
{
    rusage u{};
    getrusage(who, &u);
    return u.ru_maxrss;
}

void demodata(const QString &db, int services, int days)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QString::fromUtf8(KPR_DEMODATA_EXE),
            {u"--db"_s, u"sqlite:"_s + db, u"--branches"_s, u"1"_s, u"--clients"_s, u"1000"_s, u"--services"_s,
             QString::number(services), u"--days"_s, QString::number(days), u"--start"_s, u"2024-01-01"_s});
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        die(u"kpr-demodata falhou."_s);
}

// One run of GeraTableApurFat on a server at host:port; the answer is its seconds.
double executa(const QString &host, int port, RdmCronometrado *&rdmOut, cfr::test::TelaTeste *&telaOut,
               TNetConnection &net, int posicao, int dias)
{
    net.setServerName(QString::fromUtf16(ServerNameCFR));
    net.setHost(host);
    net.setPort(port);
    net.setConnected(true);
    if (!net.connected())
        die(net.lastError());
    rdmOut = new RdmCronometrado(net);
    telaOut = new cfr::test::TelaTeste(*rdmOut);
    telaOut->posicao = posicao;
    telaOut->inicio = QDate(2024, 1, 1);
    telaOut->fim = telaOut->inicio.addDays(dias - 1);
    QElapsedTimer t;
    t.start();
    if (!runGuarded([&] { GeraTableApurFat(*telaOut); }))
        die(u"a apuração falhou."_s);
    return double(t.nsecsElapsed()) / 1e9;
}

// What the screen does when it closes: the run's rows go, so that a kept database does not
// grow from run to run. Not timed.
void limpa(RdmCFR &rdm, cfr::test::TelaTeste &tela)
{
    for (int i = 0; i < tela.filiais.size(); ++i)
        rdm.ProDelTableRelApur(tela.filiais.at(i), tela.apuracoes.value(i));
}

// The median of many calls of a method the server does not have, from a bare HTTP client
// with the body written beforehand: the cost of a call on this stack (loopback, HTTP, the
// server's dispatch) with no work in it, in seconds.
double chamadaNua(const QString &host, int port)
{
    httplib::Client http(host.toStdString(), port);
    http.set_tcp_nodelay(true);
    http.set_keep_alive(true);
    const std::string corpo = R"({"method":"SemTrabalho","args":[]})";
    std::vector<double> vezes;
    for (int i = 0; i < 2200; ++i) {
        QElapsedTimer t;
        t.start();
        const auto res = http.Post("/rpc/Kpr04700.rdmCFR", corpo, "application/json");
        if (!res || res->status != 200)
            die(u"a chamada nua falhou."_s);
        if (i >= 200) // warmed up
            vezes.push_back(double(t.nsecsElapsed()) / 1e9);
    }
    std::nth_element(vezes.begin(), vezes.begin() + long(vezes.size() / 2), vezes.end());
    return vezes[vezes.size() / 2];
}

// The by-service floor: the period's meal records with the price in force each day, read
// whole through the sqlite3 library (the median of three reads), in seconds.
double leituraNua(const QString &db, const QDate &inicio, const QDate &fim)
{
    sqlite3 *con = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(db).constData(), &con, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        die(u"sqlite3 não abriu %1."_s.arg(db));
    const char *sql =
        "SELECT E.CDCLIENTE, E.CDSERVFILI, E.DTEFETIVO, E.NREFETIVOS, "
        "(SELECT P.VRPRECUNIT FROM PRECSERV P WHERE P.CDFILIAL = E.CDFILIAL AND P.CDCLIENTE = E.CDCLIENTE "
        "AND P.CDSERVFILI = E.CDSERVFILI AND P.DTVIGENCIA <= E.DTEFETIVO "
        "ORDER BY P.DTVIGENCIA DESC LIMIT 1) "
        "FROM EFETIVO E WHERE E.CDFILIAL = '0001' AND E.DTEFETIVO >= ? AND E.DTEFETIVO <= ?";
    std::vector<double> vezes;
    qint64 linhas = 0;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(con, sql, -1, &st, nullptr) != SQLITE_OK)
            die(QString::fromUtf8(sqlite3_errmsg(con)));
        const QByteArray de = inicio.toString(Qt::ISODate).toLatin1(), ate = fim.toString(Qt::ISODate).toLatin1();
        sqlite3_bind_text(st, 1, de.constData(), int(de.size()), SQLITE_STATIC);
        sqlite3_bind_text(st, 2, ate.constData(), int(ate.size()), SQLITE_STATIC);
        double soma = 0;
        linhas = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 0; c < 3; ++c)
                soma += double(sqlite3_column_bytes(st, c)) + (sqlite3_column_text(st, c) ? 0 : 1);
            soma += sqlite3_column_double(st, 3) * sqlite3_column_double(st, 4);
            ++linhas;
        }
        sqlite3_finalize(st);
        vezes.push_back(double(t.nsecsElapsed()) / 1e9);
        if (soma < 0)
            die(u"leitura impossível"_s);
    }
    sqlite3_close(con);
    if (linhas == 0)
        die(u"a leitura nua não achou registros."_s);
    std::sort(vezes.begin(), vezes.end());
    return vezes[1];
}

struct Tempo
{
    double segundos = 0;
    double chamadaNua = 0; // seconds
};

// The time of a run without --trace: the server as it is deployed; then, on the same
// server, the bare call.
Tempo semTrace(const QString &db, int posicao, int dias)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QString::fromUtf8(KPR_APPSERVER_EXE), {u"--db"_s, u"sqlite:"_s + db, u"--listen"_s, u"127.0.0.1:0"_s});
    if (!p.waitForReadyRead(60000))
        die(u"kpr-appserver não iniciou."_s);
    const QString linha = QString::fromUtf8(p.readLine()).trimmed();
    const int port = linha.section(u':', -1).toInt();
    if (port <= 0)
        die(u"kpr-appserver: "_s + linha);
    Tempo tempo;
    {
        TNetConnection net;
        RdmCronometrado *rdm = nullptr;
        cfr::test::TelaTeste *tela = nullptr;
        tempo.segundos = executa(u"127.0.0.1"_s, port, rdm, tela, net, posicao, dias);
        limpa(*rdm, *tela);
        delete tela;
        delete rdm;
    }
    tempo.chamadaNua = chamadaNua(u"127.0.0.1"_s, port);
    p.terminate();
    p.waitForFinished(45000);
    return tempo;
}

double mediana(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

// The run's ratio to its floor.
double corrida(const QString &titulo, const QString &db, int posicao, int dias, double metaSegundos, int vezes)
{
    QList<double> tempos, nuas;
    for (int i = 0; i < vezes; ++i) {
        const Tempo t = semTrace(db, posicao, dias);
        tempos << t.segundos;
        nuas << t.chamadaNua;
    }
    const double semTraco = mediana(tempos);
    QStringList cada;
    for (double x : tempos)
        cada << QString::number(x, 'f', 2);

    kpr::test::AppServerProcess server(QString::fromUtf8(KPR_APPSERVER_EXE));
    if (const Status up = server.start(u"sqlite:"_s + db); !up)
        die(up.error());
    TNetConnection net;
    RdmCronometrado *rdmP = nullptr;
    cfr::test::TelaTeste *telaP = nullptr;
    const int marca = server.traceCount();
    const double total = executa(server.host(), server.port(), rdmP, telaP, net, posicao, dias);
    std::unique_ptr<RdmCronometrado> rdmDono(rdmP);
    std::unique_ptr<cfr::test::TelaTeste> telaDona(telaP);
    RdmCronometrado &rdm = *rdmP;
    cfr::test::TelaTeste &tela = *telaP;

    double msServidor = 0, msGesDireta = 0;
    int tracadas = 0;
    QMap<QString, QPair<int, double>> porMetodo;
    for (const auto &c : server.trace(marca)) {
        msServidor += c.ms;
        ++tracadas;
        porMetodo[c.method].first++;
        porMetodo[c.method].second += c.ms;
        if (c.method == methodName(M::ProRelGesDireta))
            msGesDireta = c.ms;
    }
    const double emChamadas = double(rdm.nsEmChamadas) / 1e9;
    const int linhas = posicao == 1 || posicao == 3 ? tela.sintData.RecordCount() : tela.sintServ.RecordCount();
    limpa(rdm, tela);
    if (const Status down = server.stop(); !down)
        die(down.error());

    QTextStream out(stdout);
    out << titulo << Qt::endl
        << u"  server calls       %1 (traced %2)"_s.arg(rdm.chamadas).arg(tracadas) << Qt::endl
        << u"  records            %1"_s.arg(rdm.registros) << Qt::endl
        << u"  statement rows     %1"_s.arg(linhas) << Qt::endl
        << u"  total              %1 s without --trace, median of %3 (%4)  (goal < %2 s)"_s.arg(semTraco, 0, 'f', 2)
               .arg(metaSegundos)
               .arg(vezes)
               .arg(cada.join(u", "_s))
        << Qt::endl
        << u"  total, traced run  %1 s, of which:"_s.arg(total, 0, 'f', 2) << Qt::endl
        << u"    waiting on calls %1 s   (%2 us a call)"_s.arg(emChamadas, 0, 'f', 2)
               .arg(emChamadas * 1e6 / qMax(1, rdm.chamadas), 0, 'f', 0)
        << Qt::endl
        << u"    client passes    %1 s"_s.arg(total - emChamadas, 0, 'f', 2)
        << Qt::endl
        // Calls sent together overlap the server's work with the client's passes.
        << u"  server's own       %1 s   (ProRelGesDireta %2 s), in part alongside the client passes"_s
               .arg(msServidor / 1000, 0, 'f', 2)
               .arg(msGesDireta / 1000, 0, 'f', 2)
        << Qt::endl
        << u"  peak memory        %1 MB (this process, goal < 500 MB)"_s.arg(double(picoKb(RUSAGE_SELF)) / 1024, 0, 'f',
                                                                             0)
        << Qt::endl;
    for (auto it = porMetodo.begin(); it != porMetodo.end(); ++it)
        out << u"    server, %1: %2 calls, %3 s, %4 us a call"_s.arg(it.key(), -16)
                   .arg(it.value().first)
                   .arg(it.value().second / 1000, 0, 'f', 2)
                   .arg(it.value().second * 1000 / it.value().first, 0, 'f', 0)
            << Qt::endl;
    double piso = 0;
    if (posicao == 1 || posicao == 3) {
        const double nua = mediana(nuas);
        piso = rdm.chamadas * nua;
        out << u"  floor              %1 s = %2 calls x %3 us (the median bare call of this stack)"_s
                   .arg(piso, 0, 'f', 2)
                   .arg(rdm.chamadas)
                   .arg(nua * 1e6, 0, 'f', 1)
            << Qt::endl;
    } else {
        piso = leituraNua(db, tela.inicio, tela.fim);
        out << u"  floor              %1 s (the period's %2 records with their prices, one query through sqlite3)"_s
                   .arg(piso, 0, 'f', 2)
                   .arg(rdm.registros)
            << Qt::endl;
    }
    const double razao = semTraco / piso;
    out << u"  ratio to the floor %1"_s.arg(razao, 0, 'f', 2) << Qt::endl;
    return razao;
}

} // namespace

// bench_apuration [--runs N] [--only data|servico] [--keep DIR]
//   --runs: untimed-trace runs of each kind whose median is reported (default 3);
//   --keep: build the demo databases in DIR once and reuse them.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser cli;
    cli.addHelpOption();
    cli.addOption({u"runs"_s, u"Runs without --trace of each kind (median reported)."_s, u"N"_s, u"3"_s});
    cli.addOption({u"only"_s, u"Only the by-date (data) or by-service (servico) run."_s, u"KIND"_s});
    cli.addOption({u"keep"_s, u"Keep the demo databases in DIR and reuse them."_s, u"DIR"_s});
    cli.process(app);
    const int vezes = qMax(1, cli.value(u"runs"_s).toInt());
    const QString so = cli.value(u"only"_s);
    QTemporaryDir tmp;
    if (!tmp.isValid())
        die(u"sem diretório temporário."_s);
    QDir dir(cli.isSet(u"keep"_s) ? cli.value(u"keep"_s) : tmp.path());
    dir.mkpath(u"."_s);
    const QString porData = dir.filePath(u"data.db"_s), porServico = dir.filePath(u"servico.db"_s);
    QElapsedTimer t;
    t.start();
    if (so != u"servico"_s && !QFile::exists(porData))
        demodata(porData, 10, 31);
    if (so != u"data"_s && !QFile::exists(porServico))
        demodata(porServico, 20, 62);
    QTextStream(stdout) << u"demo databases ready in %1 s"_s.arg(double(t.elapsed()) / 1000, 0, 'f', 1) << Qt::endl;

    double porDataRazao = 0, porServicoRazao = 0;
    if (so != u"servico"_s)
        porDataRazao = corrida(u"by date: 1000 clients x 10 services x 31 days"_s, porData, 1, 31, 6, vezes);
    if (so != u"data"_s)
        porServicoRazao = corrida(u"by service: 1000 clients x 20 services x 62 days"_s, porServico, 0, 62, 5, vezes);
    QTextStream out(stdout);
    out << u"peak memory of the server processes and kpr-demodata: %1 MB"_s.arg(double(picoKb(RUSAGE_CHILDREN)) / 1024,
                                                                                0, 'f', 0)
        << Qt::endl;
    if (so != u"servico"_s)
        out << u"ratio by-date: %1"_s.arg(porDataRazao, 0, 'f', 2) << Qt::endl;
    if (so != u"data"_s)
        out << u"ratio by-service: %1"_s.arg(porServicoRazao, 0, 'f', 2) << Qt::endl;
    return 0;
}
