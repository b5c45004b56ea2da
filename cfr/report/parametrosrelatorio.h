#pragma once
// The query parameters a CFR layout is opened with, computed from the selection alone: a
// plain function the screen calls with what it shows, testable without a window.

#include "framework/core/result.h"
#include "framework/core/serverresult.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>
#include <utility>

namespace kpr::cfr {

// "1" for an initial date in the first half of its month (day 15 or less), else "2".
QString IndicadorQuinzena(const QDate &inicio);
// The first day of the fortnight the initial date falls in: the 1st or the 16th.
QDate InicioQuinzena(const QDate &inicio);

// What the screen's selection holds when a layout asks for its parameters.
struct SelecaoRelatorio
{
    QString filial;            // the branch code as typed
    QString apuracao;          // the branch's apuration number on this screen, or ""
    bool todosClientes = true; // rdgTodos, else the list
    QString clientesLista;     // "_code_" per chosen client
    QString textoInicial;      // the dates as the screen shows them (dd/MM/yyyy)
    QString textoFinal;
    QDate inicio;
    QDate fim;
    bool grupServTodos = false; // rdbGrupServTodos
    bool grupServLista = false; // rdbGrupServLista
    QString gruposLista;        // "_code_" per chosen service group
};

// Parameter names and values, in the order the screen sets them.
using ValoresParametros = QList<std::pair<QString, QVariant>>;

// The parameters of the selection itself: branch, apuration number, clients and period.
// They are set before the statement's CFR number is asked for.
ValoresParametros ParametrosSelecao(const SelecaoRelatorio &selecao);
// The parameters of the statement's emission: the fortnight's first day and the service
// groups. sequencia is the server's answer to the request for the CFR number (an empty text
// grants it, any other text is the refusal), or nullopt when the layout asks for none: a
// refusal or a failed call is the error, since a numbered statement must not be printed
// without its number.
Result<ValoresParametros> ParametrosEmissao(const SelecaoRelatorio &selecao,
                                            const std::optional<ServerResult> &sequencia);

} // namespace kpr::cfr
