#pragma once
// The methods of Kpr04700.rdmCFR, one file per group; docs/appserver-protocol.md says what
// each takes, answers and changes.

#include "appserver/rdmcfr/methodtable.h"

namespace kpr::appserver::rdmcfr {

// clients.cpp
Result<Answer> GetClieFili(Session &s, const Args &a);
Result<Answer> GetClieSelect(Session &s, const Args &a);
Result<Answer> clientesComDados(Session &s, const Args &a);
Result<Answer> EmailFilial(Session &s, const Args &a);

// apuration.cpp
Result<Answer> ProPrxRelApurFat(Session &s, const Args &a);
Result<Answer> ProRelGesDireta(Session &s, const Args &a);
Result<Answer> ProDelTableRelApur(Session &s, const Args &a);

// bydate.cpp
Result<Answer> GetCFRSintData(Session &s, const Args &a);
Result<Answer> GetServSelect(Session &s, const Args &a);
Result<Answer> GetQtdeEfetData(Session &s, const Args &a);
Result<Answer> SetCRFSintDados(Session &s, const Args &a);
Result<Answer> DelCRFSintDados(Session &s, const Args &a);

// totals.cpp
Result<Answer> GetTotalizacao(Session &s, const Args &a);

// byservice.cpp
Result<Answer> GetCFRSintServ(Session &s, const Args &a);
Result<Answer> GetQtdeEfetServ(Session &s, const Args &a);

// sequence.cpp
Result<Answer> GetSequencial(Session &s, const Args &a);

// sendlog.cpp
Result<Answer> ReservaEnvio(Session &s, const Args &a);
Result<Answer> ConcluiEnvio(Session &s, const Args &a);
Result<Answer> SituacaoEnvios(Session &s, const Args &a);

} // namespace kpr::appserver::rdmcfr
