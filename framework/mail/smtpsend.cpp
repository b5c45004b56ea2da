#include "framework/mail/smtpsend.h"

#include "framework/mail/smtpstatus.h"
#include "framework/settings/hostresources.h"
#include "framework/settings/registry.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QStringList>

#include <curl/curl.h>
#include <cctype>
#include <cerrno>
#include <poll.h>

#include <mutex>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

QString smtpTrustedCAFile()
{
    const QString fromEnvironment = qEnvironmentVariable("SSL_CERT_FILE");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return Registry().readString(QString::fromUtf16(sSiteWebCliKey) + u"/SMTPCAFile"_s);
}

namespace {

// Where the system keeps its authorities, one hashed file each: with CURLOPT_CAINFO naming
// an extra file, OpenSSL still looks here, so both are trusted.
constexpr char systemCAPath[] = "/etc/ssl/certs";

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool isReplyLine(const QByteArray &line)
{
    return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0]))
           && std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2]));
}

// A command argument must not carry anything that would end the command line early.
bool isSafeAddress(const QString &address)
{
    for (const QChar c : address) {
        if (c.unicode() < 32 || c.unicode() == 127 || c == u'<' || c == u'>')
            return false;
    }
    return !address.isEmpty();
}

} // namespace

struct TSMTPSend::Private
{
    int timeout = 60000;
    QString host;
    QString port;
    QString user;
    QString password;
    QString caFile;
    bool fullSsl = false;
    bool autoTls = false;

    CURL *curl = nullptr;
    bool connected = false;

    // The last reply (complete or being read) and the step's own failure, if it was not
    // the server's answer.
    int code = 0;
    QStringList replyLines;
    bool replyComplete = true;
    QString failure;
    bool authAccepted = false;
    QByteArray pending; // received bytes not yet a whole line
    QString caFileUsed;
    char curlError[CURL_ERROR_SIZE] = {};

    QString where() const { return u"%1:%2"_s.arg(host, port); }

    void startStep()
    {
        code = 0;
        replyLines.clear();
        replyComplete = true;
        failure.clear();
    }

    void takeLine(QByteArray line)
    {
        while (line.endsWith('\r') || line.endsWith('\n'))
            line.chop(1);
        if (!isReplyLine(line))
            return;
        if (replyComplete) {
            replyLines.clear();
            replyComplete = false;
        }
        code = line.left(3).toInt();
        replyLines.append(QString::fromUtf8(line));
        if (line.size() == 3 || line[3] != '-') {
            replyComplete = true;
            if (code == 235)
                authAccepted = true;
        }
    }

    // Server replies that curl reads during Login arrive here, a line or a few at a time;
    // what the client sends (the AUTH exchange among it) is never looked at.
    static int onDebug(CURL *, curl_infotype type, char *data, size_t size, void *userp)
    {
        if (type != CURLINFO_HEADER_IN)
            return 0;
        auto *self = static_cast<Private *>(userp);
        self->pending.append(data, qsizetype(size));
        qsizetype eol;
        while ((eol = self->pending.indexOf('\n')) >= 0) {
            self->takeLine(self->pending.left(eol + 1));
            self->pending.remove(0, eol + 1);
        }
        return 0;
    }

    void close()
    {
        if (curl)
            curl_easy_cleanup(curl);
        curl = nullptr;
        connected = false;
        pending.clear();
    }

    bool fail(const QString &text)
    {
        failure = text;
        return false;
    }

    // A broken session: nothing more can be said on it.
    bool failAndClose(const QString &text)
    {
        close();
        return fail(text);
    }

    QString curlFailureText(CURLcode rc) const
    {
        const QString reason = curlError[0] ? QString::fromUtf8(curlError) : QString::fromUtf8(curl_easy_strerror(rc));
        switch (rc) {
        case CURLE_COULDNT_CONNECT: return u"conexão recusada por %1"_s.arg(where());
        case CURLE_COULDNT_RESOLVE_HOST: return u"servidor não encontrado: %1"_s.arg(host);
        case CURLE_OPERATION_TIMEDOUT:
            return u"tempo esgotado (%1 ms) esperando o servidor %2"_s.arg(timeout).arg(where());
        case CURLE_PEER_FAILED_VERIFICATION: return u"certificado do servidor não confiável: %1"_s.arg(reason);
        case CURLE_SSL_CONNECT_ERROR: return u"falha na negociação TLS com %1: %2"_s.arg(where(), reason);
        case CURLE_USE_SSL_FAILED: return u"o servidor %1 não oferece STARTTLS"_s.arg(where());
        case CURLE_SSL_CACERT_BADFILE:
            return u"não foi possível ler o arquivo de autoridades certificadoras \"%1\": %2"_s.arg(caFileUsed, reason);
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR: return u"conexão encerrada pelo servidor %1"_s.arg(where());
        default: return u"falha de comunicação com %1: %2"_s.arg(where(), reason);
        }
    }

    // Waits until the socket is ready for events or the time is up.
    bool waitSocket(short events, const QDeadlineTimer &deadline)
    {
        curl_socket_t sock = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(curl, CURLINFO_ACTIVESOCKET, &sock) != CURLE_OK || sock == CURL_SOCKET_BAD)
            return failAndClose(u"conexão encerrada pelo servidor %1"_s.arg(where()));
        pollfd pfd{sock, events, 0};
        for (;;) {
            const int rc = ::poll(&pfd, 1, int(deadline.remainingTime()));
            if (rc > 0)
                return true;
            if (rc == 0)
                return failAndClose(u"tempo esgotado (%1 ms) esperando o servidor %2"_s.arg(timeout).arg(where()));
            if (errno != EINTR)
                return failAndClose(u"conexão encerrada pelo servidor %1"_s.arg(where()));
        }
    }

    bool sendAll(const QByteArray &bytes)
    {
        const QDeadlineTimer deadline(timeout);
        qsizetype offset = 0;
        while (offset < bytes.size()) {
            size_t sent = 0;
            const CURLcode rc = curl_easy_send(curl, bytes.constData() + offset, size_t(bytes.size() - offset), &sent);
            if (rc == CURLE_AGAIN) {
                if (!waitSocket(POLLOUT, deadline))
                    return false;
                continue;
            }
            if (rc != CURLE_OK)
                return failAndClose(u"conexão encerrada pelo servidor %1"_s.arg(where()));
            offset += qsizetype(sent);
        }
        return true;
    }

    // Reads one whole reply (every line of a multi-line one).
    bool readReply()
    {
        const QDeadlineTimer deadline(timeout);
        replyComplete = true;
        replyLines.clear();
        code = 0;
        for (;;) {
            qsizetype eol;
            while ((eol = pending.indexOf('\n')) >= 0) {
                takeLine(pending.left(eol + 1));
                pending.remove(0, eol + 1);
                if (replyComplete && code != 0)
                    return true;
            }
            // Read before waiting: TLS may already hold decrypted bytes the socket no
            // longer shows.
            char buffer[16384];
            size_t received = 0;
            const CURLcode rc = curl_easy_recv(curl, buffer, sizeof buffer, &received);
            if (rc == CURLE_AGAIN) {
                if (!waitSocket(POLLIN, deadline))
                    return false;
                continue;
            }
            if (rc != CURLE_OK || received == 0)
                return failAndClose(u"conexão encerrada pelo servidor %1"_s.arg(where()));
            pending.append(buffer, qsizetype(received));
        }
    }

    // Sends a command line and reads its reply; true when the reply's class is expected
    // (2 for 2xx, 3 for 3xx).
    bool command(const QByteArray &line, int expectedClass)
    {
        startStep();
        if (!connected)
            return fail(u"sem conexão com o servidor SMTP"_s);
        if (!sendAll(line + "\r\n") || !readReply())
            return false;
        return code / 100 == expectedClass;
    }
};

TSMTPSend::TSMTPSend() : d(std::make_unique<Private>())
{
    initCurlOnce();
}

TSMTPSend::~TSMTPSend()
{
    d->close();
}

int TSMTPSend::Timeout() const
{
    return d->timeout;
}
void TSMTPSend::setTimeout(int ms)
{
    d->timeout = ms > 0 ? ms : 60000;
}
QString TSMTPSend::TargetHost() const
{
    return d->host;
}
void TSMTPSend::setTargetHost(const QString &host)
{
    d->host = host;
}
QString TSMTPSend::TargetPort() const
{
    return d->port;
}
void TSMTPSend::setTargetPort(const QString &port)
{
    d->port = port;
}
QString TSMTPSend::UserName() const
{
    return d->user;
}
void TSMTPSend::setUserName(const QString &user)
{
    d->user = user;
}
QString TSMTPSend::Password() const
{
    return d->password;
}
void TSMTPSend::setPassword(const QString &password)
{
    d->password = password;
}
bool TSMTPSend::FullSSL() const
{
    return d->fullSsl;
}
void TSMTPSend::setFullSSL(bool on)
{
    d->fullSsl = on;
}
bool TSMTPSend::AutoTLS() const
{
    return d->autoTls;
}
void TSMTPSend::setAutoTLS(bool on)
{
    d->autoTls = on;
}
QString TSMTPSend::CAFile() const
{
    return d->caFile;
}
void TSMTPSend::setCAFile(const QString &file)
{
    d->caFile = file;
}

bool TSMTPSend::Login()
{
    d->close();
    d->startStep();
    d->authAccepted = false;
    d->curlError[0] = 0;

    const QString host = d->host.trimmed();
    if (host.isEmpty())
        return d->fail(u"servidor SMTP não informado"_s);
    bool numeric = false;
    const int port = d->port.trimmed().toInt(&numeric);
    if (!numeric || port < 1 || port > 65535)
        return d->fail(u"porta do servidor SMTP inválida: \"%1\"; a conexão não foi feita"_s.arg(d->port));

    d->curl = curl_easy_init();
    if (!d->curl)
        return d->fail(u"não foi possível iniciar a conexão SMTP"_s);
    CURL *curl = d->curl;

    const QString urlHost = host.contains(u':') ? u"[%1]"_s.arg(host) : host;
    const QByteArray url =
        ((d->fullSsl ? u"smtps://"_s : u"smtp://"_s) + urlHost + u':' + QString::number(port)).toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, d->curlError);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(d->timeout));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(d->timeout));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(std::max(1, (d->timeout + 999) / 1000)));
    if (!d->fullSsl && d->autoTls)
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));

    // The server is always verified; the extra authorities join the system's.
    d->caFileUsed = d->caFile.isEmpty() ? smtpTrustedCAFile() : d->caFile;
    const QByteArray caFile = d->caFileUsed.toLocal8Bit();
    if (!caFile.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.constData());
        curl_easy_setopt(curl, CURLOPT_CAPATH, systemCAPath);
    }

    const QByteArray user = d->user.toUtf8();
    const QByteArray password = d->password.toUtf8();
    if (!d->user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    }

    // The replies are watched through the debug stream; curl itself prints nothing.
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &Private::onDebug);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, d.get());
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);

    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 0L);
    d->pending.clear();
    const QString noAuth = u"o servidor %1 não oferece autenticação (AUTH); o usuário \"%2\" não foi autenticado"_s.arg(
        d->where(), d->user);
    if (rc != CURLE_OK) {
        // A refusal the server stated speaks for itself; otherwise say what happened.
        const bool serverRefused = d->replyComplete && d->code >= 400;
        QString text = d->curlFailureText(rc);
        // Without a refusal, "login denied" means that no mechanism was offered at all.
        if (rc == CURLE_LOGIN_DENIED && !serverRefused)
            text = noAuth;
        d->close();
        return serverRefused ? false : d->fail(text);
    }
    d->connected = true;
    // Some curl versions go on without logging in when the server offers no AUTH; sending
    // unauthenticated is not what the user configured.
    if (!d->user.isEmpty() && !d->authAccepted)
        return d->failAndClose(noAuth);
    return true;
}

bool TSMTPSend::MailFrom(const QString &address, int size)
{
    // The size callers pass is the sender's length, not the message's, so declaring it as
    // SIZE= would make a server refuse messages for the wrong reason.
    Q_UNUSED(size);
    const QString trimmed = address.trimmed();
    if (!isSafeAddress(trimmed)) {
        d->startStep();
        return d->fail(u"endereço do remetente inválido: \"%1\""_s.arg(address));
    }
    return d->command("MAIL FROM:<" + trimmed.toUtf8() + '>', 2);
}

bool TSMTPSend::MailTo(const QString &addresses)
{
    static const QRegularExpression separators(u"[,;|]"_s);
    QStringList list;
    for (const QString &part : addresses.split(separators)) {
        const QString address = part.trimmed();
        if (!address.isEmpty())
            list.append(address);
    }
    d->startStep();
    if (list.isEmpty())
        return d->fail(u"nenhum destinatário informado"_s);
    for (const QString &address : list) {
        if (!isSafeAddress(address))
            return d->fail(u"endereço do destinatário inválido: \"%1\""_s.arg(address));
    }
    for (const QString &address : list) {
        if (!d->command("RCPT TO:<" + address.toUtf8() + '>', 2))
            return false;
    }
    return true;
}

bool TSMTPSend::MailData(const QList<QByteArray> &lines)
{
    if (!d->command("DATA", 3))
        return false;
    // A CR or LF inside a line breaks it there: each piece becomes a line of its own, so
    // that no line can end the data early or smuggle a bare line ending.
    QByteArray data;
    qsizetype total = 3;
    for (const QByteArray &line : lines)
        total += line.size() + 3;
    data.reserve(total);
    const auto appendLine = [&data](const char *text, qsizetype size) {
        if (size > 0 && text[0] == '.')
            data.append('.');
        data.append(text, size);
        data.append("\r\n");
    };
    for (const QByteArray &line : lines) {
        qsizetype start = 0;
        for (qsizetype i = 0; i < line.size(); ++i) {
            if (line[i] != '\r' && line[i] != '\n')
                continue;
            appendLine(line.constData() + start, i - start);
            if (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
        if (start < line.size() || start == 0)
            appendLine(line.constData() + start, line.size() - start);
    }
    data.append(".\r\n");
    d->startStep();
    if (!d->sendAll(data) || !d->readReply())
        return false;
    return d->code / 100 == 2;
}

bool TSMTPSend::Logout()
{
    if (!d->connected) {
        d->startStep();
        return d->fail(u"sem conexão com o servidor SMTP"_s);
    }
    const bool ok = d->command("QUIT", 2);
    d->close();
    return ok;
}

bool TSMTPSend::Reset()
{
    return d->command("RSET", 2);
}

bool TSMTPSend::Connected() const
{
    return d->connected;
}

int TSMTPSend::ResultCode() const
{
    return d->code;
}

QString TSMTPSend::ResultString() const
{
    return d->replyLines.join(u'\n');
}

QString TSMTPSend::EnhCodeString() const
{
    if (!d->failure.isEmpty())
        return d->failure;
    if (d->replyLines.isEmpty())
        return u"nenhuma resposta do servidor"_s;
    const QString last = d->replyLines.constLast();
    return u"%1. Resposta do servidor: %2"_s.arg(describeSmtpReply(d->code, last), ResultString());
}

} // namespace kpr
