#pragma once
// A real SMTP server for a test: tests/support/smtpd.py (Debian's aiosmtpd) as a child
// process on a free loopback port, plain, STARTTLS or TLS, with or without AUTH, with the
// refusals a test asks for; the messages it accepted are read back from its folder.

#include "framework/core/result.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace kpr::test {

struct SmtpMessage
{
    QString mailFrom;    // the envelope's sender
    QStringList rcptTos; // the envelope's recipients, in order
    QByteArray data;     // the message as received (dot-stuffing removed)
};

class SmtpServer
{
public:
    enum class Mode { Plain, StartTls, Tls };

    struct Options
    {
        Mode mode = Mode::Plain;
        QString user; // empty: the server offers no AUTH
        QString password;
        QString refuseMailFrom;  // MAIL FROM this address gets 553 5.1.8
        QString refuseRcptTo;    // RCPT TO this address gets 550 5.1.1
        QString refuseSubject;   // a message with this subject gets 554 5.7.1
        bool dropInData = false; // hangs up after the first line of DATA
        bool store = true;       // false: messages are accepted and thrown away
    };

    explicit SmtpServer(Options options);
    ~SmtpServer();
    SmtpServer(const SmtpServer &) = delete;
    SmtpServer &operator=(const SmtpServer &) = delete;

    // Starts the server and waits for its "listening" line.
    Status start(int timeoutMs = 30000);
    void stop();

    int port() const { return m_port; }
    QString portText() const { return QString::number(m_port); }
    // The throw-away authority that signed the server's certificate (one per test program),
    // for SSL_CERT_FILE. Empty when the certificates could not be made.
    static QString caFile();
    // The messages accepted so far, oldest first.
    QList<SmtpMessage> messages() const;
    // What the server wrote to its standard error.
    QString stderrText() const;

private:
    Options m_options;
    QTemporaryDir m_store;
    QProcess m_process;
    int m_port = 0;
};

} // namespace kpr::test
