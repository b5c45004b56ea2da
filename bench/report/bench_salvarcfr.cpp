// The per-client export of the CFR screen for the apuration benchmark's data: 1,000 clients,
// by date (1,000 × 10 services × 31 days, layout 01) and by service (1,000 × 20 × 62 days,
// layout 02), each end to end through the real screen (kpr-demodata, kpr-appserver on SQLite,
// the apuration run, SalvarCFR writing one PDF per client). In the same run baselines: a
// plain QPdfWriter program writing as many two-page documents of comparable text, one file
// each, and the same program writing documents as long as each export's. Prints PDFs per
// second for all, the ratios and the peak memory of this process.
//   bench_salvarcfr [--clients N] [--keep DIR]
#include "cfr/report/arquivoscfr.h"
#include "cfr/screen/cli_kpr04700.h"
#include "cfr/screen/frmcfr.h"
#include "framework/core/abort.h"
#include "framework/db/dtmdbgeral.h"
#include "framework/settings/context.h"
#include "framework/settings/registry.h"
#include "framework/widgets/dateeditplus.h"
#include "framework/widgets/kprapplication.h"
#include "tests/support/appserverprocess.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

extern "C" int PackageLoad();
extern "C" void PackageUnload();
extern "C" void IniProc();

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::cfr;

namespace {

[[noreturn]] void die(const QString &text)
{
    std::fprintf(stderr, "bench_salvarcfr: %s\n", qPrintable(text));
    std::exit(1);
}

long peakMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

// Documents of A4 landscape pages of a table of figures, each to a file of its own: what a
// plain program costs for the same number of documents.
double baseline(const QString &dir, int n, int pages)
{
    QDir().mkpath(dir);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i) {
        QPdfWriter w(dir + u"/base%1.pdf"_s.arg(i));
        w.setResolution(300);
        w.setPageSize(QPageSize(QPageSize::A4));
        w.setPageOrientation(QPageLayout::Landscape);
        w.setTitle(u"Base %1"_s.arg(i));
        QPainter p(&w);
        QFont f(u"DejaVu Sans"_s, 8);
        f.setStyleStrategy(QFont::PreferNoShaping);
        p.setFont(f);
        for (int page = 0; page < pages; ++page) {
            if (page)
                w.newPage();
            p.drawText(100, 150, u"CONHECIMENTO DE FORNECIMENTO DE REFEIÇÕES — Cliente %1"_s.arg(i));
            for (int row = 0; row < 40; ++row) {
                QString line = u"%1/03/2024 "_s.arg(row % 28 + 1, 2, 10, QChar(u'0'));
                for (int c = 0; c < 11; ++c)
                    line += QString::number((i + row * 7 + c * 13) % 400) + u"  "_s;
                line += u"R$ 1.234,56"_s;
                p.drawText(100, 300 + row * 55, line);
            }
        }
    }
    const double s = t.elapsed() / 1000.0;
    QDir(dir).removeRecursively();
    return n / s;
}

int pagesOf(const QString &file)
{
    QPDF pdf;
    pdf.processFile(QFile::encodeName(file).constData());
    return int(QPDFPageDocumentHelper(pdf).getAllPages().size());
}

struct Export
{
    double rate = 0;     // PDFs per second
    int pagesPerPdf = 0; // rounded mean
};

Export mede(const QString &titulo, const QString &dir, int clientes, int servicos, int dias, int posicao)
{
    const QString db = dir + u"/"_s + titulo + u".db"_s;
    QProcess demo;
    demo.start(QString::fromUtf8(KPR_DEMODATA_EXE),
               {u"--db"_s, u"sqlite:"_s + db, u"--branches"_s, u"1"_s, u"--clients"_s, QString::number(clientes),
                u"--services"_s, QString::number(servicos), u"--days"_s, QString::number(dias), u"--start"_s,
                u"2024-01-01"_s, u"--seed"_s, u"7"_s});
    if (!demo.waitForFinished(600000) || demo.exitCode() != 0)
        die(u"kpr-demodata falhou: "_s + QString::fromUtf8(demo.readAllStandardError()));
    kpr::test::AppServerProcess server(QString::fromUtf8(KPR_APPSERVER_EXE));
    if (const Status up = server.start(u"sqlite:"_s + db); !up)
        die(up.error());
    Context &c = Context::instance();
    c.set(u"Database"_s, u"sqlite:"_s + db);
    c.set(u"FiliProcFat"_s, u"0001"_s);
    c.set(u"WebURL"_s, server.host());
    c.set(u"WebPort"_s, QString::number(server.port()));
    c.set(u"ReportDir"_s, QString::fromUtf8(KPR_LAYOUTS_DIR));
    if (const Status open = dtmDBGeral::open(u"sqlite:"_s + db); !open)
        die(open.error());

    Export result;
    const bool ok = runGuarded([&] {
        IniProc();
        TfrmCFR *f = frmCFR.data();
        if (!f)
            die(u"a tela não abriu."_s);
        f->cbbReportNames->setCurrentIndex(posicao);
        f->depDtInicial->SetDate(QDate(2024, 1, 1));
        f->depDtFinal->SetDate(QDate(2024, 1, 1).addDays(dias - 1));
        f->rdgTodos->setChecked(true);
        QElapsedTimer t;
        t.start();
        f->GeraTableApurFat();
        const double apuracao = t.elapsed() / 1000.0;
        t.restart();
        f->SalvarCFR(fPDF, mPorCliente, false, false, true);
        const double s = t.elapsed() / 1000.0;
        const QStringList arquivos = ArquivosRegulares(f->DiretorioSaida());
        result.rate = int(arquivos.size()) / s;
        long pages = 0;
        for (const QString &a : arquivos)
            pages += pagesOf(f->DiretorioSaida() + a);
        result.pagesPerPdf = arquivos.isEmpty() ? 0 : int((pages + arquivos.size() / 2) / arquivos.size());
        std::printf("%s, layout %s: %d clients x %d services x %d days; apuration %.2f s; "
                    "%d PDFs of %d pages in %.2f s = %.0f PDFs/s; peak memory so far %ld MiB\n",
                    qPrintable(titulo), qPrintable(f->layoutNumbers().value(posicao)), clientes, servicos, dias,
                    apuracao, int(arquivos.size()), result.pagesPerPdf, s, result.rate, peakMiB());
        f->ApagaArquivosGerados();
        f->close();
    });
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    dtmDBGeral::close();
    if (!ok)
        die(titulo + u": a exportação falhou."_s);
    if (!server.stop())
        die(u"o servidor não parou."_s);
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    KprApplication app(argc, argv);
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
    // The work directory of this run, in a registry of its own.
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, dir + u"/etc"_s);
    Registry().writeString(u"SiteWebCli/WorkDir"_s, dir + u"/trab"_s);
    PackageLoad();

    const double base = baseline(dir + u"/base"_s, clientes, 2);
    std::printf("baseline: plain QPdfWriter, %d two-page documents = %.0f PDFs/s\n", clientes, base);
    const Export porData = mede(u"por-data"_s, dir, clientes, 10, 31, 1);
    const Export porServico = mede(u"por-servico"_s, dir, clientes, 20, 62, 2);
    // The statements are longer than two pages: the same plain program writing documents of
    // their length tells what the batch gains for the same output.
    const auto sameLength = [&](const Export &e) {
        const double rate = baseline(dir + u"/base"_s, clientes, e.pagesPerPdf);
        std::printf("baseline: plain QPdfWriter, %d documents of %d pages = %.0f PDFs/s\n", clientes, e.pagesPerPdf,
                    rate);
        return e.rate / rate;
    };
    const double porDataMesmasPaginas = sameLength(porData);
    const double porServicoMesmasPaginas = sameLength(porServico);
    std::printf("ratio by-date, same pages: %.2f\nratio by-service, same pages: %.2f\n", porDataMesmasPaginas,
                porServicoMesmasPaginas);
    std::printf("ratio by-date: %.2f\nratio by-service: %.2f\n", porData.rate / base, porServico.rate / base);
    PackageUnload();
    std::printf("peak memory %ld MiB\n", peakMiB());
    return 0;
}
