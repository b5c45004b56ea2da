#include "framework/core/messages.h"

#include <stdexcept>

namespace kpr {

TMessages::TMessages(QObject *parent) : QObject(parent) {}

TMessages::TMessages(const QStringList &lines, QObject *parent) : QObject(parent)
{
    setLines(lines);
}

void TMessages::setLines(const QStringList &lines)
{
    m_lines.clear();
    m_texts.clear();
    for (const QString &line : lines)
        addLine(line);
}

void TMessages::addLine(const QString &line)
{
    m_lines.append(line);
    const qsizetype bar = line.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return; // not a message line; kept so that lines() gives back what was set
    const QString key = line.left(bar).trimmed();
    // The first line of a key wins, as a sequential search of the lines would find it.
    if (!m_texts.contains(key))
        m_texts.insert(key, line.mid(bar + 1));
}

bool TMessages::contains(const QString &key) const
{
    return m_texts.contains(key);
}

QString TMessages::Msg(const QString &key) const
{
    const auto it = m_texts.constFind(key);
    if (it == m_texts.constEnd()) {
        const QString who = objectName().isEmpty() ? QStringLiteral("TMessages") : objectName();
        throw std::logic_error(
            (who + QStringLiteral(": mensagem '") + key + QStringLiteral("' não cadastrada")).toStdString());
    }
    return *it;
}

} // namespace kpr
