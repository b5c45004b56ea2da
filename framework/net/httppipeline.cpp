#include "framework/net/httppipeline.h"

#include "framework/net/curlconnection.h"

#include <QElapsedTimer>

#include <curl/curl.h>
#include <http_parser.h>

#include <cerrno>

#include <poll.h>

namespace kpr {

struct HttpPipeline::Private
{
    CURL *curl = nullptr;
    curl_socket_t socket = CURL_SOCKET_BAD;
    int timeoutMs = 30000;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    http_parser parser{};
    http_parser_settings settings{};
    QByteArray received; // bytes read and not yet given to the parser
    HttpReply current;   // the answer being parsed
    bool complete = false;
    bool keepAlive = true; // of the answer just parsed
    bool atEnd = false;    // the server closed the connection: only what was read is left
    qint64 bytesRead = 0;

    Private()
    {
        settings.on_body = [](http_parser *p, const char *at, size_t length) {
            self(p)->current.body.append(at, qsizetype(length));
            return 0;
        };
        settings.on_headers_complete = [](http_parser *p) {
            self(p)->current.status = int(p->status_code);
            return 0;
        };
        settings.on_message_complete = [](http_parser *p) {
            self(p)->complete = true;
            self(p)->keepAlive = http_should_keep_alive(p) != 0;
            // Stops the parser after this answer: the bytes of the next one stay unread.
            http_parser_pause(p, 1);
            return 0;
        };
    }

    ~Private() { close(); }

    static Private *self(http_parser *p) { return static_cast<Private *>(p->data); }

    void close()
    {
        if (curl)
            curl_easy_cleanup(curl);
        curl = nullptr;
        socket = CURL_SOCKET_BAD;
        received.clear();
        atEnd = false;
    }

    void restartParser()
    {
        http_parser_init(&parser, HTTP_RESPONSE);
        parser.data = this;
        current = HttpReply();
        complete = false;
    }

    // A kept connection the server closed while it was idle reads as readable (its end of
    // file) before anything was sent on it.
    bool closedByPeer() const
    {
        pollfd p{int(socket), POLLIN, 0};
        return ::poll(&p, 1, 0) != 0;
    }

    // Waits for the socket to be ready for events; false on time-out.
    bool wait(short events, short &ready) const
    {
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            pollfd p{int(socket), events, 0};
            const int n = ::poll(&p, 1, int(qMax<qint64>(0, timeoutMs - waited.elapsed())));
            if (n < 0 && errno == EINTR)
                continue;
            ready = p.revents;
            return n > 0;
        }
    }

    // Reads all there is into received (until the socket would block: a TLS layer may hold
    // more than one read gives); false, with atEnd set, when the connection ended or failed.
    bool readAvailable()
    {
        char chunk[65536];
        for (;;) {
            size_t n = 0;
            const CURLcode code = curl_easy_recv(curl, chunk, sizeof chunk, &n);
            if (code == CURLE_AGAIN)
                return true;
            if (code != CURLE_OK || n == 0) {
                atEnd = true;
                return false;
            }
            received.append(chunk, qsizetype(n));
            bytesRead += qint64(n);
        }
    }

    // Gives received to the parser: true when an answer is whole.
    bool parse(bool &invalid)
    {
        const size_t used = http_parser_execute(&parser, &settings, received.constData(), size_t(received.size()));
        received.remove(0, qsizetype(used));
        invalid = !complete && HTTP_PARSER_ERRNO(&parser) != HPE_OK;
        return complete;
    }
};

HttpPipeline::HttpPipeline() : d(std::make_unique<Private>()) {}

HttpPipeline::~HttpPipeline() = default;

bool HttpPipeline::isOpen() const
{
    return d->curl != nullptr;
}

void HttpPipeline::close()
{
    d->close();
}

qint64 HttpPipeline::bytesRead() const
{
    return d->bytesRead;
}

Status HttpPipeline::open(const RpcEndpoint &endpoint, const QByteArray &url, int *curlCode, bool *kept)
{
    *curlCode = CURLE_OK;
    *kept = false;
    d->timeoutMs = endpoint.callTimeoutMs;
    if (d->curl && d->received.isEmpty() && !d->atEnd && !d->closedByPeer()) {
        *kept = true;
        return {};
    }
    d->close();
    d->curl = curl_easy_init();
    if (!d->curl)
        return makeError(QStringLiteral("a biblioteca de rede não pôde ser iniciada"));
    CURL *curl = d->curl;
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
    setConnectionOptions(curl, endpoint, d->errorBuffer);
    d->errorBuffer[0] = '\0';
    const CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_ACTIVESOCKET, &d->socket);
    if (code != CURLE_OK || d->socket == CURL_SOCKET_BAD) {
        *curlCode = code;
        const QString reason =
            d->errorBuffer[0] ? QString::fromUtf8(d->errorBuffer) : QString::fromUtf8(curl_easy_strerror(code));
        d->close();
        return makeError(reason);
    }
    return {};
}

HttpReply::Fault HttpPipeline::write(const QByteArray &bytes)
{
    using F = HttpReply::Fault;
    if (!d->curl)
        return F::Interrupted;
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        size_t n = 0;
        const CURLcode code = curl_easy_send(d->curl, bytes.constData() + sent, size_t(bytes.size() - sent), &n);
        if (code == CURLE_OK) {
            sent += qsizetype(n);
            continue;
        }
        if (code != CURLE_AGAIN)
            return F::Interrupted;
        short ready = 0;
        if (!d->wait(POLLIN | POLLOUT, ready))
            return F::TimedOut;
        if ((ready & POLLIN) && !d->readAvailable())
            return F::Interrupted;
        if ((ready & (POLLERR | POLLHUP)) && !(ready & POLLIN))
            return F::Interrupted;
    }
    return F::None;
}

HttpReply HttpPipeline::next()
{
    using F = HttpReply::Fault;
    d->restartParser();
    auto fault = [&](F f) {
        d->close();
        HttpReply r;
        r.fault = f;
        return r;
    };
    if (!d->curl)
        return fault(F::Interrupted);
    for (;;) {
        bool invalid = false;
        if (!d->received.isEmpty() && d->parse(invalid))
            break;
        if (invalid)
            return fault(F::NotHttp);
        if (d->atEnd) {
            // An answer without a length ends with the connection.
            http_parser_execute(&d->parser, &d->settings, nullptr, 0);
            if (d->complete)
                break;
            return fault(F::Interrupted);
        }
        short ready = 0;
        if (!d->wait(POLLIN, ready))
            return fault(F::TimedOut);
        d->readAvailable();
    }
    http_parser_pause(&d->parser, 0);
    HttpReply r = std::move(d->current);
    // An answer that announces the end of the connection ends it here (nothing may follow
    // it): the next call opens a new one.
    if (!d->keepAlive)
        d->close();
    return r;
}

} // namespace kpr
