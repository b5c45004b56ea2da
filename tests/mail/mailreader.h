#pragma once
// A message as a mail reader shows it, decoded by Python's email package (readmail.py) so
// that what GMime wrote is checked by another implementation.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryFile>

namespace kpr::test {

struct ReadAttachment
{
    QString fileName;
    QString type;
    QByteArray data;
};

struct ReadMessage
{
    bool ok = false;
    QString error;
    QString from;
    QString subject;
    QString to;
    QStringList headers;
    QStringList texts;
    QList<ReadAttachment> attachments;
};

inline ReadMessage readMessage(const QByteArray &bytes)
{
    ReadMessage m;
    QTemporaryFile file;
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush()) {
        m.error = QStringLiteral("cannot write the message to a temporary file");
        return m;
    }
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(KPR_MAIL_TESTS_DIR "/readmail.py"), file.fileName()});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        m.error = QString::fromUtf8(p.readAllStandardError());
        return m;
    }
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    m.from = o.value(QStringLiteral("from")).toString();
    m.subject = o.value(QStringLiteral("subject")).toString();
    m.to = o.value(QStringLiteral("to")).toString();
    for (const QJsonValue &v : o.value(QStringLiteral("headers")).toArray())
        m.headers.append(v.toString());
    for (const QJsonValue &v : o.value(QStringLiteral("texts")).toArray())
        m.texts.append(v.toString());
    for (const QJsonValue &v : o.value(QStringLiteral("attachments")).toArray()) {
        const QJsonObject a = v.toObject();
        m.attachments.append({a.value(QStringLiteral("filename")).toString(),
                              a.value(QStringLiteral("type")).toString(),
                              QByteArray::fromBase64(a.value(QStringLiteral("data")).toString().toLatin1())});
    }
    m.ok = true;
    return m;
}

} // namespace kpr::test
