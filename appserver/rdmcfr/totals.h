#pragma once
// The totals of qryTotal (GetTotalizacao): per service, meals and value summed exactly,
// with the unit price the statement shows.

#include "framework/core/amount.h"

#include <QList>
#include <QString>

#include <optional>

namespace kpr::appserver::rdmcfr {

struct ServiceTotal
{
    QString code;
    QString name;
    qint64 meals = 0;                    // NULL meals count 0
    FixedAmount value;                   // sum of meals x that day's price; NULL price counts 0
    std::optional<FixedAmount> minPrice; // over the rows that have a price
    std::optional<FixedAmount> maxPrice;

    // Adds another group of rows of the same service.
    void merge(const ServiceTotal &other);
};

// The unit price shown: the one price when it did not change; the average (value / meals,
// half away from zero) when it did; the highest price when it changed but nothing was
// served; 0 when no row has a price. In whole cents.
FixedAmount unitPrice(const ServiceTotal &t);

// Sorted as the packet answers them: by name, then code.
void sortForStatement(QList<ServiceTotal> &totals);

} // namespace kpr::appserver::rdmcfr
