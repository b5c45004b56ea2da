// Sending statements by e-mail: N messages (default 1,000), each on its own connection with
// STARTTLS and AUTH and a ~60 KB PDF attachment, to a local aiosmtpd, first with TSMTPSend
// and TMimeMess, then with Python's smtplib to the same server. Prints both rates, their
// ratio, and this process's resident memory after 100 messages and after the last. smtplib
// runs twice: as it comes, and with TCP_NODELAY as libcurl sets it (the like-for-like rate).
#include "framework/mail/mimemess.h"
#include "framework/mail/smtpsend.h"
#include "tests/support/smtpserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

namespace {

const QString user = u"filial01"_s;
const QString password = u"Segr3do-SMTP"_s;

// Thrown to end the run; main catches it so that the server's process is stopped.
struct Failure
{
    QString text;
};

[[noreturn]] void die(const QString &text)
{
    throw Failure{text};
}

// VmRSS and VmHWM of this process, in KiB.
QString memory()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return u"?"_s;
    QString rss, hwm;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            rss = QString::fromLatin1(line.mid(6).trimmed());
        else if (line.startsWith("VmHWM:"))
            hwm = QString::fromLatin1(line.mid(6).trimmed());
    }
    return u"RSS %1, peak %2"_s.arg(rss, hwm);
}

void sendOne(int i, int port, const QString &attachment)
{
    TMimeMess mess;
    mess.Header.From = u"Cozinha Industrial São João <filial@kpr.com.br>"_s;
    mess.Header.Subject = u"Relatório de refeições – março, cliente %1"_s.arg(i);
    TMimePart *root = mess.AddPartMultipart(u"mixed"_s, nullptr);
    mess.AddPartText({u"Prezado cliente,"_s, u"segue o relatório de refeições do período."_s}, root);
    mess.AddPartBinaryFromFile(attachment, root);
    mess.EncodeMessage();

    TSMTPSend smtp;
    smtp.setTargetHost(u"127.0.0.1"_s);
    smtp.setTargetPort(QString::number(port));
    smtp.setUserName(user);
    smtp.setPassword(password);
    smtp.setAutoTLS(true);
    const QString from = u"filial@kpr.com.br"_s;
    if (!smtp.Login() || !smtp.MailFrom(from, int(from.size())) || !smtp.MailTo(u"cliente%1@x.com.br"_s.arg(i))
        || !smtp.MailData(mess.Lines()) || !smtp.Logout())
        die(u"message %1: %2"_s.arg(i).arg(smtp.EnhCodeString()));
}

} // namespace

static int run(int count);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({u"count"_s, u"Messages to send with each client (default 1000)."_s, u"n"_s, u"1000"_s});
    parser.process(app);
    try {
        return run(std::max(1, parser.value(u"count"_s).toInt()));
    } catch (const Failure &f) {
        std::fprintf(stderr, "bench_mail: %s\n", qPrintable(f.text));
        return 1;
    }
}

static int run(int count)
{
    QTemporaryDir dir;
    const QString attachment = dir.filePath(u"Relatório março.pdf"_s);
    {
        // PDF-like: a header, then bytes that do not compress, ~60 KB.
        QByteArray bytes = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
        quint32 x = 2463534242u;
        while (bytes.size() < 60 * 1024) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            bytes.append(char(x & 0xff));
        }
        QFile f(attachment);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            die(u"cannot write %1"_s.arg(attachment));
    }

    test::SmtpServer server(
        {.mode = test::SmtpServer::Mode::StartTls, .user = user, .password = password, .store = false});
    const Status started = server.start();
    if (!started)
        die(started.error());
    qputenv("SSL_CERT_FILE", test::SmtpServer::caFile().toLocal8Bit());

    QString memoryAt100;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        sendOne(i, server.port(), attachment);
        if (i + 1 == 100)
            memoryAt100 = memory();
    }
    const double ours = double(timer.nsecsElapsed()) / 1e9;
    const QString memoryAtEnd = memory();

    const auto smtplib = [&](bool nodelay) {
        QStringList args{QStringLiteral(KPR_BENCH_MAIL_DIR "/smtplib_send.py"),
                         u"--port"_s,
                         server.portText(),
                         u"--ca"_s,
                         test::SmtpServer::caFile(),
                         u"--user"_s,
                         user,
                         u"--password"_s,
                         password,
                         u"--attachment"_s,
                         attachment,
                         u"--count"_s,
                         QString::number(count)};
        if (nodelay)
            args << u"--nodelay"_s;
        QProcess python;
        python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        python.start(u"/usr/bin/python3"_s, args);
        if (!python.waitForFinished(-1) || python.exitCode() != 0)
            die(u"smtplib_send.py failed"_s);
        const QString out = QString::fromUtf8(python.readAllStandardOutput());
        const QRegularExpressionMatch m = QRegularExpression(u"in ([0-9.]+) s"_s).match(out);
        if (!m.hasMatch())
            die(u"smtplib_send.py said: %1"_s.arg(out));
        return m.captured(1).toDouble();
    };
    const double theirs = smtplib(true);
    const double theirsDefault = smtplib(false);

    const double oursRate = count / ours;
    const double theirsRate = count / theirs;
    std::printf("messages: %d, each on its own connection, STARTTLS + AUTH, attachment %lld bytes\n", count,
                static_cast<long long>(QFileInfo(attachment).size()));
    std::printf("TSMTPSend+TMimeMess:         %.3f s, %.1f messages/s\n", ours, oursRate);
    std::printf("Python smtplib, TCP_NODELAY: %.3f s, %.1f messages/s\n", theirs, theirsRate);
    std::printf("Python smtplib as it comes:  %.3f s, %.1f messages/s\n", theirsDefault, count / theirsDefault);
    std::printf("ratio ours/smtplib (TCP_NODELAY): %.2f; against smtplib as it comes: %.2f\n", oursRate / theirsRate,
                oursRate / (count / theirsDefault));
    if (count >= 100)
        std::printf("memory after 100 messages: %s\n", qPrintable(memoryAt100));
    std::printf("memory after %d messages: %s\n", count, qPrintable(memoryAtEnd));
    return 0;
}
