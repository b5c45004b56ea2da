#pragma once
// Every connection the transport accepts is read through this layer before cpp-httplib's
// parser sees a byte, because httplib 0.11 bounds none of what a client can make it hold:
// it reads header lines into a buffer without limit, counts neither chunked nor decoded
// bytes against its payload limit, and times out only each read, not a request.
//
// - ConnectionTable admits a connection (limits in total and per client address; idle
//   kept-alive connections are closed first to make room) and knows which are idle.
// - GuardedStream is the httplib::Stream a connection's requests are parsed from: it reads
//   each request's head whole before the parser runs (at most maxHeaders lines and
//   maxHeaderBytes bytes), holds one deadline for the head and the body, and stops a body
//   whose bytes on the wire pass twice the body limit (the decoded bytes are counted by
//   the request handler).
// - serveConnection runs the keep-alive loop of one connection on a worker.

#include <httplib.h>

#include <openssl/ssl.h>

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

namespace kpr::appserver {

struct ConnectionLimits
{
    size_t maxBody = 64 * 1024 * 1024;
    int maxHeaders = 64;
    size_t maxHeaderBytes = 16 * 1024;
    int requestTimeoutSeconds = 30;
    int keepAliveSeconds = 60;
    int maxConnections = 256;
    int maxConnectionsPerClient = 64;
};

// Why a request was cut short by the layer, and so the answer it gets.
enum class Cut {
    None,
    Closed,       // the client closed the connection: no answer
    HeadTooLarge, // 431
    BodyTooLarge, // 413
    TimedOut,     // 408
};

class ConnectionTable
{
public:
    enum class Admission { Admitted, TooManyTotal, TooManyFromClient };

    explicit ConnectionTable(const ConnectionLimits &limits) : m_limits(limits) {}

    // On the accepting thread. When a limit is reached the oldest idle connection (of the
    // same client for the per-client limit) is shut down to make room; only when none is
    // idle is the new connection refused.
    Admission admit(int fd, const std::string &peer);
    // False when the connection was shut down to make room while idle: the worker ends it.
    bool setIdle(int fd, bool idle);
    // Before the worker closes the socket.
    void release(int fd);

private:
    struct Entry
    {
        std::string peer;
        bool idle = false;
        std::chrono::steady_clock::time_point since;
    };
    bool evictOldestIdle(const std::string *peer); // with m_mutex held

    const ConnectionLimits m_limits;
    std::mutex m_mutex;
    std::unordered_map<int, Entry> m_entries;
    std::unordered_map<std::string, int> m_perPeer;
};

class GuardedStream final : public httplib::Stream
{
public:
    GuardedStream(int fd, SSL *ssl, const ConnectionLimits &limits);

    // The stream of the request being handled on this thread (null elsewhere): the
    // handlers mark through it that the connection must end after the answer.
    static GuardedStream *current();

    // TLS: the server's half of the handshake within the request time-out.
    bool handshake();
    // Waits for the next request's first byte up to the keep-alive time; false when the
    // connection closed, stayed idle too long, or stop became true.
    bool waitForRequest(const std::atomic<bool> &stop);
    // Starts the request's deadline and reads its head into the buffer.
    Cut readHead();

    // Reads and drops the next length bytes (the small body of a refused request), so the
    // connection can stay open; false when they did not come (then it must end).
    bool skip(size_t length);

    Cut cut() const { return m_cut; }
    bool wroteAnything() const { return m_wrote; }
    void closeAfterAnswer() { m_closeAfter = true; }
    bool closingAfterAnswer() const { return m_closeAfter; }
    // Writes the layer's own answer to a cut request (when nothing was written yet).
    void answerCut();
    // Ends the connection: TLS close notice; with drain, a short read of what the client
    // still sends so that the answer is not lost to a reset; then the socket closed.
    void finish(bool drain);

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char *ptr, size_t size) override;
    ssize_t write(const char *ptr, size_t size) override;
    using httplib::Stream::write;
    void get_remote_ip_and_port(std::string &ip, int &port) const override;
    void get_local_ip_and_port(std::string &ip, int &port) const override;
    socket_t socket() const override { return m_fd; }

private:
    // Reads more bytes into the buffer before the deadline: >0 bytes read, 0 closed, -1 cut.
    ssize_t fill(std::chrono::steady_clock::time_point deadline);
    bool writeAll(const char *data, size_t size, std::chrono::steady_clock::time_point deadline);

    const int m_fd;
    SSL *m_ssl;
    const ConnectionLimits &m_limits;
    std::string m_buf;
    size_t m_pos = 0;
    size_t m_bodyBytes = 0; // bytes of the request after its head, framing included
    std::chrono::steady_clock::time_point m_deadline;
    Cut m_cut = Cut::None;
    bool m_wrote = false;
    bool m_closeAfter = false;
};

// Peer address of an accepted socket, as text ("127.0.0.1", "::1").
std::string peerAddress(int fd);

// Answers a connection refused at admission with 503 and closes it, without blocking.
void refuseConnection(int fd, const QString &text);

// A whole HTTP/1.1 answer with the JSON error body {"ok": false, "error": text}, closing.
std::string errorAnswer(int status, const QString &text);

// The keep-alive loop of one connection: wait for a request, read its head through the
// layer, let process parse and answer it, until the connection ends. Takes ownership of
// fd (and ssl).
void serveConnection(
    int fd, SSL *ssl, const ConnectionLimits &limits, ConnectionTable &table, const std::atomic<bool> &stop,
    const std::function<bool(httplib::Stream &, bool closeConnection, bool &connectionClosed)> &process);

} // namespace kpr::appserver
