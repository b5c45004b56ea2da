// The query parameters the CFR screen hands to a layout when the report engine opens it:
// branch, apuration number, clients, period, fortnight and service groups.
#include "cfr/report/parametrosrelatorio.h"

#include "framework/core/dates.h"

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

ValoresParametros ParametrosSelecao(const SelecaoRelatorio &s)
{
    return {
        {u"P_CDFILIAL"_s, s.filial},
        {u"P_NRAPURACGD"_s, s.apuracao},
        {u"P_CDCLIENTE"_s, s.todosClientes ? u"T"_s : s.clientesLista},
        {u"P_TCDCLIENTE"_s, s.todosClientes ? u"T"_s : QString()},
        {u"P_DATAINI"_s, s.textoInicial},
        {u"P_DATAFIN"_s, s.textoFinal},
        {u"P_DTINICIAL"_s, s.inicio},
        {u"P_DTFINAL"_s, s.fim},
        // The start of the day after the end date, as a plain number: the layouts compare
        // date-times against it.
        {u"P_DTFINALCOMP"_s, toDayNumber(s.fim) + 1.0},
    };
}

Result<ValoresParametros> ParametrosEmissao(const SelecaoRelatorio &s, const std::optional<ServerResult> &sequencia)
{
    if (sequencia) {
        const QString recusa = sequencia->ok ? sequencia->data.toVariant().toString() : sequencia->error;
        if (!recusa.isEmpty())
            return makeError(recusa);
    }
    ValoresParametros v{{u"P_DTCDRS"_s, formatDateBR(InicioQuinzena(s.inicio))}};
    if (s.grupServTodos)
        v.append({u"P_CDGRUPSERV"_s, u"T"_s});
    else if (s.grupServLista)
        v.append({u"P_CDGRUPSERV"_s, s.gruposLista});
    return v;
}

} // namespace kpr::cfr
