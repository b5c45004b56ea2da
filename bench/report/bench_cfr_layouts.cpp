// The shipped CFR layouts rendered to PDF for the apuration benchmark's data: a by-date run
// for 1,000 clients × 10 services × 31 days printed with layout 01, and a by-service run for
// 1,000 clients × 20 services × 62 days printed with layouts 02 and 08, each end to end
// (kpr-demodata, the real kpr-appserver on SQLite, the apuration run, the report dialog's
// ExportReport). Prints, per layout, the time to open (parameters, datasets) and write the
// PDF, its pages, pages per second, and the peak memory of this process.
//   bench_cfr_layouts [--clients N] [--keep DIR]
#include "cfr/apuration/geratableapurfat.h"
#include "framework/core/abort.h"
#include "framework/core/dates.h"
#include "framework/db/dtmdbgeral.h"
#include "framework/net/netconnection.h"
#include "framework/pdf/gtexpdfengine.h"
#include "framework/reportdesigner/reportdesignerdialog.h"
#include "host/rdmcfr.h"
#include "telateste.h"
#include "tests/support/appserverprocess.h"
#include "tests/support/pdftext.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::cfr;

namespace {

[[noreturn]] void die(const QString &text)
{
    std::fprintf(stderr, "bench_cfr_layouts: %s\n", qPrintable(text));
    std::exit(1);
}

long peakMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

void demodata(const QString &db, int clients, int services, int days)
{
    QProcess p;
    p.start(QString::fromUtf8(KPR_DEMODATA_EXE),
            {u"--db"_s, u"sqlite:"_s + db, u"--branches"_s, u"1"_s, u"--clients"_s, QString::number(clients),
             u"--services"_s, QString::number(services), u"--days"_s, QString::number(days), u"--start"_s,
             u"2024-01-01"_s, u"--seed"_s, u"7"_s});
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        die(u"kpr-demodata falhou: "_s + QString::fromUtf8(p.readAllStandardError()));
}

// The parameters the CFR screen gives a layout, for all clients and service groups.
void preenche(TParams &params, const TReportDesignerDialog &rpdd, const cfr::test::TelaTeste &tela)
{
    const QString apuracao = tela.apuracoes.value(0);
    const QDate primeiro(tela.inicio.year(), tela.inicio.month(), 1);
    const QList<std::pair<QString, QVariant>> valores{
        {u"P_CDFILIAL"_s, tela.filial},
        {u"P_NRAPURACGD"_s, apuracao},
        {u"P_CDCLIENTE"_s, u"T"_s},
        {u"P_TCDCLIENTE"_s, u"T"_s},
        {u"P_DATAINI"_s, formatDateBR(tela.inicio)},
        {u"P_DATAFIN"_s, formatDateBR(tela.fim)},
        {u"P_DTINICIAL"_s, tela.inicio},
        {u"P_DTFINAL"_s, tela.fim},
        {u"P_DTFINALCOMP"_s, toDayNumber(tela.fim) + 1.0},
        {u"P_DTCDRS"_s, formatDateBR(tela.inicio.day() <= 15 ? primeiro : primeiro.addDays(15))},
        {u"P_CDGRUPSERV"_s, u"T"_s},
    };
    for (const auto &[nome, valor] : valores)
        if (rpdd.ExistParam(params, nome))
            params.ParamByName(nome)->setAsVariant(valor);
}

// One apuration run and the PDFs of the layouts given.
void mede(const QString &titulo, const QString &dir, int clientes, int servicos, int dias, int posicao,
          const QStringList &layouts)
{
    const QString db = dir + u"/"_s + titulo + u".db"_s;
    demodata(db, clientes, servicos, dias);
    kpr::test::AppServerProcess server(QString::fromUtf8(KPR_APPSERVER_EXE));
    if (const Status up = server.start(u"sqlite:"_s + db); !up)
        die(up.error());
    TNetConnection net;
    net.setHost(server.host());
    net.setPort(server.port());
    net.setServerName(u"Kpr04700.rdmCFR"_s);
    net.setThrowException(false);
    net.setConnected(true);
    RdmCFRConnection rdm(net);
    cfr::test::TelaTeste tela(rdm);
    tela.posicao = posicao;
    tela.inicio = QDate(2024, 1, 1);
    tela.fim = tela.inicio.addDays(dias - 1);
    QElapsedTimer t;
    t.start();
    if (!runGuarded([&] { GeraTableApurFat(tela); }))
        die(u"a apuração falhou."_s);
    std::printf("%s: %d clients x %d services x %d days, apuration run %.2f s\n", qPrintable(titulo), clientes,
                servicos, dias, t.elapsed() / 1000.0);

    if (const Status open = dtmDBGeral::open(u"sqlite:"_s + db); !open)
        die(open.error());
    TReportDesignerDialog rpdd;
    for (TClientDataSet *tabela : {&tela.sintData, &tela.sintServ, &tela.total, &tela.clieSelect})
        rpdd.registerTable(tabela->objectName(), tabela);
    rpdd.BeforeGetQueryParams = [&](QObject *, TParams &params, bool &) { preenche(params, rpdd, tela); };
    for (const QString &numero : layouts) {
        const QString pdf = dir + u"/KPR047"_s + numero + u"-"_s + titulo + u".pdf"_s;
        TgtExPDFEngine engine;
        engine.setFileName(pdf);
        t.restart();
        const bool ok = runGuarded([&] {
            rpdd.ExportReport(QString::fromUtf8(KPR_LAYOUTS_DIR) + u"/KPR047"_s + numero + u".QR2"_s, 0, engine);
        });
        const double s = t.elapsed() / 1000.0;
        if (!ok)
            die(u"KPR047"_s + numero + u": a exportação falhou."_s);
        const int paginas = pdfPages(pdf);
        std::printf("  KPR047%s: %d pages in %.2f s = %.0f pages/s, %.1f MiB, peak memory so far %ld MiB\n",
                    qPrintable(numero), paginas, s, paginas / s, QFileInfo(pdf).size() / 1048576.0, peakMiB());
    }
    dtmDBGeral::close();
    net.setConnected(false);
    if (!server.stop())
        die(u"o servidor não parou."_s);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setErrorPresenter([](const QString &text) { std::fprintf(stderr, "erro: %s\n", qPrintable(text)); });
    int clientes = 1000;
    QString keep;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == u"--clients"_s)
            clientes = args[i + 1].toInt();
        else if (args[i] == u"--keep"_s)
            keep = args[i + 1];
    }
    QTemporaryDir tmp;
    const QString dir = keep.isEmpty() ? tmp.path() : keep;
    QDir().mkpath(dir);
    mede(u"por-data"_s, dir, clientes, 10, 31, 1, {u"01"_s});
    mede(u"por-servico"_s, dir, clientes, 20, 62, 2, {u"02"_s, u"08"_s});
    std::printf("peak memory %ld MiB\n", peakMiB());
    return 0;
}
