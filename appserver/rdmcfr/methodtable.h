#pragma once
// The remote module Kpr04700.rdmCFR: the contract's methods bound to the functions that
// run them, and the one entry every call goes through (argument checks, this worker's
// database session, one transaction per call).

#include "appserver/database/session.h"
#include "appserver/jsontext.h"
#include "contract/methods.h"
#include "framework/core/result.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QString>

namespace kpr::appserver::rdmcfr {

using contract::ArgKind;

// The arguments of a call, already checked against the method's kinds. Positions count
// from 1, as in the error texts.
class Args
{
public:
    explicit Args(const QJsonArray &values) : m_values(values) {}
    QString text(int position) const { return m_values.at(position - 1).toString(); }
    QDate date(int position) const;
    QJsonValue value(int position) const { return m_values.at(position - 1); }

private:
    const QJsonArray &m_values;
};

using Method = Result<Answer> (*)(Session &, const Args &);

struct MethodSpec
{
    QString name;
    QList<ArgKind> args;
    Session::Access access;
    Method run;
};

const QList<MethodSpec> &methodTable();
const MethodSpec *findMethod(const QString &name);

// The error text for args that do not fit the method, or the empty text.
QString checkArgs(const MethodSpec &method, const QJsonArray &args);

struct CallOutcome
{
    bool ok = false;
    Answer answer = QJsonValue();
    QString error;

    QJsonValue result() const { return answer.value(); }
};

// Runs one call on this thread's session: commit on success, rollback on any failure.
CallOutcome callMethod(const QString &name, const QJsonArray &args);

} // namespace kpr::appserver::rdmcfr
