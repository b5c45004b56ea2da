#pragma once
// The send log of the statements e-mailed to clients, kept by the application server beside
// the module's sixteen methods: a statement (branch, period, layout, client, fingerprint) is
// claimed before its message goes out and concluded after, so that no two workstations send
// the same statement and every attempt stays on record.

#include "framework/core/result.h"
#include "framework/core/serverresult.h"

#include <QDate>
#include <QDateTime>
#include <QString>

namespace kpr {
class TNetConnection;
}

namespace kpr::cfr {

// What a claim answered.
enum class ResultadoReserva {
    Reservado, // the claim is ours: send, then conclude it
    Enviado,   // already sent (and no resend asked for)
    EmEnvio,   // claimed elsewhere, or left unconcluded by a run that died: uncertain
};

struct Reserva
{
    ResultadoReserva resultado = ResultadoReserva::EmEnvio;
    QString token;    // the claim's token when Reservado
    QString estacao;  // who holds or sent it
    QDateTime quando; // since when
    QString resposta; // the server's reply of the send that is on record
};

// How a claim treats a statement already on record.
enum class Reenvio {
    Nao,    // a sent statement is not sent again
    Sim,    // a sent statement is sent again
    Forcar, // also an uncertain claim is taken over (after checking it did not go out)
};

class RegistroEnvios
{
public:
    explicit RegistroEnvios(TNetConnection &net) : m_net(net) {}

    // The claim; a failed call answers its error (the caller decides whether to stop).
    Result<Reserva> ReservaEnvio(const QString &filial, const QDate &inicio, const QDate &fim, const QString &layout,
                                 const QString &cliente, const QString &impressao, const QString &emails,
                                 const QString &estacao, Reenvio reenvio);
    // Concludes a claim as sent (with the server's reply) or failed (with the failure's text).
    Status ConcluiEnvio(const QString &token, bool enviado, const QString &resposta);
    // The packet of every statement on record for the branch, period and layout.
    ServerResult SituacaoEnvios(const QString &filial, const QDate &inicio, const QDate &fim, const QString &layout);

private:
    TNetConnection &m_net;
};

// The name this workstation is recorded under: KPR_ESTACAO when set, else the host name.
QString NomeEstacao();

} // namespace kpr::cfr
