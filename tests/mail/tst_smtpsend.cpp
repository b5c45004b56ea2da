#include "framework/mail/mimemess.h"
#include "framework/mail/smtpsend.h"
#include "framework/settings/hostresources.h"
#include "framework/settings/registry.h"
#include "mailreader.h"
#include "tests/support/smtpserver.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using test::SmtpServer;

namespace {

const QString user = u"filial01"_s;
const QString password = u"Segr3do-SMTP"_s;

enum class Step { Login, MailFrom, MailTo, MailData };

void configure(TSMTPSend &smtp, SmtpServer::Mode mode, int port)
{
    smtp.setTargetHost(u"127.0.0.1"_s);
    smtp.setTargetPort(QString::number(port));
    smtp.setUserName(user);
    smtp.setPassword(password);
    smtp.setFullSSL(mode == SmtpServer::Mode::Tls);
    smtp.setAutoTLS(mode == SmtpServer::Mode::StartTls);
    smtp.setTimeout(20000);
}

// A socket that completes the TCP handshake and never says a word.
class SilentListener
{
public:
    SilentListener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&a), len);
        ::listen(m_fd, 4);
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~SilentListener() { ::close(m_fd); }
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

} // namespace

class TestSmtpSend : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void sendsMessage_data();
    void sendsMessage();
    void dataLinesAreStuffedAndSplit();
    void oneConnectionCarriesManyMessages();
    void failures_data();
    void failures();
    void portAndConnectionMisuse();
    void trustedCAFile();

private:
    QTemporaryDir m_registryDir;
};

void TestSmtpSend::initTestCase()
{
    // The registry of this test, not the machine's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, m_registryDir.path());
    QVERIFY2(!SmtpServer::caFile().isEmpty(), "openssl could not make the test certificates");
}

void TestSmtpSend::init()
{
    qputenv("SSL_CERT_FILE", SmtpServer::caFile().toLocal8Bit());
}

void TestSmtpSend::sendsMessage_data()
{
    QTest::addColumn<SmtpServer::Mode>("mode");
    QTest::newRow("plain, AUTH") << SmtpServer::Mode::Plain;
    QTest::newRow("STARTTLS, AUTH") << SmtpServer::Mode::StartTls;
    QTest::newRow("implicit TLS, AUTH") << SmtpServer::Mode::Tls;
}

// The whole path as the statement's mailing uses it: a GMime message with an accented
// subject, body and attachment name, to a list of three, read back as a reader sees it.
void TestSmtpSend::sendsMessage()
{
    QFETCH(SmtpServer::Mode, mode);
    SmtpServer server({.mode = mode, .user = user, .password = password});
    const Status started = server.start();
    QVERIFY2(started.ok(), qPrintable(started.error()));

    QTemporaryDir dir;
    const QString pdf = dir.filePath(u"Relatório Março – Filial.pdf"_s);
    QByteArray content = "%PDF-1.4\n";
    for (int i = 0; i < 20000; ++i)
        content.append(char((i * 31 + 7) % 256));
    QFile f(pdf);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
    f.close();

    TMimeMess mess;
    mess.Header.From = u"Cozinha Industrial São João <filial@kpr.com.br>"_s;
    mess.Header.Subject = u"Relatório de refeições – março, ação nº 7"_s;
    TMimePart *root = mess.AddPartMultipart(u"mixed"_s, nullptr);
    mess.AddPartText({u"Prezado cliente,"_s, u"."_s, u".linha que começa com ponto"_s, u"Atenção: valores em R$."_s},
                     root);
    mess.AddPartBinaryFromFile(pdf, root);
    mess.EncodeMessage();

    TSMTPSend smtp;
    configure(smtp, mode, server.port());
    QVERIFY2(smtp.Login(), qPrintable(smtp.EnhCodeString()));
    QVERIFY2(smtp.MailFrom(u"filial@kpr.com.br"_s, 17), qPrintable(smtp.EnhCodeString()));
    QVERIFY2(smtp.MailTo(u"a@x.com; b@y.com,c@z.com"_s), qPrintable(smtp.EnhCodeString()));
    QVERIFY2(smtp.MailData(mess.Lines()), qPrintable(smtp.EnhCodeString()));
    QCOMPARE(smtp.ResultCode(), 250);
    QVERIFY(smtp.Logout());
    QCOMPARE(smtp.ResultCode(), 221);
    QVERIFY(!smtp.Logout());

    const QList<test::SmtpMessage> messages = server.messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].mailFrom, u"filial@kpr.com.br"_s);
    QCOMPARE(messages[0].rcptTos, (QStringList{u"a@x.com"_s, u"b@y.com"_s, u"c@z.com"_s}));
    const test::ReadMessage read = test::readMessage(messages[0].data);
    QVERIFY2(read.ok, qPrintable(read.error));
    QCOMPARE(read.from, mess.Header.From);
    QCOMPARE(read.subject, mess.Header.Subject);
    QCOMPARE(read.texts.size(), 1);
    QCOMPARE(read.texts[0].trimmed(), u"Prezado cliente,\n.\n.linha que começa com ponto\nAtenção: valores em R$."_s);
    QCOMPARE(read.attachments.size(), 1);
    QCOMPARE(read.attachments[0].fileName, u"Relatório Março – Filial.pdf"_s);
    QCOMPARE(read.attachments[0].data, content);
}

// Lines are sent as given, dot-stuffed; a CR or LF inside a line breaks it rather than
// ending the data or reaching the server bare.
void TestSmtpSend::dataLinesAreStuffedAndSplit()
{
    SmtpServer server({.user = user, .password = password});
    const Status started = server.start();
    QVERIFY2(started.ok(), qPrintable(started.error()));
    TSMTPSend smtp;
    configure(smtp, SmtpServer::Mode::Plain, server.port());
    QVERIFY2(smtp.Login(), qPrintable(smtp.EnhCodeString()));
    QVERIFY(smtp.MailFrom(u"filial@kpr.com.br"_s, 0));
    QVERIFY(smtp.MailTo(u"a@x.com"_s));
    QVERIFY2(smtp.MailData({"Subject: linhas", "", ".", "..dois", "um\r\n.\r\nfim", "cr\rlf\nfim.", ""}),
             qPrintable(smtp.EnhCodeString()));
    QVERIFY(smtp.Logout());
    const QList<test::SmtpMessage> messages = server.messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].data,
             QByteArray("Subject: linhas\r\n\r\n.\r\n..dois\r\num\r\n.\r\nfim\r\ncr\r\nlf\r\nfim.\r\n\r\n"));
}

// One login, three transactions: the refused one is ended with RSET and the next message
// goes out on the same connection.
void TestSmtpSend::oneConnectionCarriesManyMessages()
{
    SmtpServer server(
        {.mode = SmtpServer::Mode::StartTls, .user = user, .password = password, .refuseRcptTo = u"b@y.com"_s});
    const Status started = server.start();
    QVERIFY2(started.ok(), qPrintable(started.error()));
    TSMTPSend smtp;
    configure(smtp, SmtpServer::Mode::StartTls, server.port());
    QVERIFY2(smtp.Login(), qPrintable(smtp.EnhCodeString()));
    for (const QString &to : {u"a@x.com"_s, u"b@y.com"_s, u"c@x.com"_s}) {
        QVERIFY(smtp.MailFrom(u"filial@kpr.com.br"_s, 0));
        if (!smtp.MailTo(to)) {
            QCOMPARE(to, u"b@y.com"_s);
            QVERIFY(smtp.Reset());
            continue;
        }
        QVERIFY2(smtp.MailData({"Subject: " + to.toUtf8(), "", "corpo"}), qPrintable(smtp.EnhCodeString()));
    }
    QVERIFY(smtp.Connected());
    QVERIFY(smtp.Logout());
    QVERIFY(!smtp.Connected() && !smtp.Reset());
    const QList<test::SmtpMessage> messages = server.messages();
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages[0].rcptTos, QStringList{u"a@x.com"_s});
    QCOMPARE(messages[1].rcptTos, QStringList{u"c@x.com"_s});
}

void TestSmtpSend::failures_data()
{
    QTest::addColumn<SmtpServer::Options>("serverOptions");
    QTest::addColumn<SmtpServer::Mode>("clientMode");
    QTest::addColumn<QString>("clientPassword");
    QTest::addColumn<bool>("trusted");
    // "closed": nothing listens; "silent": never answers; "missing CA file": SSL_CERT_FILE
    // names a file that does not exist.
    QTest::addColumn<QString>("special");
    QTest::addColumn<Step>("failingStep");
    QTest::addColumn<QStringList>("explanation"); // what EnhCodeString must hold; PORT: the port

    using M = SmtpServer::Mode;
    const SmtpServer::Options plain{.user = user, .password = password};
    auto with = [&](auto change) {
        SmtpServer::Options o = plain;
        change(o);
        return o;
    };
    QTest::newRow("wrong password") << plain << M::Plain << u"errada"_s << true << QString() << Step::Login
                                    << QStringList{u"5.7.8: autenticação recusada (credenciais inválidas)"_s,
                                                   u"535 5.7.8 Authentication credentials invalid"_s};
    QTest::newRow("MAIL FROM refused") << with([](auto &o) { o.refuseMailFrom = u"filial@kpr.com.br"_s; }) << M::Plain
                                       << password << true << QString() << Step::MailFrom
                                       << QStringList{u"5.1.8: domínio do remetente inválido"_s,
                                                      u"553 5.1.8 Sender address rejected"_s};
    QTest::newRow("second RCPT refused") << with([](auto &o) { o.refuseRcptTo = u"b@y.com"_s; }) << M::Plain << password
                                         << true << QString() << Step::MailTo
                                         << QStringList{u"5.1.1: caixa postal de destino inexistente"_s,
                                                        u"550 5.1.1 Recipient address rejected"_s};
    QTest::newRow("DATA refused") << with([](auto &o) { o.refuseSubject = u"Recusar"_s; }) << M::Plain << password
                                  << true << QString() << Step::MailData
                                  << QStringList{u"5.7.1: entrega não autorizada, mensagem recusada"_s,
                                                 u"554 5.7.1 Message rejected"_s};
    QTest::newRow("connection dropped in DATA")
        << with([](auto &o) { o.dropInData = true; }) << M::Plain << password << true << QString() << Step::MailData
        << QStringList{u"conexão encerrada pelo servidor 127.0.0.1:PORT"_s};
    QTest::newRow("untrusted certificate")
        << with([](auto &o) { o.mode = SmtpServer::Mode::StartTls; }) << M::StartTls << password << false << QString()
        << Step::Login << QStringList{u"certificado do servidor não confiável: "_s, u"certificate"_s};
    QTest::newRow("authorities file missing")
        << with([](auto &o) { o.mode = SmtpServer::Mode::Tls; }) << M::Tls << password << true << u"missing CA file"_s
        << Step::Login
        << QStringList{u"não foi possível ler o arquivo de autoridades certificadoras \"/nao/existe/ca.pem\""_s};
    QTest::newRow("nothing listening") << plain << M::Plain << password << true << u"closed"_s << Step::Login
                                       << QStringList{u"conexão recusada por 127.0.0.1:PORT"_s};
    QTest::newRow("server never answers")
        << plain << M::Plain << password << true << u"silent"_s << Step::Login
        << QStringList{u"tempo esgotado (1500 ms) esperando o servidor 127.0.0.1:PORT"_s};
    QTest::newRow("implicit TLS to a STARTTLS port")
        << with([](auto &o) { o.mode = SmtpServer::Mode::StartTls; }) << M::Tls << password << true << QString()
        << Step::Login << QStringList{u"falha na negociação TLS com 127.0.0.1:PORT: "_s};
    QTest::newRow("server offers no AUTH")
        << with([](auto &o) { o.user.clear(); }) << M::Plain << password << true << QString() << Step::Login
        << QStringList{
               u"o servidor 127.0.0.1:PORT não oferece autenticação (AUTH); o usuário \"filial01\" não foi autenticado"_s};
}

// Each failure stops at its step with the code's meaning and the server's own words (or,
// without a reply, what happened), and never shows the password.
void TestSmtpSend::failures()
{
    QFETCH(SmtpServer::Options, serverOptions);
    QFETCH(SmtpServer::Mode, clientMode);
    QFETCH(QString, clientPassword);
    QFETCH(bool, trusted);
    QFETCH(QString, special);
    QFETCH(Step, failingStep);
    QFETCH(QStringList, explanation);

    if (!trusted)
        qunsetenv("SSL_CERT_FILE");
    if (special == u"missing CA file"_s)
        qputenv("SSL_CERT_FILE", "/nao/existe/ca.pem");
    SmtpServer server(serverOptions);
    std::unique_ptr<SilentListener> silent;
    int port = 0;
    if (special == u"silent"_s) {
        silent = std::make_unique<SilentListener>();
        port = silent->port();
    } else {
        const Status started = server.start();
        QVERIFY2(started.ok(), qPrintable(started.error()));
        port = server.port();
        if (special == u"closed"_s)
            server.stop();
    }

    TSMTPSend smtp;
    configure(smtp, clientMode, port);
    smtp.setPassword(clientPassword);
    if (special == u"silent"_s)
        smtp.setTimeout(1500);

    const auto run = [&](Step step) {
        switch (step) {
        case Step::Login: return smtp.Login();
        case Step::MailFrom: return smtp.MailFrom(u"filial@kpr.com.br"_s, 17);
        case Step::MailTo: return smtp.MailTo(u"a@x.com; b@y.com; c@z.com"_s);
        case Step::MailData: return smtp.MailData({"Subject: Recusar", "", "texto"});
        }
        return false;
    };
    for (Step step : {Step::Login, Step::MailFrom, Step::MailTo, Step::MailData}) {
        const bool ok = run(step);
        if (step != failingStep) {
            QVERIFY2(ok, qPrintable(smtp.EnhCodeString()));
            continue;
        }
        QVERIFY2(!ok, "the step that must fail succeeded");
        break;
    }
    const QString text = smtp.EnhCodeString();
    for (QString expected : explanation) {
        expected.replace(u"PORT"_s, QString::number(port));
        QVERIFY2(text.contains(expected), qPrintable(u"\"%1\" lacks \"%2\""_s.arg(text, expected)));
    }
    QVERIFY(!text.contains(password) && !smtp.ResultString().contains(password));
    smtp.Logout(); // whatever state the failure left, no crash
}

void TestSmtpSend::portAndConnectionMisuse()
{
    TSMTPSend smtp;
    QVERIFY(!smtp.Logout());
    QVERIFY(!smtp.MailFrom(u"a@x.com"_s, 0));
    QCOMPARE(smtp.EnhCodeString(), u"sem conexão com o servidor SMTP"_s);
    QCOMPARE(smtp.ResultCode(), 0);

    smtp.setTargetHost(u"127.0.0.1"_s);
    for (const QString &port : {QString(), u"smtp"_s, u"0"_s, u"70000"_s}) {
        smtp.setTargetPort(port);
        QVERIFY(!smtp.Login());
        QVERIFY2(smtp.EnhCodeString().startsWith(u"porta do servidor SMTP inválida: \"%1\""_s.arg(port)),
                 qPrintable(smtp.EnhCodeString()));
    }

    smtp.setTargetHost(u"nao-existe.invalid"_s);
    smtp.setTargetPort(u"25"_s);
    smtp.setTimeout(5000);
    QVERIFY(!smtp.Login());
    QCOMPARE(smtp.EnhCodeString(), u"servidor não encontrado: nao-existe.invalid"_s);
}

void TestSmtpSend::trustedCAFile()
{
    const QString key = QString::fromUtf16(sSiteWebCliKey) + u"/SMTPCAFile"_s;
    Registry registry;
    qunsetenv("SSL_CERT_FILE");
    QVERIFY(registry.remove(key).ok());
    QCOMPARE(smtpTrustedCAFile(), QString());
    QVERIFY(registry.writeString(key, u"/etc/kpr/smtp-ca.pem"_s).ok());
    QCOMPARE(smtpTrustedCAFile(), u"/etc/kpr/smtp-ca.pem"_s);
    qputenv("SSL_CERT_FILE", "/tmp/outra-ca.pem");
    QCOMPARE(smtpTrustedCAFile(), u"/tmp/outra-ca.pem"_s);
    QVERIFY(registry.remove(key).ok());
}

QTEST_GUILESS_MAIN(TestSmtpSend)
#include "tst_smtpsend.moc"
