#include "framework/core/amount.h"

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

quint64 magnitude(qint64 v)
{
    return v < 0 ? quint64(0) - quint64(v) : quint64(v);
}

QString groupThousands(QString digits)
{
    for (qsizetype pos = digits.size() - 3; pos > 0; pos -= 3)
        digits.insert(pos, u'.');
    return digits;
}

} // namespace

FixedAmount FixedAmount::fromDouble(double value)
{
    return FixedAmount{qint64(std::llround(value * double(scale)))};
}

qint64 FixedAmount::cents() const
{
    return divideRounded(micros, perCent);
}

FixedAmount::Digits FixedAmount::digits(int decimals) const
{
    quint64 unit = quint64(scale);
    for (int i = 0; i < decimals && unit > 1; ++i)
        unit /= 10;
    const quint64 m = magnitude(micros);
    const quint64 rounded = (m / unit) + ((m % unit) * 2 >= unit ? 1 : 0);
    const quint64 perUnit = quint64(scale) / unit;
    Digits d;
    d.negative = micros < 0 && rounded != 0;
    d.whole = QString::number(rounded / perUnit);
    if (decimals > 0)
        d.fraction = QString::number(rounded % perUnit).rightJustified(decimals, u'0');
    return d;
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

QString formatAmountBR(FixedAmount amount, int decimals)
{
    const FixedAmount::Digits d = amount.digits(decimals);
    QString text = (d.negative ? u"-"_s : QString()) + groupThousands(d.whole);
    if (decimals > 0)
        text += u',' + d.fraction;
    return text;
}

QString formatCountBR(qint64 count)
{
    return (count < 0 ? u"-"_s : QString()) + groupThousands(QString::number(magnitude(count)));
}

} // namespace kpr
