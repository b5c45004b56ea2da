#pragma once
// The outcome of one call of an application server method, and the check every caller
// runs it through.

#include <QJsonArray>
#include <QJsonValue>
#include <QString>

namespace kpr {

struct ServerResult
{
    bool ok = false;
    QJsonValue data; // the method's result
    QJsonArray refs; // every argument as the server left it, by position
    QString error;   // the text the user is shown when ok is false

    static ServerResult success(QJsonValue data, QJsonArray refs = {});
    static ServerResult failure(QString error);
};

// The data part of a good result. A failed one is shown through MensErro with abort as
// given; when that does not abort, the answer is a null value. code is kept for callers
// that pass one; it does not change the check.
QJsonValue CheckResultServ(const ServerResult &result, bool abort = true, int code = 0);

} // namespace kpr
