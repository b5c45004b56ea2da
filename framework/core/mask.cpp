#include "framework/core/mask.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

bool isMaskChar(QChar c)
{
    switch (c.unicode()) {
    case '0':
    case '9':
    case '#':
    case 'L':
    case 'l':
    case 'A':
    case 'a':
    case 'C':
    case 'c': return true;
    default: return false;
    }
}

enum class CaseMode { Keep, Upper, Lower };

} // namespace

EditMask EditMask::parse(const QString &text)
{
    EditMask m;
    // The mask part may itself contain an escaped ';' ("\;"), so split by hand.
    qsizetype i = 0;
    for (; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\\') && i + 1 < text.size()) {
            m.mask += text[i];
            m.mask += text[++i];
            continue;
        }
        if (text[i] == QLatin1Char(';'))
            break;
        m.mask += text[i];
    }
    if (i >= text.size())
        return m;
    const QString rest = text.mid(i + 1);
    const qsizetype semi = rest.indexOf(QLatin1Char(';'));
    const QString save = semi < 0 ? rest : rest.left(semi);
    m.saveLiterals = save.trimmed() != u"0"_s;
    if (semi >= 0 && semi + 1 < rest.size())
        m.blank = rest.at(semi + 1);
    return m;
}

int EditMask::inputLength() const
{
    int n = 0;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        if (mask[i] == QLatin1Char('\\')) {
            ++i;
            continue;
        }
        if (isMaskChar(mask[i]))
            ++n;
    }
    return n;
}

QString FormatMaskText(const QString &maskText, const QString &text)
{
    const EditMask m = EditMask::parse(maskText);
    if (m.isEmpty())
        return text;

    QString out;
    out.reserve(m.mask.size());
    CaseMode mode = CaseMode::Keep;
    qsizetype t = 0;
    for (qsizetype i = 0; i < m.mask.size(); ++i) {
        const QChar c = m.mask[i];
        if (c == QLatin1Char('>')) {
            if (i + 1 < m.mask.size() && m.mask[i + 1] == QLatin1Char('<')) {
                mode = CaseMode::Keep;
                ++i;
            } else {
                mode = CaseMode::Upper;
            }
            continue;
        }
        if (c == QLatin1Char('<')) {
            mode = CaseMode::Lower;
            continue;
        }
        QChar literal;
        bool isLiteral = !isMaskChar(c);
        if (c == QLatin1Char('\\') && i + 1 < m.mask.size()) {
            literal = m.mask[++i];
            isLiteral = true;
        } else if (isLiteral) {
            literal = c;
        }
        if (isLiteral) {
            out += literal;
            // A text that carries its literals has one here; step over it.
            if (m.saveLiterals && t < text.size() && text[t] == literal)
                ++t;
            continue;
        }
        if (t >= text.size()) {
            out += m.blank;
            continue;
        }
        QChar ch = text[t++];
        if (mode == CaseMode::Upper)
            ch = ch.toUpper();
        else if (mode == CaseMode::Lower)
            ch = ch.toLower();
        out += ch;
    }
    return out;
}

QString PictPess(const QString &kind)
{
    const QString k = kind.trimmed().toUpper();
    if (k == u"J"_s)
        return u"99.999.999/9999-99;0;_"_s;
    if (k == u"F"_s)
        return u"999.999.999-99;0;_"_s;
    return QString();
}

} // namespace kpr
