#pragma once
// Values as they come from the two drivers: PostgreSQL hands out QDate and QDateTime, SQLite
// keeps dates as ISO text ("2026-01-15", "2026-01-15 10:30:00").

#include <QDateTime>
#include <QVariant>

namespace kpr {

// A date-time from a column value: QDate/QDateTime as they are, ISO text parsed; an invalid
// QDateTime for null or for text that is no ISO date.
QDateTime sqlValueToDateTime(const QVariant &value);
bool isIsoDateText(const QString &text);

} // namespace kpr
