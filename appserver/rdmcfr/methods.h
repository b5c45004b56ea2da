#pragma once
// The methods of Kpr04700.rdmCFR, one file per group; docs/appserver-protocol.md says what
// each takes, answers and changes.

#include "appserver/rdmcfr/methodtable.h"

namespace kpr::appserver::rdmcfr {

// clients.cpp
Result<QJsonValue> GetClieFili(Session &s, const Args &a);
Result<QJsonValue> GetClieSelect(Session &s, const Args &a);
Result<QJsonValue> clientesComDados(Session &s, const Args &a);
Result<QJsonValue> EmailFilial(Session &s, const Args &a);

// apuration.cpp
Result<QJsonValue> ProPrxRelApurFat(Session &s, const Args &a);
Result<QJsonValue> ProRelGesDireta(Session &s, const Args &a);
Result<QJsonValue> ProDelTableRelApur(Session &s, const Args &a);

// bydate.cpp
Result<QJsonValue> GetCFRSintData(Session &s, const Args &a);
Result<QJsonValue> GetServSelect(Session &s, const Args &a);
Result<QJsonValue> GetQtdeEfetData(Session &s, const Args &a);
Result<QJsonValue> SetCRFSintDados(Session &s, const Args &a);
Result<QJsonValue> DelCRFSintDados(Session &s, const Args &a);

// totals.cpp
Result<QJsonValue> GetTotalizacao(Session &s, const Args &a);

// byservice.cpp
Result<QJsonValue> GetCFRSintServ(Session &s, const Args &a);
Result<QJsonValue> GetQtdeEfetServ(Session &s, const Args &a);

// sequence.cpp
Result<QJsonValue> GetSequencial(Session &s, const Args &a);

} // namespace kpr::appserver::rdmcfr
