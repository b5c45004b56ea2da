#include "email/envioregistrado.h"

#include "email/enviosmtp.h"
#include "framework/core/abort.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

ResultadoEnvio EnviaRegistrado(RegistroEnvios &registro, const ChaveEnvio &c, Reenvio reenvio,
                               const std::function<QString()> &envia, bool assumeIncerto)
{
    ResultadoEnvio r;
    Result<Reserva> reserva = registro.ReservaEnvio(c.filial, c.inicio, c.fim, c.layout, c.cliente, c.impressao,
                                                    c.emails, NomeEstacao(), reenvio);
    if (reserva && reserva->resultado == ResultadoReserva::EmEnvio && assumeIncerto)
        reserva = registro.ReservaEnvio(c.filial, c.inicio, c.fim, c.layout, c.cliente, c.impressao, c.emails,
                                        NomeEstacao(), Reenvio::Forcar);
    if (!reserva) {
        r.resposta = reserva.error();
        return r;
    }
    r.estacao = reserva->estacao;
    r.quando = reserva->quando;
    switch (reserva->resultado) {
    case ResultadoReserva::Enviado:
        r.situacao = SituacaoEnvio::Ignorado;
        r.resposta = reserva->resposta;
        return r;
    case ResultadoReserva::EmEnvio:
        r.situacao = SituacaoEnvio::Incerto;
        r.resposta =
            u"em envio na estação %1 desde %2"_s.arg(reserva->estacao, reserva->quando.toString(u"dd/MM/yyyy HH:mm"_s));
        return r;
    case ResultadoReserva::Reservado: break;
    }

    QString resposta;
    try {
        resposta = envia();
    } catch (const EEnviadoSemLogout &e) {
        // The server had accepted the message: it is recorded as sent, never to be sent again
        // as a failure would be; the error still reaches the caller.
        registro.ConcluiEnvio(reserva->token, true, e.resposta() + u" ("_s + e.text() + u')');
        throw;
    } catch (const EKprError &e) {
        registro.ConcluiEnvio(reserva->token, false, e.text());
        throw;
    } catch (...) {
        registro.ConcluiEnvio(reserva->token, false, u"envio interrompido"_s);
        throw;
    }
    r.estacao = NomeEstacao();
    r.quando = QDateTime::currentDateTime();
    r.resposta = resposta;
    r.saiu = true;
    if (const Status s = registro.ConcluiEnvio(reserva->token, true, resposta); !s) {
        // The message went out; the record of it did not.
        r.situacao = SituacaoEnvio::Incerto;
        r.resposta = u"enviado, mas o registro do envio falhou: "_s + s.error();
        return r;
    }
    r.situacao = SituacaoEnvio::Enviado;
    return r;
}

QString TextoSituacao(QChar situacao, const QDateTime &quando, const QString &estacao, const QString &resposta)
{
    switch (situacao.unicode()) {
    case u'S': return u"Enviado em "_s + quando.toString(u"dd/MM/yyyy HH:mm"_s);
    case u'F': return u"Falhou: "_s + resposta;
    case u'E': return u"Em envio em outra estação (%1)"_s.arg(estacao);
    case u'?': return u"Enviado, mas sem registro: "_s + resposta;
    }
    return QString();
}

} // namespace kpr::cfr
