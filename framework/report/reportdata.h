#pragma once
// The rows a report reads: each dataset of a layout opened (SQL on the shared connection
// with the layout's parameters bound, or a copy of a registered in-memory table), filtered
// and sorted, held as plain values so that rendering never touches the screen's tables or
// their cursors.

#include "framework/data/field.h"
#include "framework/data/params.h"
#include "framework/report/layout.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <vector>

namespace kpr {

class TClientDataSet;

class ReportRows
{
public:
    explicit ReportRows(QString name = {});

    const QString &name() const { return m_name; }
    void addField(const QString &field, TFieldType type);
    const QStringList &fields() const { return m_fields; }
    TFieldType fieldType(int column) const { return m_types[size_t(column)]; }
    int columnCount() const { return int(m_fields.size()); }
    int column(const QString &field) const; // case-insensitive; -1 when absent

    int rowCount() const { return m_rows; }
    const QVariant &value(int row, int column) const
    {
        return m_cells[size_t(row) * size_t(m_fields.size()) + size_t(column)];
    }
    void appendRow(std::vector<QVariant> &&cells); // one value per field, in field order

    // Keeps the rows for which keep(row) holds, in their order.
    void retain(const std::function<bool(int row)> &keep);
    // A stable sort on the keys; numbers and dates by value, texts by their characters.
    void sort(const QList<SortKey> &keys);

    // Every row of a table, in its current order, read through a cursor of its own so the
    // table's cursor stays where it is. A closed table gives its fields and no rows.
    static ReportRows fromTable(const QString &name, const TClientDataSet &table);

private:
    QString m_name;
    QStringList m_fields;
    std::vector<TFieldType> m_types;
    QHash<QString, int> m_byName; // upper-cased
    std::vector<QVariant> m_cells;
    int m_rows = 0;
};

// The registered table of a name, or nullptr.
using TableLookup = std::function<const TClientDataSet *(const QString &name)>;

// Opens every dataset of the layout in the order declared. Throws EKprError with a text
// naming the file and the dataset: an unregistered table, a parameter the SQL names that the
// layout does not declare, a database error, a filter or sort field the dataset lacks.
std::vector<ReportRows> openDataSets(const ReportLayout &layout, const QString &fileName, const TParams &params,
                                     const TableLookup &tables);

// The filter rules on their own: does this row value pass the parameter?
bool inListParam(const QString &list, const QString &value);
bool equalsParam(const TParam &param, const QVariant &value);

} // namespace kpr
