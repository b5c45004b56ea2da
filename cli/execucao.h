#pragma once
// The statement run without a window: the CFR screen's own code (its checks, the apuration
// run on the server, the per-client export through the report engine) driven from the
// command line, then every client's message sent under the send log.

#include "cli/opcoes.h"

#include <QList>
#include <QString>

#include <functional>

namespace kpr::cfr {

struct ClienteExecucao
{
    QString codigo;
    QString nome;
    QString situacao; // "sent", "skipped", "failed", "uncertain"
    QString resposta;
};

struct ResultadoExecucao
{
    int codigoSaida = 0; // 0 all sent or skipped, 1 a failure or an uncertain one, 2 arguments or settings
    QString erro;        // why the run could not go on (exit 2)
    QList<ClienteExecucao> clientes;
    double segundosApuracao = 0;
    double segundosPdf = 0;            // the export; messages of its finished parts go out meanwhile
    double segundosEnvio = 0;          // the messages still to send when the export ended
    double segundosRegistro = 0;       // the send log's calls alone (claims and conclusions), wherever made
    double segundosRegistroDepois = 0; // those made after the export, which the run waits for
    double segundosImpressoes = 0;     // the statements' fingerprints, made while the export goes on
};

// Runs the statement of the options. Progress lines ("Gerando CFR 3 de 120…", "Enviados 3 de
// 120 …") go to progresso. Needs a QApplication (offscreen is enough), the context values and
// the shared database connection set up.
ResultadoExecucao ExecutaCFR(const OpcoesCFR &opcoes, const std::function<void(const QString &)> &progresso);

} // namespace kpr::cfr
