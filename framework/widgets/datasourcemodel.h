#pragma once
// A table model over a TDataSource for the host's grids and pickers: one row per record in
// the table's current order, one column per visible field (or per column the owner lists),
// optionally a leading check-box column. The display texts are taken once per change of
// the table, walking it with its own cursor, so that fields with an OnGetText handler (which
// read the table's current record) show what they show in the host.

#include "framework/data/datasource.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QSet>
#include <QStringList>

#include <functional>
#include <vector>

namespace kpr {

struct TColumn
{
    QString fieldName;
    QString title; // empty: the field's display label
    int width = 0; // pixels; 0: from the field's display width
    // When set, the column shows what this answers for the row's text of the field (a status
    // kept beside the table, looked up by a key field); read each time the cell is painted.
    std::function<QString(const QString &fieldText)> text;
};

class TDataSourceModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TDataSourceModel(QObject *parent = nullptr);

    void setDataSource(TDataSource *source);
    TDataSource *dataSource() const { return m_source; }
    // Columns of their own; without them every visible field is a column.
    void setColumns(const std::vector<TColumn> &columns);
    // A first column of check boxes; keyField names the field whose text keys each row.
    void setCheckable(bool checkable, const QString &keyField = QString());

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // The row's key (the key field's text, without surrounding blanks).
    QString keyAt(int row) const;
    bool isChecked(int row) const;
    void setChecked(int row, bool checked);
    void setAllChecked(bool checked);
    // Keys of the checked rows, in the table's order.
    QStringList checkedKeys() const;

    // The field shown in a column (nullptr for the check column).
    TField *fieldAt(int column) const;
    int widthAt(int column) const; // pixels, 0 when unknown

    // Reads the table again (the model does so by itself when the source reports a change).
    void reload();

    // Fields whose text may be edited through the model; false for look-ups.
    void setEditable(bool editable) { m_editable = editable; }

private:
    int fieldColumn(int column) const { return m_checkable ? column - 1 : column; }

    QPointer<TDataSource> m_source;
    std::vector<TColumn> m_ownColumns;
    QStringList m_fieldNames; // the fields shown, in column order
    QStringList m_titles;
    std::vector<int> m_widths;
    std::vector<QStringList> m_rows;
    QStringList m_keys;
    QSet<int> m_checked;
    bool m_checkable = false;
    bool m_editable = false;
    bool m_reading = false;
    QString m_keyField;
};

} // namespace kpr
