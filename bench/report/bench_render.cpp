// Renders the documented by-service layout with N clients (default 1,000) of D days
// (default 20) each, one page or more per client, into one PDF through the report dialog's
// export path: in-memory tables, the branch's name from SQLite, look-ups, repeated columns,
// group sums. Prints the time of each step, pages per second and the peak memory.
//
//   bench_render [clients] [days] [output.pdf]
#include "framework/core/abort.h"
#include "framework/data/clientdataset.h"
#include "framework/db/dtmdbgeral.h"
#include "framework/pdf/gtexpdfengine.h"
#include "framework/reportdesigner/reportdesignerdialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

namespace {

long peakKiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void fill(TClientDataSet &serv, TClientDataSet &clie, int clients, int days)
{
    const QStringList suffixes{u"01"_s, u"02"_s, u"03"_s, u"04"_s, u"05"_s, u"06"_s};
    for (const QString &f : {u"IDGRUPO"_s, u"CDFILIAL"_s, u"NMFILIAL"_s, u"IDTPIJURCLIE"_s, u"NRINSJURCLIE"_s,
                             u"NMRAZSOCCLIE"_s, u"NRAPURACGD"_s, u"CDCLIENTE"_s})
        serv.AddField(f, ftString, 50);
    for (const QString &kind : {u"CDSERVICO"_s, u"NMSERVICO"_s})
        for (const QString &s : suffixes)
            serv.AddField(kind + s, ftString, 30);
    for (const QString &kind : {u"QTSERVICO"_s, u"VRSERVICO"_s})
        for (const QString &s : suffixes)
            serv.AddField(kind + s, ftFloat);
    for (const QString &f : {u"DTAPURACFAT"_s, u"DTINICIAL"_s, u"DTFINAL"_s})
        serv.AddField(f, ftDateTime);
    serv.CreateDataSet();
    for (const QString &f : {u"CDCLIENTEAPGD"_s, u"DSENDECLIE"_s, u"NMBAIRCLIE"_s, u"NMMUNICLIE"_s})
        clie.AddField(f, ftString, 50);
    clie.CreateDataSet();

    const QStringList names{u"Almoço"_s, u"Jantar"_s, u"Café da manhã"_s, u"Lanche"_s, u"Ceia"_s, u"Desjejum"_s};
    for (int c = 1; c <= clients; ++c) {
        const QString code = QString::number(c).rightJustified(6, u'0');
        clie.Append();
        clie.FieldByName(u"CDCLIENTEAPGD"_s)->setAsString(code);
        clie.FieldByName(u"DSENDECLIE"_s)->setAsString(u"Rua das Flores, %1"_s.arg(c));
        clie.FieldByName(u"NMBAIRCLIE"_s)->setAsString(u"Centro"_s);
        clie.FieldByName(u"NMMUNICLIE"_s)->setAsString(u"Recife"_s);
        clie.Post();
        for (int d = 1; d <= days; ++d) {
            serv.Append();
            serv.FieldByName(u"IDGRUPO"_s)->setAsString(u"001"_s);
            serv.FieldByName(u"CDFILIAL"_s)->setAsString(u"0001"_s);
            serv.FieldByName(u"IDTPIJURCLIE"_s)->setAsString(u"J"_s);
            serv.FieldByName(u"NRINSJURCLIE"_s)->setAsString(u"11222333%1"_s.arg(c, 6, 10, QChar(u'0')));
            serv.FieldByName(u"NMRAZSOCCLIE"_s)->setAsString(u"Cliente Frigorífico %1 Ltda"_s.arg(c));
            serv.FieldByName(u"NRAPURACGD"_s)->setAsString(u"0000000001"_s);
            serv.FieldByName(u"CDCLIENTE"_s)->setAsString(code);
            for (int j = 0; j < 6; ++j) {
                serv.FieldByName(u"NMSERVICO"_s + suffixes[j])->setAsString(names[j]);
                serv.FieldByName(u"QTSERVICO"_s + suffixes[j])->setAsFloat((c * 7 + d * 3 + j) % 250);
                serv.FieldByName(u"VRSERVICO"_s + suffixes[j])->setAsFloat(8.5 + j);
            }
            serv.FieldByName(u"DTAPURACFAT"_s)->setAsDate(QDate(2026, 3, 1).addDays(d - 1));
            serv.Post();
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int clients = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int days = argc > 2 ? std::atoi(argv[2]) : 20;
    QTemporaryDir dir;
    const QString out = argc > 3 ? QString::fromLocal8Bit(argv[3]) : dir.filePath(u"bench.pdf"_s);

    if (!dtmDBGeral::open(u"sqlite:"_s + dir.filePath(u"bench.db"_s))) {
        std::fprintf(stderr, "cannot open the database\n");
        return 1;
    }
    QSqlQuery q(dtmDBGeral::database());
    q.exec(u"CREATE TABLE FILIAL (CDFILIAL VARCHAR(4), NMFILIAL VARCHAR(30))"_s);
    q.exec(u"INSERT INTO FILIAL VALUES ('0001', 'Matriz')"_s);

    QElapsedTimer t;
    t.start();
    TClientDataSet serv(u"qryCFRSintServ"_s), clie(u"qryClieSelect"_s);
    fill(serv, clie, clients, days);
    const qint64 fillMs = t.restart();

    TReportDesignerDialog rpdd;
    rpdd.registerTable(u"qryCFRSintServ"_s, &serv);
    rpdd.registerTable(u"qryClieSelect"_s, &clie);
    rpdd.BeforeGetQueryParams = [](QObject *, TParams &p, bool &) {
        p.ParamByName(u"P_CDFILIAL"_s)->setValue(u"0001"_s);
        p.ParamByName(u"P_NRAPURACGD"_s)->setValue(u"0000000001"_s);
        p.ParamByName(u"P_CDCLIENTE"_s)->setValue(u"T"_s);
        p.ParamByName(u"P_DTINICIAL"_s)->setValue(QDate(2026, 3, 1));
        p.ParamByName(u"P_DTFINAL"_s)->setValue(QDate(2026, 3, 31));
    };
    try {
        const std::unique_ptr<ReportRenderer> report = rpdd.OpenReport(QString::fromUtf8(KPR_LAYOUT_FILE));
        const qint64 openMs = t.restart();
        const int pages = report->pageCount();
        const qint64 countMs = t.restart();
        TgtExPDFEngine engine;
        engine.setFileName(out);
        engine.Export(report->title(),
                      [&](QPagedPaintDevice &dev, const PdfRenderOptions &o) { report->print(dev, o); });
        const qint64 printMs = t.elapsed();
        const double total = double(openMs + countMs + printMs) / 1000.0;
        std::printf("rows %d (clients %d x days %d)\n", clients * days, clients, days);
        std::printf("fill tables   %6lld ms\n", static_cast<long long>(fillMs));
        std::printf("open report   %6lld ms (copy, filter, sort, bind)\n", static_cast<long long>(openMs));
        std::printf("count pages   %6lld ms\n", static_cast<long long>(countMs));
        std::printf("paint + write %6lld ms\n", static_cast<long long>(printMs));
        std::printf("pages %d, %.0f pages/s (open to written file), PDF %.1f MiB, peak memory %.1f MiB\n", pages,
                    pages / total, QFileInfo(out).size() / 1048576.0, peakKiB() / 1024.0);
    } catch (const EKprError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
