#pragma once
// The rules of the report parameters that do not need the screen.

#include <QDate>
#include <QString>

namespace kpr::cfr {

// "1" for an initial date in the first half of its month (day 15 or less), else "2".
QString IndicadorQuinzena(const QDate &inicio);
// The first day of the fortnight the initial date falls in: the 1st or the 16th.
QDate InicioQuinzena(const QDate &inicio);

} // namespace kpr::cfr
