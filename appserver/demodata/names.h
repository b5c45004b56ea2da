#pragma once
// The vocabulary of the demo data: regions and cities with their postal-code ranges and
// dialling codes, company and person names, streets and districts, the service groups and
// the service catalogue. Every text fits the width of the column it goes into.

#include "appserver/demodata/random.h"

#include <QList>
#include <QString>

namespace kpr::demodata {

struct City
{
    QString name;
    QString state; // UF, two letters
    int cepFirst;  // first five digits of the city's postal codes, lowest and highest
    int cepLast;
    QString ddd; // dialling code
};

// A branch's area: the city it sits in (first) and the cities around it.
struct Region
{
    QList<City> cities;
};

int regionCount();
// Regions repeat once all were used; the branch name then carries a number.
const Region &region(int index);

// Working pattern of a client, which decides on which days meals are served.
enum class Schedule { Weekdays, MondayToSaturday, EveryDay };

struct CompanyName
{
    QString razaoSocial;                    // up to 50
    QString fantasia;                       // up to 50
    QString domain;                         // ASCII, for e-mail addresses ("santarita.com.br")
    Schedule schedule = Schedule::Weekdays; // hospitals and plants run every day, schools on weekdays
};
// attempt > 0 asks for a variant when the name drawn first was already taken.
CompanyName companyName(Random &rng, int attempt);

struct PersonName
{
    QString full;     // "Maria Aparecida Souza"
    QString first;    // "Maria"
    QString last;     // "Souza"
    QString fantasia; // the farm or works the person hires meals for
};
PersonName personName(Random &rng);

QString streetAddress(Random &rng);                // "Rua Sete de Setembro, 1250", up to 50
QString district(Random &rng);                     // up to 30
QString postalCode(Random &rng, const City &city); // "13015-210"
QString telephone(Random &rng, const City &city);  // "(19) 3234-5678"
QString stateRegistration(Random &rng);            // "110.042.490.114"

// Lower-case ASCII letters and digits of a text, accents dropped ("São Lucas" -> "saolucas").
QString asciiSlug(const QString &text);

struct ServiceGroupDef
{
    QString code; // CDGRUPSERV
    QString name;
};
const QList<ServiceGroupDef> &serviceGroups();

struct ServiceDef
{
    QString name;      // NMSERVICO, up to 40
    QString group;     // CDGRUPSERV
    int participation; // meals per 100 people of the client on a full day
    int priceFirst;    // unit price range in cents
    int priceLast;
};
// The service with code index + 1. Past the catalogue the main meals repeat for further
// shifts: "Almoço turno 2", "Jantar turno 2", ...
ServiceDef serviceDefinition(int index);

} // namespace kpr::demodata
