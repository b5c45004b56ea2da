#pragma once
// Brazilian national holidays, on which clients that do not work every day get no meals.

#include <QDate>

namespace kpr::demodata {

QDate easterSunday(int year);
// Fixed-date national holidays (Consciência Negra from 2024 on), Carnival Tuesday and
// Good Friday.
bool isHoliday(const QDate &date);

} // namespace kpr::demodata
