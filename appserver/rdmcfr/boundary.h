#pragma once
// The values a call may carry into the database. Both databases must answer a call the
// same way, so what one of them would coerce (SQLite: a date it cannot write becomes NULL)
// or refuse with a driver error (PostgreSQL: a NUL byte, a date past year 9999) is refused
// here, before any statement runs, with a text that says which value is wrong.

#include <QString>

namespace kpr::appserver::rdmcfr {

// The day numbers of 1 January 1900 and 31 December 9999 (day 0 is 30 December 1899).
inline constexpr double firstDayNumber = 2;
inline constexpr double lastDayNumber = 2958465;

// Why a day number is not a date the server takes, as the end of a sentence ("deve ser
// uma data ..."), or the empty text. Only the whole part counts, as everywhere else.
QString dayNumberFault(double dayNumber);

// Why a text cannot be stored or compared as it is (a NUL character, a lone UTF-16
// surrogate, U+FFFD left by a bad decode), as the end of a sentence ("contém ..."), or
// the empty text.
QString textFault(const QString &text);

// text cut to at most width UTF-16 units without splitting a surrogate pair.
QString cutToWidthWhole(const QString &text, int width);

} // namespace kpr::appserver::rdmcfr
