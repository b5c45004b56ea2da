#pragma once
// The demo data set: branches, clients, which branch serves whom, service groups and
// services, prices by date of validity, and the daily effective meals. Everything follows
// from the options alone; the meals, by far the largest part, are produced as a stream so
// that a million rows never sit in memory.

#include "appserver/demodata/emails.h"
#include "appserver/demodata/names.h"

#include <QDate>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>

namespace kpr::demodata {

struct Options
{
    int branches = 2;
    int clients = 40;
    int services = 8;
    int days = 62;
    QDate start; // first day with meals
    std::uint64_t seed = 1;

    QDate end() const { return start.addDays(days - 1); }
};

// The limits the columns impose (codes of 4 and 3 characters) and a sane size.
QString checkOptions(const Options &options); // empty when the options are usable

struct Branch
{
    QString code; // CDFILIAL "0001"
    QString name; // NMFILIAL
    QString cnpj;
    QString address, district, city, state, cep, phone;
    QDate processingDate;   // DTPROCFILI: the last day with meals
    QString smtpLogin;      // DSLOGINSMTP, empty for some: the login is then the e-mail
    QString email;          // DSEMAILFILI
    QString smtpServer;     // DSSMTPEMAILF
    QString useTls, useSsl; // "N"
    QString smtpSender;     // DSEMAILSMTP, filled for some
};

struct Client
{
    QString code;         // CDCLIENTE "0000000001"
    QString kind;         // IDTPIJURCLIE "J" or "F"
    QString registration; // CNPJ or CPF, digits only
    QString razaoSocial, fantasia;
    QString address, district, city, state, cep, stateRegistration, phone;
    EmailList email; // DSEMAIL
    Schedule schedule = Schedule::Weekdays;
    int headcount = 0; // people fed on a full day
};

// CLIEFILI: one branch serves the client, a few clients are served by two.
struct Link
{
    int branch;
    int client;
};

// PRECSERV: the price of a service for a link, in force from validFrom on.
struct Price
{
    int link;
    int service;
    QDate validFrom;
    int cents;
};

struct DataSet
{
    Options options;
    QList<Branch> branches;
    QList<Client> clients;
    QList<Link> links; // ordered by branch, then client
    QList<ServiceGroupDef> groups;
    QList<ServiceDef> services; // every branch offers all, codes "001", "002", ...
    QList<Price> prices;        // ordered by link, service, date
};

QString serviceCode(int service); // "001" for 0

DataSet generate(const Options &options);

// EFETIVO: one row per link, service and day with meals, in key order. meals is -1 for a
// day recorded without a number (NULL).
struct Efetivo
{
    int link;
    int service;
    int day; // 0 is options.start
    int meals;
};
void forEachEfetivo(const DataSet &data, const std::function<void(const Efetivo &)> &row);

} // namespace kpr::demodata
