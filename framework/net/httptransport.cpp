#include "framework/net/httptransport.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <httplib.h>

#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

// "30 s", "0,3 s": the way a pt-BR user reads a time-out.
QString secondsText(int ms)
{
    QString n = QString::number(double(ms) / 1000.0, 'g', 6);
    n.replace(u'.', u',');
    return n + u" s"_s;
}

QString connectFailureText(const RpcEndpoint &e, const QString &reason)
{
    return u"Não foi possível conectar ao servidor de aplicação em %1: %2."_s.arg(e.display(), reason);
}

QString badAnswerText(const QString &where, const QString &method, const QString &detail)
{
    return u"O servidor de aplicação em %1 enviou uma resposta inválida à chamada de %2: %3."_s
        .arg(where, method, detail);
}

// What an HTTP error reply says: its "error" text when it is the server's JSON, else
// the start of the body, as one line.
QString replyExcerpt(const std::string &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(body));
    if (doc.isObject() && doc.object().value(u"error"_s).isString())
        return doc.object().value(u"error"_s).toString().trimmed();
    QString text = QString::fromUtf8(body).simplified();
    if (text.size() > 200)
        text = text.left(200) + u"..."_s;
    return text;
}

} // namespace

QString connectFailureReason(const QString &host, int port, int timeoutMs)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const QByteArray node = host.toUtf8();
    const QByteArray service = QByteArray::number(port);
    if (getaddrinfo(node.constData(), service.constData(), &hints, &found) != 0 || !found)
        return u"endereço não encontrado"_s;

    int error = 0;
    const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                            found->ai_protocol);
    if (fd < 0) {
        error = errno;
    } else {
        if (::connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                pollfd p{fd, POLLOUT, 0};
                const int ready = ::poll(&p, 1, timeoutMs);
                if (ready == 0) {
                    error = ETIMEDOUT;
                } else {
                    socklen_t len = sizeof error;
                    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
                        error = errno;
                }
            }
        }
        ::close(fd);
    }
    freeaddrinfo(found);

    switch (error) {
    case 0:
        return {};
    case ECONNREFUSED:
        return u"conexão recusada"_s;
    case ETIMEDOUT:
        return u"o servidor não respondeu em %1"_s.arg(secondsText(timeoutMs));
    case ENETUNREACH:
    case EHOSTUNREACH:
        return u"rede ou máquina inalcançável"_s;
    case EADDRNOTAVAIL:
        return u"endereço indisponível"_s;
    default:
        return u"falha de rede (erro %1)"_s.arg(error);
    }
}

ServerResult parseRpcAnswer(const QByteArray &body, int argCount, const QString &where,
                            const QString &method)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return ServerResult::failure(badAnswerText(where, method, u"não é JSON (%1)"_s.arg(parseError.errorString())));
    if (!doc.isObject())
        return ServerResult::failure(badAnswerText(where, method, u"não é um objeto JSON"_s));
    const QJsonObject answer = doc.object();
    const QJsonValue ok = answer.value(u"ok"_s);
    if (!ok.isBool())
        return ServerResult::failure(badAnswerText(where, method, u"falta o campo \"ok\""_s));

    if (!ok.toBool()) {
        const QString text = answer.value(u"error"_s).toString().trimmed();
        if (text.isEmpty())
            return ServerResult::failure(
                u"O servidor de aplicação informou uma falha na chamada de %1, sem descrição."_s.arg(method));
        return ServerResult::failure(text);
    }

    // Every argument comes back, so that a by-reference one never silently keeps its
    // old value because the server forgot it.
    const QJsonValue refs = answer.value(u"refs"_s);
    if (!refs.isArray())
        return ServerResult::failure(badAnswerText(where, method, u"falta o campo \"refs\""_s));
    if (refs.toArray().size() != argCount)
        return ServerResult::failure(badAnswerText(
            where, method,
            u"\"refs\" traz %1 argumentos em vez de %2"_s.arg(refs.toArray().size()).arg(argCount)));
    QJsonValue result = answer.value(u"result"_s);
    if (result.isUndefined())
        result = QJsonValue(QJsonValue::Null);
    return ServerResult::success(result, refs.toArray());
}

struct HttpRpcTransport::Private
{
    RpcEndpoint endpoint;
    std::unique_ptr<httplib::Client> client;
    // The last call left its connection open: the server may have closed it since, and a
    // failure to use it is worth one retry on a new connection.
    bool keptAlive = false;

    void makeClient()
    {
        client = std::make_unique<httplib::Client>(endpoint.host.toStdString(), endpoint.port);
        client->set_keep_alive(true);
        // Without it every request waits for the peer's delayed ACK (about 44 ms here).
        client->set_tcp_nodelay(true);
        client->set_connection_timeout(std::chrono::milliseconds(endpoint.connectTimeoutMs));
        client->set_read_timeout(std::chrono::milliseconds(endpoint.callTimeoutMs));
        client->set_write_timeout(std::chrono::milliseconds(endpoint.callTimeoutMs));
        keptAlive = false;
    }
};

HttpRpcTransport::HttpRpcTransport() : d(std::make_unique<Private>()) {}

HttpRpcTransport::~HttpRpcTransport()
{
    close();
}

Status HttpRpcTransport::open(const RpcEndpoint &endpoint)
{
    close();
    if (endpoint.host.trimmed().isEmpty())
        return makeError(u"O endereço do servidor de aplicação não foi informado."_s);
    if (endpoint.port < 1 || endpoint.port > 65535)
        return makeError(u"A porta do servidor de aplicação (%1) é inválida."_s.arg(endpoint.port));
    const QString reason = connectFailureReason(endpoint.host, endpoint.port, endpoint.connectTimeoutMs);
    if (!reason.isEmpty())
        return makeError(connectFailureText(endpoint, reason));
    d->endpoint = endpoint;
    d->makeClient();
    return {};
}

void HttpRpcTransport::close()
{
    if (d->client)
        d->client->stop();
    d->client.reset();
    d->keptAlive = false;
}

ServerResult HttpRpcTransport::invoke(const QString &module, const QString &method,
                                      const QJsonArray &args)
{
    if (!d->client)
        return ServerResult::failure(
            u"A conexão com o servidor de aplicação não está aberta (chamada de %1)."_s.arg(method));

    const RpcEndpoint &e = d->endpoint;
    const QString where = e.display();
    const std::string path = "/rpc/" + QUrl::toPercentEncoding(module).toStdString();
    const QByteArray body =
        QJsonDocument(QJsonObject{{u"method"_s, method}, {u"args"_s, args}}).toJson(QJsonDocument::Compact);

    for (int attempt = 0;; ++attempt) {
        const bool reused = d->keptAlive;
        d->keptAlive = false;
        QElapsedTimer clock;
        clock.start();
        httplib::Result res = d->client->Post(path, body.constData(), size_t(body.size()), "application/json");
        if (!res) {
            const httplib::Error error = res.error();
            const bool timedOut = clock.elapsed() >= qint64(e.callTimeoutMs) * 9 / 10;
            const bool lostIdle = reused && !timedOut && (error == httplib::Error::Read || error == httplib::Error::Write);
            if (lostIdle && attempt == 0)
                continue; // the server closed the idle kept-alive connection: one new one
            if (error == httplib::Error::Connection || error == httplib::Error::ConnectionTimeout) {
                QString reason = connectFailureReason(e.host, e.port, e.connectTimeoutMs);
                if (reason.isEmpty())
                    reason = error == httplib::Error::ConnectionTimeout
                                 ? u"o servidor não respondeu em %1"_s.arg(secondsText(e.connectTimeoutMs))
                                 : u"a conexão falhou"_s;
                return ServerResult::failure(connectFailureText(e, reason));
            }
            if (timedOut)
                return ServerResult::failure(u"O servidor de aplicação em %1 não respondeu à chamada de %2 em %3."_s
                                                 .arg(where, method, secondsText(e.callTimeoutMs)));
            if (error == httplib::Error::Read || error == httplib::Error::Write)
                return ServerResult::failure(
                    u"A conexão com o servidor de aplicação em %1 foi interrompida durante a chamada de %2."_s
                        .arg(where, method));
            return ServerResult::failure(u"Falha na comunicação com o servidor de aplicação em %1 durante a chamada de %2 (%3)."_s
                                             .arg(where, method, QString::fromStdString(httplib::to_string(error))));
        }

        d->keptAlive = QString::fromStdString(res->get_header_value("Connection")).compare(u"close"_s, Qt::CaseInsensitive) != 0;
        if (res->status != 200) {
            const QString text = replyExcerpt(res->body);
            return ServerResult::failure(u"O servidor de aplicação em %1 recusou a chamada de %2 (HTTP %3)%4"_s
                                             .arg(where, method)
                                             .arg(res->status)
                                             .arg(text.isEmpty() ? u"."_s : u": "_s + text));
        }
        return parseRpcAnswer(QByteArray::fromStdString(res->body), int(args.size()), where, method);
    }
}

} // namespace kpr
