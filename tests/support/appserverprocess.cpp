#include "tests/support/appserverprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace kpr::test {

AppServerProcess::AppServerProcess(QString program) : m_program(std::move(program)) {}

AppServerProcess::~AppServerProcess()
{
    if (running()) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

QString AppServerProcess::traceFile() const
{
    return m_dir.filePath(u"trace.jsonl"_s);
}

QString AppServerProcess::secretFile() const
{
    return m_useSecret ? m_dir.filePath(u"appserver.secret"_s) : QString();
}

QByteArray AppServerProcess::secret() const
{
    QFile file(secretFile());
    if (!m_useSecret || !file.open(QIODevice::ReadOnly))
        return {};
    return file.readLine().trimmed();
}

bool AppServerProcess::running() const
{
    return m_process.state() != QProcess::NotRunning;
}

Status AppServerProcess::start(const QString &dbUrl, const QStringList &extraArgs, int timeoutMs)
{
    if (!m_dir.isValid())
        return makeError(u"no temporary directory for the trace"_s);
    QStringList args{u"--db"_s, dbUrl, u"--init-db"_s, u"--listen"_s, u"127.0.0.1:0"_s, u"--trace"_s, traceFile()};
    if (m_useSecret)
        args << u"--secret-file"_s << secretFile();
    args += extraArgs;
    m_process.setProgram(m_program);
    m_process.setArguments(args);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    if (!m_process.waitForStarted(timeoutMs))
        return makeError(u"%1 did not start: %2"_s.arg(m_program, m_process.errorString()));

    static const QRegularExpression listening(uR"(^kpr-appserver: listening on (\S+):(\d+)\s*$)"_s);
    QDeadlineTimer deadline(timeoutMs);
    QByteArray out;
    while (!deadline.hasExpired()) {
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine());
            out += line.toUtf8();
            const QRegularExpressionMatch m = listening.match(line);
            if (m.hasMatch()) {
                m_host = m.captured(1);
                m_port = m.captured(2).toInt();
                return {};
            }
        }
        if (m_process.state() == QProcess::NotRunning)
            break;
        m_process.waitForReadyRead(int(std::clamp<qint64>(deadline.remainingTime(), 1, 1000)));
    }
    m_stderr = QString::fromUtf8(m_process.readAllStandardError());
    const QString why = m_process.state() == QProcess::NotRunning
                            ? u"exited with %1"_s.arg(m_process.exitCode())
                            : u"printed no listening line in %1 ms"_s.arg(timeoutMs);
    if (running()) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    return makeError(u"kpr-appserver %1; stdout: %2 stderr: %3"_s.arg(why, QString::fromUtf8(out), m_stderr));
}

Status AppServerProcess::stop(int timeoutMs)
{
    if (!running())
        return makeError(u"kpr-appserver is not running"_s);
    m_process.terminate(); // SIGTERM
    if (!m_process.waitForFinished(timeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(10000);
        return makeError(u"kpr-appserver did not stop within %1 ms of SIGTERM"_s.arg(timeoutMs));
    }
    m_stderr += QString::fromUtf8(m_process.readAllStandardError());
    if (m_process.exitStatus() != QProcess::NormalExit || m_process.exitCode() != 0)
        return makeError(
            u"kpr-appserver exited with status %1 (%2); stderr: %3"_s.arg(m_process.exitCode())
                .arg(m_process.exitStatus() == QProcess::NormalExit ? u"normal"_s : u"crashed"_s, m_stderr));
    return {};
}

QList<TracedCall> AppServerProcess::trace(int from) const
{
    QList<TracedCall> calls;
    QFile file(traceFile());
    if (!file.open(QIODevice::ReadOnly))
        return calls;
    int index = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty())
            continue;
        if (index++ < from)
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        calls.append(TracedCall{o.value(u"method"_s).toString(), o.value(u"args"_s).toArray(),
                                o.value(u"ok"_s).toBool(), o.value(u"ms"_s).toDouble()});
    }
    return calls;
}

Status AppServerProcess::initDatabase(const QString &program, const QString &dbUrl, int timeoutMs)
{
    QProcess p;
    p.start(program, {u"--db"_s, dbUrl, u"--init-db"_s, u"--no-serve"_s});
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(10000);
        return makeError(u"kpr-appserver --init-db did not finish"_s);
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return makeError(u"kpr-appserver --init-db exited with %1: %2"_s.arg(p.exitCode())
                             .arg(QString::fromUtf8(p.readAllStandardError())));
    return {};
}

} // namespace kpr::test
