#include "framework/db/sqlvalues.h"

#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {
// Dates carry no time zone here: a wall-clock value kept in UTC, so that no daylight-saving
// gap (Brazil's used to start at midnight) can move a date to 01:00 or to the day before.
QDateTime wallClock(const QDate &d, const QTime &t)
{
    if (!d.isValid() || !t.isValid())
        return {};
    return QDateTime(d, t, Qt::UTC);
}
} // namespace

bool isIsoDateText(const QString &text)
{
    static const QRegularExpression re(u"^\\d{4}-\\d{2}-\\d{2}([ T]\\d{2}:\\d{2}(:\\d{2}(\\.\\d{1,3})?)?)?$"_s);
    return re.match(text.trimmed()).hasMatch() && sqlValueToDateTime(text).isValid();
}

QDateTime sqlValueToDateTime(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::QDate: return wallClock(value.toDate(), QTime(0, 0));
    case QMetaType::QDateTime: return value.toDateTime();
    default: break;
    }
    const QString t = value.toString().trimmed();
    if (t.size() < 10)
        return {};
    const QDate d = QDate::fromString(t.left(10), Qt::ISODate);
    if (t.size() == 10)
        return wallClock(d, QTime(0, 0));
    if (t[10] != u' ' && t[10] != u'T')
        return {};
    const QString time = t.mid(11);
    const QTime tm = QTime::fromString(time, time.size() > 8   ? u"HH:mm:ss.z"_s
                                             : time.size() > 5 ? u"HH:mm:ss"_s
                                                               : u"HH:mm"_s);
    return wallClock(d, tm);
}

} // namespace kpr
