#include "appserver/money.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver {

namespace {

QString groupThousands(quint64 value)
{
    QString digits = QString::number(value);
    for (qsizetype pos = digits.size() - 3; pos > 0; pos -= 3)
        digits.insert(pos, u'.');
    return digits;
}

quint64 magnitude(qint64 v)
{
    return v < 0 ? quint64(0) - quint64(v) : quint64(v);
}

} // namespace

QString formatMoneyBR(qint64 cents)
{
    const quint64 m = magnitude(cents);
    const QString frac = QString::number(m % 100).rightJustified(2, u'0');
    return (cents < 0 ? u"-"_s : QString()) + groupThousands(m / 100) + u',' + frac;
}

QString formatCountBR(qint64 count)
{
    return (count < 0 ? u"-"_s : QString()) + groupThousands(magnitude(count));
}

qint64 divideRounded(qint64 numerator, qint64 denominator)
{
    const bool negative = (numerator < 0) != (denominator < 0);
    const quint64 n = magnitude(numerator);
    const quint64 d = magnitude(denominator);
    quint64 q = n / d;
    if ((n % d) * 2 >= d)
        ++q;
    return negative ? -qint64(q) : qint64(q);
}

} // namespace kpr::appserver
