#include "appserver/server/access.h"

#include <QFile>

#include <openssl/crypto.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver {

namespace {

QByteArray sha256(std::string_view data)
{
    QByteArray digest(SHA256_DIGEST_LENGTH, '\0');
    SHA256(reinterpret_cast<const unsigned char *>(data.data()), data.size(),
           reinterpret_cast<unsigned char *>(digest.data()));
    return digest;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

bool isLoopbackHost(const QString &host)
{
    QString h = host.trimmed().toLower();
    if (h.startsWith(u'[') && h.endsWith(u']'))
        h = h.mid(1, h.size() - 2);
    if (h == u"localhost"_s)
        return true;
    const QByteArray text = h.toLatin1();
    in_addr v4{};
    if (inet_pton(AF_INET, text.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.constData(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6))
            return true;
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

bool isJsonContentType(std::string_view value)
{
    const size_t semicolon = value.find(';');
    return equalsIgnoringCase(trimmed(value.substr(0, semicolon)), "application/json");
}

Credential::Credential(const QByteArray &secret)
    : m_required(!secret.isEmpty()),
      m_digest(sha256(std::string_view(secret.constData(), size_t(secret.size()))))
{}

bool Credential::accepts(std::string_view authorization) const
{
    if (!m_required)
        return true;
    authorization = trimmed(authorization);
    constexpr std::string_view scheme = "bearer ";
    if (authorization.size() <= scheme.size() || !equalsIgnoringCase(authorization.substr(0, scheme.size()), scheme))
        return false;
    const QByteArray offered = sha256(trimmed(authorization.substr(scheme.size())));
    return CRYPTO_memcmp(offered.constData(), m_digest.constData(), size_t(m_digest.size())) == 0;
}

Result<QByteArray> readSecretFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return makeError(u"o arquivo de segredo %1 não existe; crie-o com --init-db --secret-file %1."_s.arg(path));
        return makeError(u"não foi possível ler o arquivo de segredo %1: %2."_s.arg(path, errnoText(error)));
    }
    struct stat st
    {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return makeError(u"o arquivo de segredo %1 não é um arquivo comum."_s.arg(path));
    }
    if ((st.st_mode & 077) != 0) {
        ::close(fd);
        return makeError(u"o arquivo de segredo %1 pode ser lido ou alterado por outros usuários (modo %2); "
                         "deixe-o só para o dono: chmod 600 %1."_s.arg(path)
                             .arg(QString::number(st.st_mode & 0777, 8).rightJustified(4, u'0')));
    }
    QByteArray content;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        content.append(buf, qsizetype(n));
        if (content.size() > 64 * 1024)
            break;
    }
    ::close(fd);
    const qsizetype newline = content.indexOf('\n');
    const QByteArray secret = (newline >= 0 ? content.left(newline) : content).trimmed();
    if (secret.isEmpty())
        return makeError(u"o arquivo de segredo %1 está vazio."_s.arg(path));
    return secret;
}

Result<bool> createSecretFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        if (error == EEXIST)
            return false;
        return makeError(u"não foi possível criar o arquivo de segredo %1: %2."_s.arg(path, errnoText(error)));
    }
    unsigned char random[32];
    if (RAND_bytes(random, sizeof random) != 1) {
        ::close(fd);
        ::unlink(name.constData());
        return makeError(u"não foi possível gerar um segredo aleatório para %1."_s.arg(path));
    }
    // The umask may have taken bits away, never added any; fchmod makes it exactly 0600.
    ::fchmod(fd, 0600);
    const QByteArray line = QByteArray(reinterpret_cast<const char *>(random), sizeof random).toHex() + '\n';
    const bool written = ::write(fd, line.constData(), size_t(line.size())) == line.size();
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        ::unlink(name.constData());
        return makeError(u"não foi possível gravar o arquivo de segredo %1."_s.arg(path));
    }
    return true;
}

} // namespace kpr::appserver
