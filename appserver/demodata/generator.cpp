#include "appserver/demodata/generator.h"

#include "appserver/demodata/calendar.h"
#include "appserver/demodata/registration.h"

#include <QSet>

#include <algorithm>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace kpr::demodata {

namespace {

// Stream identifiers: each table draws from its own streams, so that changing how one
// table is generated leaves the others as they were.
enum Stream : std::uint64_t {
    BranchStream = 1,
    ClientStream = 2,
    LinkStream = 3,
    PriceStream = 4,
    MealStream = 5,
    EmailBlockStream = 6,
};

// The caterer whose branches these are.
const QString kCatererDomain = u"bomprato.com.br"_s;

QString digits(Random &rng, int count, bool nonZeroFirst)
{
    QString s;
    s.reserve(count);
    for (int i = 0; i < count; ++i)
        s += QChar(u'0' + rng.between(i == 0 && nonZeroFirst ? 1 : 0, 9));
    return s;
}

QList<Branch> makeBranches(const Options &o)
{
    Random rng(streamSeed(o.seed, BranchStream));
    // All branches belong to one company: one CNPJ root, establishment 1, 2, 3, ...
    const QString root = digits(rng, 8, true);
    QList<Branch> branches;
    for (int i = 0; i < o.branches; ++i) {
        const City &city = region(i).cities.front();
        Branch b;
        b.code = QString::number(i + 1).rightJustified(4, u'0');
        b.name = u"Filial "_s + city.name;
        if (i >= regionCount())
            b.name += u' ' + QString::number(i / regionCount() + 1);
        b.cnpj = makeCnpj(root, i + 1);
        b.address = streetAddress(rng);
        b.district = district(rng);
        b.city = city.name;
        b.state = city.state;
        b.cep = postalCode(rng, city);
        b.phone = telephone(rng, city);
        b.processingDate = o.end();
        const QString place =
            asciiSlug(city.name) + (i >= regionCount() ? QString::number(i / regionCount() + 1) : QString());
        b.email = branchEmail(u"faturamento."_s + place, kCatererDomain);
        // Every second branch leaves the login empty (the e-mail is then the login) and
        // sends from a separate sender address.
        if (i % 2 == 0) {
            b.smtpLogin = b.email.section(u'@', 0, 0);
        } else {
            b.smtpSender = u"cfr.nao-responda@"_s + kCatererDomain;
        }
        b.smtpServer = u"127.0.0.1:2525"_s;
        b.useTls = u"N"_s;
        b.useSsl = u"N"_s;
        branches << b;
    }
    return branches;
}

int drawHeadcount(Random &rng)
{
    const int size = rng.between(0, 99);
    if (size < 45)
        return rng.between(20, 90);
    if (size < 85)
        return rng.between(90, 300);
    return rng.between(300, 900);
}

QList<Client> makeClients(const Options &o, const QList<int> &homeBranch)
{
    Random rng(streamSeed(o.seed, ClientStream));
    QSet<QString> names, registrations;
    QList<EmailKind> kinds;
    QList<Client> clients;
    clients.reserve(o.clients);
    for (int i = 0; i < o.clients; ++i) {
        if (i % kEmailBlock == 0) {
            Random blockRng(streamSeed(o.seed, EmailBlockStream, std::uint64_t(i / kEmailBlock)));
            kinds = emailKindBlock(blockRng);
        }
        const Region &area = region(homeBranch.at(i));
        // Most clients sit in the branch's own city, the others around it.
        const City &city =
            rng.chance(0.6) ? area.cities.front() : area.cities.at(rng.between(1, int(area.cities.size()) - 1));
        Client c;
        c.code = QString::number(i + 1).rightJustified(10, u'0');
        Mailbox mailbox;
        if (rng.chance(0.1)) {
            const PersonName p = personName(rng);
            c.kind = u"F"_s;
            c.razaoSocial = p.full;
            c.fantasia = p.fantasia;
            do
                c.registration = makeCpf(digits(rng, 9, false));
            while (!isValidCpf(c.registration) || registrations.contains(c.registration));
            c.stateRegistration = u"ISENTO"_s;
            c.schedule = Schedule::MondayToSaturday;
            mailbox.first = p.first;
            mailbox.last = p.last;
        } else {
            CompanyName n;
            for (int attempt = 0;; ++attempt) {
                n = companyName(rng, attempt);
                if (!names.contains(n.razaoSocial))
                    break;
            }
            c.kind = u"J"_s;
            c.razaoSocial = n.razaoSocial;
            c.fantasia = n.fantasia;
            // Mostly head offices (establishment 1), some further establishments.
            do
                c.registration = makeCnpj(digits(rng, 8, false), rng.chance(0.8) ? 1 : rng.between(2, 12));
            while (!isValidCnpj(c.registration) || registrations.contains(c.registration));
            c.stateRegistration = stateRegistration(rng);
            c.schedule = n.schedule;
            mailbox.domain = n.domain;
        }
        names.insert(c.razaoSocial);
        registrations.insert(c.registration);
        c.address = streetAddress(rng);
        c.district = district(rng);
        c.city = city.name;
        c.state = city.state;
        c.cep = postalCode(rng, city);
        c.phone = telephone(rng, city);
        c.headcount = drawHeadcount(rng);
        c.email = emailList(rng, kinds.at(i % kEmailBlock), mailbox);
        clients << c;
    }
    return clients;
}

} // namespace

QString checkOptions(const Options &o)
{
    if (o.branches < 1 || o.branches > 9999)
        return u"--branches deve estar entre 1 e 9999."_s;
    if (o.clients < 1 || o.clients > 1000000)
        return u"--clients deve estar entre 1 e 1000000."_s;
    if (o.services < 1 || o.services > 999)
        return u"--services deve estar entre 1 e 999."_s;
    if (o.days < 1 || o.days > 3660)
        return u"--days deve estar entre 1 e 3660."_s;
    if (!o.start.isValid())
        return u"--start deve ser uma data AAAA-MM-DD."_s;
    return {};
}

QString serviceCode(int service)
{
    return QString::number(service + 1).rightJustified(3, u'0');
}

DataSet generate(const Options &o)
{
    DataSet data;
    data.options = o;
    data.branches = makeBranches(o);

    // Which branch serves each client: one each, a few a second one.
    Random linkRng(streamSeed(o.seed, LinkStream));
    QList<int> home;
    std::vector<std::pair<int, int>> links; // (branch, client)
    for (int c = 0; c < o.clients; ++c) {
        home << linkRng.between(0, o.branches - 1);
        links.emplace_back(home.back(), c);
        if (o.branches > 1 && linkRng.chance(0.08)) {
            int other = linkRng.between(0, o.branches - 2);
            if (other >= home.back())
                ++other;
            links.emplace_back(other, c);
        }
    }
    std::sort(links.begin(), links.end());
    for (const auto &[b, c] : links)
        data.links << Link{b, c};

    data.clients = makeClients(o, home);
    data.groups = serviceGroups();
    for (int s = 0; s < o.services; ++s)
        data.services << serviceDefinition(s);

    // Prices: each in force from the first of a month at most five months before the
    // start; about a third of the links have their contract readjusted mid-period.
    const QDate firstOfMonth(o.start.year(), o.start.month(), 1);
    for (int l = 0; l < data.links.size(); ++l) {
        Random rng(streamSeed(o.seed, PriceStream, std::uint64_t(l)));
        const QDate validFrom = firstOfMonth.addMonths(-rng.between(0, 5));
        const bool readjusted = o.days >= 2 && rng.chance(0.35);
        QDate readjustment;
        if (readjusted)
            readjustment = o.start.addDays(qBound(1, o.days / 2 + rng.between(-3, 3), o.days - 1));
        const int percent = rng.between(103, 109);
        for (int s = 0; s < o.services; ++s) {
            const ServiceDef &def = data.services.at(s);
            const int cents = rng.between(def.priceFirst, def.priceLast) / 10 * 10;
            data.prices << Price{l, s, validFrom, cents};
            if (readjusted)
                data.prices << Price{l, s, readjustment, (cents * percent / 100 + 5) / 10 * 10};
        }
    }
    return data;
}

void forEachEfetivo(const DataSet &data, const std::function<void(const Efetivo &)> &row)
{
    const Options &o = data.options;
    struct Day
    {
        int weekday;
        bool holiday;
    };
    std::vector<Day> days;
    days.reserve(std::size_t(o.days));
    for (int d = 0; d < o.days; ++d) {
        const QDate date = o.start.addDays(d);
        days.push_back({date.dayOfWeek(), isHoliday(date)});
    }

    for (int l = 0; l < data.links.size(); ++l) {
        const Link &link = data.links.at(l);
        const Client &client = data.clients.at(link.client);
        for (int s = 0; s < data.services.size(); ++s) {
            Random rng(streamSeed(o.seed, MealStream, std::uint64_t(link.branch), std::uint64_t(link.client),
                                  std::uint64_t(s)));
            // Meals on a full day: the share of the client's people who take this service.
            const int base =
                qMax(1, client.headcount * data.services.at(s).participation * rng.between(80, 120) / 10000);
            for (int d = 0; d < o.days; ++d) {
                const Day &day = days[std::size_t(d)];
                const bool saturday = day.weekday == 6;
                const bool sunday = day.weekday == 7;
                int percent = 100; // of the full day
                switch (client.schedule) {
                case Schedule::Weekdays:
                    if (saturday || sunday || day.holiday)
                        continue;
                    break;
                case Schedule::MondayToSaturday:
                    if (sunday || day.holiday)
                        continue;
                    if (saturday)
                        percent = 55;
                    break;
                case Schedule::EveryDay:
                    if (sunday || day.holiday)
                        percent = 60;
                    else if (saturday)
                        percent = 70;
                    break;
                }
                // Now and then a day goes unrecorded, or is recorded without a number.
                if (rng.chance(0.01))
                    continue;
                int meals = -1;
                if (!rng.chance(0.005))
                    meals = (base * percent * rng.between(88, 112) + 5000) / 10000;
                row(Efetivo{l, s, d, meals});
            }
        }
    }
}

} // namespace kpr::demodata
