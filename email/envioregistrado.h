#pragma once
// One statement sent under the send log: claimed on the server, sent, concluded. The e-mail
// screen and the command-line run both send every message through it, so that no statement
// goes out twice from two places and every attempt is on record.

#include "host/registroenvios.h"

#include <QDate>
#include <QString>

#include <functional>

namespace kpr::cfr {

// Which statement: the claim's key and what is recorded with it.
struct ChaveEnvio
{
    QString filial;
    QDate inicio;
    QDate fim;
    QString layout;
    QString cliente;
    QString impressao;
    QString emails;
};

enum class SituacaoEnvio { Enviado, Ignorado, Falhou, Incerto };

struct ResultadoEnvio
{
    SituacaoEnvio situacao = SituacaoEnvio::Falhou;
    QString resposta; // the server's reply, the failure's text, or why it was not sent
    QString estacao;  // who holds or sent it, when not sent here
    QDateTime quando;
    bool saiu = false; // the message went out here (also when its record then failed)
};

// Claims the statement and, when the claim is ours, runs envia (which answers the mail
// server's reply or throws), then concludes the claim as sent or failed. A statement already
// sent (unless reenvio says so) is Ignorado; one claimed elsewhere, or left unconcluded, is
// Incerto and is not sent. A failure of envia is concluded as failed and then passes on to
// the caller as it was thrown. A message that went out but whose conclusion the server did
// not take is Incerto. A claim the server refuses is Falhou with its text.
// With assumeIncerto, a statement left unconcluded is claimed again by force and sent (a sent
// one is still treated by reenvio).
ResultadoEnvio EnviaRegistrado(RegistroEnvios &registro, const ChaveEnvio &chave, Reenvio reenvio,
                               const std::function<QString()> &envia, bool assumeIncerto = false);

// The status text of the e-mail screen for a send on record: "Enviado em 08/12/2026 14:32",
// "Falhou: …", "Em envio em outra estação (…)"; '?' for a message that went out but whose
// record the server did not take: "Enviado, mas sem registro: …".
QString TextoSituacao(QChar situacao, const QDateTime &quando, const QString &estacao, const QString &resposta);

} // namespace kpr::cfr
