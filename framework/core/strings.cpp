#include "framework/core/strings.h"

namespace kpr {

bool EmptyString(const QString &text)
{
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        switch (c.unicode()) {
        case '_':
        case '/':
        case '.':
        case '-':
        case ':':
        case '(':
        case ')':
        case ',': continue;
        default: return false;
        }
    }
    return true;
}

QString Ajusta(const QString &text, int width)
{
    const QString t = text.trimmed();
    if (t.size() >= width)
        return t;
    return QString(width - t.size(), QLatin1Char('0')) + t;
}

QString cutToWidth(const QString &text, int width)
{
    return text.size() > width ? text.left(width) : text;
}

} // namespace kpr
