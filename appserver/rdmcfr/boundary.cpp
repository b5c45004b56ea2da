#include "appserver/rdmcfr/boundary.h"

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver::rdmcfr {

QString dayNumberFault(double dayNumber)
{
    if (!std::isfinite(dayNumber))
        return u"deve ser uma data (número de dias)"_s;
    const double day = std::trunc(dayNumber);
    if (day < firstDayNumber || day > lastDayNumber)
        return u"deve ser uma data de 01/01/1900 a 31/12/9999"_s;
    return {};
}

QString textFault(const QString &text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c.unicode() == 0)
            return u"contém o caractere nulo (U+0000)"_s;
        if (c.unicode() == 0xFFFD)
            return u"contém o caractere de substituição (U+FFFD), sinal de um texto mal convertido"_s;
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            ++i; // a whole pair: one character outside the basic plane
            continue;
        }
        if (c.isSurrogate())
            return u"contém um caractere inválido (U+%1 sem par)"_s.arg(QString::number(c.unicode(), 16).toUpper());
    }
    return {};
}

QString cutToWidthWhole(const QString &text, int width)
{
    if (text.size() <= width)
        return text;
    qsizetype keep = width;
    if (keep > 0 && text.at(keep - 1).isHighSurrogate())
        --keep;
    return text.left(keep);
}

} // namespace kpr::appserver::rdmcfr
