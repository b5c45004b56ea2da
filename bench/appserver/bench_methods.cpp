// The server's own cost per call of the apuration's hot methods, in process: the request
// body parsed, the method run on this thread's session, the answer written, as the
// transport does for each POST. No network, so the figures are the server's share alone.
//
// bench_methods DB [calls]   (DB: a SQLite database kpr-demodata filled; the apuration
//                              is computed under a new number first)

#include "contract/methods.h"
#include "appserver/database/session.h"
#include "appserver/rdmcfr/methodtable.h"
#include "appserver/server/request.h"
#include "framework/core/dates.h"
#include "framework/db/databaseurl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {
using M = kpr::contract::Method;
// The method's name as the module's contract writes it.
QString methodName(M m)
{
    return kpr::contract::method(m).name;
}
} // namespace

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::appserver;

namespace {

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

rdmcfr::CallOutcome call(const QString &method, const QJsonArray &args)
{
    const QByteArray body =
        QJsonDocument(QJsonObject{{u"method"_s, method}, {u"args"_s, args}}).toJson(QJsonDocument::Compact);
    const auto request = parseRpcRequest(body);
    rdmcfr::CallOutcome outcome = rdmcfr::callMethod(request->method, request->args);
    (void)answerBody(outcome, request->args);
    return outcome;
}

void measure(const QString &name, int calls, const std::function<QJsonArray(int)> &args)
{
    std::vector<double> us;
    us.reserve(size_t(calls));
    for (int i = 0; i < calls; ++i) {
        const QJsonArray a = args(i);
        QElapsedTimer t;
        t.start();
        const auto r = call(name, a);
        us.push_back(double(t.nsecsElapsed()) / 1000);
        if (!r.ok) {
            out() << name << u": "_s << r.error << Qt::endl;
            std::exit(1);
        }
    }
    std::sort(us.begin(), us.end());
    out() << u"%1 median %2 us  p90 %3 us  (n=%4)"_s.arg(name, -16)
                 .arg(us[us.size() / 2], 0, 'f', 1)
                 .arg(us[us.size() * 9 / 10], 0, 'f', 1)
                 .arg(calls)
          << Qt::endl;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 2) {
        out() << u"usage: bench_methods DB [calls]"_s << Qt::endl;
        return 2;
    }
    const int calls = a.size() > 2 ? a.at(2).toInt() : 5000;
    const auto url = DatabaseUrl::parse(u"sqlite:"_s + a.at(1));
    if (!url) {
        out() << url.error() << Qt::endl;
        return 1;
    }
    Session::configure(*url);
    const QString branch = u"0001"_s;
    const QString number = call(methodName(M::ProPrxRelApurFat), {branch}).result().toString();
    const double d0 = toDayNumber(QDate(2024, 1, 1)), d1 = toDayNumber(QDate(2024, 1, 31));
    QElapsedTimer t;
    t.start();
    call(methodName(M::ProRelGesDireta), {branch, d0, d1, number, u""_s});
    out() << u"ProRelGesDireta %1 ms"_s.arg(t.elapsed()) << Qt::endl;
    QStringList clients;
    const QJsonArray rows =
        call(methodName(M::GetClieSelect), {branch, number, u""_s}).result().toObject().value(u"rows"_s).toArray();
    for (const QJsonValue &r : rows)
        clients << r.toArray().at(0).toString();
    QStringList services;
    const QJsonArray serv = call(methodName(M::GetServSelect), {branch, number, clients.value(0)})
                                .result()
                                .toObject()
                                .value(u"rows"_s)
                                .toArray();
    for (const QJsonValue &r : serv)
        services << r.toArray().at(0).toString();
    if (clients.isEmpty() || services.isEmpty()) {
        out() << u"no data"_s << Qt::endl;
        return 1;
    }
    measure(methodName(M::GetServSelect), calls, [&](int i) {
        return QJsonArray{branch, number, clients.at(i % clients.size())};
    });
    measure(methodName(M::GetQtdeEfetData), calls, [&](int i) {
        return QJsonArray{branch, number, clients.at(i % clients.size()), services.at(i % services.size()), d0, d0 + 9};
    });
    measure(methodName(M::GetTotalizacao), qMin(calls, 2000), [&](int i) {
        return QJsonArray{branch, number, d0, d1, clients.at(i % clients.size())};
    });
    measure(methodName(M::GetQtdeEfetServ), qMin(calls, 500), [&](int i) {
        return QJsonArray{branch, number, clients.at(i % clients.size()), d0, d1};
    });
    call(methodName(M::ProDelTableRelApur), {branch, number});
    releaseThisThreadSession();
    return 0;
}
