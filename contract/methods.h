#pragma once
// The methods of the remote module Kpr04700.rdmCFR: exact names, the kind of each
// positional argument, the arguments the client reads back from the answer's refs (its
// by-reference parameters), and whether a call writes. The server's method table checks
// calls against it and the client's typed calls are made from it.

#include <QList>
#include <QString>

namespace kpr::contract {

enum class ArgKind { Text, Date, Packet };
enum class Access { Read, Write };

enum class Method {
    GetClieFili,
    ProPrxRelApurFat,
    ProRelGesDireta,
    GetCFRSintData,
    GetClieSelect,
    GetTotalizacao,
    GetServSelect,
    GetQtdeEfetData,
    SetCRFSintDados,
    GetCFRSintServ,
    GetQtdeEfetServ,
    GetSequencial,
    DelCRFSintDados,
    ProDelTableRelApur,
    clientesComDados,
    EmailFilial,
    // The send log of the e-mailed statements.
    ReservaEnvio,
    ConcluiEnvio,
    SituacaoEnvios,
};

struct MethodContract
{
    Method id;
    QString name;
    QList<ArgKind> args;
    QList<int> byReference; // positions counted from 0, in order
    Access access;
};

// Every method, in the order of Method.
const QList<MethodContract> &rdmCfrMethods();
const MethodContract &method(Method id);
// The method of that exact name, or null.
const MethodContract *findMethod(const QString &name);

} // namespace kpr::contract
