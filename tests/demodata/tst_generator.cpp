// The demo data set: determinism, valid registrations, column widths, e-mail variants,
// prices in force and the shape of the daily meals.
#include "appserver/demodata/generator.h"
#include "appserver/demodata/registration.h"

#include <QCryptographicHash>
#include <QSet>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr::demodata;

namespace {

Options smallOptions(std::uint64_t seed = 7)
{
    Options o;
    o.branches = 3;
    o.clients = 60;
    o.services = 6;
    o.days = 31;
    o.start = QDate(2025, 3, 1); // a Saturday; Carnival Tuesday is 4 March 2025
    o.seed = seed;
    return o;
}

// Every value of the data set, meals included, in one digest.
QByteArray digest(const DataSet &d)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    const auto add = [&h](const QString &s) { h.addData(s.toUtf8() + '\x1f'); };
    for (const Branch &b : d.branches)
        for (const QString &s :
             {b.code, b.name, b.cnpj, b.address, b.district, b.city, b.state, b.cep, b.phone,
              b.processingDate.toString(Qt::ISODate), b.smtpLogin, b.email, b.smtpServer, b.smtpSender})
            add(s);
    for (const Client &c : d.clients)
        for (const QString &s :
             {c.code, c.kind, c.registration, c.razaoSocial, c.fantasia, c.address, c.district, c.city, c.cep,
              c.stateRegistration, c.phone, c.email.text, QString::number(c.headcount)})
            add(s);
    for (const Link &l : d.links)
        add(u"%1/%2"_s.arg(l.branch).arg(l.client));
    for (const Price &p : d.prices)
        add(u"%1/%2/%3/%4"_s.arg(p.link).arg(p.service).arg(p.validFrom.toString(Qt::ISODate)).arg(p.cents));
    forEachEfetivo(d,
                   [&](const Efetivo &e) { add(u"%1/%2/%3/%4"_s.arg(e.link).arg(e.service).arg(e.day).arg(e.meals)); });
    return h.result();
}

// The address rules of the e-mail screen, written out independently: elements split at the
// first "," if any, else ";", else "|"; each element needs an "@" that is not first, a last
// "." after it that is not last, and only the allowed characters in each part.
bool acceptedByAddressRules(QString rest)
{
    const auto inSet = [](QChar c, const QString &extra, bool letters, const QString &digits) {
        return (letters && ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))) || extra.contains(c)
               || digits.contains(c);
    };
    while (!rest.trimmed().isEmpty()) {
        qsizetype split = rest.indexOf(u',');
        if (split < 0)
            split = rest.indexOf(u';');
        if (split < 0)
            split = rest.indexOf(u'|');
        if (split < 0)
            split = rest.size();
        const QString e = rest.left(split).trimmed();
        rest = rest.mid(split + 1);
        const qsizetype at = e.indexOf(u'@');
        const qsizetype dot = e.lastIndexOf(u'.');
        if (at <= 0 || dot < at || dot == e.size() - 1)
            return false;
        for (qsizetype i = 0; i < e.size(); ++i) {
            const QChar c = e.at(i);
            const bool ok = i < at     ? inSet(c, u"%+-._"_s, true, u"0123456789"_s)
                            : i == at  ? true
                            : i < dot  ? inSet(c, u"-."_s, true, u"0123456789"_s)
                            : i == dot ? true
                                       : inSet(c, QString(), true, u"24"_s);
            if (!ok)
                return false;
        }
    }
    return true;
}

} // namespace

class TstGenerator : public QObject
{
    Q_OBJECT
private slots:
    void sameSeedSameData() { QCOMPARE(digest(generate(smallOptions())), digest(generate(smallOptions()))); }

    void otherSeedOtherData()
    {
        const DataSet a = generate(smallOptions(7));
        const DataSet b = generate(smallOptions(8));
        QVERIFY(digest(a) != digest(b));
        // Not just somewhere: names and registrations of the clients differ.
        int sameName = 0;
        for (int i = 0; i < a.clients.size(); ++i)
            sameName += a.clients[i].razaoSocial == b.clients[i].razaoSocial;
        QVERIFY2(sameName < 10, qPrintable(QString::number(sameName)));
        QVERIFY(a.clients[0].registration != b.clients[0].registration);
    }

    // More clients leave the first ones as they were: a bigger demo extends a smaller one.
    void moreClientsKeepTheFirst()
    {
        Options more = smallOptions();
        more.clients = 90;
        const DataSet a = generate(smallOptions());
        const DataSet b = generate(more);
        QCOMPARE(b.clients[59].razaoSocial, a.clients[59].razaoSocial);
        QCOMPARE(b.clients[59].email.text, a.clients[59].email.text);
    }

    void registrationsValidAndUnique()
    {
        Options o = smallOptions();
        o.clients = 1500;
        const DataSet d = generate(o);
        QSet<QString> codes, numbers, names;
        int persons = 0;
        for (const Client &c : d.clients) {
            if (c.kind == u"J"_s) {
                QVERIFY2(isValidCnpj(c.registration), qPrintable(c.registration));
            } else {
                QCOMPARE(c.kind, u"F"_s);
                QVERIFY2(isValidCpf(c.registration), qPrintable(c.registration));
                ++persons;
            }
            codes.insert(c.code);
            numbers.insert(c.registration);
            names.insert(c.razaoSocial);
        }
        QCOMPARE(codes.size(), d.clients.size());
        QCOMPARE(numbers.size(), d.clients.size());
        QCOMPARE(names.size(), d.clients.size());
        QVERIFY2(persons > 100 && persons < 200, qPrintable(QString::number(persons))); // ~10 %
        // One company owns the branches: one CNPJ root, establishments 1, 2, 3.
        QCOMPARE(d.branches[0].cnpj.mid(8, 4), u"0001"_s);
        QCOMPARE(d.branches[2].cnpj.mid(8, 4), u"0003"_s);
        QCOMPARE(d.branches[2].cnpj.left(8), d.branches[0].cnpj.left(8));
        QVERIFY(isValidCnpj(d.branches[2].cnpj));
    }

    // PostgreSQL refuses a text longer than its VARCHAR: every text must fit its column.
    void textsFitTheirColumns()
    {
        Options o = smallOptions();
        o.branches = 20; // past the regions: "Filial São José dos Pinhais 3" and the like
        o.clients = 2000;
        o.services = 40;
        const DataSet d = generate(o);
        const auto fits = [](const QString &s, int width) {
            if (s.size() > width)
                qWarning("too long for %d: %s", width, qPrintable(s));
            return s.size() <= width;
        };
        for (const Branch &b : d.branches) {
            QVERIFY(fits(b.name, 30) && fits(b.address, 50) && fits(b.district, 30) && fits(b.city, 30)
                    && fits(b.cep, 15) && fits(b.phone, 25) && fits(b.smtpLogin, 40) && fits(b.email, 40)
                    && fits(b.smtpServer, 40) && fits(b.smtpSender, 120));
            // The demo's mail goes out from DSEMAILSMTP when set, else DSEMAILFILI, to the
            // local test SMTP server, in the clear and without a password.
            QVERIFY(acceptedByAddressRules(b.email));
            QVERIFY(b.smtpSender.isEmpty() || acceptedByAddressRules(b.smtpSender));
            QCOMPARE(b.smtpServer, u"127.0.0.1:2525"_s);
            QVERIFY(b.useTls == u"N"_s && b.useSsl == u"N"_s);
        }
        for (const Client &c : d.clients)
            QVERIFY(fits(c.razaoSocial, 50) && fits(c.fantasia, 50) && fits(c.address, 50) && fits(c.district, 30)
                    && fits(c.city, 30) && fits(c.cep, 15) && fits(c.stateRegistration, 20) && fits(c.phone, 25)
                    && fits(c.email.text, 4000));
        for (const ServiceDef &s : d.services)
            QVERIFY(fits(s.name, 40));
        QCOMPARE(d.services[14].name, u"Kit lanche"_s);
        QCOMPARE(d.services[15].name, u"Almoço turno 2"_s);
        QCOMPARE(d.services[19].name, u"Almoço turno 3"_s);
        QCOMPARE(serviceCode(39), u"040"_s);
    }

    void emailVariants()
    {
        Options o = smallOptions();
        o.clients = 200; // ten whole blocks of 20
        const DataSet d = generate(o);
        int count[4] = {};
        for (const Client &c : d.clients) {
            ++count[int(c.email.kind)];
            const QString &t = c.email.text;
            switch (c.email.kind) {
            case EmailKind::Valid: QVERIFY2(acceptedByAddressRules(t) && !t.contains(u';'), qPrintable(t)); break;
            case EmailKind::Several: QVERIFY2(acceptedByAddressRules(t) && t.count(u';') >= 1, qPrintable(t)); break;
            case EmailKind::Empty: QVERIFY2(t.trimmed().isEmpty(), qPrintable(t)); break;
            case EmailKind::Malformed:
                QVERIFY2(!t.trimmed().isEmpty() && !acceptedByAddressRules(t), qPrintable(t));
                break;
            }
        }
        // 15, 2, 1 and 2 of every 20.
        QCOMPARE(count[int(EmailKind::Valid)], 150);
        QCOMPARE(count[int(EmailKind::Several)], 20);
        QCOMPARE(count[int(EmailKind::Empty)], 10);
        QCOMPARE(count[int(EmailKind::Malformed)], 20);
        // The blocks are shuffled, not laid out the same way each time.
        QList<EmailKind> first, second;
        for (int i = 0; i < 20; ++i) {
            first << d.clients[i].email.kind;
            second << d.clients[20 + i].email.kind;
        }
        QVERIFY(first != second);
    }

    void branchesAndLinks()
    {
        const DataSet d = generate(smallOptions());
        QCOMPARE(d.branches[0].code, u"0001"_s);
        QCOMPARE(d.branches[0].processingDate, QDate(2025, 3, 31)); // last day of the period
        QCOMPARE(d.branches[0].smtpServer, u"127.0.0.1:2525"_s);
        QVERIFY(!d.branches[0].smtpLogin.isEmpty() && d.branches[0].smtpSender.isEmpty());
        QVERIFY(d.branches[1].smtpLogin.isEmpty() && !d.branches[1].smtpSender.isEmpty());

        QSet<int> served;
        QSet<QPair<int, int>> unique;
        int twice = 0;
        for (int i = 0; i < d.links.size(); ++i) {
            served.insert(d.links[i].client);
            QVERIFY(!unique.contains({d.links[i].branch, d.links[i].client}));
            unique.insert({d.links[i].branch, d.links[i].client});
            if (i > 0) // key order: branch, then client
                QVERIFY(std::pair(d.links[i - 1].branch, d.links[i - 1].client)
                        < std::pair(d.links[i].branch, d.links[i].client));
        }
        twice = int(d.links.size()) - int(served.size());
        QCOMPARE(served.size(), d.clients.size());
        QVERIFY2(twice >= 1 && twice <= 12, qPrintable(QString::number(twice)));

        Options one = smallOptions();
        one.branches = 1;
        QCOMPARE(generate(one).links.size(), one.clients);
    }

    // Every day of the period has exactly one price in force; the readjusted ones change
    // strictly inside the period.
    void pricesInForce()
    {
        const Options o = smallOptions();
        const DataSet d = generate(o);
        QHash<QPair<int, int>, QList<Price>> byKey;
        for (const Price &p : d.prices)
            byKey[{p.link, p.service}] << p;
        QCOMPARE(byKey.size(), d.links.size() * o.services);
        int readjusted = 0;
        for (const QList<Price> &list : byKey) {
            QVERIFY(list[0].validFrom <= o.start);
            QCOMPARE(list[0].validFrom.day(), 1);
            QVERIFY(list[0].cents > 0 && list[0].cents % 10 == 0);
            if (list.size() == 2) {
                ++readjusted;
                QVERIFY(list[1].validFrom > o.start && list[1].validFrom <= o.end());
                QVERIFY(list[1].cents > list[0].cents);
            } else {
                QCOMPARE(list.size(), 1);
            }
        }
        const int links = int(d.links.size()) * o.services;
        QVERIFY2(readjusted > links / 6 && readjusted < links / 2, qPrintable(QString::number(readjusted)));
    }

    void mealsFollowTheCalendar()
    {
        const Options o = smallOptions();
        const DataSet d = generate(o);
        qint64 rows = 0, nulls = 0, sum = 0;
        int maxMeals = 0;
        QSet<int> linksWithSunday;
        bool ordered = true;
        std::tuple<int, int, int> previous{-1, -1, -1};
        forEachEfetivo(d, [&](const Efetivo &e) {
            ++rows;
            const std::tuple<int, int, int> key{e.link, e.service, e.day};
            ordered = ordered && previous < key;
            previous = key;
            const QDate date = o.start.addDays(e.day);
            const Client &c = d.clients[d.links[e.link].client];
            // 4 March 2025 is Carnival Tuesday: only clients working every day serve meals.
            if (c.schedule != Schedule::EveryDay)
                QVERIFY(date != QDate(2025, 3, 4) && date.dayOfWeek() != 7);
            if (c.schedule == Schedule::Weekdays)
                QVERIFY(date.dayOfWeek() < 6);
            if (date.dayOfWeek() == 7)
                linksWithSunday.insert(e.link);
            if (e.meals < 0) {
                ++nulls;
            } else {
                sum += e.meals;
                maxMeals = qMax(maxMeals, e.meals);
            }
        });
        QVERIFY(ordered);
        const qint64 all = qint64(d.links.size()) * o.services * o.days;
        QVERIFY(rows < all && rows > all / 2); // days without meals, not most of them
        QVERIFY(!linksWithSunday.isEmpty());   // some clients do work on Sundays
        QVERIFY(linksWithSunday.size() < d.links.size());
        QVERIFY(nulls >= 1 && nulls < rows / 50); // about half a percent
        const qint64 average = sum / (rows - nulls);
        QVERIFY2(average >= 10 && average <= 300, qPrintable(QString::number(average)));
        QVERIFY(maxMeals >= 100 && maxMeals < 1200);
    }

    void checkedOptions()
    {
        Options o = smallOptions();
        QCOMPARE(checkOptions(o), QString());
        o.services = 1000; // codes have three digits
        QVERIFY(checkOptions(o).contains(u"--services"_s));
        o = smallOptions();
        o.branches = 0;
        QVERIFY(checkOptions(o).contains(u"--branches"_s));
        o = smallOptions();
        o.start = QDate();
        QVERIFY(checkOptions(o).contains(u"--start"_s));
    }
};

QTEST_GUILESS_MAIN(TstGenerator)
#include "tst_generator.moc"
