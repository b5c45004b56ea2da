#pragma once
// An SMTP client driven step by step (Login, MailFrom, MailTo, MailData, Logout), each step
// answering whether it succeeded, with the last reply and a readable explanation at hand.
// Built on libcurl: the connection, TLS and AUTH are curl's; the commands after it are ours.

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace kpr {

// The file of extra authorities trusted for mail servers, besides the system's: the file
// named by the environment variable SSL_CERT_FILE or, when that is not set, by the registry
// value "SMTPCAFile" under sSiteWebCliKey. Empty: the system's authorities only.
QString smtpTrustedCAFile();

class TSMTPSend
{
public:
    TSMTPSend();
    ~TSMTPSend();
    TSMTPSend(const TSMTPSend &) = delete;
    TSMTPSend &operator=(const TSMTPSend &) = delete;

    // Milliseconds allowed for Login and for each reply after it (default, and for 0 or
    // less, 60000).
    int Timeout() const;
    void setTimeout(int ms);
    QString TargetHost() const;
    void setTargetHost(const QString &host);
    // The port as text ("25", "587", "465"); anything but a number 1..65535 fails Login.
    QString TargetPort() const;
    void setTargetPort(const QString &port);
    // With a user name the server must authenticate it: a server that offers no AUTH
    // fails Login rather than sending unauthenticated.
    QString UserName() const;
    void setUserName(const QString &user);
    QString Password() const;
    void setPassword(const QString &password);
    // TLS from the first byte (smtps, usually port 465).
    bool FullSSL() const;
    void setFullSSL(bool on);
    // STARTTLS required before anything else is said (usually port 587).
    bool AutoTLS() const;
    void setAutoTLS(bool on);
    // Extra authorities (a PEM file) trusted besides the system's; empty: smtpTrustedCAFile().
    QString CAFile() const;
    void setCAFile(const QString &file);

    // Connects, greets, secures and authenticates.
    bool Login();
    // MAIL FROM:<address>. size is accepted for the callers' sake but never declared to
    // the server as SIZE: callers pass the sender's text length, not the message's size.
    bool MailFrom(const QString &address, int size);
    // One RCPT TO per address of a list separated by ",", ";" or "|"; false on the first
    // address the server refuses.
    bool MailTo(const QString &addresses);
    // DATA, then the lines dot-stuffed and ended with CRLF, then "."; true on the 250.
    bool MailData(const QList<QByteArray> &lines);
    // QUIT and close. False without a connection.
    bool Logout();
    // RSET: ends a transaction the server refused part of, so that the same connection can
    // carry the next message. False without a connection.
    bool Reset();
    // Whether a logged-in connection is open (a failed read or write closes it).
    bool Connected() const;

    // The last reply's code, 0 when the step got none.
    int ResultCode() const;
    // The last reply as the server wrote it (code included; lines of a multi-line reply
    // joined by "\n").
    QString ResultString() const;
    // What went wrong, in Portuguese: the meaning of the last reply's enhanced status code
    // followed by the server's own text, or, when no reply came, why not.
    QString EnhCodeString() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kpr
