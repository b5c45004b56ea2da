#include "framework/core/dates.h"

#include <QRegularExpression>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {
constexpr qint64 msPerDay = 24LL * 60 * 60 * 1000;
}

QDate dayZero()
{
    return QDate(1899, 12, 30);
}

double toDayNumber(const QDate &date)
{
    return double(dayZero().daysTo(date));
}

double toDayNumber(const QDateTime &dateTime)
{
    const double days = toDayNumber(dateTime.date());
    const double frac = double(dateTime.time().msecsSinceStartOfDay()) / double(msPerDay);
    // Negative day numbers carry the time as a positive distance from midnight.
    return days >= 0 ? days + frac : days - frac;
}

QDate dayNumberToDate(double dayNumber)
{
    return dayZero().addDays(qint64(std::trunc(dayNumber)));
}

void splitDayNumber(double dayNumber, QDate *date, QTime *time)
{
    double whole = std::trunc(dayNumber);
    qint64 ms = qint64(std::llround(std::fabs(dayNumber - whole) * double(msPerDay)));
    if (ms >= msPerDay) { // rounding reached the next midnight
        ms = 0;
        whole += dayNumber >= 0 ? 1 : -1;
    }
    *date = dayZero().addDays(qint64(whole));
    *time = QTime::fromMSecsSinceStartOfDay(int(ms));
}

QDateTime dayNumberToDateTime(double dayNumber)
{
    QDate date;
    QTime time;
    splitDayNumber(dayNumber, &date, &time);
    return QDateTime(date, time);
}

QString formatDateBR(const QDate &date)
{
    return date.isValid() ? date.toString(u"dd/MM/yyyy"_s) : QString();
}

QDate parseDateBR(const QString &text)
{
    static const QRegularExpression re(u"^\\s*(\\d{1,2})/(\\d{1,2})/(\\d{4})\\s*$"_s);
    const auto m = re.match(text);
    if (!m.hasMatch())
        return QDate();
    return QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
}

} // namespace kpr
