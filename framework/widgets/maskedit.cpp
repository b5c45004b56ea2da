#include "framework/widgets/maskedit.h"

#include "framework/core/mask.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

// Characters that are special in a Qt input mask and must be escaped to stand as literals.
bool isQtMaskSpecial(QChar c)
{
    return QStringView(u"AaNnXx90Dd#HhBb><!\\;[]{}").contains(c);
}

QChar qtMaskChar(QChar host)
{
    switch (host.unicode()) {
    case '0': return u'9'; // digit required
    case '9': return u'0'; // digit optional
    case '#': return u'#'; // digit or sign, optional
    case 'L': return u'A'; // letter required
    case 'l': return u'a'; // letter optional
    case 'A': return u'N'; // letter or digit required
    case 'a': return u'n'; // letter or digit optional
    case 'C': return u'X'; // any character required
    case 'c': return u'x'; // any character optional
    default: return QChar();
    }
}

} // namespace

TMaskEdit::TMaskEdit(QWidget *parent) : QLineEdit(parent) {}

QString TMaskEdit::toQtInputMask(const QString &hostMask)
{
    const kpr::EditMask m = kpr::EditMask::parse(hostMask);
    if (m.isEmpty())
        return QString();
    QString out;
    for (qsizetype i = 0; i < m.mask.size(); ++i) {
        const QChar c = m.mask[i];
        if (c == u'>' && i + 1 < m.mask.size() && m.mask[i + 1] == u'<') {
            out += u'!';
            ++i;
        } else if (c == u'>' || c == u'<') {
            out += c;
        } else if (c == u'\\' && i + 1 < m.mask.size()) {
            const QChar lit = m.mask[++i];
            if (isQtMaskSpecial(lit))
                out += u'\\';
            out += lit;
        } else if (const QChar q = qtMaskChar(c); !q.isNull()) {
            out += q;
        } else {
            if (isQtMaskSpecial(c))
                out += u'\\';
            out += c;
        }
    }
    out += u';';
    out += m.blank;
    return out;
}

void TMaskEdit::setEditMask(const QString &hostMask)
{
    m_editMask = hostMask;
    setInputMask(toQtInputMask(hostMask));
}

QString TMaskEdit::Text() const
{
    const kpr::EditMask m = kpr::EditMask::parse(m_editMask);
    if (m.isEmpty() || m.saveLiterals)
        return text();
    // Keep only the characters standing at input positions of the mask.
    const QString shown = displayText();
    const QChar blank = m.blank;
    QString out;
    qsizetype pos = 0;
    for (qsizetype i = 0; i < m.mask.size() && pos < shown.size(); ++i) {
        const QChar c = m.mask[i];
        if (c == u'>' || c == u'<')
            continue;
        if (c == u'\\') {
            ++i;
            ++pos;
            continue;
        }
        if (!qtMaskChar(c).isNull() && shown[pos] != blank)
            out += shown[pos];
        ++pos;
    }
    return out;
}

} // namespace kpr
