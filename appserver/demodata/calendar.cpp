#include "appserver/demodata/calendar.h"

namespace kpr::demodata {

QDate easterSunday(int year)
{
    // The anonymous Gregorian algorithm (Meeus/Jones/Butcher).
    const int a = year % 19;
    const int b = year / 100;
    const int c = year % 100;
    const int d = b / 4;
    const int e = b % 4;
    const int f = (b + 8) / 25;
    const int g = (b - f + 1) / 3;
    const int h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4;
    const int k = c % 4;
    const int l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int m = (a + 11 * h + 22 * l) / 451;
    const int month = (h + l - 7 * m + 114) / 31;
    const int day = (h + l - 7 * m + 114) % 31 + 1;
    return QDate(year, month, day);
}

bool isHoliday(const QDate &date)
{
    struct MonthDay
    {
        int month, day;
    };
    static constexpr MonthDay fixed[] = {
        {1, 1}, {4, 21}, {5, 1}, {9, 7}, {10, 12}, {11, 2}, {11, 15}, {12, 25},
    };
    for (const MonthDay md : fixed)
        if (date.month() == md.month && date.day() == md.day)
            return true;
    if (date.year() >= 2024 && date.month() == 11 && date.day() == 20)
        return true;
    const QDate easter = easterSunday(date.year());
    return date == easter.addDays(-47) || date == easter.addDays(-2);
}

} // namespace kpr::demodata
