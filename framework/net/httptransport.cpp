#include "framework/net/httptransport.h"

#include "framework/net/curlconnection.h"
#include "framework/net/httppipeline.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopedValueRollback>
#include <QUrl>

#include <curl/curl.h>

#include <cerrno>
#include <mutex>

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

QString interruptedText(const QString &where, const QString &method)
{
    return u"A conexão com o servidor de aplicação em %1 foi interrompida durante a chamada de %2."_s.arg(where,
                                                                                                          method);
}

QString timedOutText(const RpcEndpoint &e, const QString &method)
{
    return u"O servidor de aplicação em %1 não respondeu à chamada de %2 em %3."_s.arg(e.display(), method,
                                                                                       secondsText(e.callTimeoutMs));
}

QString notHttpText(const QString &where, const QString &method)
{
    return u"Falha na comunicação com o servidor de aplicação em %1 durante a chamada de %2 (resposta HTTP inválida)."_s
        .arg(where, method);
}

QString notOpenText(const QString &method)
{
    return u"A conexão com o servidor de aplicação não está aberta (chamada de %1)."_s.arg(method);
}

// What an HTTP error reply says: its "error" text when it is the server's JSON, else
// the start of the body, as one line.
QString replyExcerpt(const QByteArray &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (doc.isObject() && doc.object().value(u"error"_s).isString())
        return doc.object().value(u"error"_s).toString().trimmed();
    QString text = QString::fromUtf8(body).simplified();
    if (text.size() > 200)
        text = text.left(200) + u"..."_s;
    return text;
}

// The secret of endpoint.secretFile: its first line, blanks at the ends removed; or why it
// cannot be used, as the reason of a connect failure.
Result<QByteArray> readSecret(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return makeError(
            u"o arquivo da credencial %1 (WebSecretFile) não pôde ser lido: %2"_s.arg(path, file.errorString()));
    const QByteArray secret = file.readLine(64 * 1024).trimmed();
    if (secret.isEmpty())
        return makeError(u"o arquivo da credencial %1 (WebSecretFile) está vazio"_s.arg(path));
    return secret;
}

QString refusedText(const QString &where, const QString &method, long status, const QByteArray &body)
{
    const QString text = replyExcerpt(body);
    return u"O servidor de aplicação em %1 recusou a chamada de %2 (HTTP %3)%4"_s.arg(where, method)
        .arg(status)
        .arg(text.isEmpty() ? u"."_s : u": "_s + text);
}

// Why a TLS connection failed, as the user reads it; empty for a code that is not of TLS.
QString tlsFailureReason(CURLcode code, const QString &detail)
{
    switch (code) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
        return u"o certificado TLS do servidor não é confiável ou não é deste endereço (%1)"_s.arg(detail);
    case CURLE_SSL_CONNECT_ERROR: return u"a negociação TLS falhou (%1)"_s.arg(detail);
    default: return {};
    }
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
    const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, found->ai_protocol);
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
    case 0: return {};
    case ECONNREFUSED: return u"conexão recusada"_s;
    case ETIMEDOUT: return u"o servidor não respondeu em %1"_s.arg(secondsText(timeoutMs));
    case ENETUNREACH:
    case EHOSTUNREACH: return u"rede ou máquina inalcançável"_s;
    case EADDRNOTAVAIL: return u"endereço indisponível"_s;
    default: return u"falha de rede (erro %1)"_s.arg(error);
    }
}

// One kept-alive HTTP/1.1 connection: a libcurl easy handle kept between calls keeps its
// connection open, sends a small request (head and body) in one write and retries once on
// a fresh connection when a reused one turns out closed by the server.
struct HttpRpcTransport::Private
{
    RpcEndpoint endpoint;
    QByteArray authorization; // "Authorization: Bearer ..." or empty
    CURL *curl = nullptr;
    curl_slist *headers = nullptr;
    QByteArray answer;
    QByteArray lastUrl;    // set on the handle only when it changes: curl parses it again
    HttpPipeline pipeline; // the calls sent together, on a connection of their own
    bool inSequence = false;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    ~Private() { reset(); }

    void reset()
    {
        pipeline.close();
        if (curl)
            curl_easy_cleanup(curl);
        curl = nullptr;
        if (headers)
            curl_slist_free_all(headers);
        headers = nullptr;
        lastUrl.clear();
    }

    static size_t collect(char *data, size_t size, size_t count, void *self)
    {
        static_cast<Private *>(self)->answer.append(data, qsizetype(size * count));
        return size * count;
    }

    bool makeHandle()
    {
        static std::once_flag initialised;
        std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        reset();
        curl = curl_easy_init();
        if (!curl)
            return false;
        headers = curl_slist_append(headers, "Content-Type: application/json");
        // No "100-continue" round trip before larger bodies: the server reads them at once.
        headers = curl_slist_append(headers, "Expect:");
        if (!authorization.isEmpty())
            headers = curl_slist_append(headers, authorization.constData());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        setConnectionOptions(curl, endpoint, errorBuffer);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(endpoint.callTimeoutMs));
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Private::collect);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
        return true;
    }

    QByteArray hostAndPort() const
    {
        const QString host = endpoint.host.contains(u':') ? u"["_s + endpoint.host + u"]"_s : endpoint.host;
        return u"%1:%2"_s.arg(host).arg(endpoint.port).toUtf8();
    }

    QByteArray baseUrl() const { return (endpoint.tls ? "https://" : "http://") + hostAndPort() + "/"; }

    QByteArray path(const QString &module) const { return "/rpc/" + QUrl::toPercentEncoding(module); }

    QByteArray url(const QString &module) const { return baseUrl().chopped(1) + path(module); }

    // The head every request of a sequence starts with, up to its Content-Length value.
    QByteArray requestHead(const QString &module) const
    {
        QByteArray head =
            "POST " + path(module) + " HTTP/1.1\r\nHost: " + hostAndPort() + "\r\nContent-Type: application/json\r\n";
        if (!authorization.isEmpty())
            head += authorization + "\r\n";
        return head + "Content-Length: ";
    }

    // One call's request, as the single-call path sends it.
    static QByteArray request(const QByteArray &head, const RpcCall &call)
    {
        const QByteArray body = QJsonDocument(QJsonObject{{u"method"_s, call.method}, {u"args"_s, call.args}})
                                    .toJson(QJsonDocument::Compact);
        return head + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }

    // The answer to a call from what the pipeline read for it.
    ServerResult answerOf(const HttpReply &reply, const RpcCall &call) const
    {
        const QString where = endpoint.display();
        switch (reply.fault) {
        case HttpReply::Fault::None: break;
        case HttpReply::Fault::Interrupted: return ServerResult::failure(interruptedText(where, call.method));
        case HttpReply::Fault::TimedOut: return ServerResult::failure(timedOutText(endpoint, call.method));
        case HttpReply::Fault::NotHttp: return ServerResult::failure(notHttpText(where, call.method));
        }
        if (reply.status != 200)
            return ServerResult::failure(refusedText(where, call.method, reply.status, reply.body));
        return parseRpcAnswer(reply.body, int(call.args.size()), where, call.method);
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
    d->authorization.clear();
    if (!endpoint.secretFile.isEmpty()) {
        const auto secret = readSecret(endpoint.secretFile);
        if (!secret)
            return makeError(connectFailureText(endpoint, secret.error()));
        d->authorization = "Authorization: Bearer " + *secret;
    }
    d->endpoint = endpoint;
    if (!d->makeHandle())
        return makeError(connectFailureText(endpoint, u"a biblioteca de rede não pôde ser iniciada"_s));
    return {};
}

void HttpRpcTransport::close()
{
    d->reset();
}

namespace {
// Requests written and not yet answered, at most: the server keeps working while answers
// are taken in, and what waits to be read stays small.
constexpr qsizetype MaxOutstanding = 16;
} // namespace

void HttpRpcTransport::invokeInOrder(const QString &module, const QList<RpcCall> &calls, const RpcAnswerFn &answer)
{
    // One at a time: a single call, a transport not open, or a sequence made while
    // another's answers are still being taken (its connection holds the other's answers).
    if (calls.size() < 2 || !d->curl || d->inSequence) {
        RpcTransport::invokeInOrder(module, calls, answer);
        return;
    }
    const RpcEndpoint &e = d->endpoint;
    const QByteArray url = d->baseUrl();
    int code = CURLE_OK;
    bool kept = false;
    // A second connection the server does not take (its limit per client address, say):
    // the calls go one at a time on the first, which reports why if it fails too.
    if (!d->pipeline.open(e, url, &code, &kept)) {
        RpcTransport::invokeInOrder(module, calls, answer);
        return;
    }
    const QScopedValueRollback busy(d->inSequence, true);
    const QByteArray head = d->requestHead(module);
    qsizetype written = 0;
    qsizetype at = 0; // the call whose answer comes next
    HttpReply::Fault writeFault = HttpReply::Fault::None;
    const auto failed = [&](HttpReply::Fault f) {
        d->pipeline.close();
        HttpReply r;
        r.fault = f;
        return r;
    };
    const auto nextReply = [&] {
        while (writeFault == HttpReply::Fault::None && written < calls.size() && written - at < MaxOutstanding) {
            writeFault = d->pipeline.write(Private::request(head, calls.at(written)));
            if (writeFault == HttpReply::Fault::None)
                ++written;
        }
        // A server that stops reading is given up at once; one that closed the connection
        // may still have answered the calls written before.
        if (writeFault == HttpReply::Fault::TimedOut)
            return failed(writeFault);
        if (at >= written)
            return failed(HttpReply::Fault::Interrupted);
        return d->pipeline.next();
    };

    const qint64 before = d->pipeline.bytesRead();
    HttpReply reply = nextReply();
    if (reply.fault == HttpReply::Fault::Interrupted && kept && d->pipeline.bytesRead() == before) {
        // A kept connection the server dropped just as the calls went out, with nothing
        // answered: they are sent once more on a new connection, as the single-call path
        // does.
        d->pipeline.close();
        if (!d->pipeline.open(e, url, &code, &kept)) {
            RpcTransport::invokeInOrder(module, calls, answer);
            return;
        }
        written = 0;
        writeFault = HttpReply::Fault::None;
        reply = nextReply();
    }

    // The answers of calls already written past the one that ended the sequence are read
    // and dropped, so that the connection is clear and the server done with them before
    // the next call; calls not yet written are not made.
    const auto drain = [&] {
        while (++at < written && d->pipeline.isOpen())
            d->pipeline.next();
    };
    try {
        for (;;) {
            const bool broken = reply.fault != HttpReply::Fault::None;
            if (!answer(d->answerOf(reply, calls.at(at))) || broken) {
                if (!broken)
                    drain();
                return;
            }
            if (++at == calls.size())
                return;
            reply = nextReply();
        }
    } catch (...) {
        drain();
        throw;
    }
}

ServerResult HttpRpcTransport::invoke(const QString &module, const QString &method, const QJsonArray &args)
{
    if (!d->curl)
        return ServerResult::failure(notOpenText(method));

    const RpcEndpoint &e = d->endpoint;
    const QString where = e.display();
    const QByteArray url = d->url(module);
    const QByteArray body =
        QJsonDocument(QJsonObject{{u"method"_s, method}, {u"args"_s, args}}).toJson(QJsonDocument::Compact);

    CURL *curl = d->curl;
    if (url != d->lastUrl) {
        d->lastUrl = url;
        curl_easy_setopt(curl, CURLOPT_URL, d->lastUrl.constData());
    }
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
    d->answer.clear();
    d->errorBuffer[0] = '\0';
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, nullptr);

    if (code != CURLE_OK) {
        switch (code) {
        case CURLE_COULDNT_CONNECT:
        case CURLE_COULDNT_RESOLVE_HOST: {
            QString reason = connectFailureReason(e.host, e.port, e.connectTimeoutMs);
            if (reason.isEmpty())
                reason = u"a conexão falhou"_s;
            return ServerResult::failure(connectFailureText(e, reason));
        }
        case CURLE_OPERATION_TIMEDOUT: {
            // A new connection that never completed timed out connecting, not calling.
            long connects = 0;
            curl_off_t connectedAfter = 0;
            curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &connects);
            curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connectedAfter);
            if (connects > 0 && connectedAfter == 0) {
                QString reason = connectFailureReason(e.host, e.port, e.connectTimeoutMs);
                if (reason.isEmpty())
                    reason = u"o servidor não respondeu em %1"_s.arg(secondsText(e.connectTimeoutMs));
                return ServerResult::failure(connectFailureText(e, reason));
            }
            return ServerResult::failure(timedOutText(e, method));
        }
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE: return ServerResult::failure(interruptedText(where, method));
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CONNECT_ERROR: {
            const QString detail =
                d->errorBuffer[0] ? QString::fromUtf8(d->errorBuffer) : QString::fromUtf8(curl_easy_strerror(code));
            return ServerResult::failure(connectFailureText(e, tlsFailureReason(code, detail)));
        }
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_UNSUPPORTED_PROTOCOL: // what curl says of a reply without an HTTP status line
            return ServerResult::failure(notHttpText(where, method));
        default: {
            const QString detail =
                d->errorBuffer[0] ? QString::fromUtf8(d->errorBuffer) : QString::fromUtf8(curl_easy_strerror(code));
            return ServerResult::failure(
                u"Falha na comunicação com o servidor de aplicação em %1 durante a chamada de %2 (%3)."_s.arg(
                    where, method, detail));
        }
        }
    }

    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200)
        return ServerResult::failure(refusedText(where, method, status, d->answer));
    return parseRpcAnswer(d->answer, int(args.size()), where, method);
}

} // namespace kpr
