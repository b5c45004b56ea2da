#pragma once
// The host's list picker: a modal list of a data source's rows with a check box each.
//
// The selection text holds the key of every checked row enclosed in underscores, in the
// table's order ("_0001__0002_"). Rows whose key stands so in the incoming selection start
// checked. OK hands back the new text (empty when nothing is checked, unless a selection is
// required); Cancel, Escape or closing the window keep the selection as it came.
//
// Object names, for keyboard-free use in tests: the dialog "dlgPesquisaLista", its grid
// "grdPesquisaLista" (column 0 holds the check boxes), "edtFiltro", "btnMarcarTodos",
// "btnDesmarcarTodos", "btnOk", "btnCancelar".

#include "framework/data/datasource.h"

#include <QString>
#include <QStringList>

namespace kpr {

// requireSelection: OK with no row checked shows "Selecione ao menos um registro." and keeps
// the dialog open. Answers true when the user confirmed.
bool PesquisaLista(TDataSource *dataSource, const QString &keyField, const QString &title, bool requireSelection,
                   QString &selection);

// The selection text for keys, and the test for one key in a selection text.
QString selectionText(const QStringList &keys);
bool selectionHas(const QString &selection, const QString &key);

} // namespace kpr
