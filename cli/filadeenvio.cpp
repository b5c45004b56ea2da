#include "cli/filadeenvio.h"

#include "email/envioregistrado.h"
#include "email/enviosmtp.h"
#include "framework/core/abort.h"
#include "framework/net/netconnection.h"
#include "host/rdmcfr.h"

#include <QElapsedTimer>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

FilaDeEnvio::FilaDeEnvio(EnvioDaExecucao envio, std::function<void(const ClienteExecucao &, int)> aoEnviar)
    : m_envio(std::move(envio)),
      m_aoEnviar(std::move(aoEnviar)),
      m_thread([this] { executa(); })
{}

FilaDeEnvio::~FilaDeEnvio()
{
    Conclui();
}

void FilaDeEnvio::Acrescenta(ItemEnvio item)
{
    {
        const std::lock_guard trava(m_mutex);
        m_fila.push_back(std::move(item));
    }
    m_temItem.notify_one();
}

void FilaDeEnvio::Conclui()
{
    {
        const std::lock_guard trava(m_mutex);
        m_fechada = true;
    }
    m_temItem.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void FilaDeEnvio::executa()
{
    // Objects of this thread only: its server connection and its SMTP session.
    TNetConnection net;
    net.setServerName(QString::fromUtf16(ServerNameCFR));
    net.setHost(m_envio.host);
    net.setPort(m_envio.porta);
    net.setSecretFile(m_envio.arquivoSegredo);
    net.setUseTls(m_envio.tls);
    RegistroEnvios registro(net);
    SessaoSMTP sessao(m_envio.smtp);
    QElapsedTimer relogio;
    relogio.start();
    const QHash<QString, QString> impressoes = m_envio.impressoes ? m_envio.impressoes() : QHash<QString, QString>();
    m_segundosImpressoes = double(relogio.nsecsElapsed()) / 1e9;
    int feitos = 0;
    for (;;) {
        ItemEnvio item;
        {
            std::unique_lock trava(m_mutex);
            m_temItem.wait(trava, [&] { return m_fechada || !m_fila.empty(); });
            if (m_fila.empty())
                return;
            item = std::move(m_fila.front());
            m_fila.pop_front();
        }
        const ClienteExecucao c = envia(registro, sessao, item, impressoes.value(item.codigo.trimmed()));
        if (size_t(item.posicao) >= m_resultados.size())
            m_resultados.resize(size_t(item.posicao) + 1);
        m_resultados[size_t(item.posicao)] = c;
        if (m_aoEnviar)
            m_aoEnviar(c, ++feitos);
    }
}

ClienteExecucao FilaDeEnvio::envia(RegistroEnvios &registro, SessaoSMTP &sessao, const ItemEnvio &item,
                                   const QString &impressao)
{
    ClienteExecucao c{item.codigo, item.nome, u"failed"_s, QString()};
    bool depois = false;
    {
        const std::lock_guard trava(m_mutex);
        depois = m_fechada;
    }
    const ChaveEnvio chave{m_envio.filial, m_envio.inicio, m_envio.fim, m_envio.layout,
                           item.codigo,    impressao,      item.emails};
    QElapsedTimer registroTempo;
    registroTempo.start();
    qint64 fora = 0; // time spent sending, not logging
    try {
        const ResultadoEnvio e = EnviaRegistrado(
            registro, chave, m_envio.reenvio,
            [&]() -> QString {
                QElapsedTimer envio;
                envio.start();
                const QString resposta =
                    sessao.Envia({m_envio.remetente, m_envio.assunto, m_envio.corpo, item.emails, item.arquivo});
                fora += envio.nsecsElapsed();
                return resposta;
            },
            m_envio.assumir);
        c.resposta = e.resposta;
        switch (e.situacao) {
        case SituacaoEnvio::Enviado: c.situacao = u"sent"_s; break;
        case SituacaoEnvio::Ignorado:
            c.situacao = u"skipped"_s;
            c.resposta = u"já enviado em %1 por %2"_s.arg(e.quando.toString(u"dd/MM/yyyy HH:mm"_s), e.estacao);
            break;
        case SituacaoEnvio::Incerto: c.situacao = e.saiu ? u"sent"_s : u"uncertain"_s; break;
        case SituacaoEnvio::Falhou: c.situacao = u"failed"_s; break;
        }
    } catch (const EEnviadoSemLogout &e) {
        // Accepted by the server before the connection's end failed: sent.
        c.situacao = u"sent"_s;
        c.resposta = e.resposta() + u" ("_s + e.text() + u')';
    } catch (const EKprError &e) {
        c.resposta = e.text();
    } catch (const std::exception &e) {
        c.resposta = QString::fromLocal8Bit(e.what());
    } catch (...) {
        c.resposta = u"envio interrompido"_s;
    }
    const double segundos = double(registroTempo.nsecsElapsed() - fora) / 1e9;
    m_segundosRegistro += segundos;
    if (depois)
        m_segundosRegistroDepois += segundos;
    return c;
}

} // namespace kpr::cfr
