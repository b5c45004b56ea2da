// kpr-cfr: the meal-supply statements of a branch and period e-mailed to every client without
// a window, for schedulers. See UsoCFR() and docs/kpr-cfr.md.
#include "cfr/screen/cli_kpr04700.h"
#include "cli/execucao.h"
#include "cli/opcoes.h"
#include "cli/saida.h"
#include "framework/db/dtmdbgeral.h"
#include "framework/settings/context.h"

#include <QApplication>
#include <QTextStream>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::cfr;

int main(int argc, char *argv[])
{
    // The report screen's code runs without showing anything.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"kpr-cfr"_s);
    QApplication::setOrganizationName(u"KPR"_s);
    QTextStream err(stderr);
    QTextStream out(stdout);

    const QStringList args = app.arguments().mid(1);
    const Result<OpcoesCFR> opcoes = LeOpcoes(args, QDate::currentDate());
    if (!opcoes) {
        err << u"kpr-cfr: "_s << opcoes.error() << u"\n"_s << UsoCFR();
        return 2;
    }
    if (opcoes->ajuda) {
        out << UsoCFR();
        return 0;
    }
    if (const Status st = configureContext(args); !st) {
        err << u"kpr-cfr: "_s << st.error() << Qt::endl;
        return 2;
    }
    if (const Status db = dtmDBGeral::open(); !db) {
        err << u"kpr-cfr: "_s << db.error() << Qt::endl;
        return 2;
    }

    Cli_kpr04700_Initialization();
    const ResultadoExecucao r = ExecutaCFR(*opcoes, [&](const QString &t) { err << u"kpr-cfr: "_s << t << Qt::endl; });
    Cli_kpr04700_Finalization();
    dtmDBGeral::close();

    if (!r.erro.isEmpty())
        err << u"kpr-cfr: "_s << r.erro << Qt::endl;
    if (opcoes->json)
        out << QString::fromUtf8(ResumoJson(*opcoes, r));
    else
        out << ResumoTexto(r);
    return r.codigoSaida;
}
