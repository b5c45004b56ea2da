#include "tests/support/smtpserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace kpr::test {

namespace {

// Debian's Python, which sees Debian's aiosmtpd.
const QString python = u"/usr/bin/python3"_s;

QString script()
{
    return QStringLiteral(KPR_SOURCE_DIR_TEXT "/tests/support/smtpd.py");
}

// A throw-away authority and a certificate it signed for 127.0.0.1 and localhost, made once
// per test program and removed at its end.
struct Certificates
{
    QTemporaryDir dir;
    bool ok = false;

    QString path(const QString &name) const { return dir.filePath(name); }

    Certificates()
    {
        if (!dir.isValid())
            return;
        QFile ext(path(u"ext.cnf"_s));
        if (!ext.open(QIODevice::WriteOnly))
            return;
        ext.write("[req]\ndistinguished_name = dn\n[dn]\n"
                  "[ca]\nbasicConstraints = critical, CA:TRUE\nkeyUsage = critical, keyCertSign, cRLSign\n"
                  "subjectKeyIdentifier = hash\n"
                  "[srv]\nbasicConstraints = critical, CA:FALSE\n"
                  "keyUsage = critical, digitalSignature, keyEncipherment\nextendedKeyUsage = serverAuth\n"
                  "subjectAltName = IP:127.0.0.1, DNS:localhost\n");
        ext.close();
        const QString cnf = path(u"ext.cnf"_s);
        const QStringList ec{u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s};
        ok = run(QStringList{u"req"_s, u"-x509"_s, u"-new"_s} + ec
                 + QStringList{u"-keyout"_s, path(u"ca.key"_s), u"-out"_s, path(u"ca.pem"_s), u"-days"_s, u"2"_s,
                               u"-subj"_s, u"/CN=Kpr Test CA"_s, u"-config"_s, cnf, u"-extensions"_s, u"ca"_s})
             && run(QStringList{u"req"_s, u"-new"_s} + ec
                    + QStringList{u"-keyout"_s, path(u"server.key"_s), u"-out"_s, path(u"server.csr"_s), u"-subj"_s,
                                  u"/CN=localhost"_s, u"-config"_s, cnf})
             && run({u"x509"_s, u"-req"_s, u"-in"_s, path(u"server.csr"_s), u"-CA"_s, path(u"ca.pem"_s), u"-CAkey"_s,
                     path(u"ca.key"_s), u"-CAcreateserial"_s, u"-out"_s, path(u"server.pem"_s), u"-days"_s, u"2"_s,
                     u"-extfile"_s, cnf, u"-extensions"_s, u"srv"_s});
    }

    static bool run(const QStringList &args)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(u"openssl"_s, args);
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            qWarning("openssl %s: %s", qPrintable(args.join(u' ')), p.readAll().constData());
            return false;
        }
        return true;
    }
};

const Certificates &certificates()
{
    static const std::unique_ptr<Certificates> made = std::make_unique<Certificates>();
    return *made;
}

} // namespace

SmtpServer::SmtpServer(Options options) : m_options(std::move(options)) {}

SmtpServer::~SmtpServer()
{
    stop();
}

QString SmtpServer::caFile()
{
    const Certificates &c = certificates();
    return c.ok ? c.path(u"ca.pem"_s) : QString();
}

Status SmtpServer::start(int timeoutMs)
{
    if (!m_store.isValid())
        return makeError(u"no temporary folder for the messages"_s);
    QStringList args{script(), u"--mode"_s};
    switch (m_options.mode) {
    case Mode::Plain: args << u"plain"_s; break;
    case Mode::StartTls: args << u"starttls"_s; break;
    case Mode::Tls: args << u"tls"_s; break;
    }
    if (m_options.mode != Mode::Plain) {
        const Certificates &c = certificates();
        if (!c.ok)
            return makeError(u"the test certificates could not be made with openssl"_s);
        args << u"--cert"_s << c.path(u"server.pem"_s) << u"--key"_s << c.path(u"server.key"_s);
    }
    if (!m_options.user.isEmpty())
        args << u"--user"_s << m_options.user << u"--password"_s << m_options.password;
    if (m_options.store)
        args << u"--store"_s << m_store.path();
    if (!m_options.refuseMailFrom.isEmpty())
        args << u"--refuse-mail"_s << m_options.refuseMailFrom;
    if (!m_options.refuseRcptTo.isEmpty())
        args << u"--refuse-rcpt"_s << m_options.refuseRcptTo;
    if (!m_options.refuseSubject.isEmpty())
        args << u"--refuse-subject"_s << m_options.refuseSubject;
    if (m_options.dropInData)
        args << u"--drop-in-data"_s;

    // A file, not a pipe: nobody reads the server's log while the client under test waits.
    m_process.setStandardErrorFile(m_store.filePath(u"smtpd.log"_s));
    m_process.setProgram(python);
    m_process.setArguments(args);
    m_process.start();
    if (!m_process.waitForStarted(timeoutMs))
        return makeError(u"%1 did not start: %2"_s.arg(python, m_process.errorString()));

    static const QRegularExpression listening(uR"(^listening 127\.0\.0\.1 (\d+)\s*$)"_s);
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        while (m_process.canReadLine()) {
            const QRegularExpressionMatch m = listening.match(QString::fromUtf8(m_process.readLine()));
            if (m.hasMatch()) {
                m_port = m.captured(1).toInt();
                return {};
            }
        }
        if (m_process.state() == QProcess::NotRunning)
            break;
        m_process.waitForReadyRead(int(std::clamp<qint64>(deadline.remainingTime(), 1, 1000)));
    }
    const QString why = m_process.state() == QProcess::NotRunning ? u"exited"_s : u"did not say it listens"_s;
    stop();
    return makeError(u"smtpd.py %1: %2"_s.arg(why, stderrText()));
}

void SmtpServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

QString SmtpServer::stderrText() const
{
    QFile log(m_store.filePath(u"smtpd.log"_s));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

QList<SmtpMessage> SmtpServer::messages() const
{
    QList<SmtpMessage> out;
    const QDir dir(m_store.path());
    for (const QString &name : dir.entryList({u"*.json"_s}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
        SmtpMessage m;
        m.mailFrom = o.value(u"mail_from"_s).toString();
        for (const QJsonValue &v : o.value(u"rcpt_tos"_s).toArray())
            m.rcptTos.append(v.toString());
        m.data = QByteArray::fromBase64(o.value(u"data"_s).toString().toLatin1());
        out.append(m);
    }
    return out;
}

} // namespace kpr::test
