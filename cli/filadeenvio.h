#pragma once
// The messages of the statement run, sent on a thread of their own while the export goes on:
// the export hands over each part of its files as soon as they are written, and this queue
// claims, sends and concludes them one after the other (the send log's calls on a server
// connection of its own, every message on one SMTP connection). The export and the mail
// then share the time instead of following each other.

#include "cli/execucao.h"
#include "email/dadossmtp.h"
#include "host/registroenvios.h"

#include <QDate>
#include <QHash>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kpr::cfr {

// What every message of the run shares.
struct EnvioDaExecucao
{
    QString filial;
    QDate inicio;
    QDate fim;
    QString layout;
    // The statements' fingerprints (client → fingerprint), computed on the queue's thread
    // before its first message while the export goes on.
    std::function<QHash<QString, QString>()> impressoes;
    Reenvio reenvio = Reenvio::Nao;
    bool assumir = false; // take over an uncertain claim (--take-over)
    QString remetente;
    QString assunto;
    QString corpo;
    DadosSMTP smtp;
    // The application server, as the screen's connection reaches it.
    QString host;
    int porta = 0;
    QString arquivoSegredo;
    bool tls = false;
};

struct ItemEnvio
{
    int posicao = 0; // the client's place in the run's summary
    QString codigo;
    QString nome;
    QString emails;
    QString arquivo;
};

class FilaDeEnvio
{
public:
    // aoEnviar is called on the queue's thread after each message, with the number done.
    FilaDeEnvio(EnvioDaExecucao envio, std::function<void(const ClienteExecucao &, int feitos)> aoEnviar);
    ~FilaDeEnvio(); // finishes what was queued
    FilaDeEnvio(const FilaDeEnvio &) = delete;
    FilaDeEnvio &operator=(const FilaDeEnvio &) = delete;

    void Acrescenta(ItemEnvio item);
    // No more items: waits until every queued message is done.
    void Conclui();

    // After Conclui: each client's result at its place (clients never queued stay empty).
    const std::vector<ClienteExecucao> &Resultados() const { return m_resultados; }
    double SegundosRegistro() const { return m_segundosRegistro; }
    // The part of it spent after Conclui was called (the export over): the only log calls
    // the run waits for, the others running beside the export.
    double SegundosRegistroDepois() const { return m_segundosRegistroDepois; }
    double SegundosImpressoes() const { return m_segundosImpressoes; }

private:
    void executa();
    ClienteExecucao envia(RegistroEnvios &registro, class SessaoSMTP &sessao, const ItemEnvio &item,
                          const QString &impressao);

    EnvioDaExecucao m_envio;
    std::function<void(const ClienteExecucao &, int)> m_aoEnviar;
    std::mutex m_mutex;
    std::condition_variable m_temItem;
    std::deque<ItemEnvio> m_fila;
    bool m_fechada = false;
    std::vector<ClienteExecucao> m_resultados;
    double m_segundosRegistro = 0;
    double m_segundosRegistroDepois = 0;
    double m_segundosImpressoes = 0;
    std::thread m_thread;
};

} // namespace kpr::cfr
