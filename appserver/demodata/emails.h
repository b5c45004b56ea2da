#pragma once
// The e-mail address lists of the demo clients. Most clients have one valid address, some
// several separated by ";", a few none and a few a malformed one, so that the e-mail
// screen's address checks have something to find in every demo.

#include "appserver/demodata/random.h"

#include <QList>
#include <QString>

namespace kpr::demodata {

enum class EmailKind { Valid, Several, Empty, Malformed };

struct EmailList
{
    EmailKind kind = EmailKind::Valid;
    QString text; // a null QString for a client without any (DSEMAIL NULL)
};

// Of every block of 20 consecutive clients: 15 with one valid address, 2 with several,
// 1 without any and 2 with a malformed list, in an order drawn per block. A block makes
// each kind appear in every demo of 20 clients or more, in the stated proportions.
constexpr int kEmailBlock = 20;
constexpr int kEmailValidPerBlock = 15;
constexpr int kEmailSeveralPerBlock = 2;
constexpr int kEmailEmptyPerBlock = 1;
constexpr int kEmailMalformedPerBlock = 2;

// The kinds of one block, shuffled.
QList<EmailKind> emailKindBlock(Random &rng);

// Who the addresses are for: a company's domain, or a person's names.
struct Mailbox
{
    QString domain; // "santarita.com.br"; empty for a person
    QString first;  // a person's first and last name
    QString last;
};

// An address list of the given kind. Valid lists use only what the address rules accept
// (ASCII letters, digits, ".", "-", "_" before the "@"); malformed ones break one rule each.
EmailList emailList(Random &rng, EmailKind kind, const Mailbox &who);

// A valid single address for a branch: "faturamento.campinas@refeicoesbomprato.com.br",
// at most 40 characters (FILIAL.DSEMAILFILI).
QString branchEmail(const QString &local, const QString &domain);

} // namespace kpr::demodata
