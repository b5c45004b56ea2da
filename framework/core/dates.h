#pragma once
// The host's dates: a day number counted from 30 December 1899 (day 0), with the time of
// day as its fraction (0.25 is 06:00). For days before day 0 the fraction still counts
// forward from midnight: -1.25 is 29 December 1899, 06:00.

#include <QDate>
#include <QDateTime>
#include <QString>

namespace kpr {

QDate dayZero();

double toDayNumber(const QDate &date);
double toDayNumber(const QDateTime &dateTime); // wall-clock date and time, no time zone
QDate dayNumberToDate(double dayNumber);
QDateTime dayNumberToDateTime(double dayNumber); // to the nearest millisecond
// The same date and wall-clock time without a QDateTime: no time zone is consulted, so a
// time that the local zone skips (a summer-time change at midnight) stays as stored.
void splitDayNumber(double dayNumber, QDate *date, QTime *time);

// pt-BR short date, "dd/MM/yyyy"; an invalid date gives the empty text.
QString formatDateBR(const QDate &date);
// "dd/MM/yyyy" (also "d/M/yyyy"); an impossible date ("31/02/2026") gives an invalid QDate.
QDate parseDateBR(const QString &text);

} // namespace kpr
