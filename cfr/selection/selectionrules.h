#pragma once
// The decisions of the selection panel's checks, without widgets: the screen reads its
// controls, asks these, and shows the message of the key they answer.

#include <QDate>
#include <QString>

namespace kpr::cfr {

// The message key of the first period rule that two given, valid dates break at the
// selected layout position, or "" when the period passes: "DtIni_maior" when the final
// date lies before the initial one; "DtFinal_maior_31" when the position has the by-date
// limit and the dates lie more than 31 days apart.
QString falhaPeriodo(const QDate &inicial, const QDate &final, int posicao);

// "Lista" chosen and no key selected: the selection must be made first.
bool faltaSelecao(bool listaMarcada, const QString &selecao);

// The registration number as shown: formatted by the edit mask of the kind of legal
// person ("J" company, "F" person); any other kind shows the number as it is.
QString textoInscricao(const QString &tipoPessoa, const QString &numero);

} // namespace kpr::cfr
