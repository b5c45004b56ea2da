#pragma once
// The host's search button: shows the rows of its data source in a modal list; the row the
// user picks becomes the table's current row, its key goes into the associated edit, and
// OnAfterPesq runs. OnBeforePesq runs first (it may reopen the query) and can call the search
// off by setting its flag to false. A source without rows shows EmptyError instead.
//
// Object names of the list: the dialog "dlgPesquisa", its grid "grdPesquisa", "edtFiltro",
// "btnOk", "btnCancelar".

#include "framework/data/datasource.h"

#include <QPointer>
#include <QToolButton>

#include <functional>

class QLineEdit;

namespace kpr {

class TBtnPesquisa : public QToolButton
{
    Q_OBJECT
    Q_PROPERTY(QString Title READ Title WRITE setTitle)
    Q_PROPERTY(QString EmptyError READ EmptyError WRITE setEmptyError)
    Q_PROPERTY(QString KeyField READ KeyField WRITE setKeyField)

public:
    using BeforePesqEvent = std::function<void(QObject *sender, bool &flag)>;
    using AfterPesqEvent = std::function<void(QObject *sender)>;

    explicit TBtnPesquisa(QWidget *parent = nullptr);

    QString Title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    TDataSource *DataSource() const { return m_source; }
    void setDataSource(TDataSource *source) { m_source = source; }
    QLineEdit *Associate() const { return m_associate; }
    void setAssociate(QLineEdit *edit) { m_associate = edit; }
    QString EmptyError() const { return m_emptyError; }
    void setEmptyError(const QString &text) { m_emptyError = text; }
    // The field whose text goes into the associated edit; the first field when empty.
    QString KeyField() const { return m_keyField; }
    void setKeyField(const QString &field) { m_keyField = field; }

    BeforePesqEvent OnBeforePesq;
    AfterPesqEvent OnAfterPesq;

    // What a click does; runs behind the handler boundary when reached by a click. Answers
    // true when a row was picked.
    bool Pesquisar();

private:
    QString m_title;
    QPointer<TDataSource> m_source;
    QPointer<QLineEdit> m_associate;
    QString m_emptyError;
    QString m_keyField;
};

} // namespace kpr
