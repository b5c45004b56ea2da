#pragma once
// The host's look-up query on the shared connection (dtmDBGeral): a statement per database
// dialect, named parameters ":P_..." and, once opened, its rows held as a read-only
// in-memory table, so that fields, the cursor and a TDataSource work as on any table.
//
// Every parameter value is bound, never written into the statement. The named parameters are
// rewritten to positional "?" here and each occurrence bound on its own, because the drivers
// treat a name that appears twice ("CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T'") in
// different ways.

#include "framework/data/clientdataset.h"
#include "framework/data/params.h"

#include <QStringList>

namespace kpr {

class TADOIBQuery : public TClientDataSet
{
    Q_OBJECT
    Q_PROPERTY(QStringList SQL READ SQL WRITE setSQL)
    Q_PROPERTY(QStringList SQL_ORACLE READ SQL_ORACLE WRITE setSQL_ORACLE)
    Q_PROPERTY(QStringList SQL_MSSQL READ SQL_MSSQL WRITE setSQL_MSSQL)
    Q_PROPERTY(QStringList SQL_IB READ SQL_IB WRITE setSQL_IB)
    Q_PROPERTY(QStringList SQL_SQLITE READ SQL_SQLITE WRITE setSQL_SQLITE)
    Q_PROPERTY(QStringList SQL_PG READ SQL_PG WRITE setSQL_PG)

public:
    explicit TADOIBQuery(QObject *parent = nullptr);
    explicit TADOIBQuery(const QString &name, QObject *parent = nullptr);
    ~TADOIBQuery() override;

    // The statement's lines. SQL is the default; a dialect's own text, when not empty, takes
    // its place on that kind of database. Oracle, SQL Server and InterBase texts are kept
    // for the layouts that carry them; this framework's drivers are SQLite and PostgreSQL.
    QStringList SQL() const { return m_sql[Default]; }
    void setSQL(const QStringList &lines) { setText(Default, lines); }
    QStringList SQL_ORACLE() const { return m_sql[Oracle]; }
    void setSQL_ORACLE(const QStringList &lines) { setText(Oracle, lines); }
    QStringList SQL_MSSQL() const { return m_sql[MSSQL]; }
    void setSQL_MSSQL(const QStringList &lines) { setText(MSSQL, lines); }
    QStringList SQL_IB() const { return m_sql[IB]; }
    void setSQL_IB(const QStringList &lines) { setText(IB, lines); }
    QStringList SQL_SQLITE() const { return m_sql[SQLite]; }
    void setSQL_SQLITE(const QStringList &lines) { setText(SQLite, lines); }
    QStringList SQL_PG() const { return m_sql[PG]; }
    void setSQL_PG(const QStringList &lines) { setText(PG, lines); }

    // The statement this connection runs (the dialect's text or SQL).
    QString statementText() const;

    // The parameters named in the statements, in order of first appearance, without a value
    // (bound as NULL) until one is set. An unknown name throws EDatabaseError naming the
    // query and the parameter.
    TParam &ParamByName(const QString &name);
    TParam *FindParam(const QString &name) { return m_params.FindParam(name); }
    TParams &Parameters() { return m_params; }
    QStringList ParamNames() const;

    // Runs the statement on dtmDBGeral with every parameter bound and holds its rows, the
    // cursor on the first. A database failure throws EDatabaseError with the query's name
    // and the database's text; the query is then closed.
    void Open();
    void Close();
    // A read-only query runs in a read-only transaction (SQLite's query_only, PostgreSQL's
    // READ ONLY), so that its statement can never change the database: the report layouts'
    // queries, which come from files a user may edit.
    bool ReadOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // Open() when `active` is true, Close() otherwise.
    void setActive(bool active);

    // Named parameters rewritten to positional ones, string literals, quoted names and
    // comments left alone, "::" (a PostgreSQL cast) not taken for a parameter. Answers the
    // statement and the name of each "?" in order.
    struct Positional
    {
        QString sql;
        QStringList names;
    };
    static Positional toPositional(const QString &sql);

private:
    enum Dialect { Default, Oracle, MSSQL, IB, SQLite, PG, DialectCount };
    void setText(Dialect d, const QStringList &lines);
    void refreshParams();

    QStringList m_sql[DialectCount];
    TParams m_params;
    bool m_readOnly = false;
};

} // namespace kpr
