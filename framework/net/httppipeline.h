#pragma once
// A connection of its own for calls written to the application server together and
// answered in the order written (HTTP/1.1 pipelining). libcurl opens and secures it
// (CONNECT_ONLY: the same certificate checks, time-outs and proxy rule as the calls made
// one at a time) and moves the bytes; http_parser reads the answers off the stream.

#include "framework/core/result.h"
#include "framework/net/rpctransport.h"

#include <QByteArray>

#include <memory>

namespace kpr {

struct HttpReply
{
    enum class Fault {
        None,
        Interrupted, // the connection broke or was closed before the answer was whole
        TimedOut,    // no byte came within the call time-out
        NotHttp,     // the bytes are not an HTTP/1.x answer
    };
    Fault fault = Fault::None;
    int status = 0;
    QByteArray body;
};

class HttpPipeline
{
public:
    HttpPipeline();
    ~HttpPipeline();
    HttpPipeline(const HttpPipeline &) = delete;
    HttpPipeline &operator=(const HttpPipeline &) = delete;

    // Connects to url ("http://host:port/"), or keeps the connection already open when the
    // server has not closed it meanwhile (*kept tells which). On a failure *curlCode is
    // libcurl's code and the text its reason.
    Status open(const RpcEndpoint &endpoint, const QByteArray &url, int *curlCode, bool *kept);
    void close();
    bool isOpen() const;

    // Writes all of bytes; answers that arrive meanwhile are kept for next(), so a server
    // blocked on writing them never blocks this. A fault leaves the connection as it is:
    // answers already read can still be taken.
    HttpReply::Fault write(const QByteArray &bytes);
    // The next answer on the stream; a fault closes the connection.
    HttpReply next();
    // Bytes read since this pipeline was made, over all its connections.
    qint64 bytesRead() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kpr
