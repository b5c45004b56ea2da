#include "appserver/server/trace.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver {

bool TraceLog::open(const QString &path, QString *why)
{
    std::lock_guard lock(m_mutex);
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (why)
            *why = m_file.errorString();
        return false;
    }
    return true;
}

void TraceLog::write(const QString &method, const QJsonArray &args, bool ok, double ms)
{
    const QJsonObject line{
        {u"method"_s, method}, {u"args"_s, args}, {u"ok"_s, ok}, {u"ms"_s, std::round(ms * 1000.0) / 1000.0}};
    QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact);
    bytes += '\n';
    std::lock_guard lock(m_mutex);
    if (m_file.isOpen()) {
        m_file.write(bytes);
        m_file.flush();
    }
}

void TraceLog::close()
{
    std::lock_guard lock(m_mutex);
    m_file.close();
}

} // namespace kpr::appserver
