#pragma once
// The fingerprint of each client's statement: a text (SHA-256, 64 hex digits) that the same
// quantities, dates, prices and values always give, whatever the run's apuration number or
// the PDF's creation date. The send log keys a statement by it, so that an identical
// statement is recognised as already sent and a changed one is not.

#include <QHash>
#include <QString>
#include <QStringList>

namespace kpr {
class TClientDataSet;
}

namespace kpr::cfr {

// One fingerprint per client of the table (client code → fingerprint), from every field but
// the ignored ones, the rows' order left aside; extra joins the text of each (what else
// decides the statement's content, such as the service groups chosen).
QHash<QString, QString> ImpressoesPorCliente(const TClientDataSet &tabela, const QString &campoCliente,
                                             const QStringList &ignorados, const QString &extra = QString());

} // namespace kpr::cfr
