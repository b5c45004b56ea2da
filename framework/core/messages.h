#pragma once
// A screen's message table: one line per message, "key|text". Code looks texts up by key.

#include <QHash>
#include <QObject>
#include <QStringList>

namespace kpr {

class TMessages : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList lines READ lines WRITE setLines)

public:
    explicit TMessages(QObject *parent = nullptr);
    TMessages(const QStringList &lines, QObject *parent = nullptr);

    QStringList lines() const { return m_lines; }
    void setLines(const QStringList &lines);
    void addLine(const QString &line);

    bool contains(const QString &key) const;
    // The text after the bar in the key's line. A key the table lacks is a programming
    // error: it throws std::logic_error naming the key, never answers an empty text.
    Q_INVOKABLE QString Msg(const QString &key) const;

private:
    QStringList m_lines;
    QHash<QString, QString> m_texts;
};

} // namespace kpr
