#include "appserver/demodata/registration.h"

namespace kpr::demodata {

namespace {

bool allDigits(const QString &s, qsizetype length)
{
    if (s.size() != length)
        return false;
    for (const QChar c : s)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

bool oneDigitRepeated(const QString &s)
{
    for (const QChar c : s)
        if (c != s.front())
            return false;
    return true;
}

// Sum of digit times weight, reduced modulo 11: a remainder below 2 gives 0, else 11 - r.
int mod11Digit(const QString &digits, const int *weights)
{
    int sum = 0;
    for (qsizetype i = 0; i < digits.size(); ++i)
        sum += (digits.at(i).unicode() - u'0') * weights[i];
    const int r = sum % 11;
    return r < 2 ? 0 : 11 - r;
}

} // namespace

QString cnpjCheckDigits(const QString &digits12)
{
    if (!allDigits(digits12, 12))
        return {};
    static const int w1[] = {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
    static const int w2[] = {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
    const int d1 = mod11Digit(digits12, w1);
    const int d2 = mod11Digit(digits12 + QChar(u'0' + d1), w2);
    return QString(QChar(u'0' + d1)) + QChar(u'0' + d2);
}

QString cpfCheckDigits(const QString &digits9)
{
    if (!allDigits(digits9, 9))
        return {};
    static const int w1[] = {10, 9, 8, 7, 6, 5, 4, 3, 2};
    static const int w2[] = {11, 10, 9, 8, 7, 6, 5, 4, 3, 2};
    const int d1 = mod11Digit(digits9, w1);
    const int d2 = mod11Digit(digits9 + QChar(u'0' + d1), w2);
    return QString(QChar(u'0' + d1)) + QChar(u'0' + d2);
}

QString makeCnpj(const QString &root8, int establishment)
{
    const QString first12 = root8 + QString::number(establishment).rightJustified(4, u'0');
    return first12 + cnpjCheckDigits(first12);
}

QString makeCpf(const QString &base9)
{
    return base9 + cpfCheckDigits(base9);
}

bool isValidCnpj(const QString &number)
{
    return allDigits(number, 14) && !oneDigitRepeated(number) && cnpjCheckDigits(number.left(12)) == number.right(2);
}

bool isValidCpf(const QString &number)
{
    return allDigits(number, 11) && !oneDigitRepeated(number) && cpfCheckDigits(number.left(9)) == number.right(2);
}

} // namespace kpr::demodata
