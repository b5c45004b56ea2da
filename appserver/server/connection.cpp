#include "appserver/server/connection.h"

#include "appserver/server/request.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using Clock = std::chrono::steady_clock;

namespace kpr::appserver {

namespace {

thread_local GuardedStream *t_current = nullptr;

// Milliseconds left until deadline, at least 0, at most capMs.
int msUntil(Clock::time_point deadline, int capMs = 1000)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, capMs));
}

// Waits until fd is ready for events or the deadline passes; false on time-out or error.
bool waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        if (Clock::now() >= deadline)
            return false;
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, std::max(1, msUntil(deadline)));
        if (r > 0)
            return true;
        if (r < 0 && errno != EINTR)
            return false;
    }
}

const char *reasonPhrase(int status)
{
    switch (status) {
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 408: return "Request Timeout";
    case 413: return "Payload Too Large";
    case 415: return "Unsupported Media Type";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Error";
    }
}

void setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

void discardPending(int fd)
{
    char sink[16384];
    for (int i = 0; i < 64 && ::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0; ++i) {}
}

} // namespace

std::string errorAnswer(int status, const QString &text)
{
    const QByteArray body = errorBody(text);
    std::string out = "HTTP/1.1 " + std::to_string(status) + ' ' + reasonPhrase(status) + "\r\n";
    out += "Content-Type: application/json; charset=utf-8\r\n";
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    if (status == 503)
        out += "Retry-After: 1\r\n";
    out += "Connection: close\r\n\r\n";
    out.append(body.constData(), size_t(body.size()));
    return out;
}

std::string peerAddress(int fd)
{
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        return {};
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(&addr)->sin_addr, text, sizeof text);
        return text;
    }
    if (addr.ss_family == AF_INET6) {
        const in6_addr &a = reinterpret_cast<sockaddr_in6 *>(&addr)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&a)) {
            ::inet_ntop(AF_INET, &a.s6_addr[12], text, sizeof text);
            return text;
        }
        ::inet_ntop(AF_INET6, &a, text, sizeof text);
        return text;
    }
    return {};
}

void refuseConnection(int fd, const QString &text)
{
    // On the accepting thread: nothing here may wait for the client. What has arrived of
    // the request is read first, so that closing does not reset the connection under the
    // answer.
    setNonBlocking(fd);
    discardPending(fd);
    const std::string answer = errorAnswer(503, text);
    [[maybe_unused]] const ssize_t sent = ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(fd, SHUT_WR);
    discardPending(fd);
    ::close(fd);
}

// ConnectionTable

ConnectionTable::Admission ConnectionTable::admit(int fd, const std::string &peer)
{
    std::lock_guard lock(m_mutex);
    const auto count = m_perPeer.find(peer);
    if (count != m_perPeer.end() && count->second >= m_limits.maxConnectionsPerClient && !evictOldestIdle(&peer))
        return Admission::TooManyFromClient;
    if (int(m_entries.size()) >= m_limits.maxConnections && !evictOldestIdle(nullptr))
        return Admission::TooManyTotal;
    m_entries[fd] = Entry{peer, false, Clock::now()};
    ++m_perPeer[peer];
    return Admission::Admitted;
}

bool ConnectionTable::evictOldestIdle(const std::string *peer)
{
    auto oldest = m_entries.end();
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (!it->second.idle || (peer && it->second.peer != *peer))
            continue;
        if (oldest == m_entries.end() || it->second.since < oldest->second.since)
            oldest = it;
    }
    if (oldest == m_entries.end())
        return false;
    // The worker waiting on it wakes to an ended connection and closes the socket; the
    // entry goes now, under the lock, so the descriptor is never touched after its close.
    ::shutdown(oldest->first, SHUT_RDWR);
    const auto count = m_perPeer.find(oldest->second.peer);
    if (count != m_perPeer.end() && --count->second <= 0)
        m_perPeer.erase(count);
    m_entries.erase(oldest);
    return true;
}

bool ConnectionTable::setIdle(int fd, bool idle)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(fd);
    if (it == m_entries.end())
        return false;
    it->second.idle = idle;
    it->second.since = Clock::now();
    return true;
}

void ConnectionTable::release(int fd)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(fd);
    if (it == m_entries.end())
        return;
    const auto count = m_perPeer.find(it->second.peer);
    if (count != m_perPeer.end() && --count->second <= 0)
        m_perPeer.erase(count);
    m_entries.erase(it);
}

// GuardedStream

GuardedStream::GuardedStream(int fd, SSL *ssl, const ConnectionLimits &limits) : m_fd(fd), m_ssl(ssl), m_limits(limits)
{}

GuardedStream *GuardedStream::current()
{
    return t_current;
}

bool GuardedStream::handshake()
{
    const auto deadline = Clock::now() + std::chrono::seconds(m_limits.requestTimeoutSeconds);
    for (;;) {
        const int r = SSL_accept(m_ssl);
        if (r == 1)
            return true;
        const int e = SSL_get_error(m_ssl, r);
        short want = 0;
        if (e == SSL_ERROR_WANT_READ)
            want = POLLIN;
        else if (e == SSL_ERROR_WANT_WRITE)
            want = POLLOUT;
        else
            return false;
        if (!waitFor(m_fd, want, deadline))
            return false;
    }
}

bool GuardedStream::waitForRequest(const std::atomic<bool> &stop)
{
    if (m_pos < m_buf.size() || (m_ssl && SSL_pending(m_ssl) > 0))
        return true;
    const auto until = Clock::now() + std::chrono::seconds(m_limits.keepAliveSeconds);
    for (;;) {
        // Checked every tenth of a second, so that a stopping server does not wait for
        // its idle connections.
        if (stop || Clock::now() >= until)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        const int r = ::poll(&p, 1, std::max(1, msUntil(until, 100)));
        if (r > 0)
            return (p.revents & POLLIN) != 0;
        if (r < 0 && errno != EINTR)
            return false;
    }
}

ssize_t GuardedStream::fill(Clock::time_point deadline)
{
    char chunk[16384];
    for (;;) {
        ssize_t n = 0;
        short want = POLLIN;
        if (m_ssl) {
            n = SSL_read(m_ssl, chunk, int(sizeof chunk));
            if (n <= 0) {
                const int e = SSL_get_error(m_ssl, int(n));
                if (e == SSL_ERROR_WANT_WRITE)
                    want = POLLOUT;
                else if (e != SSL_ERROR_WANT_READ)
                    return 0;
            }
        } else {
            n = ::recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n == 0)
                return 0;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return 0;
        }
        if (n > 0) {
            m_buf.append(chunk, size_t(n));
            return n;
        }
        if (!waitFor(m_fd, want, deadline)) {
            if (Clock::now() >= deadline)
                m_cut = Cut::TimedOut;
            return m_cut == Cut::None ? 0 : -1;
        }
    }
}

Cut GuardedStream::readHead()
{
    m_deadline = Clock::now() + std::chrono::seconds(m_limits.requestTimeoutSeconds);
    m_cut = Cut::None;
    m_wrote = false;
    m_closeAfter = false;
    m_buf.erase(0, m_pos);
    m_pos = 0;
    size_t scanned = 0;
    size_t headLength = 0;
    for (;;) {
        const size_t end = m_buf.find("\r\n\r\n", scanned > 3 ? scanned - 3 : 0);
        if (end != std::string::npos) {
            headLength = end + 4;
            break;
        }
        scanned = m_buf.size();
        if (m_buf.size() > m_limits.maxHeaderBytes)
            return m_cut = Cut::HeadTooLarge;
        const ssize_t n = fill(m_deadline);
        if (n == 0)
            return m_cut = Cut::Closed;
        if (n < 0)
            return m_cut;
    }
    if (headLength > m_limits.maxHeaderBytes)
        return m_cut = Cut::HeadTooLarge;
    // Lines of the head: the request line, the headers and the blank line.
    const auto lines = std::count(m_buf.begin(), m_buf.begin() + std::ptrdiff_t(headLength), '\n');
    if (lines - 2 > m_limits.maxHeaders)
        return m_cut = Cut::HeadTooLarge;
    m_bodyBytes = m_buf.size() - headLength;
    return Cut::None;
}

ssize_t GuardedStream::read(char *ptr, size_t size)
{
    if (m_cut != Cut::None)
        return -1;
    if (m_pos >= m_buf.size()) {
        m_buf.clear();
        m_pos = 0;
        const ssize_t n = fill(m_deadline);
        if (n <= 0)
            return -1;
        m_bodyBytes += size_t(n);
        // The decoded body is counted against the limit by the handler; the bytes on the
        // wire (chunk framing, compressed data) may not pass twice the limit either, so that
        // endless chunk lines or padding are not read for ever.
        if (m_bodyBytes > 2 * m_limits.maxBody + 65536) {
            m_cut = Cut::BodyTooLarge;
            return -1;
        }
    }
    const size_t n = std::min(size, m_buf.size() - m_pos);
    std::memcpy(ptr, m_buf.data() + m_pos, n);
    m_pos += n;
    return ssize_t(n);
}

bool GuardedStream::skip(size_t length)
{
    char sink[4096];
    while (length > 0) {
        const ssize_t n = read(sink, std::min(length, sizeof sink));
        if (n <= 0)
            return false;
        length -= size_t(n);
    }
    return true;
}

bool GuardedStream::writeAll(const char *data, size_t size, Clock::time_point deadline)
{
    while (size > 0) {
        ssize_t n = 0;
        short want = POLLOUT;
        if (m_ssl) {
            n = SSL_write(m_ssl, data, int(std::min<size_t>(size, 1 << 30)));
            if (n <= 0) {
                const int e = SSL_get_error(m_ssl, int(n));
                if (e == SSL_ERROR_WANT_READ)
                    want = POLLIN;
                else if (e != SSL_ERROR_WANT_WRITE)
                    return false;
            }
        } else {
            n = ::send(m_fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return false;
        }
        if (n > 0) {
            data += n;
            size -= size_t(n);
            continue;
        }
        if (!waitFor(m_fd, want, deadline))
            return false;
    }
    return true;
}

ssize_t GuardedStream::write(const char *ptr, size_t size)
{
    // A cut request is answered by the layer (answerCut), not by what the parser makes of
    // its failed read.
    if (m_cut != Cut::None)
        return ssize_t(size);
    m_wrote = true;
    const auto deadline = Clock::now() + std::chrono::seconds(m_limits.requestTimeoutSeconds);
    return writeAll(ptr, size, deadline) ? ssize_t(size) : -1;
}

bool GuardedStream::is_readable() const
{
    if (m_pos < m_buf.size() || (m_ssl && SSL_pending(m_ssl) > 0))
        return true;
    pollfd p{m_fd, POLLIN, 0};
    return ::poll(&p, 1, msUntil(m_deadline)) > 0;
}

bool GuardedStream::is_writable() const
{
    pollfd p{m_fd, POLLOUT, 0};
    return ::poll(&p, 1, msUntil(Clock::now() + std::chrono::seconds(m_limits.requestTimeoutSeconds))) > 0;
}

void GuardedStream::get_remote_ip_and_port(std::string &ip, int &port) const
{
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    ip = peerAddress(m_fd);
    port = 0;
    if (::getpeername(m_fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
        port = addr.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6 *>(&addr)->sin6_port)
                                          : ntohs(reinterpret_cast<sockaddr_in *>(&addr)->sin_port);
}

void GuardedStream::get_local_ip_and_port(std::string &ip, int &port) const
{
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    ip.clear();
    port = 0;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        return;
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET6) {
        ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6 *>(&addr)->sin6_addr, text, sizeof text);
        port = ntohs(reinterpret_cast<sockaddr_in6 *>(&addr)->sin6_port);
    } else {
        ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(&addr)->sin_addr, text, sizeof text);
        port = ntohs(reinterpret_cast<sockaddr_in *>(&addr)->sin_port);
    }
    ip = text;
}

void GuardedStream::answerCut()
{
    if (m_wrote)
        return;
    QString text;
    int status = 0;
    switch (m_cut) {
    case Cut::HeadTooLarge:
        status = 431;
        text = u"Cabeçalhos grandes demais: o limite é de %1 cabeçalhos e %2 bytes."_s.arg(m_limits.maxHeaders)
                   .arg(m_limits.maxHeaderBytes);
        break;
    case Cut::BodyTooLarge:
        status = 413;
        text = u"Requisição grande demais: o limite é de %1 bytes."_s.arg(m_limits.maxBody);
        break;
    case Cut::TimedOut:
        status = 408;
        text =
            u"A requisição não chegou inteira em %1 s; a conexão foi encerrada."_s.arg(m_limits.requestTimeoutSeconds);
        break;
    case Cut::None:
    case Cut::Closed: return;
    }
    m_wrote = true;
    const std::string answer = errorAnswer(status, text);
    writeAll(answer.data(), answer.size(), Clock::now() + std::chrono::seconds(1));
}

void GuardedStream::finish(bool drain)
{
    if (m_ssl) {
        SSL_shutdown(m_ssl); // the close notice, not waited for
        SSL_free(m_ssl);
        m_ssl = nullptr;
    }
    if (drain) {
        // The rest of a request that was refused unread: read (and drop) what the client
        // still sends for a moment after the answer, so that closing does not reset the
        // connection before the client has read the answer.
        ::shutdown(m_fd, SHUT_WR);
        const auto until = Clock::now() + std::chrono::milliseconds(500);
        size_t drained = 0;
        char sink[16384];
        while (drained < (1u << 20)) {
            const ssize_t n = ::recv(m_fd, sink, sizeof sink, MSG_DONTWAIT);
            if (n > 0) {
                drained += size_t(n);
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                break;
            if (!waitFor(m_fd, POLLIN, until))
                break;
        }
    }
    ::close(m_fd);
}

namespace {

void setCorked(int fd, bool on)
{
    const int value = on ? 1 : 0;
    ::setsockopt(fd, IPPROTO_TCP, TCP_CORK, &value, sizeof value);
}

} // namespace

void serveConnection(int fd, SSL *ssl, const ConnectionLimits &limits, ConnectionTable &table,
                     const std::atomic<bool> &stop, const std::function<bool(httplib::Stream &, bool, bool &)> &process)
{
    setNonBlocking(fd);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (ssl)
        SSL_set_fd(ssl, fd);
    GuardedStream stream(fd, ssl, limits);
    bool drain = false;
    if (!ssl || stream.handshake()) {
        for (;;) {
            table.setIdle(fd, true);
            const bool ready = stream.waitForRequest(stop);
            if (!table.setIdle(fd, false) || !ready)
                break;
            const Cut cut = stream.readHead();
            if (cut != Cut::None) {
                if (cut != Cut::Closed) {
                    stream.answerCut();
                    drain = true;
                }
                break;
            }
            bool closed = false;
            t_current = &stream;
            // httplib writes an answer's head and body apart: corked, they leave as one
            // segment where they fit, and the client wakes once per answer, not twice.
            setCorked(fd, true);
            const bool ok = process(stream, stop.load(), closed);
            setCorked(fd, false);
            t_current = nullptr;
            if (stream.cut() != Cut::None) {
                stream.answerCut();
                drain = true;
                break;
            }
            if (stream.closingAfterAnswer()) {
                drain = true;
                break;
            }
            if (!ok || closed || stop)
                break;
        }
    }
    table.release(fd);
    stream.finish(drain);
}

} // namespace kpr::appserver
