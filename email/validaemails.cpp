#include "email/validaemails.h"

#include "framework/core/strings.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {

bool letraOuDigito(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9');
}

bool local(QChar c)
{
    return letraOuDigito(c) || c == u'%' || c == u'+' || c == u'-' || c == u'.' || c == u'_';
}

bool dominio(QChar c)
{
    return letraOuDigito(c) || c == u'-' || c == u'.';
}

bool topo(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || u == u'2' || u == u'4';
}

// Characters of code 32 and below removed from both ends.
QString apara(const QString &s)
{
    qsizetype i = 0, j = s.size();
    while (i < j && s.at(i).unicode() <= 32)
        ++i;
    while (j > i && s.at(j - 1).unicode() <= 32)
        --j;
    return s.mid(i, j - i);
}

bool enderecoValido(const QString &e)
{
    const qsizetype arroba = e.indexOf(u'@'); // 0-based; -1 when absent
    const qsizetype ponto = e.lastIndexOf(u'.');
    if (arroba <= 0 || ponto < arroba || ponto == e.size() - 1)
        return false;
    for (qsizetype i = 0; i < e.size(); ++i) {
        const QChar c = e.at(i);
        const bool ok = i < arroba    ? local(c)
                        : i == arroba ? true
                        : i < ponto   ? dominio(c)
                        : i == ponto  ? true
                                      : topo(c);
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

bool ValidaEmails(const QString &texto)
{
    QString resto = texto;
    while (!EmptyString(resto)) {
        qsizetype corte = resto.indexOf(u',');
        if (corte < 0)
            corte = resto.indexOf(u';');
        if (corte < 0)
            corte = resto.indexOf(u'|');
        const QString elemento = apara(corte < 0 ? resto : resto.left(corte));
        resto = corte < 0 ? QString() : resto.mid(corte + 1);
        if (!enderecoValido(elemento))
            return false;
    }
    return true;
}

} // namespace kpr::cfr
