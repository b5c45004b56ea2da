#include "appserver/demodata/emails.h"

#include "appserver/demodata/names.h"

#include <iterator>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace kpr::demodata {

namespace {

constexpr const char16_t *companyLocals[] = {
    u"financeiro",   u"faturamento", u"contato",   u"compras",        u"adm",         u"fiscal", u"nfe",
    u"contasapagar", u"rh",          u"diretoria", u"administrativo", u"suprimentos",
};

constexpr const char16_t *personDomains[] = {
    u"gmail.com", u"hotmail.com", u"outlook.com", u"yahoo.com.br", u"uol.com.br", u"bol.com.br", u"terra.com.br",
};

QString q(const char16_t *text)
{
    return QString::fromUtf16(text);
}

QString personLocal(Random &rng, const Mailbox &who, int variant)
{
    const QString first = asciiSlug(who.first);
    const QString last = asciiSlug(who.last);
    switch (variant % 4) {
    case 0: return first + u'.' + last;
    case 1: return first + last + QString::number(rng.between(1, 99));
    case 2: return first.left(1) + last;
    default: return first + u'_' + last;
    }
}

// Addresses of one list differ by variant: another mailbox of the company, another way of
// writing the person's name.
QString validAddress(Random &rng, const Mailbox &who, int base, int variant)
{
    if (who.domain.isEmpty())
        return personLocal(rng, who, base + variant) + u'@' + q(rng.pick(personDomains));
    constexpr int n = int(std::size(companyLocals));
    return q(companyLocals[(base + variant) % n]) + u'@' + who.domain;
}

// Each breaks exactly one rule of an address list.
QString malformedList(Random &rng, const Mailbox &who)
{
    const int base = rng.between(0, 11);
    const QString good = validAddress(rng, who, base, 0);
    const QString local = good.section(u'@', 0, 0);
    const QString domain = good.section(u'@', 1);
    switch (rng.between(0, 9)) {
    case 0: return local + u'@';                                              // nothing after the "@"
    case 1: return local + u'.' + domain;                                     // no "@" at all
    case 2: return local + u'@' + domain.section(u'.', 0, 0) + u'@' + domain; // two "@"
    case 3: return local + u'@' + domain.section(u'.', 0, 0);                 // no "." after the "@"
    case 4: return local + u" @"_s + domain;                                  // blank inside
    case 5: return u"joão@"_s + domain;                                       // accented letter
    case 6: return good + u'.';                                               // ends with "."
    case 7: return u'@' + domain;                                             // "@" first
    case 8:
        return local + u'@' + domain.section(u'.', 0, 0) + u"_mail."_s + domain.section(u'.', 1); // "_" in the domain
    default:
        // ";" then ",": the list splits at the ",", so its first element holds two addresses.
        return good + u';' + validAddress(rng, who, base, 1) + u", "_s + validAddress(rng, who, base, 2);
    }
}

} // namespace

QList<EmailKind> emailKindBlock(Random &rng)
{
    QList<EmailKind> block;
    block.reserve(kEmailBlock);
    block.insert(block.end(), kEmailValidPerBlock, EmailKind::Valid);
    block.insert(block.end(), kEmailSeveralPerBlock, EmailKind::Several);
    block.insert(block.end(), kEmailEmptyPerBlock, EmailKind::Empty);
    block.insert(block.end(), kEmailMalformedPerBlock, EmailKind::Malformed);
    for (int i = int(block.size()) - 1; i > 0; --i) // Fisher-Yates
        std::swap(block[i], block[rng.between(0, i)]);
    return block;
}

EmailList emailList(Random &rng, EmailKind kind, const Mailbox &who)
{
    EmailList e;
    e.kind = kind;
    switch (kind) {
    case EmailKind::Valid: e.text = validAddress(rng, who, rng.between(0, 11), 0); break;
    case EmailKind::Several: {
        const int base = rng.between(0, 11);
        const int n = rng.between(2, 3);
        const QString separator = rng.chance(0.5) ? u";"_s : u"; "_s;
        for (int i = 0; i < n; ++i)
            e.text += (i ? separator : QString()) + validAddress(rng, who, base, i);
        break;
    }
    case EmailKind::Empty:
        // No address registered, an empty text, or blanks only: all three are "no e-mail".
        switch (rng.between(0, 2)) {
        case 0: e.text = QString(); break;
        case 1: e.text = u""_s; break;
        default: e.text = u"   "_s; break;
        }
        break;
    case EmailKind::Malformed: e.text = malformedList(rng, who); break;
    }
    return e;
}

QString branchEmail(const QString &local, const QString &domain)
{
    QString address = local + u'@' + domain;
    if (address.size() > 40)
        address = local.left(qMax(1, 40 - 1 - int(domain.size()))) + u'@' + domain;
    return address;
}

} // namespace kpr::demodata
