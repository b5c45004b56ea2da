// The query parameters the CFR screen hands to a layout when the report engine opens it:
// branch, apuration number, clients, period, fortnight, service groups, and for the
// numbered statements the CFR sequence the server issues.
#include "cfr/apuration/geratableapurfat.h"
#include "cfr/report/parametrosrelatorio.h"
#include "cfr/screen/cli_kpr04700.h"
#include "cfr/screen/frmcfr.h"
#include "cfr/selection/layoutentry.h"
#include "framework/core/abort.h"
#include "framework/core/dates.h"
#include "framework/core/serverresult.h"
#include "framework/data/clientdataset.h"
#include "framework/data/field.h"
#include "framework/data/params.h"
#include "framework/report/reportdesignerdialog.h"
#include "framework/widgets/dateeditplus.h"
#include "framework/widgets/maskedit.h"
#include "host/rdmcfr.h"

#include <QComboBox>
#include <QRadioButton>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

QString IndicadorQuinzena(const QDate &inicio)
{
    return inicio.day() <= 15 ? u"1"_s : u"2"_s;
}

QDate InicioQuinzena(const QDate &inicio)
{
    const QDate primeiro(inicio.year(), inicio.month(), 1);
    return inicio.day() <= 15 ? primeiro : primeiro.addDays(15);
}

bool TfrmCFR::existeParametro(const TParams &Params, const QString &nome) const
{
    return rpddPadrao()->ExistParam(Params, nome);
}

void TfrmCFR::rpddPadraoBeforeGetQueryParams(QObject *, TParams &Params, bool &)
{
    // Only what the layout declares is set; anything else is skipped without a word.
    auto define = [&](const QString &nome, const QVariant &valor) {
        if (existeParametro(Params, nome))
            Params.ParamByName(nome)->setAsVariant(valor);
    };

    const int i = PosicaoFilial(*lstFiliais, medCdFilial->text());
    const QString apuracao = i >= 0 ? lstApuracoes->value(i) : QString();
    const bool todos = rdgTodos->isChecked();
    const QDate inicio = depDtInicial->GetDate();
    const QDate fim = depDtFinal->GetDate();

    define(u"P_CDFILIAL"_s, medCdFilial->text());
    define(u"P_NRAPURACGD"_s, apuracao);
    define(u"P_CDCLIENTE"_s, todos ? u"T"_s : ClientesLista);
    define(u"P_TCDCLIENTE"_s, todos ? u"T"_s : QString());
    define(u"P_DATAINI"_s, depDtInicial->text());
    define(u"P_DATAFIN"_s, depDtFinal->text());
    define(u"P_DTINICIAL"_s, inicio);
    define(u"P_DTFINAL"_s, fim);
    // The start of the day after the end date, as a plain number: the layouts compare
    // date-times against it.
    define(u"P_DTFINALCOMP"_s, toDayNumber(fim) + 1.0);

    QString quinzena = IndicadorQuinzena(inicio);

    // The layout editor's preview emits no statement: no CFR number is asked for it.
    if (PedeSequencia(cbbReportNames->currentIndex()) && !rpddPadrao()->ParaEdicao()) {
        const QString cliente = qryClieSelect->Active() && !qryClieSelect->IsEmpty()
                                    ? qryClieSelect->FieldByName(u"CDCLIENTEAPGD"_s)->AsString()
                                    : QString();
        const ServerResult r =
            rdm().GetSequencial(inicio, medCdFilial->text(), ClientesLista, apuracao, cliente, quinzena);
        // A call that failed (no server, say) must stop the statement as a refusal does:
        // a numbered CFR printed without its sequence would be wrong.
        const QString recusa = r.ok ? r.data.toVariant().toString() : r.error;
        if (!recusa.isEmpty())
            MensErro(recusa, true);
    }

    define(u"P_DTCDRS"_s, formatDateBR(InicioQuinzena(inicio)));
    if (rdbGrupServTodos->isChecked())
        define(u"P_CDGRUPSERV"_s, u"T"_s);
    if (rdbGrupServLista->isChecked())
        define(u"P_CDGRUPSERV"_s, GrupServLista);
}

} // namespace kpr::cfr
