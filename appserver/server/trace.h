#pragma once
// --trace FILE: one JSON line per call, appended and flushed in the order calls complete,
// which the end-to-end tests read back to check the order of calls.

#include <QFile>
#include <QJsonArray>
#include <QString>

#include <mutex>

namespace kpr::appserver {

class TraceLog
{
public:
    // False with the reason when the file cannot be opened for appending.
    bool open(const QString &path, QString *why);
    bool isOpen() const { return m_file.isOpen(); }
    void write(const QString &method, const QJsonArray &args, bool ok, double ms);
    void close();

private:
    std::mutex m_mutex;
    QFile m_file;
};

} // namespace kpr::appserver
