#pragma once
// What kpr-cfr prints when the run ends: a line per client, or one JSON object.

#include "cli/execucao.h"

#include <QByteArray>

namespace kpr::cfr {

// "CODE<TAB>status<TAB>reply" per client, then a line of counts.
QString ResumoTexto(const ResultadoExecucao &r);
// {"branch", "period": {"from", "to"}, "layout", "dryRun", "exitCode", "error",
//  "counts": {"sent", "skipped", "failed", "uncertain"}, "seconds": {...},
//  "clients": [{"code", "name", "status", "reply"}]}
QByteArray ResumoJson(const OpcoesCFR &o, const ResultadoExecucao &r);

} // namespace kpr::cfr
