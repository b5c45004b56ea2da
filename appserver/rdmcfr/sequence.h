#pragma once
// The fortnight of a CFR emission (GetSequencial): the 1st or the 16th of the start's month.

#include <QDate>
#include <QString>

namespace kpr::appserver::rdmcfr {

struct Fortnight
{
    QDate start;     // valid when refusal is empty
    QString refusal; // the text shown when the half does not fit the date
};

Fortnight fortnightOf(const QDate &start, const QString &half);

} // namespace kpr::appserver::rdmcfr
