#pragma once
// The totals of qryTotal (GetTotalizacao): per service, meals and value summed in exact
// integer cents, with the unit price the statement shows.

#include <QList>
#include <QString>

#include <optional>

namespace kpr::appserver::rdmcfr {

struct ServiceTotal
{
    QString code;
    QString name;
    qint64 meals = 0;       // NULL meals count 0
    qint64 valueCents = 0;  // sum of meals x that day's price; NULL price counts 0
    std::optional<qint64> minPriceCents; // over the rows that have a price
    std::optional<qint64> maxPriceCents;

    // Adds another group of rows of the same service.
    void merge(const ServiceTotal &other);
};

// The unit price shown: the one price when it did not change; the average (value / meals,
// half away from zero) when it did; the highest price when it changed but nothing was
// served; 0 when no row has a price.
qint64 unitPriceCents(const ServiceTotal &t);

// Sorted as the packet answers them: by name, then code.
void sortForStatement(QList<ServiceTotal> &totals);

} // namespace kpr::appserver::rdmcfr
